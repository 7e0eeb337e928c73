#include "tests/wine/ui_test_support.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <deque>
#include <string>

#include "tests/common/reg_fixture.h"

// ---- message boxes ----------------------------------------------------------

static HHOOK box_hook = nullptr;
static std::vector<CaughtBox> caught;
static std::deque<BoxAnswer> answers;
static HWND last_box = nullptr;

struct BoxParts {
    HWND icon;
    HWND text;
};

static BOOL CALLBACK find_box_parts(HWND child, LPARAM param)
{
    BoxParts *parts = reinterpret_cast<BoxParts *>(param);
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0) return TRUE;
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
        if (parts->icon == nullptr) parts->icon = child;
    } else if (GetWindowTextLengthA(child) > 0 && parts->text == nullptr) {
        parts->text = child;
    }
    return TRUE;
}

static UINT icon_kind(HWND icon_control)
{
    if (icon_control == nullptr) return 0;
    HICON shown = reinterpret_cast<HICON>(SendMessageA(icon_control, STM_GETICON, 0, 0));
    if (shown == nullptr) return 0;
    struct {
        LPCSTR id;
        UINT kind;
    } kinds[] = {{IDI_EXCLAMATION, MB_ICONWARNING},
                 {IDI_ASTERISK, MB_ICONINFORMATION},
                 {IDI_QUESTION, MB_ICONQUESTION},
                 {IDI_HAND, MB_ICONERROR}};
    for (const auto &k : kinds)
        if (LoadIconA(nullptr, k.id) == shown) return k.kind;
    return 0xFFFFFFFFu; // an icon, but none of the system's
}

static void answer_box(HWND box, BoxAnswer answer)
{
    // Posted, so the box's own modal loop picks it up like user input.
    switch (answer) {
    case ANSWER_OK:
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        break;
    case ANSWER_CANCEL:
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDCANCEL)));
        break;
    case ANSWER_ESCAPE:
        PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(box, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
        break;
    case ANSWER_CLOSE_BUTTON:
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

static LRESULT CALLBACK box_hook_proc(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wparam);
        char cls[16] = "";
        GetClassNameA(box, cls, sizeof cls);
        if (strcmp(cls, "#32770") == 0 && box != last_box) {
            last_box = box;
            CaughtBox seen;
            // Read wide, so the box's text is exact in any script.
            WCHAR buffer[4096] = {0};
            GetWindowTextW(box, buffer, 4096);
            seen.caption = fx_utf8(buffer, wcslen(buffer));
            BoxParts parts = {nullptr, nullptr};
            EnumChildWindows(box, find_box_parts, reinterpret_cast<LPARAM>(&parts));
            buffer[0] = 0;
            if (parts.text != nullptr) GetWindowTextW(parts.text, buffer, 4096);
            seen.text = fx_utf8(buffer, wcslen(buffer));
            seen.icon = icon_kind(parts.icon);
            HWND cancel = GetDlgItem(box, IDCANCEL);
            seen.has_cancel =
                cancel != nullptr && (GetWindowLongA(cancel, GWL_STYLE) & WS_VISIBLE) != 0;
            seen.owner = GetWindow(box, GW_OWNER);
            caught.push_back(seen);
            BoxAnswer answer = ANSWER_OK;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            answer_box(box, answer);
        }
    }
    return CallNextHookEx(box_hook, code, wparam, lparam);
}

void boxes_start()
{
    boxes_clear();
    box_hook = SetWindowsHookExA(WH_CBT, box_hook_proc, nullptr, GetCurrentThreadId());
}

void boxes_stop()
{
    if (box_hook != nullptr) UnhookWindowsHookEx(box_hook);
    box_hook = nullptr;
}

void boxes_queue_answer(BoxAnswer answer)
{
    answers.push_back(answer);
}

const std::vector<CaughtBox> &boxes_caught()
{
    return caught;
}

void boxes_clear()
{
    caught.clear();
    answers.clear();
    last_box = nullptr;
}

int pump_messages()
{
    int quit = 0;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = 1;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return quit;
}

// ---- the sample plug-ins ---------------------------------------------------

