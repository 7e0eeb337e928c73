// The .reg backup of what Remove deletes. Every key is named by where it
// really lives (its kernel name), not by the HKEY_CLASSES_ROOT path it was
// opened through: HKCR merges two places and the 32-bit view is a third,
// and the importer must put each key back where it came from. Values keep
// their exact type and bytes; only a string that reads back the same is
// written as text.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalogue/scopes.h"
#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "platform/regtext.h"
#include "registry/reg_export.h"

static_assert(sizeof(WCHAR) == 2, "the file is UTF-16 code units as they lie in memory");

namespace {

const char FILE_HEADER[] = "Windows Registry Editor Version 5.00\r\n";
// The registry editor breaks a line of hexadecimal bytes once it reaches
// this many characters, and goes on after two spaces.
const size_t HEX_LINE_WIDTH = 77;
// Kernel names: NtQueryKey answers up to this many characters here.
const size_t KEY_NAME_CHARS = 2048;
// The temporary file's name: the chosen one and a short suffix.
const size_t FILE_NAME_CHARS = 4096;
const int TEMP_NAME_TRIES = 100;
const DWORD WRITE_CHUNK = 1u << 20;
const WCHAR BYTE_ORDER_MARK = 0xFEFF;

// ---- the text ------------------------------------------------------------------

// Where a subtree's first key line names its key, in the text, and the
// hash of that name; length 0 marks a free slot of the table.
struct Span {
    size_t at, length;
    uint32_t hash;
};

struct Builder {
    RegText *text;
    size_t line_start;
    ExportOutcome *out;
    Span *tops; // a hash table of the subtrees written, so that none is written twice
    size_t top_slots; // a power of two, over twice the subtrees there can be
    const WCHAR *user; // the current user's hive, or ""
};

int grow(RegText *t, size_t more)
{
    if (t->out_of_memory) return 0;
    if (t->length + more <= t->capacity) return 1;
    size_t capacity = t->capacity < 4096 ? 4096 : t->capacity;
    while (capacity < t->length + more) capacity *= 2;
    void *p = realloc(t->text, capacity * sizeof(WCHAR));
    if (p == nullptr) {
        t->out_of_memory = 1;
        return 0;
    }
    t->text = static_cast<WCHAR *>(p);
    t->capacity = capacity;
    return 1;
}

void put_unit(Builder *b, WCHAR c)
{
    if (grow(b->text, 1)) b->text->text[b->text->length++] = c;
}

void put_ascii(Builder *b, const char *s)
{
    for (; *s != '\0'; s++) put_unit(b, static_cast<WCHAR>(static_cast<unsigned char>(*s)));
}

void new_line(Builder *b)
{
    put_ascii(b, "\r\n");
    b->line_start = b->text->length;
}

// A character inside "...": the importer takes \\ and \" back.
void put_escaped(Builder *b, WCHAR c)
{
    if (c == '\\' || c == '"') put_unit(b, '\\');
    put_unit(b, c);
}

int breaks_line(WCHAR c)
{
    return c == '\r' || c == '\n' || c == 0;
}

// Little-endian UTF-16 in a byte buffer, which need not be aligned.
WCHAR unit_at(const BYTE *data, size_t i)
{
    return static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
}

// A REG_SZ that a quoted string gives back byte for byte: whole code units,
// one terminator at the very end, and nothing that would end the line.
int is_clean_string(const BYTE *data, DWORD size)
{
    if (size < 2 || size % 2 != 0 || unit_at(data, size / 2 - 1) != 0) return 0;
    for (size_t i = 0; i + 1 < size / 2; i++)
        if (breaks_line(unit_at(data, i))) return 0;
    return 1;
}

void put_hex_byte(Builder *b, BYTE v)
{
    static const char digits[] = "0123456789abcdef";
    put_unit(b, static_cast<WCHAR>(digits[v >> 4]));
    put_unit(b, static_cast<WCHAR>(digits[v & 15]));
}

void put_hex(Builder *b, const BYTE *data, DWORD size)
{
    for (DWORD i = 0; i < size; i++) {
        put_hex_byte(b, data[i]);
        if (i + 1 == size) break;
        put_unit(b, ',');
        if (b->text->length - b->line_start >= HEX_LINE_WIDTH) {
            put_unit(b, '\\');
            new_line(b);
            put_ascii(b, "  ");
        }
    }
}

void put_value(Builder *b, const WCHAR *name, DWORD name_chars, DWORD type, const BYTE *data,
               DWORD size)
{
    if (name_chars == 0) {
        put_unit(b, '@');
    } else {
        put_unit(b, '"');
        for (DWORD i = 0; i < name_chars; i++) put_escaped(b, name[i]);
        put_unit(b, '"');
    }
    put_unit(b, '=');
    if (type == REG_SZ && is_clean_string(data, size)) {
        put_unit(b, '"');
        for (size_t i = 0; i + 1 < size / 2; i++) put_escaped(b, unit_at(data, i));
        put_unit(b, '"');
    } else if (type == REG_DWORD && size == 4) {
        char number[24];
        unsigned v = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned>(data[3]) << 24);
        snprintf(number, sizeof number, "dword:%08x", v);
        put_ascii(b, number);
    } else {
        char prefix[24];
        if (type == REG_BINARY) snprintf(prefix, sizeof prefix, "hex:");
        else snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
        put_ascii(b, prefix);
        put_hex(b, data, size);
    }
    new_line(b);
    b->out->values++;
}

