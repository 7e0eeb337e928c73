// The VS3 effect scan against the in-process registry: display names from
// the value data or cleaned from the class description, capacities, and the
// walk rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tests/native/catalogue_fixture.h"
#include "catalogue/scan_common.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char DLL[] = "/tmp/mp_catalogue_vs3_test.dll";
const char A[] = "{A0000000-0000-0000-0000-00000000000A}";
const char B[] = "{B0000000-0000-0000-0000-00000000000B}";
const char C[] = "{C0000000-0000-0000-0000-00000000000C}";
const char EFFECTS[] = "HKLM\\" VS3_EFFECTS_PATH;

class Vs3ScanTest : public CatalogueTest {
protected:
    Vs3ScanTest() : CatalogueTest(DLL) {}
    std::vector<std::string> scan()
    {
        plug_list_reset(&catalogue);
        scan_vs3_effects();
        return listed();
    }
};

TEST_F(Vs3ScanTest, ListedEffectCarriesEverything)
{
    fx_vs3_effect(A, "My Reverb", "not a VS3 description", DLL);
    ASSERT_EQ(scan(), std::vector<std::string>{A});
    const PlugEntry *e = catalogue_get(1);
    EXPECT_EQ(e->type, PLUG_TYPE_VS3);
    EXPECT_EQ(e->disabled, 0);
    EXPECT_STREQ(e->name, "My Reverb");
    EXPECT_STREQ(e->dll_path, DLL);
    EXPECT_EQ(e->dll_exists, 1);
    unsigned char want[16];
    parse_clsid_text(A, want);
    EXPECT_EQ(memcmp(e->clsid, want, 16), 0);
}

struct NameCase {
    const char *data;
    const char *description; // nullptr: the class key has no default value
    const char *name; // nullptr: not listed
};

TEST_F(Vs3ScanTest, DisplayNameTable)
{
    const NameCase cases[] = {
        {"My Reverb", "CVS3ReverbFactory Class", "My Reverb"},
        {"  Spaced  ", nullptr, "  Spaced  "},
        {"", "CVS3ReverbFactory Class", "Reverb"},
        {"", "MyVS3Filter Factory Class", "My   Filter"},
        {"", "VS3 EQ by CVS3 Factory Class", "VS3 EQ by"},
        {"", "VS3 Reverb Factory Class Class", "Reverb               Class"},
        {"", "\tCVS3 Tab Factory Class", "\t     Tab"},
        {"", "CVS3Factory Class", nullptr},
        {"", "cvs3DelayFactory Class", nullptr},
        {"", "CVS3EchoClass", nullptr},
        {"", "CVS3 Echo Factory", nullptr},
        {"", "Echo Factory Class", nullptr},
        {"", "", nullptr},
        {"", nullptr, ""},
    };
    for (const NameCase &c : cases) {
        fakereg_reset();
        fx_vs3_effect(A, c.data, c.description, DLL);
        std::vector<std::string> got = scan();
        std::string what = std::string(c.data) + " / " + (c.description ? c.description : "(none)");
        if (c.name == nullptr) {
            EXPECT_TRUE(got.empty()) << what;
            continue;
        }
        ASSERT_EQ(got.size(), 1u) << what;
        EXPECT_STREQ(catalogue_get(1)->name, c.name) << what;
    }
}

TEST_F(Vs3ScanTest, EffectWithoutClassKeyIsNotListed)
{
    fx_vs3_effect(A, "Named", nullptr, DLL);
    fx_vs3_effect(B, "Also named", nullptr, DLL);
    fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + A).c_str());
    EXPECT_EQ(scan(), std::vector<std::string>{B});
}

TEST_F(Vs3ScanTest, DefaultValueOfTheEffectsKeyMakesNoRow)
{
    fx_vs3_effect(A, "Named", nullptr, DLL);
    // With data, so that only its empty name can keep it out.
    ASSERT_EQ(fx_set_sz(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, nullptr, "Ghost"), 1);
    EXPECT_EQ(scan(), std::vector<std::string>{A});
}

TEST_F(Vs3ScanTest, NoEffectsKeyListsNothing)
{
    EXPECT_TRUE(scan().empty());
    fx_create(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH);
    EXPECT_TRUE(scan().empty());
}

