// 16550 UART on COM1: line set-up, receive interrupt, bounded transmit.
#include "drivers/serial.h"

namespace tarn {
namespace drivers {

namespace {
const u16 kCom1 = 0x3F8;
const u16 kData = kCom1 + 0;          // receive/transmit buffer; divisor low with DLAB
const u16 kInterruptEnable = kCom1 + 1;  // interrupt enable; divisor high with DLAB
const u16 kFifoControl = kCom1 + 2;   // write: FIFO control; read: interrupt identification
const u16 kLineControl = kCom1 + 3;
const u16 kModemControl = kCom1 + 4;
const u16 kLineStatus = kCom1 + 5;
const u16 kModemStatus = kCom1 + 6;
const u16 kScratch = kCom1 + 7;
const u8 kInterruptSerial = 0x24;     // IRQ 4 after remapping

const u8 kIerNone = 0x00;
const u8 kIerReceivedData = 0x01;     // bit 0: data available
// Line control: d p pp s ww  d=divisor latch access  pp/p=parity  s=stop bits  ww=word length-5
const u8 kLcrDlab = 0x80;
const u8 kLcr8N1 = 0x03;
// 115200 / 3 = 38400 baud.
const u8 kDivisorLow = 0x03;
const u8 kDivisorHigh = 0x00;
// FIFO control: tt xx x c r e  tt=trigger (11: 14 bytes)  c/r=clear transmit/receive  e=enable
const u8 kFcrEnableClear14 = 0xC7;
// Modem control: bit 0 DTR, bit 1 RTS, bit 3 OUT2 (routes the interrupt to the 8259).
const u8 kMcrDtrRtsOut2 = 0x0B;
// Line status: bit 5 transmit holding register empty.
const u8 kLsrTransmitEmpty = 0x20;
}  // namespace

SerialDriver::SerialDriver(hardwarecommunication::InterruptManager* manager,
                           SerialEventHandler* handler)
    : InterruptHandler(manager, kInterruptSerial),
      dataport(kData),
      interruptport(kInterruptEnable),
      fifoport(kFifoControl),
      linecontrolport(kLineControl),
      modemcontrolport(kModemControl),
      linestatusport(kLineStatus),
      modemstatusport(kModemStatus),
      scratchport(kScratch),
      handler(handler) {}

SerialDriver::~SerialDriver() {}

void SerialDriver::Activate() {
    if (handler != nullptr) handler->OnActivate();
    interruptport.Write(kIerNone);
    linecontrolport.Write(kLcrDlab);
    dataport.Write(kDivisorLow);
    interruptport.Write(kDivisorHigh);
    linecontrolport.Write(kLcr8N1);
    fifoport.Write(kFcrEnableClear14);
    modemcontrolport.Write(kMcrDtrRtsOut2);
    interruptport.Write(kIerReceivedData);
}

u32 SerialDriver::HandleInterrupt(u32 esp) {
    u8 byte = dataport.Read();
    if (handler != nullptr) handler->OnReceive(byte);
    return esp;
}

bool SerialDriver::Send(u8 byte) {
    for (u32 polls = 0; polls < kSendPolls; ++polls) {
        if (linestatusport.Read() & kLsrTransmitEmpty) {
            dataport.Write(byte);
            if (handler != nullptr) handler->OnSend(byte);
            return true;
        }
    }
    return false;
}

}  // namespace drivers
}  // namespace tarn
