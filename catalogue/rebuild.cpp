// Rebuilds the catalogue from the registry: the live DirectX filters and VS3
// effects, then the saved copies in the disabled store whose class is not
// registered live as well.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/scan_common.h"
#include "catalogue/scopes.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "platform/regtext.h"

// Sorted (identifier, view, scope) triples of the live entries, built when the
// disabled-store scan starts so that each saved copy is checked by binary
// search instead of a walk over the whole catalogue. The store scan only
// appends disabled entries and nothing else runs meanwhile, so the index
// stays exact for the whole scan. Outside that scan is_new_clsid walks the
// catalogue.
struct LiveKey {
    unsigned char clsid[16];
    int32_t bits;
    int32_t scope;
};
static LiveKey *live_index = nullptr;
static uint32_t live_index_count = 0;

static int compare_live(const void *a, const void *b)
{
    const LiveKey *x = static_cast<const LiveKey *>(a);
    const LiveKey *y = static_cast<const LiveKey *>(b);
    int c = memcmp(x->clsid, y->clsid, 16);
    if (c != 0) return c;
    if (x->bits != y->bits) return (x->bits > y->bits) - (x->bits < y->bits);
    return (x->scope > y->scope) - (x->scope < y->scope);
}

static void build_live_index()
{
    uint32_t n = catalogue_count();
    live_index = static_cast<LiveKey *>(malloc((n > 0 ? n : 1) * sizeof *live_index));
    // Without the index is_new_clsid still answers, only more slowly.
    if (live_index == nullptr) return;
    live_index_count = 0;
    for (uint32_t i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e == nullptr || e->disabled != 0) continue;
        LiveKey *k = &live_index[live_index_count++];
        memcpy(k->clsid, e->clsid, 16);
        k->bits = e->bits;
        k->scope = known_scope(e->scope);
    }
    qsort(live_index, live_index_count, sizeof *live_index, compare_live);
}

static void drop_live_index()
{
    free(live_index);
    live_index = nullptr;
    live_index_count = 0;
}

int is_new_clsid(const unsigned char clsid[16], int32_t bits, int32_t scope)
{
    LiveKey wanted;
    memcpy(wanted.clsid, clsid, 16);
    wanted.bits = bits;
    wanted.scope = known_scope(scope);
    if (live_index != nullptr)
        return bsearch(&wanted, live_index, live_index_count, sizeof *live_index, compare_live) ==
               nullptr;
    uint32_t n = catalogue_count();
    for (uint32_t i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e == nullptr || e->disabled != 0 || e->bits != bits ||
            known_scope(e->scope) != wanted.scope)
            continue;
        if (memcmp(e->clsid, clsid, 16) == 0) return 0;
    }
    return 1;
}

// Reads "name" into entry->name. Every name the program writes (up to 255
// characters and the terminator) fits the first read; a longer one written
// by someone else is read whole into a buffer of its size and cut to 255
// characters, so that the plug-in stays visible.
static int read_saved_name(HKEY key, PlugEntry *entry)
{
    WCHAR small[PLUG_NAME_SIZE];
    DWORD type = REG_NONE;
    DWORD len = sizeof small;
    LONG r = reg_query(key, "name", &type, small, &len);
    if (r == ERROR_SUCCESS) {
        reg_data_to_utf8(type, reinterpret_cast<const BYTE *>(small), len, entry->name,
                         sizeof entry->name, PLUG_NAME_SIZE - 1);
        return 1;
    }
    if (r != ERROR_MORE_DATA) return 0;
    BYTE *big = static_cast<BYTE *>(malloc(static_cast<size_t>(len) + 2));
    if (big == nullptr) return 0;
    DWORD big_len = len;
    r = reg_query(key, "name", &type, big, &big_len);
    // A value that grew meanwhile is not read on.
    int ok = r == ERROR_SUCCESS && big_len <= len;
    if (ok)
        reg_data_to_utf8(type, big, big_len, entry->name, sizeof entry->name, PLUG_NAME_SIZE - 1);
    free(big);
    return ok;
}

// The first subkey of parent\path into out, with guid_only the first
// named as a GUID without braces; 0 when there is none.
static int first_subkey(HKEY parent, const char *path, int guid_only, char *out, size_t size)
{
    KeyGuard key;
    if (reg_open(parent, path, 0, KEY_READ | store_view(), key.out()) != ERROR_SUCCESS) return 0;
    DWORD failures = 0;
    for (DWORD i = 0;; i++) {
        char name[KEY_NAME_BYTES];
        LONG r = reg_enum_key(key.get(), i, name, sizeof name, KEY_NAME_CAPACITY);
        if (walk_ends(r, &failures)) return 0;
        if (r != ERROR_SUCCESS || (guid_only && !is_guid_text(name, 0))) continue;
        copy_text(out, name, size);
        return 1;
    }
}

