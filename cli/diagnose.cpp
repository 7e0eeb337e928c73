// After an operation: where a plug-in's registration is, and, when the
// operation did not complete, why. The operations report nothing, so the
// answer comes from the registry afterwards: every key the operation needed
// is opened again with the rights the operation needed, and the first refusal
// is the reason given. Nothing here writes to the registry.
#include <cstring>

#include "cli/cli.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"

namespace {

// Below this depth a subtree is not probed further; registrations are a few
// levels deep.
const int PROBE_DEPTH_LIMIT = 64;
// Key names are at most 255 characters, twice that in a multi-byte code page.
const DWORD KEY_NAME_SIZE = 1024;

int compose(char (&out)[MAINT_PATH_SIZE], const char *prefix, const PlugEntry *entry)
{
    int n = snprintf(out, sizeof out, "%s\\%s", prefix, entry->clsid_text);
    return n > 0 && static_cast<size_t>(n) < sizeof out;
}

struct Paths {
    char store[MAINT_PATH_SIZE];
    char filter[MAINT_PATH_SIZE];
    char clsid[MAINT_PATH_SIZE];
};

int compose_paths(const PlugEntry *entry, Paths *p)
{
    return clsid_names_one_key(entry) && compose(p->store, STORE_ROOT_PATH, entry) &&
           compose(p->filter, "Filter", entry) && compose(p->clsid, "CLSID", entry);
}

const char *root_name(HKEY root) { return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCR"; }

// Present unless the registry says it is not there: a key that exists but
// cannot be read still holds the registration.
int key_present(HKEY root, const char *path)
{
    KeyGuard key;
    return RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) != ERROR_FILE_NOT_FOUND;
}

int vs3_value_present(const PlugEntry *entry)
{
    KeyGuard key;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_QUERY_VALUE, key.out());
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    if (r != ERROR_SUCCESS) return 1;
    r = RegQueryValueExA(key.get(), entry->clsid_text, nullptr, nullptr, nullptr, nullptr);
    return r != ERROR_FILE_NOT_FOUND;
}

// A failed check: the registry's answer and the key it was given for.
struct Finding {
    LONG code;
    char where[CLI_TEXT_SIZE];
};

int set_where(Finding *f, HKEY root, const char *path)
{
    snprintf(f->where, sizeof f->where, "%s\\%s", root_name(root), path);
    return 1;
}

int probe_key(HKEY root, const char *path, REGSAM access, Finding *f)
{
    KeyGuard key;
    f->code = RegOpenKeyExA(root, path, 0, access, key.out());
    if (f->code == ERROR_SUCCESS) return 0;
    return set_where(f, root, path);
}

// Opens name under parent and every key beneath it with access. The display
// path in f->where grows as the walk descends and is left at the key that
// failed.
int probe_level(HKEY parent, const char *name, REGSAM access, int depth, Finding *f)
{
    size_t at = strlen(f->where);
    snprintf(f->where + at, sizeof f->where - at, "\\%s", name);
    KeyGuard key;
    f->code = RegOpenKeyExA(parent, name, 0, access, key.out());
    if (f->code != ERROR_SUCCESS) return 1;
    if (depth < PROBE_DEPTH_LIMIT) {
        char sub[KEY_NAME_SIZE];
        for (DWORD i = 0;; i++) {
            LONG r = RegEnumKeyA(key.get(), i, sub, KEY_NAME_SIZE);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r != ERROR_SUCCESS) {
                f->code = r;
                return 1;
            }
            if (probe_level(key.get(), sub, access, depth + 1, f)) return 1;
        }
    }
    f->where[at] = '\0';
    f->code = ERROR_SUCCESS;
    return 0;
}

int probe_tree(HKEY root, const char *path, REGSAM access, Finding *f)
{
    snprintf(f->where, sizeof f->where, "%s", root_name(root));
    return probe_level(root, path, access, 0, f);
}

// A key that an operation writes into, creating it when it is missing: the
// key with its subtree must take writes, or, while it does not exist, its
// nearest existing ancestor must take a new subkey.
int probe_writable(HKEY root, const char *path, Finding *f)
{
    if (key_present(root, path)) return probe_tree(root, path, KEY_READ | KEY_WRITE, f);
    char parent[MAINT_PATH_SIZE];
    snprintf(parent, sizeof parent, "%s", path);
    for (;;) {
        char *cut = strrchr(parent, '\\');
        if (cut == nullptr) break;
        *cut = '\0';
        if (!key_present(root, parent)) continue;
        return probe_key(root, parent, KEY_WRITE, f);
    }
    KeyGuard key;
    f->code = RegOpenKeyExA(root, "", 0, KEY_WRITE, key.out());
    if (f->code == ERROR_SUCCESS) return 0;
    snprintf(f->where, sizeof f->where, "%s", root_name(root));
    return 1;
}

