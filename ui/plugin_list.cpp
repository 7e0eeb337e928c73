#include "ui/ui.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/widetext.h"
#include "registry/maintenance.h"
#include "ui/list_rows.h"

// A row with a problem, as tools that list startup entries mark theirs.
#define PROBLEM_ROW_BACK RGB(255, 226, 226)

static int next_selected(int *row, int *index);

HWND list_view = nullptr;
int32_t sort_column = 0;
char find_text[FIND_TEXT_SIZE] = "";

void create_plugin_list(HWND parent)
{
    list_view = CreateWindowExW(0, L"SysListView32", L"", LIST_STYLE, 0, LIST_TOP, LIST_WIDTH,
                                LIST_HEIGHT, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(LIST_CONTROL_ID)),
                                app_instance, nullptr);
    for (int i = 0; i < LIST_COLUMN_COUNT; i++) {
        WCHAR header[64];
        utf8_to_utf16(list_columns[i].header, header, sizeof header / sizeof header[0]);
        LVCOLUMNW column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = list_columns[i].width;
        column.pszText = header;
        SendMessageW(list_view, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
    // A click anywhere in a row selects it, as in Explorer.
    SendMessageW(list_view, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
}

// A UTF-8 text's width in the list's font.
static int list_text_width(const char *text, void *context)
{
    (void)context;
    return static_cast<int>(SendMessageW(list_view, LVM_GETSTRINGWIDTHW, 0,
                                         reinterpret_cast<LPARAM>(wide_text(text).data())));
}

void size_columns(int dpi)
{
    for (int i = 0; i < LIST_COLUMN_COUNT; i++)
        if (!list_columns[i].stretches)
            SendMessageW(list_view, LVM_SETCOLUMNWIDTH, i,
                         MAKELPARAM(fitted_column_width(&list_columns[i], dpi, list_text_width,
                                                        nullptr),
                                    0));
}

void fit_columns(int list_width)
{
    int others = 0;
    for (int i = 0; i < LIST_COLUMN_COUNT; i++)
        if (!list_columns[i].stretches)
            others += static_cast<int>(SendMessageW(list_view, LVM_GETCOLUMNWIDTH, i, 0));
    int scroll_bar = GetSystemMetrics(SM_CXVSCROLL);
    for (int i = 0; i < LIST_COLUMN_COUNT; i++)
        if (list_columns[i].stretches)
            SendMessageW(list_view, LVM_SETCOLUMNWIDTH, i,
                         MAKELPARAM(stretched_width(scale_to_dpi(list_columns[i].width, window_dpi),
                                                    list_width, others, scroll_bar),
                                    0));
}

static void show_row_count(int shown)
{
    char title[sizeof MAIN_TITLE + 32];
    window_title(title, sizeof title, find_text[0] != 0, shown, catalogue_count());
    set_window_text_utf8(GetParent(list_view), title);
}

int fill_list()
{
    uint32_t count = catalogue_count();
    // Drawing is held back until every row is in and sorted: a list view
    // that redraws and rescrolls on each insertion takes milliseconds a row,
    // far longer than the rebuild itself with thousands of plug-ins.
    SendMessageW(list_view, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_view, LVM_DELETEALLITEMS, 0, 0);
    // Rows carry only their catalogue index; the texts come on request. Only
    // the entries the find box lets through get a row.
    int shown = 0;
    for (uint32_t i = 0; i < count; i++) {
        const PlugEntry *entry = catalogue_get(static_cast<int>(i) + 1);
        if (entry == nullptr ||
            !row_matches(entry, row_facts(static_cast<int>(i) + 1), find_text))
            continue;
        LVITEMW item;
        memset(&item, 0, sizeof item);
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = shown++;
        item.iSubItem = 0;
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.lParam = static_cast<LPARAM>(i) + 1;
        SendMessageW(list_view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    if (shown >= 1)
        SendMessageW(list_view, LVM_SORTITEMS, static_cast<WPARAM>(sort_column),
                     reinterpret_cast<LPARAM>(compare_entries));
    SendMessageW(list_view, WM_SETREDRAW, TRUE, 0);
    // Not every list view repaints by itself when drawing is turned back on.
    InvalidateRect(list_view, nullptr, TRUE);
    show_row_count(shown);
    return shown;
}

static void select_row(int row, UINT state)
{
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.stateMask = LVIS_SELECTED;
    item.state = state;
    SendMessageW(list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(static_cast<INT_PTR>(row)),
                 reinterpret_cast<LPARAM>(&item));
}

// Fills the list again for find_text; the rows still shown keep their
// selection. The catalogue is not rebuilt, so the indexes still name the
// same entries.
static void narrow_list()
{
    std::vector<char> selected(catalogue_count() + 1, 0);
    int row = -1;
    int index = 0;
    while (next_selected(&row, &index))
        if (index >= 1 && static_cast<size_t>(index) < selected.size()) selected[index] = 1;
    int shown = fill_list();
    for (row = 0; row < shown; row++) {
        index = row_index(row);
        if (index >= 1 && static_cast<size_t>(index) < selected.size() && selected[index])
            select_row(row, LVIS_SELECTED);
    }
}

void set_find_text(const char *text)
{
    if (strncmp(text, find_text, sizeof find_text) == 0) return;
    snprintf(find_text, sizeof find_text, "%s", text);
    narrow_list();
}

void rows_read(int widen)
{
    if (widen && find_text[0] != 0) narrow_list();
    else if (sort_column >= COLUMN_VERSION) sort_by_column(sort_column);
    InvalidateRect(list_view, nullptr, FALSE);
}

LRESULT draw_list_row(NMLVCUSTOMDRAW *draw)
{
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    int index = static_cast<int>(draw->nmcd.lItemlParam);
    const PlugEntry *entry = catalogue_get(index);
    // A selected row keeps the selection's colours.
    UINT state = static_cast<UINT>(SendMessageW(list_view, LVM_GETITEMSTATE,
                                                static_cast<WPARAM>(draw->nmcd.dwItemSpec),
                                                LVIS_SELECTED));
    if (entry != nullptr && (state & LVIS_SELECTED) == 0 &&
        row_has_problem(entry, row_facts(index)))
        draw->clrTextBk = PROBLEM_ROW_BACK;
    return CDRF_DODEFAULT;
}

void select_all_rows()
{
    select_row(-1, LVIS_SELECTED);
}

void refresh_list()
{
    abandon_reading();
    rebuild_catalogue();
    start_reading_files(GetParent(list_view));
    fill_list();
}

void supply_cell_text(NMLVDISPINFOW *info)
{
    if ((info->item.mask & LVIF_TEXT) == 0) return;
    int index = static_cast<int>(info->item.lParam);
    const PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr) return;
    const DllFacts *facts = row_facts(index);
    // UTF-8 never takes more UTF-16 units than bytes.
    static WCHAR cell[ROW_CELL_SIZE];
    if (info->item.iSubItem == COLUMN_COMPANY && shows_file_company(entry, facts)) {
        // The file's own UTF-16, not a round trip through UTF-8.
        size_t n = 0;
        for (; n + 1 < DLL_TEXT_SIZE && facts->company[n] != 0; n++) cell[n] = facts->company[n];
        cell[n] = 0;
    } else {
        static char scratch[ROW_CELL_SIZE];
        const char *text = row_cell_text(entry, facts, info->item.iSubItem, scratch, sizeof scratch);
        if (text == nullptr) return;
        utf8_to_utf16(text, cell, ROW_CELL_SIZE);
    }
    // Handed over in place, never copied; the list view only reads it.
    info->item.pszText = cell;
}

void sort_by_column(int column)
{
    sort_column = column;
    SendMessageW(list_view, LVM_SORTITEMS, static_cast<WPARAM>(static_cast<INT_PTR>(column)),
                 reinterpret_cast<LPARAM>(compare_entries));
}

int CALLBACK compare_entries(LPARAM a, LPARAM b, LPARAM column)
{
    int ia = static_cast<int>(a), ib = static_cast<int>(b);
    return compare_plug_rows(catalogue_get(ia), row_facts(ia), catalogue_get(ib), row_facts(ib),
                             static_cast<int>(column));
}

// One step of the walk over the selected rows, top to bottom: moves *row on
// to the next selected row that yields a catalogue index. 0 when none is
// left; a row whose item data cannot be read is passed over.
static int next_selected(int *row, int *index)
{
    for (;;) {
        int next = static_cast<int>(SendMessageW(list_view, LVM_GETNEXTITEM,
                                                 static_cast<WPARAM>(static_cast<INT_PTR>(*row)),
                                                 MAKELPARAM(LVNI_SELECTED, 0)));
        if (next < 0) return 0;
        *row = next;
        LVITEMW item;
        memset(&item, 0, sizeof item);
        item.mask = LVIF_PARAM;
        item.iItem = next;
        item.iSubItem = 0;
        if (SendMessageW(list_view, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == 1) {
            *index = static_cast<int>(item.lParam);
            return 1;
        }
    }
}

int row_index(int row)
{
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.iSubItem = 0;
    if (SendMessageW(list_view, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 1) return -1;
    return static_cast<int>(item.lParam);
}

// Collects the plug-ins an operation did not change and shows them in one
// box at the end, in the companion's words; nothing when all went through.
struct OutcomeBox {
    char text[OUTCOME_TEXT_SIZE];
    int failures;
    int left_out;
};

static void start_box(OutcomeBox *box)
{
    snprintf(box->text, sizeof box->text, "%s", OUTCOME_INTRO);
    box->failures = 0;
    box->left_out = 0;
}

static void note_outcome(OutcomeBox *box, int ok, int index, const PlugOutcome *outcome)
{
    if (ok) return;
    const PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr) return;
    char why[MAINT_PATH_SIZE + 128];
    describe_outcome(outcome, why, sizeof why);
    box->failures++;
    if (!append_outcome_line(box->text, sizeof box->text, entry, why)) box->left_out++;
}

static void show_box(const OutcomeBox *box)
{
    if (box->failures == 0) return;
    char text[OUTCOME_TEXT_SIZE + 64];
    if (box->left_out > 0)
        snprintf(text, sizeof text, "%s... and %d more\n", box->text, box->left_out);
    else
        snprintf(text, sizeof text, "%s", box->text);
    message_box_utf8(GetParent(list_view), text, OUTCOME_CAPTION, MB_OK | MB_ICONWARNING);
}

// Enable and Disable change the flags in place: the rows keep their places
// and only the ones down to the last processed are drawn again.
static void apply_and_redraw(int (*operation)(int, PlugOutcome *))
{
    // The registry is changed with no reading going on beside it; the
    // files still unread are read again afterwards.
    abandon_reading();
    static OutcomeBox box;
    start_box(&box);
    int row = -1;
    int index = 0;
    int last = 0;
    while (next_selected(&row, &index)) {
        PlugOutcome outcome;
        note_outcome(&box, operation(index, &outcome), index, &outcome);
        last = row;
    }
    SendMessageW(list_view, LVM_REDRAWITEMS, 0, static_cast<LPARAM>(last));
    UpdateWindow(list_view);
    resume_reading(GetParent(list_view));
    show_box(&box);
}

void enable_selected()
{
    apply_and_redraw(enable_plug);
}

void disable_selected()
{
    apply_and_redraw(disable_plug);
}

void remove_selected()
{
    abandon_reading(); // the refresh below starts it again
    static OutcomeBox box;
    start_box(&box);
    // No rebuild until the walk is over, so every row's index still names
    // its entry.
    int row = -1;
    int index = 0;
    while (next_selected(&row, &index)) {
        PlugOutcome outcome;
        note_outcome(&box, remove_plug(index, &outcome), index, &outcome);
    }
    refresh_list();
    UpdateWindow(list_view);
    show_box(&box);
}

int first_selected_index()
{
    int row = -1;
    int index = 0;
    if (next_selected(&row, &index)) return index;
    return -1;
}
