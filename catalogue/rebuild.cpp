// Rebuilds the catalogue from the registry: the live DirectX filters and VS3
// effects, then the saved copies in the disabled store whose class is not
// registered live as well.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/scan_common.h"
#include "platform/keyguard.h"

// Sorted identifiers of the live entries, built when the disabled-store scan
// starts so that each saved copy is checked by binary search instead of a
// walk over the whole catalogue. The store scan only appends disabled
// entries and nothing else runs meanwhile, so the index stays exact for the
// whole scan. Outside that scan is_new_clsid walks the catalogue.
static unsigned char (*live_index)[16] = nullptr;
static uint32_t live_index_count = 0;

static int compare_clsid(const void *a, const void *b)
{
    return memcmp(a, b, 16);
}

static void build_live_index()
{
    uint32_t n = catalogue_count();
    live_index = static_cast<unsigned char(*)[16]>(malloc((n > 0 ? n : 1) * sizeof *live_index));
    // Without the index is_new_clsid still answers, only more slowly.
    if (live_index == nullptr) return;
    live_index_count = 0;
    for (uint32_t i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e != nullptr && e->disabled == 0) memcpy(live_index[live_index_count++], e->clsid, 16);
    }
    qsort(live_index, live_index_count, sizeof *live_index, compare_clsid);
}

static void drop_live_index()
{
    free(live_index);
    live_index = nullptr;
    live_index_count = 0;
}

int is_new_clsid(const unsigned char clsid[16])
{
    if (live_index != nullptr)
        return bsearch(clsid, live_index, live_index_count, sizeof *live_index, compare_clsid) ==
               nullptr;
    uint32_t n = catalogue_count();
    for (uint32_t i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e == nullptr || e->disabled != 0) continue;
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
    char small[PLUG_NAME_SIZE + 1];
    DWORD len = PLUG_NAME_SIZE;
    LONG r = RegQueryValueExA(key, "name", nullptr, nullptr, reinterpret_cast<BYTE *>(small), &len);
    if (r == ERROR_SUCCESS && len <= PLUG_NAME_SIZE) {
        small[len] = '\0';
        copy_text(entry->name, small, PLUG_NAME_SIZE - 1);
        return 1;
    }
    if (r != ERROR_MORE_DATA) return 0;
    char *big = static_cast<char *>(malloc(static_cast<size_t>(len) + 1));
    if (big == nullptr) return 0;
    int ok = read_text(key, "name", big, len);
    if (ok) copy_text(entry->name, big, PLUG_NAME_SIZE - 1);
    free(big);
    return ok;
}

// 1 when the store entry describes a plug-in that can be listed.
static int read_store_entry(HKEY key, const char *clsid_text, PlugEntry *entry)
{
    if (!read_saved_name(key, entry)) return 0;
    DWORD len = 4;
    if (RegQueryValueExA(key, "type", nullptr, nullptr, reinterpret_cast<BYTE *>(&entry->type),
                         &len) != ERROR_SUCCESS)
        return 0;
    if (entry->type != PLUG_TYPE_DIRECTX && entry->type != PLUG_TYPE_VS3) return 1;
    char path[PATH_BUFFER_SIZE];
    if (snprintf(path, sizeof path, "CLSID\\%s\\InprocServer32", clsid_text) >=
        static_cast<int>(sizeof path))
        return 0;
    return read_dll_path(key, path, entry);
}

static void check_store_entry(HKEY root, const char *clsid_text)
{
    PlugEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.disabled = 1;
    copy_text(entry.clsid_text, clsid_text, PLUG_CLSID_TEXT_SIZE - 1);
    parse_clsid_text(clsid_text, entry.clsid);
    KeyGuard key;
    if (RegOpenKeyExA(root, clsid_text, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return;
    if (!read_store_entry(key.get(), clsid_text, &entry)) return;
    if (is_new_clsid(entry.clsid)) plug_list_append(&catalogue, &entry);
}

static void walk_store(HKEY root)
{
    DWORD failures = 0;
    for (DWORD i = 0;; i++) {
        char name[KEY_NAME_CAPACITY];
        LONG r = RegEnumKeyA(root, i, name, KEY_NAME_CAPACITY);
        if (walk_ends(r, &failures)) break;
        if (r == ERROR_SUCCESS) check_store_entry(root, name);
    }
}

void scan_disabled_store()
{
    KeyGuard root;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, STORE_ROOT_PATH, 0, KEY_READ, root.out()) != ERROR_SUCCESS)
        return;
    build_live_index();
    walk_store(root.get());
    drop_live_index();
}

void rebuild_catalogue()
{
    plug_list_reset(&catalogue);
    scan_directx_filters();
    scan_vs3_effects();
    scan_disabled_store();
}
