#include "catalogue/scan_common.h"

#include <cstring>

#include "platform/keyguard.h"

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

int read_text(HKEY key, const char *name, char *buf, DWORD capacity)
{
    DWORD len = capacity;
    LONG r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buf), &len);
    if (r != ERROR_SUCCESS || len > capacity) {
        // A refused read may have written part of the value: leave no trace.
        memset(buf, 0, capacity + 1);
        return 0;
    }
    buf[len] = '\0';
    return 1;
}

int read_dll_path(HKEY parent, const char *sub_path, PlugEntry *entry)
{
    KeyGuard server;
    if (RegOpenKeyExA(parent, sub_path, 0, KEY_READ, server.out()) != ERROR_SUCCESS) return 0;
    int ok = read_text(server.get(), nullptr, entry->dll_path, TEXT_CAPACITY);
    server.close();
    entry->dll_exists = file_exists(entry->dll_path);
    return ok;
}

void copy_text(char *dst, const char *src, size_t max_chars)
{
    size_t n = strlen(src);
    if (n > max_chars) n = max_chars;
    memcpy(dst, src, n);
    dst[n] = '\0';
}
