// The window at its display's scale. The suite runs in a prefix at 96 DPI,
// and these tests also in prefixes at 144 and 192 DPI (tests.cmake, which
// names the DPI in MP_EXPECT_DPI); every size is the 96-DPI layout scaled.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/ui_test_support.h"

namespace {

typedef DPI_AWARENESS_CONTEXT(WINAPI *SetAwarenessFn)(DPI_AWARENESS_CONTEXT);
typedef BOOL(WINAPI *ParametersForDpiFn)(UINT, UINT, PVOID, UINT, UINT);

FARPROC user32_function(const char *name)
{
    return GetProcAddress(GetModuleHandleA("user32.dll"), name);
}

// This thread sees pixels as the program does, not scaled for an unaware
// caller.
DPI_AWARENESS_CONTEXT set_awareness(DPI_AWARENESS_CONTEXT context)
{
    SetAwarenessFn set = reinterpret_cast<SetAwarenessFn>(
        reinterpret_cast<void *>(user32_function("SetThreadDpiAwarenessContext")));
    return set != nullptr ? set(context) : nullptr;
}

int screen_dpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The message font the system gives for dpi.
LOGFONTW message_font(int dpi)
{
    NONCLIENTMETRICSW metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    ParametersForDpiFn for_dpi = reinterpret_cast<ParametersForDpiFn>(
        reinterpret_cast<void *>(user32_function("SystemParametersInfoForDpi")));
    EXPECT_NE(for_dpi, nullptr);
    if (for_dpi != nullptr) for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    return metrics.lfMessageFont;
}

// A child's rectangle in its parent's client.
RECT child_rect(HWND parent, HWND child)
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

void expect_scaled(const RECT &r, int x, int y, int width, int height, int dpi, const char *what)
{
    EXPECT_NEAR(r.left, scale_to_dpi(x, dpi), 1) << what;
    EXPECT_NEAR(r.top, scale_to_dpi(y, dpi), 1) << what;
    EXPECT_NEAR(r.right - r.left, scale_to_dpi(width, dpi), 1) << what;
    EXPECT_NEAR(r.bottom - r.top, scale_to_dpi(height, dpi), 1) << what;
}

// The window's layout at dpi: its client, the buttons, the find box and the
// list below the strip.
void expect_layout(HWND window, int dpi)
{
    RECT client;
    GetClientRect(window, &client);
    EXPECT_NEAR(client.right, scale_to_dpi(CLIENT_WIDTH, dpi), 2);
    EXPECT_NEAR(client.bottom, scale_to_dpi(CLIENT_HEIGHT, dpi), 2);
    for (const ButtonSpec &b : main_buttons)
        expect_scaled(child_rect(window, GetDlgItem(window, b.id)), b.x, b.y, b.width, b.height,
                      dpi, b.label);
    expect_scaled(child_rect(window, GetDlgItem(window, FIND_BOX_ID)), FIND_BOX_X, FIND_BOX_Y,
                  FIND_BOX_WIDTH, FIND_BOX_HEIGHT, dpi, "find box");
    RECT list = child_rect(window, GetDlgItem(window, LIST_CONTROL_ID));
    EXPECT_EQ(list.left, 0);
    EXPECT_NEAR(list.top, scale_to_dpi(LIST_TOP, dpi), 1);
    EXPECT_EQ(list.right, client.right);
    EXPECT_EQ(list.bottom, client.bottom);
}

class UiDisplayScale : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        // V2 where the system knows it (Wine 8 does not).
        was_ = set_awareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        if (was_ == nullptr) was_ = set_awareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
        ASSERT_NE(was_, nullptr);
        dpi_ = screen_dpi();
        const char *expected = getenv("MP_EXPECT_DPI");
        ASSERT_EQ(dpi_, expected != nullptr ? atoi(expected) : BASE_DPI) << "the prefix's DPI";
    }
    void TearDown() override { set_awareness(was_); }

    DPI_AWARENESS_CONTEXT was_ = nullptr;
    int dpi_ = BASE_DPI;
};

TEST_F(UiDisplayScale, TheProgramIsLaidOutAtTheDisplaysScale)
{
    Launched program;
    ASSERT_TRUE(launch(&program));
    expect_layout(program.window, dpi_);
    EXPECT_EQ(close_and_wait(&program), 0u);
}

TEST_F(UiDisplayScale, ControlsHoldTheMessageFontAndNarrowColumnsHoldTheirTexts)
{
    samples_install();
    ASSERT_EQ(catalogue_init(), 1);
    HWND window = create_main_window(GetModuleHandleA(nullptr), main_window_proc, MAIN_TITLE);
    ASSERT_NE(window, nullptr);
    pump_messages(); // the first refresh
    expect_layout(window, dpi_);

    const LOGFONTW expected = message_font(dpi_);
    EXPECT_NEAR(abs(expected.lfHeight), scale_to_dpi(abs(message_font(BASE_DPI).lfHeight), dpi_), 1);
    const int ids[] = {CMD_ENABLE, CMD_DISABLE, CMD_REMOVE, CMD_PROPERTIES, FIND_BOX_ID,
                       LIST_CONTROL_ID};
    for (int id : ids) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window, id), WM_GETFONT, 0, 0));
        LOGFONTW held;
        memset(&held, 0, sizeof held);
        ASSERT_EQ(GetObjectW(font, sizeof held, &held), static_cast<int>(sizeof held)) << id;
        EXPECT_EQ(held.lfHeight, expected.lfHeight) << id;
        EXPECT_EQ(std::wstring(held.lfFaceName), std::wstring(expected.lfFaceName)) << id;
    }

    // Neither header nor cell of a narrow column is cut to "...".
    int rows = static_cast<int>(SendMessageW(list_view, LVM_GETITEMCOUNT, 0, 0));
    ASSERT_GE(rows, sample_plugin_count);
    for (int column = 0; column < LIST_COLUMN_COUNT; column++) {
        if (list_columns[column].cell_texts == nullptr) continue;
        int width = static_cast<int>(SendMessageW(list_view, LVM_GETCOLUMNWIDTH, column, 0));
        // Row -1 stands for the header; the list view pads text by about 12 pixels.
        for (int row = -1; row < rows; row++) {
            const std::string text =
                row < 0 ? list_columns[column].header : list_cell(list_view, row, column);
            std::vector<WCHAR> wide = wide_text(text.c_str());
            int needed = static_cast<int>(SendMessageW(list_view, LVM_GETSTRINGWIDTHW, 0,
                                                       reinterpret_cast<LPARAM>(wide.data())));
            EXPECT_LE(needed + 12, width) << list_columns[column].header << ": " << text;
        }
    }
    DestroyWindow(window);
    pump_messages();
    UnregisterClassA(MAIN_CLASS_NAME, GetModuleHandleA(nullptr));
    catalogue_destroy();
    samples_remove();
}

} // namespace
