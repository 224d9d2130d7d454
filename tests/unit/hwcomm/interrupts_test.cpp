#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "hardwarecommunication/interrupts.h"
#include "kernel/fatal_square.h"
#include "kernel/gdt.h"
#include "kernel/globals.h"
#include "kernel/multitasking.h"
#include "tests/support/sim_pic.h"
#include "tests/support/simbus.h"
#include "tests/unit/hwcomm/low_memory.h"

using tarn::GlobalDescriptorTable;
using tarn::TaskManager;
using tarn::hardwarecommunication::CPUState;
using tarn::hardwarecommunication::InterruptHandler;
using tarn::hardwarecommunication::InterruptManager;
using simbus::W8;

namespace {

uint32_t address_of(void (*f)()) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(f));
}

uint32_t gate_address(const InterruptManager::GateDescriptor& g) {
    return g.handlerAddressLowBits | static_cast<uint32_t>(g.handlerAddressHighBits) << 16;
}

// Counts its calls and hands back a chosen frame.
class RecordingHandler : public InterruptHandler {
public:
    RecordingHandler(InterruptManager* m, uint8_t n, uint32_t reply = 0)
        : InterruptHandler(m, n), reply(reply) {}
    uint32_t HandleInterrupt(uint32_t esp) override {
        ++calls;
        seen_esp = esp;
        return reply ? reply : esp;
    }
    int calls = 0;
    uint32_t seen_esp = 0;
    uint32_t reply;
};

class Interrupts : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&pic);
        gdt = new GlobalDescriptorTable();
        manager = new InterruptManager(0x20, gdt->CodeSegmentSelector(), &tasks);
        // As the kernel wires it: a fault nobody handles marks the screen.
        InterruptManager::FatalHook(tarn::draw_exception_square);
    }
    void TearDown() override {
        InterruptManager::FatalHook(nullptr);
        delete manager;
        delete gdt;
        g_fb_addr = nullptr;
        g_fb_width = g_fb_height = g_fb_pitch = 0;
        g_fb_bpp = 0;
        simbus::bus().reset();
    }

    void use_framebuffer(std::vector<uint8_t>& fb, uint32_t width, uint32_t height, uint8_t bpp) {
        uint32_t bytes_per_pixel = bpp < 24 ? 2 : bpp / 8;
        fb.assign(width * height * bytes_per_pixel, 0x11);
        g_fb_addr = reinterpret_cast<u32*>(fb.data());
        g_fb_width = width;
        g_fb_height = height;
        g_fb_pitch = width * bytes_per_pixel;
        g_fb_bpp = bpp;
    }

    simbus::SimPic pic;
    TaskManager tasks;
    GlobalDescriptorTable* gdt = nullptr;
    InterruptManager* manager = nullptr;
};

}  // namespace

TEST_F(Interrupts, EveryGateIsAPresentRing0InterruptGateOnTheCodeSegment) {
    const InterruptManager::GateDescriptor* idt = InterruptManager::DescriptorTable();
    EXPECT_EQ(sizeof(InterruptManager::GateDescriptor), 8u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(idt[i].gdt_codeSegmentSelector, 0x10) << i;
        EXPECT_EQ(idt[i].access, 0x8E) << i;
        EXPECT_EQ(idt[i].reserved, 0) << i;
    }
}

TEST_F(Interrupts, GatesPointAtTheirStubs) {
    const InterruptManager::GateDescriptor* idt = InterruptManager::DescriptorTable();
    EXPECT_EQ(gate_address(idt[0x00]), address_of(HandleException0x00));
    EXPECT_EQ(gate_address(idt[0x0D]), address_of(HandleException0x0D));
    EXPECT_EQ(gate_address(idt[0x13]), address_of(HandleException0x13));
    EXPECT_EQ(gate_address(idt[0x20]), address_of(HandleInterruptRequest0x00));
    EXPECT_EQ(gate_address(idt[0x21]), address_of(HandleInterruptRequest0x01));
    EXPECT_EQ(gate_address(idt[0x2F]), address_of(HandleInterruptRequest0x0F));
    EXPECT_EQ(gate_address(idt[0x80]), address_of(HandleSyscall0x80));
    for (int v : {0x14, 0x1F, 0x30, 0x7F, 0x81, 0xA0, 0xFF})
        EXPECT_EQ(gate_address(idt[v]), address_of(InterruptIgnore)) << v;
    // The stand-ins report what the real stubs report.
    HandleInterruptRequest0x09();
    EXPECT_EQ(interruptnumber, 0x29);
    HandleSyscall0x80();
    EXPECT_EQ(interruptnumber, 0xA0);
}

