// Lists the VS3 effects: the values of the VS3Effects key whose class is
// registered. An effect without a display name gets one cleaned out of its
// class description ("CVS3ReverbFactory Class" -> "Reverb").
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/scan_common.h"
#include "catalogue/scopes.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "platform/regtext.h"

int find_token(const char *text, const char *token)
{
    if (text == nullptr || token == nullptr) return -1;
    size_t text_len = strlen(text);
    size_t token_len = strlen(token);
    if (text_len == 0 || token_len == 0 || token_len > text_len) return -1;
    for (size_t p = 0; p + token_len <= text_len; p++)
        if (memcmp(text + p, token, token_len) == 0) return static_cast<int>(p);
    return -1;
}

void trim_spaces(char *text)
{
    if (text == nullptr) return;
    size_t len = strlen(text);
    while (len > 0 && text[len - 1] == ' ') len--;
    text[len] = '\0';
    size_t lead = 0;
    while (text[lead] == ' ') lead++;
    if (lead > 0) memmove(text, text + lead, len - lead + 1);
}

// Blanks the first occurrence of token; 0 when there is none.
static int blank_token(char *text, const char *token)
{
    int at = find_token(text, token);
    if (at < 0) return 0;
    memset(text + at, ' ', strlen(token));
    return 1;
}

// Turns a class description into a display name in place; 0 when it does
// not look like a VS3 class description or nothing is left of it.
static int clean_description(char *text)
{
    if (!blank_token(text, "CVS3") && !blank_token(text, "VS3")) return 0;
    if (!blank_token(text, "Factory")) return 0;
    if (!blank_token(text, "Class")) return 0;
    trim_spaces(text);
    return text[0] != '\0';
}

// text holds the value data; on return it holds the display name. 0 when the
// effect is not to be listed.
static int display_name(HKEY cls, char text[TEXT_BYTES])
{
    if (text[0] != '\0') return 1;
    // Without a readable description the effect is still listed, unnamed.
    if (!read_text(cls, nullptr, text, TEXT_BYTES, TEXT_CAPACITY)) return 1;
    return clean_description(text);
}

// classes is the view's CLSID key, opened once for the whole walk.
static void check_effect(HKEY classes, const char *clsid_text, char text[TEXT_BYTES],
                         int32_t bits, int32_t scope)
{
    KeyGuard cls;
    if (reg_open(classes, clsid_text, 0, KEY_READ | view_flag(bits), cls.out()) !=
        ERROR_SUCCESS)
        return;
    if (!display_name(cls.get(), text)) return;
    PlugEntry entry;
    memset(&entry, 0, sizeof entry);
    WCHAR file[PLUG_FILE_CHARS] = {0};
    read_dll_path(cls.get(), "InprocServer32", bits, &entry, file);
    copy_text(entry.clsid_text, clsid_text, PLUG_CLSID_TEXT_SIZE - 1);
    // Names from the value data may run to 1022 characters; the record keeps 255.
    copy_text(entry.name, text, PLUG_NAME_SIZE - 1);
    parse_clsid_text(clsid_text, entry.clsid);
    entry.disabled = 0;
    entry.type = PLUG_TYPE_VS3;
    entry.bits = bits;
    entry.scope = scope;
    catalogue_add(&entry, file);
}

// The value at index: its name, and its data as text. 0 with *result telling
// why not.
static int enum_effect(HKEY key, DWORD index, char name[KEY_NAME_BYTES], char text[TEXT_BYTES],
                       LONG *result)
{
    WCHAR wide_name[KEY_NAME_CAPACITY];
    WCHAR data[TEXT_CAPACITY + 1];
    DWORD name_len = KEY_NAME_CAPACITY;
    DWORD data_len = TEXT_CAPACITY * sizeof(WCHAR);
    DWORD type = 0;
    name[0] = '\0';
    text[0] = '\0';
    *result = RegEnumValueW(key, index, wide_name, &name_len, nullptr, &type,
                            reinterpret_cast<BYTE *>(data), &data_len);
    if (*result != ERROR_SUCCESS || name_len >= KEY_NAME_CAPACITY ||
        data_len > TEXT_CAPACITY * sizeof(WCHAR))
        return 0;
    if (!utf16_to_utf8(wide_name, name_len, name, KEY_NAME_BYTES, name_len)) return 0;
    reg_data_to_utf8(type, reinterpret_cast<const BYTE *>(data), data_len, text, TEXT_BYTES,
                     TEXT_CAPACITY);
    return 1;
}

// The effects list is the machine's alone; the class it names may be
// registered in either scope, and each scope's class is a row.
static void scan_effects_of_view(int32_t bits, int32_t scope)
{
    KeyGuard effects, classes;
    if (reg_open(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_READ | view_flag(bits),
                      effects.out()) != ERROR_SUCCESS ||
        open_classes(scope, "CLSID", KEY_READ | view_flag(bits), classes.out()) != ERROR_SUCCESS)
        return;
    DWORD failures = 0;
    for (DWORD i = 0;; i++) {
        char name[KEY_NAME_BYTES];
        char text[TEXT_BYTES];
        LONG r;
        int ok = enum_effect(effects.get(), i, name, text, &r);
        if (walk_ends(r, &failures)) break;
        // The default value names no class: "CLSID\\" would open the CLSID key itself.
        if (ok && name[0] != '\0') check_effect(classes.get(), name, text, bits, scope);
    }
}

void scan_vs3_effects()
{
    // Each view's effects list is its own, even where a scope's classes
    // have one view.
    int32_t views[2], scopes[2];
    int n = registry_views(views), scope_count = registry_scopes(scopes);
    for (int s = 0; s < scope_count; s++)
        for (int i = 0; i < n; i++) scan_effects_of_view(views[i], scopes[s]);
}
