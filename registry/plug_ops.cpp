// Disable, enable and remove: moving a plug-in's registration into the
// disabled store and back, and deleting it for good, each in the registry
// view the registration lives in. A live registration is deleted only after
// every copy of it into the store succeeded, and a saved copy only after
// everything in it was restored. Each operation says what it did.
#include <cstdio>
#include <cstring>

#include "catalogue/list_csv.h"
#include "catalogue/scan_common.h"
#include "catalogue/scopes.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "platform/regtext.h"
#include "registry/maintenance.h"

namespace {

static_assert(sizeof("Software\\Classes\\") + PLUG_CLSID_TEXT_SIZE + sizeof(STORE64_ROOT_PATH) +
                      sizeof("CLSID\\") <
                  MAINT_PATH_SIZE,
              "every path composed from a class identifier text fits its buffer");

// The display name as written to "name" and, by older versions, to the
// VS3Effects value: 255 characters in UTF-8.
const DWORD NAME_BUFFER_SIZE = PLUG_NAME_BYTES;
// Inside a store entry: where the VS3Effects value is kept exactly.
const char SAVED_VS3_KEY[] = "VS3Effects";

// The scope's classes, prefix, "\", clsid text; 0 when it would not fit, so
// no path is ever cut.
int compose(char (&out)[MAINT_PATH_SIZE], const char *prefix, const PlugEntry *entry)
{
    char area[MAINT_PATH_SIZE];
    int n = snprintf(area, sizeof area, "%s\\%s", prefix, entry->clsid_text);
    return n > 0 && static_cast<size_t>(n) < sizeof area && classes_path(area, out, sizeof out);
}

// Every key of one registration: where it lives and in which view. Every
// path is below the root of the registration's scope, never HKCR.
struct Places {
    int32_t scope;                // PLUG_SCOPE_*
    HKEY root;                    // the scope's root: HKLM or HKCU
    char store[MAINT_PATH_SIZE];  // the store entry, in the same scope
    char filter[MAINT_PATH_SIZE]; // Software\Classes\Filter\{clsid}
    char clsid[MAINT_PATH_SIZE];  // Software\Classes\CLSID\{clsid}
    REGSAM view;                  // the registration's view
    int32_t other;                // a filter's other view in its scope, or 0
    REGSAM filter_view;           // the view its Filter key is found in
    REGSAM store_view;
    RegParts parts;               // what the registration consists of
};

int key_exists(HKEY root, const char *path, REGSAM view)
{
    KeyGuard key;
    return reg_open(root, path, 0, KEY_READ | view, key.out()) != ERROR_FILE_NOT_FOUND;
}

// "Not there" is believed only when a second look agrees: a part taken as
// absent is neither saved nor restored, and its copy may be deleted.
int key_absent(HKEY root, const char *path, REGSAM view)
{
    return !key_exists(root, path, view) && !key_exists(root, path, view);
}

// The other view within the registration's scope, or 0 where the scope's
// classes have one view (Wine's user classes): there the "other view" is
// the same key, and no registration of its own.
int32_t other_view_in_scope(int32_t scope, int32_t bits)
{
    int32_t views[2];
    return scope_views(scope, views) == 2 ? other_view(bits) : 0;
}

// A 32-bit class may have its Filter entry only in the 64-bit place (and the
// other way round): its own view's is used when there is one. "None" is
// believed only when a second look agrees, as the other view's entry may be
// deleted on the strength of it.
REGSAM find_filter_view(const PlugEntry *entry, int32_t other, HKEY root, const char *filter_path)
{
    REGSAM own = view_flag(entry->bits);
    if (other == 0 || key_exists(root, filter_path, own) || key_exists(root, filter_path, own))
        return own;
    if (key_exists(root, filter_path, view_flag(other))) return view_flag(other);
    return own;
}

// A key name (an instance's or a DMO's) that names exactly one key.
int names_one_key(const char *name, size_t size)
{
    size_t n = strnlen(name, size);
    return n > 0 && n < size && strchr(name, '\\') == nullptr;
}

// A part below the scope's classes (in_classes) or, for the VS3Effects
// value, below the root itself.
int add_part(RegParts *parts, int32_t id, int32_t required, HKEY root, REGSAM view,
             int in_classes, const char *prefix, const char *name, const char *value)
{
    RegPart &part = parts->part[parts->count++];
    part.id = id;
    part.required = required;
    part.root = root;
    part.view = view;
    int n = snprintf(part.path, sizeof part.path, "%s%s%s", prefix, name[0] != '\0' ? "\\" : "",
                     name);
    snprintf(part.value, sizeof part.value, "%s", value);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof part.path) return 0;
    if (!in_classes) {
        static_assert(sizeof part.live == sizeof part.path, "a path below the root fits live");
        memcpy(part.live, part.path, static_cast<size_t>(n) + 1);
        return 1;
    }
    return classes_path(part.path, part.live, sizeof part.live);
}