TEST_F(Interrupts, TableIsLoadedWithInterruptsStillDisabled) {
    ASSERT_EQ(simbus::bus().loaded_idt, &InterruptManager::DescriptorTablePointer());
    EXPECT_EQ(InterruptManager::DescriptorTablePointer().size, 0x7FF);
    EXPECT_EQ(InterruptManager::DescriptorTablePointer().base,
              reinterpret_cast<uintptr_t>(InterruptManager::DescriptorTable()));
    EXPECT_FALSE(simbus::bus().interrupts_enabled);
    EXPECT_EQ(manager->HardwareInterruptOffset(), 0x20);
    EXPECT_EQ(InterruptManager::Active(), nullptr);
}

TEST_F(Interrupts, ControllersAreRemappedWithTheExactInitialisationSequence) {
    std::vector<simbus::Access> expected = {
        W8(0x20, 0x11), W8(0xA0, 0x11), W8(0x21, 0x20), W8(0xA1, 0x28), W8(0x21, 0x04),
        W8(0xA1, 0x02), W8(0x21, 0x01), W8(0xA1, 0x01), W8(0x21, 0x00), W8(0xA1, 0x00),
    };
    EXPECT_EQ(simbus::bus().log(), expected);
    EXPECT_TRUE(pic.master.initialised);
    EXPECT_TRUE(pic.slave.initialised);
    EXPECT_EQ(pic.master.vector_base, 0x20);
    EXPECT_EQ(pic.slave.vector_base, 0x28);
    EXPECT_EQ(pic.master.mask, 0x00);
    EXPECT_EQ(pic.slave.mask, 0x00);
}

TEST_F(Interrupts, OtherIrqBaseMovesRequestGatesAndVectors) {
    delete manager;
    simbus::bus().clear_log();
    manager = new InterruptManager(0x40, gdt->CodeSegmentSelector(), &tasks);
    const InterruptManager::GateDescriptor* idt = InterruptManager::DescriptorTable();
    EXPECT_EQ(gate_address(idt[0x40]), address_of(HandleInterruptRequest0x00));
    EXPECT_EQ(gate_address(idt[0x4F]), address_of(HandleInterruptRequest0x0F));
    EXPECT_EQ(gate_address(idt[0x20]), address_of(InterruptIgnore));
    EXPECT_EQ(pic.master.vector_base, 0x40);
    EXPECT_EQ(pic.slave.vector_base, 0x48);
}

TEST_F(Interrupts, NothingIsDispatchedBeforeActivate) {
    RecordingHandler h(manager, 0x21);
    simbus::bus().clear_log();
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x21, 0x1234), 0x1234u);
    EXPECT_EQ(h.calls, 0);
    EXPECT_TRUE(simbus::bus().log().empty());
}

TEST_F(Interrupts, RequestOnSlaveLineAcknowledgesMasterThenSlave) {
    manager->Activate();
    simbus::bus().clear_log();
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x29, 0x5000), 0x5000u);
    std::vector<simbus::Access> expected = {W8(0x20, 0x20), W8(0xA0, 0x20)};
    EXPECT_EQ(simbus::bus().log(), expected);
    EXPECT_EQ(pic.eoi_order, "MS");
    EXPECT_EQ(simbus::bus().halt_count, 0);
}

