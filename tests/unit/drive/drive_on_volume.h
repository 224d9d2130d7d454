// A machine on a volume, talked to as a BASIC program talks to drive 8:
// what a program printed between "<" and ">", commands on channel 15.
#ifndef TARN_TESTS_UNIT_DRIVE_DRIVE_ON_VOLUME_H
#define TARN_TESTS_UNIT_DRIVE_DRIVE_ON_VOLUME_H

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/bridge/machine_on_volume.h"

class DriveOnVolume : public MachineOnVolume {
protected:
    // The row a program printed between "<" and ">".
    std::string Output() {
        for (int r = 24; r >= 0; r--)
            if (hm.row(r).rfind("<", 0) == 0) return hm.row(r).substr(0, hm.row(r).find('>') + 1);
        return "";
    }
    // Types the program lines, RUNs it and waits for READY.
    void Run(const std::vector<std::string>& lines, int passes = 3000) {
        ASSERT_TRUE(Command("NEW"));
        for (const std::string& l : lines) TypeLine(l);
        ASSERT_TRUE(Command("RUN", passes));
    }
    // A command sent on channel 15 and the answer (INPUT# needs a program).
    std::string Send(const std::string& command) {
        EXPECT_TRUE(Command("NEW"));
        TypeLine("10 OPEN 15,8,15,\"" + command + "\":INPUT#15,A,B$:CLOSE 15:PRINT \"<\";A;B$;\">\"");
        EXPECT_TRUE(Command("RUN"));
        return Output();
    }
    // A 1541 disk image the disk tool makes of these files (PC name, bytes).
    std::vector<u8> MakeImage(const std::vector<std::pair<std::string, std::vector<u8>>>& files) {
        std::string dir = volume.image.dir(), args;
        for (const auto& f : files) {
            std::ofstream(dir + "/" + f.first, std::ios::binary).write((const char*)f.second.data(), f.second.size());
            args += " '" + dir + "/" + f.first + "'";
        }
        EXPECT_EQ(diskimage::Run("python3 " TARN_SOURCE_DIR "/tools/tarndisk.py d64 " + dir + "/made.d64" + args +
                                 " --name 'TOOL DISK' --id TD >/dev/null"),
                  0);
        std::ifstream in(dir + "/made.d64", std::ios::binary);
        return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void ExpectClean() {
        std::string report;
        EXPECT_EQ(volume.Check(&report), 0) << report;
    }
};

#endif
