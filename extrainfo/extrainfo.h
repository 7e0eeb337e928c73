// A plug-in's self-description, kept in the EX_info key under its COM class,
// the category table, and the Properties report built from them.
#ifndef EXTRAINFO_EXTRAINFO_H
#define EXTRAINFO_EXTRAINFO_H

#include <cstddef>
#include <cstdint>

#include "platform/widetext.h"
#include "platform/win.h"

#define EXTRA_KEY_PATH_SIZE 128
#define EXTRA_TEXT_SIZE 128
#define EXTRA_VERSION_SIZE 32
// The data length handed to the registry for a text value; longer data is
// not read at all.
#define EXTRA_VALUE_DATA_SIZE 1020
#define REPORT_SIZE 4096
#define REPORT_LINE_SIZE 128

#define CATEGORY_COUNT 27
#define CATEGORY_TEXT_SIZE 64
#define UNKNOWN_CATEGORY_TEXT "Unknown Category"

// The two message boxes of the Properties command. The styles are the
// Windows MB_ICONWARNING and MB_ICONINFORMATION (with the implied MB_OK).
#define PROPERTIES_CAPTION "Properties"
#define NO_EXTRA_INFO_TEXT "There is no Extra Information attached on this plug-in"
#define PROPERTIES_WARNING_STYLE 0x30u
#define PROPERTIES_REPORT_STYLE 0x40u

// Texts are empty and numbers negative when the plug-in does not state them.
// Flags: negative not stated, 0 no, positive yes.
// Texts in UTF-8, of EXTRA_TEXT_SIZE - 1 (EXTRA_VERSION_SIZE - 1) characters
// at most.
struct ExtraInfo {
    char app_name[UTF8_BYTES(EXTRA_TEXT_SIZE)];
    char Company[UTF8_BYTES(EXTRA_TEXT_SIZE)];
    char Copyright[UTF8_BYTES(EXTRA_TEXT_SIZE)];
    char ProductVersion[UTF8_BYTES(EXTRA_VERSION_SIZE)];
    int32_t Fmin;
    int32_t Fmax;
    int32_t PinMin;
    int32_t PinMax;
    int32_t Compat_VS3;
    int32_t Compat_Lumo;
    int32_t Category;
    int32_t DSD_support;
    int32_t HasGUI;
    int32_t VS3_auto;
    int32_t MultiGUI;
    int32_t MIDI;
    int32_t ALERT;
    int32_t NETcom;
    int32_t Cloning;
};
static_assert(sizeof(ExtraInfo) == 3 * 382 + 94 + 15 * 4, "ExtraInfo is a 1300-byte record");
static_assert(offsetof(ExtraInfo, Fmin) == 1240, "ExtraInfo layout");
static_assert(offsetof(ExtraInfo, Cloning) == 1296, "ExtraInfo layout");

struct CategoryRow {
    int32_t id; // equals the row's position
    char name[CATEGORY_TEXT_SIZE];
    char description[CATEGORY_TEXT_SIZE]; // carried, never shown
};
static_assert(sizeof(CategoryRow) == 132, "CategoryRow is a 132-byte record");

extern const CategoryRow category_table[CATEGORY_COUNT];

// Empty texts, every number -1.
void reset_extra_info(ExtraInfo *info);

// path is relative to root (HKEY_CLASSES_ROOT unless given), opened in the registry view given
// (KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0); a null value_name reads the
// default value. Accepts REG_SZ data of at most 1020 characters, read wide,
// cut to max_chars whole characters and terminated in dest in UTF-8 (room
// for UTF8_BYTES(max_chars + 1) bytes). Returns 1, or 0 with dest unchanged.
int read_string_value(const char *path, const char *value_name, char *dest, size_t max_chars,
                      REGSAM view = 0, HKEY root = HKEY_CLASSES_ROOT);

// Accepts a 4-byte REG_DWORD only. Returns 1 with *out set; on 0 *out may
// have been overwritten.
int read_dword_value(const char *path, const char *value_name, int32_t *out, REGSAM view = 0,
                     HKEY root = HKEY_CLASSES_ROOT);

// Reads CLSID\<clsid_text>\EX_info in the view given, in the classes of the
// scope given (PLUG_SCOPE_*; 0 is the machine's), never in the merged HKCR,
// which may show another scope's registration. Returns 0 when the key
// carries a REG_SZ default value (the record then holds what was present),
// -1 otherwise (the record reset, or untouched when info is null).
int read_extra_info(const char *clsid_text, ExtraInfo *info, REGSAM view = 0, int32_t scope = 0);

// The row's name for 0..26, else "Unknown Category". Never null.
const char *category_name(int32_t id);

// The 25-line report, each line ended by a line feed, composed into out and
// cut to size - 1 characters should out be smaller than the report. Returns
// out.
const char *compose_properties_report(const ExtraInfo *info, char *out, size_t size);

// All the Properties command does short of showing a box, for the catalogue
// entry at the 1-based index: 1 with the report in report, 0 when the plug-in
// carries no extra information (the warning case), -1 when the index names no
// entry (nothing is shown).
int properties_text_for_entry(int index, char *report, size_t size);

#endif
