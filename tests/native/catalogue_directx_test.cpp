// The DirectX filter scan against the in-process registry: merit, pins,
// the excluded class, name and path capacities, and the walk rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tests/native/catalogue_fixture.h"
#include "catalogue/scan_common.h"
#include "platform/keyguard.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char DLL[] = "/tmp/mp_catalogue_directx_test.dll";
const char A[] = "{A0000000-0000-0000-0000-000000000001}";
const char B[] = "{B0000000-0000-0000-0000-000000000002}";
const char C[] = "{C0000000-0000-0000-0000-000000000003}";
const char AUDIO[] = "{73647561-0000-0010-8000-00AA00389B71}";
const char VIDEO[] = "{73646976-0000-0010-8000-00AA00389B71}";

struct Pin {
    const char *name;
    long direction; // -1: no "Direction" value
    const char *major; // nullptr: no Types subkey
};

std::string cls_path(const char *clsid) { return std::string("CLSID\\") + clsid; }

void make_filter(const char *clsid, const char *name, const std::vector<Pin> &pins)
{
    std::string cls = cls_path(clsid);
    fx_create(HKEY_CLASSES_ROOT, (std::string("Filter\\") + clsid).c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, name);
    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, DLL);
    fx_create(HKEY_CLASSES_ROOT, (cls + "\\Pins").c_str());
    for (const Pin &p : pins) {
        std::string pin = cls + "\\Pins\\" + p.name;
        fx_create(HKEY_CLASSES_ROOT, pin.c_str());
        if (p.direction >= 0)
            fx_set_dword(HKEY_CLASSES_ROOT, pin.c_str(), "Direction",
                         static_cast<DWORD>(p.direction));
        if (p.major != nullptr)
            fx_create(
                HKEY_CLASSES_ROOT,
                (pin + "\\Types\\" + p.major + "\\{00000001-0000-0010-8000-00AA00389B71}").c_str());
    }
}

void make_good_filter(const char *clsid, const char *name)
{
    make_filter(clsid, name, {{"In", 0, AUDIO}, {"Out", 1, AUDIO}});
}

void delete_value(const char *path, const char *name)
{
    KeyGuard key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_ALL_ACCESS, key.out()), 0);
    ASSERT_EQ(RegDeleteValueA(key.get(), name), 0);
}

class DirectxScanTest : public CatalogueTest {
protected:
    DirectxScanTest() : CatalogueTest(DLL) {}
    std::vector<std::string> scan()
    {
        plug_list_reset(&catalogue);
        scan_directx_filters();
        return listed();
    }
};

TEST_F(DirectxScanTest, ListedFilterCarriesEverything)
{
    make_good_filter(A, "Good Filter");
    ASSERT_EQ(scan(), std::vector<std::string>{A});
    const PlugEntry *e = catalogue_get(1);
    EXPECT_EQ(e->type, PLUG_TYPE_DIRECTX);
    EXPECT_EQ(e->disabled, 0);
    EXPECT_STREQ(e->name, "Good Filter");
    EXPECT_STREQ(e->dll_path, DLL);
    EXPECT_EQ(e->dll_exists, 1);
    unsigned char want[16];
    parse_clsid_text(A, want);
    EXPECT_EQ(memcmp(e->clsid, want, 16), 0);
}

struct MeritCase {
    const char *what;
    DWORD type;
    std::vector<BYTE> bytes;
    bool present;
    bool listed;
};

