// The user interface: start-up and the message loop, the main window with its
// header, buttons and popup menu, the plug-in list view, and the Properties
// box.
#ifndef UI_UI_H
#define UI_UI_H

#include <cstdint>

#include "platform/win.h"

#include <commctrl.h>

#include "ui/layout.h"

// ---- start-up and the main window --------------------------------------

extern HINSTANCE app_instance;

int app_main(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);
void capture_start_dir();
HWND create_main_window(HINSTANCE instance, WNDPROC window_proc, const char *title);

// ---- the main window procedure and commands ----------------------------

extern HBITMAP header_bitmap;
extern HMENU popup_menu;

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void open_link(HWND owner, WPARAM id);
void get_frame_metrics(int *frame_width, int *caption_height);
void blit_bitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

// What open_link hands to the shell for a link id.
struct LinkTarget {
    const char *file;
    const char *dir; // null for the web and mail targets
    char dir_buffer[LINK_DIR_SIZE];
};
// 1 with target filled for 888 to 891; 0 for any other id.
int link_target(WPARAM id, LinkTarget *target);

// ---- the plug-in list view ---------------------------------------------

extern HWND list_view;
extern int32_t sort_column;

void create_plugin_list(HWND parent);
void refresh_list();
// The part of the refresh after the rebuild: empties the list, inserts one
// row per catalogue entry and sorts them by sort_column, drawing once at the
// end; returns the number of rows.
int fill_list();
void supply_cell_text(NMLVDISPINFOA *info);
void sort_by_column(int column);
int CALLBACK compare_entries(LPARAM a, LPARAM b, LPARAM column);
void enable_selected();
void disable_selected();
void remove_selected();
int first_selected_index();

// ---- the Properties box ------------------------------------------------

void show_properties(HWND owner);

#endif
