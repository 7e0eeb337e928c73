// Lists the DMO audio effects: the members of the audio-effect category
// whose DirectShow\MediaObjects key is there, keyed ones too, in each view.
// A DMO has no merit and no pins to test; its name is its MediaObjects
// key's default value, and its DLL its class's server.
#include <cstdio>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/scan_common.h"
#include "catalogue/scopes.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "platform/regtext.h"

static void check_dmo(HKEY objects, HKEY classes, const char *key_name, int32_t bits,
                      int32_t scope)
{
    // The platform names DMO keys without braces; anything else is no DMO.
    if (!is_guid_text(key_name, 0)) return;
    KeyGuard dmo;
    if (reg_open(objects, key_name, 0, KEY_READ | view_flag(bits), dmo.out()) != ERROR_SUCCESS)
        return;
    PlugEntry entry;
    memset(&entry, 0, sizeof entry);
    snprintf(entry.clsid_text, sizeof entry.clsid_text, "{%s}", key_name);
    copy_text(entry.key_name, key_name, PLUG_CLSID_TEXT_SIZE - 1);
    parse_clsid_text(entry.clsid_text, entry.clsid);
    read_text(dmo.get(), nullptr, entry.name, sizeof entry.name, KEY_NAME_CAPACITY);
    WCHAR file[PLUG_FILE_CHARS] = {0};
    KeyGuard cls;
    if (classes != nullptr &&
        reg_open(classes, entry.clsid_text, 0, KEY_READ | view_flag(bits), cls.out()) ==
            ERROR_SUCCESS)
        read_dll_path(cls.get(), "InprocServer32", bits, &entry, file);
    entry.type = PLUG_TYPE_DMO;
    entry.forms = REG_FORM_DMO;
    entry.bits = bits;
    entry.scope = scope;
    catalogue_add(&entry, file);
}

static void scan_dmos_of_view(int32_t bits, int32_t scope)
{
    REGSAM view = view_flag(bits);
    KeyGuard category, objects, classes;
    if (open_classes(scope, DMO_AUDIO_EFFECTS_PATH, KEY_READ | view, category.out()) !=
            ERROR_SUCCESS ||
        open_classes(scope, DMO_ROOT_PATH, KEY_READ | view, objects.out()) != ERROR_SUCCESS)
        return;
    // Without its class key a DMO is still listed: it shows no DLL.
    open_classes(scope, "CLSID", KEY_READ | view, classes.out());
    DWORD failures = 0;
    for (DWORD i = 0;; i++) {
        char name[KEY_NAME_BYTES];
        LONG r = reg_enum_key(category.get(), i, name, sizeof name, KEY_NAME_CAPACITY);
        if (walk_ends(r, &failures)) break;
        if (r == ERROR_SUCCESS) check_dmo(objects.get(), classes.get(), name, bits, scope);
    }
}

void scan_dmo_effects()
{
    int32_t scopes[2];
    int scope_count = registry_scopes(scopes);
    for (int s = 0; s < scope_count; s++) {
        int32_t views[2];
        int n = scope_views(scopes[s], views);
        for (int i = 0; i < n; i++) scan_dmos_of_view(views[i], scopes[s]);
    }
}
