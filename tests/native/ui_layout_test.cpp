// The user interface without windows: the start-directory
// preparation, the window and list arithmetic, and the list's texts and order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue/scopes.h"
#include "ui/layout.h"
#include "ui/list_rows.h"

namespace {

std::string stripped(const char *path)
{
    char buffer[LINK_DIR_SIZE];
    strncpy(buffer, path, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = 0;
    strip_file_name(buffer);
    return buffer;
}

struct StripCase {
    const char *path;
    const char *expected;
};

TEST(UiStripFileName, SplitsLikeThePlatformPathSplitter)
{
    const StripCase cases[] = {
        {"C:\\Audio\\Tools", "C:\\Audio\\Tools"},     // no extension: a directory
        {"C:\\Audio\\Tools.new", "C:\\Audio"},        // taken for a file name
        {"D:\\", "D:\\"},                             // the root stays
        {"C:\\", "C:\\"},
        {"C:\\Program Files\\Acme\\readme.txt", "C:\\Program Files\\Acme"},
        {"C:\\x.y\\Tools", "C:\\x.y\\Tools"},         // a dot in a parent does not count
        {"C:\\Audio\\Tools.", "C:\\Audio"},           // a lone dot is an extension
        {"C:\\Audio\\.hidden", "C:\\Audio"},
        {"C:\\a.b", "C:"},                            // the one backslash after the drive goes
        {"C:file.txt", "C:"},
        {"file.txt", ""},
        {"C:/Audio/Tools.new", "C:/Audio/"},          // only a backslash is dropped
        {"C:\\Audio/Tools.new", "C:\\Audio/"},
        {"\\\\server\\share\\dir.d", "\\\\server\\share"},
        {"C:\\Audio\\\\Tools.new", "C:\\Audio\\"},    // one backslash only
        {"", ""},
    };
    for (const StripCase &c : cases) EXPECT_EQ(stripped(c.path), c.expected) << c.path;
}

// Shift-JIS: 0x81-0x9F and 0xE0-0xFC lead a two-byte character whose second
// byte may look like a backslash (0x5C) or even a dot (0x2E is never a trail
// byte there, but the rule must hold for any byte).
int shift_jis_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

TEST(UiStripFileName, TrailBytesAreNeitherSeparatorsNorDots)
{
    struct Case {
        const char *path;
        const char *expected;
    } cases[] = {
        // "\x95\x5C" (one character) then ".new": the 0x5C is no separator.
        {"C:\\Audio\\\x95\x5C.new", "C:\\Audio"},
        // Trail byte 0x5C at the end: no extension after it.
        {"C:\\Audio\\Tools\x95\x5C", "C:\\Audio\\Tools\x95\x5C"},
        // A trail byte 0x2E is not a dot.
        {"C:\\Audio\\x\x81\x2E", "C:\\Audio\\x\x81\x2E"},
        // A lead byte with nothing after it ends the scan.
        {"C:\\Audio\\a.b\x81", "C:\\Audio"},
    };
    for (const auto &c : cases) {
        char buffer[64];
        strcpy(buffer, c.path);
        strip_file_name_with(buffer, shift_jis_lead);
        EXPECT_STREQ(buffer, c.expected) << c.path;
    }
    // Read byte by byte, the same paths split differently, so the cases above
    // really exercise the lead-byte rule.
    EXPECT_EQ(stripped("C:\\Audio\\\x95\x5C.new"), "C:\\Audio\\\x95");
    char plain[64];
    strcpy(plain, "C:\\Audio\\x\x81\x2E");
    strip_file_name(plain);
    EXPECT_STREQ(plain, "C:\\Audio");
}

// The fake file system of these tests: a set of directories.
const char *const existing_dirs[] = {"C:\\Audio\\Tools.new", "C:\\Audio", "D:\\"};
int fake_is_directory(const char *path)
{
    for (const char *dir : existing_dirs)
        if (strcmp(dir, path) == 0) return 1;
    return 0;
}

class UiLinkDir : public ::testing::Test {
protected:
    void SetUp() override { memcpy(saved_, start_dir, sizeof saved_); }
    void TearDown() override { memcpy(start_dir, saved_, sizeof saved_); }
    char saved_[START_DIR_SIZE];
};

TEST_F(UiLinkDir, AnExistingDirectoryIsKeptWhateverDotsItHolds)
{
    const StripCase cases[] = {
        {"C:\\Audio\\Tools.new", "C:\\Audio\\Tools.new"}, // exists: kept
        {"C:\\Audio\\Gone.new", "C:\\Audio"},             // names none: stripped
        {"C:\\Audio", "C:\\Audio"},
        {"D:\\", "D:\\"},
        {"E:\\Missing", "E:\\Missing"}, // no extension, nothing to strip
    };
    for (const StripCase &c : cases) {
        strcpy(start_dir, c.path);
        char dir[LINK_DIR_SIZE];
        memset(dir, 'x', sizeof dir);
        prepare_link_dir(dir, fake_is_directory);
        EXPECT_STREQ(dir, c.expected) << c.path;
    }
}

TEST_F(UiLinkDir, CopyStartDirCopiesTheWholeBufferTerminated)
{
    memset(start_dir, 'A', START_DIR_SIZE); // an unterminated buffer must not overrun
    start_dir[5] = 0;
    char dir[LINK_DIR_SIZE];
    memset(dir, 'x', sizeof dir);
    copy_start_dir(dir);
    EXPECT_STREQ(dir, "AAAAA");
    start_dir[5] = 'A';
    copy_start_dir(dir);
    EXPECT_EQ(strlen(dir), static_cast<size_t>(START_DIR_SIZE - 1));
    EXPECT_EQ(dir[START_DIR_SIZE], 'x'); // nothing written past the 1024 bytes
}

// Documents: readme.txt lies in C:\Audio and in the program's folder,
// license.txt in the program's folder only.
int fake_is_file(const char *path)
{
    const char *const files[] = {"C:\\Audio\\readme.txt", "E:\\Tools\\readme.txt",
                                 "E:\\Tools\\license.txt", "F:\\license.txt"};
    for (const char *file : files)
        if (strcmp(path, file) == 0) return 1;
    return 0;
}

TEST_F(UiLinkDir, DocumentsFromTheStartDirectoryElseBesideTheProgram)
{
    const struct {
        const char *start, *file, *program, *expected;
    } cases[] = {
        {"C:\\Audio", "readme.txt", "E:\\Tools\\ManagePlugins.exe", "C:\\Audio"},
        {"C:\\Audio", "license.txt", "E:\\Tools\\ManagePlugins.exe", "E:\\Tools"},
        {"D:\\", "license.txt", "F:\\ManagePlugins.exe", "F:\\"},
        {"C:\\Audio", "missing.txt", "E:\\Tools\\ManagePlugins.exe", "C:\\Audio"}, // nowhere
        {"C:\\Audio", "license.txt", "", "C:\\Audio"}, // the program's path unknown
    };
    for (const auto &c : cases) {
        strcpy(start_dir, c.start);
        char dir[LINK_DIR_SIZE];
        document_dir(dir, c.file, c.program, fake_is_directory, fake_is_file);
        EXPECT_STREQ(dir, c.expected) << c.file << " from " << c.start;
    }
}

TEST(UiLayout, StartDirStartsAsTheDriveRoot)
{
    // Until capture_start_dir runs, and whenever it fails.
    EXPECT_STREQ(start_dir, "C:\\");
}

TEST(UiLayout, WindowSizeGivesA600By480ClientScaledForTheGivenFrame)
{
    struct {
        int extra_width, extra_height, dpi, width, height;
    } cases[] = {{6, 24, 96, 606, 504},  {0, 0, 96, 600, 480},   {8, 31, 96, 608, 511},
                 {12, 36, 144, 912, 756}, {16, 48, 192, 1216, 1008}, {0, 0, 120, 750, 600},
                 {0, 0, 0, 600, 480}};
    for (const auto &c : cases) {
        int width = -1;
        int height = -1;
        main_window_size(c.extra_width, c.extra_height, c.dpi, &width, &height);
        EXPECT_EQ(width, c.width) << c.dpi;
        EXPECT_EQ(height, c.height) << c.dpi;
    }
}

TEST(UiLayout, ListFillsTheClientBelowTheHeaderStrip)
{
    struct {
        uint32_t param;
        int dpi, width, height;
    } cases[] = {
        {(480u << 16) | 600u, 96, 600, 415},
        {(1200u << 16) | 1920u, 96, 1920, 1135},
        {(65u << 16) | 300u, 96, 300, 0},
        {0u, 96, 0, -65},                      // minimised: no visible height, no failure
        {(40u << 16) | 100u, 96, 100, -25},
        {0xFFFFFFFFu, 96, 65535, 65535 - 65}, // both halves unsigned
        {(720u << 16) | 900u, 144, 900, 720 - 98},  // the strip scales: 65 * 1.5 = 97.5
        {(960u << 16) | 1200u, 192, 1200, 960 - 130},
    };
    for (const auto &c : cases) {
        int width = -1;
        int height = -1;
        list_size_for_client(c.param, c.dpi, &width, &height);
        EXPECT_EQ(width, c.width) << std::hex << c.param;
        EXPECT_EQ(height, c.height) << std::hex << c.param;
    }
}

TEST(UiScale, SizesAreMultipliedByDpiOver96AndRounded)
{
    struct {
        int value, dpi, scaled;
    } cases[] = {{600, 96, 600}, {600, 144, 900}, {480, 192, 960}, {65, 144, 98},
                 {25, 144, 38},  {3, 120, 4},     {1, 144, 2},     {40, 0, 40},
                 {-65, 144, -98}, {0, 192, 0},    {2000, 168, 3500}};
    for (const auto &c : cases) EXPECT_EQ(scale_to_dpi(c.value, c.dpi), c.scaled) << c.value << " " << c.dpi;
}

// A font of fixed pitch: each character is 7 pixels wide.
int seven_a_letter(const char *text, void *context)
{
    (void)context;
    return 7 * static_cast<int>(strlen(text));
}

TEST(UiScale, NarrowColumnsAreAsWideAsTheirWidestTextAndFreeOnesScale)
{
    struct {
        int column, dpi, width;
    } cases[] = {
        {1, 96, 68},   // "Direct-X": 56 + 12 beats 60
        {1, 144, 90},  // 56 + 18 is less than its 60 scaled
        {3, 96, 47},   // "Exist": 35 + 12
        {3, 192, 80},  // its 40 scaled
        {5, 96, 40},   // "Bits": 28 + 12, just its own width
        {0, 144, 300}, // free text only scales
        {4, 192, 800},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fitted_column_width(&list_columns[c.column], c.dpi, seven_a_letter, nullptr),
                  c.width)
            << list_columns[c.column].header << " at " << c.dpi;
}

TEST(UiScale, NarrowColumnsListEveryTextTheirCellsShow)
{
    for (int column = 0; column < LIST_COLUMN_COUNT; column++) {
        if (list_columns[column].cell_texts == nullptr) continue;
        for (int flags = 0; flags < 8 * 3; flags++) {
            PlugEntry e;
            memset(&e, 0, sizeof e);
            e.type = flags % 3 == 0 ? PLUG_TYPE_DIRECTX : flags % 3 == 1 ? PLUG_TYPE_VS3 : PLUG_TYPE_DMO;
            e.disabled = (flags / 3) & 1;
            e.dll_exists = (flags / 6) & 1;
            e.bits = (flags / 12) & 1 ? 64 : 32;
            const char *shown = cell_text(&e, column);
            bool listed = false;
            for (const char *const *t = list_columns[column].cell_texts; *t != nullptr; t++)
                listed = listed || strcmp(*t, shown) == 0;
            EXPECT_TRUE(listed) << list_columns[column].header << ": " << shown;
        }
    }
}

TEST(UiScale, ResampledPicturesKeepTheirColoursAndBlendTheirEdges)
{
    // Two pixels, black then white, in one row.
    const uint32_t source[2] = {0x000000u, 0xFFFFFFu};
    uint32_t same[2] = {0, 0};
    resample_picture(source, 2, 1, same, 2, 1);
    EXPECT_EQ(same[0], 0x000000u);
    EXPECT_EQ(same[1], 0xFFFFFFu);
    // Doubled: the outer pixels keep their colours, the inner ones blend.
    uint32_t doubled[4 * 2] = {0};
    resample_picture(source, 2, 1, doubled, 4, 2);
    EXPECT_EQ(doubled[0], 0x000000u);
    EXPECT_EQ(doubled[3], 0xFFFFFFu);
    EXPECT_EQ(doubled[1], 0x404040u);
    EXPECT_EQ(doubled[2], 0xBFBFBFu);
    EXPECT_EQ(doubled[5], doubled[1]); // every row alike
    // A flat picture stays flat, channel by channel.
    const uint32_t flat[9] = {0x123456u, 0x123456u, 0x123456u, 0x123456u, 0x123456u,
                              0x123456u, 0x123456u, 0x123456u, 0x123456u};
    uint32_t larger[5 * 5];
    resample_picture(flat, 3, 3, larger, 5, 5);
    for (uint32_t pixel : larger) EXPECT_EQ(pixel, 0x123456u);
}

TEST(UiLayout, ButtonsSitOnTheStripInARowWithoutOverlap)
{
    const int ids[BUTTON_COUNT] = {CMD_ENABLE, CMD_DISABLE, CMD_REMOVE, CMD_PROPERTIES};
    const char *labels[BUTTON_COUNT] = {"Enable", "Disable", "Remove", "Properties"};
    const int xs[BUTTON_COUNT] = {3, 105, 210, 315};
    for (int i = 0; i < BUTTON_COUNT; i++) {
        const ButtonSpec &b = main_buttons[i];
        EXPECT_EQ(b.id, ids[i]);
        EXPECT_STREQ(b.label, labels[i]);
        EXPECT_EQ(b.x, xs[i]);
        EXPECT_EQ(b.y, 35);
        EXPECT_EQ(b.width, 100);
        EXPECT_EQ(b.height, 25);
        EXPECT_LE(b.y + b.height, LIST_TOP); // the list view does not hide them
        if (i > 0) {
            EXPECT_GT(b.x, main_buttons[i - 1].x + main_buttons[i - 1].width - 1);
        }
    }
    EXPECT_EQ(CLIENT_WIDTH, 600);
    EXPECT_EQ(CLIENT_HEIGHT, 480);
}

TEST(UiLayout, ColumnsAndTheirWidths)
{
    const char *headers[LIST_COLUMN_COUNT] = {"Plug-ins Name", "Type",    "Status",  "Exist",
                                              "DLL",           "Bits",    "Scope",   "Version",
                                              "Company",       "Problem"};
    const int widths[LIST_COLUMN_COUNT] = {200, 60, 60, 40, 400, 40, 60, 90, 150, 180};
    for (int i = 0; i < LIST_COLUMN_COUNT; i++) {
        EXPECT_STREQ(list_columns[i].header, headers[i]);
        EXPECT_EQ(list_columns[i].width, widths[i]);
    }
}

TEST(UiLayout, ClassNameCarriesTheCopyrightSignAsOneByte)
{
    const char *name = MAIN_CLASS_NAME;
    ASSERT_EQ(strlen(name), strlen("Tessary-Halvard") + 1 + strlen("w_Main"));
    EXPECT_EQ(static_cast<unsigned char>(name[15]), 0xA9);
    EXPECT_EQ(std::string(name, 15), "Tessary-Halvard");
    EXPECT_STREQ(name + 16, "w_Main");
}

PlugEntry entry(int32_t type, int32_t disabled, int32_t exists, const char *name,
                const char *dll)
{
    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = type;
    e.disabled = disabled;
    e.dll_exists = exists;
    strcpy(e.name, name);
    strcpy(e.dll_path, dll);
    return e;
}

TEST(UiCells, TextsByColumn)
{
    PlugEntry dx = entry(PLUG_TYPE_DIRECTX, 0, 1, "Echo", "C:\\echo.dll");
    PlugEntry vs3 = entry(PLUG_TYPE_VS3, 1, 0, "Widener", "C:\\w.dll");
    PlugEntry odd = entry(7, 5, -3, "Odd", "");
    // Columns 0 and 4 point into the entry itself: nothing is copied.
    EXPECT_EQ(cell_text(&dx, 0), dx.name);
    EXPECT_EQ(cell_text(&dx, 4), dx.dll_path);
    EXPECT_STREQ(cell_text(&dx, 1), "Direct-X");
    EXPECT_STREQ(cell_text(&vs3, 1), "VS3");
    EXPECT_STREQ(cell_text(&odd, 1), "");
    EXPECT_STREQ(cell_text(&dx, 2), "- OK -");
    EXPECT_STREQ(cell_text(&vs3, 2), "Disabled");
    EXPECT_STREQ(cell_text(&odd, 2), "Disabled"); // any non-zero flag
    EXPECT_STREQ(cell_text(&dx, 3), "Yes");
    EXPECT_STREQ(cell_text(&vs3, 3), "-no-");
    EXPECT_STREQ(cell_text(&odd, 3), "Yes");
    dx.bits = 64;
    vs3.bits = 32;
    EXPECT_STREQ(cell_text(&dx, 5), "64");
    EXPECT_STREQ(cell_text(&vs3, 5), "32");
    EXPECT_EQ(compare_plug_entries(&vs3, &dx, 5), -1);
    dx.scope = PLUG_SCOPE_USER;
    EXPECT_STREQ(cell_text(&dx, 6), "User");
    EXPECT_STREQ(cell_text(&vs3, 6), "Machine"); // no scope: every earlier record's
    EXPECT_EQ(compare_plug_entries(&vs3, &dx, 6), -1);
    EXPECT_EQ(cell_text(&dx, 7), nullptr);
    EXPECT_EQ(cell_text(&dx, -1), nullptr);
}

TEST(UiFind, MatchesNameDllOrClassIdentifierInAnyCaseAndTitlesTheCount)
{
    PlugEntry e = entry(PLUG_TYPE_DIRECTX, 0, 1, u8"Room Écho", "C:\\Acme\\Verb.dll");
    strcpy(e.clsid_text, "{6D1A0001-3C51-4E2B-9A10-5EED00000001}");
    for (const char *needle : {"", u8"ROOM éCHO", "acme\\verb", "{6d1a"})
        EXPECT_EQ(entry_matches(&e, needle), 1) << needle;
    for (const char *needle : {"rooms", "verb.exe", "5eef"}) EXPECT_EQ(entry_matches(&e, needle), 0);
    char title[64];
    window_title(title, sizeof title, 1, 3, 214);
    EXPECT_STREQ(title, "Manage Plug-ins - 3 of 214");
}

TEST(UiOrder, ByColumn)
{
    PlugEntry zeta = entry(PLUG_TYPE_VS3, 0, 0, "Zeta", "c:\\b.dll");
    PlugEntry alpha = entry(PLUG_TYPE_DIRECTX, 1, 1, "alpha", "C:\\a.dll");
    PlugEntry echo = entry(PLUG_TYPE_DIRECTX, 0, 1, "Echo", "C:\\a.dll");
    PlugEntry echo2 = entry(PLUG_TYPE_DIRECTX, 0, 1, "Echo 2", u8"C:\\a.dllé");
    PlugEntry high = entry(PLUG_TYPE_DIRECTX, 0, 1, u8"Écho", "C:\\a.dl");
    PlugEntry cyrillic = entry(PLUG_TYPE_DIRECTX, 0, 1, u8"Жук", "C:\\a.dl");
    PlugEntry private_use = entry(PLUG_TYPE_DIRECTX, 0, 1, u8"\uE000", "C:\\a.dl");
    PlugEntry knob = entry(PLUG_TYPE_DIRECTX, 0, 1, u8"🎛", "C:\\a.dl");
    struct {
        const PlugEntry *a, *b;
        int column, expected;
    } cases[] = {
        {&zeta, &alpha, 0, -1},  // upper case before lower case
        {&alpha, &zeta, 0, 1},
        {&echo, &echo2, 0, -1},  // a beginning goes first
        {&echo2, &echo, 0, 1},
        {&echo, &echo, 0, 0},
        {&alpha, &high, 0, -1},  // bytes are unsigned: U+00C9 after 'a'
        {&high, &zeta, 0, 1},
        {&high, &cyrillic, 0, -1}, // then by code point
        {&cyrillic, &private_use, 0, -1},
        {&private_use, &knob, 0, -1}, // U+1F39B after U+E000, unlike UTF-16 order
        {&alpha, &zeta, 1, -1},  // Direct-X before VS3
        {&zeta, &alpha, 1, 1},
        {&echo, &alpha, 1, 0},
        {&alpha, &zeta, 2, -1},  // Disabled before - OK -
        {&zeta, &alpha, 2, 1},
        {&echo, &zeta, 2, 0},
        {&alpha, &zeta, 3, -1},  // Yes before -no-
        {&zeta, &echo, 3, 1},
        {&alpha, &echo, 3, 0},
        {&alpha, &zeta, 4, -1},  // 'C' before 'c'
        {&echo, &echo2, 4, -1},
        {&echo2, &echo, 4, 1},
        {&high, &echo, 4, -1},
        {&echo, &alpha, 4, 0},
        {&alpha, &zeta, 5, 0},   // no such column
        {&alpha, &zeta, -1, 0},
        {nullptr, &zeta, 0, 0},  // a missing entry equals everything
        {&zeta, nullptr, 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(compare_plug_entries(c.a, c.b, c.column), c.expected)
            << (c.a ? c.a->name : "-") << " / " << (c.b ? c.b->name : "-") << " col " << c.column;
}

TEST(UiOrder, FlagsCompareAsTheirFullNumbers)
{
    // Status unsigned: a flag of 0xFFFFFFFF counts as the largest, first.
    PlugEntry odd = entry(PLUG_TYPE_DIRECTX, -1, -1, "a", "");
    PlugEntry one = entry(PLUG_TYPE_DIRECTX, 1, 1, "b", "");
    PlugEntry weird_type = entry(-1, 0, 0, "c", "");
    EXPECT_EQ(compare_plug_entries(&odd, &one, 2), -1);
    // Exist signed: -1 is below 1, so it goes after.
    EXPECT_EQ(compare_plug_entries(&odd, &one, 3), 1);
    // Type unsigned: 0xFFFFFFFF after VS3.
    PlugEntry vs3 = entry(PLUG_TYPE_VS3, 0, 0, "d", "");
    EXPECT_EQ(compare_plug_entries(&weird_type, &vs3, 1), 1);
}

} // namespace

// The box's lines: one per plug-in, kept whole; a line that does not fit
// is left out entirely and said so.
TEST(UiOutcomeBox, LinesAreAppendedWholeOrNotAtAll)
{
    PlugEntry named = entry(PLUG_TYPE_DIRECTX, 0, 1, "Echo", "");
    PlugEntry unnamed = entry(PLUG_TYPE_VS3, 0, 1, "", "");
    strcpy(unnamed.clsid_text, "{X}");
    char text[40] = "";
    EXPECT_EQ(append_outcome_line(text, sizeof text, &named, "not found at HKCR"), 1);
    EXPECT_EQ(append_outcome_line(text, sizeof text, &unnamed, "denied"), 1);
    EXPECT_STREQ(text, "Echo: not found at HKCR\n{X}: denied\n");
    EXPECT_EQ(append_outcome_line(text, sizeof text, &named, "x"), 0);
    EXPECT_STREQ(text, "Echo: not found at HKCR\n{X}: denied\n");
}
