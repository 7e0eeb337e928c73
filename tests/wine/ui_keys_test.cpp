// The running program driven from outside with real input: key presses and
// clicks go through the input queue (SendInput) to the foreground window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/reg_fixture.h"
#include "tests/wine/ui_test_support.h"

namespace {

bool until(const std::function<bool()> &condition) // polls; false if it never held
{
    for (int attempt = 0; attempt < 1000 && !condition(); attempt++) Sleep(20);
    return condition();
}

void send(std::vector<INPUT> inputs)
{
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT key(WORD vk, DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = flags;
    return input;
}

void press(WORD vk) { send({key(vk, 0), key(vk, KEYEVENTF_KEYUP)}); }
void press_ctrl(WORD vk)
{
    send({key(VK_CONTROL, 0), key(vk, 0), key(vk, KEYEVENTF_KEYUP), key(VK_CONTROL, KEYEVENTF_KEYUP)});
}
void type(const char *text) // lower-case letters
{
    for (const char *c = text; *c != 0; c++) press(static_cast<WORD>(VkKeyScanA(*c) & 0xFF));
}

void click(POINT at, int times)
{
    std::vector<INPUT> inputs;
    const DWORD buttons[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 2 * times; i++) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = at.x * 65536 / GetSystemMetrics(SM_CXSCREEN) + 1;
        input.mi.dy = at.y * 65536 / GetSystemMetrics(SM_CYSCREEN) + 1;
        input.mi.dwFlags = buttons[i % 2] | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
        inputs.push_back(input);
    }
    send(inputs);
}

// The lines of a file the window exported: after its UTF-8 mark, or none
// when the mark is missing.
std::vector<std::string> exported_lines(const std::string &path)
{
    std::string text = file_bytes(path);
    if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) return {};
    return csv_lines_of(text.substr(3));
}

// What manage-plugins-cli.exe list --format csv writes.
std::vector<std::string> companion_csv()
{
    return csv_lines_of(companion_csv_bytes());
}

class UiKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        samples_install();
        ASSERT_EQ(catalogue_init(), 1);
        rebuild_catalogue();
        total_ = static_cast<int>(catalogue_count());
        ASSERT_TRUE(launch(&app_));
        list_ = FindWindowExA(app_.window, nullptr, "SysListView32", nullptr);
        ASSERT_EQ(wait_for_rows(list_, total_), total_);
        SetForegroundWindow(app_.window);
        ASSERT_TRUE(until([&] { return GetForegroundWindow() == app_.window; }));
    }
    void TearDown() override
    {
        EXPECT_EQ(close_and_wait(&app_), 0u);
        catalogue_destroy();
        samples_remove();
    }

    int rows() { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }
    std::string cell(int row, int column) { return remote_cell(app_.process.hProcess, list_, row, column); }
    int row_named(const char *name)
    {
        for (int row = 0; row < rows(); row++)
            if (cell(row, 0) == name) return row;
        return -1;
    }
    std::string title()
    {
        char text[128] = "";
        GetWindowTextA(app_.window, text, sizeof text);
        return text;
    }
    HWND wait_for_box(const char *caption) // a box or dialog of the program's
    {
        HWND box = nullptr;
        until([&] {
            DWORD pid = 0;
            box = FindWindowA("#32770", caption);
            GetWindowThreadProcessId(box, &pid);
            return box != nullptr && pid == app_.process.dwProcessId && IsWindowVisible(box);
        });
        return box;
    }
    // Answers the program's Save dialog of that caption with path.
    bool save_as(const char *caption, const std::string &path)
    {
        HWND dialog = wait_for_box(caption);
        if (dialog == nullptr) return false;
        HWND name = GetDlgItem(dialog, 0x47C); // the file name box
        SendMessageA(name != nullptr ? name : GetDlgItem(dialog, 0x480), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(path.c_str()));
        press(VK_RETURN);
        return true;
    }
    POINT cell_centre(int row, int column) // on the screen
    {
        HANDLE process = app_.process.hProcess;
        void *remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
        RECT rect = {LVIR_BOUNDS, column, 0, 0};
        WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr);
        SendMessageA(list_, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        POINT at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(list_, &at);
        return at;
    }

    Launched app_;
    HWND list_ = nullptr;
    int total_ = 0;
};

TEST_F(UiKeys, F5ShowsAPluginAddedWhileTheWindowIsOpen)
{
    const char clsid[] = "{5EED00F5-7A11-4C1E-9D00-0000000000F5}";
    fx_vs3_effect(clsid, "Added Later", "", "C:\\added.dll");
    press(VK_F5);
    EXPECT_TRUE(until([&] { return rows() == total_ + 1; }));
    EXPECT_GE(row_named("Added Later"), 0);
    HKEY effects = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_SET_VALUE, &effects);
    RegDeleteValueA(effects, clsid);
    RegCloseKey(effects);
}

