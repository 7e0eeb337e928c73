// manage-plugins-cli.exe as a script would use it: started as a child
// process against a registry seeded here, its output captured through a
// pipe, its exit code checked, and what it changed looked up afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "extrainfo/extrainfo.h"
#include "platform/keyguard.h"
#include "platform/win.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"
#include "tests/wine/ui_test_support.h"

namespace {

// Identifiers no other test and no Wine component uses.
const char ROOM[] = "{C11C0001-0000-4000-8000-00000000C011}";
const char WIDENER[] = "{C11C0002-0000-4000-8000-00000000C011}";
const char TWIN_DX[] = "{C11C0003-0000-4000-8000-00000000C011}";
const char TWIN_VS[] = "{C11C0004-0000-4000-8000-00000000C011}";
const char BEETLE[] = "{C11C0005-0000-4000-8000-00000000C011}";
const char ABSENT[] = "{C11C00FF-0000-4000-8000-00000000C011}";
const char *const ALL[] = {ROOM, WIDENER, TWIN_DX, TWIN_VS, BEETLE};

// A comma, quotes and two bytes above 0x7F (the euro sign and e acute in
// Windows-1252, the code page of the test prefix, written through the ANSI
// functions) test every encoding rule of the listings, which show them in
// UTF-8.
const char ROOM_NAME[] = "Cli Room, \"Hall\" \x80\xe9";
const char ROOM_NAME_UTF8[] = "Cli Room, \"Hall\" \xe2\x82\xac\xc3\xa9";
// Cyrillic, written through the wide functions.
const char BEETLE_NAME[] = "\xd0\x96\xd1\x83\xd0\xba \xd0\x94\xd0\xb8\xd0\xbb\xd1\x8d\xd0\xb9";
const char ROOM_DLL[] = "C:\\windows\\system32\\kernel32.dll"; // present in every prefix
const char WIDENER_DLL[] = "C:\\no such dir\\widener.dll";

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void delete_vs3_value(const char *clsid)
{
    KeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_WRITE, key.out()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), clsid);
}

// ---- running the program ---------------------------------------------------

struct Outcome {
    int code; // the exit code, or -1 when the program did not start
    std::string out, err;
};

// UTF-8, as the command line is built.
std::string program_path()
{
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    std::string p = fx_utf8(path, n);
    return p.substr(0, p.find_last_of("\\/") + 1) + "manage-plugins-cli.exe";
}

std::string quote(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    for (char c : arg) {
        if (c == '"') q += '\\';
        q += c;
    }
    return q + "\"";
}

std::string read_file(const std::string &path)
{
    std::string s;
    FILE *f = _wfopen(fx_w(path).c_str(), L"rb");
    if (f == nullptr) return s;
    int c;
    while ((c = fgetc(f)) != EOF) s += static_cast<char>(c);
    fclose(f);
    return s;
}

// Standard input is the NUL device, which is no console: the program must
// treat it as a script would be treated. The arguments are UTF-8 and reach
// the program as UTF-16 (CreateProcessW), as a shell hands them on.
Outcome run(const std::vector<std::string> &args)
{
    Outcome r = {-1, "", ""};
    std::string line = quote(program_path());
    for (const std::string &a : args) line += " " + quote(a);

    // Only the child's end is ever inheritable, and only the child inherits
    // it (start_with_handles).
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_read = nullptr, out_write = nullptr;
    if (!CreatePipe(&out_read, &out_write, nullptr, 0)) {
        r.err = "CreatePipe failed with error " + std::to_string(GetLastError());
        return r;
    }
    SetHandleInformation(out_write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

    // Its errors go to a file of its own: a name no other run shares.
    const std::string err_path = unique_temp_path("cli.err");
    HANDLE err_file = CreateFileA(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE null_in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);

    PROCESS_INFORMATION pi;
    std::string not_started;
    // Why a run never started is said where the failure shows it.
    bool started = start_with_handles(line, null_in, out_write, err_file, &pi, &not_started);
    if (!started) not_started = err_path + ": " + not_started;
    CloseHandle(out_write);
    if (started) {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(out_read, buf, sizeof buf, &got, nullptr) && got > 0) r.out.append(buf, got);
        WaitForSingleObject(pi.hProcess, 120000);
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) r.code = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out_read);
    if (err_file != INVALID_HANDLE_VALUE) CloseHandle(err_file);
    if (null_in != INVALID_HANDLE_VALUE) CloseHandle(null_in);
    r.err += not_started + read_file(err_path);
    DeleteFileA(err_path.c_str());
    return r;
}

