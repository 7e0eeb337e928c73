// Registry subtree copy and delete, the ground on which disabling, enabling
// and removing plug-ins stand. Everything goes through the wide functions,
// so every name, type and byte arrives exactly, and every key is opened
// with REG_OPTION_OPEN_LINK, so a link is copied or deleted as a link and
// never followed.
#include <cstdlib>
#include <cstring>

#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "platform/widetext.h"
#include "registry/maintenance.h"

namespace {

// First sizes of the shared copy buffers; both grow on demand, so a
// registration holding long value names or large values copies whole.
const DWORD NAME_FIRST_CHARS = 256;
const DWORD DATA_FIRST_SIZE = 1024;
// A value name is at most 16383 characters. Beyond this a name counts as
// unreadable.
const DWORD NAME_CHARS_LIMIT = 16384;
// Rounds of "buffer too small, grow, read again" for one value before giving
// up; each round grows a buffer, so only a value that another program keeps
// enlarging can exhaust them.
const int MAX_READ_ROUNDS = 64;
// Written just past the data before it is written back: the wide write of a
// string type adds a terminator when the two bytes after the data are zero
// (as Wine does), which would lengthen a string stored without one.
const BYTE SENTINEL = 0xFF;
const DWORD SENTINEL_SIZE = 2;
// Key names are at most 255 characters.
const DWORD KEY_NAME_CHARS = 256;
// The registry nests at most 512 levels below a root; a walk that goes
// deeper has met something it must not follow and stops cleanly.
const int MAX_TREE_DEPTH = 512;
// Composed top paths ("CLSID\{...}") in characters.
const size_t TOP_PATH_CHARS = MAINT_PATH_SIZE;

const char LINK_VALUE_NAME[] = "SymbolicLinkValue";

// One name and one data buffer serve a whole copy: each level finishes its
// values before it visits a subkey, and a subkey's name is needed only to
// open it, so no two levels use them at once.
struct CopyBuffers {
    WCHAR *name = nullptr;
    DWORD name_chars = 0;
    BYTE *data = nullptr;
    DWORD data_size = 0; // room for data; SENTINEL_SIZE more bytes lie behind it

    CopyBuffers() = default;
    CopyBuffers(const CopyBuffers &) = delete;
    CopyBuffers &operator=(const CopyBuffers &) = delete;
    ~CopyBuffers()
    {
        free(name);
        free(data);
    }

