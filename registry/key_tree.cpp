// Recursive registry subtree copy and delete, the ground on which disabling,
// enabling and removing plug-ins stand.
#include <cstdlib>
#include <cstring>

#include "platform/keyguard.h"
#include "registry/maintenance.h"

namespace {

// First sizes of the shared copy buffers; both grow on demand, so a
// registration holding long value names or large values copies whole.
const DWORD NAME_FIRST_SIZE = 256;
const DWORD DATA_FIRST_SIZE = 1024;
// A value name is at most 16383 UTF-16 characters; in a multi-byte code page
// that is under 32 KB. Beyond this limit a name counts as unreadable.
const DWORD NAME_SIZE_LIMIT = 65536;
// Rounds of "buffer too small, grow, read again" for one value before giving
// up; each round grows a buffer, so only a value that another program keeps
// enlarging can exhaust them.
const int MAX_READ_ROUNDS = 64;
// Written just past the data before it is written back: the ANSI write of a
// string type adds a terminator when the byte after the data is zero, which
// would lengthen a string stored without one.
const BYTE SENTINEL = 0xFF;

// Key name buffer for subkey enumeration: key names are at most 255
// characters, twice that in a multi-byte code page.
const DWORD KEY_NAME_SIZE = 1024;

// One name and one data buffer serve a whole copy: each level finishes its
// values before it visits a subkey, so no two levels use them at once.
struct CopyBuffers {
    char *name = nullptr;
    DWORD name_size = 0;
    BYTE *data = nullptr;
    DWORD data_size = 0; // the last byte is kept for SENTINEL

    CopyBuffers() = default;
    CopyBuffers(const CopyBuffers &) = delete;
    CopyBuffers &operator=(const CopyBuffers &) = delete;
    ~CopyBuffers()
    {
        free(name);
        free(data);
    }

    int init() { return grow_name(NAME_FIRST_SIZE) && grow_data(DATA_FIRST_SIZE); }
    int grow_name(DWORD size)
    {
        void *p = realloc(name, size);
        if (p == nullptr) return 0;
        name = static_cast<char *>(p);
        name_size = size;
        return 1;
    }
    int grow_data(DWORD size)
    {
        void *p = realloc(data, size);
        if (p == nullptr) return 0;
        data = static_cast<BYTE *>(p);
        data_size = size;
        return 1;
    }
};

// Reads the value at `index` of `src` whole into the buffers. An answer of
// 234 means the name or the data did not fit: the data length then holds the
// size needed when the data was the cause, and otherwise the name was, so
// that buffer grows and the same index is read again.
LONG read_value(HKEY src, DWORD index, CopyBuffers *buf, DWORD *type, DWORD *data_len)
{
    for (int round = 0; round < MAX_READ_ROUNDS; round++) {
        DWORD name_len = buf->name_size;
        DWORD data_room = buf->data_size - 1;
        *type = 0;
        *data_len = data_room;
        LONG r =
            RegEnumValueA(src, index, buf->name, &name_len, nullptr, type, buf->data, data_len);
        if (r != ERROR_MORE_DATA) return r;
        if (*data_len > data_room) {
            if (*data_len == 0xFFFFFFFFu || !buf->grow_data(*data_len + 1))
                return ERROR_OUTOFMEMORY;
        } else {
            if (buf->name_size >= NAME_SIZE_LIMIT || !buf->grow_name(buf->name_size * 2)) return r;
        }
    }
    return ERROR_MORE_DATA;
}

int copy_level(HKEY dest_parent, HKEY src_parent, const char *path, CopyBuffers *buf)
{
    KeyGuard dest(open_or_create_key(dest_parent, path));
    if (!dest.is_open()) return 0;
    KeyGuard src(open_key(src_parent, path));
    if (!src.is_open()) return 0;

    // Every value of this level is written before any subkey is visited.
    for (DWORD i = 0;; i++) {
        DWORD type = 0, data_len = 0;
        LONG r = read_value(src.get(), i, buf, &type, &data_len);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return 0;
        buf->data[data_len] = SENTINEL;
        if (RegSetValueExA(dest.get(), buf->name, 0, type, buf->data, data_len) != ERROR_SUCCESS)
            return 0;
    }

    char sub[KEY_NAME_SIZE];
    for (DWORD i = 0;; i++) {
        LONG r = RegEnumKeyA(src.get(), i, sub, KEY_NAME_SIZE - 1);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return 0;
        if (!copy_level(dest.get(), src.get(), sub, buf)) return 0;
    }
    return 1;
}

} // namespace

int copy_key_tree(HKEY dest_parent, HKEY src_parent, const char *path)
{
    // An empty path would name the parents themselves.
    if (path == nullptr || path[0] == '\0') return 0;
    CopyBuffers buf;
    if (!buf.init()) return 0;
    return copy_level(dest_parent, src_parent, path, &buf);
}

int delete_key_tree(HKEY parent, const char *path)
{
    // An empty path would name the parent itself.
    if (path == nullptr || path[0] == '\0') return 0;
    KeyGuard key(open_key_ex(parent, path, DELETE | KEY_ENUMERATE_SUB_KEYS));
    if (!key.is_open()) return 0;

    // Always index 0: each deletion moves the remaining subkeys down.
    char sub[KEY_NAME_SIZE];
    for (;;) {
        DWORD len = KEY_NAME_SIZE - 1;
        LONG r = RegEnumKeyExA(key.get(), 0, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return 0;
        if (!delete_key_tree(key.get(), sub)) return 0;
    }
    LONG r = RegDeleteKeyA(parent, path);
    key.close();
    return r == ERROR_SUCCESS;
}