// The one statement of what a registration consists of.
int state_parts(const PlugEntry *entry, const Places &p, RegParts *parts)
{
    memset(parts, 0, sizeof *parts);
    const char *clsid = entry->clsid_text;
    const char *key_name = entry->key_name;
    HKEY root = p.root;
    int ok = 1;
    if (entry->type == PLUG_TYPE_DIRECTX) {
        // A record that names no form is of the old one, as every earlier record.
        int forms = entry->forms != 0 ? entry->forms : REG_FORM_FILTER;
        // A saved Filter key comes back into the class's own view, where
        // every version has put it.
        REGSAM filter_view = entry->disabled != 0 ? p.view : p.filter_view;
        if (forms & REG_FORM_FILTER)
            ok &= add_part(parts, PART_FILTER, 1, root, filter_view, 1, "Filter", clsid, "");
        ok &= add_part(parts, PART_CLSID, 1, root, p.view, 1, "CLSID", clsid, "");
        if (forms & REG_FORM_MAPPER)
            ok &= names_one_key(key_name, sizeof entry->key_name) &&
                  add_part(parts, PART_INSTANCE, 1, root, p.view, 1, MAPPER_INSTANCE_PATH,
                           key_name, "");
    } else if (entry->type == PLUG_TYPE_DMO) {
        // A DMO is offered through its MediaObjects key; its class key and
        // category entry go with it where they are.
        ok &= names_one_key(key_name, sizeof entry->key_name);
        ok &= add_part(parts, PART_CLSID, 0, root, p.view, 1, "CLSID", clsid, "");
        ok &= add_part(parts, PART_DMO, 1, root, p.view, 1, DMO_ROOT_PATH, key_name, "");
        ok &= add_part(parts, PART_DMO_CATEGORY, 0, root, p.view, 1, DMO_AUDIO_EFFECTS_PATH,
                       key_name, "");
    } else if (entry->type == PLUG_TYPE_VS3) {
        ok &= add_part(parts, PART_CLSID, 1, root, p.view, 1, "CLSID", clsid, "");
        // The effects list is the machine's: only a machine registration
        // moves its value, so that the user's never writes below HKLM.
        if (p.scope == PLUG_SCOPE_MACHINE)
            ok &= add_part(parts, PART_VS3_VALUE, 1, HKEY_LOCAL_MACHINE, p.view, 0,
                           VS3_EFFECTS_PATH, "", clsid);
    }
    return ok;
}

int compose_places(const PlugEntry *entry, Places *p)
{
    p->scope = known_scope(entry->scope);
    p->root = scope_root(p->scope);
    if (!clsid_names_one_key(entry) || !compose(p->store, store_root_path(entry->bits), entry) ||
        !compose(p->filter, "Filter", entry) || !compose(p->clsid, "CLSID", entry))
        return 0;
    p->view = view_flag(entry->bits);
    p->store_view = store_view();
    // Asked once an operation, and only of a filter: no other part serves a view but its own.
    p->other = entry->type == PLUG_TYPE_DIRECTX ? other_view_in_scope(p->scope, entry->bits) : 0;
    p->filter_view = find_filter_view(entry, p->other, p->root, p->filter);
    return state_parts(entry, *p, &p->parts);
}

// The registration moves the machine's VS3Effects value.
int has_vs3_value(const Places &p)
{
    for (int i = 0; i < p.parts.count; i++)
        if (p.parts.part[i].id == PART_VS3_VALUE) return 1;
    return 0;
}