    int init() { return grow_name(NAME_FIRST_CHARS) && grow_data(DATA_FIRST_SIZE); }
    int grow_name(DWORD chars)
    {
        void *p = realloc(name, static_cast<size_t>(chars) * sizeof(WCHAR));
        if (p == nullptr) return 0;
        name = static_cast<WCHAR *>(p);
        name_chars = chars;
        return 1;
    }
    int grow_data(DWORD size)
    {
        if (size > 0xFFFFFFFFu - SENTINEL_SIZE) return 0;
        void *p = realloc(data, static_cast<size_t>(size) + SENTINEL_SIZE);
        if (p == nullptr) return 0;
        data = static_cast<BYTE *>(p);
        data_size = size;
        return 1;
    }
};

// Where a walk is and what it met first.
struct Walk {
    REGSAM dest_view;
    REGSAM src_view;
    CopyBuffers buf;
    TreeFailure *fail;
};

// Records the first failure only: later ones are its consequences.
int failed(TreeFailure *fail, LONG code, int on_source = 0)
{
    if (fail != nullptr && fail->code == ERROR_SUCCESS) {
        fail->code = code;
        fail->on_source = on_source;
    }
    return 0;
}

int failed_source(TreeFailure *fail, LONG code)
{
    return failed(fail, code, 1);
}

void clear(TreeFailure *fail)
{
    if (fail == nullptr) return;
    fail->code = ERROR_SUCCESS;
    fail->on_source = 0;
    fail->where[0] = '\0';
}

// As a failure travels up the levels, each puts its key's name in front, so
// that it names the very key that failed. Returns 0 for the caller to pass on.
int through(TreeFailure *fail, const WCHAR *name)
{
    if (fail == nullptr || fail->code == ERROR_SUCCESS) return 0;
    char level[UTF8_BYTES(KEY_NAME_CHARS) + 1];
    utf16_to_utf8(name, static_cast<size_t>(-1), level, sizeof level - 1, KEY_NAME_CHARS);
    size_t n = strlen(level);
    size_t below = strlen(fail->where);
    if (below > 0) level[n++] = '\\';
    if (n + below >= sizeof fail->where) below = sizeof fail->where - 1 - n;
    memmove(fail->where + n, fail->where, below);
    memcpy(fail->where, level, n);
    fail->where[n + below] = '\0';
    return 0;
}

// Reads the value at `index` of `src` whole into the buffers. An answer of
// 234 means the name or the data did not fit: the data length then holds the
// size needed when the data was the cause, and otherwise the name was, so
// that buffer grows and the same index is read again.
LONG read_value(HKEY src, DWORD index, CopyBuffers *buf, DWORD *type, DWORD *data_len)
{
    for (int round = 0; round < MAX_READ_ROUNDS; round++) {
        DWORD name_len = buf->name_chars;
        *type = 0;
        *data_len = buf->data_size;
        LONG r =
            RegEnumValueW(src, index, buf->name, &name_len, nullptr, type, buf->data, data_len);
        if (r != ERROR_MORE_DATA) return r;
        if (*data_len > buf->data_size) {
            if (!buf->grow_data(*data_len)) return ERROR_OUTOFMEMORY;
        } else {
            if (buf->name_chars >= NAME_CHARS_LIMIT || !buf->grow_name(buf->name_chars * 2))
                return r;
        }
    }
    return ERROR_MORE_DATA;
}

// The value `name` (UTF-8) of src whole: its name in wname, its data in
// the buffers, which grow as they must. 1, or 0 with the failure in *fail,
// on the source side when the registry answered it.
int read_named_value(HKEY src, const char *name, WCHAR (&wname)[TOP_PATH_CHARS],
                     CopyBuffers *buf, DWORD *type, DWORD *len, TreeFailure *fail)
{
    if (name == nullptr || !utf8_to_utf16(name, wname, TOP_PATH_CHARS))
        return failed(fail, ERROR_INVALID_PARAMETER);
    if (!buf->init()) return failed(fail, ERROR_OUTOFMEMORY);
    for (int round = 0; round < MAX_READ_ROUNDS; round++) {
        *type = 0;
        *len = buf->data_size;
        LONG r = RegQueryValueExW(src, wname, nullptr, type, buf->data, len);
        if (r == ERROR_MORE_DATA) {
            if (*len <= buf->data_size || !buf->grow_data(*len)) return failed(fail, ERROR_OUTOFMEMORY);
            continue;
        }
        return r == ERROR_SUCCESS ? 1 : failed_source(fail, r);
    }
    return failed(fail, ERROR_MORE_DATA);
}

// Every value of src into dest, exactly.
int copy_values(HKEY dest, HKEY src, Walk *walk)
{
    for (DWORD i = 0;; i++) {
        DWORD type = 0, data_len = 0;
        LONG r = read_value(src, i, &walk->buf, &type, &data_len);
        if (r == ERROR_NO_MORE_ITEMS) return 1;
        if (r != ERROR_SUCCESS) return failed_source(walk->fail, r);
        memset(walk->buf.data + data_len, SENTINEL, SENTINEL_SIZE);
        r = RegSetValueExW(dest, walk->buf.name, 0, type, walk->buf.data, data_len);
        if (r != ERROR_SUCCESS) return failed(walk->fail, r);
    }
}

// A key opened with REG_OPTION_OPEN_LINK is a link when it holds its target:
// 1 or 0, or -1 with *code when the registry would not say. A walk that
// took an unanswered question for "no link" would write through the link,
// or delete by name, into whatever it points to.
int link_state(HKEY key, LONG *code)
{
    WCHAR name[sizeof LINK_VALUE_NAME];
    widen_ascii(LINK_VALUE_NAME, name, sizeof LINK_VALUE_NAME);
    DWORD type = 0;
    LONG r = RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr);
    if (r == ERROR_SUCCESS) return type == REG_LINK;
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    *code = r;
    return -1;
}

int is_link(HKEY key)
{
    LONG code = ERROR_SUCCESS;
    return link_state(key, &code) == 1;
}

