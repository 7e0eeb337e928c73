// What the list says of each plug-in's file on a real 64-bit Windows: the
// file found as a host of the plug-in's own view finds it (SysWOW64 and
// Program Files (x86) for a 32-bit one), its version, maker and
// architecture read without loading it, and the problem that would keep a
// host from loading it; in the companion's listing and in the window, whose
// cells fill in from a worker thread.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/dll_problem.h"
#include "cli/cli.h"
#include "tests/common/reg_fixture.h"
#include "tests/common/test_dlls.h"
#include "tests/wine/ui_test_support.h"
#include "ui/list_rows.h"

#ifdef MP_TEST_DLL_DIR

namespace {

std::string sz(const std::wstring &text)
{
    return std::string(reinterpret_cast<const char *>(text.c_str()),
                       (text.size() + 1) * sizeof(wchar_t));
}

std::wstring test_dll(const char *file)
{
    std::wstring path = L"Z:";
    for (const char *p = MP_TEST_DLL_DIR; *p != 0; p++) path += *p == '/' ? L'\\' : wchar_t(*p);
    path += L'\\';
    for (const char *p = file; *p != 0; p++) path += wchar_t(*p);
    return path;
}

std::wstring folder(UINT(WINAPI *get)(LPWSTR, UINT))
{
    wchar_t dir[MAX_PATH] = L"";
    get(dir, MAX_PATH);
    return dir;
}

std::wstring env(const wchar_t *name)
{
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

// One registration: where its file is put, the server value, and what the
// row must read.
struct Row {
    const char *clsid;
    const char *name;
    REGSAM view;
    const char *source; // a test DLL, "" for a text file, null for no file
    std::wstring put_at;
    std::wstring server; // null-free; "" for no default value
    DWORD server_type;
    const TestDll *dll; // what reading must give, or null
    int32_t problem;
    std::wstring file; // the path looked at
};

const TestDll *dll_named(const char *file)
{
    for (const TestDll &d : TEST_DLLS)
        if (std::string(d.file) == file) return &d;
    return nullptr;
}

class DllViewProof : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring wow = folder(GetSystemWow64DirectoryW);
        const std::wstring sys = folder(GetSystemDirectoryW);
        const std::wstring x86 = env(L"ProgramFiles(x86)") + L"\\MpViewAcme";
        temp_ = env(L"TEMP");
        ASSERT_FALSE(wow.empty());
        ASSERT_NE(x86, L"\\MpViewAcme");
        CreateDirectoryW(x86.c_str(), nullptr);
        dirs_ = {x86};
        const REGSAM V32 = KEY_WOW64_32KEY, V64 = KEY_WOW64_64KEY;
        rows_ = {
            {"{7E57F11E-0018-4000-8000-000000000001}", "Proof System32 32", V32,
             "x86_translated.dll", wow + L"\\mp_view_a.dll", L"C:\\Windows\\System32\\mp_view_a.dll",
             REG_SZ, dll_named("x86_translated.dll"), DLL_PROBLEM_NONE, wow + L"\\mp_view_a.dll"},
            {"{7E57F11E-0018-4000-8000-000000000002}", "Proof ProgramFiles 32", V32, "x86_plain.dll",
             x86 + L"\\plain.dll", L"%ProgramFiles%\\MpViewAcme\\plain.dll", REG_EXPAND_SZ,
             dll_named("x86_plain.dll"), DLL_PROBLEM_NONE, x86 + L"\\plain.dll"},
            {"{7E57F11E-0018-4000-8000-000000000003}", "Proof only 64 in System32", V32,
             "x64_bare.dll", sys + L"\\mp_view_b.dll", L"C:\\Windows\\System32\\mp_view_b.dll",
             REG_SZ, nullptr, DLL_PROBLEM_NOT_FOUND, wow + L"\\mp_view_b.dll"},
            {"{7E57F11E-0018-4000-8000-000000000004}", "Proof 64 in 32", V32, "x64_translated.dll",
             temp_ + L"\\mp_view_c.dll", temp_ + L"\\mp_view_c.dll", REG_SZ,
             dll_named("x64_translated.dll"), DLL_PROBLEM_64_IN_32, temp_ + L"\\mp_view_c.dll"},
            {"{7E57F11E-0018-4000-8000-000000000005}", "Proof 32 in 64", V64, "x86_bare.dll",
             temp_ + L"\\mp_view_d.dll", temp_ + L"\\mp_view_d.dll", REG_SZ,
             dll_named("x86_bare.dll"), DLL_PROBLEM_32_IN_64, temp_ + L"\\mp_view_d.dll"},
            {"{7E57F11E-0018-4000-8000-000000000006}", "Proof text file", V64, "",
             temp_ + L"\\mp_view_e.dll", temp_ + L"\\mp_view_e.dll", REG_SZ, nullptr,
             DLL_PROBLEM_NOT_PE, temp_ + L"\\mp_view_e.dll"},
            {"{7E57F11E-0018-4000-8000-000000000007}", "Proof 64", V64, "x64_translated.dll",
             sys + L"\\mp_view_f.dll", L"%SystemRoot%\\System32\\mp_view_f.dll", REG_EXPAND_SZ,
             dll_named("x64_translated.dll"), DLL_PROBLEM_NONE,
             folder(GetWindowsDirectoryW) + L"\\System32\\mp_view_f.dll"},
            {"{7E57F11E-0018-4000-8000-000000000008}", "Proof no server", V64, nullptr, L"", L"",
             REG_SZ, nullptr, DLL_PROBLEM_NO_DLL, L""},
        };
        for (const Row &r : rows_) {
            if (r.source != nullptr && r.source[0] != 0) {
                ASSERT_TRUE(CopyFileW(test_dll(r.source).c_str(), r.put_at.c_str(), FALSE))
                    << r.name;
            }
            if (r.source != nullptr && r.source[0] == 0) {
                FILE *f = _wfopen(r.put_at.c_str(), L"wb");
                ASSERT_NE(f, nullptr);
                fputs("MZ but nothing more of a DLL", f);
                fclose(f);
            }
            seed(r);
        }
        ASSERT_EQ(catalogue_init(), 1);
    }