// Where one Filter key serves both views, it also belongs to the class's
// registration in the other view while that one is live: it stays. Whenever
// that cannot be told it stays too; a Filter key left behind loses nothing.
// The other view's class counts as live when the catalogue lists it, its
// saved class key lacks a saved Filter key, or the registry does not say
// twice that it is missing, so that one wrong answer cannot delete it.
// The other view's class key saved without the Filter key (as the class's
// VS3 effect saves it) still counts on the live one. Untellable counts too.
int saved_without_filter(const PlugEntry *entry, const Places *p, int32_t other)
{
    char saved[MAINT_PATH_SIZE], filter[MAINT_PATH_SIZE], area[MAINT_PATH_SIZE];
    const char *store = store_root_path(other), *clsid = entry->clsid_text;
    if (snprintf(area, sizeof area, "%s\\%s\\CLSID\\%s", store, clsid, clsid) < 0 ||
        !classes_path(area, saved, sizeof saved) ||
        snprintf(area, sizeof area, "%s\\%s\\Filter\\%s", store, clsid, clsid) < 0 ||
        !classes_path(area, filter, sizeof filter))
        return 1;
    return key_exists(p->root, saved, store_view()) && !key_exists(p->root, filter, store_view());
}

int filter_serves_other_view(const PlugEntry *entry, const Places *p)
{
    int32_t other = p->other;
    if (other == 0) return 0;
    if (is_new_clsid(entry->clsid, other, p->scope) && !saved_without_filter(entry, p, other) &&
        !key_exists(p->root, p->clsid, view_flag(other)) &&
        !key_exists(p->root, p->clsid, view_flag(other)))
        return 0;
    // Kept also when it does not open: then there is nothing to delete.
    KeyGuard ours, theirs;
    if (reg_open(p->root, p->filter, 0, KEY_READ | p->filter_view, ours.out()) != ERROR_SUCCESS)
        return 1;
    // Without a Filter key of its own the other view's class uses this one.
    if (reg_open(p->root, p->filter, 0, KEY_READ | view_flag(other), theirs.out()) !=
        ERROR_SUCCESS)
        return 1;
    return same_registry_key(ours.get(), theirs.get()) != 0;
}

// ---- outcomes ----------------------------------------------------------------

void start(PlugOutcome *o)
{
    memset(o, 0, sizeof *o);
    o->status = PLUG_DONE;
}

int refuse(PlugOutcome *o, int32_t why)
{
    o->status = PLUG_FAILED;
    o->why = why;
    return 0;
}

// Records the first registry failure only: what follows is its consequence.
int fail_at(PlugOutcome *o, LONG code, HKEY root, const char *path)
{
    if (o->status == PLUG_FAILED) return 0;
    o->status = PLUG_FAILED;
    o->why = WHY_REGISTRY;
    o->code = code;
    if (snprintf(o->key, sizeof o->key, "%s\\%s", root_name(root), path) < 0) o->key[0] = '\0';
    return 0;
}

// A failed copy or delete names the key it failed on: f.where, below the
// parent path of the side it failed on ("" for the root itself); both sides
// are below the registration's root.
int tree_failed(PlugOutcome *o, const TreeFailure &f, HKEY root, const char *dest_parent,
                const char *src_parent)
{
    const char *parent = f.on_source ? src_parent : dest_parent;
    char path[MAINT_PATH_SIZE];
    // A path too long for the message is cut; the start still names where.
    if (snprintf(path, sizeof path, "%s%s%s", parent, parent[0] != '\0' ? "\\" : "", f.where) < 0)
        path[0] = '\0';
    return fail_at(o, f.code, root, path);
}

// ---- the pieces ----------------------------------------------------------------

// Copies the display name, cut to the field's 255 characters.
void copy_name(const PlugEntry *entry, char (&out)[NAME_BUFFER_SIZE])
{
    char name[sizeof entry->name];
    memcpy(name, entry->name, sizeof name);
    name[sizeof name - 1] = '\0';
    copy_text(out, name, PLUG_NAME_SIZE - 1);
}

// A class registered both as a DirectX filter and as a VS3 effect has one
// store entry for both types. Once one type's registration is saved there,
// the other type must not write into it: its disable would overwrite
// "type", and the next enable would restore the parts of the new type only
// and then delete the entry with the first type's saved parts in it. So a
// store entry takes a copy only while it holds no "type" yet or this very
// type; anything unreadable counts as another type.
int store_takes_type(HKEY store, int32_t type, int32_t *held)
{
    DWORD value = 0, len = sizeof value, value_type = 0;
    LONG r = reg_query(store, "type", &value_type, &value, &len);
    *held = static_cast<int32_t>(value);
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    return r == ERROR_SUCCESS && len == sizeof value && static_cast<int32_t>(value) == type;
}

