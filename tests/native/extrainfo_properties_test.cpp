// The Properties command short of its message box: which catalogue entry,
// and whether it gets the report, the warning or nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue/catalogue.h"
#include "extrainfo/extrainfo.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char LIVE[] = "{11112222-3333-4444-5555-666677778888}";
const char BARE[] = "{99990000-AAAA-BBBB-CCCC-DDDDEEEEFFFF}";
const char MOVED[] = "{ABCDABCD-0000-1111-2222-333344445555}";

int add_entry(const char *clsid_text, int32_t disabled)
{
    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = PLUG_TYPE_DIRECTX;
    e.disabled = disabled;
    strncpy(e.clsid_text, clsid_text, sizeof e.clsid_text - 1);
    parse_clsid_text(e.clsid_text, e.clsid);
    strcpy(e.name, "Plug");
    if (plug_list_append(&catalogue, &e) == nullptr) return -1;
    return static_cast<int>(catalogue_count());
}

std::string ex_info(const char *clsid) { return std::string("CLSID\\") + clsid + "\\EX_info"; }

class ExtraInfoProperties : public ::testing::Test {
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
    }
};

TEST_F(ExtraInfoProperties, EntryWithExtraInfoGetsTheReport)
{
    fx_set_sz(HKEY_CLASSES_ROOT, ex_info(LIVE).c_str(), nullptr, "");
    fx_set_sz(HKEY_CLASSES_ROOT, ex_info(LIVE).c_str(), "app_name", "Live One");
    fx_set_dword(HKEY_CLASSES_ROOT, ex_info(LIVE).c_str(), "Fmin", 500);
    add_entry(BARE, 0);
    int index = add_entry(LIVE, 0);

    char report[REPORT_SIZE];
    ASSERT_EQ(properties_text_for_entry(index, report, sizeof report), 1);
    ExtraInfo info;
    ASSERT_EQ(read_extra_info(LIVE, &info), 0);
    char expected[REPORT_SIZE];
    EXPECT_STREQ(report, compose_properties_report(&info, expected, sizeof expected));
    EXPECT_EQ(std::string(report).substr(0, 16), "Name : Live One\n");
    EXPECT_NE(std::string(report).find("Accepted Min SampleRate : 500 Hz\n"), std::string::npos);
}

TEST_F(ExtraInfoProperties, NoEntryAndNoExtraInfo)
{
    fx_set_sz(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + BARE).c_str(), nullptr, "Bare");
    // Disabled: only the saved copy in the store carries EX_info.
    std::string saved = std::string(STORE64_ROOT_PATH "\\") + MOVED + "\\" + ex_info(MOVED);
    fx_set_sz(HKEY_CLASSES_ROOT, saved.c_str(), nullptr, "");
    fx_set_sz(HKEY_CLASSES_ROOT, saved.c_str(), "app_name", "Moved");
    int bare = add_entry(BARE, 0);
    int moved = add_entry(MOVED, 1);

    struct {
        int index;
        int expected;
    } rows[] = {{-1, -1}, {0, -1}, {moved + 1, -1}, {bare, 0}, {moved, 0}};
    for (const auto &r : rows) {
        char report[REPORT_SIZE] = "stale";
        EXPECT_EQ(properties_text_for_entry(r.index, report, sizeof report), r.expected) << r.index;
        EXPECT_STREQ(report, "") << r.index;
    }
}

TEST_F(ExtraInfoProperties, ClassTextFillingItsWholeFieldIsSafe)
{
    PlugEntry e;
    memset(&e, 0, sizeof e);
    memset(e.clsid_text, '{', sizeof e.clsid_text - 1);
    ASSERT_NE(plug_list_append(&catalogue, &e), nullptr);
    char report[REPORT_SIZE];
    fakereg_reset_counts();
    EXPECT_EQ(properties_text_for_entry(1, report, sizeof report), 0);
    EXPECT_EQ(fakereg_calls(FR_ANY), 0u);
}


// The report is read in the row's own registry view: a 32-bit row's class
// key is not the 64-bit one.
TEST_F(ExtraInfoProperties, EachRowReadsItsOwnView)
{
    fakereg_set_process_bits(32);
    fx_set_sz(HKEY_CLASSES_ROOT, ex_info(LIVE).c_str(), nullptr, "");
    fx_set_sz(HKEY_CLASSES_ROOT, ex_info(LIVE).c_str(), "app_name", "Thirty-two");
    fakereg_set_process_bits(64);
    int row32 = add_entry(LIVE, 0);
    int row64 = add_entry(LIVE, 0);
    catalogue_get(row32)->bits = 32;
    catalogue_get(row64)->bits = 64;
    char report[REPORT_SIZE];
    EXPECT_EQ(properties_text_for_entry(row32, report, sizeof report), 1);
    EXPECT_EQ(std::string(report).substr(0, 17), "Name : Thirty-two");
    EXPECT_EQ(properties_text_for_entry(row64, report, sizeof report), 0);
}

} // namespace
