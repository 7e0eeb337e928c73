// Which file a plug-in's server value names, found as a host process of the
// registration's view finds it. On 64-bit Windows a 32-bit process sees
// System32 as SysWOW64 and its %ProgramFiles% as "Program Files (x86)"; a
// 64-bit program must map these itself for a 32-bit registration, and a
// 32-bit one reaches the real System32 through Sysnative. File-system
// redirection is never switched off: it also moves where this program loads
// its own DLLs.
#ifndef CATALOGUE_DLL_PATH_H
#define CATALOGUE_DLL_PATH_H

#include <cstddef>
#include <cstdint>

#include "platform/win.h"

// Results of find_dll_file.
#define DLL_FILE_FOUND 1
#define DLL_FILE_MISSING 0 // out holds the path looked at first ("" when none)

// 1 when the file at path opens for reading: what "can be found" means.
int file_opens(const WCHAR *path);

// stored is the server value as read (REG_SZ or REG_EXPAND_SZ by type), bits
// the view of the registration. Writes the path a host of that view would
// open into out (out_chars characters with the terminator): a REG_EXPAND_SZ
// value expanded with that view's program folders, the system folder mapped
// to the view's own, and a bare file name searched for in the view's system
// folder, the Windows folder and the PATH. Anything longer than out holds,
// or of another type, is missing with out empty.
int find_dll_file(const WCHAR *stored, DWORD type, int32_t bits, WCHAR *out, size_t out_chars);

#endif