const SamplePlugin sample_plugins[] = {
    {"{5EED0001-7A11-4C1E-9D00-000000000001}", "Zeta", PLUG_TYPE_DIRECTX, false, true, true},
    {"{5EED0002-7A11-4C1E-9D00-000000000002}", "alpha", PLUG_TYPE_DIRECTX, false, false, false},
    {"{5EED0003-7A11-4C1E-9D00-000000000003}", "Echo", PLUG_TYPE_VS3, false, true, true},
    {"{5EED0004-7A11-4C1E-9D00-000000000004}", "Echo 2", PLUG_TYPE_DIRECTX, false, false, false},
    {"{5EED0005-7A11-4C1E-9D00-000000000005}", "Muted", PLUG_TYPE_DIRECTX, true, true, false},
};
const int sample_plugin_count = sizeof sample_plugins / sizeof sample_plugins[0];

static const char STORE_ROOT_TOP[] = "Quillon_Software";
static const char VS3_TOP[] = "SOFTWARE\\Merging Technologies";
static int had_store_root = 0;
static int had_vs3_key = 0;

std::string sample_dll_path(const SamplePlugin &plugin)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "mp_ui_" + (plugin.clsid + 1) + ".dll";
}

// The layout of a DirectX filter's class key, under any root path.
static void write_filter_class(const std::string &cls, const char *name, const char *dll)
{
    fx_set_sz(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, name);
    fx_set_dword(HKEY_CLASSES_ROOT, cls.c_str(), "Merit", 0x200000);
    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, dll);
    const std::string pins[2] = {cls + "\\Pins\\In", cls + "\\Pins\\Out"};
    for (DWORD dir = 0; dir < 2; dir++) {
        fx_set_dword(HKEY_CLASSES_ROOT, pins[dir].c_str(), "Direction", dir);
        fx_create(HKEY_CLASSES_ROOT, (pins[dir] + "\\" AUDIO_TYPES_PATH).c_str());
    }
}

static void write_extra_info(const SamplePlugin &plugin)
{
    std::string key = std::string("CLSID\\") + plugin.clsid + "\\EX_info";
    fx_set_sz(HKEY_CLASSES_ROOT, key.c_str(), nullptr, "");
    fx_set_sz(HKEY_CLASSES_ROOT, key.c_str(), "app_name", (std::string(plugin.name) + " FX").c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, key.c_str(), "Company", "Tessary");
    fx_set_dword(HKEY_CLASSES_ROOT, key.c_str(), "Category", 7);
    fx_set_dword(HKEY_CLASSES_ROOT, key.c_str(), "Fmin", 44100);
    fx_set_dword(HKEY_CLASSES_ROOT, key.c_str(), "PinMax", 8);
    fx_set_dword(HKEY_CLASSES_ROOT, key.c_str(), "HasGUI", 1);
    fx_set_dword(HKEY_CLASSES_ROOT, key.c_str(), "MIDI", 0);
}

void samples_install()
{
    had_store_root = fx_key_exists(HKEY_CLASSES_ROOT, STORE_ROOT_TOP);
    had_vs3_key = fx_key_exists(HKEY_LOCAL_MACHINE, VS3_TOP);
    for (int i = 0; i < sample_plugin_count; i++) {
        const SamplePlugin &p = sample_plugins[i];
        std::string dll = sample_dll_path(p);
        if (p.dll_exists) {
            HANDLE file = CreateFileA(dll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        } else {
            DeleteFileA(dll.c_str());
        }
        if (p.disabled) {
            std::string entry = std::string(STORE64_ROOT_PATH "\\") + p.clsid;
            fx_set_sz(HKEY_CLASSES_ROOT, entry.c_str(), "name", p.name);
            fx_set_dword(HKEY_CLASSES_ROOT, entry.c_str(), "type", static_cast<DWORD>(p.type));
            fx_create(HKEY_CLASSES_ROOT, (entry + "\\Filter\\" + p.clsid).c_str());
            write_filter_class(entry + "\\CLSID\\" + p.clsid, p.name, dll.c_str());
        } else if (p.type == PLUG_TYPE_DIRECTX) {
            fx_create(HKEY_CLASSES_ROOT, (std::string("Filter\\") + p.clsid).c_str());
            write_filter_class(std::string("CLSID\\") + p.clsid, p.name, dll.c_str());
        } else {
            fx_vs3_effect(p.clsid, p.name, "A VS3 sample", dll.c_str());
        }
        if (p.extra_info) write_extra_info(p);
    }
}

void samples_remove()
{
    for (int i = 0; i < sample_plugin_count; i++) {
        const SamplePlugin &p = sample_plugins[i];
        fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("Filter\\") + p.clsid).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + p.clsid).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, (std::string(STORE64_ROOT_PATH "\\") + p.clsid).c_str());
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_SET_VALUE, &key) == 0) {
            RegDeleteValueA(key, p.clsid);
            RegCloseKey(key);
        }
        DeleteFileA(sample_dll_path(p).c_str());
    }
    if (!had_store_root) fx_delete_tree(HKEY_CLASSES_ROOT, STORE_ROOT_TOP);
    if (!had_vs3_key) fx_delete_tree(HKEY_LOCAL_MACHINE, VS3_TOP);
}

