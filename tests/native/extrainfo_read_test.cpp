// Reading EX_info: the marker rule, the value-type and size rules, and the
// path limit, against the in-process registry.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <strings.h>

#include "catalogue/scopes.h"
#include "extrainfo/extrainfo.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char CLSID[] = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
const char KEY[] = "CLSID\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\\EX_info";
const char KEY_HKCR[] = "HKCR\\CLSID\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\\EX_info";

const char *const NUMBER_NAMES[15] = {"Fmin",        "Fmax",     "PinMin",   "PinMax",
                                      "Compat_VS3",  "Compat_Lumo", "Category", "DSD_support",
                                      "HasGUI",      "VS3_auto", "MultiGUI", "MIDI",
                                      "ALERT",       "NETcom",   "Cloning"};

int32_t *number_field(ExtraInfo *info, int i)
{
    int32_t *fields[15] = {&info->Fmin,        &info->Fmax,     &info->PinMin,   &info->PinMax,
                           &info->Compat_VS3,  &info->Compat_Lumo, &info->Category,
                           &info->DSD_support, &info->HasGUI,   &info->VS3_auto, &info->MultiGUI,
                           &info->MIDI,        &info->ALERT,    &info->NETcom,   &info->Cloning};
    return fields[i];
}

// A record full of non-reset bytes, so a field that is not reset shows.
ExtraInfo dirty_record()
{
    ExtraInfo info;
    memset(&info, 0x5A, sizeof info);
    return info;
}

void expect_reset(ExtraInfo *info)
{
    EXPECT_EQ(info->app_name[0], 0);
    EXPECT_EQ(info->Company[0], 0);
    EXPECT_EQ(info->Copyright[0], 0);
    EXPECT_EQ(info->ProductVersion[0], 0);
    for (int i = 0; i < 15; i++) EXPECT_EQ(*number_field(info, i), -1) << NUMBER_NAMES[i];
}

void set_all_named_values()
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "app_name", "Plate");
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Company", "Maker");
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Copyright", "(c) Maker");
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "ProductVersion", "1.0");
    for (int i = 0; i < 15; i++) fx_set_dword(HKEY_CLASSES_ROOT, KEY, NUMBER_NAMES[i], i + 1);
}

class ExtraInfoRead : public ::testing::Test {
protected:
    void SetUp() override { fakereg_reset(); }
    void TearDown() override { EXPECT_EQ(fakereg_open_handles(), 0); }
};

TEST_F(ExtraInfoRead, ResetTouchesOnlyTheFirstTextByteAndTheNumbers)
{
    ExtraInfo info = dirty_record();
    reset_extra_info(&info);
    expect_reset(&info);
    EXPECT_EQ(info.app_name[1], 0x5A);
    EXPECT_EQ(info.ProductVersion[31], 0x5A);
}

TEST_F(ExtraInfoRead, MarkerWithoutNamedValuesIsValidAndReset)
{
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "anything"));
    ExtraInfo info = dirty_record();
    EXPECT_EQ(read_extra_info(CLSID, &info), 0);
    expect_reset(&info);
}

TEST_F(ExtraInfoRead, EveryNamedValueIsRead)
{
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, ""));
    set_all_named_values();
    ExtraInfo info = dirty_record();
    ASSERT_EQ(read_extra_info(CLSID, &info), 0);
    EXPECT_STREQ(info.app_name, "Plate");
    EXPECT_STREQ(info.Company, "Maker");
    EXPECT_STREQ(info.Copyright, "(c) Maker");
    EXPECT_STREQ(info.ProductVersion, "1.0");
    for (int i = 0; i < 15; i++) EXPECT_EQ(*number_field(&info, i), i + 1) << NUMBER_NAMES[i];
}

// The default value decides whether the key counts at all.
struct MarkerCase {
    const char *what;
    bool create_key;
    bool set_default;
    DWORD type;
    std::string data;
    int expected;
};

void PrintTo(const MarkerCase &c, std::ostream *os) { *os << c.what; }

