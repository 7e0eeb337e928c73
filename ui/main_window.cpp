#include "ui/ui.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include <shellapi.h>

#include "platform/widetext.h"

HBITMAP header_bitmap = nullptr;
HMENU popup_menu = nullptr;
HWND main_window = nullptr;
HWND find_box = nullptr;
static HBRUSH label_brush = nullptr;

// The label's colours: the dark panel of the artwork behind it.
#define FIND_LABEL_BACK RGB(36, 40, 47)
#define FIND_LABEL_FORE RGB(201, 206, 214)

std::vector<WCHAR> wide_text(const char *text)
{
    std::vector<WCHAR> wide(strlen(text) + 1);
    utf8_to_utf16(text, wide.data(), wide.size());
    return wide;
}

int message_box_utf8(HWND owner, const char *text, const char *caption, UINT style)
{
    return MessageBoxW(owner, wide_text(text).data(), wide_text(caption).data(), style);
}

void set_window_text_utf8(HWND window, const char *text)
{
    SetWindowTextW(window, wide_text(text).data());
}

// A child control with a UTF-8 text.
static HWND create_child(DWORD ex_style, const WCHAR *cls, const char *text, DWORD style, int x,
                         int y, int width, int height, HWND parent, INT_PTR id)
{
    return CreateWindowExW(ex_style, cls, wide_text(text).data(), style, x, y, width, height,
                           parent, reinterpret_cast<HMENU>(id), app_instance, nullptr);
}

void blit_bitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height)
{
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ replaced = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, replaced);
    DeleteDC(memory);
}

static int is_directory(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static int is_file(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int link_target(WPARAM id, LinkTarget *target)
{
    target->dir = nullptr;
    switch (id) {
    case CMD_README:
        target->file = README_FILE;
        break;
    case CMD_LICENSE:
        target->file = LICENSE_FILE;
        break;
    case CMD_WEB_PAGE:
        target->file = WEB_PAGE_URL;
        return 1;
    case CMD_MAIL:
        target->file = MAIL_URL;
        return 1;
    default:
        target->file = nullptr;
        return 0;
    }
    char program[LINK_DIR_SIZE];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) program[0] = 0; // failed or cut short
    document_dir(target->dir_buffer, target->file, program, is_directory, is_file);
    target->dir = target->dir_buffer;
    return 1;
}

void open_link(HWND owner, WPARAM id)
{
    LinkTarget target;
    if (!link_target(id, &target)) return;
    // A missing document or handler is the shell's to report, if anyone's.
    ShellExecuteA(owner, "open", target.file, nullptr, target.dir, SW_SHOW);
}

static void create_find_box(HWND window)
{
    find_label = create_child(0, L"static", FIND_LABEL_TEXT, WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE,
                 FIND_LABEL_X, FIND_LABEL_Y, FIND_LABEL_WIDTH, FIND_LABEL_HEIGHT, window, 0);
    label_brush = CreateSolidBrush(FIND_LABEL_BACK);
    find_box = create_child(WS_EX_CLIENTEDGE, L"edit", "",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, FIND_BOX_X,
                            FIND_BOX_Y, FIND_BOX_WIDTH, FIND_BOX_HEIGHT, window, FIND_BOX_ID);
    SendMessageW(find_box, EM_LIMITTEXT, FIND_BOX_CHARS - 1, 0);
}

static LRESULT on_create(HWND window)
{
    main_window = window;
    find_text[0] = 0;
    create_key_tables();
    header_bitmap = LoadBitmapA(app_instance, MAKEINTRESOURCEA(HEADER_BITMAP_ID));

    popup_menu = CreatePopupMenu();
    AppendMenuW(popup_menu, MF_STRING, CMD_WEB_PAGE, wide_text(WEB_MENU_LABEL).data());
    AppendMenuW(popup_menu, MF_STRING, CMD_EXPORT, wide_text(EXPORT_MENU_LABEL).data());
    AppendMenuW(popup_menu, MF_STRING, CMD_EXPORT_REG, wide_text(EXPORT_REG_MENU_LABEL).data());

    create_plugin_list(window);

    for (const ButtonSpec &button : main_buttons) {
        create_child(0, L"button", button.label, BUTTON_STYLE, button.x, button.y, button.width,
                     button.height, window, button.id);
    }
    create_find_box(window);

    SetFocus(list_view);
    int dpi = dpi_of_window(window);
    lay_out_window(window, dpi);

    // The frame as the system draws it for this style, whatever its metrics;
    // the position the platform chose is kept, and the resulting WM_SIZE
    // fits the list view.
    RECT outer;
    RECT client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    int width = 0;
    int height = 0;
    main_window_size((outer.right - outer.left) - client.right,
                     (outer.bottom - outer.top) - client.bottom, dpi, &width, &height);
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_SHOWWINDOW | SWP_NOMOVE);

    // The first rebuild runs from the message loop, once the window is up.
    PostMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    return 0;
}

