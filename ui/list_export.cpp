#include "ui/ui.h"

#include <cstring>
#include <string>

#include <commdlg.h>

#include "catalogue/list_csv.h"
#include "ui/list_rows.h"

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
    int row = -1;
    while ((row = static_cast<int>(SendMessageA(list_view, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(static_cast<INT_PTR>(row)),
                                                MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) {
        int index = row_index(row);
        const PlugEntry *entry = catalogue_get(index);
        if (entry == nullptr) continue;
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

    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory == nullptr) return;
    char *locked = static_cast<char *>(GlobalLock(memory));
    if (locked == nullptr) {
        GlobalFree(memory);
        return;
    }
    memcpy(locked, text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    if (!OpenClipboard(owner)) {
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    // Once handed over, the memory is the clipboard's.
    if (SetClipboardData(CF_TEXT, memory) == nullptr) GlobalFree(memory);
    CloseClipboard();
}

int write_shown_rows_csv(FILE *out)
{
    // The file says what the companion's listing says: files the worker
    // has not come to yet are read now.
    read_pending_files_now();
    write_csv_heading(out);
    int rows = static_cast<int>(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; row++) {
        int index = row_index(row);
        const PlugEntry *entry = catalogue_get(index);
        if (entry != nullptr) write_csv_record(out, entry, row_facts(index));
    }
    return ferror(out) == 0 ? 1 : 0;
}

void export_shown_rows(HWND owner)
{
    char path[MAX_PATH] = EXPORT_DEFAULT_NAME;
    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = EXPORT_DIALOG_TITLE;
    dialog.lpstrDefExt = "csv";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                   OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&dialog)) return; // cancelled

    // Binary: the records carry their own CR LF.
    FILE *out = fopen(path, "wb");
    int written = 0;
    if (out != nullptr) {
        written = write_shown_rows_csv(out);
        if (fclose(out) != 0) written = 0;
    }
    if (!written) MessageBoxA(owner, EXPORT_FAILED_TEXT, EXPORT_DIALOG_TITLE, MB_ICONWARNING);
}