class ExtraInfoMarker : public ExtraInfoRead, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(ExtraInfoMarker, DecidesValidity)
{
    const MarkerCase &c = GetParam();
    if (c.create_key) {
        ASSERT_TRUE(fx_create(HKEY_CLASSES_ROOT, KEY));
        set_all_named_values();
    }
    if (c.set_default) {
        ASSERT_TRUE(fx_set(HKEY_CLASSES_ROOT, KEY, nullptr, c.type, c.data.data(),
                           static_cast<DWORD>(c.data.size())));
    }
    ExtraInfo info = dirty_record();
    EXPECT_EQ(read_extra_info(CLSID, &info), c.expected) << c.what;
    if (c.expected < 0) {
        expect_reset(&info);
    } else {
        EXPECT_STREQ(info.app_name, "Plate");
    }
}

// A gtest case name from free text.
std::string case_name(const std::string &text, size_t index)
{
    std::string out;
    for (char ch : text)
        if (isalnum(static_cast<unsigned char>(ch))) out += ch;
    return out + "_" + std::to_string(index);
}

std::string sz(size_t chars) { return std::string(chars, 'm') + std::string(1, '\0'); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtraInfoMarker,
    ::testing::Values(
        MarkerCase{"no class key", false, false, REG_SZ, "", -1},
        MarkerCase{"named values but no default", true, false, REG_SZ, "", -1},
        MarkerCase{"default as REG_DWORD", true, true, REG_DWORD, std::string(4, '\1'), -1},
        MarkerCase{"default as REG_EXPAND_SZ", true, true, REG_EXPAND_SZ, sz(3), -1},
        MarkerCase{"default empty text", true, true, REG_SZ, sz(0), 0},
        MarkerCase{"default of exactly 1020 bytes", true, true, REG_SZ, sz(1019), 0},
        MarkerCase{"default of 1021 bytes", true, true, REG_SZ, sz(1020), -1}),
    [](const ::testing::TestParamInfo<MarkerCase> &p) { return case_name(p.param.what, p.index); });

// One named value stored one way; only its own field may change.
struct ValueCase {
    const char *name;
    DWORD type;
    std::string data;
    bool is_text;
    std::string text; // expected text field when is_text
    int32_t number;   // expected number otherwise
};

std::string dword(uint32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); }

ValueCase text_case(const char *name, DWORD type, const std::string &data, const std::string &want)
{
    return ValueCase{name, type, data, true, want, 0};
}

ValueCase number_case(const char *name, DWORD type, const std::string &data, int32_t want)
{
    return ValueCase{name, type, data, false, "", want};
}

void PrintTo(const ValueCase &c, std::ostream *os)
{
    *os << c.name << ", type " << c.type << ", " << c.data.size() << " bytes";
}

class ExtraInfoValue : public ExtraInfoRead, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ExtraInfoValue, FollowsTheTypeAndSizeRules)
{
    const ValueCase &c = GetParam();
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "x"));
    ASSERT_TRUE(fx_set(HKEY_CLASSES_ROOT, KEY, c.name, c.type, c.data.data(),
                       static_cast<DWORD>(c.data.size())));
    ExtraInfo info = dirty_record();
    ASSERT_EQ(read_extra_info(CLSID, &info), 0);

    struct {
        const char *name;
        const char *field;
    } texts[] = {{"app_name", info.app_name},
                 {"Company", info.Company},
                 {"Copyright", info.Copyright},
                 {"ProductVersion", info.ProductVersion}};
    for (const auto &t : texts) {
        bool mine = c.is_text && !strcasecmp(c.name, t.name);
        EXPECT_EQ(std::string(t.field), mine ? c.text : std::string()) << t.name;
    }
    for (int i = 0; i < 15; i++) {
        bool mine = !c.is_text && !strcasecmp(c.name, NUMBER_NAMES[i]);
        EXPECT_EQ(*number_field(&info, i), mine ? c.number : -1) << NUMBER_NAMES[i];
    }
}

