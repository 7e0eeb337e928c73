// The in-process registry behind the native build: the ANSI advapi32
// functions the core calls, with the result codes Windows gives, plus the
// hooks the tests use to count calls, inject faults and play "another
// program". Plain heap containers here: this stands in for the operating
// system, not for the program.
#include "platform/fakewin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

std::string fold(const std::string &s)
{
    // Windows orders and matches names upper-cased.
    std::string out(s);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

struct Node {
    std::string name;
    std::string path; // "HKCR\\A\\B", as created
    Node *parent = nullptr;
    bool deleted = false;
    std::vector<Value> values; // creation order
    std::map<std::string, std::shared_ptr<Node>> subkeys; // by folded name
    // Where the last enumeration stopped, so that a walk over index 0, 1,
    // 2... costs one step per index; any change of subkeys drops it.
    bool cursor_valid = false;
    size_t cursor_index = 0;
    std::map<std::string, std::shared_ptr<Node>>::iterator cursor;
};

struct Handle {
    std::shared_ptr<Node> node;
    // Read through resolve(); cppcheck misses reads after aggregate init.
    // cppcheck-suppress unusedStructMember
    REGSAM access;
};

struct NthFault {
    FakeRegFn fn;
    unsigned long at; // absolute call number of fn (or of all calls for FR_ANY)
    LONG code;
};

struct PathFault {
    FakeRegFn fn;
    std::string path; // folded
    bool has_value;
    std::string value; // folded
    long index;
    LONG code;
};

struct State {
    std::shared_ptr<Node> roots[3];
    std::map<uintptr_t, Handle> handles;
    uintptr_t next_handle = 0x1000;
    unsigned long calls[FR_FN_COUNT + 1] = {};
    std::vector<NthFault> nth_faults;
    std::vector<PathFault> path_faults;
    std::map<intptr_t, int> files;
    intptr_t next_file = 0x100;
};

State &state()
{
    static State s;
    static bool ready = false;
    if (!ready) {
        ready = true;
        const char *names[3] = {"HKCR", "HKCU", "HKLM"};
        for (int i = 0; i < 3; i++) {
            s.roots[i] = std::make_shared<Node>();
            s.roots[i]->name = names[i];
            s.roots[i]->path = names[i];
        }
    }
    return s;
}

int root_slot(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT) return 0;
    if (key == HKEY_CURRENT_USER) return 1;
    if (key == HKEY_LOCAL_MACHINE) return 2;
    return -1;
}

// The node and access behind a handle; false for an unknown handle.
bool resolve(HKEY key, std::shared_ptr<Node> *node, REGSAM *access)
{
    State &s = state();
    int slot = root_slot(key);
    if (slot >= 0) {
        *node = s.roots[slot];
        *access = KEY_ALL_ACCESS;
        return true;
    }
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == s.handles.end()) return false;
    *node = it->second.node;
    *access = it->second.access;
    return true;
}

HKEY new_handle(const std::shared_ptr<Node> &node, REGSAM access)
{
    State &s = state();
    uintptr_t id = s.next_handle;
    s.next_handle += 4;
    s.handles[id] = Handle{node, access};
    return reinterpret_cast<HKEY>(id);
}

std::string join(const std::string &base, const char *sub)
{
    if (sub == nullptr || *sub == '\0') return base;
    return base + "\\" + sub;
}

// Counts the call and answers an injected fault, or 0 to run it for real.
LONG injected(FakeRegFn fn, const std::string &path, const char *value_name, long index)
{
    State &s = state();
    s.calls[fn]++;
    if (fn != FR_CLOSE_KEY) s.calls[FR_ANY]++;
    for (auto it = s.nth_faults.begin(); it != s.nth_faults.end(); ++it) {
        if (it->fn == FR_ANY && fn == FR_CLOSE_KEY) continue;
        if (s.calls[it->fn] == it->at) {
            LONG code = it->code;
            s.nth_faults.erase(it);
            return code;
        }
    }
    std::string folded = fold(path);
    for (const PathFault &f : s.path_faults) {
        if (f.fn != fn || f.path != folded) continue;
        if (f.has_value && fold(value_name ? value_name : "") != f.value) continue;
        if (f.index >= 0 && f.index != index) continue;
        return f.code;
    }
    return ERROR_SUCCESS;
}