// A link whose target was never written (a copy stopped between creating it
// and setting its value) opens only as a link: an ordinary open finds
// nothing behind it.
int is_targetless_link(HKEY parent, const WCHAR *name, REGSAM view, HKEY opened_as_link)
{
    if (is_link(opened_as_link)) return 0;
    KeyGuard followed;
    return RegOpenKeyExW(parent, name, 0, KEY_QUERY_VALUE | view, followed.out()) ==
           ERROR_FILE_NOT_FOUND;
}

// The destination of a link: created as a link, or the link already there,
// also one a stopped copy left without its target. An ordinary key in its
// place is not turned into a link: the copy fails.
LONG open_dest_link(HKEY parent, const WCHAR *name, REGSAM view, KeyGuard *dest, int *created)
{
    *created = 0;
    LONG r = RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_CREATE_LINK,
                             KEY_READ | KEY_WRITE | KEY_CREATE_LINK | DELETE | view, nullptr,
                             dest->out(), nullptr);
    if (r == ERROR_SUCCESS) {
        *created = 1;
        return r;
    }
    LONG existing = RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, KEY_READ | KEY_WRITE | view,
                                  dest->out());
    if (existing != ERROR_SUCCESS) return r;
    if (!is_link(dest->get()) && !is_targetless_link(parent, name, view, dest->get())) {
        dest->close();
        return ERROR_ALREADY_EXISTS;
    }
    return ERROR_SUCCESS;
}

int copy_level(HKEY dest_parent, HKEY src, const WCHAR *name, Walk *walk, int depth);

// Every subkey of src below dest, in enumeration order, depth first.
int copy_subkeys(HKEY dest, HKEY src, Walk *walk, int depth)
{
    WCHAR sub[KEY_NAME_CHARS];
    for (DWORD i = 0;; i++) {
        DWORD len = KEY_NAME_CHARS;
        LONG r = RegEnumKeyExW(src, i, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) return 1;
        if (r != ERROR_SUCCESS) return failed_source(walk->fail, r);
        KeyGuard child;
        r = RegOpenKeyExW(src, sub, REG_OPTION_OPEN_LINK, KEY_READ | walk->src_view, child.out());
        if (r != ERROR_SUCCESS) {
            failed_source(walk->fail, r);
            return through(walk->fail, sub);
        }
        if (!copy_level(dest, child.get(), sub, walk, depth + 1)) return through(walk->fail, sub);
    }
}

// Copies the open source key `src` to `name` under dest_parent.
// An ordinary key is never written through a link of the same name that
// the destination already holds: that would land in the link's target.
LONG no_link_in_the_way(HKEY dest_parent, const WCHAR *name, REGSAM view)
{
    KeyGuard existing;
    if (RegOpenKeyExW(dest_parent, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | view,
                      existing.out()) != ERROR_SUCCESS)
        return ERROR_SUCCESS;
    LONG code = ERROR_SUCCESS;
    int link = link_state(existing.get(), &code);
    if (link < 0) return code;
    return link ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
}

int copy_level(HKEY dest_parent, HKEY src, const WCHAR *name, Walk *walk, int depth)
{
    if (depth > MAX_TREE_DEPTH) return failed_source(walk->fail, ERROR_CANTOPEN);
    KeyGuard dest;
    LONG code = ERROR_SUCCESS;
    int link = link_state(src, &code);
    if (link < 0) return failed_source(walk->fail, code);
    if (link) {
        int created = 0;
        LONG r = open_dest_link(dest_parent, name, walk->dest_view, &dest, &created);
        if (r != ERROR_SUCCESS) return failed(walk->fail, r);
        // A link has its target and no subkeys of its own. One just made
        // that did not get its target goes again rather than stay a key
        // that leads nowhere.
        if (copy_values(dest.get(), src, walk)) return 1;
        if (created) delete_key_handle(dest.get());
        return 0;
    }
    LONG r = no_link_in_the_way(dest_parent, name, walk->dest_view);
    if (r == ERROR_SUCCESS)
        r = RegCreateKeyExW(dest_parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE | walk->dest_view, nullptr, dest.out(), nullptr);
    if (r != ERROR_SUCCESS) return failed(walk->fail, r);
    // Every value of this level is written before any subkey is visited.
    if (!copy_values(dest.get(), src, walk)) return 0;
    return copy_subkeys(dest.get(), src, walk, depth);
}