std::string m(size_t chars) { return std::string(chars, 'm'); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtraInfoValue,
    ::testing::Values(
        number_case("Category", REG_SZ, sz(1), -1),
        number_case("Category", REG_DWORD, dword(5), 5),
        number_case("Category", REG_DWORD, dword(27), 27),
        number_case("Fmin", REG_DWORD, dword(0xFFFFFFFFu), -1),
        number_case("Fmin", REG_DWORD, dword(0x80000000u), INT32_MIN),
        number_case("Fmin", REG_DWORD, dword(0x7FFFFFFFu), INT32_MAX),
        number_case("Fmin", REG_DWORD, dword(0), 0),
        number_case("FMAX", REG_DWORD, dword(96000), 96000),
        number_case("PinMax", REG_BINARY, dword(8), -1),
        number_case("PinMin", REG_DWORD, std::string("\2\0", 2), -1),
        number_case("Cloning", REG_QWORD, dword(1) + dword(0), -1),
        text_case("Company", REG_SZ, sz(200), m(127)),
        text_case("ProductVersion", REG_SZ, sz(40), m(31)),
        text_case("ProductVersion", REG_SZ, sz(31), m(31)),
        text_case("Copyright", REG_SZ, sz(1020), ""),
        text_case("Copyright", REG_SZ, sz(1019), m(127)),
        text_case("app_name", REG_EXPAND_SZ, sz(5), ""),
        text_case("app_name", REG_MULTI_SZ, sz(5) + std::string(1, '\0'), ""),
        text_case("app_name", REG_DWORD, dword(1), ""),
        text_case("APP_NAME", REG_SZ, sz(127), m(127)),
        text_case("app_name", REG_SZ, std::string("two\nlines\0", 10), "two\nlines")),
    [](const ::testing::TestParamInfo<ValueCase> &p) { return case_name(p.param.name, p.index); });

TEST_F(ExtraInfoRead, NullRecordTouchesNoRegistry)
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "x");
    fakereg_reset_counts();
    EXPECT_EQ(read_extra_info(CLSID, nullptr), -1);
    EXPECT_EQ(fakereg_calls(FR_ANY), 0u);
}

TEST_F(ExtraInfoRead, EachValueOpensAndClosesItsOwnKey)
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "x");
    set_all_named_values();
    fakereg_reset_counts();
    ExtraInfo info;
    ASSERT_EQ(read_extra_info(CLSID, &info), 0);
    EXPECT_EQ(fakereg_calls(FR_OPEN_KEY_EX), 20u);
    EXPECT_EQ(fakereg_calls(FR_QUERY_VALUE), 20u);
    EXPECT_EQ(fakereg_calls(FR_CLOSE_KEY), 20u);
}

TEST_F(ExtraInfoRead, UnreadableValueIsSkippedAndTheRestRead)
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "x");
    set_all_named_values();
    fakereg_fail_on(FR_QUERY_VALUE, KEY_HKCR, "Company", -1, ERROR_ACCESS_DENIED);
    fakereg_fail_on(FR_QUERY_VALUE, KEY_HKCR, "HasGUI", -1, ERROR_ACCESS_DENIED);
    ExtraInfo info = dirty_record();
    ASSERT_EQ(read_extra_info(CLSID, &info), 0);
    EXPECT_EQ(info.Company[0], 0);
    EXPECT_EQ(info.HasGUI, -1);
    EXPECT_STREQ(info.Copyright, "(c) Maker");
    EXPECT_EQ(info.Cloning, 15);
}

TEST_F(ExtraInfoRead, FailedMarkerQueryMeansNoExtraInfo)
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "x");
    set_all_named_values();
    fakereg_fail_on(FR_QUERY_VALUE, KEY_HKCR, "", -1, ERROR_ACCESS_DENIED);
    ExtraInfo info = dirty_record();
    EXPECT_EQ(read_extra_info(CLSID, &info), -1);
    expect_reset(&info);
}

TEST_F(ExtraInfoRead, ClassTextLimitOfThePathBuffer)
{
    // "CLSID\" and "\EX_info" leave 113 characters of the 128-byte path.
    std::string fits(113, 'c'), too_long(114, 'c');
    fx_set_sz(HKEY_CLASSES_ROOT, ("CLSID\\" + fits + "\\EX_info").c_str(), nullptr, "x");
    fx_set_sz(HKEY_CLASSES_ROOT, ("CLSID\\" + too_long + "\\EX_info").c_str(), nullptr, "x");
    ExtraInfo info;
    EXPECT_EQ(read_extra_info(fits.c_str(), &info), 0);
    fakereg_reset_counts();
    EXPECT_EQ(read_extra_info(too_long.c_str(), &info), -1);
    EXPECT_EQ(fakereg_calls(FR_ANY), 0u);
    expect_reset(&info);
}

