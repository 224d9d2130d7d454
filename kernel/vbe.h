// Bochs/QEMU VBE display interface (ports 0x1CE/0x1CF): mode setting and the
// linear framebuffer's address from the adapter's PCI BAR 0.
#ifndef TARN_KERNEL_VBE_H
#define TARN_KERNEL_VBE_H

#include "lib/types.h"

void vbe_write(u16 index, u16 value);
u16 vbe_read(u16 index);
// Sets width x height x bpp with the linear framebuffer; false when no
// adapter answers the identification.
bool vbe_set_mode(u16 width, u16 height, u16 bpp);
// Physical address of the framebuffer, or the adapter's customary address
// when no known adapter is on the bus.
u32 vbe_find_lfb();

#endif
