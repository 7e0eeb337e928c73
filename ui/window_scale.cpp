// The main window at its display's scale: the DPI it is laid out for, the
// system's message font at that DPI, the controls' places and the header
// artwork drawn to the same scale.
#include "ui/ui.h"

#include <cstring>
#include <vector>

int window_dpi = BASE_DPI;
HFONT window_font = nullptr;
HWND find_label = nullptr;
static HBITMAP scaled_header = nullptr;

// The per-monitor functions came with Windows 10 (1607); older systems lack
// them, so they are looked up rather than linked.
typedef UINT(WINAPI *DpiForWindowFn)(HWND);
typedef BOOL(WINAPI *ParametersForDpiFn)(UINT, UINT, PVOID, UINT, UINT);

static FARPROC user32_function(const char *name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}

static int screen_dpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : BASE_DPI;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : BASE_DPI;
}

int dpi_of_window(HWND window)
{
    DpiForWindowFn for_window =
        reinterpret_cast<DpiForWindowFn>(reinterpret_cast<void *>(user32_function("GetDpiForWindow")));
    UINT dpi = for_window != nullptr ? for_window(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : screen_dpi();
}

HFONT create_message_font(int dpi)
{
    NONCLIENTMETRICSW metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    ParametersForDpiFn for_dpi = reinterpret_cast<ParametersForDpiFn>(
        reinterpret_cast<void *>(user32_function("SystemParametersInfoForDpi")));
    if (for_dpi == nullptr ||
        !for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
        // The font at the system's DPI, brought to the window's.
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            return nullptr;
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, screen_dpi());
    }
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The artwork resampled to dpi, or null at 96 DPI (the original is drawn) or
// when it cannot be made.
static HBITMAP scale_artwork(HBITMAP artwork, int dpi)
{
    if (artwork == nullptr || dpi == BASE_DPI) return nullptr;
    int width = scale_to_dpi(HEADER_WIDTH, dpi);
    int height = scale_to_dpi(HEADER_HEIGHT, dpi);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = HEADER_WIDTH;
    info.bmiHeader.biHeight = -HEADER_HEIGHT; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> source(static_cast<size_t>(HEADER_WIDTH) * HEADER_HEIGHT);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, artwork, 0, HEADER_HEIGHT, source.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != HEADER_HEIGHT) return nullptr;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    void *bits = nullptr;
    HBITMAP scaled = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (scaled == nullptr || bits == nullptr) return scaled;
    resample_picture(source.data(), HEADER_WIDTH, HEADER_HEIGHT, static_cast<uint32_t *>(bits),
                     width, height);
    return scaled;
}

void paint_header(HDC dc)
{
    if (scaled_header != nullptr) {
        blit_bitmap(dc, scaled_header, 0, 0, scale_to_dpi(HEADER_WIDTH, window_dpi),
                    scale_to_dpi(HEADER_HEIGHT, window_dpi));
    } else {
        blit_bitmap(dc, header_bitmap, 0, 0, HEADER_WIDTH, HEADER_HEIGHT);
    }
}

// A control placed by its 96-DPI rectangle.
static void place(HWND control, int x, int y, int width, int height, int dpi)
{
    SetWindowPos(control, nullptr, scale_to_dpi(x, dpi), scale_to_dpi(y, dpi),
                 scale_to_dpi(width, dpi), scale_to_dpi(height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void lay_out_window(HWND window, int dpi)
{
    window_dpi = dpi;
    HFONT font = create_message_font(dpi);
    HWND controls[BUTTON_COUNT + 3];
    int count = 0;
    for (const ButtonSpec &button : main_buttons) {
        HWND control = GetDlgItem(window, button.id);
        place(control, button.x, button.y, button.width, button.height, dpi);
        controls[count++] = control;
    }
    place(find_label, FIND_LABEL_X, FIND_LABEL_Y, FIND_LABEL_WIDTH, FIND_LABEL_HEIGHT, dpi);
    place(find_box, FIND_BOX_X, FIND_BOX_Y, FIND_BOX_WIDTH, FIND_BOX_HEIGHT, dpi);
    controls[count++] = find_label;
    controls[count++] = find_box;
    controls[count++] = list_view;
    for (int i = 0; i < count; i++)
        SendMessageW(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    // The controls hold the new font now, so the old one can go.
    if (window_font != nullptr) DeleteObject(window_font);
    window_font = font;
    size_columns(dpi);

    if (scaled_header != nullptr) DeleteObject(scaled_header);
    scaled_header = scale_artwork(header_bitmap, dpi);
    RECT client;
    GetClientRect(window, &client);
    // The list's new top and the stretching column follow from WM_SIZE.
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    InvalidateRect(window, nullptr, TRUE);
}

void release_window_scale()
{
    if (window_font != nullptr) DeleteObject(window_font);
    window_font = nullptr;
    if (scaled_header != nullptr) DeleteObject(scaled_header);
    scaled_header = nullptr;
    find_label = nullptr;
    window_dpi = BASE_DPI;
}
