// 16550 UART on COM1 (0x3F8, IRQ 4): 38400 baud 8N1, received bytes to a sink.
#ifndef TARN_DRIVERS_SERIAL_H
#define TARN_DRIVERS_SERIAL_H

#include "drivers/driver.h"
#include "hardwarecommunication/interrupts.h"
#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

// Sink for serial events; the base versions do nothing, so a plain
// SerialEventHandler drops what arrives.
class SerialEventHandler {
public:
    SerialEventHandler() {}
    virtual void OnActivate() {}
    virtual void OnSend(u8 byte) {}
    virtual void OnReceive(u8 byte) {}
};

class SerialDriver : public hardwarecommunication::InterruptHandler, public Driver {
public:
    // Line-status polls Send makes before it gives up on a UART that never
    // empties its transmitter (or is not there at all).
    static constexpr u32 kSendPolls = 100000;

    SerialDriver(hardwarecommunication::InterruptManager* manager, SerialEventHandler* handler);
    ~SerialDriver();

    // Programs the line: 38400 baud, 8 data bits, no parity, 1 stop bit,
    // FIFOs on, interrupt on received data.
    void Activate() override;
    // Received data: one byte from the receive buffer to the sink.
    u32 HandleInterrupt(u32 esp) override;

    // Transmits one byte once the transmit holding register is empty and
    // tells the sink. Returns false, sending nothing, when the register
    // stays full for kSendPolls line-status reads.
    bool Send(u8 byte);

private:
    hardwarecommunication::Port8Bit dataport;          // 0x3F8 data / divisor low
    hardwarecommunication::Port8Bit interruptport;     // 0x3F9 interrupt enable / divisor high
    hardwarecommunication::Port8Bit fifoport;          // 0x3FA FIFO control
    hardwarecommunication::Port8Bit linecontrolport;   // 0x3FB line control
    hardwarecommunication::Port8Bit modemcontrolport;  // 0x3FC modem control
    hardwarecommunication::Port8Bit linestatusport;    // 0x3FD line status
    hardwarecommunication::Port8Bit modemstatusport;   // 0x3FE modem status
    hardwarecommunication::Port8Bit scratchport;       // 0x3FF scratch
    SerialEventHandler* handler;
};

}  // namespace drivers
}  // namespace tarn

#endif
