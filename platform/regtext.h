// The registry functions the core calls, with names and texts in UTF-8:
// each converts at the edge (platform/widetext.h) and calls the wide
// function, so nothing is lost to the ANSI code page. Results are the
// platform's; a name that does not fit a registry name is refused with
// ERROR_INVALID_PARAMETER before any call.
#ifndef PLATFORM_REGTEXT_H
#define PLATFORM_REGTEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/widetext.h"
#include "platform/win.h"

// Key paths the core composes: a class path and its subkeys.
#define REG_PATH_CHARS 1024
// A key or value name, terminator included.
#define REG_NAME_CHARS 256

// name as UTF-16 into out, or null for a null name (the default value).
inline int reg_wide_name(const char *name, WCHAR *out, size_t out_chars, const WCHAR **wide)
{
    *wide = nullptr;
    if (name == nullptr) return 1;
    if (!utf8_to_utf16(name, out, out_chars)) return 0;
    *wide = out;
    return 1;
}

inline LONG reg_open(HKEY key, const char *path, DWORD options, REGSAM access, PHKEY out)
{
    WCHAR buf[REG_PATH_CHARS];
    const WCHAR *wide = nullptr;
    if (!reg_wide_name(path, buf, REG_PATH_CHARS, &wide)) return ERROR_INVALID_PARAMETER;
    return RegOpenKeyExW(key, wide, options, access, out);
}

inline LONG reg_create(HKEY key, const char *path, REGSAM access, PHKEY out)
{
    WCHAR buf[REG_PATH_CHARS];
    const WCHAR *wide = nullptr;
    if (!reg_wide_name(path, buf, REG_PATH_CHARS, &wide)) return ERROR_INVALID_PARAMETER;
    return RegCreateKeyExW(key, wide, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, out,
                           nullptr);
}

// A value's raw data, as RegQueryValueExW gives it.
inline LONG reg_query(HKEY key, const char *name, DWORD *type, void *data, DWORD *len)
{
    WCHAR buf[REG_PATH_CHARS];
    const WCHAR *wide = nullptr;
    if (!reg_wide_name(name, buf, REG_PATH_CHARS, &wide)) return ERROR_INVALID_PARAMETER;
    return RegQueryValueExW(key, wide, nullptr, type, static_cast<BYTE *>(data), len);
}

inline LONG reg_set(HKEY key, const char *name, DWORD type, const void *data, DWORD len)
{
    WCHAR buf[REG_PATH_CHARS];
    const WCHAR *wide = nullptr;
    if (!reg_wide_name(name, buf, REG_PATH_CHARS, &wide)) return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(key, wide, 0, type, static_cast<const BYTE *>(data), len);
}

// A text value written as UTF-16 with its terminator.
inline LONG reg_set_text(HKEY key, const char *name, DWORD type, const char *text)
{
    WCHAR data[REG_PATH_CHARS];
    if (!utf8_to_utf16(text, data, REG_PATH_CHARS)) return ERROR_INVALID_PARAMETER;
    return reg_set(key, name, type, data,
                   static_cast<DWORD>((wide_length(data) + 1) * sizeof(WCHAR)));
}

inline LONG reg_delete_value(HKEY key, const char *name)
{
    WCHAR buf[REG_PATH_CHARS];
    const WCHAR *wide = nullptr;
    if (!reg_wide_name(name, buf, REG_PATH_CHARS, &wide)) return ERROR_INVALID_PARAMETER;
    return RegDeleteValueW(key, wide);
}

// The subkey name at index in UTF-8, read into a buffer of capacity
// characters (at most REG_NAME_CHARS); a name that leaves no room for the
// terminator cannot be trusted and answers ERROR_MORE_DATA. out holds
// UTF8_BYTES(capacity) bytes.
inline LONG reg_enum_key(HKEY key, DWORD index, char *out, size_t out_size, DWORD capacity)
{
    WCHAR name[REG_NAME_CHARS];
    if (capacity > REG_NAME_CHARS) capacity = REG_NAME_CHARS;
    DWORD len = capacity;
    out[0] = '\0';
    LONG r = RegEnumKeyExW(key, index, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) return r;
    if (len >= capacity) return ERROR_MORE_DATA;
    return utf16_to_utf8(name, len, out, out_size, len) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

// Data of a text read wide as UTF-8: len bytes of UTF-16 (up to its first
// terminator) for a string type; for any other type the bytes themselves,
// up to the first zero, each as the character of that number. At most
// max_chars characters; 1 when all fit.
inline int reg_data_to_utf8(DWORD type, const BYTE *data, DWORD len, char *out, size_t out_size,
                            size_t max_chars)
{
    WCHAR text[REG_PATH_CHARS];
    size_t n = 0;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK) {
        for (; n + 1 < REG_PATH_CHARS && 2 * n + 1 < len; n++)
            text[n] = static_cast<WCHAR>(data[2 * n] | (data[2 * n + 1] << 8));
    } else {
        for (; n + 1 < REG_PATH_CHARS && n < len && data[n] != 0; n++) text[n] = data[n];
    }
    text[n] = 0;
    return utf16_to_utf8(text, static_cast<size_t>(-1), out, out_size, max_chars);
}

// A text value (the default value for a null name) in UTF-8: unreadable,
// 0, when it is missing or longer than max_chars characters, terminator
// included, as a read into a buffer of that many characters would find.
// out holds UTF8_BYTES(max_chars + 1) bytes and is empty on failure.
inline int reg_read_text(HKEY key, const char *name, char *out, size_t out_size, size_t max_chars)
{
    out[0] = '\0';
    if (max_chars + 1 > REG_PATH_CHARS) return 0;
    WCHAR data[REG_PATH_CHARS];
    DWORD type = REG_NONE;
    DWORD len = static_cast<DWORD>(max_chars * sizeof(WCHAR));
    LONG r = reg_query(key, name, &type, data, &len);
    if (r != ERROR_SUCCESS || len > max_chars * sizeof(WCHAR)) return 0;
    int ok = reg_data_to_utf8(type, reinterpret_cast<const BYTE *>(data), len, out, out_size,
                              max_chars);
    if (!ok) out[0] = '\0';
    return ok;
}

#endif