TEST_F(Interrupts, EndOfInterruptOnlyForTheSixteenRequestVectors) {
    manager->Activate();
    for (int v : {0x20, 0x21, 0x27}) InterruptManager::HandleInterrupt(static_cast<uint8_t>(v), 0x5000);
    EXPECT_EQ(pic.eoi_order, "MMM");
    for (int v : {0x28, 0x2F}) InterruptManager::HandleInterrupt(static_cast<uint8_t>(v), 0x5000);
    EXPECT_EQ(pic.eoi_order, "MMMMSMS");
    simbus::bus().clear_log();
    for (int v : {0x30, 0x80, 0xA0, 0xFF}) InterruptManager::HandleInterrupt(static_cast<uint8_t>(v), 0x5000);
    EXPECT_TRUE(simbus::bus().log().empty());
}

TEST_F(Interrupts, RegisteredHandlerRunsAndChoosesTheFrame) {
    RecordingHandler h(manager, 0x21, 0x7000);
    EXPECT_EQ(manager->HandlerAt(0x21), &h);
    manager->Activate();
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x21, 0x6000), 0x7000u);
    EXPECT_EQ(h.calls, 1);
    EXPECT_EQ(h.seen_esp, 0x6000u);
    EXPECT_EQ(pic.master.eoi_count, 1);
    EXPECT_EQ(pic.slave.eoi_count, 0);
}

TEST_F(Interrupts, NewerHandlerReplacesOlderAndSlotClearsOnlyForItsOwner) {
    auto* first = new RecordingHandler(manager, 0x24);
    RecordingHandler second(manager, 0x24);
    EXPECT_EQ(manager->HandlerAt(0x24), &second);
    delete first;  // no longer the owner: must leave the slot alone
    EXPECT_EQ(manager->HandlerAt(0x24), &second);
    manager->Activate();
    InterruptManager::HandleInterrupt(0x24, 0x6000);
    EXPECT_EQ(second.calls, 1);
    {
        RecordingHandler third(manager, 0x25);
        EXPECT_EQ(manager->HandlerAt(0x25), &third);
    }
    EXPECT_EQ(manager->HandlerAt(0x25), nullptr);
}

TEST_F(Interrupts, TimerGoesThroughTheSchedulerWhichKeepsTheFrameWithoutTasks) {
    LowMemory frame(4096);
    ASSERT_NE(frame.get(), nullptr);
    manager->Activate();
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x20, frame.address()), frame.address());
    EXPECT_EQ(tasks.TaskCount(), 0);
    EXPECT_EQ(tasks.CurrentTask(), -1);
}

namespace {
void task_entry_a() {}
void task_entry_b() {}
}  // namespace

TEST_F(Interrupts, TimerSwitchesBetweenTasksRoundRobin) {
    LowMemory memory(3 * 8192);
    ASSERT_NE(memory.get(), nullptr);
    auto* a = new (memory.get()) tarn::Task(gdt, task_entry_a);
    auto* b = new (memory.get() + 8192) tarn::Task(gdt, task_entry_b);
    EXPECT_EQ(a->State()->eip, address_of(task_entry_a));
    EXPECT_EQ(a->State()->cs, 0x10u);
    EXPECT_EQ(a->State()->eflags, 0x202u);
    ASSERT_TRUE(tasks.AddTask(a));
    ASSERT_TRUE(tasks.AddTask(b));
    manager->Activate();

    uint32_t boot_frame = memory.address(2 * 8192);
    uint32_t first = InterruptManager::HandleInterrupt(0x20, boot_frame);
    EXPECT_EQ(first, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(a->State())));
    uint32_t second = InterruptManager::HandleInterrupt(0x20, first);
    EXPECT_EQ(second, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(b->State())));
    // Back to a, whose frame was saved when it was interrupted.
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x20, second), first);
    EXPECT_EQ(pic.master.eoi_count, 3);
    a->~Task();
    b->~Task();
}