    void seed(const Row &r)
    {
        const std::string cls = std::string("CLSID\\") + r.clsid;
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(r.clsid)).c_str(),
                                   "FriendlyName", REG_SZ, sz(L"x"), r.view));
        std::wstring name(r.name, r.name + strlen(r.name));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, REG_SZ, sz(name), r.view));
        DWORD merit = 0x200000;
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), "Merit", REG_DWORD,
                                   std::string(reinterpret_cast<const char *>(&merit), 4), r.view));
        const std::string server = cls + "\\InprocServer32";
        if (r.server.empty())
            ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, server.c_str(), "ThreadingModel", REG_SZ,
                                       sz(L"Both"), r.view));
        else
            ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, server.c_str(), nullptr, r.server_type,
                                       sz(r.server), r.view));
        for (DWORD dir = 0; dir < 2; dir++) {
            std::string pin = cls + (dir == 0 ? "\\Pins\\Input" : "\\Pins\\Output");
            ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, pin.c_str(), "Direction", REG_DWORD,
                                       std::string(reinterpret_cast<const char *>(&dir), 4), r.view));
            ASSERT_TRUE(fx_set_exact_w(
                HKEY_CLASSES_ROOT,
                (pin + "\\" AUDIO_TYPES_PATH "\\{00000001-0000-0010-8000-00AA00389B71}").c_str(),
                "x", REG_DWORD, std::string(4, '\0'), r.view));
        }
    }

    void TearDown() override
    {
        catalogue_destroy();
        for (const Row &r : rows_) {
            fx_delete_tree_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(r.clsid)).c_str(), r.view);
            fx_delete_tree_exact(HKEY_CLASSES_ROOT, ("CLSID\\" + std::string(r.clsid)).c_str(), r.view);
            if (!r.put_at.empty()) DeleteFileW(r.put_at.c_str());
        }
        for (const std::wstring &d : dirs_) RemoveDirectoryW(d.c_str());
    }

    int index_of(const Row &r)
    {
        int32_t bits = r.view == KEY_WOW64_32KEY ? 32 : 64;
        for (uint32_t i = 1; i <= catalogue_count(); i++) {
            const PlugEntry *e = catalogue_get(static_cast<int>(i));
            if (std::string(e->clsid_text) == r.clsid && e->bits == bits) return static_cast<int>(i);
        }
        return -1;
    }

    std::wstring temp_;
    std::vector<std::wstring> dirs_;
    std::vector<Row> rows_;
};

