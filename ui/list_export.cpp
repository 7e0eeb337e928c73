#include "ui/ui.h"

#include <cstring>
#include <string>
#include <vector>

#include <commdlg.h>

#include "catalogue/list_csv.h"
#include "platform/widetext.h"
#include "registry/reg_export.h"
#include "ui/list_rows.h"

// The catalogue indexes of the selected rows, in the order shown.
static std::vector<int> selected_indexes()
{
    std::vector<int> indexes;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list_view, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(static_cast<INT_PTR>(row)),
                                                MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) {
        int index = row_index(row);
        if (catalogue_get(index) != nullptr) indexes.push_back(index);
    }
    return indexes;
}

// The Save dialog over path (MAX_PATH characters, holding the name offered);
// 0 when cancelled.
static int ask_save_path(HWND owner, const char *title, const WCHAR *filter, const WCHAR *ext,
                         WCHAR *path)
{
    WCHAR wide_title[64];
    utf8_to_utf16(title, wide_title, sizeof wide_title / sizeof wide_title[0]);
    OPENFILENAMEW dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = wide_title;
    dialog.lpstrDefExt = ext;
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                   OFN_NOCHANGEDIR;
    return GetSaveFileNameW(&dialog) ? 1 : 0;
}

void copy_selected_rows(HWND owner)
{
    // A heading line of the column headers, then each selected row; cells
    // are separated by tabs and every line ends with CR LF.
    std::string text;
    for (int c = 0; c < LIST_COLUMN_COUNT; c++) {
        if (c > 0) text += '\t';
        text += list_columns[c].header;
    }
    text += "\r\n";
    int rows = 0;
    for (int index : selected_indexes()) {
        const PlugEntry *entry = catalogue_get(index);
        for (int c = 0; c < LIST_COLUMN_COUNT; c++) {
            if (c > 0) text += '\t';
            char scratch[ROW_CELL_SIZE];
            const char *cell = row_cell_text(entry, row_facts(index), c, scratch, sizeof scratch);
            if (cell != nullptr) text += cell;
        }
        text += "\r\n";
        rows++;
    }
    if (rows == 0) return;

    // The cells are UTF-8; the clipboard gets UTF-16, which takes no more
    // units than the UTF-8 has bytes.
    size_t chars = text.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, chars * sizeof(WCHAR));
    if (memory == nullptr) return;
    WCHAR *locked = static_cast<WCHAR *>(GlobalLock(memory));
    if (locked == nullptr) {
        GlobalFree(memory);
        return;
    }
    int converted = utf8_to_utf16(text.c_str(), locked, chars);
    GlobalUnlock(memory);
    if (!converted) {
        GlobalFree(memory);
        return;
    }
    if (!OpenClipboard(owner)) {
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    // Once handed over, the memory is the clipboard's.
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    CloseClipboard();
}

int write_shown_rows_csv(FILE *out)
{
    // The file says what the companion's listing says: files the worker
    // has not come to yet are read now.
    read_pending_files_now();
    // The mark tells spreadsheet programs the file is UTF-8.
    write_csv_bom(out);
    write_csv_heading(out);
    int rows = static_cast<int>(SendMessageW(list_view, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; row++) {
        int index = row_index(row);
        const PlugEntry *entry = catalogue_get(index);
        if (entry != nullptr) write_csv_record(out, entry, row_facts(index));
    }
    return ferror(out) == 0 ? 1 : 0;
}

void export_shown_rows(HWND owner)
{
    WCHAR path[MAX_PATH];
    utf8_to_utf16(EXPORT_DEFAULT_NAME, path, MAX_PATH);
    if (!ask_save_path(owner, EXPORT_DIALOG_TITLE,
                       L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0", L"csv", path))
        return;

    // Binary: the records carry their own CR LF. The wide name reaches a
    // folder of any script.
    FILE *out = _wfopen(path, L"wb");
    int written = 0;
    if (out != nullptr) {
        written = write_shown_rows_csv(out);
        if (fclose(out) != 0) written = 0;
    }
    if (!written) message_box_utf8(owner, EXPORT_FAILED_TEXT, EXPORT_DIALOG_TITLE, MB_ICONWARNING);
}

void export_selected_registrations(HWND owner)
{
    std::vector<int> indexes = selected_indexes();
    if (indexes.empty()) return;
    WCHAR path[MAX_PATH];
    utf8_to_utf16(EXPORT_REG_DEFAULT_NAME, path, MAX_PATH);
    if (!ask_save_path(owner, EXPORT_REG_DIALOG_TITLE,
                       L"Registration entries (*.reg)\0*.reg\0All files (*.*)\0*.*\0", L"reg",
                       path))
        return;
    ExportOutcome outcome;
    if (export_registrations(indexes.data(), static_cast<int>(indexes.size()), path, &outcome))
        return;
    char why[MAINT_PATH_SIZE * 3];
    describe_export(&outcome, why, sizeof why);
    std::string text = std::string(EXPORT_REG_FAILED_TEXT) + why + ".";
    message_box_utf8(owner, text.c_str(), EXPORT_REG_DIALOG_TITLE, MB_ICONWARNING);
}
