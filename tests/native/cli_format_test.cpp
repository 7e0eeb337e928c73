// The listing's field encodings and the three formats, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/cli.h"
#include "extrainfo/extrainfo.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

std::string csv(const std::string &text)
{
    char out[CSV_FIELD_SIZE];
    EXPECT_EQ(csv_field(text.c_str(), text.size(), out, sizeof out), 1);
    return out;
}

std::string json(const std::string &text)
{
    char out[JSON_STRING_SIZE];
    EXPECT_EQ(json_string(text.c_str(), text.size(), out, sizeof out), 1);
    return out;
}

TEST(CliFormat, CsvQuotesOnlyWhatRfc4180Requires)
{
    struct Case {
        const char *text, *field;
    } cases[] = {
        {"Room Reverb", "Room Reverb"},
        {"", ""},
        {" padded ", " padded "},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rhere", "\"cr\rhere\""},
        {"semi;colon\ttab", "semi;colon\ttab"},
        {"C:\\Program Files\\fx.dll", "C:\\Program Files\\fx.dll"},
    };
    for (const Case &c : cases) EXPECT_EQ(csv(c.text), c.field) << c.text;
}

TEST(CliFormat, JsonEscapesQuotesBackslashesAndControls)
{
    struct Case {
        const char *text, *string;
    } cases[] = {
        {"Room Reverb", "\"Room Reverb\""},
        {"", "\"\""},
        {"C:\\fx\\a.dll", "\"C:\\\\fx\\\\a.dll\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\nb\rc\td\be\ff", "\"a\\nb\\rc\\td\\be\\ff\""},
        {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
        {"/ stays", "\"/ stays\""},
    };
    for (const Case &c : cases) EXPECT_EQ(json(c.text), c.string) << c.text;
}

// The UTF-16 code units of a JSON string's text, its escapes decoded.
FxWString json_units(const std::string &string)
{
    FxWString units;
    for (size_t i = 1; i + 1 < string.size(); i++) {
        EXPECT_LT(static_cast<unsigned char>(string[i]), 0x80u) << "pure ASCII";
        if (string[i] != '\\') {
            units += static_cast<WCHAR>(string[i]);
            continue;
        }
        char e = string[++i];
        if (e == 'u') {
            units += static_cast<WCHAR>(std::stoul(string.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else {
            const char *from = "nrtbf\"\\", *to = "\n\r\t\b\f\"\\";
            units += static_cast<WCHAR>(to[strchr(from, e) - from]);
        }
    }
    return units;
}

TEST(CliFormat, JsonEscapesUtf16CodeUnits)
{
    struct Case {
        const char *text, *string;
    } cases[] = {
        {"Caf\xc3\xa9", "\"Caf\\u00e9\""},
        {"\xe2\x82\xac", "\"\\u20ac\""},
        {"\xc2\x81", "\"\\u0081\""},
        {"\xd0\x96\xd1\x83\xd0\xba", "\"\\u0416\\u0443\\u043a\""},
        {"\xe6\xb7\xb7", "\"\\u6df7\""},
        {"\xf0\x9f\x8e\x9b", "\"\\ud83c\\udf9b\""},
        {"\xed\xa0\x80x", "\"\\ud800x\""}, // an unpaired surrogate kept from a name
        {"\xff" "a", "\"\\ufffda\""},     // no UTF-8 at all
        {"\xe6\xb7", "\"\\ufffd\\ufffd\""}, // cut short
    };
    for (const Case &c : cases) EXPECT_EQ(json(c.text), c.string) << c.text;
}

// Any text in any script comes back by decoding the escapes as UTF-16.
TEST(CliFormat, JsonEscapesGiveTheTextBack)
{
    for (const char *text : {"Pog\xc5\x82os \xc5\xbb\xc3\xb3\xc5\x82""\xc4\x87",
                             "\xce\x97\xcf\x87\xcf\x8e", "\xd0\x96\xd1\x83\xd0\xba \xd0\x94\xd0\xb8"
                             "\xd0\xbb\xd1\x8d\xd0\xb9",
                             "\xe6\xb7\xb7\xe9\x9f\xbf", "Knob \xf0\x9f\x8e\x9b Box", "a\"b\\c\n\x7f"}) {
        std::string string = json(text);
        EXPECT_EQ(fx_utf8(json_units(string)), text) << string;
    }
}

TEST(CliFormat, FieldsEndAtTheirTerminatorOrTheirWidth)
{
    char out[32];
    const char text[] = {'a', 'b', 'c', 'd'}; // no terminator within 4
    EXPECT_EQ(csv_field(text, 3, out, sizeof out), 1);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(json_string("ab\0cd", 5, out, sizeof out), 1);
    EXPECT_STREQ(out, "\"ab\"");
}

TEST(CliFormat, TooSmallBuffersAreReportedAndStayTerminated)
{
    char out[8];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(json_string("\x80\x80", 2, out, sizeof out), 0);
    EXPECT_EQ(strlen(out), 7u);
    EXPECT_EQ(csv_field("a,bcdefgh", 9, out, sizeof out), 0);
    EXPECT_STREQ(out, "\"a,bcde");
    EXPECT_EQ(table_cell("abcdefghij", 10, out, sizeof out), 0);
    EXPECT_STREQ(out, "abcdefg");
}

TEST(CliFormat, TableCellsShowControlsAsQuestionMarks)
{
    char out[32];
    EXPECT_EQ(table_cell("a\tb\nc\x7f" "d\xc2\x85" "\xc3\xa9", 31, out, sizeof out), 1);
    EXPECT_STREQ(out, "a?b?c?d?\xc3\xa9");
}

TEST(CliFormat, TableCellsKeepCharactersWholeAndCountThem)
{
    char out[8];
    // Six bytes and the terminator fit: two Cyrillic letters of two bytes,
    // then a four-byte character that no longer fits whole.
    EXPECT_EQ(table_cell("\xd0\x96\xd0\x96\xf0\x9f\x8e\x9b", 8, out, sizeof out), 0);
    EXPECT_STREQ(out, "\xd0\x96\xd0\x96");
    struct Case {
        const char *text;
        size_t columns;
    } cases[] = {{"", 0}, {"abc", 3}, {"Caf\xc3\xa9", 4}, {"\xe6\xb7\xb7\xe9\x9f\xbf", 2},
                 {"Knob \xf0\x9f\x8e\x9b Box", 10}};
    for (const Case &c : cases) EXPECT_EQ(text_columns(c.text), c.columns) << c.text;
}

TEST(CliFormat, CellTexts)
{
    EXPECT_STREQ(type_text(PLUG_TYPE_DIRECTX), "Direct-X");
    EXPECT_STREQ(type_text(PLUG_TYPE_VS3), "VS3");
    EXPECT_STREQ(type_text(PLUG_TYPE_DMO), "DMO");
    EXPECT_STREQ(type_text(4), "");
    EXPECT_STREQ(type_text(0), "");
    EXPECT_STREQ(status_text(0), "OK");
    EXPECT_STREQ(status_text(1), "Disabled");
    EXPECT_STREQ(exist_text(0), "No");
    EXPECT_STREQ(exist_text(1), "Yes");
}

// ---- the three listings ----------------------------------------------------

const char DX[] = "{D1D1D1D1-0000-4000-8000-000000000001}";
const char VS[] = "{A5A5A5A5-0000-4000-8000-000000000002}";
const char SAVED[] = "{5A5A5A5A-0000-4000-8000-000000000003}";

std::string capture(int format, int type_filter)
{
    FILE *f = tmpfile();
    EXPECT_NE(f, nullptr);
    if (f == nullptr) return "";
    write_list(f, format, type_filter);
    std::string out;
    rewind(f);
    int c;
    while ((c = fgetc(f)) != EOF) out += static_cast<char>(c);
    fclose(f);
    return out;
}

class CliListing : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakereg_reset();
        ASSERT_TRUE(catalogue_init());
    }
    void TearDown() override
    {
        catalogue_destroy();
        EXPECT_EQ(fakereg_open_handles(), 0);
        EXPECT_EQ(fakefile_open_handles(), 0);
    }

    // A filter with a comma and quotes in its name, a VS3 effect with a
    // Windows-1252 byte (read back as UTF-8) and a tab, and a saved copy in
    // the disabled store.
    void seed()
    {
        fx_directx_filter(DX, "Verb, \"Big\"", "/nonexistent/verb.dll");
        fx_vs3_effect(VS, "Caf\xe9\tFX", nullptr, "C:\\fx\\w.dll");
        std::string store = std::string(STORE64_ROOT_PATH "\\") + SAVED;
        fx_set_sz(HKEY_CLASSES_ROOT, store.c_str(), "name", "Old");
        fx_set_dword(HKEY_CLASSES_ROOT, store.c_str(), "type", PLUG_TYPE_DIRECTX);
        fx_set_sz(HKEY_CLASSES_ROOT, (store + "\\CLSID\\" + SAVED + "\\InprocServer32").c_str(),
                  nullptr, "C:\\old.dll");
        rebuild_catalogue();
        ASSERT_EQ(catalogue_count(), 3u);
    }
};

TEST_F(CliListing, Table)
{
    seed();
    EXPECT_EQ(capture(CLI_TABLE, 0),
              "Name         Type      Status    Exist  Bits  Scope    Class identifier                        DLL\n"
              "Verb, \"Big\"  Direct-X  OK        No     64    machine  {D1D1D1D1-0000-4000-8000-000000000001}  /nonexistent/verb.dll\n"
              "Caf\xc3\xa9?FX      VS3       OK        No     64    machine  {A5A5A5A5-0000-4000-8000-000000000002}  C:\\fx\\w.dll\n"
              "Old          Direct-X  Disabled  No     64    machine  {5A5A5A5A-0000-4000-8000-000000000003}  C:\\old.dll\n");
}

TEST_F(CliListing, Csv)
{
    seed();
    EXPECT_EQ(capture(CLI_CSV, 0),
              "name,type,status,exist,clsid,dll,bits,version,company,arch,problem,registration,scope\r\n"
              "\"Verb, \"\"Big\"\"\",Direct-X,OK,No,{D1D1D1D1-0000-4000-8000-000000000001},/nonexistent/verb.dll,64,,,,DLL not found,filter,machine\r\n"
              "Caf\xc3\xa9\tFX,VS3,OK,No,{A5A5A5A5-0000-4000-8000-000000000002},C:\\fx\\w.dll,64,,,,DLL not found,vs3,machine\r\n"
              "Old,Direct-X,Disabled,No,{5A5A5A5A-0000-4000-8000-000000000003},C:\\old.dll,64,,,,DLL not found,filter,machine\r\n");
}

TEST_F(CliListing, Json)
{
    seed();
    EXPECT_EQ(capture(CLI_JSON, 0),
              "[\n"
              "  {\"name\": \"Verb, \\\"Big\\\"\", \"type\": \"Direct-X\", \"status\": \"OK\", "
              "\"exist\": false, \"bits\": 64, \"clsid\": \"{D1D1D1D1-0000-4000-8000-000000000001}\", "
              "\"dll\": \"/nonexistent/verb.dll\", \"version\": null, \"company\": null, "
              "\"description\": null, \"arch\": null, \"problem\": \"DLL not found\", "
              "\"file\": \"/nonexistent/verb.dll\", \"registration\": \"filter\", \"scope\": \"machine\"},\n"
              "  {\"name\": \"Caf\\u00e9\\tFX\", \"type\": \"VS3\", \"status\": \"OK\", "
              "\"exist\": false, \"bits\": 64, \"clsid\": \"{A5A5A5A5-0000-4000-8000-000000000002}\", "
              "\"dll\": \"C:\\\\fx\\\\w.dll\", \"version\": null, \"company\": null, "
              "\"description\": null, \"arch\": null, \"problem\": \"DLL not found\", "
              "\"file\": \"C:\\\\fx\\\\w.dll\", \"registration\": \"vs3\", \"scope\": \"machine\"},\n"
              "  {\"name\": \"Old\", \"type\": \"Direct-X\", \"status\": \"Disabled\", "
              "\"exist\": false, \"bits\": 64, \"clsid\": \"{5A5A5A5A-0000-4000-8000-000000000003}\", "
              "\"dll\": \"C:\\\\old.dll\", \"version\": null, \"company\": null, "
              "\"description\": null, \"arch\": null, \"problem\": \"DLL not found\", "
              "\"file\": \"C:\\\\old.dll\", \"registration\": \"filter\", \"scope\": \"machine\"}\n"
              "]\n");
}

// Names in several scripts, one beyond the BMP, written through the wide
// registry functions: each comes out exactly in every format, and the table
// lines its columns up by characters.
TEST_F(CliListing, NamesInAnyScript)
{
    const char *const names[] = {
        "Pog\xc5\x82os \xc5\xbb\xc3\xb3\xc5\x82\xc4\x87", // Polish
        "\xce\x97\xcf\x87\xcf\x8e",                         // Greek
        "\xd0\x96\xd1\x83\xd0\xba \xd0\x94\xd0\xb8\xd0\xbb\xd1\x8d\xd0\xb9", // Cyrillic
        "\xe6\xb7\xb7\xe9\x9f\xbf",                         // CJK
        "Knob \xf0\x9f\x8e\x9b Box",                        // beyond the BMP
    };
    std::vector<std::string> clsids;
    for (size_t i = 0; i < sizeof names / sizeof names[0]; i++) {
        char clsid[40];
        snprintf(clsid, sizeof clsid, "{D1D1D1D1-0000-4000-8000-0000000001%02X}", static_cast<unsigned>(i));
        clsids.push_back(clsid);
        fx_directx_filter(clsid, "placeholder", "C:\\fx\\u.dll");
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, fx_clsid_key(clsid).c_str(), nullptr, REG_SZ,
                                   fx_w_bytes(names[i]) + std::string(2, '\0')));
    }
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), clsids.size());

    std::string csv_text = capture(CLI_CSV, 0), json_text = capture(CLI_JSON, 0);
    std::string table_text = capture(CLI_TABLE, 0);
    for (char c : json_text) ASSERT_LT(static_cast<unsigned char>(c), 0x80u) << "pure ASCII";
    for (size_t i = 0; i < clsids.size(); i++) {
        SCOPED_TRACE(names[i]);
        EXPECT_NE(csv_text.find(std::string("\r\n") + names[i] + ",Direct-X,OK,No," + clsids[i]),
                  std::string::npos) << csv_text;
        std::string string = json(names[i]);
        EXPECT_NE(json_text.find("{\"name\": " + string + ", "), std::string::npos) << json_text;
        EXPECT_EQ(fx_utf8(json_units(string)), names[i]);
    }
    // Every line has "Direct-X" (or "Type") at the same character column.
    std::vector<size_t> columns;
    size_t start = 0;
    while (start < table_text.size()) {
        size_t end = table_text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        std::string line = table_text.substr(start, end - start);
        size_t at = line.find(start == 0 ? "Type" : "Direct-X");
        ASSERT_NE(at, std::string::npos) << line;
        columns.push_back(text_columns(line.substr(0, at).c_str()));
        start = end + 1;
    }
    ASSERT_EQ(columns.size(), clsids.size() + 1);
    // The widest name is the Polish one: 11 characters, then two blanks.
    for (size_t c : columns) EXPECT_EQ(c, 13u) << table_text;
    EXPECT_NE(table_text.find(std::string("\n") + names[3] + std::string(11, ' ') + "Direct-X"),
              std::string::npos) << table_text;
}

