// The main window in-process: the real window, list view and message boxes
// over sample plug-ins in the real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "extrainfo/extrainfo.h"
#include "tests/common/reg_fixture.h"
#include "tests/wine/ui_test_support.h"

namespace {

class UiWindow : public ::testing::Test {
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
        boxes_start();
        window_ = create_main_window(GetModuleHandleA(nullptr), main_window_proc, MAIN_TITLE);
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override
    {
        if (IsWindow(window_)) DestroyWindow(window_);
        pump_messages(); // and the quit message WM_DESTROY posted
        UnregisterClassA(MAIN_CLASS_NAME, GetModuleHandleA(nullptr));
        boxes_stop();
        catalogue_destroy();
        samples_remove();
        script_plugins_remove();
    }

    int rows() { return static_cast<int>(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0)); }

    std::string cell(int row, int column) { return list_cell(list_view, row, column); }

    int row_index(int row)
    {
        LVITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (SendMessageA(list_view, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 1)
            return -1;
        return static_cast<int>(item.lParam);
    }

    int row_named(const char *name)
    {
        for (int row = 0; row < rows(); row++)
            if (cell(row, 0) == name) return row;
        return -1;
    }

    // The sample plug-ins' names in display order (other plug-ins the
    // prefix may hold are left out).
    std::vector<std::string> sample_order()
    {
        std::vector<std::string> names;
        for (int row = 0; row < rows(); row++) {
            std::string name = cell(row, 0);
            for (int i = 0; i < sample_plugin_count; i++)
                if (name == sample_plugins[i].name) names.push_back(name);
        }
        return names;
    }

    void select(std::initializer_list<const char *> names)
    {
        LVITEMA state;
        memset(&state, 0, sizeof state);
        state.stateMask = LVIS_SELECTED;
        state.state = 0;
        SendMessageA(list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&state));
        for (const char *name : names) {
            int row = row_named(name);
            ASSERT_GE(row, 0) << name;
            select_row(row);
        }
    }

    void select_row(int row)
    {
        LVITEMA state;
        memset(&state, 0, sizeof state);
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageA(list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&state));
    }

    LRESULT command(WPARAM wparam) { return SendMessageA(window_, WM_COMMAND, wparam, 0); }

    // A click on a column header, through the header control as the mouse
    // would make it.
    void click_header(int column)
    {
        HWND header = reinterpret_cast<HWND>(SendMessageA(list_view, LVM_GETHEADER, 0, 0));
        RECT r;
        SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
        pump_messages();
    }

    // Every row's key in the column is in order: no row belongs before the
    // one above it.
    void expect_sorted_by(int column)
    {
        for (int row = 1; row < rows(); row++) {
            const PlugEntry *above = catalogue_get(row_index(row - 1));
            const PlugEntry *below = catalogue_get(row_index(row));
            ASSERT_NE(above, nullptr);
            ASSERT_NE(below, nullptr);
            EXPECT_LE(compare_plug_entries(above, below, column), 0)
                << "column " << column << " rows " << row - 1 << ", " << row;
        }
    }

    static int position(const std::vector<std::string> &order, const char *name)
    {
        auto at = std::find(order.begin(), order.end(), name);
        return at == order.end() ? -1 : static_cast<int>(at - order.begin());
    }

    static bool filter_live(const SamplePlugin &p)
    {
        return fx_key_exists(HKEY_CLASSES_ROOT, (std::string("Filter\\") + p.clsid).c_str()) != 0;
    }

    static bool in_store(const SamplePlugin &p)
    {
        return fx_key_exists(HKEY_CLASSES_ROOT,
                             (std::string(STORE64_ROOT_PATH "\\") + p.clsid).c_str()) != 0;
    }

    static const SamplePlugin &sample(const char *name)
    {
        for (int i = 0; i < sample_plugin_count; i++)
            if (strcmp(sample_plugins[i].name, name) == 0) return sample_plugins[i];
        return sample_plugins[0];
    }

    void expect_one_box(const char *text, const char *caption, UINT icon, bool has_cancel)
    {
        ASSERT_EQ(boxes_caught().size(), 1u);
        const CaughtBox &box = boxes_caught()[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.icon, icon);
        EXPECT_EQ(box.has_cancel, has_cancel);
        EXPECT_EQ(box.owner, window_);
    }

    HWND window_ = nullptr;
};

