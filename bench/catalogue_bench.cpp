// Times rebuild_catalogue over registries of 100, 1,000 and 10,000 DirectX
// filters, beside 5,000 unrelated CLSID keys, 1,000 VS3 effects and 1,000
// saved copies (half of them hidden by a live effect), then the .reg backup
// of every filter, as Ctrl+A and Ctrl+E ask for it. The filters are
// registered the old mapper's way (HKCR\Filter, a merit, two pins,
// InprocServer32 and a few unrelated values), then again the filter
// mapper's way (an instance with FilterData, and the class key). Natively the
// registry is the in-process one and the calls are counted; on Windows it is
// the real registry, and everything made is removed at the end.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"
#include "platform/win.h"
#include "registry/reg_export.h"
#include "tests/common/reg_fixture.h"

namespace {

const int SIZES[] = {100, 1000, 10000};
const int UNRELATED = 5000;
const int EFFECTS = 1000;
const int SAVED = 1000;

#ifdef _WIN32
const char DLL[] = "C:\\windows\\system32\\kernel32.dll";
#else
const char DLL[] = "/tmp/mp_catalogue_bench.dll";
#endif

std::string clsid(unsigned group, unsigned n)
{
    char text[64];
    snprintf(text, sizeof text, "{BE4C%04X-0000-4000-8000-%012X}", group, n);
    return text;
}

std::string filter_clsid(int n) { return clsid(1, static_cast<unsigned>(n)); }
std::string unrelated_clsid(int n) { return clsid(2, static_cast<unsigned>(n)); }
std::string effect_clsid(int n) { return clsid(3, static_cast<unsigned>(n)); }
// Even saved copies are of live effects, odd ones of nothing live.
std::string saved_clsid(int n)
{
    return n % 2 == 0 ? effect_clsid(n) : clsid(4, static_cast<unsigned>(n));
}

enum Form { OLD_FORM, MAPPER_FORM };

void add_filter(int n, Form form)
{
    std::string id = filter_clsid(n);
    std::string cls = "CLSID\\" + id;
    char name[64];
    snprintf(name, sizeof name, "Bench Filter %d", n);
    if (form == MAPPER_FORM) {
        static const std::string blob = fx_audio_filter_data(0x200000);
        fx_mapper_filter(id.c_str(), id.c_str(), name, name, blob, DLL);
    } else {
        fx_directx_filter(id.c_str(), name, DLL);
        fx_set_dword(HKEY_CLASSES_ROOT, (cls + "\\Pins\\Input").c_str(), "IsRendered", 0);
        fx_set_dword(HKEY_CLASSES_ROOT, (cls + "\\Pins\\Output").c_str(), "AllowedMany", 0);
    }
    fx_set_sz(HKEY_CLASSES_ROOT, cls.c_str(), "AppID", "{00000000-0000-0000-0000-000000000000}");
    fx_set_dword(HKEY_CLASSES_ROOT, cls.c_str(), "Version", 2);
}

void remove_filters()
{
    for (int n = 0; n < SIZES[2]; n++) {
        fx_delete_tree(HKEY_CLASSES_ROOT, ("Filter\\" + filter_clsid(n)).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, ("CLSID\\" + filter_clsid(n)).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT,
                       (std::string(MAPPER_INSTANCE_PATH "\\") + filter_clsid(n)).c_str());
    }
}

void add_unrelated(int n)
{
    std::string cls = "CLSID\\" + unrelated_clsid(n);
    fx_set_sz(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, "Some COM class");
    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, DLL);
}

void add_effect(int n)
{
    char description[64];
    snprintf(description, sizeof description, "CVS3Effect%dFactory Class", n);
    fx_vs3_effect(effect_clsid(n).c_str(), n % 2 ? "Bench Effect" : "", description, DLL);
}

void add_saved(int n)
{
    std::string id = saved_clsid(n);
    std::string e = std::string(STORE64_ROOT_PATH "\\") + id;
    fx_set_sz(HKEY_CLASSES_ROOT, e.c_str(), "name", "Bench Saved");
    fx_set_dword(HKEY_CLASSES_ROOT, e.c_str(), "type", 2);
    fx_set_sz(HKEY_CLASSES_ROOT, (e + "\\CLSID\\" + id + "\\InprocServer32").c_str(), nullptr, DLL);
}

void clean_up()
{
#ifdef _WIN32
    remove_filters();
    for (int n = 0; n < UNRELATED; n++)
        fx_delete_tree(HKEY_CLASSES_ROOT, ("CLSID\\" + unrelated_clsid(n)).c_str());
    KeyGuard effects;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_ALL_ACCESS, effects.out());
    for (int n = 0; n < EFFECTS; n++) {
        fx_delete_tree(HKEY_CLASSES_ROOT, ("CLSID\\" + effect_clsid(n)).c_str());
        if (effects.is_open()) RegDeleteValueA(effects.get(), effect_clsid(n).c_str());
    }
    for (int n = 0; n < SAVED; n++)
        fx_delete_tree(HKEY_CLASSES_ROOT,
                       (std::string(STORE64_ROOT_PATH "\\") + saved_clsid(n)).c_str());