// Console output is written in text mode, so lines end in CR LF there.
std::string without_cr(const std::string &s)
{
    std::string t;
    for (char c : s)
        if (c != '\r') t += c;
    return t;
}

// ---- reading the listings back ---------------------------------------------

// Strict RFC 4180: every record ends with CR LF; a field holding a comma,
// quote, CR or LF is quoted; a quote inside is doubled. false on any breach.
bool parse_csv(const std::string &s, std::vector<std::vector<std::string>> *records)
{
    records->clear();
    size_t i = 0;
    std::vector<std::string> record;
    while (i < s.size()) {
        std::string field;
        if (s[i] == '"') {
            for (i++;; i++) {
                if (i >= s.size()) return false;
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        field += '"';
                        i++;
                        continue;
                    }
                    i++;
                    break;
                }
                field += s[i];
            }
        } else {
            while (i < s.size() && s[i] != ',' && s[i] != '\r') {
                if (s[i] == '"' || s[i] == '\n') return false;
                field += s[i++];
            }
        }
        record.push_back(field);
        if (i < s.size() && s[i] == ',') {
            i++;
            continue;
        }
        if (s.compare(i, 2, "\r\n") != 0) return false;
        i += 2;
        records->push_back(record);
        record.clear();
    }
    return record.empty();
}

struct JsonReader {
    const std::string &s;
    size_t i;
    bool ok;

    void space()
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) i++;
    }
    bool take(char c)
    {
        space();
        if (i < s.size() && s[i] == c) {
            i++;
            return true;
        }
        return false;
    }
    // The text in UTF-8: the output is pure ASCII, and the \\u escapes are
    // UTF-16 code units (a character beyond the BMP as a surrogate pair).
    std::string string()
    {
        FxWString units;
        if (!take('"')) {
            ok = false;
            return "";
        }
        while (ok && i < s.size() && s[i] != '"') {
            char c = s[i++];
            unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte >= 0x80) ok = false;
            if (c != '\\') {
                units += static_cast<WCHAR>(byte);
                continue;
            }
            char e = i < s.size() ? s[i++] : '\0';
            const char *simple = strchr("\"\\/bfnrt", e);
            if (e != '\0' && simple != nullptr) {
                units += static_cast<WCHAR>("\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"]);
            } else if (e == 'u' && i + 4 <= s.size()) {
                units += static_cast<WCHAR>(std::stoul(s.substr(i, 4), nullptr, 16));
                i += 4;
            } else {
                ok = false;
            }
        }
        if (!take('"')) ok = false;
        return fx_utf8(units);
    }
    // Strings as they are; true, false and numbers as those words.
    std::string value()
    {
        space();
        size_t digits = i;
        while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') digits++;
        if (digits > i) {
            std::string number = s.substr(i, digits - i);
            i = digits;
            return number;
        }
        if (s.compare(i, 4, "true") == 0) {
            i += 4;
            return "true";
        }
        if (s.compare(i, 5, "false") == 0) {
            i += 5;
            return "false";
        }
        if (s.compare(i, 4, "null") == 0) {
            i += 4;
            return "null";
        }
        return string();
    }
};

// An array of flat objects.
bool parse_json(const std::string &s, std::vector<std::map<std::string, std::string>> *objects)
{
    objects->clear();
    JsonReader r{s, 0, true};
    if (!r.take('[')) return false;
    if (r.take(']')) {
        r.space();
        return r.i == s.size();
    }
    do {
        if (!r.take('{')) return false;
        std::map<std::string, std::string> object;
        do {
            std::string key = r.string();
            if (!r.take(':')) return false;
            object[key] = r.value();
            if (!r.ok) return false;
        } while (r.take(','));
        if (!r.take('}')) return false;
        objects->push_back(object);
    } while (r.take(','));
    if (!r.take(']')) return false;
    r.space();
    return r.ok && r.i == s.size();
}

