// The disabled-store scan, is_new_clsid and the whole rebuild against the
// in-process registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/scopes.h"
#include "tests/native/catalogue_fixture.h"
#include "catalogue/scan_common.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char DLL[] = "/tmp/mp_catalogue_store_test.dll";
const char A[] = "{A0000000-0000-0000-0000-0000000000AA}";
const char B[] = "{B0000000-0000-0000-0000-0000000000BB}";
const char C[] = "{C0000000-0000-0000-0000-0000000000CC}";
const char STORE[] = "HKCR\\" STORE64_ROOT_PATH;

std::string entry_path(const char *clsid, const char *root = STORE64_ROOT_PATH)
{
    return std::string(root) + "\\" + clsid;
}

// A store entry as disabling leaves it: "name", "type" and the saved class
// key with its InprocServer32.
void make_saved(const char *clsid, const char *name, DWORD type, const char *dll = DLL,
                const char *root = STORE64_ROOT_PATH)
{
    std::string e = entry_path(clsid, root);
    fx_set_sz(HKEY_CLASSES_ROOT, e.c_str(), "name", name);
    fx_set_dword(HKEY_CLASSES_ROOT, e.c_str(), "type", type);
    if (dll != nullptr)
        fx_set_sz(HKEY_CLASSES_ROOT, (e + "\\CLSID\\" + clsid + "\\InprocServer32").c_str(),
                  nullptr, dll);
}

std::vector<std::string> listed_states()
{
    std::vector<std::string> out;
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        out.push_back(std::string(e->disabled ? "off " : "on ") + std::to_string(e->type) + " " +
                      e->clsid_text);
    }
    return out;
}

std::string off(int type, const char *clsid) { return "off " + std::to_string(type) + " " + clsid; }
std::string on(int type, const char *clsid) { return "on " + std::to_string(type) + " " + clsid; }

class StoreScanTest : public CatalogueTest {
protected:
    StoreScanTest() : CatalogueTest(DLL) {}
    std::vector<std::string> rebuild()
    {
        rebuild_catalogue();
        return listed_states();
    }
};

TEST_F(StoreScanTest, SavedEntriesOfBothTypesAreListedDisabled)
{
    make_saved(A, "Saved Filter", 1);
    make_saved(B, "Saved Effect", 2, "/no/such.dll");
    ASSERT_EQ(rebuild(), (std::vector<std::string>{off(1, A), off(2, B)}));
    const PlugEntry *a = catalogue_get(1);
    EXPECT_STREQ(a->name, "Saved Filter");
    EXPECT_STREQ(a->dll_path, DLL);
    EXPECT_EQ(a->dll_exists, 1);
    unsigned char want[16];
    parse_clsid_text(A, want);
    EXPECT_EQ(memcmp(a->clsid, want, 16), 0);
    EXPECT_STREQ(catalogue_get(2)->dll_path, "/no/such.dll");
    EXPECT_EQ(catalogue_get(2)->dll_exists, 0);
}

TEST_F(StoreScanTest, NoStoreRootListsTheLiveOnes)
{
    fx_directx_filter(A, "Live", DLL);
    fx_vs3_effect(B, "Effect", nullptr, DLL);
    EXPECT_EQ(rebuild(), (std::vector<std::string>{on(1, A), on(2, B)}));
}

TEST_F(StoreScanTest, OrderIsFiltersEffectsThenSavedCopies)
{
    make_saved(A, "saved", 1);
    fx_vs3_effect(B, "Effect", nullptr, DLL);
    fx_directx_filter(C, "Live", DLL);
    EXPECT_EQ(rebuild(), (std::vector<std::string>{on(1, C), on(2, B), off(1, A)}));
}