int write_store_header(HKEY store, const PlugEntry *entry, const Places &p, PlugOutcome *o)
{
    char name[NAME_BUFFER_SIZE];
    copy_name(entry, name);
    LONG r = reg_set_text(store, "name", REG_SZ, name);
    if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, p.store);
    int32_t type = entry->type;
    r = reg_set(store, "type", REG_DWORD, &type, sizeof type);
    if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, p.store);
    return 1;
}

// 1 when the value `name` of parent\path is there, 0 when the registry says
// it is not, -1 when that cannot be told.
int value_state(HKEY parent, const char *path, REGSAM view, const char *name)
{
    KeyGuard key;
    LONG r = reg_open(parent, path, 0, KEY_QUERY_VALUE | view, key.out());
    if (r == ERROR_SUCCESS) r = reg_query(key.get(), name, nullptr, nullptr, nullptr);
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    return r == ERROR_SUCCESS ? 1 : -1;
}

// The live VS3Effects value of the entry's view.
int vs3_value_state(const PlugEntry *entry, const Places &p)
{
    return value_state(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, p.view, entry->clsid_text);
}

// The exact VS3Effects value kept in the store entry.
int saved_vs3_state(HKEY store, const PlugEntry *entry, const Places &p)
{
    return value_state(store, SAVED_VS3_KEY, p.store_view, entry->clsid_text);
}

// The VS3Effects value goes into the store entry exactly as it is: its data
// may be empty, long, in any characters and of any type. *saved says whether
// there was one to save; "none" is believed only when a second look agrees,
// as the value is deleted afterwards.
int save_vs3_value(HKEY store, const PlugEntry *entry, const Places &p, PlugOutcome *o,
                   int *saved)
{
    *saved = 0;
    int state = vs3_value_state(entry, p);
    if (state == 0) state = vs3_value_state(entry, p);
    if (state == 0) return 1;
    KeyGuard effects;
    LONG r = reg_open(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_QUERY_VALUE | p.view,
                           effects.out());
    if (r != ERROR_SUCCESS) return fail_at(o, r, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    KeyGuard copy;
    r = reg_create(store, SAVED_VS3_KEY, KEY_READ | KEY_WRITE | p.store_view, copy.out());
    if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, p.store);
    TreeFailure f;
    if (!copy_value_exact(copy.get(), effects.get(), entry->clsid_text, &f))
        return f.on_source ? fail_at(o, f.code, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH)
                           : fail_at(o, f.code, p.root, p.store);
    *saved = 1;
    return 1;
}