#else
    fakereg_reset();
#endif
}

unsigned long calls_so_far()
{
#ifdef _WIN32
    return 0;
#else
    return fakereg_calls(FR_ANY);
#endif
}

// Microseconds and registry calls per filter added since the previous size
// ("-" for the first): the mix of entry kinds changes with the size, these
// do not.
std::string per_added_filter(int filters, double per_rebuild, unsigned long calls)
{
    static int last_filters = 0;
    static double last_time = 0;
    char text[48] = "-";
    char calls_text[16] = "n/a";
#ifndef _WIN32
    static unsigned long last_calls = 0;
    if (filters > last_filters)
        snprintf(calls_text, sizeof calls_text, "%.1f",
                 static_cast<double>(calls - last_calls) / (filters - last_filters));
    last_calls = calls;
#else
    (void)calls;
#endif
    if (last_filters > 0 && filters > last_filters)
        snprintf(text, sizeof text, "%.2f %10s",
                 (per_rebuild - last_time) * 1e6 / (filters - last_filters), calls_text);
    last_filters = filters;
    last_time = per_rebuild;
    return text;
}

void report(int filters, uint32_t baseline)
{
    rebuild_catalogue(); // warm-up
    unsigned long calls_before = calls_so_far();
    rebuild_catalogue();
    unsigned long calls = calls_so_far() - calls_before;
    int reps = 1;
    auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    do {
        rebuild_catalogue();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (++reps <= 3 || seconds < 1.0);
    double per_rebuild = seconds / (reps - 1);
    uint32_t found = catalogue_count() - baseline;
    char calls_text[32] = "n/a";
#ifndef _WIN32
    snprintf(calls_text, sizeof calls_text, "%lu", calls);
#else
    (void)calls;
#endif
    printf("%8d %8u %8u %10s %12.2f %10.2f %10s\n", filters, found,
           static_cast<unsigned>(filters + EFFECTS + SAVED / 2), calls_text, per_rebuild * 1e3,
           per_rebuild * 1e6 / found, per_added_filter(filters, per_rebuild, calls).c_str());
    fflush(stdout);
}

double time_of(void (*scan)())
{
    auto start = std::chrono::steady_clock::now();
    scan();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Where a rebuild's time goes, scan by scan, in the order the rebuild runs them.
void report_parts()
{
    plug_list_reset(&catalogue);
    double directx = time_of(scan_directx_filters);
    double dmo = time_of(scan_dmo_effects);
    double vs3 = time_of(scan_vs3_effects);
    double store = time_of(scan_disabled_store);
    printf("scans, ms: DirectX %.1f, DMO %.1f, VS3 %.1f, disabled store %.1f\n", directx, dmo, vs3,
           store);
}

// The backup text of every filter listed: two reads of each subtree.
void report_backup()
{
    rebuild_catalogue();
    std::vector<int> rows;
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        if (catalogue_get(static_cast<int>(i))->type == PLUG_TYPE_DIRECTX) rows.push_back(static_cast<int>(i));
    RegText text;
    static ExportOutcome out;
    auto start = std::chrono::steady_clock::now();
    int ok = registration_text(rows.data(), static_cast<int>(rows.size()), &text, &out);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    printf("backup of %zu filters: %s, %.0f ms, %d keys, %d values, %.1f MB of UTF-16\n", rows.size(),
           ok ? "written" : "refused", ms, out.keys, out.values, text.length * 2 / 1e6);
    reg_text_free(&text);
}

} // namespace

int main()
{
#ifndef _WIN32
    if (FILE *f = fopen(DLL, "wb")) fclose(f);
#endif
    if (!catalogue_init()) return 1;
    clean_up();
    rebuild_catalogue();
    // Entries the machine has of its own (the Wine prefix registers filters).
    const uint32_t baseline = catalogue_count();
    for (int n = 0; n < UNRELATED; n++) add_unrelated(n);
    for (int n = 0; n < EFFECTS; n++) add_effect(n);
    for (int n = 0; n < SAVED; n++) add_saved(n);
    for (Form form : {OLD_FORM, MAPPER_FORM}) {
        printf("%s\n", form == OLD_FORM ? "filters under HKCR\\Filter with pins (the old mapper):"
                                        : "filters as instances with FilterData (the filter mapper):");
        printf("%8s %8s %8s %10s %12s %10s %10s %10s\n", "filters", "found", "expected",
               "reg calls", "ms/rebuild", "us/entry", "us/filter", "calls/filter");
        remove_filters();
        per_added_filter(0, 0, 0);
        int made = 0;
        for (int size : SIZES) {
            for (; made < size; made++) add_filter(made, form);
            report(size, baseline);
        }
        report_parts();
        report_backup();
    }
    clean_up();
    catalogue_destroy();
#ifndef _WIN32
    remove(DLL);
#endif
    return 0;
}
