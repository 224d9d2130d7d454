// Host build only: the kernel's own library keeps its names in the kernel
// build, but on the host it must live beside the C library, so its routines
// get other link names here. Forced in front of every product source of the
// host build; tests include it through the library headers, after their
// system headers.
#ifndef TARN_LIB_HOST_NAMES_H
#define TARN_LIB_HOST_NAMES_H
#ifdef TARN_HOST

#include <stddef.h>
#include <stdint.h>

#define printf tarn_printf
#define puts tarn_puts
#define putc tarn_putc
#define strlen tarn_strlen
#define strcmp tarn_strcmp
#define strchr tarn_strchr
#define itoa tarn_itoa
#define atoi tarn_atoi
#define htoi tarn_htoi

#endif
#endif