// Writes the VS3Effects value back exactly as saved. For an entry an older
// version saved without it (which a second look must confirm, as the saved
// copy is deleted afterwards) a live value stays as it is, and where there
// is none the display name is written as text.
int restore_vs3_value(HKEY store, const PlugEntry *entry, const Places &p, PlugOutcome *o)
{
    KeyGuard effects;
    LONG r = reg_open(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0,
                           KEY_QUERY_VALUE | KEY_SET_VALUE | p.view, effects.out());
    if (r != ERROR_SUCCESS) return fail_at(o, r, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    KeyGuard saved;
    r = reg_open(store, SAVED_VS3_KEY, 0, KEY_READ | p.store_view, saved.out());
    if (r == ERROR_SUCCESS) {
        TreeFailure f;
        if (copy_value_exact(effects.get(), saved.get(), entry->clsid_text, &f)) return 1;
        if (!f.on_source) return fail_at(o, f.code, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
        r = f.code;
    }
    if (r != ERROR_FILE_NOT_FOUND) return fail_at(o, r, p.root, p.store);
    if (saved_vs3_state(store, entry, p) != 0) {
        o->status = PLUG_FAILED;
        if (o->why == WHY_NONE) o->why = WHY_CHANGED_MEANWHILE;
        return 0;
    }
    r = reg_query(effects.get(), entry->clsid_text, nullptr, nullptr, nullptr);
    if (r != ERROR_FILE_NOT_FOUND) {
        if (r == ERROR_SUCCESS) return 1;
        return fail_at(o, r, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    }
    char name[NAME_BUFFER_SIZE];
    copy_name(entry, name);
    r = reg_set_text(effects.get(), entry->clsid_text, REG_SZ, name);
    if (r != ERROR_SUCCESS) return fail_at(o, r, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    return 1;
}

// Restores one saved subtree (a part's path, or "Filter") into its live
// place below the scope's root.
int restore_tree(HKEY store, const char *saved, const char *live, REGSAM view, const Places &p,
                 PlugOutcome *o)
{
    TreeFailure f;
    if (copy_key_tree_to(p.root, view, live, store, p.store_view, saved, &f)) return 1;
    return tree_failed(o, f, p.root, "", p.store);
}

// A store entry that a class's two types once shared (older versions wrote
// one) may hold a saved filter beside a VS3 effect's class key. It comes back
// with the effect, so that deleting the saved copy loses nothing.
int restore_saved_filter(HKEY store, const Places &p, PlugOutcome *o)
{
    KeyGuard probe;
    LONG r = reg_open(store, "Filter", 0, KEY_READ | p.store_view, probe.out());
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, p.store);
    probe.close();
    char live[MAINT_PATH_SIZE];
    if (!classes_path("Filter", live, sizeof live)) return 0;
    return restore_tree(store, "Filter", live, p.view, p, o);
}

// Deletes a subtree; one that is not there is gone already.
int delete_tree_at(HKEY root, REGSAM view, const char *path, PlugOutcome *o)
{
    TreeFailure f;
    if (delete_key_tree_ex(root, view, path, &f)) return 1;
    if (f.code == ERROR_FILE_NOT_FOUND && strcmp(f.where, path) == 0) return 1;
    return tree_failed(o, f, root, "", "");
}

// Deletes the key parts in `which` (PART_*), in order, each tried whatever
// the one before did; a Filter key that serves the other view stays.
int delete_key_parts(const PlugEntry *entry, const Places &p, int32_t which, PlugOutcome *o)
{
    int all_gone = 1;
    for (int i = 0; i < p.parts.count; i++) {
        const RegPart &part = p.parts.part[i];
        if (part.value[0] != '\0' || (which & part.id) == 0) continue;
        if (part.id == PART_FILTER && filter_serves_other_view(entry, &p)) continue;
        if (!delete_tree_at(part.root, part.view, part.live, o)) all_gone = 0;
    }
    return all_gone;
}

// value_saved 0: disable found no value to save, so none is deleted; one
// that shows up meanwhile stays live and is reported.
int delete_vs3_value(const PlugEntry *entry, const Places &p, PlugOutcome *o, int value_saved)
{
    if (!value_saved) {
        if (vs3_value_state(entry, p) == 0) return 1;
        o->status = PLUG_FAILED;
        if (o->why == WHY_NONE) o->why = WHY_CHANGED_MEANWHILE;
        return 0;
    }
    KeyGuard effects;
    LONG r = reg_open(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_WRITE | p.view,
                           effects.out());
    if (r == ERROR_SUCCESS) r = reg_delete_value(effects.get(), entry->clsid_text);
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
        return fail_at(o, r, HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    return 1;
}

// Deletes the live registration's parts in `which`: all of them for a
// remove, those saved for a disable.
int delete_registration(const PlugEntry *entry, const Places &p, int32_t which, PlugOutcome *o)
{
    int keys_gone = delete_key_parts(entry, p, which, o);
    if (!has_vs3_value(p)) return keys_gone;
    int value_gone = delete_vs3_value(entry, p, o, (which & PART_VS3_VALUE) != 0);
    return keys_gone && value_gone;
}

int delete_saved_copy(const PlugEntry *entry, const Places &p, PlugOutcome *o)
{
    KeyGuard root;
    char root_path[MAINT_PATH_SIZE];
    if (!classes_path(store_root_path(entry->bits), root_path, sizeof root_path)) return 0;
    LONG r = reg_open(p.root, root_path, 0, KEY_READ | p.store_view, root.out());
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, root_path);
    // The store root itself stays, even when this empties it.
    TreeFailure f;
    if (delete_key_tree_ex(root.get(), p.store_view, entry->clsid_text, &f)) return 1;
    if (f.code == ERROR_FILE_NOT_FOUND && strcmp(f.where, entry->clsid_text) == 0) return 1;
    return tree_failed(o, f, p.root, root_path, root_path);
}

// The entry behind index, checked the way every operation checks it.
PlugEntry *usable_entry(int index, PlugOutcome *o, Places *p)
{
    PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr) {
        refuse(o, WHY_NO_ENTRY);
        return nullptr;
    }
    if (!clsid_names_one_key(entry) || !compose_places(entry, p)) {
        refuse(o, WHY_BAD_CLSID);
        return nullptr;
    }
    if (entry->type != PLUG_TYPE_DIRECTX && entry->type != PLUG_TYPE_VS3 &&
        entry->type != PLUG_TYPE_DMO) {
        refuse(o, WHY_BAD_TYPE);
        return nullptr;
    }
    return entry;
}

// Everything of the live registration into the open store entry; *saved
// gets the PART_* copied. A part that need not be there and is not is
// skipped: copying it would leave an empty key to restore.
int save_registration(HKEY store, const PlugEntry *entry, const Places &p, PlugOutcome *o,
                      int32_t *saved)
{
    // The value first: a copy that stops later still holds it exactly, so
    // that enabling that copy never has to make the value up.
    *saved = 0;
    int vs3_saved = 0;
    if (has_vs3_value(p) && !save_vs3_value(store, entry, p, o, &vs3_saved)) return 0;
    if (vs3_saved) *saved |= PART_VS3_VALUE;
    for (int i = 0; i < p.parts.count; i++) {
        const RegPart &part = p.parts.part[i];
        if (part.value[0] != '\0') continue;
        if (!part.required && key_absent(part.root, part.live, part.view)) continue;
        TreeFailure f;
        if (!copy_key_tree_to(store, p.store_view, part.path, part.root, part.view, part.live, &f))
            return tree_failed(o, f, p.root, p.store, "");
        *saved |= part.id;
    }
    return 1;
}

// A user's store entry goes back into the user's classes only. One that
// holds the machine's VS3Effects value (which no version saves for a user's
// registration) is refused whole rather than restored in part and deleted.
int store_fits_scope(HKEY store, const PlugEntry *entry, const Places &p, PlugOutcome *o)
{
    if (entry->type != PLUG_TYPE_VS3 || has_vs3_value(p)) return 1;
    if (key_absent(store, SAVED_VS3_KEY, p.store_view)) return 1;
    if (snprintf(o->key, sizeof o->key, "%s\\%s\\%s", root_name(p.root), p.store,
                 SAVED_VS3_KEY) < 0)
        o->key[0] = '\0';
    return refuse(o, WHY_MACHINE_PART_IN_USER_STORE);
}

// Every key part the store entry holds back into its live place; a
// required one it lacks fails. 1 when all of them came back.
int restore_key_parts(HKEY store, const Places &p, PlugOutcome *o)
{
    int complete = 1;
    for (int i = 0; i < p.parts.count; i++) {
        const RegPart &part = p.parts.part[i];
        if (part.value[0] != '\0') continue;
        // A part the copy lacks is not made up as an empty key.
        if (key_absent(store, part.path, p.store_view)) {
            if (!part.required) continue;
            char where[MAINT_PATH_SIZE];
            if (snprintf(where, sizeof where, "%s\\%s", p.store, part.path) < 0) where[0] = '\0';
            fail_at(o, ERROR_FILE_NOT_FOUND, p.root, where);
            complete = 0;
        } else if (restore_tree(store, part.path, part.live, part.view, p, o)) {
            o->restored |= part.id;
        } else {
            complete = 0;
        }
    }
    return complete;
}

} // namespace

int clsid_names_one_key(const PlugEntry *entry)
{
    if (entry == nullptr) return 0;
    size_t n = strnlen(entry->clsid_text, sizeof entry->clsid_text);
    if (n == 0 || n == sizeof entry->clsid_text) return 0;
    // Paths go to the wide functions as ASCII; anything else is not a class
    // identifier and is not guessed at.
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(entry->clsid_text[i]);
        if (c == '\\' || c >= 0x80) return 0;
    }
    return 1;
}

