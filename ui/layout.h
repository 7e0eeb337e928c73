// What the main window shows and where: sizes, ids, labels, the list's
// columns and their texts and order, and the start-directory preparation.
// Nothing here calls the window system, so it builds and is tested on any
// host.
#ifndef UI_LAYOUT_H
#define UI_LAYOUT_H

#include <cstddef>
#include <cstdint>

#include "catalogue/catalogue.h"

#define MAIN_CLASS_NAME "Tessary-Halvard\xA9w_Main"
// The same name for the wide functions the window is made with.
#define MAIN_CLASS_NAME_W L"Tessary-Halvard\u00A9w_Main"
#define MAIN_TITLE "Manage Plug-ins"

// The header strip, with the buttons on it, and the list view below it.
#define HEADER_WIDTH 2000
#define HEADER_HEIGHT 66
#define LIST_TOP 65
#define LIST_WIDTH 600
#define LIST_HEIGHT 415
#define CLIENT_WIDTH LIST_WIDTH
#define CLIENT_HEIGHT (LIST_TOP + LIST_HEIGHT)

#define ICON_RESOURCE_ID 100
#define HEADER_BITMAP_ID 1000

#define CMD_ENABLE 100
#define CMD_DISABLE 101
#define CMD_REMOVE 110
#define CMD_PROPERTIES 120
#define CMD_README 888
#define CMD_LICENSE 889
#define CMD_WEB_PAGE 890
#define CMD_MAIL 891
#define CMD_EXPORT 892
#define CMD_EXPORT_REG 893
#define CMD_REFRESH 1000
#define LIST_CONTROL_ID 1000
#define FIND_BOX_ID 1001

// What the keys ask for. Accelerators arrive as WM_COMMAND with 1 in the high
// half of wParam; these ids are their own, apart from the buttons' ids.
#define KEY_REFRESH 200
#define KEY_REMOVE 201
#define KEY_PROPERTIES 202
#define KEY_SELECT_ALL 203
#define KEY_COPY 204
#define KEY_FIND 205
#define KEY_EXPORT 206
#define KEY_CLEAR_FIND 207
#define KEY_EXPORT_REG 208

#define MAIN_WINDOW_STYLE 0x12CF0000u
#define BUTTON_STYLE 0x50010001u
#define LIST_STYLE 0x50200009u

#define README_FILE "readme.txt"
#define LICENSE_FILE "license.txt"
#define WEB_PAGE_URL "https://example.org/manage-plugins"
#define MAIL_URL "mailto:support@example.org"
#define WEB_MENU_LABEL "Goto WWW.EXAMPLE.ORG"
#define EXPORT_MENU_LABEL "Export list..."
#define EXPORT_REG_MENU_LABEL "Export registration..."

#define NOTHING_SELECTED_CAPTION "Nothing Selected"
#define SELECT_PLUGINS_TEXT "Select Plug-ins in the List below"
#define SELECT_SINGLE_TEXT "Select a SINGLE Plug-ins in the List below"
#define REMOVE_CAPTION "Remove Selecting Plug-ins"
#define REMOVE_QUESTION                                                  \
    "All the Selected Plug-ins will be removed from the registry\n"      \
    "To use these Plug-ins again, you will have to re-install them\n\n"  \
    "Do you really want to remove these Plug-ins !?"
#define EXPORT_DIALOG_TITLE "Export list"
#define EXPORT_DEFAULT_NAME "plug-ins.csv"
#define EXPORT_FAILED_TEXT "The list could not be written to that file."
#define EXPORT_REG_DIALOG_TITLE "Export registration"
#define EXPORT_REG_DEFAULT_NAME "plug-in registrations.reg"
// Followed by the reason.
#define EXPORT_REG_FAILED_TEXT "Nothing was written, as the registrations cannot be backed up: "
#define CLASS_FAILED_TEXT "Failed to Record Class..."
#define WINDOW_FAILED_TEXT "Failed to Create Window..."

#define START_DIR_SIZE 1024
#define START_DIR_READ_SIZE 1000
#define LINK_DIR_SIZE 2048

// The working directory at launch; "C:\" until it is captured.
extern char start_dir[START_DIR_SIZE];

// Copies start_dir with its terminator into buffer (START_DIR_SIZE bytes).
void copy_start_dir(char *buffer);

struct ButtonSpec {
    const char *label;
    int id;
    int x, y, width, height;
};
#define BUTTON_COUNT 4
extern const ButtonSpec main_buttons[BUTTON_COUNT];