// ---- the cases -------------------------------------------------------------

class CliProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(program_path().empty());
        clean();
        fx_directx_filter(ROOM, ROOM_NAME, ROOM_DLL);
        fx_vs3_effect(WIDENER, "Cli Widener", nullptr, WIDENER_DLL);
        fx_directx_filter(TWIN_DX, "Cli Twin", "C:\\fx\\twin.dll");
        fx_vs3_effect(TWIN_VS, "Cli Twin", nullptr, "C:\\fx\\twin3.dll");
    }
    void TearDown() override
    {
        clean();
        for (const char *c : ALL) EXPECT_EQ(fx_whole_state(c), "Filter:\nCLSID:\nVS3: absent\nSaved:\n");
    }
    static void clean()
    {
        for (const char *c : ALL) {
            fx_delete_tree(HKEY_CLASSES_ROOT, fx_filter_key(c).c_str());
            fx_delete_tree(HKEY_CLASSES_ROOT, fx_clsid_key(c).c_str());
            fx_delete_tree(HKEY_CLASSES_ROOT, fx_store_entry(c).c_str());
            delete_vs3_value(c);
        }
    }
};

// A class registered in both views is two plug-ins: named alone it is
// ambiguous, and --bits picks the view that is changed.
TEST_F(CliProgram, BothViewsAreListedWithTheirBitsAndPickedWithBits)
{
    for (const std::string &key : {fx_filter_key(ROOM), fx_clsid_key(ROOM)})
        ASSERT_TRUE(copy_key_tree_ex(HKEY_CLASSES_ROOT, KEY_WOW64_32KEY, HKEY_CLASSES_ROOT,
                                     KEY_WOW64_64KEY, key.c_str(), nullptr));
    Outcome list = run({"list", "--format", "json"});
    EXPECT_NE(list.out.find(std::string("\"bits\": 32, \"clsid\": \"") + ROOM), std::string::npos);
    EXPECT_NE(list.out.find(std::string("\"bits\": 64, \"clsid\": \"") + ROOM), std::string::npos);
    const std::string live32 = fx_dump_exact(HKEY_CLASSES_ROOT, fx_clsid_key(ROOM).c_str(), KEY_WOW64_32KEY);
    EXPECT_EQ(run({"disable", ROOM}).code, 2);
    Outcome d = run({"disable", "--bits", "64", ROOM});
    EXPECT_EQ(d.code, 0) << d.out << d.err;
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(ROOM).c_str()));
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, fx_clsid_key(ROOM).c_str(), KEY_WOW64_32KEY), live32);
    EXPECT_EQ(run({"enable", "--bits=64", ROOM}).code, 0);
    for (const std::string &key : {fx_filter_key(ROOM), fx_clsid_key(ROOM)})
        EXPECT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, key.c_str(), KEY_WOW64_32KEY));
}

