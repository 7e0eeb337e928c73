// Disable, enable and remove: moving a plug-in's registration into the
// disabled store and back, and deleting it for good. A live registration is
// deleted only after every copy of it into the store succeeded, and a saved
// copy only after everything in it was restored.
#include <cstdio>
#include <cstring>

#include "platform/keyguard.h"
#include "registry/maintenance.h"

namespace {

static_assert(PLUG_CLSID_TEXT_SIZE + sizeof(STORE_ROOT_PATH) + sizeof("CLSID\\") < MAINT_PATH_SIZE,
              "every path composed from a class identifier text fits its buffer");

// The display name as written to "name" and to the VS3Effects value.
const DWORD NAME_BUFFER_SIZE = 256;

// A class identifier text that names exactly one key: not empty (the paths
// would end in the separator and name CLSID, Filter or the store root
// itself), terminated within its field, and without a separator (which would
// name a key deeper down that the store scan could not find again).
int usable_clsid(const PlugEntry *entry)
{
    size_t n = strnlen(entry->clsid_text, sizeof entry->clsid_text);
    if (n == 0 || n == sizeof entry->clsid_text) return 0;
    return memchr(entry->clsid_text, '\\', n) == nullptr;
}

// prefix + "\" + clsid text; 0 when it would not fit, so no path is ever cut.
int compose(char (&out)[MAINT_PATH_SIZE], const char *prefix, const PlugEntry *entry)
{
    int n = snprintf(out, sizeof out, "%s\\%s", prefix, entry->clsid_text);
    return n > 0 && static_cast<size_t>(n) < sizeof out;
}

// Copies the display name, cut to the field's 255 characters, and returns
// the length to write: the characters and the terminator.
DWORD copy_name(const PlugEntry *entry, char (&out)[NAME_BUFFER_SIZE])
{
    size_t n = strnlen(entry->name, NAME_BUFFER_SIZE - 1);
    memcpy(out, entry->name, n);
    out[n] = '\0';
    return static_cast<DWORD>(n + 1);
}

// A class registered both as a DirectX filter and as a VS3 effect has one
// store entry for both types. Once one type's registration is saved there,
// the other type must not write into it: its disable would overwrite
// "type", and the next enable would restore the parts of the new type only
// and then delete the entry with the first type's saved parts in it. So a
// store entry takes a copy only while it holds no "type" yet or this very
// type; anything unreadable counts as another type.
int store_takes_type(HKEY store, int32_t type)
{
    DWORD held = 0, len = sizeof held, value_type = 0;
    LONG r = RegQueryValueExA(store, "type", nullptr, &value_type, reinterpret_cast<BYTE *>(&held),
                              &len);
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    return r == ERROR_SUCCESS && len == sizeof held && static_cast<int32_t>(held) == type;
}

int write_vs3_value(const PlugEntry *entry)
{
    KeyGuard effects(open_key_ex(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, KEY_WRITE));
    if (!effects.is_open()) return 0;
    char name[NAME_BUFFER_SIZE];
    DWORD len = copy_name(entry, name);
    return RegSetValueExA(effects.get(), entry->clsid_text, 0, REG_SZ,
                          reinterpret_cast<const BYTE *>(name), len) == ERROR_SUCCESS;
}

// A store entry that a class's two types once shared (older versions wrote
// one) may hold a saved filter beside a VS3 effect's class key. It comes back
// with the effect, so that deleting the saved copy loses nothing.
int restore_saved_filter(HKEY store)
{
    KeyGuard probe;
    LONG r = RegOpenKeyA(store, "Filter", probe.out());
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    if (r != ERROR_SUCCESS) return 0;
    probe.close();
    return copy_key_tree(HKEY_CLASSES_ROOT, store, "Filter");
}

} // namespace