TEST_F(UiWindow, WindowClassTitleStyleAndSize)
{
    char text[64] = "";
    GetClassNameA(window_, text, sizeof text);
    EXPECT_STREQ(text, "Tessary-Halvard\xA9w_Main");
    GetWindowTextA(window_, text, sizeof text);
    EXPECT_STREQ(text, "Manage Plug-ins");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)) & MAIN_WINDOW_STYLE,
              MAIN_WINDOW_STYLE);
    EXPECT_EQ(GetWindowLongA(window_, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(GetClassLongPtrA(window_, GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(GetClassLongPtrA(window_, GCL_CBWNDEXTRA), 4u);
    EXPECT_EQ(GetClassLongPtrA(window_, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_MENU + 1));
    EXPECT_TRUE(IsWindowVisible(window_));

    // The client, not the frame, is the layout's size, whatever the frame's.
    RECT client;
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 480);
}

TEST_F(UiWindow, TenColumnsWithTheirHeadersAndWidths)
{
    ASSERT_NE(list_view, nullptr);
    EXPECT_EQ(GetParent(list_view), window_);
    EXPECT_EQ(GetDlgCtrlID(list_view), 1000);
    char cls[32] = "";
    GetClassNameA(list_view, cls, sizeof cls);
    EXPECT_STREQ(cls, "SysListView32");
    DWORD style = static_cast<DWORD>(GetWindowLongA(list_view, GWL_STYLE));
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | LVS_SHOWSELALWAYS | LVS_TYPEMASK),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | LVS_SHOWSELALWAYS | LVS_REPORT));
    EXPECT_EQ(style & (LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_NOCOLUMNHEADER), 0u);
    EXPECT_EQ(SendMessageA(list_view, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);

    HWND header = reinterpret_cast<HWND>(SendMessageA(list_view, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 10);
    const char *headers[10] = {"Plug-ins Name", "Type",  "Status",  "Exist",   "DLL",
                               "Bits",          "Scope", "Version", "Company", "Problem"};
    const int widths[10] = {200, 60, 60, 40, 400, 40, 60, 90, 150, 180};
    for (int i = 0; i < 10; i++) {
        char text[64] = "";
        LVCOLUMNA column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(list_view, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(text, headers[i]);
        EXPECT_EQ(column.cx, widths[i]);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
}

TEST_F(UiWindow, FourButtonsOnTheHeaderStrip)
{
    const struct {
        int id;
        const char *label;
        int x;
    } buttons[] = {{100, "Enable", 3}, {101, "Disable", 105}, {110, "Remove", 210},
                   {120, "Properties", 315}};
    for (const auto &b : buttons) {
        HWND button = GetDlgItem(window_, b.id);
        ASSERT_NE(button, nullptr) << b.label;
        char text[32] = "";
        GetWindowTextA(button, text, sizeof text);
        EXPECT_STREQ(text, b.label);
        GetClassNameA(button, text, sizeof text);
        EXPECT_EQ(lstrcmpiA(text, "Button"), 0);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE)), BUTTON_STYLE) << b.label;
        RECT r;
        GetWindowRect(button, &r);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT *>(&r), 2);
        EXPECT_EQ(r.left, b.x);
        EXPECT_EQ(r.top, 35);
        EXPECT_EQ(r.right - r.left, 100);
        EXPECT_EQ(r.bottom - r.top, 25);
    }
    EXPECT_EQ(GetFocus(), list_view);
}

TEST_F(UiWindow, FirstRefreshRunsFromTheLoopAndFillsEveryCell)
{
    EXPECT_EQ(rows(), 0); // the refresh is posted, not run inside creation
    pump_messages();
    uint32_t count = catalogue_count();
    ASSERT_GE(count, static_cast<uint32_t>(sample_plugin_count));
    ASSERT_EQ(rows(), static_cast<int>(count));

    std::vector<int> seen;
    for (int row = 0; row < rows(); row++) {
        int index = row_index(row);
        seen.push_back(index);
        const PlugEntry *entry = catalogue_get(index);
        ASSERT_NE(entry, nullptr) << "row " << row;
        for (int column = 0; column < 5; column++)
            EXPECT_EQ(cell(row, column), cell_text(entry, column)) << row << "/" << column;
    }
    std::sort(seen.begin(), seen.end());
    for (int i = 0; i < static_cast<int>(seen.size()); i++) EXPECT_EQ(seen[i], i + 1);

    // What the samples look like, cell by cell.
    const struct {
        const char *name, *type, *status, *exist;
    } expected[] = {{"Zeta", "Direct-X", "- OK -", "Yes"},
                    {"alpha", "Direct-X", "- OK -", "-no-"},
                    {"Echo", "VS3", "- OK -", "Yes"},
                    {"Echo 2", "Direct-X", "- OK -", "-no-"},
                    {"Muted", "Direct-X", "Disabled", "Yes"}};
    for (const auto &e : expected) {
        int row = row_named(e.name);
        ASSERT_GE(row, 0) << e.name;
        EXPECT_EQ(cell(row, 1), e.type) << e.name;
        EXPECT_EQ(cell(row, 2), e.status) << e.name;
        EXPECT_EQ(cell(row, 3), e.exist) << e.name;
        EXPECT_EQ(cell(row, 4), sample_dll_path(sample(e.name))) << e.name;
    }
    // Nothing is selected after a refresh.
    EXPECT_EQ(SendMessageA(list_view, LVM_GETSELECTEDCOUNT, 0, 0), 0);
}

TEST_F(UiWindow, SortsByTheClickedColumn)
{
    pump_messages();
    // Until a click: by name, byte by byte.
    std::vector<std::string> order = sample_order();
    EXPECT_LT(position(order, "Zeta"), position(order, "alpha"));
    EXPECT_LT(position(order, "Echo"), position(order, "Echo 2"));
    expect_sorted_by(0);

    for (int column = 4; column >= 0; column--) {
        click_header(column);
        EXPECT_EQ(sort_column, column);
        expect_sorted_by(column);
    }

    click_header(1);
    order = sample_order();
    EXPECT_LT(position(order, "Echo 2"), position(order, "Echo")); // Direct-X before VS3
    for (int row = 1; row < rows(); row++)
        EXPECT_FALSE(cell(row - 1, 1) == "VS3" && cell(row, 1) == "Direct-X");

    click_header(2);
    order = sample_order();
    EXPECT_EQ(position(order, "Muted"), 0);
    for (int row = 1; row < rows(); row++)
        EXPECT_FALSE(cell(row - 1, 2) == "- OK -" && cell(row, 2) == "Disabled");

    click_header(3);
    for (int row = 1; row < rows(); row++)
        EXPECT_FALSE(cell(row - 1, 3) == "-no-" && cell(row, 3) == "Yes");

    // A second click sorts the same way again, never reversed.
    std::vector<std::string> exist_column;
    for (int row = 0; row < rows(); row++) exist_column.push_back(cell(row, 3));
    click_header(3);
    for (int row = 0; row < rows(); row++) EXPECT_EQ(cell(row, 3), exist_column[row]);
}