// The core both front ends print: Exist, the file looked at, what it reads
// as, and the problem.
TEST_F(DllViewProof, EachFileAsItsViewFindsIt)
{
    rebuild_catalogue();
    for (const Row &r : rows_) {
        SCOPED_TRACE(r.name);
        int index = index_of(r);
        ASSERT_GT(index, 0);
        const PlugEntry *e = catalogue_get(index);
        EXPECT_EQ(e->dll_exists, r.problem != DLL_PROBLEM_NO_DLL &&
                                     r.problem != DLL_PROBLEM_NOT_FOUND);
        EXPECT_EQ(std::wstring(catalogue_file(index)), r.file);
        DllFacts facts;
        read_entry_facts(index, &facts);
        EXPECT_EQ(dll_problem(e, &facts), r.problem);
        if (r.dll == nullptr) continue;
        EXPECT_EQ(facts.arch, r.dll->arch);
        EXPECT_STREQ(facts.version, r.dll->version);
        EXPECT_EQ(as_u16(facts.company), std::u16string(r.dll->company));
        EXPECT_EQ(as_u16(facts.description), std::u16string(r.dll->description));
    }
}

std::string run_companion(std::vector<const char *> words, int *code)
{
    words.insert(words.begin(), CLI_PROGRAM_NAME);
    CliArgs args;
    int ok = parse_args(static_cast<int>(words.size()), words.data(), &args);
    FILE *out = tmpfile();
    CliIo io = {out, stderr, nullptr, 0};
    *code = run_cli(&args, ok, &io);
    std::string text;
    rewind(out);
    for (int c; (c = fgetc(out)) != EOF;) text += static_cast<char>(c);
    fclose(out);
    return text;
}

std::string json_text(const std::u16string &text)
{
    std::string out = "\"";
    char esc[8];
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') out += static_cast<char>(c);
        else if (c == '\\') out += "\\\\";
        else {
            snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        }
    }
    return out + "\"";
}

TEST_F(DllViewProof, CompanionListsAndChecksThem)
{
    int code = -1;
    std::string json = run_companion({"list", "--format", "json"}, &code);
    EXPECT_EQ(code, CLI_EXIT_OK);
    for (const Row &r : rows_) {
        SCOPED_TRACE(r.name);
        size_t at = json.find(std::string("\"clsid\": \"") + r.clsid);
        ASSERT_NE(at, std::string::npos);
        std::string object = json.substr(at, json.find('\n', at) - at); // one line each
        const char *problem = problem_text(r.problem);
        EXPECT_NE(object.find(std::string("\"problem\": ") +
                              (problem ? "\"" + std::string(problem) + "\"" : "null")),
                  std::string::npos)
            << object;
        std::u16string file(r.file.begin(), r.file.end());
        EXPECT_NE(object.find("\"file\": " + (file.empty() ? "null" : json_text(file))),
                  std::string::npos)
            << object;
        if (r.dll == nullptr) continue;
        EXPECT_NE(object.find(std::string("\"arch\": \"") + arch_name(r.dll->arch) + "\""),
                  std::string::npos)
            << object;
        if (r.dll->version[0] == 0) continue;
        EXPECT_NE(object.find(std::string("\"version\": \"") + r.dll->version + "\""),
                  std::string::npos);
        EXPECT_NE(object.find("\"company\": " + json_text(r.dll->company)), std::string::npos)
            << object;
    }
    // check: one line for each plug-in with a problem, and exit code 1.
    std::string lines = run_companion({"check"}, &code);
    EXPECT_EQ(code, CLI_EXIT_FAILED);
    for (const Row &r : rows_) {
        size_t at = lines.find(std::string("\"") + r.name + "\"");
        EXPECT_EQ(at != std::string::npos, r.problem != DLL_PROBLEM_NONE) << r.name << "\n" << lines;
        if (at != std::string::npos) {
            EXPECT_NE(lines.find(problem_text(r.problem), at), std::string::npos) << lines;
        }
    }
}