// Deleting a subtree needs every key in it to open for deletion.
int probe_deletable(HKEY root, const char *path, Finding *f)
{
    return probe_tree(root, path, KEY_READ | DELETE, f);
}

void say(char *out, size_t size, const Finding &f)
{
    char reason[64];
    registry_reason(f.code, reason, sizeof reason);
    snprintf(out, size, "%s at %s", reason, f.where);
}

// The "type" held by an existing store entry: 1 with it in *type.
int saved_type(const char *store_path, int32_t *type)
{
    KeyGuard key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, store_path, 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0, len = sizeof value, value_type = 0;
    if (RegQueryValueExA(key.get(), "type", nullptr, &value_type, reinterpret_cast<BYTE *>(&value),
                         &len) != ERROR_SUCCESS ||
        len != sizeof value)
        return 0;
    *type = static_cast<int32_t>(value);
    return 1;
}

void type_words(int32_t type, char *out, size_t size)
{
    if (type == PLUG_TYPE_DIRECTX || type == PLUG_TYPE_VS3) snprintf(out, size, "%s", type_text(type));
    else snprintf(out, size, "type %d", static_cast<int>(type));
}

int diagnose_disable(const PlugEntry *e, const PlugPlaces *pl, const Paths &p, Finding *f,
                     char *out, size_t size)
{
    char words[32];
    int32_t held = 0;
    if (pl->saved && saved_type(p.store, &held) && held != e->type) {
        type_words(held, words, sizeof words);
        snprintf(out, size, "the disabled store already holds a saved %s registration of this class at HKCR\\%s",
                 words, p.store);
        return 1;
    }
    if (e->type != PLUG_TYPE_DIRECTX && e->type != PLUG_TYPE_VS3) {
        type_words(e->type, words, sizeof words);
        snprintf(out, size, "a plug-in of %s cannot be disabled", words);
        return 1;
    }
    if (probe_writable(HKEY_CLASSES_ROOT, p.store, f)) return 2;
    // Still live: a copy into the store did not complete, so its source is
    // looked at first.
    if (e->disabled == 0) {
        if (e->type == PLUG_TYPE_DIRECTX && probe_tree(HKEY_CLASSES_ROOT, p.filter, KEY_READ, f)) return 2;
        if (probe_tree(HKEY_CLASSES_ROOT, p.clsid, KEY_READ, f)) return 2;
    }
    if (pl->filter_key && probe_deletable(HKEY_CLASSES_ROOT, p.filter, f)) return 2;
    if (pl->clsid_key && probe_deletable(HKEY_CLASSES_ROOT, p.clsid, f)) return 2;
    if (pl->vs3_value && probe_key(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, KEY_WRITE, f)) return 2;
    return 0;
}

int diagnose_enable(const PlugEntry *e, const Paths &p, Finding *f, char *out, size_t size)
{
    if (e->type != PLUG_TYPE_DIRECTX && e->type != PLUG_TYPE_VS3) {
        char words[32];
        type_words(e->type, words, sizeof words);
        snprintf(out, size, "a saved registration of %s cannot be restored", words);
        return 1;
    }
    if (probe_tree(HKEY_CLASSES_ROOT, p.store, KEY_READ, f)) return 2;
    // The parts a complete saved copy holds.
    char part[MAINT_PATH_SIZE + PLUG_CLSID_TEXT_SIZE + 16];
    if (e->type == PLUG_TYPE_DIRECTX) {
        snprintf(part, sizeof part, "%s\\Filter\\%s", p.store, e->clsid_text);
        if (probe_key(HKEY_CLASSES_ROOT, part, KEY_READ, f)) return 2;
    }
    snprintf(part, sizeof part, "%s\\CLSID\\%s", p.store, e->clsid_text);
    if (probe_key(HKEY_CLASSES_ROOT, part, KEY_READ, f)) return 2;
    if (e->type == PLUG_TYPE_DIRECTX && probe_writable(HKEY_CLASSES_ROOT, p.filter, f)) return 2;
    if (probe_writable(HKEY_CLASSES_ROOT, p.clsid, f)) return 2;
    if (e->type == PLUG_TYPE_VS3 && probe_key(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, KEY_WRITE, f))
        return 2;
    if (probe_deletable(HKEY_CLASSES_ROOT, p.store, f)) return 2;
    return 0;
}