TEST_F(UiWindow, RefreshKeepsTheLastClickedColumn)
{
    pump_messages();
    click_header(4);
    command(CMD_REFRESH);
    EXPECT_EQ(sort_column, 4);
    expect_sorted_by(4);

    // Also the refresh after Remove.
    select({"alpha"});
    boxes_queue_answer(ANSWER_OK);
    command(CMD_REMOVE);
    EXPECT_EQ(row_named("alpha"), -1);
    expect_sorted_by(4);
}

TEST_F(UiWindow, DisableAndEnableTheSelectedRows)
{
    pump_messages();
    const SamplePlugin &zeta = sample("Zeta");
    const SamplePlugin &echo = sample("Echo");
    select({"Zeta", "Echo"});
    std::vector<std::string> before = sample_order();

    command(CMD_DISABLE);
    EXPECT_TRUE(boxes_caught().empty());
    EXPECT_FALSE(filter_live(zeta));
    EXPECT_TRUE(in_store(zeta));
    EXPECT_TRUE(in_store(echo));
    EXPECT_FALSE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, echo.clsid));
    EXPECT_EQ(cell(row_named("Zeta"), 2), "Disabled");
    EXPECT_EQ(cell(row_named("Echo"), 2), "Disabled");
    EXPECT_EQ(sample_order(), before); // no rebuild, no re-sort

    select({"Zeta"});
    command(CMD_ENABLE);
    EXPECT_TRUE(filter_live(zeta));
    EXPECT_FALSE(in_store(zeta));
    EXPECT_TRUE(in_store(echo));
    EXPECT_EQ(cell(row_named("Zeta"), 2), "- OK -");
    EXPECT_EQ(cell(row_named("Echo"), 2), "Disabled");
}

// A disable that cannot happen is named, with why, in one box; answering it
// changes nothing.
TEST_F(UiWindow, AnOperationThatDidNotHappenIsNamedInOneBox)
{
    const char dual[] = "{5EED0001-7A11-4C1E-9D00-0000000000D1}";
    fx_directx_filter(dual, "Dual Filter", "C:\\dual.dll");
    fx_vs3_effect(dual, "Dual Effect", nullptr, "C:\\dual.dll");
    const std::string store = std::string(STORE64_ROOT_PATH "\\") + dual;
    pump_messages();
    select({"Dual Filter"});
    command(CMD_DISABLE);
    EXPECT_TRUE(boxes_caught().empty());
    const std::string before = fx_dump(HKEY_CLASSES_ROOT, store.c_str()) +
                               fx_dump(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + dual).c_str());
    select({"Dual Effect", "Zeta"});
    command(CMD_DISABLE);
    ASSERT_EQ(boxes_caught().size(), 1u);
    const CaughtBox &box = boxes_caught()[0];
    EXPECT_EQ(box.caption, "Not Done");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(box.text, "These plug-ins were not changed:\n\nDual Effect: the disabled store already "
                        "holds a saved Direct-X registration of this class at HKLM\\Software\\Classes\\" +
                            store + "\n");
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, store.c_str()) +
                  fx_dump(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + dual).c_str()),
              before);
    EXPECT_EQ(cell(row_named("Dual Effect"), 2), "- OK -");
    EXPECT_EQ(cell(row_named("Zeta"), 2), "Disabled");
    fx_delete_tree(HKEY_CLASSES_ROOT, store.c_str());
    fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + dual).c_str());
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueA(key, dual);
        RegCloseKey(key);
    }
}

TEST_F(UiWindow, EnableOfAMixedSelectionChangesOnlyTheDisabledOnes)
{
    pump_messages();
    const SamplePlugin &muted = sample("Muted");
    select({"Muted", "Zeta", "alpha"});
    std::string zeta_before = fx_dump(HKEY_CLASSES_ROOT, "CLSID\\{5EED0001-7A11-4C1E-9D00-000000000001}");
    command(CMD_ENABLE);
    EXPECT_TRUE(boxes_caught().empty());
    EXPECT_TRUE(filter_live(muted));
    EXPECT_FALSE(in_store(muted));
    EXPECT_EQ(cell(row_named("Muted"), 2), "- OK -");
    EXPECT_EQ(cell(row_named("Zeta"), 2), "- OK -");
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, "CLSID\\{5EED0001-7A11-4C1E-9D00-000000000001}"),
              zeta_before);
    // The next rebuild agrees with what the rows show.
    command(CMD_REFRESH);
    EXPECT_EQ(cell(row_named("Muted"), 2), "- OK -");
}