// Splits a sub-key path into its levels. Trailing separators are dropped, as
// Windows does; an empty level in the middle is a bad path.
LONG split_path(const char *sub, std::vector<std::string> *levels)
{
    levels->clear();
    if (sub == nullptr) return ERROR_SUCCESS;
    std::string p(sub);
    while (!p.empty() && p.back() == '\\') p.pop_back();
    if (p.empty()) return ERROR_SUCCESS;
    size_t start = 0;
    for (;;) {
        size_t end = p.find('\\', start);
        std::string level = p.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (level.empty()) return ERROR_BAD_PATHNAME;
        if (level.size() > 255) return ERROR_INVALID_PARAMETER;
        levels->push_back(level);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

std::shared_ptr<Node> child(const std::shared_ptr<Node> &node, const std::string &name)
{
    auto it = node->subkeys.find(fold(name));
    return it == node->subkeys.end() ? nullptr : it->second;
}

Value *find_value(Node *node, const char *name)
{
    std::string key = fold(name ? name : "");
    for (Value &v : node->values)
        if (fold(v.name) == key) return &v;
    return nullptr;
}

bool is_string_type(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies value data out as RegQueryValueExA/RegEnumValueA do: the size needed
// always, the bytes only when they fit, and a courtesy terminator after a
// string when there is room for it.
LONG copy_data_out(const Value &v, LPDWORD type, LPBYTE data, LPDWORD data_len)
{
    if (type != nullptr) *type = v.type;
    if (data_len == nullptr) return ERROR_SUCCESS;
    DWORD size = static_cast<DWORD>(v.data.size());
    if (data != nullptr) {
        if (size > *data_len) {
            *data_len = size;
            return ERROR_MORE_DATA;
        }
        if (size > 0) memcpy(data, v.data.data(), size);
        if (is_string_type(v.type) && size < *data_len) data[size] = 0;
    }
    *data_len = size;
    return ERROR_SUCCESS;
}

// The subkey at index (below subkeys.size()), starting from the cursor when
// the walk goes forward.
const std::string &nth_subkey_name(Node *node, DWORD index)
{
    if (!node->cursor_valid || node->cursor_index > index) {
        node->cursor = node->subkeys.begin();
        node->cursor_index = 0;
        node->cursor_valid = true;
    }
    std::advance(node->cursor, index - node->cursor_index);
    node->cursor_index = index;
    return node->cursor->second->name;
}

void mark_deleted(Node *node)
{
    node->deleted = true;
    for (auto &kv : node->subkeys) mark_deleted(kv.second.get());
}

LONG open_key(FakeRegFn fn, HKEY key, LPCSTR sub, REGSAM access, PHKEY result, bool create)
{
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Node> node;
    REGSAM parent_access;
    if (!resolve(key, &node, &parent_access)) {
        state().calls[fn]++;
        if (fn != FR_CLOSE_KEY) state().calls[FR_ANY]++;
        *result = nullptr;
        return ERROR_INVALID_HANDLE;
    }
    LONG fault = injected(fn, join(node->path, sub), nullptr, -1);
    *result = nullptr;
    if (fault != ERROR_SUCCESS) return fault;
    if (node->deleted) return ERROR_KEY_DELETED;
    if (create && sub != nullptr && sub[0] == '\\') return ERROR_BAD_PATHNAME;
    std::vector<std::string> levels;
    LONG r = split_path(sub, &levels);
    if (r != ERROR_SUCCESS) return create ? r : ERROR_FILE_NOT_FOUND;
    for (const std::string &level : levels) {
        std::shared_ptr<Node> next = child(node, level);
        if (next == nullptr) {
            if (!create) return ERROR_FILE_NOT_FOUND;
            next = std::make_shared<Node>();
            next->name = level;
            next->path = node->path + "\\" + level;
            next->parent = node.get();
            node->subkeys[fold(level)] = next;
            node->cursor_valid = false;
        }
        node = next;
    }
    if (access & MAXIMUM_ALLOWED) access = KEY_ALL_ACCESS;
    *result = new_handle(node, access);
    return ERROR_SUCCESS;
}

// Common entry of the calls that work on an open handle: resolves it, counts
// the call, answers injected faults, deleted keys and missing rights.
LONG enter(FakeRegFn fn, HKEY key, const char *value_name, long index, REGSAM needed,
           std::shared_ptr<Node> *node)
{
    REGSAM access;
    if (!resolve(key, node, &access)) {
        state().calls[fn]++;
        state().calls[FR_ANY]++;
        return ERROR_INVALID_HANDLE;
    }
    LONG fault = injected(fn, (*node)->path, value_name, index);
    if (fault != ERROR_SUCCESS) return fault;
    if ((*node)->deleted) return ERROR_KEY_DELETED;
    if ((access & needed) != needed) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR sub_key, PHKEY result)
{
    if (result != nullptr && (sub_key == nullptr || *sub_key == '\0')) {
        // Windows hands back the very handle it was given.
        std::shared_ptr<Node> node;
        REGSAM access;
        LONG fault = ERROR_SUCCESS;
        if (resolve(key, &node, &access)) fault = injected(FR_OPEN_KEY, node->path, nullptr, -1);
        else state().calls[FR_OPEN_KEY]++, state().calls[FR_ANY]++;
        *result = fault == ERROR_SUCCESS ? key : nullptr;
        return fault;
    }
    return open_key(FR_OPEN_KEY, key, sub_key, MAXIMUM_ALLOWED, result, false);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result)
{
    (void)options;
    return open_key(FR_OPEN_KEY_EX, key, sub_key, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY),
                    result, false);
}

LONG RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result)
{
    return open_key(FR_CREATE_KEY, key, sub_key, MAXIMUM_ALLOWED, result, true);
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size)
{
    std::shared_ptr<Node> node;
    LONG r = enter(FR_ENUM_KEY, key, nullptr, index, KEY_ENUMERATE_SUB_KEYS, &node);
    if (r != ERROR_SUCCESS) return r;
    if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string &sub = nth_subkey_name(node.get(), index);
    if (name == nullptr || sub.size() + 1 > name_size) return ERROR_MORE_DATA;
    memcpy(name, sub.c_str(), sub.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPSTR class_name, LPDWORD class_len, PFILETIME last_write)
{
    if (name_len == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Node> node;
    LONG r = enter(FR_ENUM_KEY_EX, key, nullptr, index, KEY_ENUMERATE_SUB_KEYS, &node);
    if (r != ERROR_SUCCESS) return r;
    if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string &sub = nth_subkey_name(node.get(), index);
    if (name == nullptr || sub.size() + 1 > *name_len) return ERROR_MORE_DATA;
    memcpy(name, sub.c_str(), sub.size() + 1);
    *name_len = static_cast<DWORD>(sub.size());
    if (class_name != nullptr && class_len != nullptr && *class_len > 0) class_name[0] = '\0';
    if (class_len != nullptr) *class_len = 0;
    if (last_write != nullptr) *last_write = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD data_len)
{
    if (name_len == nullptr || reserved != nullptr || (data != nullptr && data_len == nullptr))
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Node> node;
    LONG r = enter(FR_ENUM_VALUE, key, nullptr, index, KEY_QUERY_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value &v = node->values[index];
    if (name == nullptr || v.name.size() + 1 > *name_len) {
        if (type != nullptr) *type = v.type;
        if (data_len != nullptr) *data_len = static_cast<DWORD>(v.data.size());
        return ERROR_MORE_DATA;
    }
    r = copy_data_out(v, type, data, data_len);
    if (r != ERROR_SUCCESS) return r;
    memcpy(name, v.name.c_str(), v.name.size() + 1);
    *name_len = static_cast<DWORD>(v.name.size());
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD data_len)
{
    if (reserved != nullptr || (data != nullptr && data_len == nullptr))
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Node> node;
    LONG r = enter(FR_QUERY_VALUE, key, name ? name : "", -1, KEY_QUERY_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    const Value *v = find_value(node.get(), name);
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    return copy_data_out(*v, type, data, data_len);
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD data_len)
{
    std::shared_ptr<Node> node;
    LONG r = enter(FR_SET_VALUE, key, name ? name : "", -1, KEY_SET_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    if (data == nullptr && data_len > 0) return 998; // ERROR_NOACCESS
    // The ANSI call adds the terminator a caller forgot to count, peeking one
    // byte past the given length as Windows does.
    if (data_len > 0 && is_string_type(type) && data[data_len - 1] != 0 && data[data_len] == 0)
        data_len++;
    Value *v = find_value(node.get(), name);
    if (v == nullptr) {
        node->values.push_back(Value{name ? name : "", type, {}});
        v = &node->values.back();
    }
    v->type = type;
    v->data.assign(data, data + data_len);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR sub_key)
{
    std::shared_ptr<Node> parent;
    REGSAM access;
    if (!resolve(key, &parent, &access)) {
        state().calls[FR_DELETE_KEY]++;
        state().calls[FR_ANY]++;
        return ERROR_INVALID_HANDLE;
    }
    LONG fault = injected(FR_DELETE_KEY, join(parent->path, sub_key), nullptr, -1);
    if (fault != ERROR_SUCCESS) return fault;
    if (parent->deleted) return ERROR_KEY_DELETED;
    std::vector<std::string> levels;
    if (split_path(sub_key, &levels) != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
    std::shared_ptr<Node> node = parent;
    for (const std::string &level : levels) {
        node = child(node, level);
        if (node == nullptr) return ERROR_FILE_NOT_FOUND;
    }
    if (node->parent == nullptr) return ERROR_ACCESS_DENIED; // a predefined root
    if (!node->subkeys.empty()) return ERROR_ACCESS_DENIED;
    node->deleted = true;
    node->parent->subkeys.erase(fold(node->name));
    node->parent->cursor_valid = false;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR name)
{
    std::shared_ptr<Node> node;
    LONG r = enter(FR_DELETE_VALUE, key, name ? name : "", -1, KEY_SET_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    std::string wanted = fold(name ? name : "");
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (fold(it->name) == wanted) {
            node->values.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key)
{
    State &s = state();
    s.calls[FR_CLOSE_KEY]++;
    if (root_slot(key) >= 0) return ERROR_SUCCESS;
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
    // An injected close failure still releases the handle, as a failing
    // flush would: the caller cannot do anything else with it.
    s.handles.erase(it);
    for (auto f = s.nth_faults.begin(); f != s.nth_faults.end(); ++f) {
        if (f->fn == FR_CLOSE_KEY && s.calls[FR_CLOSE_KEY] == f->at) {
            LONG code = f->code;
            s.nth_faults.erase(f);
            return code;
        }
    }
    return ERROR_SUCCESS;
}

// ---- files ----------------------------------------------------------------

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file)
{
    (void)share;
    (void)security;
    (void)flags;
    (void)template_file;
    if (path == nullptr || disposition != OPEN_EXISTING || (access & ~GENERIC_READ) != 0)
        return INVALID_HANDLE_VALUE;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        // Windows will not open a directory without backup semantics.
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    State &s = state();
    intptr_t id = s.next_file;
    s.next_file += 4;
    s.files[id] = fd;
    return reinterpret_cast<HANDLE>(id);
}

BOOL CloseHandle(HANDLE handle)
{
    State &s = state();
    auto it = s.files.find(reinterpret_cast<intptr_t>(handle));
    if (it == s.files.end()) return FALSE;
    close(it->second);
    s.files.erase(it);
    return TRUE;
}

// ---- test hooks -----------------------------------------------------------

void fakereg_reset()
{
    State &s = state();
    for (const auto &root : s.roots) {
        for (auto &kv : root->subkeys) mark_deleted(kv.second.get());
        root->subkeys.clear();
        root->cursor_valid = false;
        root->values.clear();
    }
    s.handles.clear();
    for (auto &kv : s.files) close(kv.second);
    s.files.clear();
    fakereg_reset_counts();
    fakereg_clear_faults();
}

int fakereg_open_handles()
{
    return static_cast<int>(state().handles.size());
}

int fakefile_open_handles()
{
    return static_cast<int>(state().files.size());
}

unsigned long fakereg_calls(FakeRegFn fn)
{
    return state().calls[fn];
}

void fakereg_reset_counts()
{
    State &s = state();
    for (unsigned long &c : s.calls) c = 0;
    s.nth_faults.clear();
}

void fakereg_fail_nth(FakeRegFn fn, unsigned long nth, LONG code)
{
    State &s = state();
    s.nth_faults.push_back(NthFault{fn, s.calls[fn] + nth, code});
}

void fakereg_fail_on(FakeRegFn fn, const char *key_path, const char *value_name, long index,
                     LONG code)
{
    state().path_faults.push_back(PathFault{fn, fold(key_path), value_name != nullptr,
                                            fold(value_name ? value_name : ""), index, code});
}

void fakereg_clear_faults()
{
    state().nth_faults.clear();
    state().path_faults.clear();
}

int fakereg_delete_external(const char *key_path)
{
    const State &s = state();
    std::vector<std::string> levels;
    if (split_path(key_path, &levels) != ERROR_SUCCESS || levels.size() < 2) return 0;
    std::shared_ptr<Node> node;
    std::string root = fold(levels[0]);
    if (root == "HKCR") node = s.roots[0];
    else if (root == "HKCU") node = s.roots[1];
    else if (root == "HKLM") node = s.roots[2];
    else return 0;
    for (size_t i = 1; i < levels.size(); i++) {
        node = child(node, levels[i]);
        if (node == nullptr) return 0;
    }
    mark_deleted(node.get());
    node->parent->subkeys.erase(fold(node->name));
    node->parent->cursor_valid = false;
    return 1;
}
