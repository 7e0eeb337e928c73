// The listing's field encodings and the three formats, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

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

TEST(CliFormat, JsonWritesHighBytesAsWindows1252CodePoints)
{
    EXPECT_EQ(json("\x80"), "\"\\u20ac\"");
    EXPECT_EQ(json("\x81"), "\"\\u0081\"");
    EXPECT_EQ(json("\x8a\x99\x9f"), "\"\\u0160\\u2122\\u0178\"");
    EXPECT_EQ(json("Caf\xe9"), "\"Caf\\u00e9\"");
    EXPECT_EQ(json("\xa0\xff"), "\"\\u00a0\\u00ff\"");
}

// Every byte has a code point of its own, so the escapes give the bytes back.
TEST(CliFormat, Windows1252MappingIsReversible)
{
    unsigned seen[256];
    for (unsigned b = 0; b < 256; b++) {
        seen[b] = cp1252_code_point(static_cast<unsigned char>(b));
        for (unsigned a = 0; a < b; a++) ASSERT_NE(seen[a], seen[b]) << a << " and " << b;
    }
    for (unsigned b = 0; b < 0x80; b++) EXPECT_EQ(seen[b], b);
    for (unsigned b : {0x81u, 0x8Du, 0x8Fu, 0x90u, 0x9Du}) EXPECT_EQ(seen[b], b);

    std::string all;
    for (unsigned b = 1; b < 256; b++) all += static_cast<char>(b);
    std::string text = json(all);
    // Pure ASCII, and decoding the escapes through the mapping restores the text.
    std::string back;
    for (size_t i = 1; i + 1 < text.size(); i++) {
        ASSERT_LT(static_cast<unsigned char>(text[i]), 0x80u);
        if (text[i] != '\\') {
            back += text[i];
            continue;
        }
        char e = text[++i];
        if (e == 'u') {
            unsigned cp = static_cast<unsigned>(std::stoul(text.substr(i + 1, 4), nullptr, 16));
            i += 4;
            int found = -1;
            for (unsigned b = 0; b < 256; b++)
                if (seen[b] == cp) found = static_cast<int>(b);
            ASSERT_GE(found, 0);
            back += static_cast<char>(found);
        } else {
            const char *from = "nrtbf\"\\", *to = "\n\r\t\b\f\"\\";
            back += to[strchr(from, e) - from];
        }
    }
    EXPECT_EQ(back, all);
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
    EXPECT_EQ(table_cell("a\tb\nc\x7f" "d\xe9", 31, out, sizeof out), 1);
    EXPECT_STREQ(out, "a?b?c?d\xe9");
}

TEST(CliFormat, CellTexts)
{
    EXPECT_STREQ(type_text(PLUG_TYPE_DIRECTX), "Direct-X");
    EXPECT_STREQ(type_text(PLUG_TYPE_VS3), "VS3");
    EXPECT_STREQ(type_text(3), "");
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
    // high byte and a tab, and a saved copy in the disabled store.
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
              "Name         Type      Status    Exist  Bits  Class identifier                        DLL\n"
              "Verb, \"Big\"  Direct-X  OK        No     64    {D1D1D1D1-0000-4000-8000-000000000001}  /nonexistent/verb.dll\n"
              "Caf\xe9?FX      VS3       OK        No     64    {A5A5A5A5-0000-4000-8000-000000000002}  C:\\fx\\w.dll\n"
              "Old          Direct-X  Disabled  No     64    {5A5A5A5A-0000-4000-8000-000000000003}  C:\\old.dll\n");
}

TEST_F(CliListing, Csv)
{
    seed();
    EXPECT_EQ(capture(CLI_CSV, 0),
              "name,type,status,exist,clsid,dll,bits,version,company,arch,problem\r\n"
              "\"Verb, \"\"Big\"\"\",Direct-X,OK,No,{D1D1D1D1-0000-4000-8000-000000000001},/nonexistent/verb.dll,64,,,,DLL not found\r\n"
              "Caf\xe9\tFX,VS3,OK,No,{A5A5A5A5-0000-4000-8000-000000000002},C:\\fx\\w.dll,64,,,,DLL not found\r\n"
              "Old,Direct-X,Disabled,No,{5A5A5A5A-0000-4000-8000-000000000003},C:\\old.dll,64,,,,DLL not found\r\n");
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
              "\"file\": \"/nonexistent/verb.dll\"},\n"
              "  {\"name\": \"Caf\\u00e9\\tFX\", \"type\": \"VS3\", \"status\": \"OK\", "
              "\"exist\": false, \"bits\": 64, \"clsid\": \"{A5A5A5A5-0000-4000-8000-000000000002}\", "
              "\"dll\": \"C:\\\\fx\\\\w.dll\", \"version\": null, \"company\": null, "
              "\"description\": null, \"arch\": null, \"problem\": \"DLL not found\", "
              "\"file\": \"C:\\\\fx\\\\w.dll\"},\n"
              "  {\"name\": \"Old\", \"type\": \"Direct-X\", \"status\": \"Disabled\", "
              "\"exist\": false, \"bits\": 64, \"clsid\": \"{5A5A5A5A-0000-4000-8000-000000000003}\", "
              "\"dll\": \"C:\\\\old.dll\", \"version\": null, \"company\": null, "
              "\"description\": null, \"arch\": null, \"problem\": \"DLL not found\", "
              "\"file\": \"C:\\\\old.dll\"}\n"
              "]\n");
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
    EXPECT_EQ(vs3_only, std::string("name,type,status,exist,clsid,dll,bits,version,company,arch,problem\r\n"
                                     "Here,VS3,OK,Yes,{A5A5A5A5-0000-4000-8000-000000000002},") +
                            dll + ",64,,,,not a Windows DLL\r\n");
    EXPECT_EQ(dx_only, "name,type,status,exist,clsid,dll,bits,version,company,arch,problem\r\n"
                       "Filter,Direct-X,OK,No,{D1D1D1D1-0000-4000-8000-000000000001},/nonexistent/x.dll,64,,,,DLL not found\r\n");
}

TEST_F(CliListing, EmptyCatalogue)
{
    rebuild_catalogue();
    EXPECT_EQ(capture(CLI_TABLE, 0), "Name  Type  Status  Exist  Bits  Class identifier  DLL\n");
    EXPECT_EQ(capture(CLI_CSV, 0), "name,type,status,exist,clsid,dll,bits,version,company,arch,problem\r\n");
    EXPECT_EQ(capture(CLI_JSON, 0), "[]\n");
}

TEST(CliHelp, DocumentsCommandsFormatsEncodingAndExitCodes)
{
    std::string help = CLI_HELP_TEXT;
    for (const char *part : {"list", "disable", "enable", "remove", "info", "--format", "--yes",
                             "--type", "--bits", "RFC 4180", "Windows-1252", "\\uXXXX", "Exit codes",
                             "  0 ", "  1 ", "  2 ", NO_EXTRA_INFO_TEXT})
        EXPECT_NE(help.find(part), std::string::npos) << part;
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