TEST_F(UiWindow, DisabledRowsStayInPlaceWhenSortedByStatus)
{
    pump_messages();
    click_header(2);
    std::vector<std::string> before = sample_order();
    select({"alpha"});
    command(CMD_DISABLE);
    EXPECT_EQ(sample_order(), before);
    EXPECT_EQ(cell(row_named("alpha"), 2), "Disabled");
    // The next refresh sorts it among the disabled ones.
    command(CMD_REFRESH);
    std::vector<std::string> after = sample_order();
    EXPECT_LT(position(after, "alpha"), position(after, "Zeta"));
}

TEST_F(UiWindow, ButtonClicksReachTheCommands)
{
    pump_messages();
    select({"Zeta"});
    SendMessageA(GetDlgItem(window_, CMD_DISABLE), BM_CLICK, 0, 0);
    EXPECT_FALSE(filter_live(sample("Zeta")));
    SendMessageA(GetDlgItem(window_, CMD_ENABLE), BM_CLICK, 0, 0);
    EXPECT_TRUE(filter_live(sample("Zeta")));
    SendMessageA(GetDlgItem(window_, CMD_PROPERTIES), BM_CLICK, 0, 0);
    ASSERT_EQ(boxes_caught().size(), 1u);
    EXPECT_EQ(boxes_caught()[0].caption, "Properties");
}

TEST_F(UiWindow, RemoveAfterOkDeletesTheSelectedPlugins)
{
    pump_messages();
    int before = rows();
    select({"alpha", "Echo", "Muted"});
    boxes_queue_answer(ANSWER_OK);
    command(CMD_REMOVE);
    expect_one_box(REMOVE_QUESTION, "Remove Selecting Plug-ins", MB_ICONQUESTION, true);
    EXPECT_NE(boxes_caught()[0].text.find("registry\nTo use"), std::string::npos);

    EXPECT_FALSE(filter_live(sample("alpha")));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, "CLSID\\{5EED0002-7A11-4C1E-9D00-000000000002}"));
    EXPECT_FALSE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, sample("Echo").clsid));
    EXPECT_FALSE(in_store(sample("Muted"))); // a disabled one loses its saved copy
    EXPECT_EQ(rows(), before - 3);
    EXPECT_EQ(row_named("alpha"), -1);
    EXPECT_EQ(row_named("Echo"), -1);
    EXPECT_EQ(row_named("Muted"), -1);
    EXPECT_GE(row_named("Echo 2"), 0);
    EXPECT_EQ(SendMessageA(list_view, LVM_GETSELECTEDCOUNT, 0, 0), 0);
}

TEST_F(UiWindow, RemoveDeclinedRemovesNothing)
{
    pump_messages();
    const BoxAnswer declines[] = {ANSWER_CANCEL, ANSWER_ESCAPE, ANSWER_CLOSE_BUTTON};
    for (BoxAnswer answer : declines) {
        boxes_clear();
        select({"Zeta", "Muted"});
        std::string before = samples_dump();
        int count = rows();
        boxes_queue_answer(answer);
        command(CMD_REMOVE);
        EXPECT_EQ(boxes_caught().size(), 1u) << answer;
        EXPECT_EQ(samples_dump(), before) << answer;
        EXPECT_EQ(rows(), count) << answer;
    }
}

TEST_F(UiWindow, RemovingEverySampleLeavesNoSampleRow)
{
    pump_messages();
    for (int i = 0; i < sample_plugin_count; i++) select_row(row_named(sample_plugins[i].name));
    boxes_queue_answer(ANSWER_OK);
    command(CMD_REMOVE);
    EXPECT_TRUE(sample_order().empty());
    EXPECT_EQ(rows(), static_cast<int>(catalogue_count()));
}

TEST_F(UiWindow, ButtonsWithNothingSelectedWarnAndChangeNothing)
{
    pump_messages();
    std::string before = samples_dump();
    const WPARAM ids[] = {CMD_ENABLE, CMD_DISABLE, CMD_REMOVE};
    for (WPARAM id : ids) {
        boxes_clear();
        command(id);
        expect_one_box("Select Plug-ins in the List below", "Nothing Selected", MB_ICONWARNING,
                       false);
        EXPECT_EQ(samples_dump(), before) << id;
    }
}

TEST_F(UiWindow, PropertiesNeedsExactlyOneSelectedRow)
{
    pump_messages();
    command(CMD_PROPERTIES);
    expect_one_box("Select a SINGLE Plug-ins in the List below", "Nothing Selected",
                   MB_ICONWARNING, false);
    boxes_clear();
    select({"Zeta", "Echo"});
    command(CMD_PROPERTIES);
    expect_one_box("Select a SINGLE Plug-ins in the List below", "Nothing Selected",
                   MB_ICONWARNING, false);
}

TEST_F(UiWindow, PropertiesShowsTheReportOfTheSelectedPlugin)
{
    pump_messages();
    select({"Zeta"});
    command(CMD_PROPERTIES);
    ASSERT_EQ(boxes_caught().size(), 1u);
    const CaughtBox &box = boxes_caught()[0];
    EXPECT_EQ(box.caption, "Properties");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_FALSE(box.has_cancel);
    char report[REPORT_SIZE];
    ASSERT_EQ(properties_text_for_entry(first_selected_index(), report, sizeof report), 1);
    EXPECT_EQ(box.text, report);
    EXPECT_EQ(box.text.rfind("Name : Zeta FX\nCompany : Tessary\n", 0), 0u) << box.text;
    EXPECT_NE(box.text.find("Category : Reverb\n"), std::string::npos);
    EXPECT_NE(box.text.find("Accepted Min SampleRate : 44100 Hz\n"), std::string::npos);
    EXPECT_NE(box.text.find("GUI supplied : Yes\n"), std::string::npos);
}

