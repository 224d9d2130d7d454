// The headless machine with a FAT32 image on the primary master: the fixture
// the end-to-end LOAD/SAVE and monitor tests share.
#ifndef TARN_TESTS_UNIT_BRIDGE_MACHINE_ON_VOLUME_H
#define TARN_TESTS_UNIT_BRIDGE_MACHINE_ON_VOLUME_H

#include <gtest/gtest.h>

#include <string>

#include "tests/support/headless_machine.h"
#include "tests/unit/bridge/mounted_volume.h"

#include "c64/memory.h"
#include "filesystem/fat.h"

class MachineOnVolume : public ::testing::Test {
protected:
    static constexpr u16 kKeyCount = 0xC6;  // KERNAL keyboard buffer length

    void SetUp() override {
        ASSERT_TRUE(volume.image.ok());
        ASSERT_TRUE(hm.boot());
    }

    // Files go on the image first: the FAT is read at mount.
    void Mount() {
        fat = volume.Mount();
        ASSERT_TRUE(fat->mounted());
        hm.attach_fat32(fat);
    }

    // Last row with anything on it (the cursor blinks as a reversed space).
    std::string LastLine() {
        for (int r = 24; r >= 0; r--) {
            std::string row = hm.row(r);
            row.erase(row.find_last_not_of(' ') + 1);
            if (!row.empty()) return row;
        }
        return "";
    }

    // Types a line and runs until the KERNAL has taken every key.
    void TypeLine(const std::string& text) {
        hm.type(text + "\n");
        for (int i = 0; i < 100 && (hm.keys_pending() != 0 || Peek(kKeyCount) != 0); i++) hm.run_pass();
        hm.run_passes(2);
    }

    // Types a direct-mode command and runs the machine until BASIC is back
    // at READY. below what the command printed.
    bool Command(const std::string& text, int max_passes = 600) {
        TypeLine(text);
        for (int i = 0; i < max_passes; i++) {
            if (LastLine() == "READY.") return true;
            hm.run_pass();
        }
        return LastLine() == "READY.";
    }

    int RowOf(const std::string& text) {
        for (int r = 0; r < 25; r++)
            if (hm.row(r).find(text) != std::string::npos) return r;
        return -1;
    }

    u8 Peek(u16 a) { return hm.mem().read_byte_no_io(a); }
    u16 PeekWord(u16 a) { return Peek(a) | Peek(a + 1) << 8; }

    MountedVolume volume;
    HeadlessMachine hm;
    tarn::filesystem::Fat32* fat = nullptr;
};

#endif