static void warn_nothing_selected(HWND window, const char *text)
{
    message_box_utf8(window, text, NOTHING_SELECTED_CAPTION, MB_ICONWARNING);
}

static int selected_count()
{
    return static_cast<int>(SendMessageW(list_view, LVM_GETSELECTEDCOUNT, 0, 0));
}

static void on_command(HWND window, WPARAM id)
{
    // The whole wParam is the id: a notification code in the high half makes
    // it no command of ours.
    switch (id) {
    case CMD_ENABLE:
        if (selected_count() >= 1) enable_selected();
        else warn_nothing_selected(window, SELECT_PLUGINS_TEXT);
        break;
    case CMD_DISABLE:
        if (selected_count() >= 1) disable_selected();
        else warn_nothing_selected(window, SELECT_PLUGINS_TEXT);
        break;
    case CMD_REMOVE:
        if (selected_count() >= 1) {
            if (message_box_utf8(window, REMOVE_QUESTION, REMOVE_CAPTION,
                                 MB_OKCANCEL | MB_ICONQUESTION) != IDCANCEL)
                remove_selected();
        } else {
            warn_nothing_selected(window, SELECT_PLUGINS_TEXT);
        }
        break;
    case CMD_PROPERTIES:
        if (selected_count() == 1) show_properties(window);
        else warn_nothing_selected(window, SELECT_SINGLE_TEXT);
        break;
    case CMD_REFRESH:
        refresh_list();
        break;
    case CMD_EXPORT:
        export_shown_rows(window);
        break;
    case CMD_EXPORT_REG:
        if (selected_count() >= 1) export_selected_registrations(window);
        else warn_nothing_selected(window, SELECT_PLUGINS_TEXT);
        break;
    default:
        open_link(window, id);
        break;
    }
}

// A key of the accelerator tables: the same as the button or menu item it
// stands for, or the list's and the find box's own.
static void on_key(HWND window, WORD key)
{
    switch (key) {
    case KEY_REFRESH:
        on_command(window, CMD_REFRESH);
        break;
    case KEY_REMOVE:
        on_command(window, CMD_REMOVE);
        break;
    case KEY_PROPERTIES:
        on_command(window, CMD_PROPERTIES);
        break;
    case KEY_EXPORT:
        on_command(window, CMD_EXPORT);
        break;
    case KEY_EXPORT_REG:
        on_command(window, CMD_EXPORT_REG);
        break;
    case KEY_SELECT_ALL:
        select_all_rows();
        break;
    case KEY_COPY:
        copy_selected_rows(window);
        break;
    case KEY_FIND:
        SetFocus(find_box);
        SendMessageW(find_box, EM_SETSEL, 0, -1);
        break;
    case KEY_CLEAR_FIND:
        SetWindowTextW(find_box, L""); // its EN_CHANGE widens the list again
        break;
    default:
        break;
    }
}