TEST_F(UiWindow, PropertiesWithoutExtraInformationWarns)
{
    pump_messages();
    const char *plain[] = {"alpha", "Muted"}; // the disabled one's class key is not live
    for (const char *name : plain) {
        boxes_clear();
        select({name});
        command(CMD_PROPERTIES);
        expect_one_box("There is no Extra Information attached on this plug-in", "Properties",
                       MB_ICONWARNING, false);
    }
}

TEST_F(UiWindow, FirstSelectedIndexIsTheTopmostSelectedRow)
{
    pump_messages();
    EXPECT_EQ(first_selected_index(), -1);
    ASSERT_GE(rows(), 5);
    select({});
    select_row(3);
    select_row(1);
    EXPECT_EQ(first_selected_index(), row_index(1));
}

TEST_F(UiWindow, ACommandWithANotificationCodeDoesNothing)
{
    pump_messages();
    select({"Zeta"});
    std::string before = samples_dump();
    const WPARAM commands[] = {MAKEWPARAM(CMD_DISABLE, 1), MAKEWPARAM(CMD_REMOVE, EN_CHANGE),
                               MAKEWPARAM(CMD_PROPERTIES, 2), MAKEWPARAM(CMD_ENABLE, 0x8000),
                               999, 0};
    for (WPARAM wparam : commands) command(wparam);
    EXPECT_TRUE(boxes_caught().empty());
    EXPECT_EQ(samples_dump(), before);
    EXPECT_EQ(cell(row_named("Zeta"), 2), "- OK -");
}

// Observes the popup menu from inside its modal loop, then closes it.
struct MenuWatch {
    bool seen;
    HMENU menu;
    RECT rect;
};
MenuWatch menu_watch;

VOID CALLBACK watch_menu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND popup = FindWindowA("#32768", nullptr);
    if (popup != nullptr && IsWindowVisible(popup)) {
        menu_watch.seen = true;
        menu_watch.menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        GetWindowRect(popup, &menu_watch.rect);
    }
    EndMenu();
}

TEST_F(UiWindow, PopupMenuOpensOnTheHeaderStrip)
{
    pump_messages();
    ASSERT_NE(popup_menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup_menu), 3);
    EXPECT_EQ(GetMenuItemID(popup_menu, 0), static_cast<UINT>(CMD_WEB_PAGE));
    char label[64] = "";
    GetMenuStringA(popup_menu, 0, label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "Goto WWW.EXAMPLE.ORG");
    EXPECT_EQ(GetMenuItemID(popup_menu, 1), static_cast<UINT>(CMD_EXPORT));
    GetMenuStringA(popup_menu, 1, label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "Export list...");
    EXPECT_EQ(GetMenuItemID(popup_menu, 2), static_cast<UINT>(CMD_EXPORT_REG));
    GetMenuStringA(popup_menu, 2, label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "Export registration...");

    const UINT clicks[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN};
    for (UINT click : clicks) {
        menu_watch = MenuWatch{false, nullptr, {0, 0, 0, 0}};
        SetForegroundWindow(window_);
        SetTimer(nullptr, 0, 200, watch_menu);
        LRESULT result = SendMessageA(window_, click, 0, MAKELPARAM(500, 20));
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(menu_watch.seen) << click;
        EXPECT_EQ(menu_watch.menu, popup_menu);
        POINT at = {500, 20};
        ClientToScreen(window_, &at);
        EXPECT_EQ(menu_watch.rect.left, at.x);
        EXPECT_EQ(menu_watch.rect.top, at.y);
    }
    EXPECT_TRUE(boxes_caught().empty());
}

TEST_F(UiWindow, SizeChangesFitTheListBelowTheStrip)
{
    pump_messages();
    const SIZE sizes[] = {{900, 700}, {400, 300}, {640, 480}};
    for (SIZE size : sizes) {
        SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(window_, &client);
        RECT list;
        GetWindowRect(list_view, &list);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT *>(&list), 2);
        EXPECT_EQ(list.left, 0);
        EXPECT_EQ(list.top, 65);
        EXPECT_EQ(list.right, client.right);
        EXPECT_EQ(list.bottom, client.bottom);
    }
    // A client lower than the strip leaves the list without height.
    EXPECT_EQ(SendMessageA(window_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 40)), 0);
    RECT list;
    GetWindowRect(list_view, &list);
    EXPECT_EQ(list.right - list.left, 300);
    EXPECT_LE(list.bottom - list.top, 0);
    ShowWindow(window_, SW_MINIMIZE);
    pump_messages();
    ShowWindow(window_, SW_RESTORE);
    pump_messages();
    EXPECT_TRUE(IsWindow(list_view));
}

