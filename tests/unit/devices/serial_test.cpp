// COM1 UART: line programming order, receive interrupt, bounded transmit.
#include <gtest/gtest.h>

#include <vector>

#include "drivers/serial.h"
#include "tests/support/sim_uart.h"
#include "tests/unit/devices/devices_fixture.h"

using tarn::drivers::SerialDriver;
using tarn::drivers::SerialEventHandler;
using simbus::R8;
using simbus::W8;

namespace {

class RecordingSerialSink : public SerialEventHandler {
public:
    void OnActivate() override {
        ++activations;
        accesses_at_activate = simbus::bus().log().size();
    }
    void OnSend(u8 b) override { sent.push_back(b); }
    void OnReceive(u8 b) override { received.push_back(b); }
    int activations = 0;
    size_t accesses_at_activate = 99;
    std::vector<u8> sent;
    std::vector<u8> received;
};

class Serial : public DevicesBus {
protected:
    void SetUp() override {
        DevicesBus::SetUp();
        simbus::bus().attach(&uart);
    }
    simbus::SimUart uart;
    RecordingSerialSink sink;
};

}  // namespace

TEST_F(Serial, RegistersForInterrupt0x24) {
    SerialDriver serial(manager, &sink);
    EXPECT_EQ(manager->HandlerAt(0x24), &serial);
}

TEST_F(Serial, ActivateProgramsThe38400Baud8N1LineInOrder) {
    SerialDriver serial(manager, &sink);
    serial.Activate();
    std::vector<simbus::Access> expected = {
        W8(0x3F9, 0x00), W8(0x3FB, 0x80), W8(0x3F8, 0x03), W8(0x3F9, 0x00),
        W8(0x3FB, 0x03), W8(0x3FA, 0xC7), W8(0x3FC, 0x0B), W8(0x3F9, 0x01),
    };
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(sink.activations, 1);
    EXPECT_EQ(sink.accesses_at_activate, 0u);
}

TEST_F(Serial, ActivatedUartRunsTheLineTheDriverAskedFor) {
    uart.receive({0x55, 0x66});  // stale bytes the FIFO clear discards
    SerialDriver serial(manager, nullptr);
    serial.Activate();
    EXPECT_EQ(uart.baud(), 38400u);
    EXPECT_EQ(uart.data_bits(), 8);
    EXPECT_EQ(uart.stop_bits(), 1);
    EXPECT_FALSE(uart.parity());
    EXPECT_FALSE(uart.dlab());
    EXPECT_TRUE(uart.fifo_enabled);
    EXPECT_EQ(uart.fcr >> 6, 3);  // 14-byte trigger
    EXPECT_TRUE(uart.rx.empty());
    EXPECT_EQ(uart.ier, 0x01);
    EXPECT_FALSE(uart.irq_pending());
    uart.receive({'A'});
    EXPECT_TRUE(uart.irq_pending());  // OUT2 lets it through
}

TEST_F(Serial, ReceiveInterruptPassesOneByteToTheSink) {
    SerialDriver serial(manager, &sink);
    serial.Activate();
    uart.receive({'h', 'i'});
    simbus::bus().clear_log();
    EXPECT_EQ(deliver(0x24, 0x5678), 0x5678u);
    EXPECT_EQ(sink.received, (std::vector<u8>{'h'}));
    auto data = simbus::bus().log_for(0x3F8);
    EXPECT_EQ(data, (std::vector<simbus::Access>{R8(0x3F8, 'h')}));
    deliver(0x24);
    EXPECT_EQ(sink.received, (std::vector<u8>{'h', 'i'}));
    EXPECT_EQ(pic.master.eoi_count, 2);
}

TEST_F(Serial, PlainSinkDropsReceivedBytes) {
    SerialEventHandler plain;
    SerialDriver serial(manager, &plain);
    serial.Activate();
    uart.receive({1, 2});
    deliver(0x24);
    EXPECT_EQ(uart.rx.size(), 1u);  // the byte was taken from the UART
}

TEST_F(Serial, DriverWithoutSinkTakesTheByteAndCarriesOn) {
    SerialDriver serial(manager, nullptr);
    serial.Activate();
    uart.receive({7});
    EXPECT_EQ(deliver(0x24, 0x900), 0x900u);
    EXPECT_TRUE(uart.rx.empty());
    EXPECT_TRUE(serial.Send('k'));
    EXPECT_EQ(uart.tx, (std::vector<uint8_t>{'k'}));
}

TEST_F(Serial, SendWaitsForAnEmptyTransmitterThenWrites) {
    SerialDriver serial(manager, &sink);
    serial.Activate();
    uart.busy_reads = 3;
    uart.lsr_reads = 0;
    simbus::bus().clear_log();
    EXPECT_TRUE(serial.Send('Z'));
    EXPECT_EQ(uart.lsr_reads, 4);
    EXPECT_EQ(uart.tx, (std::vector<uint8_t>{'Z'}));
    EXPECT_EQ(sink.sent, (std::vector<u8>{'Z'}));
    EXPECT_EQ(log().back(), W8(0x3F8, 'Z'));
}

TEST_F(Serial, SendGivesUpOnATransmitterThatNeverEmpties) {
    SerialDriver serial(manager, &sink);
    serial.Activate();
    uart.transmitter_stuck = true;
    uart.lsr_reads = 0;
    simbus::bus().set_logging(false);
    EXPECT_FALSE(serial.Send('Z'));
    EXPECT_EQ(uart.lsr_reads, static_cast<int>(SerialDriver::kSendPolls));
    EXPECT_TRUE(uart.tx.empty());
    EXPECT_TRUE(sink.sent.empty());
}

TEST_F(Serial, LoopbackEchoesSentBytesToTheReceiveInterrupt) {
    SerialDriver serial(manager, &sink);
    serial.Activate();
    simbus::bus().write(0x3FC, 0x1B, 8);  // modem control: loopback on
    ASSERT_TRUE(serial.Send('Q'));
    EXPECT_TRUE(uart.irq_pending());
    deliver(0x24);
    EXPECT_EQ(sink.received, (std::vector<u8>{'Q'}));
    EXPECT_TRUE(uart.tx.empty());
}