// The window's cells once the worker has read every file, and the tint of
// the rows with a problem.
TEST_F(DllViewProof, WindowFillsTheCellsAndTintsTheProblems)
{
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    sort_column = 0;
    boxes_start();
    HWND window = create_main_window(GetModuleHandleA(nullptr), main_window_proc, MAIN_TITLE);
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 400 && (catalogue_count() == 0 || reading_files()); i++) {
        pump_messages();
        Sleep(20);
    }
    EXPECT_FALSE(reading_files());
    int rows = static_cast<int>(SendMessageA(list_view, LVM_GETITEMCOUNT, 0, 0));
    int checked = 0;
    for (int row = 0; row < rows; row++) {
        int index = ::row_index(row);
        for (const Row &r : rows_) {
            if (index != index_of(r)) continue;
            SCOPED_TRACE(r.name);
            checked++;
            wchar_t text[PLUG_DLL_PATH_SIZE] = L"";
            LVITEMW item = {};
            item.pszText = text;
            item.cchTextMax = PLUG_DLL_PATH_SIZE;
            std::u16string cells[LIST_COLUMN_COUNT];
            for (int c = 0; c < LIST_COLUMN_COUNT; c++) {
                item.iSubItem = c;
                text[0] = 0;
                SendMessageW(list_view, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
                cells[c] = as_u16(text);
            }
            const char *problem = problem_text(r.problem);
            EXPECT_EQ(cells[COLUMN_PROBLEM], as_u16(problem != nullptr ? problem : ""));
            EXPECT_EQ(cells[3], as_u16(r.problem == DLL_PROBLEM_NO_DLL ||
                                               r.problem == DLL_PROBLEM_NOT_FOUND
                                           ? "-no-"
                                           : "Yes"));
            if (r.dll != nullptr) {
                EXPECT_EQ(cells[COLUMN_VERSION], as_u16(r.dll->version));
                // The maker's name in full, in any script.
                EXPECT_EQ(cells[COLUMN_COMPANY], std::u16string(r.dll->company));
            }
            NMLVCUSTOMDRAW draw = {};
            draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
            draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
            draw.nmcd.lItemlParam = index;
            draw.clrTextBk = CLR_DEFAULT;
            draw_list_row(&draw);
            EXPECT_EQ(draw.clrTextBk != CLR_DEFAULT, r.problem != DLL_PROBLEM_NONE);
            // Selected, the row keeps the selection's colours.
            ListView_SetItemState(list_view, row, LVIS_SELECTED, LVIS_SELECTED);
            draw.clrTextBk = CLR_DEFAULT;
            draw_list_row(&draw);
            EXPECT_EQ(draw.clrTextBk, CLR_DEFAULT);
            ListView_SetItemState(list_view, row, 0, LVIS_SELECTED);
        }
    }
    EXPECT_EQ(checked, static_cast<int>(rows_.size()));
    DestroyWindow(window);
    pump_messages();
    UnregisterClassA(MAIN_CLASS_NAME, GetModuleHandleA(nullptr));
    boxes_stop();
}

// Refreshes and an operation while the worker reads: results of a worker
// let go are dropped, and every cell ends as a fresh read says.
TEST_F(DllViewProof, RefreshesAndOperationsWhileReadingLeaveEveryCellRight)
{
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    boxes_start();
    HWND window = create_main_window(GetModuleHandleA(nullptr), main_window_proc, MAIN_TITLE);
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 400 && catalogue_count() == 0; i++) {
        pump_messages();
        Sleep(5);
    }
    // No pumping between: the batches of each worker wait in the queue and
    // arrive after it has been let go.
    SendMessageA(window, WM_COMMAND, CMD_REFRESH, 0);
    SendMessageA(window, WM_COMMAND, CMD_REFRESH, 0);
    EXPECT_TRUE(reading_files());
    ListView_SetItemState(list_view, 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(window, WM_COMMAND, CMD_ENABLE, 0); // a live row: nothing to do
    for (int i = 0; i < 400 && reading_files(); i++) {
        pump_messages();
        Sleep(20);
    }
    EXPECT_FALSE(reading_files());
    EXPECT_TRUE(boxes_caught().empty());
    for (uint32_t index = 1; index <= catalogue_count(); index++) {
        DllFacts fresh;
        read_entry_facts(static_cast<int>(index), &fresh);
        const DllFacts *shown = row_facts(static_cast<int>(index));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(memcmp(shown, &fresh, sizeof fresh), 0) << catalogue_get(static_cast<int>(index))->name;
    }
    DestroyWindow(window);
    pump_messages();
    UnregisterClassA(MAIN_CLASS_NAME, GetModuleHandleA(nullptr));
    boxes_stop();
}

} // namespace

#endif
