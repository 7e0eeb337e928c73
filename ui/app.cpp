#include "ui/ui.h"

#include <cstring>

HINSTANCE app_instance = nullptr;

void capture_start_dir()
{
    // Read into scratch first, so a failed or too-long answer cannot touch
    // start_dir, which then keeps "C:\".
    char dir[START_DIR_SIZE];
    DWORD length = GetCurrentDirectoryA(START_DIR_READ_SIZE, dir);
    if (length == 0 || length >= START_DIR_READ_SIZE) return;
    memcpy(start_dir, dir, length + 1);
}

HWND create_main_window(HINSTANCE instance, WNDPROC window_proc, const char *title)
{
    // Stored first: WM_CREATE, sent inside CreateWindowExW, already uses it.
    app_instance = instance;

    WNDCLASSW window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 4;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(ICON_RESOURCE_ID));
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = MAIN_CLASS_NAME_W;
    if (RegisterClassW(&window_class) == 0) {
        message_box_utf8(nullptr, CLASS_FAILED_TEXT, MAIN_TITLE, MB_ICONWARNING);
        return nullptr;
    }

    HWND window = CreateWindowExW(0, MAIN_CLASS_NAME_W, wide_text(title).data(), MAIN_WINDOW_STYLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        message_box_utf8(nullptr, WINDOW_FAILED_TEXT, MAIN_TITLE, MB_ICONWARNING);
        return nullptr;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

int app_main(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    (void)previous;
    (void)command_line;
    (void)show; // the window is always shown with SW_SHOW

    capture_start_dir();

    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "two 32-bit fields");
    if (!InitCommonControlsEx(&controls)) return -1;

    if (!catalogue_init()) return 0;

    // The catalogue stays empty until the refresh that WM_CREATE posts runs
    // from the loop below.
    if (create_main_window(instance, main_window_proc, MAIN_TITLE) == nullptr) return 0;

    MSG message;
    memset(&message, 0, sizeof message);
    // The W loop, so that typed characters reach the Unicode window whole.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (translate_keys(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    catalogue_destroy();
    return static_cast<int>(message.wParam);
}
