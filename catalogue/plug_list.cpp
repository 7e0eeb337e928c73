// The record list behind the catalogue, the global catalogue itself, and the
// class identifier parsing every scan uses.
#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue.h"
#include "platform/win.h"

PlugList catalogue;
PlugList catalogue_files;

int plug_list_init(PlugList *list, uint32_t record_size)
{
    memset(list, 0, sizeof *list);
    list->block = static_cast<unsigned char *>(malloc(PLUG_LIST_BLOCK));
    if (list->block == nullptr) return 0;
    list->record_size = record_size;
    list->allocated = PLUG_LIST_BLOCK;
    list->free = PLUG_LIST_BLOCK;
    list->reserved = PLUG_LIST_BLOCK;
    return 1;
}

int plug_list_reset(PlugList *list)
{
    if (list->block == nullptr) return 0;
    // The block keeps its real size (reserved); only the accounting restarts.
    list->count = 0;
    list->used = 0;
    list->allocated = PLUG_LIST_BLOCK;
    list->free = PLUG_LIST_BLOCK;
    return 1;
}

// Makes the real block at least `needed` bytes. It grows by doubling, so a
// long run of appends reallocates only a logarithmic number of times even
// though the accounted size grows by one 8192-byte step at a time.
static int reserve_bytes(PlugList *list, uint64_t needed)
{
    if (needed <= list->reserved) return 1;
    uint64_t size = static_cast<uint64_t>(list->reserved) * 2;
    if (size < needed) size = needed;
    if (size > UINT32_MAX) size = needed;
    void *grown = realloc(list->block, static_cast<size_t>(size));
    if (grown == nullptr) return 0;
    list->block = static_cast<unsigned char *>(grown);
    list->reserved = static_cast<uint32_t>(size);
    return 1;
}

static int grow(PlugList *list)
{
    uint64_t step =
        (static_cast<uint64_t>(list->record_size / PLUG_LIST_BLOCK) + 1) * PLUG_LIST_BLOCK;
    uint64_t size = list->allocated + step;
    if (size > UINT32_MAX) return 0;
    if (!reserve_bytes(list, size)) return 0;
    list->allocated = static_cast<uint32_t>(size);
    list->free = list->allocated - list->used;
    return 1;
}

void *plug_list_append(PlugList *list, const void *record)
{
    if (list->block == nullptr) return nullptr;
    if (list->free < list->record_size && !grow(list)) return nullptr;
    unsigned char *slot = list->block + static_cast<size_t>(list->count) * list->record_size;
    memcpy(slot, record, list->record_size);
    list->count++;
    list->used += list->record_size;
    list->free -= list->record_size;
    return slot;
}

void *plug_list_get(PlugList *list, uint32_t index)
{
    if (list->block == nullptr || index < 1 || index > list->count) return nullptr;
    return list->block + static_cast<size_t>(index - 1) * list->record_size;
}

uint32_t plug_list_count(const PlugList *list)
{
    return list->block == nullptr ? 0 : list->count;
}

void plug_list_destroy(PlugList *list)
{
    free(list->block);
    memset(list, 0, sizeof *list);
}

int catalogue_init()
{
    plug_list_destroy(&catalogue_files); // made again with the first file
    return plug_list_init(&catalogue, sizeof(PlugEntry));
}

void catalogue_destroy()
{
    plug_list_destroy(&catalogue);
    plug_list_destroy(&catalogue_files);
}

// The file list follows the records: padded with empty files up to their
// count before each file is added, so that a file that could not be kept,
// or records appended on their own, never shift the files of later records.
static void keep_file(uint32_t count, const WCHAR *file)
{
    static const WCHAR none[PLUG_FILE_CHARS] = {0};
    if (catalogue_files.block == nullptr &&
        !plug_list_init(&catalogue_files, PLUG_FILE_CHARS * sizeof(WCHAR)))
        return;
    if (count == 0 || plug_list_count(&catalogue_files) > count) plug_list_reset(&catalogue_files);
    while (plug_list_count(&catalogue_files) < count)
        if (plug_list_append(&catalogue_files, none) == nullptr) return;
    WCHAR record[PLUG_FILE_CHARS] = {0};
    for (size_t i = 0; file != nullptr && i + 1 < PLUG_FILE_CHARS && file[i] != 0; i++)
        record[i] = file[i];
    plug_list_append(&catalogue_files, record);
}

PlugEntry *catalogue_add(const PlugEntry *entry, const WCHAR *file)
{
    uint32_t count = plug_list_count(&catalogue);
    PlugEntry *added = static_cast<PlugEntry *>(plug_list_append(&catalogue, entry));
    if (added != nullptr) keep_file(count, file);
    return added;
}

const WCHAR *catalogue_file(int index)
{
    static const WCHAR none[1] = {0};
    if (index < 1 || static_cast<uint32_t>(index) > catalogue_count()) return none;
    // Records appended on their own after the last file have none.
    const void *file = plug_list_get(&catalogue_files, static_cast<uint32_t>(index));
    return file != nullptr ? static_cast<const WCHAR *>(file) : none;
}

uint32_t catalogue_count()
{
    return plug_list_count(&catalogue);
}

PlugEntry *catalogue_get(int index)
{
    if (index < 1) return nullptr;
    return static_cast<PlugEntry *>(plug_list_get(&catalogue, static_cast<uint32_t>(index)));
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

static void swap_bytes(unsigned char *a, unsigned char *b)
{
    unsigned char t = *a;
    *a = *b;
    *b = t;
}

void parse_clsid_text(const char *text, unsigned char out[16])
{
    memset(out, 0, 16);
    int digits = 0;
    for (const char *p = text; p != nullptr && *p != '\0' && digits < 32; p++) {
        int v = hex_digit(*p);
        if (v < 0) continue;
        // Even digits are high nibbles, odd ones complete the byte.
        out[digits / 2] |= static_cast<unsigned char>(digits % 2 == 0 ? v << 4 : v);
        digits++;
    }
    // The first three groups are little-endian numbers in a GUID.
    swap_bytes(&out[0], &out[3]);
    swap_bytes(&out[1], &out[2]);
    swap_bytes(&out[4], &out[5]);
    swap_bytes(&out[6], &out[7]);
}

// `count` hexadecimal digits.
static int hex_run(const char *text, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (hex_digit(text[i]) < 0) return 0;
    return 1;
}

int is_guid_text(const char *text, int braces)
{
    static const size_t groups[5] = {8, 4, 4, 4, 12};
    if (text == nullptr) return 0;
    const char *p = text;
    if (braces && *p++ != '{') return 0;
    for (int g = 0; g < 5; g++) {
        if (strnlen(p, groups[g]) < groups[g] || !hex_run(p, groups[g])) return 0;
        p += groups[g];
        if (g < 4 && *p++ != '-') return 0;
    }
    if (braces && *p++ != '}') return 0;
    return *p == '\0';
}
