// Lists the DirectX audio filters: classes under HKCR\Filter whose merit is
// low enough and which have an audio input pin and an audio output pin.
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/scan_common.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "platform/regtext.h"

// DirectShow's ACM Wrapper, {6A08CF80-0E18-11CF-A24D-0020AFD79767}: it wraps
// every audio codec and is not a plug-in of its own.
const unsigned char EXCLUDED_FILTER_CLSID[16] = {0x80, 0xCF, 0x08, 0x6A, 0x18, 0x0E, 0xCF, 0x11,
                                                 0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67};

// Name of the subkey at `index`, or 0 with `*result` telling why not.
static int enum_subkey(HKEY key, DWORD index, char name[KEY_NAME_BYTES], LONG *result)
{
    LONG r = reg_enum_key(key, index, name, KEY_NAME_BYTES, KEY_NAME_CAPACITY);
    // A name too long to trust is skipped; the walk goes on.
    *result = r == ERROR_MORE_DATA ? ERROR_SUCCESS : r;
    return r == ERROR_SUCCESS;
}

static int merit_passes(HKEY cls)
{
    DWORD merit = 0;
    DWORD len = 4;
    DWORD type = REG_NONE;
    LONG r = reg_query(cls, "Merit", &type, &merit, &len);
    if (len != 4) return 0;
    // A text is no merit, whatever its length in UTF-16.
    if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
        return 0;
    // A missing value leaves the length alone and does not hold a filter back.
    return r != ERROR_SUCCESS || merit <= MAX_FILTER_MERIT;
}

// The pin's direction when it accepts audio, else -1.
static int audio_pin_direction(HKEY pins, const char *pin_name)
{
    KeyGuard pin;
    if (reg_open(pins, pin_name, 0, KEY_READ, pin.out()) != ERROR_SUCCESS) return -1;
    DWORD dir = 0;
    DWORD len = 4;
    if (reg_query(pin.get(), "Direction", nullptr, &dir, &len) != ERROR_SUCCESS || len != 4)
        return -1;
    KeyGuard types;
    if (reg_open(pin.get(), AUDIO_TYPES_PATH, 0, KEY_READ, types.out()) != ERROR_SUCCESS)
        return -1;
    return dir <= 1 ? static_cast<int>(dir) : -1;
}

// 1 when some audio pin is an input and some audio pin an output.
static int has_audio_in_and_out(HKEY cls)
{
    KeyGuard pins;
    if (reg_open(cls, "Pins", 0, KEY_READ, pins.out()) != ERROR_SUCCESS) return 0;
    int has_in = 0, has_out = 0;
    DWORD failures = 0;
    for (DWORD i = 0;; i++) {
        char name[KEY_NAME_BYTES];
        LONG r;
        int ok = enum_subkey(pins.get(), i, name, &r);
        if (walk_ends(r, &failures)) break;
        if (!ok) continue;
        int dir = audio_pin_direction(pins.get(), name);
        if (dir == 0) has_in = 1;
        if (dir == 1) has_out = 1;
    }
    return has_in && has_out;
}

static void list_filter(HKEY cls, const char *clsid_text, int32_t bits)
{
    PlugEntry entry;
    memset(&entry, 0, sizeof entry);
    WCHAR file[PLUG_FILE_CHARS] = {0};
    read_dll_path(cls, "InprocServer32", bits, &entry, file);
    read_text(cls, nullptr, entry.name, sizeof entry.name, KEY_NAME_CAPACITY);
    entry.type = PLUG_TYPE_DIRECTX;
    entry.disabled = 0;
    entry.bits = bits;
    copy_text(entry.clsid_text, clsid_text, PLUG_CLSID_TEXT_SIZE - 1);
    parse_clsid_text(clsid_text, entry.clsid);
    if (memcmp(entry.clsid, EXCLUDED_FILTER_CLSID, 16) == 0) return;
    catalogue_add(&entry, file);
}

static void check_filter(HKEY cls, const char *clsid_text, int32_t bits)
{
    if (!merit_passes(cls)) return;
    if (!has_audio_in_and_out(cls)) return;
    list_filter(cls, clsid_text, bits);
}

// The Filter and CLSID keys of each view. Where both views share one Filter
// key (as Windows 7 and later do) it is walked once; where each view has its
// own, each is walked. Each view's CLSID key is opened once: classes are
// opened below it, as an open through a view from the root can cost ten
// times more (Wine).
struct FilterKeys {
    int count;
    int32_t bits[2];
    KeyGuard key[2];
    KeyGuard classes[2];
    int shared;
};

static void open_filter_keys(FilterKeys *f)
{
    f->count = registry_views(f->bits);
    for (int i = 0; i < f->count; i++) {
        REGSAM view = view_flag(f->bits[i]);
        reg_open(HKEY_CLASSES_ROOT, "Filter", 0, KEY_READ | view, f->key[i].out());
        reg_open(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ | view, f->classes[i].out());
    }
    f->shared = f->count == 2 && f->key[0].is_open() && f->key[1].is_open() &&
                same_registry_key(f->key[0].get(), f->key[1].get()) == 1;
}

// A class listed under one view's Filter key is looked for in every view's
// CLSID: a 32-bit class may have its Filter entry in the 64-bit place. It
// counts for another view only when that view's own Filter key does not list
// it, as that view's walk does then.
static void check_filter_in_views(const FilterKeys *f, int walked, const char *clsid_text)
{
    for (int j = 0; j < f->count; j++) {
        // The class key first: in the other view it is mostly not there.
        KeyGuard cls;
        if (!f->classes[j].is_open() ||
            reg_open(f->classes[j].get(), clsid_text, 0, KEY_READ | view_flag(f->bits[j]),
                          cls.out()) != ERROR_SUCCESS)
            continue;
        if (j != walked && !f->shared && f->key[j].is_open()) {
            KeyGuard own;
            if (reg_open(f->key[j].get(), clsid_text, 0, KEY_READ | view_flag(f->bits[j]),
                              own.out()) != ERROR_FILE_NOT_FOUND)
                continue;
        }
        check_filter(cls.get(), clsid_text, f->bits[j]);
    }
}

void scan_directx_filters()
{
    FilterKeys f;
    open_filter_keys(&f);
    for (int i = 0; i < f.count; i++) {
        if (!f.key[i].is_open() || (f.shared && i > 0)) continue;
        DWORD failures = 0;
        for (DWORD n = 0;; n++) {
            char name[KEY_NAME_BYTES];
            LONG r;
            int ok = enum_subkey(f.key[i].get(), n, name, &r);
            if (walk_ends(r, &failures)) break;
            if (ok) check_filter_in_views(&f, i, name);
        }
    }
}
