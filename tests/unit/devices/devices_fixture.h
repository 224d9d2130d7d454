// Shared set-up for the device-driver tests: a fresh simulated bus with the
// interrupt controllers and an active interrupt manager.
#ifndef TARN_TESTS_UNIT_DEVICES_DEVICES_FIXTURE_H
#define TARN_TESTS_UNIT_DEVICES_DEVICES_FIXTURE_H

#include <gtest/gtest.h>

#include <vector>

#include "hardwarecommunication/interrupts.h"
#include "kernel/gdt.h"
#include "tests/support/sim_pic.h"
#include "tests/support/simbus.h"

class DevicesBus : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&pic);
        gdt = new tarn::GlobalDescriptorTable();
        manager = new tarn::hardwarecommunication::InterruptManager(0x20, gdt->CodeSegmentSelector(), nullptr);
        manager->Activate();
        simbus::bus().clear_log();
    }
    void TearDown() override {
        delete manager;
        delete gdt;
        simbus::bus().reset();
    }

    // Delivers a hardware interrupt through the dispatcher, as the entry stub would.
    static u32 deliver(u8 vector, u32 esp = 0x2000) {
        return tarn::hardwarecommunication::InterruptManager::HandleInterrupt(vector, esp);
    }
    static const std::vector<simbus::Access>& log() { return simbus::bus().log(); }

    simbus::SimPic pic;
    tarn::GlobalDescriptorTable* gdt = nullptr;
    tarn::hardwarecommunication::InterruptManager* manager = nullptr;
};

#endif