TEST_F(CliListing, ExistingDllAndTypeFilter)
{
    char dll[] = "/tmp/cli_format_test_XXXXXX";
    int fd = mkstemp(dll);
    ASSERT_GE(fd, 0);
    fx_vs3_effect(VS, "Here", nullptr, dll);
    fx_directx_filter(DX, "Filter", "/nonexistent/x.dll");
    rebuild_catalogue();
    std::string vs3_only = capture(CLI_CSV, PLUG_TYPE_VS3);
    std::string dx_only = capture(CLI_CSV, PLUG_TYPE_DIRECTX);
    close(fd);
    unlink(dll);
    // An empty file is found, and is no image.
    EXPECT_EQ(vs3_only, std::string("name,type,status,exist,clsid,dll,bits,version,company,arch,problem,registration,scope\r\n"
                                     "Here,VS3,OK,Yes,{A5A5A5A5-0000-4000-8000-000000000002},") +
                            dll + ",64,,,,not a Windows DLL,vs3,machine\r\n");
    EXPECT_EQ(dx_only, "name,type,status,exist,clsid,dll,bits,version,company,arch,problem,registration,scope\r\n"
                       "Filter,Direct-X,OK,No,{D1D1D1D1-0000-4000-8000-000000000001},/nonexistent/x.dll,64,,,,DLL not found,filter,machine\r\n");
}

TEST_F(CliListing, EmptyCatalogue)
{
    rebuild_catalogue();
    EXPECT_EQ(capture(CLI_TABLE, 0), "Name  Type  Status  Exist  Bits  Scope  Class identifier  DLL\n");
    EXPECT_EQ(capture(CLI_CSV, 0), "name,type,status,exist,clsid,dll,bits,version,company,arch,problem,registration,scope\r\n");
    EXPECT_EQ(capture(CLI_JSON, 0), "[]\n");
}

TEST(CliHelp, DocumentsCommandsFormatsEncodingAndExitCodes)
{
    std::string help = CLI_HELP_TEXT;
    for (const char *piece : {"list", "disable", "enable", "remove", "info", "--format", "--yes",
                              "--type", "--bits", "--output", "RFC 4180", "UTF-8", "byte-order mark",
                              "UTF-16", "\\uXXXX", "by characters", "Exit codes", "  0 ", "  1 ",
                              "  2 ", NO_EXTRA_INFO_TEXT})
        EXPECT_NE(help.find(piece), std::string::npos) << piece;
    // Fits an 80-column console.
    size_t start = 0;
    while (start < help.size()) {
        size_t end = help.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
        start = end + 1;
    }
}

} // namespace
