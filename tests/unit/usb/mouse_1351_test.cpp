// cc65's 1351 mouse driver, loaded from drive 8 as cc65's mouse demo loads
// it, follows the USB mouse: the movement the host reports reaches the
// driver's position whole, however fast it came (the driver takes a change
// of more than 31 counts between two of its interrupts for one the other
// way). Text mode's jiffy interrupt and full mode's frame interrupt both.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/game_ports.h"
#include "tests/unit/bridge/machine_on_volume.h"

namespace {

std::vector<u8> FileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    EXPECT_TRUE(f.good()) << path;
    return std::vector<u8>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

class Mouse1351 : public MachineOnVolume {
protected:
    void SetUp() override {
        ASSERT_TRUE(volume.image.ok());
        ports.Present(true);
        hm.game_ports(&ports);
        ASSERT_TRUE(hm.boot());
        ASSERT_TRUE(volume.Put("MOUSE1351.PRG", FileBytes(std::string(USB_PROGRAMS) + "/mouse1351.prg")));
        // cc65 opens the driver as a sequential file.
        ASSERT_TRUE(volume.Put("C64-1351.MOU.SEQ", FileBytes(CC65_1351_DRIVER)));
        Mount();
    }

    // The rows the program printed between "<" and ">".
    std::vector<std::string> Printed() {
        std::vector<std::string> lines;
        for (int r = 0; r < 25; r++) {
            std::string row = hm.row(r);
            if (row.rfind("<", 0) == 0) lines.push_back(row.substr(1, row.find('>') - 1));
        }
        return lines;
    }

    // Runs the program (in full mode from the start: the driver is loaded
    // and run there); once the driver is in, the mouse moves by (dx, dy) in
    // one report and a key lets the program print where it got to. Returns
    // the movement the driver saw.
    std::pair<int, int> Moved(int dx, int dy, bool full_mode) {
        EXPECT_TRUE(Command("LOAD \"MOUSE1351\",8"));
        if (full_mode) {
            hm.tap_key(tarn::Key::F11);
            hm.run_passes(5);
            for (char c : std::string("RUN\r")) hm.buffer_key(static_cast<u8>(c));
            hm.run_passes(300);
        } else {
            TypeLine("RUN");
            for (int i = 0; i < 3000 && Printed().size() < 2; i++) hm.run_pass();
        }
        ports.Pointer(dx, dy, 0);
        hm.run_passes(60);
        hm.buffer_key('X');
        if (full_mode) {
            // Back to text mode, whose view the rows are read from.
            hm.run_passes(100);
            hm.tap_key(tarn::Key::F11);
        }
        for (int i = 0; i < 600 && Printed().size() < 3; i++) hm.run_pass();
        std::vector<std::string> lines = Printed();
        EXPECT_EQ(lines.size(), 3u);
        if (lines.size() < 3) return {0, 0};
        EXPECT_EQ(lines[0], "LOADED 0");
        int x0, y0, x1, y1;
        EXPECT_EQ(sscanf(lines[1].c_str(), "AT %d %d", &x0, &y0), 2) << lines[1];
        EXPECT_EQ(sscanf(lines[2].c_str(), "AT %d %d", &x1, &y1), 2) << lines[2];
        return {x1 - x0, y1 - y0};
    }

    tarn::host::PcGamePorts ports;
};

TEST_F(Mouse1351, DriverFollowsAFastMovementInTextMode) {
    EXPECT_EQ(Moved(100, -60, false), std::make_pair(100, -60));
}

TEST_F(Mouse1351, DriverFollowsAFastMovementInFullMode) {
    EXPECT_EQ(Moved(-90, 70, true), std::make_pair(-90, 70));
}

}  // namespace
