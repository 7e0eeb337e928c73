// Lists the DirectX audio filters: classes whose merit is low enough and
// which have an audio input pin and an audio output pin, as registered under
// HKCR\Filter with the class's Pins (the old mapper) or as an instance of
// the filter mapper's category with its FilterData (IFilterMapper2). A class
// registered both ways is one row, which names both forms.
#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/filter_data.h"
#include "catalogue/scan_common.h"
#include "catalogue/scopes.h"
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

// ---- the mapper's instances ------------------------------------------------

// One instance of the mapper's category whose CLSID value names a class.
struct Instance {
    unsigned char clsid[16];
    int32_t bits;
    int32_t passes; // its FilterData passes the rule
    int32_t taken;  // a row holds it
    char clsid_text[40];
    char key_name[PLUG_CLSID_TEXT_BYTES];
};

struct Instances {
    Instance *item;
    uint32_t count;
    uint32_t room;
};

static int compare_instances(const void *a, const void *b)
{
    const Instance *x = static_cast<const Instance *>(a);
    const Instance *y = static_cast<const Instance *>(b);
    int c = memcmp(x->clsid, y->clsid, 16);
    if (c != 0) return c;
    return (x->bits > y->bits) - (x->bits < y->bits);
}

// Reads FilterData whole; 1 when it passes. A blob of any size is read, as
// the platform reads it; one that grows meanwhile is not read on.
static int instance_passes(HKEY key)
{
    unsigned char small[512];
    DWORD type = REG_NONE, len = sizeof small;
    LONG r = reg_query(key, "FilterData", &type, small, &len);
    if (r == ERROR_SUCCESS) return type == REG_BINARY && filter_data_passes(small, len);
    if (r != ERROR_MORE_DATA || type != REG_BINARY) return 0;
    unsigned char *big = static_cast<unsigned char *>(malloc(len));
    if (big == nullptr) return 0;
    DWORD big_len = len;
    int passes = reg_query(key, "FilterData", &type, big, &big_len) == ERROR_SUCCESS &&
                 big_len <= len && type == REG_BINARY && filter_data_passes(big, big_len);
    free(big);
    return passes;
}

static void keep_instance(Instances *list, HKEY instances, const char *name, int32_t bits)
{
    KeyGuard key;
    if (reg_open(instances, name, 0, KEY_READ | view_flag(bits), key.out()) != ERROR_SUCCESS)
        return;
    Instance in;
    memset(&in, 0, sizeof in);
    if (!read_text(key.get(), "CLSID", in.clsid_text, sizeof in.clsid_text, 39) ||
        !is_guid_text(in.clsid_text, 1))
        return;
    if (list->count == list->room) {
        uint32_t room = list->room == 0 ? 64 : list->room * 2;
        void *grown = realloc(list->item, room * sizeof *list->item);
        if (grown == nullptr) return;
        list->item = static_cast<Instance *>(grown);
        list->room = room;
    }
    parse_clsid_text(in.clsid_text, in.clsid);
    in.bits = bits;
    in.passes = instance_passes(key.get());
    copy_text(in.key_name, name, PLUG_CLSID_TEXT_SIZE - 1);
    list->item[list->count++] = in;
}

static void collect_instances(Instances *list, HKEY instances, int32_t bits)
{
    DWORD failures = 0;
    for (DWORD n = 0;; n++) {
        char name[KEY_NAME_BYTES];
        LONG r;
        int ok = enum_subkey(instances, n, name, &r);
        if (walk_ends(r, &failures)) break;
        if (ok) keep_instance(list, instances, name, bits);
    }
}

// The first instance of the class in the view, or null.
static Instance *find_instance(const Instances *list, const unsigned char clsid[16], int32_t bits)
{
    if (list->count == 0) return nullptr;
    Instance wanted;
    memset(&wanted, 0, sizeof wanted);
    memcpy(wanted.clsid, clsid, 16);
    wanted.bits = bits;
    Instance *hit = static_cast<Instance *>(
        bsearch(&wanted, list->item, list->count, sizeof *list->item, compare_instances));
    while (hit != nullptr && hit > list->item && compare_instances(hit - 1, &wanted) == 0) hit--;
    return hit;
}

// ---- rows ----------------------------------------------------------------------