TEST_F(CliProgram, ListAsATable)
{
    Outcome r = run({"list"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string text = without_cr(r.out);
    EXPECT_EQ(text.substr(0, 5), "Name ");
    size_t at = text.find("\nCli Widener ");
    ASSERT_NE(at, std::string::npos) << text;
    std::string row = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
    // Columns line up under their headings.
    size_t type_col = text.find("Type"), clsid_col = text.find("Class identifier");
    EXPECT_EQ(row.substr(type_col, 4), "VS3 ");
    EXPECT_EQ(row.substr(clsid_col), std::string(WIDENER) + "  " + WIDENER_DLL);
    EXPECT_NE(row.find(" OK "), std::string::npos);
    EXPECT_NE(row.find(" No "), std::string::npos);
}

TEST_F(CliProgram, ListAsCsvReadsBack)
{
    Outcome r = run({"list", "--format", "csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::vector<std::string>> records;
    ASSERT_TRUE(parse_csv(r.out, &records)) << r.out;
    ASSERT_GE(records.size(), 5u);
    // The older columns keep their places; the file's come after them.
    EXPECT_EQ(records[0],
              (std::vector<std::string>{"name", "type", "status", "exist", "clsid", "dll", "bits",
                                        "version", "company", "arch", "problem",
                                        "registration", "scope"}));
    std::map<std::string, std::vector<std::string>> by_clsid;
    for (const auto &rec : records) {
        ASSERT_EQ(rec.size(), 13u);
        by_clsid[rec[4]] = rec;
    }
    std::vector<std::string> room = by_clsid[ROOM];
    ASSERT_EQ(room.size(), 13u);
    EXPECT_NE(room[7], ""); // Wine's own kernel32 has a version
    room.erase(room.begin() + 7);
    EXPECT_EQ(room, (std::vector<std::string>{ROOM_NAME_UTF8, "Direct-X", "OK", "Yes", ROOM, ROOM_DLL,
                                              "64", "Microsoft Corporation", "x64", "", "filter",
                                              "machine"}));
    EXPECT_EQ(by_clsid[WIDENER],
              (std::vector<std::string>{"Cli Widener", "VS3", "OK", "No", WIDENER, WIDENER_DLL, "64",
                                        "", "", "", "DLL not found", "vs3", "machine"}));
    EXPECT_EQ(by_clsid[TWIN_VS][0], "Cli Twin");
}

TEST_F(CliProgram, ListAsJsonReadsBack)
{
    ASSERT_EQ(run({"disable", WIDENER}).code, 0);
    Outcome r = run({"list", "--format=json"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (char c : r.out) ASSERT_LT(static_cast<unsigned char>(c), 0x80u) << "pure ASCII";
    EXPECT_NE(r.out.find("\\u20ac\\u00e9"), std::string::npos);
    std::vector<std::map<std::string, std::string>> objects;
    ASSERT_TRUE(parse_json(r.out, &objects)) << r.out;
    std::map<std::string, std::map<std::string, std::string>> by_clsid;
    for (const auto &o : objects) {
        EXPECT_EQ(o.size(), 15u);
        by_clsid[o.at("clsid")] = o;
    }
    std::map<std::string, std::string> room = by_clsid[ROOM];
    EXPECT_NE(room["version"], "null");
    EXPECT_NE(room["description"], "null");
    room.erase("version");
    room.erase("description");
    const std::map<std::string, std::string> room_wanted = {
        {"name", ROOM_NAME_UTF8}, {"type", "Direct-X"}, {"status", "OK"},    {"exist", "true"},
        {"clsid", ROOM},     {"dll", ROOM_DLL},    {"bits", "64"},      {"arch", "x64"},
        {"company", "Microsoft Corporation"},      {"problem", "null"}, {"file", ROOM_DLL},
        {"registration", "filter"}, {"scope", "machine"}};
    EXPECT_EQ(room, room_wanted);
    const std::map<std::string, std::string> widener = {
        {"name", "Cli Widener"}, {"type", "VS3"},          {"status", "Disabled"},
        {"exist", "false"},      {"clsid", WIDENER},       {"dll", WIDENER_DLL},
        {"bits", "64"},          {"version", "null"},      {"company", "null"},
        {"description", "null"}, {"arch", "null"},         {"problem", "DLL not found"},
        {"file", WIDENER_DLL},   {"registration", "vs3"},  {"scope", "machine"}};
    EXPECT_EQ(by_clsid[WIDENER], widener);
}

TEST_F(CliProgram, DisableThenEnableByClassIdentifierInAnotherCase)
{
    const char *const plugs[] = {ROOM, WIDENER};
    for (const char *clsid : plugs) {
        SCOPED_TRACE(clsid);
        std::string before = fx_whole_state(clsid);
        std::string bare = lower(std::string(clsid + 1, strlen(clsid) - 2));
        Outcome d = run({"disable", bare});
        EXPECT_EQ(d.code, 0) << d.out << d.err;
        EXPECT_NE(without_cr(d.out).find(std::string(clsid) +
                                         ": done; now: disabled (saved in the disabled store)\n"),
                  std::string::npos)
            << d.out;
        EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(clsid).c_str()));
        EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str()));

        Outcome e = run({"enable", "{" + bare + "}"});
        EXPECT_EQ(e.code, 0) << e.out << e.err;
        EXPECT_NE(without_cr(e.out).find(std::string(clsid) + ": done; now: live\n"), std::string::npos)
            << e.out;
        EXPECT_EQ(fx_whole_state(clsid), before);
    }
}

// A name in another script given on the command line finds its plug-in,
// and the listings through a pipe and into a file are UTF-8.
TEST_F(CliProgram, ACyrillicNameOnTheCommandLineAndUtf8Output)
{
    fx_directx_filter(BEETLE, "placeholder", "C:\\fx\\beetle.dll");
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, fx_clsid_key(BEETLE).c_str(), nullptr, REG_SZ,
                               fx_w_bytes(BEETLE_NAME) + std::string(2, '\0')));
    std::string before = fx_whole_state(BEETLE);

    Outcome d = run({"disable", BEETLE_NAME});
    EXPECT_EQ(d.code, 0) << d.out << d.err;
    EXPECT_EQ(without_cr(d.out), std::string("disable \"") + BEETLE_NAME + "\" " + BEETLE +
                                     ": done; now: disabled (saved in the disabled store)\n");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(BEETLE).c_str()));
    Outcome e = run({"enable", BEETLE_NAME});
    EXPECT_EQ(e.code, 0) << e.out << e.err;
    EXPECT_EQ(without_cr(e.out), std::string("enable \"") + BEETLE_NAME + "\" " + BEETLE +
                                     ": done; now: live\n");
    EXPECT_EQ(fx_whole_state(BEETLE), before);

    // Standard output: no byte-order mark, the name's UTF-8 bytes as they are.
    Outcome csv = run({"list", "--format", "csv"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, 5), "name,");
    EXPECT_NE(csv.out.find(std::string("\r\n") + BEETLE_NAME + ",Direct-X,OK,No," + BEETLE + ","),
              std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find("\r\n\"Cli Room, \"\"Hall\"\" \xe2\x82\xac\xc3\xa9\",Direct-X,"),
              std::string::npos) << csv.out;

    // A file, named in Cyrillic too: the byte-order mark, then the same.
    WCHAR dir[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, dir);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    std::string file = fx_utf8(dir, n) + BEETLE_NAME + ".csv";
    Outcome written = run({"list", "--format", "csv", "--output", file});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(read_file(file), "\xEF\xBB\xBF" + csv.out);
    EXPECT_TRUE(DeleteFileW(fx_w(file).c_str()));
}

