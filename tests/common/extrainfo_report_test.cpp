// An EX_info key with every value, read and reported through whichever
// registry the binary runs on; the report must come out the same on both.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extrainfo/extrainfo.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char CLSID[] = "{C0FFEE00-3E3E-4F4F-8D8D-0123456789AB}";
const char CLASS_KEY[] = "CLSID\\{C0FFEE00-3E3E-4F4F-8D8D-0123456789AB}";
const char KEY[] = "CLSID\\{C0FFEE00-3E3E-4F4F-8D8D-0123456789AB}\\EX_info";

class ExtraInfoRegistry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, CLASS_KEY)); }
    void TearDown() override { EXPECT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, CLASS_KEY)); }
};

TEST_F(ExtraInfoRegistry, EveryValueReadAndReported)
{
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "Quillon EX_info 1.0"));
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, "app_name", "Spatial Verb"));
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Company", "Northwind Audio"));
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Copyright", "(c) 2004 Northwind"));
    // Longer than the 31-character field.
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, "ProductVersion",
                          "4.2.1 build 1187 (release candidate)"));
    struct {
        const char *name;
        DWORD value;
    } numbers[] = {{"Fmin", 22050},    {"Fmax", 192000},      {"PinMin", 1},
                   {"PinMax", 8},      {"Compat_VS3", 1},     {"Compat_Lumo", 0},
                   {"Category", 11},   {"DSD_support", 0},    {"HasGUI", 1},
                   {"VS3_auto", 2},    {"MultiGUI", 0},       {"MIDI", 0xFFFFFFFFu},
                   {"ALERT", 0},       {"Cloning", 0}};
    for (const auto &n : numbers) ASSERT_TRUE(fx_set_dword(HKEY_CLASSES_ROOT, KEY, n.name, n.value));
    // Stored as text: not a number, so not stated.
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, "NETcom", "1"));

    ExtraInfo info;
    ASSERT_EQ(read_extra_info(CLSID, &info), 0);
    char out[REPORT_SIZE];
    EXPECT_STREQ(compose_properties_report(&info, out, sizeof out),
                 "Name : Spatial Verb\n"
                 "Company : Northwind Audio\n"
                 "Copyright : (c) 2004 Northwind\n"
                 "Version : 4.2.1 build 1187 (release candi\n"
                 "Category : Position\n"
                 "\n"
                 "Accepted Min SampleRate : 22050 Hz\n"
                 "Accepted Max SampleRate : 192000 Hz\n"
                 "Accepted Min I/O : 1\n"
                 "Accepted Max I/O : 8\n"
                 "\n"
                 "DSD powered : No\n"
                 "\n"
                 "GUI supplied : Yes\n"
                 "multi GUI supplied : No\n"
                 "\n"
                 "VS3 Pyramix as Prefered Host Target : Yes\n"
                 "Lumo-Box as Prefered Host Target : No\n"
                 "\n"
                 "-SPECIAL FEATURES-\n"
                 "VS3 Automation  : Yes\n"
                 "MIDI support : -\n"
                 "Lumo Alert : No\n"
                 "NETwork Com : -\n"
                 "CLONE support : No\n");
}

TEST_F(ExtraInfoRegistry, ClassKeyWithoutExInfoHasNone)
{
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, CLASS_KEY, nullptr, "Spatial Verb"));
    ExtraInfo info;
    EXPECT_EQ(read_extra_info(CLSID, &info), -1);
    ASSERT_TRUE(fx_set_dword(HKEY_CLASSES_ROOT, KEY, nullptr, 1));
    EXPECT_EQ(read_extra_info(CLSID, &info), -1);
    EXPECT_EQ(info.app_name[0], 0);
    EXPECT_EQ(info.Fmin, -1);
}

} // namespace