TEST_F(UiWindow, DllColumnTakesTheRoomOfAWiderWindow)
{
    pump_messages();
    ShowWindow(window_, SW_MAXIMIZE);
    RECT list;
    GetWindowRect(list_view, &list);
    int room = list.right - list.left - (200 + 60 + 60 + 40 + 40 + 60 + 90 + 150 + 180) -
               GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_GT(room, 400);
    EXPECT_EQ(SendMessageA(list_view, LVM_GETCOLUMNWIDTH, 4, 0), room);
    ShowWindow(window_, SW_RESTORE);
    EXPECT_EQ(SendMessageA(list_view, LVM_GETCOLUMNWIDTH, 4, 0), 400);
}

// Names in other scripts are shown, found, copied and exported exactly, and
// the buttons act on their rows.
TEST_F(UiWindow, NamesInAnyScriptAreShownFoundCopiedAndExportedExactly)
{
    script_plugins_install();
    command(CMD_REFRESH);
    pump_messages();
    for (int i = 0; i < script_plugin_count; i++)
        EXPECT_GE(row_named(script_plugins[i].name), 0) << script_plugins[i].name;

    SetWindowTextW(find_box, L"\u0436\u0443\u043a"); // "жук"; its EN_CHANGE narrows
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(cell(0, 0), u8"Жук Дилэй");
    SetWindowTextW(find_box, L"");
    ASSERT_GT(rows(), script_plugin_count);

    // Copied as UTF-16, each row's name exactly.
    select({script_plugins[0].name, script_plugins[1].name, script_plugins[2].name,
            script_plugins[3].name, script_plugins[4].name});
    ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard() && CloseClipboard());
    copy_selected_rows(window_);
    std::vector<std::string> copied = csv_lines_of(clipboard_text());
    ASSERT_EQ(copied.size(), static_cast<size_t>(script_plugin_count) + 1);
    EXPECT_EQ(copied[0], "Plug-ins Name\tType\tStatus\tExist\tDLL\tBits\tScope\tVersion\tCompany\tProblem");
    for (int i = 0; i < script_plugin_count; i++) {
        std::string line = std::string(script_plugins[i].name) + "\tDirect-X\t";
        EXPECT_EQ(std::count_if(copied.begin(), copied.end(),
                                [&](const std::string &l) { return l.rfind(line, 0) == 0; }),
                  1)
            << script_plugins[i].name;
    }

    // A UTF-8 mark, then exactly what the companion writes, line for line.
    std::string path = unique_temp_path("scripts.csv");
    FILE *out = fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(write_shown_rows_csv(out), 1);
    fclose(out);
    std::string exported = file_bytes(path);
    DeleteFileA(path.c_str());
    ASSERT_EQ(exported.substr(0, 3), "\xEF\xBB\xBF");
    std::vector<std::string> lines = csv_lines_of(exported.substr(3));
    std::vector<std::string> companion = csv_lines_of(companion_csv_bytes());
    ASSERT_FALSE(companion.empty());
    EXPECT_EQ(lines[0], companion[0]);
    std::sort(lines.begin(), lines.end());
    std::sort(companion.begin(), companion.end());
    EXPECT_EQ(lines, companion);
    for (int i = 0; i < script_plugin_count; i++)
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string &l) {
                                    return l.rfind(std::string(script_plugins[i].name) + ",", 0) == 0;
                                }),
                  1)
            << script_plugins[i].name;

    // The buttons act by catalogue index, whatever the name.
    const char *beetle = script_plugins[2].name;
    select({beetle});
    command(CMD_DISABLE);
    EXPECT_EQ(cell(row_named(beetle), 2), "Disabled");
    select({beetle});
    command(CMD_ENABLE);
    EXPECT_EQ(cell(row_named(beetle), 2), "- OK -");
    select({beetle});
    command(CMD_REMOVE); // the question is answered OK
    pump_messages();
    EXPECT_EQ(row_named(beetle), -1);
    EXPECT_EQ(fx_key_exists(HKEY_CLASSES_ROOT,
                            (std::string("Filter\\") + script_plugins[2].clsid).c_str()),
              0);
}

TEST_F(UiWindow, OperationsActOnlyOnTheRowsTheFindBoxShows)
{
    pump_messages();
    select({"Zeta", "Echo"});
    SetWindowTextA(find_box, "ECHO"); // its EN_CHANGE narrows the list; Zeta is hidden
    command(CMD_DISABLE);
    EXPECT_TRUE(filter_live(sample("Zeta")));
    EXPECT_TRUE(in_store(sample("Echo")));
    click_header(4);
    EXPECT_EQ(sample_order(), (std::vector<std::string>{"Echo", "Echo 2"}));
}

// A 32-bit top-down surface to paint into and read back.
struct Surface {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ replaced;
    uint32_t *pixels;
    int width, height;
};