// The find box, on the header strip to the right of the buttons, and its
// label.
#define FIND_LABEL_TEXT "Find:"
// Together they cover the lettering of the artwork's right-hand panel.
#define FIND_LABEL_X 420
#define FIND_LABEL_Y 35
#define FIND_LABEL_WIDTH 44
#define FIND_LABEL_HEIGHT 25
#define FIND_BOX_X 464
#define FIND_BOX_Y 35
#define FIND_BOX_WIDTH 133
#define FIND_BOX_HEIGHT 25
// The box takes FIND_BOX_CHARS UTF-16 characters with the terminator; the
// find text keeps them in UTF-8.
#define FIND_BOX_CHARS 256
#define FIND_TEXT_SIZE (3 * (FIND_BOX_CHARS - 1) + 1)

// The list's columns, left to right. The one that stretches starts at its
// width and takes the room the others leave when the window grows. A narrow
// column lists every text its cells can hold (null-terminated), so that it
// can be made as wide as the widest of them and its header.
struct ColumnSpec {
    const char *header;
    int width;
    int stretches;
    const char *const *cell_texts; // null for a column of free text
};
#define LIST_COLUMN_COUNT 10
extern const ColumnSpec list_columns[LIST_COLUMN_COUNT];

// The stretching column's width in a list view list_width wide: its own
// width, or the room left beside the other columns (others, in all) and a
// vertical scroll bar, whichever is wider.
int stretched_width(int own_width, int list_width, int others, int scroll_bar);

// ---- display scale ------------------------------------------------------
// The layout above is in pixels at 96 DPI; at another DPI every size is
// multiplied by dpi / 96.
#define BASE_DPI 96

// value at dpi, rounded to the nearest pixel; a dpi of 0 or less counts as 96.
int scale_to_dpi(int value, int dpi);

// A narrow column's width at dpi: its scaled width, or the widest of its
// header and cell texts plus a margin on either side, whichever is wider.
// text_width measures a UTF-8 text in the list's font; a column of free text
// keeps its scaled width.
int fitted_column_width(const ColumnSpec *column, int dpi,
                        int (*text_width)(const char *text, void *context), void *context);
// The room around a cell's text in the list view, at 96 DPI.
#define COLUMN_TEXT_MARGIN 12

// The outer size that WM_CREATE gives the window at dpi: the client of
// CLIENT_WIDTH x CLIENT_HEIGHT scaled, and the frame, which takes extra_width
// and extra_height pixels.
void main_window_size(int extra_width, int extra_height, int dpi, int *width, int *height);

// The list view's size for a WM_SIZE whose lParam is size_param at dpi: the
// client width, and the client height less the header strip (negative when
// the client is lower than the strip).
void list_size_for_client(uint32_t size_param, int dpi, int *width, int *height);

// Resamples a picture of 32-bit pixels (0x00RRGGBB, rows top-down) to another
// size by bilinear interpolation, so a larger scale draws it smoothly.
void resample_picture(const uint32_t *source, int source_width, int source_height,
                      uint32_t *target, int target_width, int target_height);

// Rewrites a path in place to its drive and directory when its last component
// has an extension, dropping one trailing backslash; leaves it unchanged
// otherwise. The platform's ANSI code page decides which bytes lead a
// double-byte character.
void strip_file_name(char *path);
// The same with the lead-byte test given.
void strip_file_name_with(char *path, int (*is_lead_byte)(unsigned char));

// The directory the documents are opened from: start_dir as it is
// when it names an existing directory (it is one, whatever dots it holds),
// otherwise with strip_file_name applied. dir holds LINK_DIR_SIZE bytes.
void prepare_link_dir(char *dir, int (*is_directory)(const char *path));

// The directory the document file is opened from: the start directory (as
// prepare_link_dir gives it) when the file is there; otherwise the directory
// of program, the program's own path, when the file is there, so that a
// shortcut starting the program elsewhere still finds the documents shipped
// beside it; otherwise the start directory, and the shell reports the file
// missing. dir holds LINK_DIR_SIZE bytes.
void document_dir(char *dir, const char *file, const char *program,
                  int (*is_directory)(const char *path), int (*is_file)(const char *path));

// Lines of the box that tells which plug-ins an Enable, Disable or Remove
// did not change: one "name: why" line per plug-in is appended to text
// (size bytes, kept terminated); 0 when it no longer fits, so the box says
// that more were left out.
int append_outcome_line(char *text, size_t size, const PlugEntry *entry, const char *why);
#define OUTCOME_CAPTION "Not Done"
#define OUTCOME_INTRO "These plug-ins were not changed:\n\n"
#define OUTCOME_TEXT_SIZE 8192

// The window title: MAIN_TITLE, or while the list is narrowed by the find box
// "Manage Plug-ins - <shown> of <total>".
void window_title(char *out, size_t size, int narrowed, int shown, uint32_t total);

#endif