TEST_F(StoreScanTest, LiveClassOfEitherTypeHidesTheSavedCopy)
{
    const char lower_a[] = "a0000000-0000-0000-0000-0000000000aa";
    fx_directx_filter(A, "Live filter", DLL);
    fx_vs3_effect(B, "Live effect", nullptr, DLL);
    make_saved(lower_a, "saved filter, same class spelt otherwise", 1);
    make_saved(B, "saved filter of a live effect", 1);
    make_saved(A, "saved effect of a live filter", 2);
    make_saved(C, "saved, not live", 2);
    EXPECT_EQ(rebuild(), (std::vector<std::string>{on(1, A), on(2, B), off(2, C)}));
}

TEST_F(StoreScanTest, SavedCopiesDoNotHideEachOther)
{
    const char unbraced[] = "A0000000-0000-0000-0000-0000000000AA";
    make_saved(A, "braced", 1);
    make_saved(unbraced, "unbraced", 2);
    // Enumeration order: the unbraced name sorts first.
    EXPECT_EQ(rebuild(), (std::vector<std::string>{off(2, unbraced), off(1, A)}));
}

TEST_F(StoreScanTest, OtherTypesAreListedWithoutDll)
{
    make_saved(A, "seven", 7);
    make_saved(B, "zero", 0);
    make_saved(C, "missing dll", 1, nullptr);
    ASSERT_EQ(rebuild(), (std::vector<std::string>{off(7, A), off(0, B)}));
    for (int i = 1; i <= 2; i++) {
        EXPECT_STREQ(catalogue_get(i)->dll_path, "") << i;
        EXPECT_EQ(catalogue_get(i)->dll_exists, 0) << i;
    }
}

struct NameCase {
    const char *what;
    std::string bytes; // stored as REG_SZ with exactly these bytes
    std::string name; // expected
};

TEST_F(StoreScanTest, SavedNameTable)
{
    const std::string n253(253, 'a'), n254(254, 'b'), n255(255, 'c'), n256(256, 'd'),
        n300(300, 'e');
    const NameCase cases[] = {
        {"empty", std::string(1, '\0'), ""},
        {"253 + terminator", n253 + '\0', n253},
        {"254 without terminator", n254, n254},
        {"254 + terminator", n254 + '\0', n254},
        {"255 + terminator, the longest disabling writes", n255 + '\0', n255},
        {"256 without terminator", n256, std::string(255, 'd')},
        {"256 + terminator", n256 + '\0', std::string(255, 'd')},
        {"300 + terminator", n300 + '\0', std::string(255, 'e')},
        {"text stops at the first zero", std::string("ab\0cd", 5), "ab"},
    };
    for (const NameCase &c : cases) {
        fakereg_reset();
        make_saved(A, "x", 1);
        std::string e = entry_path(A);
        fx_set(HKEY_CLASSES_ROOT, e.c_str(), "name", REG_SZ, c.bytes.data(),
               static_cast<DWORD>(c.bytes.size()));
        std::vector<std::string> got = rebuild();
        ASSERT_EQ(got.size(), 1u) << c.what;
        EXPECT_EQ(catalogue_get(1)->name, c.name) << c.what;
        EXPECT_STREQ(catalogue_get(1)->clsid_text, A) << c.what;
    }
}

TEST_F(StoreScanTest, EntryWithoutNameOrReadableTypeIsNotListed)
{
    make_saved(A, "no name", 1);
    make_saved(B, "long type", 1);
    make_saved(C, "no type", 1);
    fx_delete_tree(HKEY_CLASSES_ROOT, entry_path(A).c_str());
    fx_set_dword(HKEY_CLASSES_ROOT, entry_path(A).c_str(), "type", 1);
    fx_set_sz(HKEY_CLASSES_ROOT, (entry_path(A) + "\\CLSID\\" + A + "\\InprocServer32").c_str(),
              nullptr, DLL);
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    fx_set(HKEY_CLASSES_ROOT, entry_path(B).c_str(), "type", REG_BINARY, eight, 8);
    fx_delete_tree(HKEY_CLASSES_ROOT, entry_path(C).c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, entry_path(C).c_str(), "name", "no type");
    EXPECT_TRUE(rebuild().empty());
}

