#include "catalogue/scan_common.h"

#include <cstdlib>
#include <cstring>

#include "catalogue/dll_path.h"
#include "platform/keyguard.h"
#include "platform/regtext.h"

int walk_ends(LONG result, DWORD *failures)
{
    if (result == ERROR_SUCCESS) {
        *failures = 0;
        return 0;
    }
    if (result == ERROR_NO_MORE_ITEMS || result == ERROR_KEY_DELETED ||
        result == ERROR_INVALID_HANDLE)
        return 1;
    return ++*failures >= WALK_MAX_FAILURES;
}

int read_text(HKEY key, const char *name, char *buf, size_t buf_size, DWORD capacity)
{
    // A refused read leaves buf empty: no trace of part of the value.
    return reg_read_text(key, name, buf, buf_size, capacity);
}

// ---- whether a plug-in's DLL can be found ----------------------------------
// A path opens for reading; which path a server value names, in the view of
// its registration, is catalogue/dll_path.cpp's to say.

int file_exists(const char *path)
{
    WCHAR wide[PLUG_DLL_PATH_SIZE];
    return path != nullptr && utf8_to_utf16(path, wide, PLUG_DLL_PATH_SIZE) && file_opens(wide);
}

// The server value as stored, read wide: the ANSI text loses what lies
// outside the code page.
static int dll_found(HKEY server, int32_t bits, WCHAR *file)
{
    WCHAR stored[TEXT_CAPACITY + 1];
    DWORD type = REG_NONE;
    DWORD bytes = TEXT_CAPACITY * sizeof(WCHAR);
    if (RegQueryValueExW(server, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(stored),
                         &bytes) != ERROR_SUCCESS ||
        bytes > TEXT_CAPACITY * sizeof(WCHAR))
        return 0;
    stored[bytes / sizeof(WCHAR)] = 0;
    return find_dll_file(stored, type, bits, file, PLUG_FILE_CHARS) == DLL_FILE_FOUND;
}

int read_dll_path(HKEY parent, const char *sub_path, int32_t bits, PlugEntry *entry,
                  WCHAR *file)
{
    // Every caller passes PLUG_FILE_CHARS characters; cppcheck's whole-program
    // pass loses the size of the arrays behind the pointer.
    // cppcheck-suppress ctuArrayIndex
    file[0] = 0;
    KeyGuard server;
    if (reg_open(parent, sub_path, 0, KEY_READ, server.out()) != ERROR_SUCCESS) return 0;
    int ok = read_text(server.get(), nullptr, entry->dll_path, sizeof entry->dll_path, TEXT_CAPACITY);
    entry->dll_exists = ok ? dll_found(server.get(), bits, file) : 0;
    return ok;
}
void copy_text(char *dst, const char *src, size_t max_chars)
{
    // Whole characters only: a cut never splits a UTF-8 sequence or a pair.
    size_t chars = 0;
    const char *end = src;
    while (*end != '\0') {
        const char *next = end;
        size_t units = utf8_next(&next) >= 0x10000 ? 2 : 1;
        if (chars + units > max_chars) break;
        chars += units;
        end = next;
    }
    memcpy(dst, src, static_cast<size_t>(end - src));
    dst[end - src] = '\0';
}