int delete_level(HKEY parent, const WCHAR *name, REGSAM view, TreeFailure *fail, int depth);

int delete_subkeys(HKEY key, REGSAM view, TreeFailure *fail, int depth)
{
    // Always index 0: each deletion moves the remaining subkeys down.
    WCHAR sub[KEY_NAME_CHARS];
    for (;;) {
        DWORD len = KEY_NAME_CHARS;
        LONG r = RegEnumKeyExW(key, 0, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) return 1;
        if (r != ERROR_SUCCESS) return failed(fail, r);
        if (!delete_level(key, sub, view, fail, depth + 1)) return through(fail, sub);
    }
}

int delete_level(HKEY parent, const WCHAR *name, REGSAM view, TreeFailure *fail, int depth)
{
    if (depth > MAX_TREE_DEPTH) return failed(fail, ERROR_CANTOPEN);
    KeyGuard key;
    LONG r = RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK,
                           DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | view, key.out());
    if (r != ERROR_SUCCESS) return failed(fail, r);
    LONG code = ERROR_SUCCESS;
    int link = link_state(key.get(), &code);
    if (link < 0) return failed(fail, code);
    if (link) {
        // Deleting by name would follow the link and delete its target.
        r = delete_key_handle(key.get());
        return r == ERROR_SUCCESS ? 1 : failed(fail, r);
    }
    if (!delete_subkeys(key.get(), view, fail, depth)) return 0;
    // Deleted while the key is still open, as an emptied key cannot be
    // refilled by another program between the walk and the delete unnoticed.
    r = RegDeleteKeyExW(parent, name, view, 0);
    key.close();
    return r == ERROR_SUCCESS ? 1 : failed(fail, r);
}

// One key of a read: itself, its values, then its subkeys.
int read_level(HKEY key, REGSAM view, const TreeReader *reader, CopyBuffers *buf,
               TreeFailure *fail, int depth)
{
    if (depth > MAX_TREE_DEPTH) return failed_source(fail, ERROR_CANTOPEN);
    LONG code = ERROR_SUCCESS;
    int link = link_state(key, &code);
    if (link < 0) return failed_source(fail, code);
    if (!reader->key(reader->context, key, link)) return failed_source(fail, ERROR_CANCELLED);
    if (link) return 1;
    for (DWORD i = 0;; i++) {
        DWORD type = 0, data_len = 0;
        LONG r = read_value(key, i, buf, &type, &data_len);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return failed_source(fail, r);
        DWORD name_chars = static_cast<DWORD>(wide_length(buf->name));
        if (!reader->value(reader->context, buf->name, name_chars, type, buf->data, data_len))
            return failed_source(fail, ERROR_CANCELLED);
    }
    WCHAR sub[KEY_NAME_CHARS];
    for (DWORD i = 0;; i++) {
        DWORD len = KEY_NAME_CHARS;
        LONG r = RegEnumKeyExW(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) return 1;
        if (r != ERROR_SUCCESS) return failed_source(fail, r);
        KeyGuard child;
        r = RegOpenKeyExW(key, sub, REG_OPTION_OPEN_LINK, KEY_READ | view, child.out());
        if (r != ERROR_SUCCESS) failed_source(fail, r);
        if (r != ERROR_SUCCESS || !read_level(child.get(), view, reader, buf, fail, depth + 1))
            return through(fail, sub);
    }
}

} // namespace

int read_key_tree(HKEY key, REGSAM view, const TreeReader *reader, TreeFailure *fail)
{
    clear(fail);
    CopyBuffers buf;
    if (!buf.init()) return failed(fail, ERROR_OUTOFMEMORY);
    return read_level(key, view, reader, &buf, fail, 0);
}

int read_key_value(HKEY key, const char *name, const TreeReader *reader, TreeFailure *fail)
{
    clear(fail);
    WCHAR wname[TOP_PATH_CHARS];
    CopyBuffers buf;
    DWORD type = 0, len = 0;
    if (!read_named_value(key, name, wname, &buf, &type, &len, fail)) return 0;
    if (!reader->key(reader->context, key, is_link(key)) ||
        !reader->value(reader->context, wname, static_cast<DWORD>(wide_length(wname)), type,
                       buf.data, len))
        return failed_source(fail, ERROR_CANCELLED);
    return 1;
}