Surface make_surface(int width, int height)
{
    Surface s;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    s.dc = CreateCompatibleDC(nullptr);
    s.bitmap = CreateDIBSection(s.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    s.replaced = SelectObject(s.dc, s.bitmap);
    s.pixels = static_cast<uint32_t *>(bits);
    s.width = width;
    s.height = height;
    for (int i = 0; i < width * height; i++) s.pixels[i] = 0x00FF00FF;
    return s;
}

void free_surface(Surface &s)
{
    SelectObject(s.dc, s.replaced);
    DeleteObject(s.bitmap);
    DeleteDC(s.dc);
}

TEST_F(UiWindow, BackgroundIsTheHeaderArtwork)
{
    pump_messages();
    // This test binary carries no artwork of its own: take the program's.
    HMODULE program = LoadLibraryExA(program_path("ManagePlugins.exe").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HBITMAP artwork = LoadBitmapA(program, MAKEINTRESOURCEA(HEADER_BITMAP_ID));
    ASSERT_NE(artwork, nullptr);
    if (header_bitmap != nullptr) DeleteObject(header_bitmap);
    header_bitmap = artwork; // released by WM_DESTROY like its own

    Surface expected = make_surface(2000, 66);
    Surface painted = make_surface(2100, 80);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, artwork);
    BitBlt(expected.dc, 0, 0, 2000, 66, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);

    EXPECT_NE(SendMessageA(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(painted.dc), 0), 0);
    GdiFlush();
    int differing = 0;
    for (int y = 0; y < 66; y++)
        for (int x = 0; x < 2000; x++)
            differing += painted.pixels[y * 2100 + x] != expected.pixels[y * 2000 + x];
    EXPECT_EQ(differing, 0);
    // Nothing outside the 2000 x 66 strip is painted.
    EXPECT_EQ(painted.pixels[66 * 2100 + 5], 0x00FF00FFu);
    EXPECT_EQ(painted.pixels[10 * 2100 + 2050], 0x00FF00FFu);

    // The blit leaves no GDI object behind.
    DWORD objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 50; i++) blit_bitmap(painted.dc, artwork, 0, 0, 2000, 66);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);

    free_surface(expected);
    free_surface(painted);
    DestroyWindow(window_);
    EXPECT_EQ(header_bitmap, nullptr);
    FreeLibrary(program);
}

TEST_F(UiWindow, CloseDestroysTheWindowAndPostsQuit)
{
    pump_messages();
    EXPECT_EQ(SendMessageA(window_, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_TRUE(boxes_caught().empty());
    EXPECT_EQ(popup_menu, nullptr);
    EXPECT_EQ(header_bitmap, nullptr);
    EXPECT_EQ(pump_messages(), 1);
}

TEST_F(UiWindow, UnknownNotificationsAndDoubleClicksBesideTheRowsDoNothing)
{
    pump_messages();
    std::string before = samples_dump();
    NMITEMACTIVATE other;
    memset(&other, 0, sizeof other);
    other.hdr.hwndFrom = list_view;
    other.hdr.idFrom = 1000;
    other.hdr.code = NM_DBLCLK;
    other.iItem = -1; // below the last row
    EXPECT_EQ(SendMessageA(window_, WM_NOTIFY, 1000, reinterpret_cast<LPARAM>(&other)), 0);
    other.hdr.code = LVN_KEYDOWN;
    EXPECT_EQ(SendMessageA(window_, WM_NOTIFY, 1000, reinterpret_cast<LPARAM>(&other)), 0);
    EXPECT_TRUE(boxes_caught().empty());
    EXPECT_EQ(samples_dump(), before);
}

// ---- start-up ------------------------------------------------------------------

class UiStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        boxes_start();
    }
    void TearDown() override
    {
        pump_messages();
        UnregisterClassA(MAIN_CLASS_NAME, GetModuleHandleA(nullptr));
        boxes_stop();
    }
};

LRESULT CALLBACK refuse_creation(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_CREATE) return -1;
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(UiStartup, ARegisteredClassNameMeansFailedToRecordClass)
{
    WNDCLASSA taken;
    memset(&taken, 0, sizeof taken);
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleA(nullptr);
    taken.lpszClassName = MAIN_CLASS_NAME;
    ASSERT_NE(RegisterClassA(&taken), 0);
    EXPECT_EQ(create_main_window(GetModuleHandleA(nullptr), main_window_proc, "Other title"),
              nullptr);
    ASSERT_EQ(boxes_caught().size(), 1u);
    EXPECT_EQ(boxes_caught()[0].text, "Failed to Record Class...");
    EXPECT_EQ(boxes_caught()[0].caption, "Manage Plug-ins"); // not the title argument
    EXPECT_EQ(boxes_caught()[0].icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(boxes_caught()[0].owner, nullptr);
    EXPECT_EQ(app_instance, GetModuleHandleA(nullptr));
}

TEST_F(UiStartup, AWindowThatCannotBeCreatedMeansFailedToCreateWindow)
{
    EXPECT_EQ(create_main_window(GetModuleHandleA(nullptr), refuse_creation, "Other title"),
              nullptr);
    ASSERT_EQ(boxes_caught().size(), 1u);
    EXPECT_EQ(boxes_caught()[0].text, "Failed to Create Window...");
    EXPECT_EQ(boxes_caught()[0].caption, "Manage Plug-ins");
    EXPECT_EQ(boxes_caught()[0].icon, static_cast<UINT>(MB_ICONWARNING));
}

HWND app_window = nullptr;
int app_rows = -1;

VOID CALLBACK close_when_filled(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND window = FindWindowA(MAIN_CLASS_NAME, nullptr);
    if (window == nullptr || list_view == nullptr) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId()) return;
    int count = static_cast<int>(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0));
    if (count < static_cast<int>(catalogue_count()) || count == 0) return;
    KillTimer(nullptr, timer);
    app_window = window;
    app_rows = count;
    PostMessageA(window, WM_CLOSE, 0, 0);
}

