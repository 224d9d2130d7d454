// Host stand-ins for the interrupt entry stubs: distinct functions whose
// addresses the IDT can hold. Each records the number its real stub reports.
#include "hardwarecommunication/interrupts.h"

extern "C" {

u8 interruptnumber = 0;

void InterruptIgnore() { interruptnumber = 0xFF; }

#define TARN_HOST_STUB(name, reported) \
    void name() { interruptnumber = (reported); }

TARN_HOST_STUB(HandleException0x00, 0x00)
TARN_HOST_STUB(HandleException0x01, 0x01)
TARN_HOST_STUB(HandleException0x02, 0x02)
TARN_HOST_STUB(HandleException0x03, 0x03)
TARN_HOST_STUB(HandleException0x04, 0x04)
TARN_HOST_STUB(HandleException0x05, 0x05)
TARN_HOST_STUB(HandleException0x06, 0x06)
TARN_HOST_STUB(HandleException0x07, 0x07)
TARN_HOST_STUB(HandleException0x08, 0x08)
TARN_HOST_STUB(HandleException0x09, 0x09)
TARN_HOST_STUB(HandleException0x0A, 0x0A)
TARN_HOST_STUB(HandleException0x0B, 0x0B)
TARN_HOST_STUB(HandleException0x0C, 0x0C)
TARN_HOST_STUB(HandleException0x0D, 0x0D)
TARN_HOST_STUB(HandleException0x0E, 0x0E)
TARN_HOST_STUB(HandleException0x0F, 0x0F)
TARN_HOST_STUB(HandleException0x10, 0x10)
TARN_HOST_STUB(HandleException0x11, 0x11)
TARN_HOST_STUB(HandleException0x12, 0x12)
TARN_HOST_STUB(HandleException0x13, 0x13)
TARN_HOST_STUB(HandleInterruptRequest0x00, 0x20)
TARN_HOST_STUB(HandleInterruptRequest0x01, 0x21)
TARN_HOST_STUB(HandleInterruptRequest0x02, 0x22)
TARN_HOST_STUB(HandleInterruptRequest0x03, 0x23)
TARN_HOST_STUB(HandleInterruptRequest0x04, 0x24)
TARN_HOST_STUB(HandleInterruptRequest0x05, 0x25)
TARN_HOST_STUB(HandleInterruptRequest0x06, 0x26)
TARN_HOST_STUB(HandleInterruptRequest0x07, 0x27)
TARN_HOST_STUB(HandleInterruptRequest0x08, 0x28)
TARN_HOST_STUB(HandleInterruptRequest0x09, 0x29)
TARN_HOST_STUB(HandleInterruptRequest0x0A, 0x2A)
TARN_HOST_STUB(HandleInterruptRequest0x0B, 0x2B)
TARN_HOST_STUB(HandleInterruptRequest0x0C, 0x2C)
TARN_HOST_STUB(HandleInterruptRequest0x0D, 0x2D)
TARN_HOST_STUB(HandleInterruptRequest0x0E, 0x2E)
TARN_HOST_STUB(HandleInterruptRequest0x0F, 0x2F)
TARN_HOST_STUB(HandleSyscall0x80, 0xA0)

#undef TARN_HOST_STUB
}
