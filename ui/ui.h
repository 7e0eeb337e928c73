// The user interface: start-up and the message loop, the main window with its
// header, buttons and popup menu, the plug-in list view, and the Properties
// box.
#ifndef UI_UI_H
#define UI_UI_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/win.h"

#include <commctrl.h>

#include "catalogue/dll_file.h"
#include "ui/layout.h"
#include "ui/list_rows.h"

// ---- start-up and the main window --------------------------------------

extern HINSTANCE app_instance;

int app_main(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);
void capture_start_dir();
// title is UTF-8, as every text of the program's own.
HWND create_main_window(HINSTANCE instance, WNDPROC window_proc, const char *title);

// The window is a Unicode window: its texts go to the system as UTF-16,
// converted from the UTF-8 the program keeps them in; any length.
std::vector<WCHAR> wide_text(const char *text);
int message_box_utf8(HWND owner, const char *text, const char *caption, UINT style);
void set_window_text_utf8(HWND window, const char *text);

// ---- the main window procedure and commands ----------------------------

extern HBITMAP header_bitmap;
extern HMENU popup_menu;
extern HWND main_window;
extern HWND find_box;

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void open_link(HWND owner, WPARAM id);
void blit_bitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

// What open_link hands to the shell for a link id.
struct LinkTarget {
    const char *file;
    const char *dir; // null for the web and mail targets
    char dir_buffer[LINK_DIR_SIZE];
};
// 1 with target filled for 888 to 891; 0 for any other id.
int link_target(WPARAM id, LinkTarget *target);

// ---- the display scale --------------------------------------------------

// The DPI the window is laid out for, the font its controls hold (the
// system's message font at that DPI), and the find box's label.
extern int window_dpi;
extern HFONT window_font;
extern HWND find_label;
// The window's DPI: GetDpiForWindow where the system has it, otherwise the
// screen's.
int dpi_of_window(HWND window);
// The system's message font at dpi; null when the system gives none.
HFONT create_message_font(int dpi);
// Places every control for dpi, gives them the font for it and draws the
// header artwork to its scale; the window's own size is the caller's.
void lay_out_window(HWND window, int dpi);
// The header artwork at the window's scale (WM_ERASEBKGND).
void paint_header(HDC dc);
// Frees the font and the scaled artwork (WM_DESTROY).
void release_window_scale();

// ---- keys ----------------------------------------------------------------

// The accelerator tables, made with the main window and freed with it.
void create_key_tables();
void destroy_key_tables();
// For the message loop: 1 when msg was a key of the main window's and has
// been carried out as its command (msg is then not to be dispatched). While
// the focus is in an edit control, the keys that edit text are left to it.
int translate_keys(MSG *msg);

// ---- the plug-in list view ---------------------------------------------

extern HWND list_view;
extern int32_t sort_column;
// What the find box holds, in UTF-8: only entries that match it have a row.
extern char find_text[FIND_TEXT_SIZE];

void create_plugin_list(HWND parent);
// Sets every column but the stretching one to its width at dpi, a narrow
// column at least as wide as its widest text in the list's font.
void size_columns(int dpi);
// Widens the stretching column into the room a list view list_width wide
// leaves, or narrows it back to its own width.
void fit_columns(int list_width);
void refresh_list();
// The part of the refresh after the rebuild: empties the list, inserts one
// row per catalogue entry that matches find_text and sorts them by
// sort_column, drawing once at the end; sets the window title to the count;
// returns the number of rows.
int fill_list();
// Narrows the list to the entries that match text (all for ""), without a
// rebuild; the rows still shown keep their selection.
void set_find_text(const char *text); // UTF-8
// The catalogue index behind a row, or -1.
int row_index(int row);
void select_all_rows();
// The selected rows, with a heading line, as tab-separated UTF-16 text
// (CF_UNICODETEXT) on the clipboard, the cells as shown. Nothing happens
// when no row is selected.
void copy_selected_rows(HWND owner);
// The rows shown, in the order shown, as CSV (the companion's listing
// format) into a file the user picks in the Save dialog: a UTF-8 byte-order
// mark, then what the companion writes.
void export_shown_rows(HWND owner);
// The same, byte-order mark included, into a file already open; 1 when
// every write succeeded.
int write_shown_rows_csv(FILE *out);
// What Remove would delete for the selected rows, in the order shown, as a
// .reg file the user picks in the Save dialog; a box says why when nothing
// could be written.
void export_selected_registrations(HWND owner);
// LVN_GETDISPINFOW: the cell's text as UTF-16.
void supply_cell_text(NMLVDISPINFOW *info);
void sort_by_column(int column);
int CALLBACK compare_entries(LPARAM a, LPARAM b, LPARAM column);
void enable_selected();
void disable_selected();
void remove_selected();
int first_selected_index();

// ---- what the DLL files say (read on a worker thread) ------------------

// The worker's results, a batch in lParam, posted to the main window.
#define WM_FILES_READ (WM_APP + 1)

// What the file of the catalogue entry at index read as; pending until its
// result arrives; null outside the catalogue.
const DllFacts *row_facts(int index);
// After a rebuild: every file found is pending and a worker reads them.
void start_reading_files(HWND window);
// Lets the worker go; its results, if any still come, are dropped.
void abandon_reading();
// A new worker for the files still pending.
void resume_reading(HWND window);
// 1 while some file is pending.
int reading_files();
// Reads the pending files here and now (for the export, which writes what
// every file says).
void read_pending_files_now();
// WM_FILES_READ: keeps the results and frees the batch.
void take_files_read(LPARAM batch);
// After results came in: the list draws them, sorts again when sorted by a
// file column, and narrows again when widen says a row now matches.
void rows_read(int widen);
// NM_CUSTOMDRAW of the list view: rows with a problem are tinted.
LRESULT draw_list_row(NMLVCUSTOMDRAW *draw);

// ---- the Properties box ------------------------------------------------

void show_properties(HWND owner);

#endif
