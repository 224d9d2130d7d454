#include <gtest/gtest.h>

#include <cstring>

#include "hardwarecommunication/interrupts.h"
#include "kernel/gdt.h"
#include "kernel/syscalls.h"
#include "tests/support/console_capture.h"
#include "tests/support/simbus.h"
#include "tests/unit/hwcomm/low_memory.h"

using tarn::GlobalDescriptorTable;
using tarn::SyscallHandler;
using tarn::hardwarecommunication::CPUState;
using tarn::hardwarecommunication::InterruptManager;

namespace {

class Syscalls : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        manager = new InterruptManager(0x20, gdt.CodeSegmentSelector(), nullptr);
        handler = new SyscallHandler(manager, 0x80);
        manager->Activate();
        frame = memory.as<CPUState>();
        std::memset(frame, 0, sizeof(CPUState));
        text = reinterpret_cast<char*>(memory.get() + 256);
        std::strcpy(text, "HELLO FROM RING 0\n");
        capture.Start();
    }
    void TearDown() override {
        delete handler;
        delete manager;
        simbus::bus().reset();
    }

    GlobalDescriptorTable gdt;
    InterruptManager* manager = nullptr;
    SyscallHandler* handler = nullptr;
    LowMemory memory{4096};
    CPUState* frame = nullptr;
    char* text = nullptr;
    consolecapture::Capture capture;
};

}  // namespace

TEST_F(Syscalls, HandlerSitsAtGate0x80PlusTheIrqBase) {
    EXPECT_EQ(manager->HandlerAt(0xA0), handler);
    EXPECT_EQ(manager->HandlerAt(0x80), nullptr);
}

TEST_F(Syscalls, Eax4PrintsTheStringAtEbx) {
    frame->eax = 4;
    frame->ebx = memory.address(256);
    EXPECT_EQ(InterruptManager::HandleInterrupt(0xA0, memory.address()), memory.address());
    EXPECT_EQ(capture.Text(), "HELLO FROM RING 0\n");
    EXPECT_EQ(frame->eax, 4u);  // the frame is left as it was
}

TEST_F(Syscalls, OtherCallNumbersPrintNothing) {
    frame->ebx = memory.address(256);
    for (uint32_t eax : {0u, 1u, 3u, 5u, 0x104u}) {
        frame->eax = eax;
        InterruptManager::HandleInterrupt(0xA0, memory.address());
    }
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(Syscalls, NullStringIsRefused) {
    frame->eax = 4;
    frame->ebx = 0;
    InterruptManager::HandleInterrupt(0xA0, memory.address());
    EXPECT_EQ(capture.Text(), "");
}
