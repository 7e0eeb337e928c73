// The Properties report, byte for byte, from records read out of the
// in-process registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extrainfo/extrainfo.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char CLSID[] = "{5E5E5E5E-0101-4242-9A9A-00AA00BB00CC}";
const char KEY[] = "CLSID\\{5E5E5E5E-0101-4242-9A9A-00AA00BB00CC}\\EX_info";

class ExtraInfoReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakereg_reset();
        ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "EX"));
    }
    void TearDown() override { EXPECT_EQ(fakereg_open_handles(), 0); }

    std::string report()
    {
        ExtraInfo info;
        EXPECT_EQ(read_extra_info(CLSID, &info), 0);
        char out[REPORT_SIZE];
        memset(out, 0x7F, sizeof out);
        const char *text = compose_properties_report(&info, out, sizeof out);
        EXPECT_EQ(text, out);
        return text;
    }
};

TEST_F(ExtraInfoReport, KeyWithoutNamedValues)
{
    EXPECT_EQ(report(),
              "Name : \n"
              "Company : \n"
              "Copyright : \n"
              "Version : \n"
              "Category : -\n"
              "\n"
              "Accepted Min SampleRate : -\n"
              "Accepted Max SampleRate : -\n"
              "Accepted Min I/O : -\n"
              "Accepted Max I/O : -\n"
              "\n"
              "DSD powered : -\n"
              "\n"
              "GUI supplied : -\n"
              "multi GUI supplied : -\n"
              "\n"
              "VS3 Pyramix as Prefered Host Target : -\n"
              "Lumo-Box as Prefered Host Target : -\n"
              "\n"
              "-SPECIAL FEATURES-\n"
              "VS3 Automation  : -\n"
              "MIDI support : -\n"
              "Lumo Alert : -\n"
              "NETwork Com : -\n"
              "CLONE support : -\n");
}

TEST_F(ExtraInfoReport, EveryFormOfNumberAndFlag)
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "app_name", "Room");
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "ProductVersion", "2.5b");
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Category", 7);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Fmin", 0);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Fmax", 0xFFFFFFFFu);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "PinMin", 2);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "DSD_support", 1);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "HasGUI", 2);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "MultiGUI", 0);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Compat_VS3", 0x80000000u);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Compat_Lumo", 0x7FFFFFFFu);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "VS3_auto", 0);
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "MIDI", "1");
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "ALERT", 0xFFFFFFFFu);
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Cloning", 5);
    EXPECT_EQ(report(),
              "Name : Room\n"
              "Company : \n"
              "Copyright : \n"
              "Version : 2.5b\n"
              "Category : Reverb\n"
              "\n"
              "Accepted Min SampleRate : 0 Hz\n"
              "Accepted Max SampleRate : -\n"
              "Accepted Min I/O : 2\n"
              "Accepted Max I/O : -\n"
              "\n"
              "DSD powered : Yes\n"
              "\n"
              "GUI supplied : Yes\n"
              "multi GUI supplied : No\n"
              "\n"
              "VS3 Pyramix as Prefered Host Target : -\n"
              "Lumo-Box as Prefered Host Target : Yes\n"
              "\n"
              "-SPECIAL FEATURES-\n"
              "VS3 Automation  : No\n"
              "MIDI support : -\n"
              "Lumo Alert : -\n"
              "NETwork Com : -\n"
              "CLONE support : Yes\n");
}