int copy_key_tree_to(HKEY dest_parent, REGSAM dest_view, const char *dest_path, HKEY src_parent,
                     REGSAM src_view, const char *src_path, TreeFailure *fail)
{
    clear(fail);
    // An empty path would name the parents themselves.
    if (dest_path == nullptr || dest_path[0] == '\0' || src_path == nullptr || src_path[0] == '\0')
        return failed(fail, ERROR_INVALID_PARAMETER);
    WCHAR wdest[TOP_PATH_CHARS], wsrc[TOP_PATH_CHARS];
    if (!utf8_to_utf16(dest_path, wdest, TOP_PATH_CHARS) ||
        !utf8_to_utf16(src_path, wsrc, TOP_PATH_CHARS))
        return failed(fail, ERROR_INVALID_PARAMETER);
    Walk walk{dest_view, src_view, CopyBuffers(), fail};
    if (!walk.buf.init()) return failed(fail, ERROR_OUTOFMEMORY);
    // The destination path is made first, whatever the source holds, as the
    // copy has always done; the levels above the last are ordinary keys.
    KeyGuard dest;
    LONG r = RegCreateKeyExW(dest_parent, wdest, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE | dest_view, nullptr, dest.out(), nullptr);
    if (r != ERROR_SUCCESS) failed(fail, r);
    KeyGuard src;
    if (r == ERROR_SUCCESS) {
        r = RegOpenKeyExW(src_parent, wsrc, REG_OPTION_OPEN_LINK, KEY_READ | src_view, src.out());
        if (r != ERROR_SUCCESS) failed_source(fail, r);
    }
    // A link at the top would have needed its destination made as a link.
    if (r == ERROR_SUCCESS) {
        LONG code = ERROR_SUCCESS;
        int link = link_state(src.get(), &code);
        if (link != 0) {
            r = link < 0 ? code : ERROR_ALREADY_EXISTS;
            failed_source(fail, r);
        }
    }
    if (r == ERROR_SUCCESS && copy_values(dest.get(), src.get(), &walk) &&
        copy_subkeys(dest.get(), src.get(), &walk, 0))
        return 1;
    return through(fail, fail != nullptr && fail->on_source ? wsrc : wdest);
}

int copy_key_tree_ex(HKEY dest_parent, REGSAM dest_view, HKEY src_parent, REGSAM src_view,
                     const char *path, TreeFailure *fail)
{
    return copy_key_tree_to(dest_parent, dest_view, path, src_parent, src_view, path, fail);
}

int copy_key_tree(HKEY dest_parent, HKEY src_parent, const char *path)
{
    if (path == nullptr || path[0] == '\0') return 0;
    return copy_key_tree_ex(dest_parent, 0, src_parent, 0, path, nullptr);
}

int delete_key_tree_ex(HKEY parent, REGSAM view, const char *path, TreeFailure *fail)
{
    clear(fail);
    // An empty path would name the parent itself.
    if (path == nullptr || path[0] == '\0') return failed(fail, ERROR_INVALID_PARAMETER);
    WCHAR wpath[TOP_PATH_CHARS];
    if (!utf8_to_utf16(path, wpath, TOP_PATH_CHARS)) return failed(fail, ERROR_INVALID_PARAMETER);
    if (delete_level(parent, wpath, view, fail, 0)) return 1;
    return through(fail, wpath);
}

int delete_key_tree(HKEY parent, const char *path)
{
    if (path == nullptr || path[0] == '\0') return 0;
    return delete_key_tree_ex(parent, 0, path, nullptr);
}

int copy_value_exact(HKEY dest, HKEY src, const char *name, TreeFailure *fail)
{
    clear(fail);
    WCHAR wname[TOP_PATH_CHARS];
    CopyBuffers buf;
    DWORD type = 0, len = 0;
    if (!read_named_value(src, name, wname, &buf, &type, &len, fail)) return 0;
    memset(buf.data + len, SENTINEL, SENTINEL_SIZE);
    LONG r = RegSetValueExW(dest, wname, 0, type, buf.data, len);
    return r == ERROR_SUCCESS ? 1 : failed(fail, r);
}