TEST_F(StoreScanTest, TypeOneOrTwoNeedsTheSavedServerPath)
{
    make_saved(A, "no server key", 1, nullptr);
    make_saved(B, "no default value", 2, nullptr);
    fx_set_sz(HKEY_CLASSES_ROOT, (entry_path(B) + "\\CLSID\\" + B + "\\InprocServer32").c_str(),
              "ThreadingModel", "Both");
    make_saved(C, "too long", 2, std::string(1023, 'p').c_str());
    // The live InprocServer32 does not stand in for the saved one.
    fx_set_sz(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + A + "\\InprocServer32").c_str(), nullptr,
              DLL);
    EXPECT_TRUE(rebuild().empty());
}

TEST_F(StoreScanTest, RebuildTwiceGivesTheSameCatalogue)
{
    for (int i = 0; i < 8; i++) {
        char clsid[64];
        snprintf(clsid, sizeof clsid, "{D000000%d-0000-0000-0000-000000000000}", i);
        if (i % 3 == 0) fx_directx_filter(clsid, "filter", DLL);
        if (i % 3 == 1) fx_vs3_effect(clsid, "", "CVS3XFactory Class", DLL);
        if (i % 2 == 0) make_saved(clsid, "saved", i % 3 == 2 ? 7u : static_cast<DWORD>(1 + i % 3));
    }
    rebuild_catalogue();
    std::vector<PlugEntry> first;
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        first.push_back(*catalogue_get(static_cast<int>(i)));
    ASSERT_EQ(first.size(), 3u + 3u + 1u); // saved 0, 4 and 6 are live
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), first.size());
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        EXPECT_EQ(memcmp(catalogue_get(static_cast<int>(i)), &first[i - 1], sizeof(PlugEntry)), 0)
            << i;
}

TEST_F(StoreScanTest, ManySavedCopiesAgainstManyLiveClasses)
{
    // Enough entries that the live index is searched, not walked by luck.
    std::vector<std::string> want_saved;
    for (int i = 0; i < 120; i++) {
        char clsid[64];
        snprintf(clsid, sizeof clsid, "{%08X-0000-0000-0000-%012X}", i * 7919u, i * 104729u);
        if (i % 2 == 0) fx_vs3_effect(clsid, "live", nullptr, DLL);
        if (i % 3 == 0) make_saved(clsid, "saved", 1);
        if (i % 3 == 0 && i % 2 != 0) want_saved.push_back(clsid);
    }
    rebuild_catalogue();
    std::vector<std::string> got;
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        if (catalogue_get(static_cast<int>(i))->disabled)
            got.push_back(catalogue_get(static_cast<int>(i))->clsid_text);
    std::sort(want_saved.begin(), want_saved.end());
    EXPECT_EQ(got, want_saved);
    EXPECT_EQ(catalogue_count(), 60u + want_saved.size());
}

TEST_F(StoreScanTest, IsNewClsidCountsOnlyLiveEntries)
{
    unsigned char a[16], b[16];
    parse_clsid_text(A, a);
    parse_clsid_text(B, b);
    EXPECT_EQ(is_new_clsid(a, 64, PLUG_SCOPE_MACHINE), 1);
    make_saved(A, "saved", 1);
    fx_vs3_effect(B, "live", nullptr, DLL);
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), 2u);
    EXPECT_EQ(is_new_clsid(a, 64, PLUG_SCOPE_MACHINE), 1);
    EXPECT_EQ(is_new_clsid(b, 64, PLUG_SCOPE_MACHINE), 0);
    // A class live in one view hides no saved copy of the other.
    EXPECT_EQ(is_new_clsid(b, 32, PLUG_SCOPE_MACHINE), 1);
    // Nor one of the other scope.
    EXPECT_EQ(is_new_clsid(b, 64, PLUG_SCOPE_USER), 1);
    // The flag changes in place between rebuilds, and the answer with it.
    catalogue_get(1)->disabled = 1;
    catalogue_get(2)->disabled = 0;
    EXPECT_EQ(is_new_clsid(a, 64, PLUG_SCOPE_MACHINE), 0);
    EXPECT_EQ(is_new_clsid(b, 64, PLUG_SCOPE_MACHINE), 1);
}

