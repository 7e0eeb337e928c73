#include "catalogue/scan_common.h"

#include <cstdlib>
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

// ---- whether a plug-in's DLL can be found ----------------------------------
// The one home of the rule: a path opens for reading; a server value is read
// wide (the ANSI text loses what lies outside the code page), expanded when
// REG_EXPAND_SZ, and a bare name is looked for where the loader looks for a
// COM server. Every buffer holds TEXT_CAPACITY characters and a terminator;
// anything longer counts as not found.

int file_exists(const char *path)
{
    if (path == nullptr) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    return 1;
}

static int wide_file_exists(const WCHAR *path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    return 1;
}

static size_t wide_length(const WCHAR *text)
{
    size_t n = 0;
    while (text[n] != 0) n++;
    return n;
}

// Whether dir (dir_len characters, not terminated) holds the file name.
static int found_in(const WCHAR *dir, size_t dir_len, const WCHAR *name)
{
    if (dir_len == 0) return 0;
    WCHAR path[TEXT_CAPACITY + 1];
    size_t name_len = wide_length(name);
    size_t sep = dir[dir_len - 1] == '\\' || dir[dir_len - 1] == '/' ? 0 : 1;
    if (dir_len + sep + name_len > TEXT_CAPACITY) return 0;
    memcpy(path, dir, dir_len * sizeof(WCHAR));
    if (sep) path[dir_len] = '\\';
    memcpy(path + dir_len + sep, name, (name_len + 1) * sizeof(WCHAR));
    return wide_file_exists(path);
}

// The search order of LoadLibrary without the program's and the current
// directory: a COM server is not looked for there.
static int search_bare_name(const WCHAR *name)
{
    WCHAR dir[TEXT_CAPACITY + 1];
    UINT n = GetSystemDirectoryW(dir, TEXT_CAPACITY + 1);
    if (n > 0 && n <= TEXT_CAPACITY && found_in(dir, n, name)) return 1;
    n = GetWindowsDirectoryW(dir, TEXT_CAPACITY + 1);
    if (n > 0 && n <= TEXT_CAPACITY && found_in(dir, n, name)) return 1;
    static const WCHAR path_name[] = {'P', 'A', 'T', 'H', 0};
    // An environment variable holds at most 32767 characters.
    DWORD size = GetEnvironmentVariableW(path_name, nullptr, 0);
    if (size == 0 || size > 32768) return 0;
    WCHAR *list = static_cast<WCHAR *>(malloc(size * sizeof(WCHAR)));
    if (list == nullptr) return 0;
    DWORD len = GetEnvironmentVariableW(path_name, list, size);
    int found = 0;
    // A PATH changed between the two calls is not searched.
    for (DWORD start = 0; len < size && start < len && !found;) {
        DWORD end = start;
        while (end < len && list[end] != ';') end++;
        found = found_in(list + start, end - start, name);
        start = end + 1;
    }
    free(list);
    return found;
}

static int dll_found(HKEY server)
{
    WCHAR stored[TEXT_CAPACITY + 1];
    DWORD type = REG_NONE;
    DWORD bytes = TEXT_CAPACITY * sizeof(WCHAR);
    if (RegQueryValueExW(server, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(stored),
                         &bytes) != ERROR_SUCCESS ||
        bytes > TEXT_CAPACITY * sizeof(WCHAR))
        return 0;
    stored[bytes / sizeof(WCHAR)] = 0;
    // The loader takes a server path from text values only.
    if (type != REG_SZ && type != REG_EXPAND_SZ) return 0;
    WCHAR expanded[TEXT_CAPACITY + 1];
    const WCHAR *path = stored;
    if (type == REG_EXPAND_SZ) {
        DWORD n = ExpandEnvironmentStringsW(stored, expanded, TEXT_CAPACITY + 1);
        if (n == 0 || n > TEXT_CAPACITY + 1) return 0;
        path = expanded;
    }
    if (path[0] == 0) return 0;
    for (const WCHAR *p = path; *p != 0; p++)
        if (*p == '\\' || *p == '/' || *p == ':') return wide_file_exists(path);
    return search_bare_name(path);
}

int read_dll_path(HKEY parent, const char *sub_path, PlugEntry *entry)
{
    KeyGuard server;
    if (RegOpenKeyExA(parent, sub_path, 0, KEY_READ, server.out()) != ERROR_SUCCESS) return 0;
    int ok = read_text(server.get(), nullptr, entry->dll_path, TEXT_CAPACITY);
    entry->dll_exists = ok ? dll_found(server.get()) : 0;
    return ok;
}

void copy_text(char *dst, const char *src, size_t max_chars)
{
    size_t n = strlen(src);
    if (n > max_chars) n = max_chars;
    memcpy(dst, src, n);
    dst[n] = '\0';
}
