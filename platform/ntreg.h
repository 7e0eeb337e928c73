// The registry services advapi32 does not offer: deleting a key through its
// own handle (the only way to delete a link key rather than what it points
// to), a key's real name, and telling whether two handles name the same key
// (whether a key is shared by both registry views). On Windows they come
// from ntdll's NtDeleteKey and NtQueryKey; the in-process registry answers
// them natively.
#ifndef PLATFORM_NTREG_H
#define PLATFORM_NTREG_H

#include "platform/win.h"

#include <cstring>

#ifdef _WIN32

namespace ntreg_detail {

typedef LONG(WINAPI *NtDeleteKeyFn)(HANDLE);
typedef LONG(WINAPI *NtQueryKeyFn)(HANDLE, int, void *, ULONG, ULONG *);
typedef ULONG(WINAPI *RtlNtStatusToDosErrorFn)(LONG);

inline FARPROC ntdll_proc(const char *name)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr ? nullptr : GetProcAddress(ntdll, name);
}

template <typename Fn> Fn ntdll_fn(const char *name)
{
    // Through an integer: a function pointer cast from FARPROC alone draws
    // -Wcast-function-type.
    return reinterpret_cast<Fn>(reinterpret_cast<ULONG_PTR>(ntdll_proc(name)));
}

// The key's full name in the kernel's namespace, or an empty text.
inline void key_name(HKEY key, WCHAR *out, ULONG out_chars)
{
    out[0] = 0;
    NtQueryKeyFn query = ntdll_fn<NtQueryKeyFn>("NtQueryKey");
    if (query == nullptr) return;
    // KEY_NAME_INFORMATION: a byte length, then the UTF-16 name.
    ULONG buf[1 + 1024];
    ULONG got = 0;
    const int KEY_NAME_INFORMATION_CLASS = 3;
    if (query(key, KEY_NAME_INFORMATION_CLASS, buf, sizeof buf, &got) != 0) return;
    ULONG chars = buf[0] / sizeof(WCHAR);
    if (chars >= out_chars) return;
    memcpy(out, buf + 1, chars * sizeof(WCHAR));
    out[chars] = 0;
}

} // namespace ntreg_detail

// Deletes the key behind `key`, which must have no subkeys; a link key is
// deleted itself. The handle needs DELETE access. 0 or a Win32 error code.
inline LONG delete_key_handle(HKEY key)
{
    using namespace ntreg_detail;
    NtDeleteKeyFn del = ntdll_fn<NtDeleteKeyFn>("NtDeleteKey");
    RtlNtStatusToDosErrorFn to_dos = ntdll_fn<RtlNtStatusToDosErrorFn>("RtlNtStatusToDosError");
    if (del == nullptr || to_dos == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
    LONG status = del(key);
    return status == 0 ? ERROR_SUCCESS : static_cast<LONG>(to_dos(status));
}

// The key's full name in the kernel's namespace ("\REGISTRY\MACHINE\...",
// "\REGISTRY\USER\<sid>\..."): where it really lives, whatever view or
// merged root it was opened through. 1 when it was told and fits out_chars
// with its terminator; 0 with an empty text otherwise.
inline int registry_key_name(HKEY key, WCHAR *out, ULONG out_chars)
{
    ntreg_detail::key_name(key, out, out_chars);
    return out[0] != 0;
}

// 1 when both handles name the same key, 0 when they do not, -1 when that
// cannot be told.
inline int same_registry_key(HKEY a, HKEY b)
{
    WCHAR name_a[1024], name_b[1024];
    ntreg_detail::key_name(a, name_a, 1024);
    ntreg_detail::key_name(b, name_b, 1024);
    if (name_a[0] == 0 || name_b[0] == 0) return -1;
    return lstrcmpiW(name_a, name_b) == 0;
}

#else

LONG delete_key_handle(HKEY key);
int registry_key_name(HKEY key, WCHAR *out, ULONG out_chars);
int same_registry_key(HKEY a, HKEY b);

#endif

#endif
