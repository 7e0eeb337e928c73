// Times the main window over 10,000 plug-ins: the real window, list view and
// registry, in-process. Figures: the catalogue rebuild alone; the first
// refresh (posted at creation, run from the message loop) and its parts;
// a refresh over a full list; a sort by each column; and Disable then Enable
// of 100 selected rows. Everything it registers is removed at the end.
//
//   tests/wine-run.sh --seed tests/wine/ui_unmanaged.reg build/win64/window_bench.exe
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"
#include "ui/ui.h"

namespace {

const int PLUGINS = 10000;
const int VS3_EVERY = 12;      // one effect in twelve, the rest DirectX filters
const int DISABLED_EVERY = 25; // one plug-in in 25 starts disabled
const int SELECTED = 100;
const int REPEATS = 3; // of each timing; the best is kept

// ---- timing -------------------------------------------------------------------

double seconds_now()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Stopwatch {
    double start = seconds_now();
    double ms() const { return (seconds_now() - start) * 1e3; }
};

void pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// ---- the plug-ins -----------------------------------------------------------------

// A fixed sequence, so every run registers the same plug-ins and the clean-up
// finds them again.
struct Random {
    uint32_t state;
    uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    uint32_t below(uint32_t n) { return next() % n; }
};

const char *const VENDORS[] = {
    "Sonic Foundry", "Cakewalk",  "Waves",       "iZotope",    "Voxengo",   "Acon Digital",
    "Sonitus",       "TC Works",  "Kj\xE6rhus",  "Ultrafunk",  "Antares",   "DirectX",
    "PSP",           "Elemental", "Spin Audio",  "Magix",      "Steinberg", "Wavearts",
    "Sony",          "Aphex",     "dB Audioware", "Nomad",     "Cool Edit", "SFX Machine",
};
const char *const EFFECTS[] = {
    "Reverb",          "Delay",        "Chorus",       "Compressor",    "Limiter",
    "Paragraphic EQ",  "Graphic EQ",   "Flanger",      "Phaser",        "Noise Gate",
    "Exciter",         "De-Esser",     "Multiband Compressor", "Maximizer", "Pitch Shift",
    "Stereo Imager",   "Tape Saturation", "Noise Reduction", "Vocoder", "Auto Pan",
    "Tremolo",         "Distortion",   "Amp Simulator", "Filter",       "Widener",
    "Time Stretch",    "Echo",         "Room",         "Plate",         "Transient Shaper",
};
const char *const EDITIONS[] = {"",      " 2",      " Pro", " LE",   " (mono)", " (stereo)",
                                " v1.5", " XP",     " DX",  " SE",   " 3.0",    " Lite"};
const char *const SYSTEM_DLLS[] = {"kernel32", "quartz", "dsound", "msacm32", "winmm",
                                   "msdmo",    "ole32",  "user32", "gdi32",   "comctl32"};

struct Plugin {
    std::string clsid;
    std::string name;
    std::string dll;
    int type;
    bool disabled;
};
std::vector<Plugin> plugins;

// Names and paths share long beginnings (the same vendor, the same folder), so
// the byte-by-byte comparisons have work to do; about one DLL in six exists.
void make_plugins()
{
    Random random = {0x5EEDu};
    plugins.clear();
    for (int n = 0; n < PLUGINS; n++) {
        Plugin p;
        char text[512];
        snprintf(text, sizeof text, "{%08X-B3AC-4%03X-8%03X-%012X}",
                 static_cast<unsigned>(random.next() ^ (random.next() << 8)),
                 static_cast<unsigned>(random.below(0x1000)),
                 static_cast<unsigned>(random.below(0x1000)), static_cast<unsigned>(n));
        p.clsid = text;
        const char *vendor = VENDORS[random.below(sizeof VENDORS / sizeof *VENDORS)];
        const char *effect = EFFECTS[random.below(sizeof EFFECTS / sizeof *EFFECTS)];
        const char *edition = EDITIONS[random.below(sizeof EDITIONS / sizeof *EDITIONS)];
        unsigned model = random.below(40);
        if (model < 30) snprintf(text, sizeof text, "%s %s%s", vendor, effect, edition);
        else snprintf(text, sizeof text, "%s %s %u%s", vendor, effect, model * 100, edition);
        p.name = text;
        if (random.below(6) == 0) {
            snprintf(text, sizeof text, "C:\\windows\\system32\\%s.dll",
                     SYSTEM_DLLS[random.below(sizeof SYSTEM_DLLS / sizeof *SYSTEM_DLLS)]);
        } else {
            std::string file = std::string(effect) + edition;
            for (char &c : file)
                if (c == ' ' || c == '(' || c == ')') c = '_';
            snprintf(text, sizeof text, "C:\\Program Files\\%s\\%s Plug-ins\\%s%s_%u.dll",
                     vendor, vendor, vendor[0] == 'D' ? "dx" : "", file.c_str(), n % 97);
        }
        p.dll = text;
        p.type = n % VS3_EVERY == VS3_EVERY - 1 ? PLUG_TYPE_VS3 : PLUG_TYPE_DIRECTX;
        p.disabled = n % DISABLED_EVERY == 7;
        plugins.push_back(p);
    }
}

void register_plugins()
{
    for (const Plugin &p : plugins) {
        if (p.type == PLUG_TYPE_DIRECTX) {
            fx_directx_filter(p.clsid.c_str(), p.name.c_str(), p.dll.c_str());
        } else {
            std::string description = "CVS3" + p.name + "Factory Class";
            fx_vs3_effect(p.clsid.c_str(), p.name.c_str(), description.c_str(), p.dll.c_str());
        }
    }
}

// Disabled the way the program does it, so the saved copies have the layout
// the disabled-store scan reads back.
void disable_some()
{
    rebuild_catalogue();
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *entry = catalogue_get(static_cast<int>(i));
        for (const Plugin &p : plugins)
            if (p.disabled && p.clsid == entry->clsid_text) disable_plug(static_cast<int>(i));
    }
}