// The forms a saved registration holds, each kept under its path below
// HKCR. An entry that holds neither filter form is taken as the old form,
// whose Filter key Enable then asks for, as it always has.
static void read_saved_forms(HKEY key, PlugEntry *entry)
{
    if (entry->type == PLUG_TYPE_DMO) {
        entry->forms = REG_FORM_DMO;
        first_subkey(key, DMO_ROOT_PATH, 1, entry->key_name, PLUG_CLSID_TEXT_SIZE - 1);
        return;
    }
    if (entry->type != PLUG_TYPE_DIRECTX) return;
    KeyGuard filter;
    if (reg_open(key, "Filter", 0, KEY_READ | store_view(), filter.out()) == ERROR_SUCCESS)
        entry->forms |= REG_FORM_FILTER;
    if (first_subkey(key, MAPPER_INSTANCE_PATH, 0, entry->key_name, PLUG_CLSID_TEXT_SIZE - 1))
        entry->forms |= REG_FORM_MAPPER;
    if (entry->forms == 0) entry->forms = REG_FORM_FILTER;
}

// 1 when the store entry describes a plug-in that can be listed.
static int read_store_entry(HKEY key, const char *clsid_text, PlugEntry *entry,
                            WCHAR *file)
{
    if (!read_saved_name(key, entry)) return 0;
    DWORD len = 4;
    if (reg_query(key, "type", nullptr, &entry->type, &len) != ERROR_SUCCESS)
        return 0;
    if (entry->type != PLUG_TYPE_DIRECTX && entry->type != PLUG_TYPE_VS3 &&
        entry->type != PLUG_TYPE_DMO)
        return 1;
    read_saved_forms(key, entry);
    char path[PATH_BUFFER_SIZE];
    if (snprintf(path, sizeof path, "CLSID\\%s\\InprocServer32", clsid_text) >=
        static_cast<int>(sizeof path))
        return 0;
    int has_class = read_dll_path(key, path, entry->bits, entry, file);
    // A DMO is what its saved MediaObjects key says; its class key is optional.
    if (entry->type == PLUG_TYPE_DMO) return entry->key_name[0] != '\0';
    return has_class;
}

static void check_store_entry(HKEY root, const char *clsid_text, int32_t bits, int32_t scope)
{
    PlugEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.disabled = 1;
    entry.bits = bits;
    entry.scope = scope;
    copy_text(entry.clsid_text, clsid_text, PLUG_CLSID_TEXT_SIZE - 1);
    parse_clsid_text(clsid_text, entry.clsid);
    KeyGuard key;
    if (reg_open(root, clsid_text, 0, KEY_READ | store_view(), key.out()) != ERROR_SUCCESS)
        return;
    WCHAR file[PLUG_FILE_CHARS] = {0};
    if (!read_store_entry(key.get(), clsid_text, &entry, file)) return;
    if (is_new_clsid(entry.clsid, bits, scope)) catalogue_add(&entry, file);
}

static void walk_store(HKEY root, int32_t bits, int32_t scope)
{
    DWORD failures = 0;
    for (DWORD i = 0;; i++) {
        char name[KEY_NAME_BYTES];
        LONG r = reg_enum_key(root, i, name, sizeof name, KEY_NAME_CAPACITY);
        if (walk_ends(r, &failures)) break;
        if (r == ERROR_SUCCESS) check_store_entry(root, name, bits, scope);
    }
}

// Each scope's store holds that scope's registrations: an entry in the
// user's store is the user's, whatever it says, and only ever goes back into
// the user's classes. A store reached through a link into the other scope
// is not that scope's.
void scan_disabled_store()
{
    build_live_index();
    int32_t views[2], scopes[2];
    int n = registry_views(views), scope_count = registry_scopes(scopes);
    for (int s = 0; s < scope_count; s++) {
        for (int i = 0; i < n; i++) {
            KeyGuard root;
            if (open_classes(scopes[s], store_root_path(views[i]), KEY_READ | store_view(),
                             root.out()) == ERROR_SUCCESS)
                walk_store(root.get(), views[i], scopes[s]);
        }
    }
    drop_live_index();
}

// Asks HKCR, as a host does, whose class key it gets.
static int user_wins(const PlugEntry *machine_row)
{
    char path[PATH_BUFFER_SIZE];
    if (snprintf(path, sizeof path, "CLSID\\%s", machine_row->clsid_text) >=
        static_cast<int>(sizeof path))
        return 0;
    KeyGuard cls;
    if (reg_open(HKEY_CLASSES_ROOT, path, 0, KEY_READ | view_flag(machine_row->bits),
                 cls.out()) != ERROR_SUCCESS)
        return 0;
    return key_scope(cls.get()) == PLUG_SCOPE_USER;
}

void mark_hidden_rows()
{
    build_live_index();
    uint32_t n = catalogue_count();
    for (uint32_t i = 1; i <= n; i++) {
        PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e == nullptr || e->disabled != 0 || known_scope(e->scope) != PLUG_SCOPE_MACHINE)
            continue;
        e->hidden = !is_new_clsid(e->clsid, e->bits, PLUG_SCOPE_USER) && user_wins(e);
    }
    drop_live_index();
}

void rebuild_catalogue()
{
    plug_list_reset(&catalogue);
    plug_list_reset(&catalogue_files);
    scan_directx_filters();
    scan_dmo_effects();
    scan_vs3_effects();
    scan_disabled_store();
    mark_hidden_rows();
}