// ---- where a key lives ---------------------------------------------------------

// ASCII case-insensitive: kernel names keep the case each key was made with.
int starts_with(const WCHAR *s, const WCHAR *prefix, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (ascii_upper(s[i]) != ascii_upper(prefix[i])) return 0;
    return 1;
}

// `rest` (a key's kernel name) after `prefix` when it continues there with a
// separator or ends; else null.
const WCHAR *after(const WCHAR *name, const WCHAR *prefix)
{
    size_t n = wide_length(prefix);
    if (n == 0 || wide_length(name) < n || !starts_with(name, prefix, n)) return nullptr;
    if (name[n] != 0 && name[n] != '\\') return nullptr;
    return name + n;
}

int join(WCHAR *out, size_t out_chars, const char *root, const WCHAR *rest)
{
    size_t at = 0;
    for (; root[at] != '\0'; at++) {
        if (at + 1 >= out_chars) return 0;
        out[at] = static_cast<WCHAR>(root[at]);
    }
    size_t n = wide_length(rest);
    if (at + n + 1 > out_chars) return 0;
    memcpy(out + at, rest, n * sizeof(WCHAR));
    out[at + n] = 0;
    return 1;
}

// The kernel name of the current user's hive, or "".
struct UserHive {
    WCHAR name[KEY_NAME_CHARS];
};

// The current user's hive, by the kernel name of its Software key.
void find_user_hive(UserHive *hive)
{
    WCHAR *out = hive->name;
    out[0] = 0;
    KeyGuard software;
    if (reg_open(HKEY_CURRENT_USER, "Software", 0, KEY_QUERY_VALUE, software.out()) !=
        ERROR_SUCCESS)
        return;
    if (!registry_key_name(software.get(), out, KEY_NAME_CHARS)) return;
    size_t n = wide_length(out);
    const size_t tail = sizeof "\\Software" - 1;
    WCHAR software_name[tail + 1];
    widen_ascii("\\Software", software_name, tail + 1);
    if (n <= tail || !starts_with(out + n - tail, software_name, tail)) out[0] = 0;
    else out[n - tail] = 0;
}

// ---- reading the registration --------------------------------------------------

int fail_at(Builder *b, int32_t why, const WCHAR *key)
{
    ExportOutcome *o = b->out;
    if (o->why != EXPORT_DONE) return 0;
    o->why = why;
    if (key != nullptr)
        utf16_to_utf8(key, wide_length(key), o->key, sizeof o->key, MAINT_PATH_SIZE);
    return 0;
}

int fail_registry(Builder *b, LONG code, HKEY root, const char *path)
{
    ExportOutcome *o = b->out;
    if (o->why != EXPORT_DONE) return 0;
    // A key that vanishes while it is read is a change, not a fault.
    o->why = code == ERROR_FILE_NOT_FOUND || code == ERROR_KEY_DELETED ? EXPORT_CHANGED
                                                                        : EXPORT_REGISTRY;
    o->code = code;
    if (snprintf(o->key, sizeof o->key, "%s\\%s", root_name(root), path) < 0) o->key[0] = '\0';
    return 0;
}

// The .reg name of an open key, or 0 with the failure recorded.
int file_key_path(Builder *b, HKEY key, WCHAR *out, size_t out_chars)
{
    WCHAR kernel[KEY_NAME_CHARS];
    if (!registry_key_name(key, kernel, KEY_NAME_CHARS)) return fail_at(b, EXPORT_NO_LOCATION, nullptr);
    if (!reg_file_key_path(kernel, b->user, out, out_chars))
        return fail_at(b, EXPORT_NO_LOCATION, kernel);
    for (size_t i = 0; out[i] != 0; i++)
        if (breaks_line(out[i])) return fail_at(b, EXPORT_BAD_NAME, out);
    return 1;
}