TEST_F(CliProgram, RemoveWithoutYesIsRefusedAndWithYesDeletes)
{
    std::string before = fx_whole_state(WIDENER);
    Outcome refused = run({"remove", "Cli Widener"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
    EXPECT_EQ(fx_whole_state(WIDENER), before);

    Outcome removed = run({"remove", "--yes", "Cli Widener"});
    EXPECT_EQ(removed.code, 0) << removed.err;
    EXPECT_EQ(without_cr(removed.out),
              std::string("remove \"Cli Widener\" ") + WIDENER + ": done; now: gone\n");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(WIDENER).c_str()));
    EXPECT_FALSE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, WIDENER));
}

// The backup is written first, to a file named in any script, or nothing is
// removed; the platform's importer then undoes the Remove.
TEST_F(CliProgram, RemoveWithABackupThatRegImportUndoes)
{
    const std::string before = fx_whole_state(WIDENER);
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    Outcome refused = run({"remove", "--yes", "--backup", std::string(dir) + "none\\x.reg", "Cli Widener"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("no such folder"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("Nothing removed."), std::string::npos) << refused.err;
    EXPECT_EQ(fx_whole_state(WIDENER), before);

    const std::string file = std::string(dir) + "Копия 日本.reg", plain = std::string(dir) + "mp_copy.reg";
    Outcome removed = run({"remove", "--yes", "--backup", file, "Cli Widener"});
    EXPECT_EQ(removed.code, 0) << removed.err;
    EXPECT_EQ(without_cr(removed.out).rfind(std::string("export-reg \"Cli Widener\" ") + WIDENER + ": done\nwrote ", 0), 0u)
        << removed.out;
    EXPECT_NE(removed.out.find(": done; now: gone"), std::string::npos) << removed.out;
    EXPECT_NE(fx_whole_state(WIDENER), before);
    ASSERT_TRUE(MoveFileExW(fx_w(file).c_str(), fx_w(plain).c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(run_and_wait("reg.exe import \"" + plain + "\""), 0);
    EXPECT_EQ(fx_whole_state(WIDENER), before);
    DeleteFileA(plain.c_str());
}

TEST_F(CliProgram, AnAmbiguousNameIsRefusedWithTheCandidates)
{
    std::string before = fx_whole_state(TWIN_DX) + fx_whole_state(TWIN_VS);
    Outcome r = run({"disable", "Cli Twin"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("names 2 plug-ins"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(TWIN_DX), std::string::npos);
    EXPECT_NE(r.err.find(TWIN_VS), std::string::npos);
    EXPECT_EQ(fx_whole_state(TWIN_DX) + fx_whole_state(TWIN_VS), before);

    Outcome narrowed = run({"disable", "--type", "vs3", "Cli Twin"});
    EXPECT_EQ(narrowed.code, 0) << narrowed.err;
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(TWIN_VS).c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(TWIN_DX).c_str()));
}

TEST_F(CliProgram, AnUnknownIdentifierChangesNothing)
{
    std::string before = fx_whole_state(ROOM);
    Outcome r = run({"disable", ROOM, ABSENT});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(std::string("no plug-in is named \"") + ABSENT + "\""), std::string::npos)
        << r.err;
    EXPECT_EQ(fx_whole_state(ROOM), before);
}

TEST_F(CliProgram, InfoWithAndWithoutExtraInformation)
{
    std::string ex = fx_clsid_key(ROOM) + "\\EX_info";
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, ex.c_str(), nullptr, ""));
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, ex.c_str(), "app_name", "Cli Room Info"));
    ASSERT_TRUE(fx_set_dword(HKEY_CLASSES_ROOT, ex.c_str(), "Fmin", 44100));

    Outcome with = run({"info", lower(ROOM)});
    EXPECT_EQ(with.code, 0) << with.err;
    std::string report = without_cr(with.out);
    EXPECT_EQ(report.substr(0, 21), "Name : Cli Room Info\n");
    EXPECT_NE(report.find("\nAccepted Min SampleRate : 44100 Hz\n"), std::string::npos) << report;
    size_t lines = 0;
    for (char c : report) lines += c == '\n';
    EXPECT_EQ(lines, 25u);

    Outcome without = run({"info", "Cli Widener"});
    EXPECT_EQ(without.code, 0);
    EXPECT_EQ(without_cr(without.out), NO_EXTRA_INFO_TEXT "\n");
}

TEST_F(CliProgram, ExitCodes)
{
    Outcome help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Exit codes:"), std::string::npos);

    Outcome usage = run({"list", "--format", "xml"});
    EXPECT_EQ(usage.code, 2);
    EXPECT_NE(usage.err.find("--format"), std::string::npos);
    EXPECT_EQ(run({}).code, 2);

    // A saved copy without its Filter part cannot be restored whole: the
    // operation fails, says why, and keeps the saved copy.
    ASSERT_EQ(run({"disable", ROOM}).code, 0);
    std::string saved_filter = fx_store_entry(ROOM) + "\\Filter";
    ASSERT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, saved_filter.c_str()));
    Outcome failed = run({"enable", ROOM, "Cli Widener"});
    EXPECT_EQ(failed.code, 1);
    std::string text = without_cr(failed.out);
    EXPECT_NE(text.find(std::string(ROOM) + ": failed: not found at HKLM\\Software\\Classes\\" + saved_filter + "\\" +
                        ROOM + ";"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("enable \"Cli Widener\" " + std::string(WIDENER) +
                        ": nothing to do, already live; now: live\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(ROOM).c_str()));
}

} // namespace