static void on_find_box_changed()
{
    WCHAR wide[FIND_BOX_CHARS] = {0};
    int chars = GetWindowTextW(find_box, wide, FIND_BOX_CHARS);
    char text[FIND_TEXT_SIZE] = "";
    utf16_to_utf8(wide, chars > 0 ? static_cast<size_t>(chars) : 0, text, sizeof text,
                  FIND_BOX_CHARS - 1);
    set_find_text(text);
}

static LRESULT on_notify(HWND window, const NMHDR *header)
{
    switch (header->code) {
    case NM_CUSTOMDRAW:
        if (header->hwndFrom == list_view)
            return draw_list_row(reinterpret_cast<NMLVCUSTOMDRAW *>(const_cast<NMHDR *>(header)));
        break;
    case LVN_GETDISPINFOW: // a Unicode parent is asked in the W form
        if (header->hwndFrom == list_view)
            supply_cell_text(reinterpret_cast<NMLVDISPINFOW *>(const_cast<NMHDR *>(header)));
        break;
    case LVN_COLUMNCLICK:
        sort_by_column(reinterpret_cast<const NMLISTVIEW *>(header)->iSubItem);
        break;
    case NM_DBLCLK:
        // On a row: Properties, like Enter; elsewhere nothing.
        if (header->hwndFrom == list_view &&
            reinterpret_cast<const NMITEMACTIVATE *>(header)->iItem >= 0)
            on_command(window, CMD_PROPERTIES);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        return on_create(window);

    case WM_DESTROY:
        abandon_reading(); // never waited for
        if (popup_menu != nullptr) DestroyMenu(popup_menu);
        popup_menu = nullptr;
        if (header_bitmap != nullptr) DeleteObject(header_bitmap);
        header_bitmap = nullptr;
        if (label_brush != nullptr) DeleteObject(label_brush);
        label_brush = nullptr;
        release_window_scale();
        destroy_key_tables();
        main_window = nullptr;
        find_box = nullptr;
        PostQuitMessage(0);
        return 0;

    case WM_SIZE: {
        int width = 0;
        int height = 0;
        list_size_for_client(static_cast<uint32_t>(lparam), window_dpi, &width, &height);
        SetWindowPos(list_view, nullptr, 0, scale_to_dpi(LIST_TOP, window_dpi), width, height,
                     SWP_SHOWWINDOW | SWP_NOZORDER);
        fit_columns(width);
        return 0;
    }

    case WM_DPICHANGED: {
        // Moved to a display of another scale: the suggested rectangle keeps
        // the window's size in that scale.
        const RECT *suggested = reinterpret_cast<const RECT *>(lparam);
        lay_out_window(window, HIWORD(wparam));
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }

    case WM_CLOSE:
        DestroyWindow(window);
        return 0;

    case WM_ERASEBKGND:
        // Below the strip lies the list view; nothing else needs painting.
        paint_header(reinterpret_cast<HDC>(wparam));
        return -1;

    case WM_NOTIFY:
        return on_notify(window, reinterpret_cast<const NMHDR *>(lparam));

    case WM_FILES_READ:
        take_files_read(lparam);
        return 0;

    case WM_COMMAND:
        if (HIWORD(wparam) == 1 && lparam == 0) // from the accelerator tables
            on_key(window, LOWORD(wparam));
        else if (LOWORD(wparam) == FIND_BOX_ID && HIWORD(wparam) == EN_CHANGE &&
                 lparam != 0 && reinterpret_cast<HWND>(lparam) == find_box)
            on_find_box_changed();
        else
            on_command(window, wparam);
        return 0;

    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, FIND_LABEL_FORE);
        SetBkColor(dc, FIND_LABEL_BACK);
        return reinterpret_cast<LRESULT>(label_brush);
    }

    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        POINT point;
        point.x = static_cast<short>(lparam & 0xFFFF);
        point.y = static_cast<short>((lparam >> 16) & 0xFFFF);
        ClientToScreen(window, &point);
        TrackPopupMenu(popup_menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, point.x, point.y,
                       0, window, nullptr);
        return 1;
    }

    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}
