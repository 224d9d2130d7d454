// 8253/8254 programmable interval timer: channel 0 tick on IRQ 0.
#include "drivers/pit.h"

namespace tarn {
namespace drivers {

namespace {
const u16 kCommandPort = 0x43;   // mode/command register (write only)
const u16 kChannel0Port = 0x40;  // channel 0 count: IRQ 0
const u16 kChannel1Port = 0x41;  // channel 1 count: DRAM refresh on old PCs
const u16 kChannel2Port = 0x42;  // channel 2 count: PC speaker
const u8 kInterruptTimer = 0x20;  // IRQ 0 after remapping

// Command byte: cc aa mmm b  cc=channel  aa=access (3: low then high byte)
//                            mmm=mode (3: square wave)  b=BCD counting
const u8 kCmdChannel0SquareWave = 0x36;  // 00 11 011 0
const u8 kCmdChannel1RateGenerator = 0x74;  // 01 11 010 0
const u8 kCmdLatchChannel1 = 0x40;          // 01 00 xxxx: counter latch
}  // namespace

PITDriver::PITDriver(hardwarecommunication::InterruptManager* manager, PITEventHandler* handler)
    : InterruptHandler(manager, kInterruptTimer),
      commandport(kCommandPort),
      channel0port(kChannel0Port),
      channel1port(kChannel1Port),
      channel2port(kChannel2Port),
      handler(handler) {}

PITDriver::~PITDriver() {}

void PITDriver::Activate() {
    if (handler != nullptr) handler->OnActivate();
    commandport.Write(kCmdChannel0SquareWave);
    channel0port.Write(static_cast<u8>(kDivisor & 0xFF));
    channel0port.Write(static_cast<u8>(kDivisor >> 8));
    // A count of 0 is the longest period, 65536.
    commandport.Write(kCmdChannel1RateGenerator);
    channel1port.Write(0);
    channel1port.Write(0);
}

u16 PITDriver::FreeCount() {
    commandport.Write(kCmdLatchChannel1);
    u8 low = channel1port.Read();
    u8 high = channel1port.Read();
    return static_cast<u16>(low | high << 8);
}

u32 PITDriver::HandleInterrupt(u32 esp) {
    // A timer without a sink still has its interrupt acknowledged by the
    // manager; the tick is simply not counted.
    if (handler != nullptr) handler->OnTick();
    return esp;
}

}  // namespace drivers
}  // namespace tarn