TEST_F(StoreScanTest, WalkSkipsFailedIndexesAndEndsOnDeletion)
{
    make_saved(A, "a", 1);
    make_saved(B, "b", 1);
    make_saved(C, "c", 1);
    fakereg_fail_on(FR_ENUM_KEY_EX, STORE, nullptr, 1, ERROR_MORE_DATA);
    EXPECT_EQ(rebuild(), (std::vector<std::string>{off(1, A), off(1, C)}));
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_KEY_EX, STORE, nullptr, 1, ERROR_KEY_DELETED);
    EXPECT_EQ(rebuild(), (std::vector<std::string>{off(1, A)}));
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_KEY_EX, STORE, nullptr, -1, ERROR_KEY_DELETED);
    fakereg_reset_counts();
    EXPECT_TRUE(rebuild().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_KEY_EX), 1u);
    fakereg_clear_faults();
    fakereg_fail_on(FR_ENUM_KEY_EX, STORE, nullptr, -1, ERROR_ACCESS_DENIED);
    fakereg_reset_counts();
    EXPECT_TRUE(rebuild().empty());
    EXPECT_EQ(fakereg_calls(FR_ENUM_KEY_EX), WALK_MAX_FAILURES);
}

TEST_F(StoreScanTest, OverlongEntryNameIsSkipped)
{
    const std::string overlong = "{B" + std::string(252, '0');
    make_saved(A, "a", 7);
    make_saved(overlong.c_str(), "overlong", 7);
    make_saved(C, "c", 7);
    EXPECT_EQ(rebuild(), (std::vector<std::string>{off(7, A), off(7, C)}));
}

TEST_F(StoreScanTest, FailuresAtEachStepKeepTheEntryOut)
{
    const std::string e = std::string(STORE) + "\\" + A;
    const std::string server = e + "\\CLSID\\" + A + "\\InprocServer32";
    struct {
        FakeRegFn fn;
        std::string path;
        const char *value;
    } cases[] = {
        {FR_OPEN_KEY_EX, STORE, nullptr},
        {FR_OPEN_KEY_EX, e, nullptr},
        {FR_QUERY_VALUE, e, "name"},
        {FR_QUERY_VALUE, e, "type"},
        {FR_OPEN_KEY_EX, server, nullptr},
        {FR_QUERY_VALUE, server, ""},
    };
    for (const auto &c : cases) {
        fakereg_reset();
        make_saved(A, "a", 1);
        fakereg_fail_on(c.fn, c.path.c_str(), c.value, -1, ERROR_ACCESS_DENIED);
        EXPECT_TRUE(rebuild().empty()) << c.path;
        EXPECT_EQ(fakereg_open_handles(), 0) << c.path;
        EXPECT_EQ(fakefile_open_handles(), 0) << c.path;
    }
}