void unregister_plugins()
{
    KeyGuard effects;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_ALL_ACCESS, effects.out());
    for (const Plugin &p : plugins) {
        fx_delete_tree(HKEY_CLASSES_ROOT, ("Filter\\" + p.clsid).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, ("CLSID\\" + p.clsid).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, (STORE64_ROOT_PATH "\\" + p.clsid).c_str());
        if (effects.is_open()) RegDeleteValueA(effects.get(), p.clsid.c_str());
    }
}

// ---- the list -----------------------------------------------------------------------

int rows()
{
    return static_cast<int>(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0));
}

int row_index(int row)
{
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (SendMessageA(list_view, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 1) return -1;
    return static_cast<int>(item.lParam);
}

// Whether the rows are in the order of the column; counts the rows out of it.
int rows_out_of_order(int column)
{
    int wrong = 0;
    for (int row = 1; row < rows(); row++)
        if (compare_entries(row_index(row - 1), row_index(row), column) > 0) wrong++;
    return wrong;
}

void set_selected(int row, bool selected)
{
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

// Selects SELECTED live rows spread over the whole list; their indexes.
std::vector<int> select_live_rows()
{
    set_selected(-1, false);
    std::vector<int> chosen;
    int step = std::max(1, rows() / SELECTED);
    for (int row = 0; row < rows() && static_cast<int>(chosen.size()) < SELECTED; row += step) {
        int r = row;
        while (r < rows() && catalogue_get(row_index(r))->disabled != 0) r++;
        if (r >= rows()) break;
        set_selected(r, true);
        chosen.push_back(row_index(r));
    }
    return chosen;
}

int count_disabled(const std::vector<int> &indexes)
{
    int n = 0;
    for (int index : indexes) n += catalogue_get(index)->disabled != 0;
    return n;
}

// Counts the comparisons of one sort.
long compare_calls = 0;
int CALLBACK counting_compare(LPARAM a, LPARAM b, LPARAM column)
{
    compare_calls++;
    return compare_entries(a, b, column);
}

// ---- report ---------------------------------------------------------------------------

double rebuild_ms = 0;

void line(const char *what, double ms, const char *note = "")
{
    printf("  %-48s %10.1f ms %6.0f%%  %s\n", what, ms, ms * 100.0 / rebuild_ms, note);
    fflush(stdout);
}

// A line without a time: what a step left behind.
void remark(const char *what, const char *note)
{
    printf("  %-48s %23s  %s\n", what, "", note);
    fflush(stdout);
}

template <typename F> double best_of(int repeats, F work)
{
    double best = 1e30;
    for (int i = 0; i < repeats; i++) {
        Stopwatch watch;
        work();
        best = std::min(best, watch.ms());
    }
    return best;
}

} // namespace

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    if (!InitCommonControlsEx(&controls)) return 1;
    if (!catalogue_init()) return 1;

    make_plugins();
    unregister_plugins(); // what an interrupted run may have left
    rebuild_catalogue();
    const uint32_t baseline = catalogue_count(); // the machine's own plug-ins

    Stopwatch setup;
    register_plugins();
    disable_some();
    int vs3 = 0;
    int disabled = 0;
    for (const Plugin &p : plugins) {
        vs3 += p.type == PLUG_TYPE_VS3;
        disabled += p.disabled;
    }
    printf("Registered %d plug-ins (%d DirectX, %d VS3; %d of them disabled) in %.1f s\n",
           PLUGINS, PLUGINS - vs3, vs3, disabled, setup.ms() / 1e3);

    rebuild_ms = best_of(REPEATS, rebuild_catalogue);
    uint32_t entries = catalogue_count();
    printf("Catalogue: %u entries (%u of them the machine's own)\n\n", entries, baseline);
    printf("  %-48s %13s %7s\n", "", "time", "rebuild");
    line("rebuild_catalogue alone", rebuild_ms);

    // The first refresh as the program runs it: posted at creation, run from
    // the loop; then the first paint of the visible rows.
    HWND window = create_main_window(GetModuleHandleA(nullptr), main_window_proc, MAIN_TITLE);
    if (window == nullptr) return 1;
    double first_ms = 0;
    {
        MSG message;
        Stopwatch watch;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (message.message == WM_COMMAND && message.wParam == CMD_REFRESH) break;
        }
        first_ms = watch.ms();
    }
    line("first refresh (CMD_REFRESH from the loop)", first_ms);
    line("  then its first paint", best_of(1, [] {
             InvalidateRect(list_view, nullptr, TRUE);
             UpdateWindow(list_view);
         }));
    char note[128];
    SCROLLINFO scroll;
    memset(&scroll, 0, sizeof scroll);
    scroll.cbSize = sizeof scroll;
    scroll.fMask = SIF_RANGE;
    GetScrollInfo(list_view, SB_VERT, &scroll);
    snprintf(note, sizeof note, "%d rows, %d out of order, scrolls over %d rows", rows(),
             rows_out_of_order(sort_column), scroll.nMax + 1);
    remark("  ... list afterwards", note);

    // Its parts: the rebuild (above) and fill_list, the rest of the refresh
    // (empty, insert every row, sort, draw once), here into an emptied list
    // as on the first refresh; the sort is timed on its own as well.
    double fill_ms = 1e30;
    for (int i = 0; i < REPEATS; i++) {
        SendMessageA(list_view, LVM_DELETEALLITEMS, 0, 0);
        pump();
        Stopwatch watch;
        fill_list();
        fill_ms = std::min(fill_ms, watch.ms());
        pump();
    }
    line("  part: fill_list into an empty list", fill_ms, "insert every row + sort by name");
    double sort_ms = 1e30;
    for (int i = 0; i < REPEATS; i++) {
        sort_by_column(4); // away from name order
        pump();
        Stopwatch watch;
        sort_by_column(0);
        sort_ms = std::min(sort_ms, watch.ms());
        pump();
    }
    sort_by_column(4);
    compare_calls = 0;
    SendMessageA(list_view, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(counting_compare));
    snprintf(note, sizeof note, "%ld comparisons", compare_calls);
    sort_by_column(0); // and name order is the one the refreshes keep
    line("    of which the sort by name", sort_ms, note);
    line("    and so the row insertion", fill_ms - sort_ms);
    double full_ms = best_of(REPEATS, [] {
        refresh_list();
        pump();
    });
    line("refresh_list over a full list (as after Remove)", full_ms);
    double refill_ms = best_of(REPEATS, [] {
        fill_list();
        pump();
    });
    line("  part: fill_list over a full list", refill_ms, "empty + insert + sort");
    snprintf(note, sizeof note, "%d rows, %d out of order", rows(),
             rows_out_of_order(sort_column));
    remark("  ... list afterwards", note);

    // A click on each header in turn, with the paint that follows it.
    printf("\n");
    const char *const COLUMNS[] = {"Type", "Status", "Exist", "DLL", "Plug-ins Name"};
    const int ORDER[] = {1, 2, 3, 4, 0};
    double worst_sort = 0;
    for (int i = 0; i < 5; i++) {
        int column = ORDER[i];
        Stopwatch watch;
        sort_by_column(column);
        double ms = watch.ms();
        UpdateWindow(list_view);
        double painted = watch.ms();
        worst_sort = std::max(worst_sort, ms);
        char what[64];
        snprintf(what, sizeof what, "sort by \"%s\" (column %d)", COLUMNS[i], column);
        snprintf(note, sizeof note, "%.1f ms with the paint; %d out of order", painted,
                 rows_out_of_order(column));
        line(what, ms, note);
        pump();
    }
    line("sort by \"Plug-ins Name\" again (already sorted)", best_of(1, [] { sort_by_column(0); }));
    pump();

    // Disable and Enable of 100 rows spread over the list.
    printf("\n");
    std::vector<int> chosen = select_live_rows();
    snprintf(note, sizeof note, "%d rows selected", static_cast<int>(chosen.size()));
    remark("select rows spread over the list", note);
    pump();
    Stopwatch disable_watch;
    disable_selected();
    double disable_ms = disable_watch.ms();
    snprintf(note, sizeof note, "%d of %d now disabled", count_disabled(chosen),
             static_cast<int>(chosen.size()));
    line("disable_selected", disable_ms, note);
    pump();
    line("  again, nothing left to do (walk + redraw)", best_of(1, disable_selected));
    pump();
    Stopwatch enable_watch;
    enable_selected();
    double enable_ms = enable_watch.ms();
    snprintf(note, sizeof note, "%d of %d still disabled", count_disabled(chosen),
             static_cast<int>(chosen.size()));
    line("enable_selected", enable_ms, note);
    pump();

    double worst_fill = std::max(fill_ms, refill_ms);
    printf("\nFilling and sorting the list: %.1f ms at most, slowest sort %.1f ms, "
           "against %.1f ms for the rebuild alone: %s\n",
           worst_fill, worst_sort, rebuild_ms,
           worst_fill <= rebuild_ms && worst_sort <= rebuild_ms ? "within the rebuild"
                                                                : "MORE THAN THE REBUILD");

    DestroyWindow(window);
    pump();
    unregister_plugins();
    catalogue_destroy();
    return 0;
}
