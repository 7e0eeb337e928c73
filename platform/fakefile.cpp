// The file side of the native build: CreateFileA/W over the host file
// system, with drive paths mapped below a test folder, and the environment
// and system folders a search for a DLL consults. Plain heap containers, as
// in the registry stand-in.
#include "platform/fakewin.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

namespace {

struct FileState {
    std::map<intptr_t, int> files;
    long long write_limit = -1; // bytes still writable, or -1 for no limit
    DWORD last_error = 0;
    intptr_t next_file = 0x100;
    std::string root;
    std::map<std::u16string, std::u16string> env; // by upper-cased name
    bool env_ready = false;
};

FileState &file_state()
{
    static FileState s;
    return s;
}

std::u16string fold16(const std::u16string &s)
{
    std::u16string out(s);
    for (char16_t &c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

// false on an unpaired surrogate, which no host name can carry.
bool to_utf8(const char16_t *s, std::string *out)
{
    out->clear();
    for (size_t i = 0; s[i] != 0; i++) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (c >> 18)));
            out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

// Test input only, so well-formed UTF-8 is assumed.
std::u16string from_utf8(const char *s)
{
    std::u16string out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
    while (*p != 0) {
        uint32_t c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more > 0) c &= 0x3F >> more;
        for (; more > 0 && (*p & 0xC0) == 0x80; more--) c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::map<std::u16string, std::u16string> &env()
{
    FileState &s = file_state();
    if (!s.env_ready) {
        s.env_ready = true;
        s.env[u"SYSTEMROOT"] = u"C:\\windows";
        s.env[u"WINDIR"] = u"C:\\windows";
        s.env[u"PATH"] = u"C:\\windows\\system32;C:\\windows";
        const bool two_views = fakereg_machine() != FAKE_WIN32;
        const bool wow64 = two_views && fakereg_process_bits() == 32;
        s.env[u"PROGRAMFILES"] = wow64 ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
        s.env[u"COMMONPROGRAMFILES"] =
            wow64 ? u"C:\\Program Files (x86)\\Common Files" : u"C:\\Program Files\\Common Files";
        if (two_views) {
            s.env[u"PROGRAMFILES(X86)"] = u"C:\\Program Files (x86)";
            s.env[u"COMMONPROGRAMFILES(X86)"] = u"C:\\Program Files (x86)\\Common Files";
            s.env[u"PROGRAMW6432"] = u"C:\\Program Files";
            s.env[u"COMMONPROGRAMW6432"] = u"C:\\Program Files\\Common Files";
        }
    }
    return s.env;
}

// "C:\x\y.dll" -> "<root>/c/x/y.dll" while a root is set; anything else is
// handed to the host unchanged.
std::string host_path(const std::string &path)
{
    const std::string &root = file_state().root;
    bool drive = path.size() >= 2 && path[1] == ':' &&
                 ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (root.empty() || !drive) return path;
    std::string out = root + "/";
    out.push_back(static_cast<char>(path[0] | 0x20));
    size_t rest = 2;
    while (rest < path.size() && (path[rest] == '\\' || path[rest] == '/')) rest++;
    out += "/";
    for (size_t i = rest; i < path.size(); i++) out.push_back(path[i] == '\\' ? '/' : path[i]);
    return out;
}

// The Windows error for the host's errno.
DWORD error_of(int host_error)
{
    switch (host_error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_BAD_PATHNAME;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
        return ERROR_DISK_FULL;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

HANDLE fail_open(DWORD code)
{
    file_state().last_error = code;
    return INVALID_HANDLE_VALUE;
}

HANDLE open_file(const std::string &path, DWORD access, DWORD disposition)
{
    int flags;
    if (disposition == OPEN_EXISTING && (access & ~GENERIC_READ) == 0)
        flags = O_RDONLY;
    else if (disposition == CREATE_NEW && (access & ~(GENERIC_READ | GENERIC_WRITE)) == 0)
        flags = O_RDWR | O_CREAT | O_EXCL;
    else
        return fail_open(ERROR_INVALID_PARAMETER);
    int fd = open(host_path(path).c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return fail_open(error_of(errno));
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        // Windows will not open a directory without backup semantics.
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    FileState &s = file_state();
    intptr_t id = s.next_file;
    s.next_file += 4;
    s.files[id] = fd;
    return reinterpret_cast<HANDLE>(id);
}

// Copies text into a buffer of size characters the way the kernel32 getters
// do: the length on success, the size needed when it does not fit.
DWORD give_text(const std::u16string &text, WCHAR *buffer, DWORD size)
{
    if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

} // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file)
{
    (void)share;
    (void)security;
    (void)flags;
    (void)template_file;
    if (path == nullptr) return INVALID_HANDLE_VALUE;
    return open_file(path, access, disposition);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file)
{
    (void)share;
    (void)security;
    (void)flags;
    (void)template_file;
    std::string narrow;
    if (path == nullptr || !to_utf8(path, &narrow)) return INVALID_HANDLE_VALUE;
    return open_file(narrow, access, disposition);
}

BOOL CloseHandle(HANDLE handle)
{
    FileState &s = file_state();
    auto it = s.files.find(reinterpret_cast<intptr_t>(handle));
    if (it == s.files.end()) return FALSE;
    close(it->second);
    s.files.erase(it);
    return TRUE;
}

DWORD ExpandEnvironmentStringsW(LPCWSTR src, LPWSTR dst, DWORD size)
{
    if (src == nullptr) return 0;
    std::u16string out;
    for (const WCHAR *p = src; *p != 0;) {
        const WCHAR *end = *p == u'%' ? p + 1 : nullptr;
        while (end != nullptr && *end != 0 && *end != u'%') end++;
        if (end == nullptr || *end == 0 || end == p + 1) {
            // Not a reference: the percent sign stays as written.
            out.push_back(*p++);
            continue;
        }
        auto it = env().find(fold16(std::u16string(p + 1, end)));
        if (it == env().end()) {
            // An unknown name stays as written, percent signs and all.
            out.append(p, end + 1);
            p = end + 1;
            continue;
        }
        out += it->second;
        p = end + 1;
    }
    give_text(out, dst, size);
    // Unlike the getters, the count includes the terminator either way.
    return static_cast<DWORD>(out.size() + 1);
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    if (name == nullptr) return 0;
    auto it = env().find(fold16(name));
    if (it == env().end()) return 0;
    return give_text(it->second, buffer, size);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    return give_text(u"C:\\windows\\system32", buffer, size);
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size)
{
    return give_text(u"C:\\windows", buffer, size);
}

UINT GetSystemWow64DirectoryW(LPWSTR buffer, UINT size)
{
    if (fakereg_machine() == FAKE_WIN32) return 0;
    return give_text(u"C:\\windows\\syswow64", buffer, size);
}

static int file_fd(HANDLE file)
{
    FileState &s = file_state();
    auto it = s.files.find(reinterpret_cast<intptr_t>(file));
    return it == s.files.end() ? -1 : it->second;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read_count, LPOVERLAPPED overlapped)
{
    int fd = file_fd(file);
    if (fd < 0 || overlapped != nullptr || read_count == nullptr) return FALSE;
    *read_count = 0;
    ssize_t n = read(fd, buffer, to_read);
    if (n < 0) return FALSE;
    *read_count = static_cast<DWORD>(n);
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER new_position,
                      DWORD method)
{
    int fd = file_fd(file);
    if (fd < 0 || method != FILE_BEGIN || distance.QuadPart < 0) return FALSE;
    off_t at = lseek(fd, static_cast<off_t>(distance.QuadPart), SEEK_SET);
    if (at < 0) return FALSE;
    if (new_position != nullptr) new_position->QuadPart = at;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size)
{
    int fd = file_fd(file);
    struct stat st;
    if (fd < 0 || size == nullptr || fstat(fd, &st) != 0) return FALSE;
    size->QuadPart = st.st_size;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void *buffer, DWORD to_write, LPDWORD written,
               LPOVERLAPPED overlapped)
{
    FileState &s = file_state();
    int fd = file_fd(file);
    if (fd < 0 || overlapped != nullptr || written == nullptr) {
        s.last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *written = 0;
    DWORD n = to_write;
    if (s.write_limit >= 0 && n > s.write_limit) n = static_cast<DWORD>(s.write_limit);
    ssize_t done = n == 0 ? 0 : write(fd, buffer, n);
    if (done < 0) {
        s.last_error = error_of(errno);
        return FALSE;
    }
    *written = static_cast<DWORD>(done);
    if (s.write_limit >= 0) s.write_limit -= done;
    // As Windows does on a full disk: what fitted is written, and the call fails.
    if (static_cast<DWORD>(done) < to_write) {
        s.last_error = ERROR_DISK_FULL;
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file)
{
    int fd = file_fd(file);
    return fd >= 0 && fsync(fd) == 0;
}

static BOOL host_call(LPCWSTR a, LPCWSTR b, int (*call)(const char *, const char *))
{
    std::string pa, pb;
    if (a == nullptr || !to_utf8(a, &pa) || (b != nullptr && !to_utf8(b, &pb))) {
        file_state().last_error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (call(host_path(pa).c_str(), host_path(pb).c_str()) == 0) return TRUE;
    file_state().last_error = error_of(errno);
    return FALSE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (to == nullptr || (flags & MOVEFILE_REPLACE_EXISTING) == 0) {
        file_state().last_error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return host_call(from, to, [](const char *a, const char *b) { return rename(a, b); });
}

BOOL DeleteFileW(LPCWSTR path)
{
    return host_call(path, nullptr, [](const char *a, const char *) { return unlink(a); });
}

DWORD GetLastError()
{
    return file_state().last_error;
}

// ---- test hooks -----------------------------------------------------------

int fakefile_open_handles()
{
    return static_cast<int>(file_state().files.size());
}

void fakefile_close_all()
{
    FileState &s = file_state();
    for (auto &kv : s.files) close(kv.second);
    s.files.clear();
}

void fakefile_set_write_limit(long long bytes)
{
    file_state().write_limit = bytes < 0 ? -1 : bytes;
}

void fakefile_set_root(const char *host_folder)
{
    file_state().root = host_folder != nullptr ? host_folder : "";
}

void fakeenv_set(const char *name, const char *value)
{
    std::u16string key = fold16(from_utf8(name));
    if (value == nullptr) env().erase(key);
    else env()[key] = from_utf8(value);
}

void fakeenv_reset()
{
    file_state().env_ready = false;
    file_state().env.clear();
    env();
}