void put_key_line(Builder *b, const WCHAR *path)
{
    new_line(b);
    put_unit(b, '[');
    for (size_t i = 0; path[i] != 0; i++) put_unit(b, path[i]);
    put_unit(b, ']');
    new_line(b);
    b->out->keys++;
}

struct ReadState {
    Builder *b;
    WCHAR path[KEY_NAME_CHARS]; // the key being read
    int top_named;              // path holds the first key's name already
};

int on_key(void *context, HKEY key, int is_link)
{
    ReadState *s = static_cast<ReadState *>(context);
    if (s->top_named) s->top_named = 0;
    else if (!file_key_path(s->b, key, s->path, KEY_NAME_CHARS)) return 0;
    if (is_link) return fail_at(s->b, EXPORT_LINK, s->path);
    put_key_line(s->b, s->path);
    return 1;
}

int on_value(void *context, const WCHAR *name, DWORD name_chars, DWORD type, const BYTE *data,
             DWORD size)
{
    ReadState *s = static_cast<ReadState *>(context);
    for (DWORD i = 0; i < name_chars; i++)
        if (breaks_line(name[i])) return fail_at(s->b, EXPORT_BAD_NAME, s->path);
    put_value(s->b, name, name_chars, type, data, size);
    return 1;
}

// A subtree written already: a class of both types, for one, has one class
// key that both rows' Remove deletes.
uint32_t name_hash(const WCHAR *path, size_t n)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) h = (h ^ path[i]) * 16777619u;
    return h;
}

// 1 when the subtree at path was written already; else it is taken as
// written now, its key line starting at the end of the text.
int top_written(Builder *b, const WCHAR *path)
{
    size_t n = wide_length(path);
    uint32_t h = name_hash(path, n);
    size_t i = h & (b->top_slots - 1);
    for (; b->tops[i].length != 0; i = (i + 1) & (b->top_slots - 1)) {
        const Span &top = b->tops[i];
        if (top.hash == h && top.length == n && top.at + n <= b->text->length &&
            memcmp(b->text->text + top.at, path, n * sizeof(WCHAR)) == 0)
            return 1;
    }
    // Its key line is the next one: "\r\n[" and then the path.
    b->tops[i] = Span{b->text->length + 3, n, h};
    return 0;
}

// A read that stopped: a callback has said why already, or the registry
// answered for the key at `where` below the part's key.
int read_failed(Builder *b, const TreeFailure &f, const RegPart &part)
{
    if (f.code == ERROR_CANCELLED) return 0;
    if (f.code == ERROR_OUTOFMEMORY) {
        if (b->out->why == EXPORT_DONE) b->out->why = EXPORT_NO_MEMORY;
        return 0;
    }
    char where[MAINT_PATH_SIZE];
    if (snprintf(where, sizeof where, "%s%s%s", part.live, f.where[0] != '\0' ? "\\" : "",
                 f.where) < 0)
        where[0] = '\0';
    return fail_registry(b, f.code, part.root, where);
}

// A whole key: absent is nothing to back up (Remove deletes nothing there).
int put_key_part(Builder *b, const RegPart &part)
{
    KeyGuard top;
    LONG r = reg_open(part.root, part.live, REG_OPTION_OPEN_LINK, KEY_READ | part.view, top.out());
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    if (r != ERROR_SUCCESS) return fail_registry(b, r, part.root, part.live);
    ReadState s;
    s.b = b;
    if (!file_key_path(b, top.get(), s.path, KEY_NAME_CHARS)) return 0;
    if (top_written(b, s.path)) return 1;
    s.top_named = 1;
    TreeReader reader = {&s, on_key, on_value};
    TreeFailure f;
    return read_key_tree(top.get(), part.view, &reader, &f) || read_failed(b, f, part);
}

// One value of a key, under its key's line; absent, nothing to back up.
int put_value_part(Builder *b, const RegPart &part)
{
    KeyGuard key;
    LONG r = reg_open(part.root, part.live, 0, KEY_QUERY_VALUE | part.view, key.out());
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    if (r != ERROR_SUCCESS) return fail_registry(b, r, part.root, part.live);
    ReadState s;
    s.b = b;
    s.top_named = 0;
    TreeReader reader = {&s, on_key, on_value};
    TreeFailure f;
    if (read_key_value(key.get(), part.value, &reader, &f)) return 1;
    return f.code == ERROR_FILE_NOT_FOUND || read_failed(b, f, part);
}