int diagnose_remove(const PlugEntry *e, const PlugPlaces *pl, const Paths &p, Finding *f)
{
    if (e->disabled != 0) {
        if (!pl->saved) return 0;
        if (probe_key(HKEY_CLASSES_ROOT, STORE_ROOT_PATH, KEY_READ, f)) return 2;
        return probe_deletable(HKEY_CLASSES_ROOT, p.store, f) ? 2 : 0;
    }
    if (pl->filter_key && probe_deletable(HKEY_CLASSES_ROOT, p.filter, f)) return 2;
    if (pl->clsid_key && probe_deletable(HKEY_CLASSES_ROOT, p.clsid, f)) return 2;
    if (pl->vs3_value && probe_key(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, KEY_WRITE, f)) return 2;
    return 0;
}

} // namespace

int clsid_names_one_key(const PlugEntry *entry)
{
    size_t n = strnlen(entry->clsid_text, sizeof entry->clsid_text);
    if (n == 0 || n == sizeof entry->clsid_text) return 0;
    return memchr(entry->clsid_text, '\\', n) == nullptr;
}

void registry_reason(long code, char *out, size_t size)
{
    if (code == ERROR_ACCESS_DENIED) snprintf(out, size, "access denied (run as administrator)");
    else if (code == ERROR_FILE_NOT_FOUND) snprintf(out, size, "not found");
    else snprintf(out, size, "registry error %ld", code);
}

void find_places(const PlugEntry *entry, PlugPlaces *places)
{
    memset(places, 0, sizeof *places);
    Paths p;
    if (entry == nullptr || !compose_paths(entry, &p)) return;
    places->saved = key_present(HKEY_CLASSES_ROOT, p.store);
    if (entry->type == PLUG_TYPE_DIRECTX) {
        places->filter_key = key_present(HKEY_CLASSES_ROOT, p.filter);
        places->clsid_key = key_present(HKEY_CLASSES_ROOT, p.clsid);
        places->live_parts = 2;
        places->live_present = places->filter_key + places->clsid_key;
    } else if (entry->type == PLUG_TYPE_VS3) {
        places->clsid_key = key_present(HKEY_CLASSES_ROOT, p.clsid);
        places->vs3_value = vs3_value_present(entry);
        places->live_parts = 2;
        places->live_present = places->clsid_key + places->vs3_value;
    }
}

void describe_places(const PlugEntry *entry, const PlugPlaces *pl, char *out, size_t size)
{
    if (pl->live_parts > 0 && pl->live_present == pl->live_parts) {
        snprintf(out, size, "%s", pl->saved ? "live, and a saved copy is in the disabled store" : "live");
        return;
    }
    if (pl->live_present == 0) {
        snprintf(out, size, "%s", pl->saved ? "disabled (saved in the disabled store)" : "gone");
        return;
    }
    // Only some of a live registration is left: name each piece.
    const char *clsid = entry->clsid_text;
    char present[CLI_TEXT_SIZE / 2] = "", missing[CLI_TEXT_SIZE / 2] = "";
    struct {
        int is_part, here;
        const char *label;
    } const parts[3] = {
        {entry->type == PLUG_TYPE_DIRECTX, pl->filter_key, "HKCR\\Filter\\"},
        {1, pl->clsid_key, "HKCR\\CLSID\\"},
        {entry->type == PLUG_TYPE_VS3, pl->vs3_value, "VS3Effects value "},
    };
    for (const auto &part : parts) {
        if (!part.is_part) continue;
        char *list = part.here ? present : missing;
        size_t at = strlen(list);
        snprintf(list + at, sizeof present - at, "%s%s%s", at ? ", " : "", part.label, clsid);
    }
    snprintf(out, size, "partly live (present: %s; missing: %s)%s", present, missing,
             pl->saved ? ", and a saved copy is in the disabled store" : ", no saved copy");
}

int diagnose(int command, const PlugEntry *entry, const PlugPlaces *places, char *out, size_t size)
{
    Paths p;
    if (!compose_paths(entry, &p)) {
        snprintf(out, size, "its class identifier text cannot name a registry key");
        return 1;
    }
    Finding f;
    f.code = ERROR_SUCCESS;
    f.where[0] = '\0';
    int found = 0;
    if (command == CLI_DISABLE) found = diagnose_disable(entry, places, p, &f, out, size);
    else if (command == CLI_ENABLE) found = diagnose_enable(entry, p, &f, out, size);
    else if (command == CLI_REMOVE) found = diagnose_remove(entry, places, p, &f);
    if (found == 2) say(out, size, f);
    if (found) return 1;
    snprintf(out, size, "the registry refused a step, but every key involved opens now");
    return 0;
}