TEST_F(Interrupts, UnhandledDivideErrorHaltsWithGreenSquareAndCodeOnPort80) {
    std::vector<uint8_t> fb;
    use_framebuffer(fb, 100, 80, 16);
    manager->Activate();
    simbus::bus().clear_log();
    InterruptManager::HandleInterrupt(0x00, 0x5000);
    EXPECT_EQ(simbus::bus().halt_count, 1);
    EXPECT_FALSE(simbus::bus().interrupts_enabled);
    std::vector<simbus::Access> expected = {W8(0x80, 0x00)};
    EXPECT_EQ(simbus::bus().log(), expected);  // no end-of-interrupt, nothing else
    auto px = [&](int x, int y) { return fb[y * 200 + x * 2] | fb[y * 200 + x * 2 + 1] << 8; };
    EXPECT_EQ(px(0, 0), 0x07E0);
    EXPECT_EQ(px(63, 63), 0x07E0);
    EXPECT_EQ(px(64, 0), 0x1111);
    EXPECT_EQ(px(0, 64), 0x1111);
}

TEST_F(Interrupts, EachExceptionHasItsColour) {
    using tarn::exception_colour;
    EXPECT_EQ(exception_colour(0x00), 0x07E0);
    EXPECT_EQ(exception_colour(0x03), 0xFFFF);
    EXPECT_EQ(exception_colour(0x06), 0xFFE0);
    EXPECT_EQ(exception_colour(0x08), 0x001F);
    EXPECT_EQ(exception_colour(0x0D), 0xF800);
    EXPECT_EQ(exception_colour(0x0E), 0xF81F);
    EXPECT_EQ(exception_colour(0x13), 0xFFFF);
}

TEST_F(Interrupts, BreakpointAt32BitsDrawsWhiteInThreeBytesAndKeepsTheFourth) {
    std::vector<uint8_t> fb;
    use_framebuffer(fb, 80, 70, 32);
    manager->Activate();
    simbus::bus().clear_log();
    InterruptManager::HandleInterrupt(0x03, 0x5000);
    EXPECT_EQ(simbus::bus().log_for(0x80), std::vector<simbus::Access>{W8(0x80, 0x03)});
    const uint8_t* p = &fb[63 * 320 + 63 * 4];
    EXPECT_EQ(p[0], 0xF8);
    EXPECT_EQ(p[1], 0xFC);
    EXPECT_EQ(p[2], 0xF8);
    EXPECT_EQ(p[3], 0x11);
    EXPECT_EQ(fb[64 * 4], 0x11);
}

TEST_F(Interrupts, At24BitsTheSquareTakesThreeBytesAPixelAndStaysInsideTheFramebuffer) {
    std::vector<uint8_t> fb;
    fb.reserve(64 * 240 + 64);         // the guard below stays in the same storage
    use_framebuffer(fb, 80, 64, 24);   // pitch 240: four bytes a pixel would run past each line
    fb.resize(fb.size() + 64, 0x22);   // a guard after the last line
    manager->Activate();
    InterruptManager::HandleInterrupt(0x0D, 0x5000);   // red
    const uint8_t* p = &fb[10 * 240 + 63 * 3];
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[2], 0xF8);
    EXPECT_EQ(fb[10 * 240 + 64 * 3], 0x11);
    for (size_t i = 64 * 240; i < fb.size(); i++) ASSERT_EQ(fb[i], 0x22) << i;
}

TEST_F(Interrupts, GeneralProtectionAt32BitsIsRed) {
    std::vector<uint8_t> fb;
    use_framebuffer(fb, 64, 64, 32);
    manager->Activate();
    InterruptManager::HandleInterrupt(0x0D, 0x5000);
    EXPECT_EQ(fb[0], 0x00);
    EXPECT_EQ(fb[1], 0x00);
    EXPECT_EQ(fb[2], 0xF8);
    EXPECT_EQ(simbus::bus().halt_count, 1);
}