int disable_plug(int index, PlugOutcome *out)
{
    PlugOutcome local{};
    PlugOutcome *o = out != nullptr ? out : &local;
    start(o);
    PlugEntry *found = catalogue_get(index);
    if (found != nullptr && found->disabled != 0) {
        o->status = PLUG_NOTHING_TO_DO;
        return 1;
    }
    Places p;
    PlugEntry *entry = usable_entry(index, o, &p);
    if (entry == nullptr) return 0;

    // Creating the entry creates the store root and its parent as well.
    KeyGuard store;
    LONG r = reg_create(p.root, p.store, KEY_READ | KEY_WRITE | p.store_view, store.out());
    if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, p.store);
    if (!store_takes_type(store.get(), entry->type, &o->held_type)) {
        snprintf(o->key, sizeof o->key, "%s\\%s", root_name(p.root), p.store);
        return refuse(o, WHY_STORE_HOLDS_TYPE);
    }
    o->held_type = 0;
    if (!write_store_header(store.get(), entry, p, o)) return 0;
    // The flag turns only once every copy is in the store: a row reading
    // "Disabled" must not hide a registration that is still live.
    int32_t saved = 0;
    if (!save_registration(store.get(), entry, p, o, &saved)) return 0;
    entry->disabled = 1;
    return delete_registration(entry, p, saved, o);
}

