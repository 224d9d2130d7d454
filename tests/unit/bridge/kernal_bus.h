// The serial-bus requests of the patched KERNAL, made by hand on a bare
// Memory and serial bus in the order the KERNAL's LOAD, SAVE and OPEN make them.
#ifndef TARN_TESTS_UNIT_BRIDGE_KERNAL_BUS_H
#define TARN_TESTS_UNIT_BRIDGE_KERNAL_BUS_H

#include <string>
#include <vector>

#include "c64/memory.h"
#include "c64/serial_bus.h"

struct KernalBus {
    Memory& mem;
    SerialBus& io;

    u8 Status() { return mem.read_byte(0x90); }
    u16 Word(u16 at) { return mem.read_byte(at) | mem.read_byte(at + 1) << 8; }
    void Word(u16 at, u16 value) {
        mem.write_byte(at, value & 0xFF);
        mem.write_byte(at + 1, value >> 8);
    }

    void Request(u8 code, u8 byte) {
        mem.write_byte(0x95, byte);
        mem.write_byte(0xDF80, code);  // the patched routines' request register
        io.serve();
    }
    void Attention(u8 command) { Request(4, command); }
    void Send(u8 value) { Request(5, value); }
    u8 Receive() {
        Request(6, 0);
        return mem.read_byte(0xA4);
    }

    // OPEN's part: LISTEN 8, open the channel with its name, UNLISTEN.
    void Open(u8 channel, const std::string& name) {
        Attention(0x28);
        Attention(0xF0 | channel);
        for (char c : name) Send((u8)c);
        Attention(0x3F);
    }
    void Close(u8 channel) {
        Attention(0x28);
        Attention(0xE0 | channel);
        Attention(0x3F);
    }

    // LOAD "name",8,sa: ST cleared, header read, the rest in one request.
    void Load(const std::string& name, u8 sa) {
        mem.write_byte(0x90, 0);
        mem.write_byte(0x93, 0);
        Open(0, name);
        Attention(0x48);
        Attention(0x60);
        u16 header = Receive();
        if (Status() & 0x02) return;  // FILE NOT FOUND
        header |= Receive() << 8;
        Word(0xAE, sa ? header : Word(0x2B));
        Request(7, 0);
        Attention(0x5F);
        Close(0);
    }

    // SAVE "name",8 of [start, end): the load address first.
    void Save(const std::string& name, u16 start, u16 end) {
        mem.write_byte(0x90, 0);
        Open(1, name);
        Attention(0x28);
        Attention(0x61);
        Send(start & 0xFF);
        Send(start >> 8);
        for (u32 a = start; a < end; a++) Send(mem.read_byte((u16)a));
        Attention(0x3F);
        Close(1);
    }

    // Bytes read from a channel until EOI (or a time-out), at most limit.
    std::string Read(u8 channel, size_t limit = 100000) {
        Attention(0x48);
        Attention(0x60 | channel);
        std::string text;
        mem.write_byte(0x90, 0);
        while (text.size() < limit) {
            u8 b = Receive();
            if (Status() & 0x02) break;
            text += (char)b;
            if (Status() & 0x40) break;
        }
        Attention(0x5F);
        return text;
    }
    std::string ErrorChannel() { return Read(15); }
};

#endif