TEST_F(Interrupts, SquareIsSkippedForUnusableFramebufferButHaltStillHappens) {
    std::vector<uint8_t> fb;
    use_framebuffer(fb, 100, 80, 8);  // palette modes are not drawn into
    manager->Activate();
    simbus::bus().clear_log();
    InterruptManager::HandleInterrupt(0x0E, 0x5000);
    EXPECT_EQ(simbus::bus().halt_count, 1);
    EXPECT_EQ(simbus::bus().log_for(0x80), std::vector<simbus::Access>{W8(0x80, 0x0E)});
    for (uint8_t b : fb) ASSERT_EQ(b, 0x11);

    g_fb_addr = nullptr;
    g_fb_bpp = 16;
    InterruptManager::HandleInterrupt(0x06, 0x5000);  // no framebuffer: no crash
    EXPECT_EQ(simbus::bus().halt_count, 2);
}

TEST_F(Interrupts, SquareStaysInsideAFramebufferSmallerThanItself) {
    // 20 x 10 pixels at 16 bpp with exact pitch, in a buffer with a guard.
    std::vector<uint8_t> fb(20 * 10 * 2 + 64, 0x11);
    g_fb_addr = reinterpret_cast<u32*>(fb.data());
    g_fb_width = 20;
    g_fb_height = 10;
    g_fb_pitch = 40;
    g_fb_bpp = 16;
    manager->Activate();
    InterruptManager::HandleInterrupt(0x08, 0x5000);
    EXPECT_EQ(fb[9 * 40 + 19 * 2], 0x1F);  // last pixel: blue 0x001F
    for (size_t i = 20 * 10 * 2; i < fb.size(); ++i) ASSERT_EQ(fb[i], 0x11) << i;
}

TEST_F(Interrupts, ExceptionWithAHandlerIsPassedToItInsteadOfHalting) {
    RecordingHandler h(manager, 0x0E);
    manager->Activate();
    simbus::bus().clear_log();
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x0E, 0x5000), 0x5000u);
    EXPECT_EQ(h.calls, 1);
    EXPECT_EQ(simbus::bus().halt_count, 0);
    EXPECT_TRUE(simbus::bus().log().empty());
}

TEST_F(Interrupts, ActivateEnablesAndDeactivateDisables) {
    manager->Activate();
    EXPECT_EQ(InterruptManager::Active(), manager);
    EXPECT_TRUE(simbus::bus().interrupts_enabled);
    manager->Deactivate();
    EXPECT_EQ(InterruptManager::Active(), nullptr);
    EXPECT_FALSE(simbus::bus().interrupts_enabled);
}

TEST_F(Interrupts, SecondManagerTakesOverAndTheFirstCanNoLongerDisable) {
    manager->Activate();
    RecordingHandler old_handler(manager, 0x21);
    InterruptManager second(0x20, gdt->CodeSegmentSelector(), &tasks);
    RecordingHandler new_handler(&second, 0x21);
    second.Activate();
    EXPECT_EQ(InterruptManager::Active(), &second);
    EXPECT_TRUE(simbus::bus().interrupts_enabled);

    InterruptManager::HandleInterrupt(0x21, 0x5000);
    EXPECT_EQ(new_handler.calls, 1);
    EXPECT_EQ(old_handler.calls, 0);

    manager->Deactivate();  // not active: nothing happens
    EXPECT_TRUE(simbus::bus().interrupts_enabled);
    EXPECT_EQ(InterruptManager::Active(), &second);
    second.Deactivate();
    EXPECT_FALSE(simbus::bus().interrupts_enabled);
}

TEST_F(Interrupts, DestroyingTheActiveManagerDeactivatesIt) {
    manager->Activate();
    delete manager;
    manager = nullptr;
    EXPECT_EQ(InterruptManager::Active(), nullptr);
    EXPECT_FALSE(simbus::bus().interrupts_enabled);
    EXPECT_EQ(InterruptManager::HandleInterrupt(0x00, 0x4321), 0x4321u);
    EXPECT_EQ(simbus::bus().halt_count, 0);
}