int build_once(const int *indexes, int count, const WCHAR *user, RegText *text, ExportOutcome *out)
{
    Builder builder;
    Builder *b = &builder;
    b->text = text;
    b->line_start = 0;
    b->out = out;
    b->top_slots = 4;
    while (b->top_slots <= 2 * static_cast<size_t>(count) * MAX_REG_PARTS) b->top_slots *= 2;
    b->tops = static_cast<Span *>(calloc(b->top_slots, sizeof(Span)));
    if (b->tops == nullptr) {
        out->why = EXPORT_NO_MEMORY;
        return 0;
    }
    b->user = user;
    put_ascii(b, FILE_HEADER);
    int ok = 1;
    for (int i = 0; ok && i < count; i++) {
        RegParts parts;
        if (!removal_parts(indexes[i], &parts, &out->entry)) {
            out->why = EXPORT_REFUSED_ENTRY;
            ok = 0;
        }
        for (int k = 0; ok && k < parts.count; k++) {
            const RegPart &part = parts.part[k];
            ok = part.value[0] != '\0' ? put_value_part(b, part) : put_key_part(b, part);
        }
        if (!ok) out->index = indexes[i];
    }
    if (ok) new_line(b);
    free(b->tops);
    if (ok && text->out_of_memory) {
        out->why = EXPORT_NO_MEMORY;
        ok = 0;
    }
    return ok;
}

// ---- the file -----------------------------------------------------------------------