TEST_F(Vs3ScanTest, LongNamesAreCutTo255Characters)
{
    const std::string data(1022, 'd');
    const std::string described = "CVS3" + std::string(600, 'x') + "Factory Class";
    fx_vs3_effect(A, data.c_str(), nullptr, DLL);
    fx_vs3_effect(B, "", described.c_str(), DLL);
    ASSERT_EQ(scan(), (std::vector<std::string>{A, B}));
    EXPECT_EQ(catalogue_get(1)->name, std::string(255, 'd'));
    EXPECT_EQ(catalogue_get(2)->name, std::string(255, 'x'));
    // Nothing spilled into the fields after the name.
    EXPECT_STREQ(catalogue_get(1)->clsid_text, A);
}

TEST_F(Vs3ScanTest, TooLongDataIsSkipped_TooLongDescriptionGivesEmptyName)
{
    const std::string data(1023, 'd');
    const std::string described = "CVS3 " + std::string(1010, 'x') + "Factory Class";
    fx_vs3_effect(A, data.c_str(), nullptr, DLL);
    fx_vs3_effect(B, "", described.c_str(), DLL);
    fx_vs3_effect(C, "After", nullptr, DLL);
    ASSERT_EQ(scan(), (std::vector<std::string>{B, C}));
    EXPECT_STREQ(catalogue_get(1)->name, "");
}

TEST_F(Vs3ScanTest, DataWithoutTerminatorIsReadWhole)
{
    const std::string data(1023, 'e');
    fx_set(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, A, REG_BINARY, data.data(), 1023);
    fx_create(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + A).c_str());
    ASSERT_EQ(scan().size(), 1u);
    EXPECT_EQ(catalogue_get(1)->name, std::string(255, 'e'));
}

TEST_F(Vs3ScanTest, ValueNameCapacity)
{
    const std::string longest = "{B1" + std::string(250, '0');
    const std::string overlong = "{B2" + std::string(251, '0');
    fx_vs3_effect(A, "a", nullptr, DLL);
    fx_vs3_effect(overlong.c_str(), "overlong", nullptr, DLL);
    fx_vs3_effect(longest.c_str(), "longest", nullptr, DLL);
    fx_vs3_effect(C, "c", nullptr, DLL);
    EXPECT_EQ(scan(), (std::vector<std::string>{A, longest, C}));
}

TEST_F(Vs3ScanTest, EntriesFollowValueOrder)
{
    fx_vs3_effect(C, "c", nullptr, DLL);
    fx_vs3_effect(A, "a", nullptr, DLL);
    fx_vs3_effect(B, "b", nullptr, DLL);
    EXPECT_EQ(scan(), (std::vector<std::string>{C, A, B}));
}

TEST_F(Vs3ScanTest, MissingServerKeyOrPath)
{
    fx_vs3_effect(A, "a", nullptr, DLL);
    fx_vs3_effect(B, "b", nullptr, "/no/such/file.dll");
    fx_vs3_effect(C, "c", nullptr, DLL);
    fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + A + "\\InprocServer32").c_str());
    ASSERT_EQ(scan().size(), 3u);
    EXPECT_STREQ(catalogue_get(1)->dll_path, "");
    EXPECT_EQ(catalogue_get(1)->dll_exists, 0);
    EXPECT_STREQ(catalogue_get(2)->dll_path, "/no/such/file.dll");
    EXPECT_EQ(catalogue_get(2)->dll_exists, 0);
    EXPECT_EQ(catalogue_get(3)->dll_exists, 1);
}

TEST_F(Vs3ScanTest, FailedIndexIsSkipped_DeletedKeyEndsTheWalk)
{
    fx_vs3_effect(A, "a", nullptr, DLL);
    fx_vs3_effect(B, "b", nullptr, DLL);
    fx_vs3_effect(C, "c", nullptr, DLL);
    fakereg_fail_on(FR_ENUM_VALUE, EFFECTS, nullptr, 1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(scan(), (std::vector<std::string>{A, C}));
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_VALUE, EFFECTS, nullptr, 1, ERROR_KEY_DELETED);
    EXPECT_EQ(scan(), std::vector<std::string>{A});
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_VALUE, EFFECTS, nullptr, -1, ERROR_KEY_DELETED);
    fakereg_reset_counts();
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_VALUE), 1u);
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_VALUE, EFFECTS, nullptr, -1, ERROR_MORE_DATA);
    fakereg_reset_counts();
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_VALUE), WALK_MAX_FAILURES);
}