TEST_F(DirectxScanTest, MeritTable)
{
    const MeritCase cases[] = {
        {"missing", REG_DWORD, {}, false, true},
        {"zero", REG_DWORD, {0, 0, 0, 0}, true, true},
        {"0x200000", REG_DWORD, {0x00, 0x00, 0x20, 0x00}, true, true},
        {"0x200001", REG_DWORD, {0x01, 0x00, 0x20, 0x00}, true, false},
        {"0x80000000", REG_DWORD, {0x00, 0x00, 0x00, 0x80}, true, false},
        {"0xFFFFFFFF", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, true, false},
        {"binary 4 bytes, low", REG_BINARY, {0x00, 0x01, 0x00, 0x00}, true, true},
        {"2 bytes", REG_BINARY, {0x01, 0x00}, true, false},
        {"8 bytes", REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0}, true, false},
        {"text \"1\"", REG_SZ, {'1', 0}, true, false},
        {"empty", REG_BINARY, {}, true, false},
    };
    for (const MeritCase &c : cases) {
        fakereg_reset();
        make_good_filter(A, "F");
        std::string cls = cls_path(A);
        if (c.present) {
            ASSERT_EQ(fx_set(HKEY_CLASSES_ROOT, cls.c_str(), "Merit", c.type, c.bytes.data(),
                             static_cast<DWORD>(c.bytes.size())),
                      1);
        }
        EXPECT_EQ(scan().size(), c.listed ? 1u : 0u) << c.what;
    }
}

struct PinCase {
    const char *what;
    std::vector<Pin> pins;
    bool listed;
};

TEST_F(DirectxScanTest, PinTable)
{
    const PinCase cases[] = {
        {"audio in and out", {{"In", 0, AUDIO}, {"Out", 1, AUDIO}}, true},
        {"out before in", {{"A", 1, AUDIO}, {"B", 0, AUDIO}}, true},
        {"two inputs, one output", {{"In1", 0, AUDIO}, {"In2", 0, AUDIO}, {"Out", 1, AUDIO}}, true},
        {"audio input only", {{"In", 0, AUDIO}}, false},
        {"audio output only", {{"Out", 1, AUDIO}}, false},
        {"output accepts video only", {{"In", 0, AUDIO}, {"Out", 1, VIDEO}}, false},
        {"direction 2", {{"In", 0, AUDIO}, {"Odd", 2, AUDIO}}, false},
        {"output without direction", {{"In", 0, AUDIO}, {"Out", -1, AUDIO}}, false},
        {"output without types", {{"In", 0, AUDIO}, {"Out", 1, nullptr}}, false},
        {"no pins", {}, false},
        {"unrelated pins around",
         {{"A", 2, AUDIO}, {"In", 0, AUDIO}, {"M", 1, VIDEO}, {"Out", 1, AUDIO}},
         true},
    };
    for (const PinCase &c : cases) {
        fakereg_reset();
        make_filter(A, "F", c.pins);
        EXPECT_EQ(scan().size(), c.listed ? 1u : 0u) << c.what;
    }
}