std::string samples_dump()
{
    std::string dump;
    for (int i = 0; i < sample_plugin_count; i++) {
        const SamplePlugin &p = sample_plugins[i];
        dump += "F:" + fx_dump(HKEY_CLASSES_ROOT, (std::string("Filter\\") + p.clsid).c_str());
        dump += "C:" + fx_dump(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + p.clsid).c_str());
        dump += "S:" + fx_dump(HKEY_CLASSES_ROOT, (std::string(STORE64_ROOT_PATH "\\") + p.clsid).c_str());
    }
    dump += "V:" + fx_dump(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    return dump;
}

std::string program_path(const char *file_name)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    char *slash = strrchr(path, '\\');
    if (slash != nullptr) slash[1] = 0;
    return std::string(path) + file_name;
}

// ---- the program as its own process ------------------------------------------

// Starts the program from its own directory and waits for its main window.
bool launch(Launched *out)
{
    std::string exe = program_path("ManagePlugins.exe");
    std::string dir = program_path("");
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    memset(out, 0, sizeof *out);
    std::vector<char> command_line(exe.begin(), exe.end());
    command_line.push_back(0);
    if (!CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dir.c_str(), &startup, &out->process)) {
        fprintf(stderr, "CreateProcessA(%s) failed with error %lu\n", exe.c_str(), GetLastError());
        return false;
    }
    WaitForInputIdle(out->process.hProcess, 20000);
    for (int attempt = 0; attempt < 400 && out->window == nullptr; attempt++) {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, MAIN_CLASS_NAME, nullptr)) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == out->process.dwProcessId) {
                out->window = window;
                break;
            }
        }
        if (out->window == nullptr) Sleep(50);
    }
    return out->window != nullptr;
}

