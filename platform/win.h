// The Windows API the core is written against: the real headers on Windows,
// the in-process registry and file stand-ins natively.
#ifndef PLATFORM_WIN_H
#define PLATFORM_WIN_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Whether this process is a 64-bit program.
#define PROCESS_IS_64BIT (sizeof(void *) == 8)
#else
#include "platform/fakewin.h"
#define PROCESS_IS_64BIT (fakereg_process_bits() == 64)
#endif

#endif