int enable_plug(int index, PlugOutcome *out)
{
    PlugOutcome local{};
    PlugOutcome *o = out != nullptr ? out : &local;
    start(o);
    PlugEntry *found = catalogue_get(index);
    if (found != nullptr && found->disabled == 0) {
        o->status = PLUG_NOTHING_TO_DO;
        return 1;
    }
    Places p;
    PlugEntry *entry = usable_entry(index, o, &p);
    if (entry == nullptr) return 0;

    int complete = 0;
    {
        KeyGuard store;
        LONG r = reg_open(p.root, p.store, 0, KEY_READ | p.store_view, store.out());
        if (r != ERROR_SUCCESS) return fail_at(o, r, p.root, p.store);
        if (!store_fits_scope(store.get(), entry, p, o)) return 0;
        // Every part is tried, so that as much as possible is live again.
        complete = restore_key_parts(store.get(), p, o);
        if (has_vs3_value(p)) {
            if (restore_vs3_value(store.get(), entry, p, o)) o->restored |= PART_VS3_VALUE;
            else complete = 0;
        }
        if (entry->type == PLUG_TYPE_VS3 && !restore_saved_filter(store.get(), p, o))
            complete = 0;
    }
    // An incomplete restoration keeps the row disabled and the saved copy
    // whole, so enabling again can finish the job.
    if (!complete) return 0;
    entry->disabled = 0;
    return delete_saved_copy(entry, p, o);
}

int remove_plug(int index, PlugOutcome *out)
{
    PlugOutcome local{};
    PlugOutcome *o = out != nullptr ? out : &local;
    start(o);
    Places p;
    PlugEntry *entry = usable_entry(index, o, &p);
    if (entry == nullptr) return 0;
    // A disabled plug-in has no live registration to touch.
    if (entry->disabled != 0) return delete_saved_copy(entry, p, o);
    return delete_registration(entry, p, ~0, o);
}

int registration_parts(const PlugEntry *entry, RegParts *parts)
{
    Places p;
    memset(parts, 0, sizeof *parts);
    if (entry == nullptr || !compose_places(entry, &p)) return 0;
    *parts = p.parts;
    return 1;
}

int removal_parts(int index, RegParts *parts, PlugOutcome *o)
{
    memset(parts, 0, sizeof *parts);
    start(o);
    Places p;
    PlugEntry *entry = usable_entry(index, o, &p);
    if (entry == nullptr) return 0;
    if (entry->disabled != 0) {
        add_part(parts, 0, 1, p.root, p.store_view, 0, p.store, "", "");
        return 1;
    }
    for (int i = 0; i < p.parts.count; i++) {
        const RegPart &part = p.parts.part[i];
        if (part.id == PART_FILTER && filter_serves_other_view(entry, &p)) continue;
        if (!part.required && key_absent(part.root, part.live, part.view)) continue;
        parts->part[parts->count++] = part;
    }
    return 1;
}

// ---- what is said, and where a registration is ------------------------------

