// The list is filled with its drawing held back; these make sure it is drawn
// again afterwards, whatever the fill found.
#include <gtest/gtest.h>

#include "tests/wine/ui_test_support.h"

namespace {

WNDPROC window_proc_before = nullptr;
int text_requests = 0;

// Counts the cell texts the list view asks for, i.e. what it draws.
LRESULT CALLBACK counting_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NOTIFY &&
        reinterpret_cast<const NMHDR *>(lparam)->code == static_cast<UINT>(LVN_GETDISPINFOW))
        text_requests++;
    return CallWindowProcW(window_proc_before, window, message, wparam, lparam);
}

class UiListDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
    }

    void SetUp() override
    {
        samples_install();
        ASSERT_EQ(catalogue_init(), 1);
        sort_column = 0;
        window_ = create_main_window(GetModuleHandleA(nullptr), main_window_proc, MAIN_TITLE);
        ASSERT_NE(window_, nullptr);
        // The W form keeps the window a Unicode window.
        window_proc_before = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_proc)));
        pump_messages(); // the first refresh
    }

    void TearDown() override
    {
        if (IsWindow(window_)) DestroyWindow(window_);
        pump_messages();
        UnregisterClassA(MAIN_CLASS_NAME, GetModuleHandleA(nullptr));
        catalogue_destroy();
        samples_remove();
    }

    // Visible, nothing left to paint, and the cells were asked for since the
    // count was reset.
    void expect_drawn(bool with_rows)
    {
        EXPECT_NE(GetWindowLongA(list_view, GWL_STYLE) & WS_VISIBLE, 0);
        EXPECT_TRUE(IsWindowVisible(list_view));
        EXPECT_FALSE(GetUpdateRect(list_view, nullptr, FALSE));
        if (with_rows) {
            EXPECT_GT(text_requests, 0);
        }
    }

    HWND window_ = nullptr;
};

TEST_F(UiListDrawing, TheFirstRefreshIsDrawn)
{
    ASSERT_GE(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0), sample_plugin_count);
    expect_drawn(true);
}

TEST_F(UiListDrawing, ARefreshOverAFullListIsDrawnAgain)
{
    text_requests = 0;
    SendMessageA(window_, WM_COMMAND, CMD_REFRESH, 0);
    pump_messages();
    expect_drawn(true);
}

TEST_F(UiListDrawing, AFillThatFindsNothingLeavesTheEmptyListDrawn)
{
    // A catalogue emptied under the list, as after every plug-in was removed.
    catalogue_destroy();
    ASSERT_EQ(catalogue_init(), 1);
    EXPECT_EQ(fill_list(), 0);
    EXPECT_EQ(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0), 0);
    pump_messages();
    expect_drawn(false);

    // Drawing is on again: a row put in now is drawn.
    rebuild_catalogue();
    text_requests = 0;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.lParam = 1;
    ASSERT_EQ(SendMessageW(list_view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), 0);
    pump_messages();
    EXPECT_GT(text_requests, 0);
}

TEST_F(UiListDrawing, ASortIsDrawn)
{
    text_requests = 0;
    sort_by_column(4);
    pump_messages();
    expect_drawn(true);
}

} // namespace