TEST_F(DirectxScanTest, DirectionMustBeFourBytesOfAnyType)
{
    make_filter(A, "F", {{"In", 0, AUDIO}, {"Out", -1, AUDIO}});
    std::string out = cls_path(A) + "\\Pins\\Out";
    const BYTE one4[4] = {1, 0, 0, 0};
    const BYTE one8[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    fx_set(HKEY_CLASSES_ROOT, out.c_str(), "Direction", REG_BINARY, one8, 8);
    EXPECT_TRUE(scan().empty());
    fx_set(HKEY_CLASSES_ROOT, out.c_str(), "Direction", REG_BINARY, one4, 4);
    EXPECT_EQ(scan().size(), 1u);
}

TEST_F(DirectxScanTest, TypesKeyMustBeTheAudioMajorTypeItself)
{
    make_filter(A, "F", {{"In", 0, AUDIO}, {"Out", 1, nullptr}});
    std::string types = cls_path(A) + "\\Pins\\Out\\Types";
    fx_create(HKEY_CLASSES_ROOT, types.c_str());
    EXPECT_TRUE(scan().empty());
    // Lower-case spelling of the same key is the same key.
    fx_create(HKEY_CLASSES_ROOT, (types + "\\{73647561-0000-0010-8000-00aa00389b71}").c_str());
    EXPECT_EQ(scan().size(), 1u);
}

TEST_F(DirectxScanTest, AcmWrapperNeverListedInAnySpelling)
{
    const char *spellings[] = {"{6A08CF80-0E18-11CF-A24D-0020AFD79767}",
                               "{6a08cf80-0e18-11cf-a24d-0020afd79767}",
                               "6A08cf80-0E18-11cf-A24D-0020afd79767"};
    for (const char *s : spellings) {
        fakereg_reset();
        make_good_filter(A, "Before");
        make_good_filter(s, "ACM Wrapper");
        make_good_filter(C, "After");
        EXPECT_EQ(scan(), (std::vector<std::string>{A, C})) << s;
    }
}

TEST_F(DirectxScanTest, EntriesFollowEnumerationOrderAndKeepTheKeyNameAsIs)
{
    const char lower_b[] = "{b0000000-0000-0000-0000-000000000002}";
    make_good_filter(C, "c");
    make_good_filter(lower_b, "b");
    make_good_filter(A, "a");
    EXPECT_EQ(scan(), (std::vector<std::string>{A, lower_b, C}));
}

TEST_F(DirectxScanTest, DisplayNameCapacity)
{
    const std::string fits(253, 'n'), too_long(254, 'n');
    make_good_filter(A, fits.c_str());
    make_good_filter(B, too_long.c_str());
    make_good_filter(C, "x");
    delete_value(cls_path(C).c_str(), nullptr);
    ASSERT_EQ(scan(), (std::vector<std::string>{A, B, C}));
    EXPECT_EQ(catalogue_get(1)->name, fits);
    EXPECT_STREQ(catalogue_get(2)->name, "");
    EXPECT_STREQ(catalogue_get(3)->name, "");
}

TEST_F(DirectxScanTest, DllPathCapacityAndExistence)
{
    const std::string fits = "/no/such/" + std::string(1022 - 9, 'p');
    const std::string too_long = fits + "q";
    make_good_filter(A, "a");
    make_good_filter(B, "b");
    make_good_filter(C, "c");
    fx_set_sz(HKEY_CLASSES_ROOT, (cls_path(A) + "\\InprocServer32").c_str(), nullptr, fits.c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, (cls_path(B) + "\\InprocServer32").c_str(), nullptr,
              too_long.c_str());
    fx_delete_tree(HKEY_CLASSES_ROOT, (cls_path(C) + "\\InprocServer32").c_str());
    ASSERT_EQ(scan().size(), 3u);
    EXPECT_EQ(catalogue_get(1)->dll_path, fits);
    EXPECT_EQ(catalogue_get(1)->dll_exists, 0);
    for (int i = 2; i <= 3; i++) {
        EXPECT_STREQ(catalogue_get(i)->dll_path, "") << i;
        EXPECT_EQ(catalogue_get(i)->dll_exists, 0) << i;
    }
}

TEST_F(DirectxScanTest, FilterWithoutClassKeyOrFilterKeyListsNothing)
{
    EXPECT_TRUE(scan().empty());
    fx_create(HKEY_CLASSES_ROOT, "Filter");
    EXPECT_TRUE(scan().empty());
    make_good_filter(A, "a");
    fx_delete_tree(HKEY_CLASSES_ROOT, cls_path(A).c_str());
    make_good_filter(B, "b");
    EXPECT_EQ(scan(), std::vector<std::string>{B});
}

TEST_F(DirectxScanTest, OverlongKeyNameIsSkippedAndLaterOnesListed)
{
    // 253 characters is the longest name the buffer takes.
    const std::string longest = "{B1" + std::string(250, '0');
    const std::string overlong = "{B2" + std::string(251, '0');
    make_good_filter(A, "a");
    make_good_filter(longest.c_str(), "longest");
    make_good_filter(overlong.c_str(), "overlong");
    make_good_filter(C, "c");
    EXPECT_EQ(scan(), (std::vector<std::string>{A, longest, C}));
}

TEST_F(DirectxScanTest, FailedIndexIsSkipped)
{
    make_good_filter(A, "a");
    make_good_filter(B, "b");
    make_good_filter(C, "c");
    fakereg_fail_on(FR_ENUM_KEY_EX, "HKCR\\Filter", nullptr, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(scan(), (std::vector<std::string>{A, C}));
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_KEY_EX, "HKCR\\Filter", nullptr, 0, ERROR_MORE_DATA);
    EXPECT_EQ(scan(), (std::vector<std::string>{B, C}));
}

TEST_F(DirectxScanTest, FailedPinIndexIsSkipped)
{
    make_filter(A, "F", {{"A", 0, AUDIO}, {"B", 1, AUDIO}, {"C", 1, AUDIO}});
    fakereg_fail_on(FR_ENUM_KEY_EX, ("HKCR\\" + cls_path(A) + "\\Pins").c_str(), nullptr, 1,
                    ERROR_INVALID_PARAMETER);
    EXPECT_EQ(scan().size(), 1u);
}

TEST_F(DirectxScanTest, DeletedFilterKeyEndsTheWalk)
{
    make_good_filter(A, "a");
    make_good_filter(B, "b");
    make_good_filter(C, "c");
    // Deleted before the walk starts: every index answers 1018.
    fakereg_fail_on(FR_ENUM_KEY_EX, "HKCR\\Filter", nullptr, -1, ERROR_KEY_DELETED);
    fakereg_reset_counts();
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_KEY_EX), 1u);
    // Deleted after the first filter was looked at.
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_KEY_EX, "HKCR\\Filter", nullptr, 1, ERROR_KEY_DELETED);
    EXPECT_EQ(scan(), std::vector<std::string>{A});
}