TEST_F(UiStartup, AppMainRunsUntilTheWindowClosesAndReturnsZero)
{
    samples_install();
    char here[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof here, here);
    app_window = nullptr;
    app_rows = -1;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, close_when_filled);
    int code = app_main(GetModuleHandleA(nullptr), nullptr, const_cast<char *>(""), SW_HIDE);
    KillTimer(nullptr, timer);
    samples_remove();
    EXPECT_EQ(code, 0);
    EXPECT_NE(app_window, nullptr);
    EXPECT_FALSE(IsWindow(app_window));
    EXPECT_GE(app_rows, sample_plugin_count);
    EXPECT_STREQ(start_dir, here);
    EXPECT_EQ(catalogue_count(), 0u); // released
    EXPECT_TRUE(boxes_caught().empty());
}

TEST_F(UiStartup, CaptureStartDirTakesTheWorkingDirectory)
{
    char saved[START_DIR_SIZE];
    memcpy(saved, start_dir, sizeof saved);
    char here[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof here, here);
    strcpy(start_dir, "C:\\");
    capture_start_dir();
    EXPECT_STREQ(start_dir, here);
    memcpy(start_dir, saved, sizeof saved);
}

// ---- documents and links -------------------------------------------------------

class UiLinks : public ::testing::Test {
protected:
    void SetUp() override
    {
        memcpy(saved_, start_dir, sizeof saved_);
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        base_ = temp;
        if (!base_.empty() && base_.back() == '\\') base_.pop_back();
        dotted_ = base_ + "\\mp ui Tools.new";
        CreateDirectoryA(dotted_.c_str(), nullptr);
        // The documents are looked for in the start directory first.
        for (const std::string &dir : {base_, dotted_})
            for (const char *file : {README_FILE, LICENSE_FILE}) put_file(dir + "\\" + file);
    }
    void TearDown() override
    {
        for (const std::string &dir : {base_, dotted_})
            for (const char *file : {README_FILE, LICENSE_FILE}) DeleteFileA((dir + "\\" + file).c_str());
        RemoveDirectoryA(dotted_.c_str());
        memcpy(start_dir, saved_, sizeof saved_);
    }
    std::string dir_for(const std::string &start, WPARAM id)
    {
        strcpy(start_dir, start.c_str());
        LinkTarget target;
        if (!link_target(id, &target)) return "<none>";
        return target.dir == nullptr ? "<null>" : target.dir;
    }
    static void put_file(const std::string &path)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(file);
    }
    // The folder of this program, where the build and the package put the
    // documents.
    static std::string program_dir()
    {
        std::string dir = program_path("");
        dir.pop_back();
        return dir;
    }
    char saved_[START_DIR_SIZE];
    std::string base_;
    std::string dotted_;
};

TEST_F(UiLinks, DocumentsOpenFromTheStartDirectoryEvenWithADotInIt)
{
    EXPECT_EQ(dir_for(dotted_, CMD_README), dotted_);  // exists: a directory, kept
    EXPECT_EQ(dir_for(dotted_, CMD_LICENSE), dotted_);
    EXPECT_EQ(dir_for(base_ + "\\mp ui gone.new", CMD_README), base_); // names none: stripped
    EXPECT_EQ(dir_for(base_, CMD_LICENSE), base_);
    EXPECT_EQ(dir_for("C:\\", CMD_README), program_dir()); // not there: beside the program
}

TEST_F(UiLinks, DocumentsMissingFromTheStartDirectoryOpenBesideTheProgram)
{
    // As from a shortcut that starts the program in another folder.
    std::string elsewhere = base_ + "\\mp ui elsewhere";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    for (WPARAM id : {CMD_README, CMD_LICENSE}) {
        LinkTarget target;
        ASSERT_EQ(dir_for(elsewhere, id), program_dir()) << id;
        link_target(id, &target);
        std::string path = program_dir() + "\\" + target.file;
        DWORD attributes = GetFileAttributesA(path.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            << path;
    }
    RemoveDirectoryA(elsewhere.c_str());
}

TEST_F(UiLinks, TargetsById)
{
    struct {
        WPARAM id;
        const char *file;
    } cases[] = {{CMD_README, "readme.txt"},
                 {CMD_LICENSE, "license.txt"},
                 {CMD_WEB_PAGE, "https://example.org/manage-plugins"},
                 {CMD_MAIL, "mailto:support@example.org"}};
    for (const auto &c : cases) {
        LinkTarget target;
        ASSERT_EQ(link_target(c.id, &target), 1);
        EXPECT_STREQ(target.file, c.file);
        EXPECT_EQ(target.dir == nullptr, c.id == CMD_WEB_PAGE || c.id == CMD_MAIL);
    }
    const WPARAM others[] = {0, 887, 892, 100, MAKEWPARAM(CMD_README, 1)};
    for (WPARAM id : others) {
        LinkTarget target;
        EXPECT_EQ(link_target(id, &target), 0) << id;
    }
}

TEST(UiStripFileNameAnsi, SplitsWithTheAnsiCodePage)
{
    const struct {
        const char *path, *expected;
    } cases[] = {{"C:\\Audio\\Tools", "C:\\Audio\\Tools"},
                 {"C:\\Audio\\Tools.new", "C:\\Audio"},
                 {"D:\\", "D:\\"},
                 {"C:\\Audio\\\xE9t\xE9.x", "C:\\Audio"}};
    for (const auto &c : cases) {
        char path[64];
        strcpy(path, c.path);
        strip_file_name(path);
        EXPECT_STREQ(path, c.expected);
    }
}

} // namespace