TEST_F(ExtraInfoRead, UnterminatedClassTextIsNotOverread)
{
    // Exactly as many bytes as the scan may look at, none of them a zero:
    // reading one byte further trips the address sanitizer.
    char *text = new char[114];
    memset(text, 'c', 114);
    ExtraInfo info;
    EXPECT_EQ(read_extra_info(text, &info), -1);
    delete[] text;
}

TEST_F(ExtraInfoRead, StringReaderLeavesDestinationOnFailure)
{
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "n", 7);
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "t", "text");
    char dest[8] = "keep";
    EXPECT_EQ(read_string_value(KEY, "n", dest, 7), 0);
    EXPECT_EQ(read_string_value(KEY, "missing", dest, 7), 0);
    EXPECT_EQ(read_string_value("CLSID\\nowhere", "t", dest, 7), 0);
    EXPECT_STREQ(dest, "keep");
    EXPECT_EQ(read_string_value(KEY, "t", dest, 2), 1);
    EXPECT_STREQ(dest, "te");
    EXPECT_EQ(read_string_value(KEY, "t", dest, 0), 1);
    EXPECT_STREQ(dest, "");
}

TEST_F(ExtraInfoRead, DwordReaderNeedsARealDword)
{
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "n", 0x12345678u);
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "t", "abc");
    int32_t v = 0;
    EXPECT_EQ(read_dword_value(KEY, "n", &v), 1);
    EXPECT_EQ(v, 0x12345678);
    EXPECT_EQ(read_dword_value(KEY, "t", &v), 0);
    EXPECT_EQ(read_dword_value(KEY, "missing", &v), 0);
    EXPECT_EQ(read_dword_value("CLSID\\nowhere", "n", &v), 0);
}

TEST_F(ExtraInfoRead, CategoryNamesAndTable)
{
    struct {
        int32_t id;
        const char *name;
    } rows[] = {{0, "generic"},     {25, "Remote Controler"},  {26, "Misc"},
                {13, "Scientific Filter"}, {-1, "Unknown Category"}, {27, "Unknown Category"},
                {INT32_MIN, "Unknown Category"}, {INT32_MAX, "Unknown Category"}};
    for (const auto &r : rows) EXPECT_STREQ(category_name(r.id), r.name) << r.id;
    for (int i = 0; i < CATEGORY_COUNT; i++) {
        EXPECT_EQ(category_table[i].id, i);
        EXPECT_NE(category_table[i].name[0], 0);
        EXPECT_EQ(category_table[i].description[0] != 0, i >= 8 && i <= 14) << i;
    }
    EXPECT_STREQ(category_table[12].description, "surround effects, phase decorrelator etc...");
}

} // namespace

namespace {

// Each scope's class key speaks for its own row: the user's self-description
// is read from the user's classes, the machine's from the machine's, never
// one through the merged HKCR for the other.
TEST_F(ExtraInfoRead, EachScopeReadsItsOwnClassKey)
{
    const std::string user_key = std::string("Software\\Classes\\") + KEY;
    fx_set_sz(HKEY_CURRENT_USER, user_key.c_str(), nullptr, "x");
    fx_set_sz(HKEY_CURRENT_USER, user_key.c_str(), "Company", "Mine");
    ExtraInfo info;
    EXPECT_EQ(read_extra_info(CLSID, &info, 0, PLUG_SCOPE_MACHINE), -1);
    ASSERT_EQ(read_extra_info(CLSID, &info, 0, PLUG_SCOPE_USER), 0);
    EXPECT_STREQ(info.Company, "Mine");
    // Written where the machine's live: through HKCR it would land in the user's.
    fx_set_sz(HKEY_LOCAL_MACHINE, user_key.c_str(), nullptr, "x");
    fx_set_sz(HKEY_LOCAL_MACHINE, user_key.c_str(), "Company", "Theirs");
    ASSERT_EQ(read_extra_info(CLSID, &info, 0, PLUG_SCOPE_MACHINE), 0);
    EXPECT_STREQ(info.Company, "Theirs");
    ASSERT_EQ(read_extra_info(CLSID, &info, 0, PLUG_SCOPE_USER), 0);
    EXPECT_STREQ(info.Company, "Mine");
}

} // namespace