TEST_F(DirectxScanTest, KeyDeletedByAnotherProgramEndsTheWalk)
{
    make_good_filter(A, "a");
    KeyGuard filters;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Filter", 0, KEY_READ, filters.out()), 0);
    ASSERT_EQ(fakereg_delete_external("HKCR\\Filter"), 1);
    char name[KEY_NAME_CAPACITY];
    DWORD failures = 0;
    DWORD index = 0;
    // The handle of a deleted key answers 1018 at every index.
    while (!walk_ends(RegEnumKeyA(filters.get(), index, name, sizeof name), &failures)) index++;
    EXPECT_EQ(index, 0u);
    filters.close();
    EXPECT_TRUE(scan().empty());
}

TEST_F(DirectxScanTest, DeletedPinsKeyEndsThePinWalk)
{
    make_filter(A, "F", {{"In", 0, AUDIO}, {"Out", 1, AUDIO}});
    fakereg_fail_on(FR_ENUM_KEY_EX, ("HKCR\\" + cls_path(A) + "\\Pins").c_str(), nullptr, -1,
                    ERROR_KEY_DELETED);
    fakereg_reset_counts();
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_KEY_EX), 3u); // Filter 0, Pins 0, Filter 1
}

TEST_F(DirectxScanTest, EndlessFailuresEndAfterTheLimit)
{
    make_good_filter(A, "a");
    fakereg_fail_on(FR_ENUM_KEY_EX, "HKCR\\Filter", nullptr, -1, ERROR_ACCESS_DENIED);
    fakereg_reset_counts();
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_KEY_EX), WALK_MAX_FAILURES);
}

struct FaultCase {
    FakeRegFn fn;
    const char *sub; // below HKCR\CLSID\{A}
    const char *value; // nullptr: any
    bool listed;
    const char *name;
    const char *dll;
};