void registry_reason(long code, char *out, size_t size)
{
    if (code == ERROR_ACCESS_DENIED) snprintf(out, size, "access denied (run as administrator)");
    else if (code == ERROR_FILE_NOT_FOUND) snprintf(out, size, "not found");
    else if (code == ERROR_ALREADY_EXISTS)
        snprintf(out, size, "a key and a registry link of the same name are in the way");
    else snprintf(out, size, "registry error %ld", code);
}

static void type_words(int32_t type, char *out, size_t size)
{
    if (type_text(type)[0] != '\0') snprintf(out, size, "%s", type_text(type));
    else snprintf(out, size, "type %d", static_cast<int>(type));
}

void describe_outcome(const PlugOutcome *o, char *out, size_t size)
{
    char words[64];
    switch (o->why) {
    case WHY_REGISTRY:
        registry_reason(o->code, words, sizeof words);
        snprintf(out, size, "%s at %s", words, o->key);
        return;
    case WHY_NO_ENTRY:
        snprintf(out, size, "it is no longer in the list");
        return;
    case WHY_BAD_CLSID:
        snprintf(out, size, "its class identifier text cannot name a registry key");
        return;
    case WHY_BAD_TYPE:
        snprintf(out, size, "a plug-in of this type cannot be changed");
        return;
    case WHY_CHANGED_MEANWHILE:
        snprintf(out, size, "the registry changed while it was being read; try again");
        return;
    case WHY_MACHINE_PART_IN_USER_STORE:
        snprintf(out, size,
                 "the per-user saved copy holds a machine-wide VS3Effects value at %s; it is left "
                 "as it is",
                 o->key);
        return;
    case WHY_STORE_HOLDS_TYPE:
        type_words(o->held_type, words, sizeof words);
        snprintf(out, size, "the disabled store already holds a saved %s registration of this class at %s",
                 words, o->key);
        return;
    default:
        snprintf(out, size, "%s", o->status == PLUG_FAILED ? "not done" : "done");
        return;
    }
}

void find_places(const PlugEntry *entry, PlugPlaces *pl)
{
    memset(pl, 0, sizeof *pl);
    Places p;
    if (entry == nullptr || !compose_places(entry, &p)) return;
    pl->saved = key_exists(p.root, p.store, p.store_view);
    for (int i = 0; i < p.parts.count; i++) {
        const RegPart &part = p.parts.part[i];
        int here = part.value[0] != '\0' ? vs3_value_state(entry, p) != 0
                                         : key_exists(part.root, part.live, part.view);
        // A Filter key that serves the class's live registration in the other
        // view is that one's, once this view's class key is gone.
        if (here && part.id == PART_FILTER && !key_exists(p.root, p.clsid, p.view) &&
            filter_serves_other_view(entry, &p))
            here = 0;
        // A part that need not be there counts only where it is.
        if (!part.required && !here) continue;
        pl->live_parts++;
        pl->live_present += here;
        if (here) pl->present |= part.id;
    }
}

void describe_places(const PlugEntry *entry, const PlugPlaces *pl, char *out, size_t size)
{
    if (pl->live_parts > 0 && pl->live_present == pl->live_parts) {
        snprintf(out, size, "%s",
                 pl->saved ? "live, and a saved copy is in the disabled store" : "live");
        return;
    }
    if (pl->live_present == 0) {
        snprintf(out, size, "%s", pl->saved ? "disabled (saved in the disabled store)" : "gone");
        return;
    }
    // Only some of a live registration is left: name each piece.
    RegParts parts;
    registration_parts(entry, &parts);
    char present[MAINT_PATH_SIZE / 2] = "", missing[MAINT_PATH_SIZE / 2] = "";
    for (int i = 0; i < parts.count; i++) {
        const RegPart &part = parts.part[i];
        int here = (pl->present & part.id) != 0;
        if (!part.required && !here) continue;
        char *list = here ? present : missing;
        size_t at = strlen(list);
        // A list too long for the line is cut.
        int n = part.value[0] != '\0'
                    ? snprintf(list + at, sizeof present - at, "%sVS3Effects value %s",
                               at ? ", " : "", part.value)
                    : snprintf(list + at, sizeof present - at, "%s%s\\%s", at ? ", " : "",
                               root_name(part.root), part.live);
        if (n < 0) list[at] = '\0';
    }
    snprintf(out, size, "partly live (present: %s; missing: %s)%s", present, missing,
             pl->saved ? ", and a saved copy is in the disabled store" : ", no saved copy");
}