// "<file>.<n>.tmp", made new so that no other file is overwritten.
HANDLE create_temp(const WCHAR *file, WCHAR *temp, LONG *code)
{
    size_t n = wide_length(file);
    for (int k = 1; k <= TEMP_NAME_TRIES; k++) {
        char suffix[16];
        int m = snprintf(suffix, sizeof suffix, ".%d.tmp", k);
        if (n + static_cast<size_t>(m) + 1 > FILE_NAME_CHARS) {
            *code = ERROR_FILENAME_EXCED_RANGE;
            return INVALID_HANDLE_VALUE;
        }
        memcpy(temp, file, n * sizeof(WCHAR));
        widen_ascii(suffix, temp + n, FILE_NAME_CHARS - n);
        HANDLE h = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        *code = static_cast<LONG>(GetLastError());
        if (*code != ERROR_FILE_EXISTS && *code != ERROR_ALREADY_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

LONG write_all(HANDLE h, const BYTE *bytes, size_t size)
{
    while (size > 0) {
        DWORD chunk = size > WRITE_CHUNK ? WRITE_CHUNK : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, bytes, chunk, &written, nullptr)) return static_cast<LONG>(GetLastError());
        if (written != chunk) return ERROR_DISK_FULL;
        bytes += chunk;
        size -= chunk;
    }
    return FlushFileBuffers(h) ? ERROR_SUCCESS : static_cast<LONG>(GetLastError());
}

// The whole text under the chosen name, or nothing new there at all.
LONG write_whole_file(const WCHAR *file, const RegText *text)
{
    WCHAR *temp = static_cast<WCHAR *>(malloc(FILE_NAME_CHARS * sizeof(WCHAR)));
    if (temp == nullptr) return ERROR_OUTOFMEMORY;
    LONG code = ERROR_SUCCESS;
    HANDLE h = create_temp(file, temp, &code);
    if (h == INVALID_HANDLE_VALUE) {
        free(temp);
        return code == ERROR_SUCCESS ? ERROR_FILE_EXISTS : code;
    }
    WCHAR mark = BYTE_ORDER_MARK;
    code = write_all(h, reinterpret_cast<const BYTE *>(&mark), sizeof mark);
    if (code == ERROR_SUCCESS)
        code = write_all(h, reinterpret_cast<const BYTE *>(text->text), text->length * sizeof(WCHAR));
    if (!CloseHandle(h) && code == ERROR_SUCCESS) code = static_cast<LONG>(GetLastError());
    if (code == ERROR_SUCCESS &&
        !MoveFileExW(temp, file, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = static_cast<LONG>(GetLastError());
    if (code != ERROR_SUCCESS) DeleteFileW(temp);
    free(temp);
    return code;
}

void file_reason(LONG code, char *out, size_t size)
{
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
        snprintf(out, size, "the disk is full");
    else if (code == ERROR_ACCESS_DENIED) snprintf(out, size, "access denied");
    else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
             code == ERROR_BAD_PATHNAME)
        snprintf(out, size, "no such folder");
    else if (code == ERROR_FILENAME_EXCED_RANGE) snprintf(out, size, "the name is too long");
    else snprintf(out, size, "error %ld", static_cast<long>(code));
}

} // namespace

void reg_text_free(RegText *text)
{
    free(text->text);
    memset(text, 0, sizeof *text);
}

int reg_file_key_path(const WCHAR *kernel, const WCHAR *user, WCHAR *out, size_t out_chars)
{
    if (out_chars > 0) out[0] = 0;
    WCHAR prefix[KEY_NAME_CHARS];
    widen_ascii("\\REGISTRY\\MACHINE", prefix, KEY_NAME_CHARS);
    const WCHAR *rest = after(kernel, prefix);
    if (rest != nullptr) return join(out, out_chars, "HKEY_LOCAL_MACHINE", rest);
    if (user != nullptr && user[0] != 0) {
        size_t n = wide_length(user);
        if (n + sizeof "_Classes" < KEY_NAME_CHARS) {
            memcpy(prefix, user, n * sizeof(WCHAR));
            widen_ascii("_Classes", prefix + n, KEY_NAME_CHARS - n);
            rest = after(kernel, prefix);
            if (rest != nullptr) return join(out, out_chars, "HKEY_CURRENT_USER\\Software\\Classes", rest);
        }
        rest = after(kernel, user);
        if (rest != nullptr) return join(out, out_chars, "HKEY_CURRENT_USER", rest);
    }
    widen_ascii("\\REGISTRY\\USER", prefix, KEY_NAME_CHARS);
    rest = after(kernel, prefix);
    if (rest != nullptr && rest[0] == '\\' && rest[1] != 0) return join(out, out_chars, "HKEY_USERS", rest);
    return 0;
}

int registration_text(const int *indexes, int count, RegText *text, ExportOutcome *out)
{
    if (count < 0) count = 0;
    memset(out, 0, sizeof *out);
    memset(text, 0, sizeof *text);
    RegText again;
    memset(&again, 0, sizeof again);
    // Two reads that agree: a key another program changes meanwhile would
    // otherwise be backed up half old, half new.
    ExportOutcome second;
    memset(&second, 0, sizeof second);
    UserHive user{};
    find_user_hive(&user);
    int ok = build_once(indexes, count, user.name, text, out) &&
             build_once(indexes, count, user.name, &again, &second);
    if (ok && (again.length != text->length ||
               memcmp(again.text, text->text, text->length * sizeof(WCHAR)) != 0)) {
        out->why = EXPORT_CHANGED;
        ok = 0;
    } else if (!ok && out->why == EXPORT_DONE) {
        *out = second; // only the second read failed, on what changed meanwhile
    }
    reg_text_free(&again);
    if (!ok) reg_text_free(text);
    return ok;
}

int export_registrations(const int *indexes, int count, const WCHAR *file, ExportOutcome *out)
{
    RegText text;
    if (!registration_text(indexes, count, &text, out)) return 0;
    LONG code = write_whole_file(file, &text);
    reg_text_free(&text);
    if (code == ERROR_SUCCESS) return 1;
    out->why = EXPORT_FILE;
    out->code = code;
    return 0;
}

void describe_export(const ExportOutcome *o, char *text, size_t size)
{
    char words[96];
    switch (o->why) {
    case EXPORT_DONE:
        snprintf(text, size, "done");
        return;
    case EXPORT_REFUSED_ENTRY:
        describe_outcome(&o->entry, text, size);
        return;
    case EXPORT_REGISTRY:
        registry_reason(o->code, words, sizeof words);
        snprintf(text, size, "%s at %s", words, o->key);
        return;
    case EXPORT_LINK:
        snprintf(text, size, "%s is a registry link, which a .reg file cannot express", o->key);
        return;
    case EXPORT_BAD_NAME:
        snprintf(text, size, "a name at %s holds a line break, which a .reg file cannot express",
                 o->key);
        return;
    case EXPORT_NO_LOCATION:
        snprintf(text, size, "where the key %s really lives cannot be told",
                 o->key[0] != '\0' ? o->key : "of the registration");
        return;
    case EXPORT_CHANGED:
        snprintf(text, size, "the registry changed while it was being read; try again");
        return;
    case EXPORT_FILE:
        file_reason(o->code, words, sizeof words);
        snprintf(text, size, "the file could not be written: %s", words);
        return;
    default:
        snprintf(text, size, "out of memory");
        return;
    }
}