// A row for the class: the forms found, the instance's key, and the name a
// host shows (the class's own, else the instance's FriendlyName).
static void list_filter(HKEY cls, const char *clsid_text, int32_t bits, int32_t scope,
                        int32_t forms, const Instance *instance, HKEY instances)
{
    PlugEntry entry;
    memset(&entry, 0, sizeof entry);
    WCHAR file[PLUG_FILE_CHARS] = {0};
    read_dll_path(cls, "InprocServer32", bits, &entry, file);
    read_text(cls, nullptr, entry.name, sizeof entry.name, KEY_NAME_CAPACITY);
    if (instance != nullptr) {
        copy_text(entry.key_name, instance->key_name, PLUG_CLSID_TEXT_SIZE - 1);
        KeyGuard key;
        if (entry.name[0] == '\0' &&
            reg_open(instances, instance->key_name, 0, KEY_READ | view_flag(bits), key.out()) ==
                ERROR_SUCCESS)
            read_text(key.get(), "FriendlyName", entry.name, sizeof entry.name, KEY_NAME_CAPACITY);
    }
    entry.type = PLUG_TYPE_DIRECTX;
    entry.disabled = 0;
    entry.bits = bits;
    entry.scope = scope;
    entry.forms = forms;
    copy_text(entry.clsid_text, clsid_text, PLUG_CLSID_TEXT_SIZE - 1);
    parse_clsid_text(clsid_text, entry.clsid);
    if (memcmp(entry.clsid, EXCLUDED_FILTER_CLSID, 16) == 0) return;
    catalogue_add(&entry, file);
}

static int old_form_passes(HKEY cls)
{
    return merit_passes(cls) && has_audio_in_and_out(cls);
}

// The Filter and CLSID keys of each view in one scope. Where both views share one Filter
// key (as Windows 7 and later do) it is walked once; where each view has its
// own, each is walked. Each view's CLSID key is opened once: classes are
// opened below it, as an open through a view from the root can cost ten
// times more (Wine).
struct FilterKeys {
    int32_t scope;
    int count;
    int32_t bits[2];
    KeyGuard key[2];
    KeyGuard classes[2];
    KeyGuard instances[2];
    int shared;
    Instances found;
};

static void open_filter_keys(FilterKeys *f, int32_t scope)
{
    f->scope = scope;
    f->count = scope_views(scope, f->bits);
    for (int i = 0; i < f->count; i++) {
        REGSAM view = view_flag(f->bits[i]);
        open_classes(scope, "Filter", KEY_READ | view, f->key[i].out());
        open_classes(scope, "CLSID", KEY_READ | view, f->classes[i].out());
        open_classes(scope, MAPPER_INSTANCE_PATH, KEY_READ | view, f->instances[i].out());
    }
    memset(&f->found, 0, sizeof f->found);
    for (int i = 0; i < f->count; i++)
        if (f->instances[i].is_open())
            collect_instances(&f->found, f->instances[i].get(), f->bits[i]);
    if (f->found.count > 0)
        qsort(f->found.item, f->found.count, sizeof *f->found.item, compare_instances);
    f->shared = f->count == 2 && f->key[0].is_open() && f->key[1].is_open() &&
                same_registry_key(f->key[0].get(), f->key[1].get()) == 1;
}

// A class listed under one view's Filter key is looked for in every view's
// CLSID: a 32-bit class may have its Filter entry in the 64-bit place. It
// counts for another view only when that view's own Filter key does not list
// it, as that view's walk does then.
// The class in view j, listed through its Filter key: a row when either
// form passes.
static void check_filter(const FilterKeys *f, int j, HKEY cls, const char *clsid_text)
{
    unsigned char clsid[16];
    parse_clsid_text(clsid_text, clsid);
    Instance *instance = find_instance(&f->found, clsid, f->bits[j]);
    if (instance != nullptr) instance->taken = 1;
    if (!old_form_passes(cls) && (instance == nullptr || !instance->passes)) return;
    int32_t forms = REG_FORM_FILTER | (instance != nullptr ? REG_FORM_MAPPER : 0);
    list_filter(cls, clsid_text, f->bits[j], f->scope, forms, instance, f->instances[j].get());
}

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
        check_filter(f, j, cls.get(), clsid_text);
    }
}

// The classes registered through the mapper alone: each passing instance
// not taken by a Filter row, once per class and view, when its class is.
static void list_mapper_filters(const FilterKeys *f)
{
    for (uint32_t n = 0; n < f->found.count; n++) {
        const Instance *in = &f->found.item[n];
        if (n > 0 && compare_instances(in - 1, in) == 0) continue;
        if (in->taken || !in->passes) continue;
        int j = in->bits == f->bits[0] ? 0 : 1;
        KeyGuard cls;
        if (!f->classes[j].is_open() ||
            reg_open(f->classes[j].get(), in->clsid_text, 0, KEY_READ | view_flag(in->bits),
                     cls.out()) != ERROR_SUCCESS)
            continue;
        list_filter(cls.get(), in->clsid_text, in->bits, f->scope, REG_FORM_MAPPER, in,
                    f->instances[j].get());
    }
}

static void scan_filters_of_scope(int32_t scope)
{
    FilterKeys f;
    open_filter_keys(&f, scope);
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
    list_mapper_filters(&f);
    free(f.found.item);
}

void scan_directx_filters()
{
    int32_t scopes[2];
    int n = registry_scopes(scopes);
    for (int s = 0; s < n; s++) scan_filters_of_scope(scopes[s]);
}
