// The record list, class identifier parsing, the DLL test and the two text
// helpers of the VS3 scan: no registry involved.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace {

PlugEntry make_entry(int tag)
{
    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = tag;
    snprintf(e.name, sizeof e.name, "entry %d", tag);
    memset(e.dll_path, 'a' + tag % 26, sizeof e.dll_path - 1);
    e.dll_exists = tag;
    return e;
}

class PlugListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(plug_list_init(&list, sizeof(PlugEntry)), 1); }
    void TearDown() override { plug_list_destroy(&list); }
    // Appends records tagged count + 1 .. count + n.
    void append_n(int n)
    {
        int first = static_cast<int>(plug_list_count(&list)) + 1;
        for (int i = first; i < first + n; i++) {
            PlugEntry e = make_entry(i);
            ASSERT_NE(plug_list_append(&list, &e), nullptr) << i;
        }
    }
    PlugList list;
};

// A record of 5416 bytes: texts of 255 and 1023 characters in UTF-8.
const uint32_t RECORD = 5416;

TEST_F(PlugListTest, FirstBlockHoldsOneRecordAndTheSecondGrowsByOneStep)
{
    EXPECT_EQ(list.allocated, 8192u);
    EXPECT_EQ(list.free, 8192u);
    append_n(1);
    EXPECT_EQ(list.allocated, 8192u);
    EXPECT_EQ(list.free, 8192u - RECORD);
    append_n(1);
    EXPECT_EQ(list.allocated, 16384u);
    EXPECT_EQ(list.used, 2 * RECORD);
    EXPECT_EQ(list.free, 16384u - 2 * RECORD);
    append_n(1);
    EXPECT_EQ(list.allocated, 16384u);
    for (uint32_t i = 1; i <= 3; i++) {
        PlugEntry want = make_entry(static_cast<int>(i));
        ASSERT_EQ(memcmp(plug_list_get(&list, i), &want, sizeof want), 0) << i;
    }
}

TEST_F(PlugListTest, AccountingGrowsInSteps_RealBlockAhead)
{
    // Accounted size is the smallest multiple of 8192 that holds the records.
    const int counts[] = {1, 5, 6, 10, 11, 523, 2000};
    int done = 0;
    for (int n : counts) {
        append_n(n - done);
        done = n;
        uint32_t used = static_cast<uint32_t>(n) * RECORD;
        uint32_t want = (used + 8191u) / 8192u * 8192u;
        EXPECT_EQ(list.allocated, want) << n;
        EXPECT_EQ(list.free, want - used) << n;
        EXPECT_GE(list.reserved, list.allocated) << n;
    }
    PlugEntry last = make_entry(2000);
    EXPECT_EQ(memcmp(plug_list_get(&list, 2000), &last, sizeof last), 0);
}

TEST_F(PlugListTest, GetIsOneBased)
{
    append_n(3);
    EXPECT_EQ(plug_list_get(&list, 0), nullptr);
    EXPECT_EQ(plug_list_get(&list, 4), nullptr);
    EXPECT_EQ(plug_list_get(&list, 1), list.block);
    EXPECT_EQ(static_cast<PlugEntry *>(plug_list_get(&list, 3))->type, 3);
    EXPECT_EQ(plug_list_count(&list), 3u);
}

TEST_F(PlugListTest, ResetKeepsTheBlockAndRestartsTheAccounting)
{
    append_n(12);
    uint32_t reserved = list.reserved;
    EXPECT_EQ(plug_list_reset(&list), 1);
    EXPECT_EQ(plug_list_count(&list), 0u);
    EXPECT_EQ(list.used, 0u);
    EXPECT_EQ(list.allocated, 8192u);
    EXPECT_EQ(list.free, 8192u);
    EXPECT_EQ(list.reserved, reserved);
    EXPECT_EQ(plug_list_get(&list, 1), nullptr);
    PlugEntry e = make_entry(7);
    EXPECT_EQ(plug_list_append(&list, &e), list.block);
    append_n(11);
    EXPECT_EQ(list.allocated, (12 * RECORD + 8191u) / 8192u * 8192u);
}

TEST(PlugListBigRecordTest, RecordsLargerThanAStepGrowByEnoughSteps)
{
    PlugList list;
    ASSERT_EQ(plug_list_init(&list, 10000), 1);
    std::vector<unsigned char> rec(10000, 0x5A);
    ASSERT_NE(plug_list_append(&list, rec.data()), nullptr);
    EXPECT_EQ(list.allocated, 8192u + 2 * 8192u);
    EXPECT_EQ(list.free, 24576u - 10000u);
    EXPECT_EQ(memcmp(plug_list_get(&list, 1), rec.data(), rec.size()), 0);
    plug_list_destroy(&list);
    EXPECT_EQ(list.block, nullptr);
    EXPECT_EQ(list.allocated, 0u);
    EXPECT_EQ(list.record_size, 0u);
}

TEST(PlugListNoBlockTest, EveryOperationRefuses)
{
    PlugList list;
    memset(&list, 0, sizeof list);
    list.record_size = sizeof(PlugEntry);
    PlugEntry e = make_entry(1);
    EXPECT_EQ(plug_list_append(&list, &e), nullptr);
    EXPECT_EQ(plug_list_reset(&list), 0);
    EXPECT_EQ(plug_list_get(&list, 1), nullptr);
    EXPECT_EQ(plug_list_count(&list), 0u);
}