TEST_F(UiKeys, AClickOnADllCellSelectsItsRowAndDeleteAsksFirst)
{
    int row = row_named("Echo 2");
    click(cell_centre(row, 4), 1);
    ASSERT_TRUE(until([&] { return SendMessageA(list_, LVM_GETNEXTITEM, -1, LVNI_SELECTED) == row; }));
    EXPECT_EQ(SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0), 1);

    std::string before = samples_dump();
    press(VK_DELETE);
    HWND box = wait_for_box("Remove Selecting Plug-ins");
    ASSERT_NE(box, nullptr);
    press(VK_ESCAPE); // Cancel
    ASSERT_TRUE(until([&] { return !IsWindow(box); }));
    EXPECT_EQ(samples_dump(), before);
    EXPECT_EQ(rows(), total_);

    click(cell_centre(row_named("Zeta"), 4), 2); // a double click: Properties
    box = wait_for_box("Properties");
    ASSERT_NE(box, nullptr);
    press(VK_RETURN);
    EXPECT_TRUE(until([&] { return !IsWindow(box); }));
}

TEST_F(UiKeys, CtrlAThenCtrlCCopiesTheHeaderAndEveryRow)
{
    ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard() && CloseClipboard());
    press_ctrl('A');
    press_ctrl('C');
    ASSERT_TRUE(until([] { return IsClipboardFormatAvailable(CF_UNICODETEXT) != 0; }));
    std::string copied = clipboard_text();

    std::string expected =
        "Plug-ins Name\tType\tStatus\tExist\tDLL\tBits\tScope\tVersion\tCompany\tProblem\r\n";
    for (int row = 0; row < total_; row++)
        for (int column = 0; column < LIST_COLUMN_COUNT; column++)
            expected += cell(row, column) + (column < LIST_COLUMN_COUNT - 1 ? "\t" : "\r\n");
    EXPECT_EQ(copied, expected);
}

TEST_F(UiKeys, TypingInTheFindBoxNarrowsTheRowsAndEscapeRestoresThem)
{
    int matching = 0;
    for (int i = 1; i <= total_; i++) matching += entry_matches(catalogue_get(i), "echo");
    ASSERT_LT(matching, total_);
    HWND find = GetDlgItem(app_.window, FIND_BOX_ID);
    char text[32] = "";

    press_ctrl('F');
    type("xecho");
    press(VK_HOME);
    press(VK_DELETE); // edits the box, not the list
    press(VK_F5);     // and the narrowing stays through a refresh
    ASSERT_TRUE(until([&] {
        SendMessageA(find, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        return strcmp(text, "echo") == 0 && rows() == matching;
    }));
    EXPECT_GE(row_named("Echo 2"), 0);
    EXPECT_EQ(row_named("Zeta"), -1);
    EXPECT_EQ(title(), "Manage Plug-ins - " + std::to_string(matching) + " of " + std::to_string(total_));

    press(VK_ESCAPE);
    EXPECT_TRUE(until([&] { return rows() == total_; }));
    EXPECT_EQ(title(), "Manage Plug-ins");
}

TEST_F(UiKeys, CtrlSExportsTheRowsShownAsTheCompanionWritesThem)
{
    std::vector<std::string> companion = companion_csv();
    ASSERT_EQ(companion.size(), static_cast<size_t>(total_) + 1);
    press_ctrl('F');
    type("echo");
    ASSERT_TRUE(until([&] { return rows() < total_; }));

    std::string path = unique_temp_path("keys_export.csv");
    DeleteFileA(path.c_str());
    press_ctrl('S');
    ASSERT_TRUE(save_as("Export list", path));
    std::vector<std::string> exported;
    EXPECT_TRUE(until([&] { return (exported = exported_lines(path)).size() == static_cast<size_t>(rows()) + 1; }));
    DeleteFileA(path.c_str());

    // The heading and the records as the companion writes them, in the
    // window's order.
    ASSERT_EQ(exported.size(), static_cast<size_t>(rows()) + 1);
    EXPECT_EQ(exported[0], companion[0]);
    for (int row = 0; row < rows(); row++) {
        const std::string &record = exported[row + 1];
        EXPECT_NE(std::find(companion.begin(), companion.end(), record), companion.end()) << record;
        EXPECT_EQ(record.rfind(cell(row, 0) + ",", 0), 0u) << record;
    }
}

// The backup the window writes before a Remove puts back, through the
// platform's importer, exactly what the Remove deleted.
TEST_F(UiKeys, CtrlEBacksUpTheSelectionAndTheFileUndoesARemove)
{
    const std::string before = samples_dump();
    click(cell_centre(row_named("Echo 2"), 4), 1);
    ASSERT_TRUE(until([&] { return SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }));
    std::string path = unique_temp_path("keys_backup.reg");
    DeleteFileA(path.c_str());
    press_ctrl('E');
    ASSERT_TRUE(save_as("Export registration", path));
    ASSERT_TRUE(until([&] { return file_bytes(path).size() > 100; }));
    EXPECT_EQ(file_bytes(path).substr(0, 4), std::string("\xFF\xFEW\0", 4));

    press(VK_DELETE);
    HWND box = wait_for_box("Remove Selecting Plug-ins");
    ASSERT_NE(box, nullptr);
    press(VK_RETURN); // OK
    ASSERT_TRUE(until([&] { return rows() == total_ - 1; }));
    ASSERT_NE(samples_dump(), before);
    EXPECT_EQ(run_and_wait("reg.exe import \"" + path + "\""), 0);
    EXPECT_EQ(samples_dump(), before);
    DeleteFileA(path.c_str());
}

} // namespace