void disable_plug(int index)
{
    if (index < 1) return;
    PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr || entry->disabled != 0 || !usable_clsid(entry)) return;
    char entry_path[MAINT_PATH_SIZE], filter_path[MAINT_PATH_SIZE], clsid_path[MAINT_PATH_SIZE];
    if (!compose(entry_path, STORE_ROOT_PATH, entry) || !compose(filter_path, "Filter", entry) ||
        !compose(clsid_path, "CLSID", entry))
        return;

    // Creating the entry creates the store root and its parent as well.
    KeyGuard store(open_or_create_key(HKEY_CLASSES_ROOT, entry_path));
    if (!store.is_open()) return;
    if (!store_takes_type(store.get(), entry->type)) return;

    char name[NAME_BUFFER_SIZE];
    DWORD name_len = copy_name(entry, name);
    if (RegSetValueExA(store.get(), "name", 0, REG_SZ, reinterpret_cast<const BYTE *>(name),
                       name_len) != ERROR_SUCCESS)
        return;
    int32_t type = entry->type;
    if (RegSetValueExA(store.get(), "type", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&type),
                       sizeof type) != ERROR_SUCCESS)
        return;

    // The flag turns only once every copy is in the store: a row reading
    // "Disabled" must not hide a registration that is still live.
    if (type == PLUG_TYPE_DIRECTX) {
        if (copy_key_tree(store.get(), HKEY_CLASSES_ROOT, filter_path) &&
            copy_key_tree(store.get(), HKEY_CLASSES_ROOT, clsid_path)) {
            delete_directx_registration(entry);
            entry->disabled = 1;
        }
    } else if (type == PLUG_TYPE_VS3) {
        if (copy_key_tree(store.get(), HKEY_CLASSES_ROOT, clsid_path)) {
            delete_vs3_registration(entry);
            entry->disabled = 1;
        }
    }
}

void enable_plug(int index)
{
    if (index < 1) return;
    PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr || entry->disabled == 0 || !usable_clsid(entry)) return;
    char entry_path[MAINT_PATH_SIZE];
    if (!compose(entry_path, STORE_ROOT_PATH, entry)) return;

    int complete = 0;
    {
        KeyGuard store(open_key(HKEY_CLASSES_ROOT, entry_path));
        if (!store.is_open()) return;
        if (entry->type == PLUG_TYPE_DIRECTX) {
            // Both copies run, so that as much as possible is live again.
            int filter_ok = copy_key_tree(HKEY_CLASSES_ROOT, store.get(), "Filter");
            int clsid_ok = copy_key_tree(HKEY_CLASSES_ROOT, store.get(), "CLSID");
            complete = filter_ok && clsid_ok;
        } else if (entry->type == PLUG_TYPE_VS3) {
            int clsid_ok = copy_key_tree(HKEY_CLASSES_ROOT, store.get(), "CLSID");
            int value_ok = write_vs3_value(entry);
            int filter_ok = restore_saved_filter(store.get());
            complete = clsid_ok && value_ok && filter_ok;
        } else {
            return;
        }
    }
    // An incomplete restoration keeps the row disabled and the saved copy
    // whole, so enabling again can finish the job.
    if (!complete) return;
    entry->disabled = 0;
    delete_saved_copy(entry);
}

int remove_plug(int index)
{
    PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr || !usable_clsid(entry)) return 0;
    if (entry->disabled != 0) {
        // A disabled plug-in has no live registration to touch.
        delete_saved_copy(entry);
        return 1;
    }
    if (entry->type == PLUG_TYPE_DIRECTX) return delete_directx_registration(entry);
    if (entry->type == PLUG_TYPE_VS3) return delete_vs3_registration(entry);
    return 0;
}

void delete_saved_copy(const PlugEntry *entry)
{
    if (entry == nullptr || !usable_clsid(entry)) return;
    KeyGuard root(open_key(HKEY_CLASSES_ROOT, STORE_ROOT_PATH));
    if (!root.is_open()) return;
    // The store root itself stays, even when this empties it.
    delete_key_tree(root.get(), entry->clsid_text);
}

int delete_directx_registration(const PlugEntry *entry)
{
    if (entry == nullptr || !usable_clsid(entry)) return 0;
    char filter_path[MAINT_PATH_SIZE], clsid_path[MAINT_PATH_SIZE];
    if (!compose(filter_path, "Filter", entry) || !compose(clsid_path, "CLSID", entry)) return 0;
    delete_key_tree(HKEY_CLASSES_ROOT, clsid_path);
    return delete_key_tree(HKEY_CLASSES_ROOT, filter_path);
}

int delete_vs3_registration(const PlugEntry *entry)
{
    if (entry == nullptr || !usable_clsid(entry)) return 0;
    char clsid_path[MAINT_PATH_SIZE];
    if (!compose(clsid_path, "CLSID", entry)) return 0;
    delete_key_tree(HKEY_CLASSES_ROOT, clsid_path);
    KeyGuard effects(open_key_ex(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, KEY_WRITE));
    if (!effects.is_open()) return 0;
    return RegDeleteValueA(effects.get(), entry->clsid_text) == ERROR_SUCCESS;
}