TEST(CatalogueGlobalTest, GetRefusesIndexesOutsideTheCount)
{
    ASSERT_EQ(catalogue_init(), 1);
    EXPECT_EQ(catalogue.record_size, RECORD);
    PlugEntry e = make_entry(4);
    plug_list_append(&catalogue, &e);
    EXPECT_EQ(catalogue_count(), 1u);
    EXPECT_EQ(catalogue_get(0), nullptr);
    EXPECT_EQ(catalogue_get(-1), nullptr);
    EXPECT_EQ(catalogue_get(2), nullptr);
    ASSERT_NE(catalogue_get(1), nullptr);
    EXPECT_EQ(catalogue_get(1)->type, 4);
    catalogue_destroy();
    EXPECT_EQ(catalogue_count(), 0u);
    EXPECT_EQ(catalogue_get(1), nullptr);
}

std::string hex16(const unsigned char b[16])
{
    std::string s;
    char two[3];
    for (int i = 0; i < 16; i++) {
        snprintf(two, sizeof two, "%02X", b[i]);
        s += two;
    }
    return s;
}

struct ClsidCase {
    const char *text;
    const char *bytes;
};

const ClsidCase clsid_cases[] = {
    {"{6A08CF80-0E18-11CF-A24D-0020AFD79767}", "80CF086A180ECF11A24D0020AFD79767"},
    {"6a08cf80-0e18-11cf-a24d-0020afd79767", "80CF086A180ECF11A24D0020AFD79767"},
    {"(6A08CF80 0E18:11CF/A24D_0020AFD79767)", "80CF086A180ECF11A24D0020AFD79767"},
    {"{00112233-4455-6677-8899-AABBCCDDEEFF}", "33221100554477668899AABBCCDDEEFF"},
    // Digits past the 32nd are ignored.
    {"{00112233-4455-6677-8899-AABBCCDDEEFF}99", "33221100554477668899AABBCCDDEEFF"},
    // Missing digits leave zero bytes, an odd last digit only a high nibble.
    {"12", "00000012000000000000000000000000"},
    {"123", "00003012000000000000000000000000"},
    {"0011223344556677889", "33221100554477668890000000000000"},
    {"", "00000000000000000000000000000000"},
    {"{xyz}", "00000000000000000000000000000000"},
};

TEST(ParseClsidTest, Table)
{
    for (const ClsidCase &c : clsid_cases) {
        unsigned char out[16];
        memset(out, 0xEE, sizeof out);
        parse_clsid_text(c.text, out);
        EXPECT_EQ(hex16(out), c.bytes) << c.text;
    }
}

TEST(ParseClsidTest, AcmWrapperGivesTheExcludedBytes)
{
    unsigned char out[16];
    parse_clsid_text("{6a08cf80-0e18-11cf-a24d-0020afd79767}", out);
    EXPECT_EQ(memcmp(out, EXCLUDED_FILTER_CLSID, 16), 0);
}

struct TokenCase {
    const char *text;
    const char *token;
    int at;
};

const TokenCase token_cases[] = {
    {"", "a", -1},         {"abc", "", -1},        {"ab", "abc", -1},
    {nullptr, "a", -1},    {"a", nullptr, -1},     {"CVS3 VS3", "VS3", 1},
    {"xFactoryFactory", "Factory", 1},             {"cvs3", "CVS3", -1},
    {"abc", "abc", 0},     {"abcabc", "bc", 1},    {"ab c", "c", 3},
    {"Class", "class", -1}, {"aaa", "aa", 0},      {"a a", " ", 1},
};

TEST(FindTokenTest, Table)
{
    for (const TokenCase &c : token_cases)
        EXPECT_EQ(find_token(c.text, c.token), c.at)
            << (c.text ? c.text : "(none)") << " / " << (c.token ? c.token : "(none)");
}

struct TrimCase {
    const char *in;
    const char *out;
};

const TrimCase trim_cases[] = {
    {"  a b  ", "a b"}, {"   ", ""},   {"", ""},     {"\ta ", "\ta"},
    {"a", "a"},         {" x", "x"},   {"a  b", "a  b"}, {"\t ", "\t"},
    {" \t", "\t"},      {"  abc", "abc"},
};

TEST(TrimSpacesTest, Table)
{
    for (const TrimCase &c : trim_cases) {
        char buf[32];
        memset(buf, 'Z', sizeof buf);
        snprintf(buf, sizeof buf, "%s", c.in);
        trim_spaces(buf);
        EXPECT_STREQ(buf, c.out) << '"' << c.in << '"';
    }
}

TEST(TrimSpacesTest, NullIsIgnoredAndTheNextCallStillTrims)
{
    trim_spaces(nullptr);
    char buf[] = "  kept  ";
    trim_spaces(buf);
    EXPECT_STREQ(buf, "kept");
}

TEST(FileExistsTest, OpensFilesOnly)
{
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::string file = (dir / "mp_catalogue_core_probe.dll").string();
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("MZ", f);
    fclose(f);
    EXPECT_EQ(file_exists(file.c_str()), 1);
    EXPECT_EQ(file_exists((file + ".missing").c_str()), 0);
    EXPECT_EQ(file_exists(""), 0);
    EXPECT_EQ(file_exists(dir.string().c_str()), 0);
    std::filesystem::remove(file);
    EXPECT_EQ(file_exists(file.c_str()), 0);
}

} // namespace