// Line 5 for each kind of Category; everything else as in a record with
// rates, counts and a flag stated.
TEST_F(ExtraInfoReport, CategoryLine)
{
    const char *head = "Name : Tilt\n"
                       "Company : Acme Audio\n"
                       "Copyright : \n"
                       "Version : 3\n"
                       "Category : ";
    const char *tail = "\n"
                       "\n"
                       "Accepted Min SampleRate : 44100 Hz\n"
                       "Accepted Max SampleRate : 384000 Hz\n"
                       "Accepted Min I/O : 1\n"
                       "Accepted Max I/O : 64\n"
                       "\n"
                       "DSD powered : -\n"
                       "\n"
                       "GUI supplied : Yes\n"
                       "multi GUI supplied : -\n"
                       "\n"
                       "VS3 Pyramix as Prefered Host Target : -\n"
                       "Lumo-Box as Prefered Host Target : -\n"
                       "\n"
                       "-SPECIAL FEATURES-\n"
                       "VS3 Automation  : -\n"
                       "MIDI support : -\n"
                       "Lumo Alert : -\n"
                       "NETwork Com : -\n"
                       "CLONE support : -\n";
    struct {
        bool set;
        DWORD value;
        const char *shown;
    } rows[] = {{true, 0, "generic"},           {true, 26, "Misc"},
                {true, 25, "Remote Controler"}, {true, 27, "Unknown Category"},
                {true, 1000, "Unknown Category"}, {true, 0xFFFFFFFFu, "-"},
                {false, 0, "-"}};
    for (const auto &r : rows) {
        fakereg_reset();
        fx_set_sz(HKEY_CLASSES_ROOT, KEY, nullptr, "");
        fx_set_sz(HKEY_CLASSES_ROOT, KEY, "app_name", "Tilt");
        fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Company", "Acme Audio");
        fx_set_sz(HKEY_CLASSES_ROOT, KEY, "ProductVersion", "3");
        fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Fmin", 44100);
        fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Fmax", 384000);
        fx_set_dword(HKEY_CLASSES_ROOT, KEY, "PinMin", 1);
        fx_set_dword(HKEY_CLASSES_ROOT, KEY, "PinMax", 64);
        fx_set_dword(HKEY_CLASSES_ROOT, KEY, "HasGUI", 1);
        if (r.set) fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Category", r.value);
        EXPECT_EQ(report(), std::string(head) + r.shown + tail) << r.value;
    }
}

TEST_F(ExtraInfoReport, TextHoldingLineFeedsIsInsertedAsStored)
{
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "app_name", "Alpha\nBeta");
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Copyright", "\n");
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "NETcom", 1);
    std::string text = report();
    EXPECT_EQ(text,
              "Name : Alpha\n"
              "Beta\n"
              "Company : \n"
              "Copyright : \n"
              "\n"
              "Version : \n"
              "Category : -\n"
              "\n"
              "Accepted Min SampleRate : -\n"
              "Accepted Max SampleRate : -\n"
              "Accepted Min I/O : -\n"
              "Accepted Max I/O : -\n"
              "\n"
              "DSD powered : -\n"
              "\n"
              "GUI supplied : -\n"
              "multi GUI supplied : -\n"
              "\n"
              "VS3 Pyramix as Prefered Host Target : -\n"
              "Lumo-Box as Prefered Host Target : -\n"
              "\n"
              "-SPECIAL FEATURES-\n"
              "VS3 Automation  : -\n"
              "MIDI support : -\n"
              "Lumo Alert : -\n"
              "NETwork Com : Yes\n"
              "CLONE support : -\n");
}

TEST_F(ExtraInfoReport, LongestRecordFitsWithRoomToSpare)
{
    std::string full(200, 'w');
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "app_name", full.c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Company", full.c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "Copyright", full.c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, KEY, "ProductVersion", full.c_str());
    fx_set_dword(HKEY_CLASSES_ROOT, KEY, "Category", 14);
    const char *numbers[] = {"Fmin", "Fmax", "PinMin", "PinMax"};
    for (const char *n : numbers) fx_set_dword(HKEY_CLASSES_ROOT, KEY, n, 0x7FFFFFFFu);
    std::string text = report();
    EXPECT_LT(text.size(), 1000u);
    EXPECT_EQ(text.substr(0, 7 + 127 + 1), "Name : " + std::string(127, 'w') + "\n");
    EXPECT_NE(text.find("Version : " + std::string(31, 'w') + "\n"), std::string::npos);
    EXPECT_NE(text.find("Accepted Max I/O : 2147483647\n"), std::string::npos);
    EXPECT_NE(text.find("Category : Coding / Encoding filters\n"), std::string::npos);
}

TEST_F(ExtraInfoReport, SmallBufferIsCutAndTerminated)
{
    ExtraInfo info;
    reset_extra_info(&info);
    strcpy(info.app_name, "Plate");
    char out[16];
    memset(out, 0x7F, sizeof out);
    compose_properties_report(&info, out, 12);
    EXPECT_STREQ(out, "Name : Plat");
    EXPECT_EQ(out[12], 0x7F);
    compose_properties_report(&info, out, 1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[1], 'a');
    EXPECT_STREQ(compose_properties_report(nullptr, out, sizeof out), "");
    EXPECT_EQ(compose_properties_report(&info, nullptr, 0), nullptr);
}

} // namespace
