#include "catalogue/dll_path.h"

#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/views.h"
#include "platform/widetext.h"

namespace {

// How a host of the registration's view sees the file system, against how
// this process sees it.
enum FolderMap {
    SAME_FOLDERS,   // the process's own view, or a machine with one view
    TO_32BIT_VIEW,  // a 64-bit program looking at a 32-bit registration
    TO_64BIT_VIEW,  // a 32-bit program looking at a 64-bit registration
};

FolderMap folder_map(int32_t bits)
{
    if (other_view(bits) == 0) return SAME_FOLDERS;
    if (bits == PLUG_BITS_32 && PROCESS_IS_64BIT) return TO_32BIT_VIEW;
    if (bits == PLUG_BITS_64 && !PROCESS_IS_64BIT) return TO_64BIT_VIEW;
    return SAME_FOLDERS;
}

WCHAR fold(WCHAR c)
{
    return c == '/' ? '\\' : ascii_upper(c);
}

// ASCII letters without regard to case, '/' the same as '\'.
int same_text(const WCHAR *a, const WCHAR *b, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (fold(a[i]) != fold(b[i])) return 0;
    return 1;
}

int same_ascii(const WCHAR *text, size_t len, const char *ascii)
{
    size_t n = strlen(ascii);
    if (n != len) return 0;
    for (size_t i = 0; i < n; i++)
        if (fold(text[i]) != fold(static_cast<WCHAR>(ascii[i]))) return 0;
    return 1;
}

// Appends text to out (at *at of out_chars, terminator kept in room); 0
// when it does not fit.
int append(WCHAR *out, size_t out_chars, size_t *at, const WCHAR *text, size_t len)
{
    if (*at + len + 1 > out_chars) return 0;
    memcpy(out + *at, text, len * sizeof(WCHAR));
    *at += len;
    out[*at] = 0;
    return 1;
}

int append_ascii(WCHAR *out, size_t out_chars, size_t *at, const char *ascii)
{
    WCHAR wide[64];
    if (!widen_ascii(ascii, wide, sizeof wide / sizeof wide[0])) return 0;
    return append(out, out_chars, at, wide, wide_length(wide));
}

// The variables a process of the other bitness sees differently, with the
// name under which this process finds the other view's value.
struct ProgramFolder {
    const char *name;
    const char *as_32bit; // for a 64-bit program reading a 32-bit row
    const char *as_64bit; // for a 32-bit program reading a 64-bit row
};
const ProgramFolder PROGRAM_FOLDERS[] = {
    {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"},
    {"CommonProgramFiles", "CommonProgramFiles(x86)", "CommonProgramW6432"},
};

int variable_exists(const char *name)
{
    WCHAR wide[64];
    WCHAR value[2];
    return widen_ascii(name, wide, sizeof wide / sizeof wide[0]) &&
           GetEnvironmentVariableW(wide, value, 2) > 0;
}

// The name the view's value is found under, or null to keep the one written.
const char *view_variable(const WCHAR *name, size_t len, FolderMap map)
{
    if (map == SAME_FOLDERS) return nullptr;
    for (const ProgramFolder &folder : PROGRAM_FOLDERS) {
        if (!same_ascii(name, len, folder.name)) continue;
        const char *renamed = map == TO_32BIT_VIEW ? folder.as_32bit : folder.as_64bit;
        return variable_exists(renamed) ? renamed : nullptr;
    }
    return nullptr;
}

// Expands %VARIABLES% as a process of the view would: the program folders
// are renamed to where this process finds the view's values, then the
// platform expands the text.
int expand_for_view(const WCHAR *stored, FolderMap map, WCHAR *out, size_t out_chars)
{
    WCHAR renamed[2 * PLUG_DLL_PATH_SIZE];
    size_t at = 0;
    renamed[0] = 0;
    for (const WCHAR *p = stored; *p != 0;) {
        const WCHAR *end = *p == '%' ? p + 1 : nullptr;
        while (end != nullptr && *end != 0 && *end != '%') end++;
        if (end == nullptr || *end == 0) {
            if (!append(renamed, sizeof renamed / sizeof renamed[0], &at, p, 1)) return 0;
            p++;
            continue;
        }
        const char *name = view_variable(p + 1, static_cast<size_t>(end - p - 1), map);
        int ok = name != nullptr
                     ? append_ascii(renamed, sizeof renamed / sizeof renamed[0], &at, "%") &&
                           append_ascii(renamed, sizeof renamed / sizeof renamed[0], &at, name) &&
                           append_ascii(renamed, sizeof renamed / sizeof renamed[0], &at, "%")
                     : append(renamed, sizeof renamed / sizeof renamed[0], &at, p,
                              static_cast<size_t>(end - p + 1));
        if (!ok) return 0;
        p = end + 1;
    }
    DWORD n = ExpandEnvironmentStringsW(renamed, out, static_cast<DWORD>(out_chars));
    return n > 0 && n <= out_chars;
}

// "<Windows folder>\<name>" as this process names the Windows folder.
int windows_subfolder(const char *name, WCHAR *out, size_t out_chars)
{
    UINT n = GetWindowsDirectoryW(out, static_cast<UINT>(out_chars));
    if (n == 0 || n >= out_chars) return 0;
    size_t at = n;
    if (out[at - 1] == '\\') out[--at] = 0;
    return append_ascii(out, out_chars, &at, "\\") && append_ascii(out, out_chars, &at, name);
}

// The folder that stands for System32 in the view.
int view_system_folder(FolderMap map, WCHAR *out, size_t out_chars)
{
    if (map == TO_32BIT_VIEW) {
        UINT n = GetSystemWow64DirectoryW(out, static_cast<UINT>(out_chars));
        return n > 0 && n < out_chars;
    }
    if (map == TO_64BIT_VIEW) return windows_subfolder("Sysnative", out, out_chars);
    UINT n = GetSystemDirectoryW(out, static_cast<UINT>(out_chars));
    return n > 0 && n < out_chars;
}

// Rewrites a path below System32, in any letter case, to the view's system
// folder; 0 only when the result would not fit.
int map_system_folder(WCHAR *path, size_t path_chars, FolderMap map)
{
    if (map == SAME_FOLDERS) return 1;
    WCHAR prefix[PLUG_DLL_PATH_SIZE];
    if (!windows_subfolder("System32", prefix, sizeof prefix / sizeof prefix[0])) return 1;
    size_t len = wide_length(prefix);
    if (wide_length(path) < len || !same_text(path, prefix, len)) return 1;
    if (path[len] != 0 && path[len] != '\\' && path[len] != '/') return 1;
    WCHAR mapped[PLUG_DLL_PATH_SIZE];
    if (!view_system_folder(map, mapped, sizeof mapped / sizeof mapped[0])) return 1;
    size_t at = wide_length(mapped);
    const WCHAR *rest = path + len;
    if (!append(mapped, sizeof mapped / sizeof mapped[0], &at, rest, wide_length(rest)) ||
        at + 1 > path_chars)
        return 0;
    memcpy(path, mapped, (at + 1) * sizeof(WCHAR));
    return 1;
}

// dir (dir_len characters) and name joined into out, mapped to the view;
// 0 when it does not fit or dir is empty.
int join(const WCHAR *dir, size_t dir_len, const WCHAR *name, FolderMap map, WCHAR *out,
         size_t out_chars)
{
    if (dir_len == 0) return 0;
    size_t at = 0;
    out[0] = 0;
    static const WCHAR separator[] = {'\\', 0};
    int ok = append(out, out_chars, &at, dir, dir_len) &&
             (dir[dir_len - 1] == '\\' || dir[dir_len - 1] == '/' ||
              append(out, out_chars, &at, separator, 1)) &&
             append(out, out_chars, &at, name, wide_length(name));
    return ok && map_system_folder(out, out_chars, map);
}

// The loader's order for a COM server, without the program's and the
// current folder: the view's system folder, the Windows folder, the PATH.
// out holds the first place found, or else the first looked at.
int search_bare_name(const WCHAR *name, FolderMap map, WCHAR *out, size_t out_chars)
{
    WCHAR dir[PLUG_DLL_PATH_SIZE];
    WCHAR candidate[PLUG_DLL_PATH_SIZE];
    out[0] = 0;
    if (view_system_folder(map, dir, sizeof dir / sizeof dir[0]) &&
        join(dir, wide_length(dir), name, SAME_FOLDERS, out, out_chars) && file_opens(out))
        return DLL_FILE_FOUND;
    UINT n = GetWindowsDirectoryW(dir, sizeof dir / sizeof dir[0]);
    if (n > 0 && n < sizeof dir / sizeof dir[0] &&
        join(dir, n, name, map, candidate, sizeof candidate / sizeof candidate[0]) &&
        file_opens(candidate)) {
        memcpy(out, candidate, (wide_length(candidate) + 1) * sizeof(WCHAR));
        return DLL_FILE_FOUND;
    }
    static const WCHAR path_name[] = {'P', 'A', 'T', 'H', 0};
    // An environment variable holds at most 32767 characters.
    DWORD size = GetEnvironmentVariableW(path_name, nullptr, 0);
    if (size == 0 || size > 32768) return DLL_FILE_MISSING;
    WCHAR *list = static_cast<WCHAR *>(malloc(size * sizeof(WCHAR)));
    if (list == nullptr) return DLL_FILE_MISSING;
    DWORD len = GetEnvironmentVariableW(path_name, list, size);
    int found = DLL_FILE_MISSING;
    // A PATH changed between the two calls is not searched.
    for (DWORD start = 0; len < size && start < len && found != DLL_FILE_FOUND;) {
        DWORD end = start;
        while (end < len && list[end] != ';') end++;
        if (join(list + start, end - start, name, map, candidate,
                 sizeof candidate / sizeof candidate[0]) &&
            file_opens(candidate)) {
            memcpy(out, candidate, (wide_length(candidate) + 1) * sizeof(WCHAR));
            found = DLL_FILE_FOUND;
        }
        start = end + 1;
    }
    free(list);
    return found;
}

int is_bare_name(const WCHAR *path)
{
    for (const WCHAR *p = path; *p != 0; p++)
        if (*p == '\\' || *p == '/' || *p == ':') return 0;
    return 1;
}

} // namespace

int file_opens(const WCHAR *path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    return 1;
}

int find_dll_file(const WCHAR *stored, DWORD type, int32_t bits, WCHAR *out, size_t out_chars)
{
    if (out_chars == 0) return DLL_FILE_MISSING;
    out[0] = 0;
    // The loader takes a server path from text values only.
    if (stored == nullptr || (type != REG_SZ && type != REG_EXPAND_SZ)) return DLL_FILE_MISSING;
    FolderMap map = folder_map(bits);
    WCHAR path[PLUG_DLL_PATH_SIZE];
    if (type == REG_EXPAND_SZ) {
        if (!expand_for_view(stored, map, path, sizeof path / sizeof path[0]))
            return DLL_FILE_MISSING;
    } else {
        size_t at = 0;
        if (!append(path, sizeof path / sizeof path[0], &at, stored, wide_length(stored)))
            return DLL_FILE_MISSING;
    }
    if (path[0] == 0) return DLL_FILE_MISSING;
    if (is_bare_name(path)) return search_bare_name(path, map, out, out_chars);
    if (!map_system_folder(path, sizeof path / sizeof path[0], map)) return DLL_FILE_MISSING;
    size_t at = 0;
    if (!append(out, out_chars, &at, path, wide_length(path))) return DLL_FILE_MISSING;
    return file_opens(out) ? DLL_FILE_FOUND : DLL_FILE_MISSING;
}
