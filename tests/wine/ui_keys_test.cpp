// The running program driven from outside with real input: key presses and
// clicks go through the input queue (SendInput) to the window in the
// foreground, as a user's would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/reg_fixture.h"
#include "tests/wine/ui_test_support.h"

namespace {

// Polls until the condition holds; false when it never did.
bool until(const std::function<bool()> &condition)
{
    for (int attempt = 0; attempt < 1000; attempt++) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

void press(WORD key, bool ctrl = false)
{
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, DWORD flags) {
        INPUT input;
        memset(&input, 0, sizeof input);
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    if (ctrl) add(VK_CONTROL, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (ctrl) add(VK_CONTROL, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void type(const char *text) // lower-case letters and digits
{
    for (const char *c = text; *c != 0; c++) press(static_cast<WORD>(VkKeyScanA(*c) & 0xFF));
}

void click(POINT at, int count)
{
    int width = GetSystemMetrics(SM_CXSCREEN) - 1;
    int height = GetSystemMetrics(SM_CYSCREEN) - 1;
    std::vector<INPUT> inputs;
    auto add = [&](DWORD flags) {
        INPUT input;
        memset(&input, 0, sizeof input);
        input.type = INPUT_MOUSE;
        input.mi.dx = (at.x * 65535 + width / 2) / width;
        input.mi.dy = (at.y * 65535 + height / 2) / height;
        input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
        inputs.push_back(input);
    };
    for (int i = 0; i < count; i++) {
        add(MOUSEEVENTF_LEFTDOWN);
        add(MOUSEEVENTF_LEFTUP);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::string text_of(HWND window)
{
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string read_file(const std::string &path)
{
    std::string data;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return data;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) data.append(buffer, n);
    fclose(file);
    return data;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    size_t end = 0;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// What manage-plugins-cli.exe list --format csv writes.
std::string companion_csv()
{
    std::string path = program_path("mp_keys_companion.csv");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::string line = "manage-plugins-cli.exe list --format csv";
    PROCESS_INFORMATION process;
    if (CreateProcessA(program_path("manage-plugins-cli.exe").c_str(), &line[0], nullptr, nullptr,
                       TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 20000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    std::string csv = read_file(path);
    DeleteFileA(path.c_str());
    return csv;
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
        find_ = GetDlgItem(app_.window, FIND_BOX_ID);
        ASSERT_NE(find_, nullptr);
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
    std::string cell(int row, int column)
    {
        return remote_cell(app_.process.hProcess, list_, row, column);
    }
    int row_named(const char *name)
    {
        for (int row = 0; row < rows(); row++)
            if (cell(row, 0) == name) return row;
        return -1;
    }
    int selected_row()
    {
        return static_cast<int>(SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                             MAKELPARAM(LVNI_SELECTED, 0)));
    }
    std::string title()
    {
        char text[128] = "";
        GetWindowTextA(app_.window, text, sizeof text);
        return text;
    }

    // A message box or dialog of the program's, once it is up.
    HWND wait_for_box(const char *caption)
    {
        HWND found = nullptr;
        until([&] {
            found = FindWindowA("#32770", caption);
            DWORD pid = 0;
            if (found != nullptr) GetWindowThreadProcessId(found, &pid);
            return found != nullptr && pid == app_.process.dwProcessId && IsWindowVisible(found);
        });
        return found;
    }

    // The screen point in the middle of a cell.
    POINT cell_centre(int row, int column)
    {
        char *remote = static_cast<char *>(VirtualAllocEx(app_.process.hProcess, nullptr,
                                                          sizeof(RECT), MEM_COMMIT, PAGE_READWRITE));
        RECT rect = {LVIR_BOUNDS, column, 0, 0}; // left: what, top: which column
        SIZE_T done = 0;
        WriteProcessMemory(app_.process.hProcess, remote, &rect, sizeof rect, &done);
        SendMessageA(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(app_.process.hProcess, remote, &rect, sizeof rect, &done);
        VirtualFreeEx(app_.process.hProcess, remote, 0, MEM_RELEASE);
        POINT at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(list_, &at);
        return at;
    }

    Launched app_;
    HWND list_ = nullptr;
    HWND find_ = nullptr;
    int total_ = 0;
};

TEST_F(UiKeys, F5ShowsAPluginAddedWhileTheWindowIsOpen)
{
    const char clsid[] = "{5EED00F5-7A11-4C1E-9D00-0000000000F5}";
    fx_vs3_effect(clsid, "Added Later", "", "C:\\added.dll");
    press(VK_F5);
    EXPECT_TRUE(until([&] { return rows() == total_ + 1; }));
    EXPECT_GE(row_named("Added Later"), 0);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueA(key, clsid);
        RegCloseKey(key);
    }
}

TEST_F(UiKeys, AClickOnADllCellSelectsItsRowAndDeleteAsksFirst)
{
    int row = row_named("Echo 2");
    ASSERT_GE(row, 0);
    click(cell_centre(row, 4), 1);
    ASSERT_TRUE(until([&] { return selected_row() == row; }));
    EXPECT_EQ(SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0), 1);

    std::string before = samples_dump();
    press(VK_DELETE);
    HWND box = wait_for_box("Remove Selecting Plug-ins");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    press(VK_ESCAPE); // Cancel
    ASSERT_TRUE(until([&] { return !IsWindow(box); }));
    EXPECT_EQ(samples_dump(), before);
    EXPECT_EQ(rows(), total_);

    // A double click on a row, like Enter, asks for its Properties.
    click(cell_centre(row_named("Zeta"), 4), 2);
    box = wait_for_box("Properties");
    ASSERT_NE(box, nullptr);
    press(VK_RETURN);
    EXPECT_TRUE(until([&] { return !IsWindow(box); }));
}

TEST_F(UiKeys, CtrlAThenCtrlCCopiesTheHeaderAndEveryRow)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    press('A', true);
    ASSERT_TRUE(until([&] { return SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0) == total_; }));
    press('C', true);
    ASSERT_TRUE(until([] { return IsClipboardFormatAvailable(CF_TEXT) != 0; }));

    std::string expected = "Plug-ins Name\tType\tStatus\tExist\tDLL\r\n";
    for (int row = 0; row < rows(); row++)
        expected += cell(row, 0) + "\t" + cell(row, 1) + "\t" + cell(row, 2) + "\t" +
                    cell(row, 3) + "\t" + cell(row, 4) + "\r\n";
    std::string copied;
    ASSERT_TRUE(until([] { return OpenClipboard(nullptr) != 0; }));
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data != nullptr) copied = static_cast<const char *>(GlobalLock(data));
    if (data != nullptr) GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(copied, expected);
}

TEST_F(UiKeys, TypingInTheFindBoxNarrowsTheRowsAndEscapeRestoresThem)
{
    int matching = 0;
    for (int i = 1; i <= total_; i++) matching += entry_matches(catalogue_get(i), "echo");
    ASSERT_GE(matching, 2);
    ASSERT_LT(matching, total_);

    press('F', true);
    type("xecho");
    press(VK_HOME);
    press(VK_DELETE); // edits the box: "echo"
    ASSERT_TRUE(until([&] { return text_of(find_) == "echo" && rows() == matching; }));
    EXPECT_GE(row_named("Echo"), 0);
    EXPECT_GE(row_named("Echo 2"), 0);
    EXPECT_EQ(row_named("Zeta"), -1);
    EXPECT_EQ(title(), "Manage Plug-ins - " + std::to_string(matching) + " of " +
                           std::to_string(total_));

    press(VK_ESCAPE);
    EXPECT_TRUE(until([&] { return rows() == total_; }));
    EXPECT_EQ(text_of(find_), "");
    EXPECT_EQ(title(), "Manage Plug-ins");
}

TEST_F(UiKeys, CtrlSExportsTheRowsShownAsTheCompanionWritesThem)
{
    std::vector<std::string> companion = lines_of(companion_csv());
    ASSERT_EQ(companion.size(), static_cast<size_t>(total_) + 1);

    press('F', true);
    type("echo");
    ASSERT_TRUE(until([&] { return rows() < total_; }));
    std::string path = program_path("mp_keys_export.csv");
    DeleteFileA(path.c_str());
    press('S', true);
    HWND dialog = wait_for_box("Export list");
    ASSERT_NE(dialog, nullptr);
    HWND name = GetDlgItem(dialog, 0x47C); // the file name box
    if (name == nullptr) name = GetDlgItem(dialog, 0x480);
    ASSERT_NE(name, nullptr);
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    press(VK_RETURN);
    std::vector<std::string> exported;
    EXPECT_TRUE(until([&] {
        exported = lines_of(read_file(path));
        return !IsWindow(dialog) && exported.size() == static_cast<size_t>(rows()) + 1;
    }));
    DeleteFileA(path.c_str());

    // The heading and each record as the companion writes them, in the
    // window's order.
    ASSERT_EQ(exported.size(), static_cast<size_t>(rows()) + 1);
    EXPECT_EQ(exported[0], companion[0]);
    for (int row = 0; row < rows(); row++) {
        const std::string &record = exported[row + 1];
        EXPECT_NE(std::find(companion.begin() + 1, companion.end(), record), companion.end())
            << record;
        EXPECT_EQ(record.rfind(cell(row, 0) + ",", 0), 0u) << record;
    }
}

} // namespace
