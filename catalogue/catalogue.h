// The plug-in catalogue: one fixed-size record per plug-in, held in a growable
// block and addressed by a 1-based index, and the scans that fill it.
#ifndef CATALOGUE_CATALOGUE_H
#define CATALOGUE_CATALOGUE_H

#include <cstddef>
#include <cstdint>

#include "platform/win.h"

#define PLUG_TYPE_DIRECTX 1
#define PLUG_TYPE_VS3 2
#define PLUG_TYPE_DMO 3

// The forms a registration is found in; a filter may have both of the first two.
#define REG_FORM_FILTER 1 // HKCR\Filter\{clsid} with the class's Pins (the old mapper)
#define REG_FORM_MAPPER 2 // an instance of the filter mapper's category, with FilterData
#define REG_FORM_DMO 4    // DirectShow\MediaObjects\<guid> in the audio-effect category

// Capacities in UTF-16 characters, terminator included, as the registry
// counts them; the texts are kept in UTF-8 (platform/widetext.h), so their
// fields hold up to three bytes a character.
#define PLUG_NAME_SIZE 256
#define PLUG_CLSID_TEXT_SIZE 256
#define PLUG_DLL_PATH_SIZE 1024
#define PLUG_NAME_BYTES (3 * (PLUG_NAME_SIZE - 1) + 1)
#define PLUG_CLSID_TEXT_BYTES (3 * (PLUG_CLSID_TEXT_SIZE - 1) + 1)
#define PLUG_DLL_PATH_BYTES (3 * (PLUG_DLL_PATH_SIZE - 1) + 1)

struct PlugEntry {
    int32_t type;
    int32_t disabled;
    unsigned char clsid[16];
    char name[PLUG_NAME_BYTES];
    char clsid_text[PLUG_CLSID_TEXT_BYTES];
    char dll_path[PLUG_DLL_PATH_BYTES];
    int32_t dll_exists;
    int32_t bits; // the registry view the registration lives in: 32 or 64
    int32_t forms; // REG_FORM_*: where the registration is found
    // The name of its key among the mapper's instances, or of its DMO key:
    // neither need be the class identifier text.
    char key_name[PLUG_CLSID_TEXT_BYTES];
    // PLUG_SCOPE_* (catalogue/scopes.h): the classes it lives in, the
    // machine's or the user's; 0 in older records, which are the machine's.
    int32_t scope;
    // A machine registration that a host does not get: the user's
    // registration of the same class and view is laid over it in HKCR.
    int32_t hidden;
};
static_assert(sizeof(PlugEntry) == 5416, "PlugEntry is a 5416-byte record");
static_assert(offsetof(PlugEntry, clsid) == 8, "PlugEntry layout");
static_assert(offsetof(PlugEntry, name) == 24, "PlugEntry layout");
static_assert(offsetof(PlugEntry, clsid_text) == 790, "PlugEntry layout");
static_assert(offsetof(PlugEntry, dll_path) == 1556, "PlugEntry layout");
static_assert(offsetof(PlugEntry, dll_exists) == 4628, "PlugEntry layout");
static_assert(offsetof(PlugEntry, bits) == 4632, "PlugEntry layout");
static_assert(offsetof(PlugEntry, forms) == 4636, "PlugEntry layout");
static_assert(offsetof(PlugEntry, key_name) == 4640, "PlugEntry layout");
static_assert(offsetof(PlugEntry, scope) == 5408, "PlugEntry layout");
static_assert(offsetof(PlugEntry, hidden) == 5412, "PlugEntry layout");

#define PLUG_LIST_BLOCK 8192u

struct PlugList {
    unsigned char *block;
    uint32_t count;
    uint32_t allocated;
    uint32_t record_size;
    uint32_t used;
    uint32_t free;
    uint32_t reserved; // bytes really reserved behind block; growth is geometric there
};

int plug_list_init(PlugList *list, uint32_t record_size);
int plug_list_reset(PlugList *list);
void *plug_list_append(PlugList *list, const void *record);
void *plug_list_get(PlugList *list, uint32_t index);
uint32_t plug_list_count(const PlugList *list);
void plug_list_destroy(PlugList *list);

extern PlugList catalogue;

// The file each entry's DLL path leads to, found in the entry's view
// (catalogue/dll_path.h): kept beside the records, which keep their layout.
#define PLUG_FILE_CHARS PLUG_DLL_PATH_SIZE
extern PlugList catalogue_files;

int catalogue_init();
void catalogue_destroy();
uint32_t catalogue_count();
PlugEntry *catalogue_get(int index);
// Appends an entry and the file its DLL path leads to (null or "" for
// none); the entry in the catalogue, or null when memory ran out.
PlugEntry *catalogue_add(const PlugEntry *entry, const WCHAR *file);
// The file of the entry at index, in UTF-16; "" when none or out of range.
const WCHAR *catalogue_file(int index);

void parse_clsid_text(const char *text, unsigned char out[16]);
// 1 when text is a GUID in registry form: 8-4-4-4-12 hexadecimal digits,
// within braces when `braces` is 1, then nothing more.
int is_guid_text(const char *text, int braces);
int file_exists(const char *path);

// Scans (each appends to the global catalogue).
void scan_directx_filters();
void scan_dmo_effects();
void scan_vs3_effects();
void scan_disabled_store();
void rebuild_catalogue();
// 1 unless a live entry of the same class is in the catalogue for that view
// and scope.
int is_new_clsid(const unsigned char clsid[16], int32_t bits, int32_t scope);
// Marks the machine's live rows a host does not get, as the user's
// registration of the same class is laid over them in HKCR.
void mark_hidden_rows();

int find_token(const char *text, const char *token);
void trim_spaces(char *text);

#define MAX_FILTER_MERIT 0x200000u
// The disabled store: 32-bit registrations where the 32-bit program has
// always kept them, 64-bit ones beside them.
#define STORE_ROOT_PATH "Quillon_Software\\DisabledPlug"
#define STORE64_ROOT_PATH "Quillon_Software\\DisabledPlug64"
#define VS3_EFFECTS_PATH "SOFTWARE\\Merging Technologies\\VS3\\VS3Effects"
#define AUDIO_TYPES_PATH "Types\\{73647561-0000-0010-8000-00AA00389B71}"
// The filter mapper's category of DirectShow filters (CLSID_LegacyAmFilterCategory).
#define MAPPER_INSTANCE_PATH "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance"
// DMOs, and the audio-effect category's members (DMOCATEGORY_AUDIO_EFFECT);
// the platform names these keys without braces.
#define DMO_ROOT_PATH "DirectShow\\MediaObjects"
#define DMO_AUDIO_EFFECTS_PATH "DirectShow\\MediaObjects\\Categories\\F3602B3F-0592-48DF-A4CD-674721E7EBEB"

extern const unsigned char EXCLUDED_FILTER_CLSID[16];

#endif
