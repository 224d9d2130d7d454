// Processor features start-up turns on before the display is used: the SSE
// state, for the video copy's 16-byte stores, and paging with a
// write-combining framebuffer. Kernel build only (cpu_setup_x86.cpp).
#ifndef TARN_KERNEL_CPU_SETUP_H
#define TARN_KERNEL_CPU_SETUP_H

#include "lib/types.h"

namespace tarn {

// Enables the SSE state (CR0.EM clear, CR0.MP, CR4.OSFXSR, CR4.OSXMMEXCPT)
// when the processor has SSE2 and FXSAVE; true when it did.
bool cpu_enable_sse2();

// Turns paging on with the identity map of page_directory.h and
// [base, base + size) write-combining; false, and paging left off, on a
// processor without 4 MiB pages or the PAT.
bool cpu_map_write_combining(u32 base, u32 size);

}  // namespace tarn

#endif
