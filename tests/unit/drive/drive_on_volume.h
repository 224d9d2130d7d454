// A machine on a volume, talked to as a BASIC program talks to drive 8:
// what a program printed between "<" and ">", commands on channel 15.
#ifndef TARN_TESTS_UNIT_DRIVE_DRIVE_ON_VOLUME_H
#define TARN_TESTS_UNIT_DRIVE_DRIVE_ON_VOLUME_H

#include <string>

#include "tests/unit/bridge/machine_on_volume.h"

class DriveOnVolume : public MachineOnVolume {
protected:
    // The row a program printed between "<" and ">".
    std::string Output() {
        for (int r = 24; r >= 0; r--)
            if (hm.row(r).rfind("<", 0) == 0) return hm.row(r).substr(0, hm.row(r).find('>') + 1);
        return "";
    }
    // A command sent on channel 15 and the answer (INPUT# needs a program).
    std::string Send(const std::string& command) {
        EXPECT_TRUE(Command("NEW"));
        TypeLine("10 OPEN 15,8,15,\"" + command + "\":INPUT#15,A,B$:CLOSE 15:PRINT \"<\";A;B$;\">\"");
        EXPECT_TRUE(Command("RUN"));
        return Output();
    }
    void ExpectClean() {
        std::string report;
        EXPECT_EQ(volume.Check(&report), 0) << report;
    }
};

#endif