// Every registry call of a rebuild, failed in turn: whatever fails, every
// key and file the rebuild opened is closed again.
TEST_F(StoreScanTest, EveryFailingCallLeavesNoHandleOpen)
{
    fx_directx_filter(A, "filter", DLL);
    fx_vs3_effect(B, "", "CVS3BFactory Class", DLL);
    make_saved(C, "saved", 1);
    make_saved(A, "hidden", 2);
    const LONG codes[] = {ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    fakereg_reset_counts();
    rebuild_catalogue();
    const unsigned long total = fakereg_calls(FR_ANY);
    ASSERT_GT(total, 20u);
    for (LONG code : codes) {
        for (unsigned long n = 1; n <= total; n++) {
            fakereg_reset_counts();
            fakereg_fail_nth(FR_ANY, n, code);
            rebuild_catalogue();
            ASSERT_EQ(fakereg_open_handles(), 0) << "call " << n << " code " << code;
            ASSERT_EQ(fakefile_open_handles(), 0) << "call " << n << " code " << code;
            ASSERT_LE(catalogue_count(), 3u);
        }
    }
}

// Both paths of is_new_clsid must compare all 16 bytes: the live class and
// the saved one, in the same view, differ in the last byte only.
TEST_F(StoreScanTest, ClassesDifferingInTheLastByteOnlyAreDifferent)
{
    const char b_next[] = "{B0000000-0000-0000-0000-0000000000BA}";
    fx_vs3_effect(B, "live", nullptr, DLL);
    make_saved(b_next, "saved", 2);
    // The store scan answers through the sorted index.
    EXPECT_EQ(rebuild(), (std::vector<std::string>{on(2, B), off(2, b_next)}));
    // Outside it, through the walk.
    ASSERT_GE(catalogue_count(), 1u);
    const PlugEntry *live = catalogue_get(1);
    unsigned char next[16];
    parse_clsid_text(b_next, next);
    EXPECT_EQ(is_new_clsid(next, live->bits, PLUG_SCOPE_MACHINE), 1);
    EXPECT_EQ(is_new_clsid(live->clsid, live->bits, PLUG_SCOPE_MACHINE), 0);
}

// ---- registry views ----------------------------------------------------------


struct ViewCase {
    int saved; // V32: a copy in DisabledPlug, V64: one in DisabledPlug64
    int live;  // views with a live effect of the class
    std::vector<std::string> rows; // "on|off bits", sorted
};

// A saved copy is hidden only by a live class of its own view: DisabledPlug
// holds 32-bit registrations, DisabledPlug64 64-bit ones, both read through
// the 64-bit view. 32-bit Windows has DisabledPlug only.
TEST_F(StoreScanTest, ViewsTable)
{
    const std::vector<ViewCase> two = {
        {V32, V32, {"on 32"}},
        {V32, V64, {"off 32", "on 64"}},
        {V64, V32, {"off 64", "on 32"}},
        {V64, V64, {"on 64"}},
        {V32 | V64, 0, {"off 32", "off 64"}},
        {V32 | V64, V32, {"off 64", "on 32"}},
        {V32 | V64, V64, {"off 32", "on 64"}},
        {V32 | V64, V32 | V64, {"on 32", "on 64"}},
    };
    const struct {
        FakeMachine machine;
        std::vector<ViewCase> cases;
    } machines[] = {{FAKE_WIN64_WIN7, two},
                    {FAKE_WIN64_WINE8, two},
                    {FAKE_WIN32,
                     {{V32, 0, {"off 32"}},
                      {V32, V32, {"on 32"}},
                      {V64, 0, {}},
                      {V32 | V64, 0, {"off 32"}}}}};
    for (const auto &m : machines) {
        OnMachine on(m.machine);
        for (const ViewCase &c : m.cases) {
            fakereg_reset();
            if (c.saved & V32) make_saved(A, "saved 32", 2, DLL, STORE_ROOT_PATH);
            if (c.saved & V64) make_saved(A, "saved 64", 2, DLL, STORE64_ROOT_PATH);
            for (int bits : {32, 64}) {
                if (!(c.live & (bits == 32 ? V32 : V64))) continue;
                fakereg_set_process_bits(bits);
                fx_vs3_effect(A, "live", nullptr, DLL);
            }
            fakereg_set_process_bits(m.machine == FAKE_WIN32 ? 32 : 64);
            const std::string what = "machine " + std::to_string(m.machine) + ", saved " +
                                     std::to_string(c.saved) + ", live " + std::to_string(c.live);
            rebuild_catalogue();
            std::vector<std::string> got;
            for (uint32_t i = 1; i <= catalogue_count(); i++) {
                const PlugEntry *e = catalogue_get(static_cast<int>(i));
                EXPECT_STREQ(e->clsid_text, A) << what;
                // A saved copy is read from its own root.
                if (e->disabled) {
                    EXPECT_EQ(e->name, "saved " + std::to_string(e->bits)) << what;
                }
                got.push_back(std::string(e->disabled ? "off " : "on ") + std::to_string(e->bits));
            }
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, c.rows) << what;
            EXPECT_EQ(fakereg_open_handles(), 0) << what;
        }
    }
}

} // namespace