struct FaultCase {
    FakeRegFn fn;
    const char *path;
    const char *value;
    bool listed;
    const char *name;
    const char *dll;
};

TEST_F(Vs3ScanTest, FailuresAtEachStepHaveTheirEffect)
{
    const std::string cls = std::string("HKCR\\CLSID\\") + A;
    const std::string server = cls + "\\InprocServer32";
    const FaultCase cases[] = {
        {FR_OPEN_KEY_EX, EFFECTS, nullptr, false, "", ""},
        {FR_OPEN_KEY_EX, cls.c_str(), nullptr, false, "", ""},
        {FR_QUERY_VALUE, cls.c_str(), "", true, "", DLL},
        {FR_OPEN_KEY_EX, server.c_str(), nullptr, true, "Chorus", ""},
        {FR_QUERY_VALUE, server.c_str(), "", true, "Chorus", ""},
    };
    for (const FaultCase &c : cases) {
        fakereg_reset();
        fx_vs3_effect(A, "", "CVS3ChorusFactory Class", DLL);
        fakereg_fail_on(c.fn, c.path, c.value, -1, ERROR_ACCESS_DENIED);
        std::vector<std::string> got = scan();
        EXPECT_EQ(fakereg_open_handles(), 0) << c.path;
        EXPECT_EQ(fakefile_open_handles(), 0) << c.path;
        ASSERT_EQ(got.size(), c.listed ? 1u : 0u) << c.path;
        if (!c.listed) continue;
        EXPECT_STREQ(catalogue_get(1)->name, c.name) << c.path;
        EXPECT_STREQ(catalogue_get(1)->dll_path, c.dll) << c.path;
    }
}

// ---- registry views ----------------------------------------------------------


struct ViewCase {
    int values;  // views whose VS3Effects holds {A}, with data "E32" or "E64"
    int classes; // views holding CLSID\{A}
    std::vector<std::string> rows; // "bits name", sorted
};

// An effect is listed in a view only when that view has both its value and
// its class; both sharing rules split VS3Effects and CLSID alike.
TEST_F(Vs3ScanTest, ViewsTable)
{
    const std::vector<ViewCase> two = {
        {V32, V32, {"32 E32"}},
        {V64, V64, {"64 E64"}},
        {V32, V64, {}},
        {V64, V32, {}},
        {V32, V32 | V64, {"32 E32"}},
        {V32 | V64, V32, {"32 E32"}},
        {V32 | V64, V32 | V64, {"32 E32", "64 E64"}},
    };
    const struct {
        FakeMachine machine;
        std::vector<ViewCase> cases;
    } machines[] = {{FAKE_WIN64_WIN7, two},
                    {FAKE_WIN64_WINE8, two},
                    {FAKE_WIN32, {{V32, V32, {"32 E32"}}}}};
    const std::string cls = std::string("CLSID\\") + A;
    for (const auto &m : machines) {
        OnMachine on(m.machine);
        for (const ViewCase &c : m.cases) {
            fakereg_reset();
            for (int bits : {32, 64}) {
                fakereg_set_process_bits(bits);
                if (c.values & (bits == 32 ? V32 : V64))
                    fx_set_sz(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, A, bits == 32 ? "E32" : "E64");
                if (c.classes & (bits == 32 ? V32 : V64))
                    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, DLL);
            }
            fakereg_set_process_bits(m.machine == FAKE_WIN32 ? 32 : 64);
            const std::string what = "machine " + std::to_string(m.machine) + ", values " +
                                     std::to_string(c.values) + ", classes " +
                                     std::to_string(c.classes);
            std::vector<std::string> got;
            for (const std::string &clsid : scan()) {
                EXPECT_EQ(clsid, A) << what;
                const PlugEntry *e = catalogue_get(static_cast<int>(got.size() + 1));
                got.push_back(std::to_string(e->bits) + " " + e->name);
            }
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, c.rows) << what;
            EXPECT_EQ(fakereg_open_handles(), 0) << what;
        }
    }
}

} // namespace
