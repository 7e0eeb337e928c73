// The file columns of the list: each cell while its file is pending and
// once read, the problem's precedence, the order of each column, and the
// find box reaching the company name, in any script.
#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/dll_problem.h"
#include "ui/layout.h"
#include "ui/list_rows.h"

namespace {

PlugEntry plug(const char *dll, int32_t exists, int32_t bits)
{
    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = PLUG_TYPE_DIRECTX;
    strcpy(e.name, "Verb");
    strcpy(e.dll_path, dll);
    e.dll_exists = exists;
    e.bits = bits;
    return e;
}

DllFacts read_as(int32_t read, int32_t image_bits, const char *version, const char16_t *company)
{
    DllFacts f;
    memset(&f, 0, sizeof f);
    f.read = read;
    f.image_bits = image_bits;
    f.arch = image_bits == 64 ? DLL_ARCH_X64 : image_bits == 32 ? DLL_ARCH_X86 : DLL_ARCH_NONE;
    strcpy(f.version, version);
    for (size_t i = 0; company[i] != 0; i++) f.company[i] = company[i];
    return f;
}

TEST(UiRows, ProblemsInTheirOrderOfPrecedenceAndTheirCells)
{
    const PlugEntry none = plug("", 0, 32), missing = plug("C:\\x.dll", 0, 32),
                    found32 = plug("C:\\x.dll", 1, 32), found64 = plug("C:\\x.dll", 1, 64);
    const DllFacts pending = read_as(DLL_READ_PENDING, 0, "", u""),
                   gone = read_as(DLL_READ_NO_FILE, 0, "", u""),
                   junk = read_as(DLL_READ_NOT_PE, 0, "", u""),
                   pe32 = read_as(DLL_READ_IMAGE, 32, "1.2.3.4", u"Acme \u00c9"),
                   pe64 = read_as(DLL_READ_IMAGE, 64, "", u"");
    struct {
        const PlugEntry *e;
        const DllFacts *f;
        int32_t problem;
        const char *version, *company, *words;
    } cases[] = {
        {&none, &pe64, DLL_PROBLEM_NO_DLL, "", "", "no DLL registered"},
        {&missing, &pending, DLL_PROBLEM_NOT_FOUND, "", "", "DLL not found"},
        {&found32, nullptr, DLL_PROBLEM_UNKNOWN, "...", "...", "..."},
        {&found32, &pending, DLL_PROBLEM_UNKNOWN, "...", "...", "..."},
        {&found32, &gone, DLL_PROBLEM_NOT_FOUND, "", "", "DLL not found"},
        {&found32, &junk, DLL_PROBLEM_NOT_PE, "", "", "not a Windows DLL"},
        {&found32, &pe64, DLL_PROBLEM_64_IN_32, "", "", "64-bit DLL in the 32-bit view"},
        {&found64, &pe32, DLL_PROBLEM_32_IN_64, "1.2.3.4", u8"Acme É",
         "32-bit DLL in the 64-bit view"},
        {&found32, &pe32, DLL_PROBLEM_NONE, "1.2.3.4", u8"Acme É", ""},
        {&found64, &pe64, DLL_PROBLEM_NONE, "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.words);
        EXPECT_EQ(dll_problem(c.e, c.f), c.problem);
        char scratch[ROW_CELL_SIZE];
        EXPECT_STREQ(row_cell_text(c.e, c.f, COLUMN_VERSION, scratch, sizeof scratch), c.version);
        EXPECT_STREQ(row_cell_text(c.e, c.f, COLUMN_COMPANY, scratch, sizeof scratch), c.company);
        EXPECT_STREQ(row_cell_text(c.e, c.f, COLUMN_PROBLEM, scratch, sizeof scratch), c.words);
        EXPECT_EQ(row_has_problem(c.e, c.f),
                  c.problem != DLL_PROBLEM_NONE && c.problem != DLL_PROBLEM_UNKNOWN);
    }
    char scratch[ROW_CELL_SIZE];
    EXPECT_EQ(row_cell_text(&found32, &pe32, 0, scratch, sizeof scratch), found32.name);
    EXPECT_EQ(row_cell_text(&found32, &pe32, LIST_COLUMN_COUNT, scratch, sizeof scratch), nullptr);
}

TEST(UiRows, FileColumnsSortWithPendingCellsLast)
{
    const PlugEntry e = plug("C:\\x.dll", 1, 64), lost = plug("C:\\x.dll", 0, 64);
    const DllFacts v9 = read_as(DLL_READ_IMAGE, 64, "9.0.0.0", u"b"),
                   v10 = read_as(DLL_READ_IMAGE, 64, "10.0.0.0", u"B"),
                   bare = read_as(DLL_READ_IMAGE, 64, "", u""),
                   wrong = read_as(DLL_READ_IMAGE, 32, "1.0.0.0", u"\u0416"),
                   pending = read_as(DLL_READ_PENDING, 0, "", u"");
    struct {
        const PlugEntry *a;
        const DllFacts *fa;
        const PlugEntry *b;
        const DllFacts *fb;
        int column, expected;
    } cases[] = {
        {&e, &v9, &e, &v10, COLUMN_VERSION, -1},       // by number, not by text
        {&e, &bare, &e, &v9, COLUMN_VERSION, 1},       // no version after a version
        {&e, &pending, &e, &bare, COLUMN_VERSION, 1},  // pending last
        {&e, &v10, &e, &v9, COLUMN_COMPANY, -1},       // by code unit: 'B' before 'b'
        {&e, &wrong, &e, &v9, COLUMN_COMPANY, 1},      // U+0416 after ASCII
        {&e, &bare, &e, &v9, COLUMN_COMPANY, 1},       // no maker after a maker
        {&e, &pending, &e, &v9, COLUMN_COMPANY, 1},
        {&lost, &pending, &e, &wrong, COLUMN_PROBLEM, -1}, // not found before wrong view
        {&e, &wrong, &e, &v9, COLUMN_PROBLEM, -1},     // a problem before none
        {&e, &pending, &e, &v9, COLUMN_PROBLEM, 1},    // unknown last
        {&e, &v9, &e, &v9, COLUMN_PROBLEM, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(compare_plug_rows(c.a, c.fa, c.b, c.fb, c.column), c.expected) << c.column;
        EXPECT_EQ(compare_plug_rows(c.b, c.fb, c.a, c.fa, c.column), -c.expected) << c.column;
    }
}

TEST(UiRows, FindBoxMatchesTheCompany)
{
    const PlugEntry e = plug("C:\\x.dll", 1, 64);
    const DllFacts acme = read_as(DLL_READ_IMAGE, 64, "", u"\u00c9cho Audio"),
                   pending = read_as(DLL_READ_PENDING, 0, "", u"");
    EXPECT_EQ(row_matches(&e, &acme, u8"é" "CHO A"), 1);
    EXPECT_EQ(row_matches(&e, &acme, "verb"), 1); // the name still counts
    EXPECT_EQ(row_matches(&e, &acme, "echo"), 0);
    EXPECT_EQ(row_matches(&e, &pending, "cho"), 0);
    const DllFacts cyrillic =
        read_as(DLL_READ_IMAGE, 64, "", u"\u0416\u0443\u043a \u0401\u0436");
    EXPECT_EQ(row_matches(&e, &cyrillic, u8"жук ё"), 1);
}

// The company cell is the file's UTF-16 text in UTF-8, whatever its script.
TEST(UiRows, CompanyCellIsUtf8)
{
    const PlugEntry e = plug("C:\\x.dll", 1, 64);
    const DllFacts f = read_as(DLL_READ_IMAGE, 64, "", u"\u7a7a\u9593 \U0001F39B");
    char scratch[ROW_CELL_SIZE];
    EXPECT_STREQ(row_cell_text(&e, &f, COLUMN_COMPANY, scratch, sizeof scratch),
                 u8"空間 🎛");
    EXPECT_EQ(shows_file_company(&e, &f), 1);
    EXPECT_EQ(shows_file_company(&e, nullptr), 0);
}

// Any script, any case; what the portable fold lacks still matches exactly.
TEST(UiFind, LettersOfAnyScriptMatchWithoutRegardToCase)
{
    const struct {
        const char *text, *needle;
        int expected;
    } cases[] = {
        {u8"Жук Дилэй", u8"жук", 1},
        {u8"Жук Дилэй", u8"ДИЛЭЙ", 1},
        {u8"Ёлка", u8"ёл", 1},
        {u8"Żółty Kompresor", u8"ŻÓŁTY", 1},
        {u8"Ηχώ", u8"ηχ", 1},
        {u8"空間リバーブ", u8"リバーブ", 1},
        {u8"Knob 🎛 Box", u8"🎛 box", 1},
        {u8"Knob 🎛 Box", u8"🎚", 0},
        {u8"Жук", u8"жуки", 0},
        {"abc", "", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(text_matches(c.text, strlen(c.text) + 1, c.needle), c.expected) << c.needle;
    // Only the first max_len bytes count.
    EXPECT_EQ(text_matches(u8"Жук", 2, u8"у"), 0);
}

} // namespace