DWORD close_and_wait(Launched *launched)
{
    PostMessageA(launched->window, WM_CLOSE, 0, 0);
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(launched->process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(launched->process.hProcess, &code);
    else
        TerminateProcess(launched->process.hProcess, 0xDEAD);
    CloseHandle(launched->process.hThread);
    CloseHandle(launched->process.hProcess);
    return code;
}

int wait_for_rows(HWND list, int expected)
{
    int count = 0;
    for (int attempt = 0; attempt < 400; attempt++) {
        count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        if (count >= expected) break;
        Sleep(50);
    }
    return count;
}

std::string remote_cell(HANDLE process, HWND list, int row, int column)
{
    const SIZE_T text_chars = 1100;
    char *remote = static_cast<char *>(VirtualAllocEx(
        process, nullptr, sizeof(LVITEMW) + text_chars * sizeof(WCHAR), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return "<no memory>";
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = reinterpret_cast<WCHAR *>(remote + sizeof(LVITEMW));
    item.cchTextMax = static_cast<int>(text_chars);
    WCHAR text[text_chars] = {0};
    SIZE_T done = 0;
    if (WriteProcessMemory(process, remote, &item, sizeof item, &done) &&
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(remote)) >= 0)
        ReadProcessMemory(process, remote + sizeof(LVITEMW), text,
                          (text_chars - 1) * sizeof(WCHAR), &done);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return fx_utf8(text, wcslen(text));
}

std::string list_cell(HWND list, int row, int column)
{
    WCHAR text[1100] = {0};
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1100;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return fx_utf8(text, wcslen(text));
}

std::string clipboard_text()
{
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const WCHAR *locked = data != nullptr ? static_cast<const WCHAR *>(GlobalLock(data)) : nullptr;
    if (locked != nullptr) {
        text = fx_utf8(locked, wcslen(locked));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

std::string file_bytes(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[4096];
    size_t n = 0;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    fclose(file);
    return bytes;
}

int run_and_wait(std::string command_line)
{
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        fprintf(stderr, "CreateProcessA(%s) failed with error %lu\n", command_line.c_str(),
                GetLastError());
        return -1;
    }
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0;
    int ok = GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ok ? static_cast<int>(code) : -1;
}

bool start_with_handles(const std::string &command_line, HANDLE in, HANDLE out, HANDLE err,
                        PROCESS_INFORMATION *process, std::string *why)
{
    memset(process, 0, sizeof *process);
    // Each handle listed once, though one may serve twice.
    HANDLE handles[3];
    SIZE_T listed = 0;
    for (HANDLE h : {in, out, err}) {
        if (h == nullptr || h == INVALID_HANDLE_VALUE) {
            *why = "a standard handle could not be made";
            return false;
        }
        bool seen = false;
        for (SIZE_T i = 0; i < listed; i++) seen = seen || handles[i] == h;
        if (!seen) handles[listed++] = h;
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> memory(size);
    LPPROC_THREAD_ATTRIBUTE_LIST list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(memory.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        *why = "InitializeProcThreadAttributeList failed with error " + std::to_string(GetLastError());
        return false;
    }
    BOOL ok = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                        listed * sizeof(HANDLE), nullptr, nullptr);
    STARTUPINFOEXW startup;
    memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in;
    startup.StartupInfo.hStdOutput = out;
    startup.StartupInfo.hStdError = err;
    startup.lpAttributeList = list;
    std::vector<WCHAR> line = wide_text(command_line.c_str());
    if (ok)
        ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                            EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                            &startup.StartupInfo, process);
    if (!ok) *why = "CreateProcessW failed with error " + std::to_string(GetLastError());
    DeleteProcThreadAttributeList(list);
    return ok != 0;
}

std::string unique_temp_path(const char *name)
{
    static LONG count = 0;
    char dir[MAX_PATH] = "";
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + "mp_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(InterlockedIncrement(&count)) + "_" + name;
}

std::string companion_csv_bytes()
{
    std::string path = unique_temp_path("companion.csv");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_NEW, 0, nullptr);
    // No input, and what it says on errors goes nowhere.
    HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, OPEN_EXISTING, 0, nullptr);
    std::string line = "\"" + program_path("manage-plugins-cli.exe") + "\" list --format csv";
    PROCESS_INFORMATION process;
    std::string why;
    if (start_with_handles(line, null, out, null, &process, &why)) {
        WaitForSingleObject(process.hProcess, 20000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        fprintf(stderr, "%s: %s\n", line.c_str(), why.c_str());
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
    std::string bytes = file_bytes(path);
    DeleteFileA(path.c_str());
    return bytes;
}

std::vector<std::string> csv_lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end = 0; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// ---- plug-ins named in other scripts -------------------------------------

const ScriptPlugin script_plugins[] = {
    {"{5EED0101-7A11-4C1E-9D00-000000000101}", u8"Żółty Kompresor"},
    {"{5EED0102-7A11-4C1E-9D00-000000000102}", u8"Ηχώ"},
    {"{5EED0103-7A11-4C1E-9D00-000000000103}", u8"Жук Дилэй"},
    {"{5EED0104-7A11-4C1E-9D00-000000000104}", u8"空間リバーブ"},
    {"{5EED0105-7A11-4C1E-9D00-000000000105}", u8"Knob 🎛 Box"},
};
const int script_plugin_count = sizeof script_plugins / sizeof script_plugins[0];

void script_plugins_install()
{
    for (const ScriptPlugin &p : script_plugins) {
        std::string cls = std::string("CLSID\\") + p.clsid;
        fx_create(HKEY_CLASSES_ROOT, (std::string("Filter\\") + p.clsid).c_str());
        write_filter_class(cls, "", (std::string("C:\\mp ui gone\\") + (p.clsid + 1) + ".dll").c_str());
        // The name through the wide functions, as an installer in that
        // script would write it.
        fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, REG_SZ,
                       fx_w_bytes(std::string(p.name) + '\0'));
    }
}

void script_plugins_remove()
{
    for (const ScriptPlugin &p : script_plugins) {
        fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("Filter\\") + p.clsid).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + p.clsid).c_str());
        fx_delete_tree(HKEY_CLASSES_ROOT, (std::string(STORE64_ROOT_PATH "\\") + p.clsid).c_str());
    }
}