TEST_F(DirectxScanTest, FailuresAtEachStepHaveTheirEffect)
{
    const FaultCase cases[] = {
        {FR_OPEN_KEY_EX, "", nullptr, false, "", ""},
        // A refused merit read that leaves the length alone lets the filter through.
        {FR_QUERY_VALUE, "", "Merit", true, "Good", DLL},
        {FR_OPEN_KEY_EX, "\\Pins", nullptr, false, "", ""},
        {FR_OPEN_KEY_EX, "\\Pins\\In", nullptr, false, "", ""},
        {FR_QUERY_VALUE, "\\Pins\\Out", "Direction", false, "", ""},
        {FR_OPEN_KEY_EX, "\\Pins\\Out\\" AUDIO_TYPES_PATH, nullptr, false, "", ""},
        {FR_OPEN_KEY_EX, "\\InprocServer32", nullptr, true, "Good", ""},
        {FR_QUERY_VALUE, "\\InprocServer32", "", true, "Good", ""},
        {FR_QUERY_VALUE, "", "", true, "", DLL},
    };
    for (const FaultCase &c : cases) {
        fakereg_reset();
        make_good_filter(A, "Good");
        std::string path = "HKCR\\" + cls_path(A) + c.sub;
        fakereg_fail_on(c.fn, path.c_str(), c.value, -1, ERROR_ACCESS_DENIED);
        std::vector<std::string> got = scan();
        EXPECT_EQ(fakereg_open_handles(), 0) << path;
        EXPECT_EQ(fakefile_open_handles(), 0) << path;
        ASSERT_EQ(got.size(), c.listed ? 1u : 0u) << path << " " << (c.value ? c.value : "");
        if (!c.listed) continue;
        EXPECT_STREQ(catalogue_get(1)->name, c.name) << path;
        EXPECT_STREQ(catalogue_get(1)->dll_path, c.dll) << path;
        EXPECT_EQ(catalogue_get(1)->dll_exists, c.dll[0] != '\0') << path;
    }
}

// ---- registry views ----------------------------------------------------------


struct ViewCase {
    int classes; // views holding CLSID\{A}, each named "F32" or "F64"
    int filters; // views whose Filter key lists {A}
    std::vector<std::string> rows; // "bits name", sorted
};

// Under Windows 7 one Filter key serves both views, under Wine 8 each view
// has its own; either way a class is one row per view its class key is in,
// read in that view, wherever its Filter entry is.
TEST_F(DirectxScanTest, ViewsTable)
{
    const std::vector<ViewCase> two = {
        {V32, V32, {"32 F32"}},
        {V64, V64, {"64 F64"}},
        {V32, V64, {"32 F32"}},
        {V64, V32, {"64 F64"}},
        {V32, V32 | V64, {"32 F32"}},
        {V64, V32 | V64, {"64 F64"}},
        {V32 | V64, V32 | V64, {"32 F32", "64 F64"}},
        {V32 | V64, V32, {"32 F32", "64 F64"}},
        {V32 | V64, V64, {"32 F32", "64 F64"}},
    };
    const struct {
        FakeMachine machine;
        std::vector<ViewCase> cases;
    } machines[] = {{FAKE_WIN64_WIN7, two},
                    {FAKE_WIN64_WINE8, two},
                    {FAKE_WIN32, {{V32, V32, {"32 F32"}}}}};
    for (const auto &m : machines) {
        OnMachine on(m.machine);
        for (const ViewCase &c : m.cases) {
            fakereg_reset();
            for (int bits : {32, 64}) {
                if (!(c.classes & (bits == 32 ? V32 : V64))) continue;
                fakereg_set_process_bits(bits);
                make_good_filter(A, bits == 32 ? "F32" : "F64");
                fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("Filter\\") + A).c_str());
            }
            for (int bits : {32, 64}) {
                if (!(c.filters & (bits == 32 ? V32 : V64))) continue;
                fakereg_set_process_bits(bits);
                fx_create(HKEY_CLASSES_ROOT, (std::string("Filter\\") + A).c_str());
            }
            fakereg_set_process_bits(m.machine == FAKE_WIN32 ? 32 : 64);
            const std::string what = "machine " + std::to_string(m.machine) + ", classes " +
                                     std::to_string(c.classes) + ", filters " +
                                     std::to_string(c.filters);
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
