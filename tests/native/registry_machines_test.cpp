// The maintenance operations on the machines the in-process registry plays:
// registrations in either registry view or both, under the Windows 7 and the
// Wine 8 sharing rules and on 32-bit Windows; text of any language, values
// of any shape and links inside a registration; and what each operation
// reports when it does not complete.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

const char ONLY32[] = "{C0DE0000-0000-4000-8000-000000000032}";
const char ONLY64[] = "{C0DE0000-0000-4000-8000-000000000064}";
const char BOTH[] = "{C0DE0000-0000-4000-8000-0000000000B0}";
const char VS[] = "{C0DE0000-0000-4000-8000-0000000000E5}";

// Seeds through the ordinary fixture as a process of the given bits would.
void as_process(int bits, void (*seed)(const char *), const char *clsid)
{
    int was = fakereg_process_bits();
    fakereg_set_process_bits(bits);
    seed(clsid);
    fakereg_set_process_bits(was);
}

void filter(const char *clsid) { fx_directx_filter(clsid, "Filter", "C:\\f.dll"); }
void effect(const char *clsid) { fx_vs3_effect(clsid, "Effect", nullptr, "C:\\e.dll"); }

std::string both_views(const char *clsid)
{
    std::string out;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        out += "F:" + fx_dump_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(clsid)).c_str(), view);
        out += "C:" + fx_dump_exact(HKEY_CLASSES_ROOT, ("CLSID\\" + std::string(clsid)).c_str(), view);
        out += "V:" + fx_dump_exact(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, view);
    }
    return out;
}

int row(const char *clsid, int32_t bits)
{
    rebuild_catalogue();
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e->bits == bits && strcmp(e->clsid_text, clsid) == 0) return static_cast<int>(i);
    }
    return 0;
}

int rows_of(const char *clsid)
{
    int n = 0;
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        n += strcmp(catalogue_get(static_cast<int>(i))->clsid_text, clsid) == 0;
    return n;
}

typedef MachineOpsTest TwoViews;

TEST_P(TwoViews, EachViewsRegistrationIsOneRowActedOnInItsView)
{
    as_process(32, filter, ONLY32);
    as_process(64, filter, ONLY64);
    as_process(32, filter, BOTH);
    as_process(64, filter, BOTH);
    as_process(32, effect, VS);
    const struct {
        const char *clsid;
        int32_t bits;
        const char *store;
    } rows[] = {{ONLY32, 32, STORE_ROOT_PATH}, {ONLY64, 64, STORE64_ROOT_PATH},
                {BOTH, 32, STORE_ROOT_PATH},   {BOTH, 64, STORE64_ROOT_PATH},
                {VS, 32, STORE_ROOT_PATH}};
    rebuild_catalogue();
    EXPECT_EQ(catalogue_count(), 5u);
    EXPECT_EQ(rows_of(BOTH), 2);
    for (const auto &r : rows) {
        const std::string before = both_views(r.clsid);
        int i = row(r.clsid, r.bits);
        ASSERT_GT(i, 0) << r.clsid << " " << r.bits;
        ASSERT_EQ(disable_plug(i), 1) << r.clsid << " " << r.bits;
        const std::string entry = std::string(r.store) + "\\" + r.clsid;
        EXPECT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, entry.c_str(), KEY_WOW64_64KEY), "");
        // Saved copies sit in the one store of the 64-bit view.
        EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, entry.c_str(), KEY_WOW64_32KEY) != "",
                  GetParam() == FAKE_WIN64_WIN7);
        i = row(r.clsid, r.bits);
        ASSERT_GT(i, 0);
        EXPECT_EQ(catalogue_get(i)->disabled, 1);
        ASSERT_EQ(enable_plug(i), 1) << r.clsid << " " << r.bits;
        EXPECT_EQ(both_views(r.clsid), before) << r.clsid << " " << r.bits;
    }
}

TEST_P(TwoViews, DisablingOneViewOfATwoViewClassLeavesTheOtherWhole)
{
    as_process(32, filter, BOTH);
    as_process(64, filter, BOTH);
    const std::string before = both_views(BOTH);
    const std::string filter32 =
        fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("Filter\\") + BOTH).c_str(), KEY_WOW64_32KEY);
    ASSERT_EQ(disable_plug(row(BOTH, 64)), 1);
    int i = row(BOTH, 32);
    ASSERT_GT(i, 0);
    EXPECT_EQ(catalogue_get(i)->disabled, 0);
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("Filter\\") + BOTH).c_str(),
                            KEY_WOW64_32KEY),
              filter32);
    EXPECT_EQ(catalogue_get(row(BOTH, 64))->disabled, 1);
    // Removing the 64-bit saved copy and the 32-bit registration in turn
    // leaves nothing; re-enabling instead brings back both views exactly.
    ASSERT_EQ(enable_plug(row(BOTH, 64)), 1);
    EXPECT_EQ(both_views(BOTH), before);
    ASSERT_EQ(remove_plug(row(BOTH, 64)), 1);
    EXPECT_EQ(catalogue_get(row(BOTH, 32))->disabled, 0);
    ASSERT_EQ(remove_plug(row(BOTH, 32)), 1);
    EXPECT_EQ(both_views(BOTH), "F:C:V:F:C:V:");
}

// As Windows 7 lays it out: the Filter key in the shared place, the class in
// the 32-bit view only.
TEST_P(TwoViews, A32BitClassUnderThe64BitFilterKeyIsOne32BitRow)
{
    as_process(32, filter, ONLY32);
    if (GetParam() == FAKE_WIN64_WINE8) {
        ASSERT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, (std::string("Filter\\") + ONLY32).c_str(),
                                         KEY_WOW64_32KEY));
        ASSERT_TRUE(fx_create(HKEY_CLASSES_ROOT, (std::string("Filter\\") + ONLY32).c_str()));
    }
    rebuild_catalogue();
    EXPECT_EQ(catalogue_count(), 1u);
    int i = row(ONLY32, 32);
    ASSERT_GT(i, 0);
    ASSERT_EQ(disable_plug(i), 1);
    ASSERT_EQ(enable_plug(row(ONLY32, 32)), 1);
    EXPECT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + ONLY32).c_str(),
                            KEY_WOW64_32KEY),
              "");
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + ONLY32).c_str(),
                            KEY_WOW64_64KEY),
              "");
}

// A class both a filter and a VS3 effect in the 32-bit view: the effect's
// Disable saves the class key without the Filter key, which stays live. The
// 64-bit filter's Remove must leave it where Windows 7 shares it, and the
// effect's Enable then finds the 32-bit filter whole again.
TEST_P(TwoViews, ASharedFilterKeyStaysForAClassSavedWithoutIt)
{
    as_process(32, filter, BOTH);
    as_process(32, effect, BOTH);
    as_process(64, filter, BOTH);
    const std::string before32 = both_views(BOTH).substr(0, both_views(BOTH).find("F:", 2));
    rebuild_catalogue();
    int effect32 = 0;
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e->bits == 32 && e->type == PLUG_TYPE_VS3) effect32 = static_cast<int>(i);
    }
    ASSERT_GT(effect32, 0);
    ASSERT_EQ(disable_plug(effect32), 1);
    ASSERT_EQ(remove_plug(row(BOTH, 64)), 1);
    rebuild_catalogue();
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        if (catalogue_get(static_cast<int>(i))->type == PLUG_TYPE_VS3) effect32 = static_cast<int>(i);
    ASSERT_EQ(enable_plug(effect32), 1);
    EXPECT_EQ(both_views(BOTH).substr(0, before32.size()), before32);
}

INSTANTIATE_ON_MACHINES(TwoViews);

// The 32-bit program on 32-bit Windows: one view, no view flags, and the
// store where it has always been.
TEST_F(RegistryOpsTest, ThirtyTwoBitWindowsHasOneViewAndTheClassicStore)
{
    fakereg_set_machine(FAKE_WIN32);
    fakereg_set_process_bits(32);
    filter(ONLY32);
    int32_t bits[2];
    EXPECT_EQ(registry_views(bits), 1);
    EXPECT_EQ(view_flag(32), 0u);
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), 1u);
    EXPECT_EQ(catalogue_get(1)->bits, 32);
    EXPECT_EQ(disable_plug(1), 1);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, (std::string(STORE_ROOT_PATH "\\") + ONLY32).c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
    fakereg_set_machine(FAKE_WIN64_WIN7);
    fakereg_set_process_bits(64);
}

// The 32-bit build on 64-bit Windows sees both views too.
TEST_F(RegistryOpsTest, ThirtyTwoBitProgramOn64BitWindowsSeesBothViews)
{
    fakereg_set_process_bits(32);
    int32_t bits[2];
    EXPECT_EQ(registry_views(bits), 2);
    EXPECT_EQ(view_flag(64), static_cast<REGSAM>(KEY_WOW64_64KEY));
    EXPECT_EQ(store_view(), static_cast<REGSAM>(KEY_WOW64_64KEY));
    fakereg_set_process_bits(64);
}

// ---- every byte, every link ---------------------------------------------------

std::string sz(const char *utf8) { return fx_w_bytes(utf8) + std::string(2, '\0'); }

TEST_F(RegistryOpsTest, TextOfAnyLanguageValuesOfAnyShapeAndLinksComeBackExactly)
{
    filter(ONLY64);
    effect(VS);
    for (const char *c : {ONLY64, VS}) {
        const std::string cls = std::string("CLSID\\") + c;
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\Łukasz Ωmega\\Жук 日本").c_str(),
                                   "日本", REG_SZ, sz("C:\\Жук.dll")));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), "odd", REG_SZ, "abc"));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), "junk", REG_SZ,
                                   std::string("\xff\x00\xd8", 3)));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), "Ωmega", 0x4321, "\x01"));
        ASSERT_TRUE(fx_create_link(HKEY_CLASSES_ROOT, (cls + "\\Loop").c_str(),
                                   ("\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\" + cls).c_str()));
    }
    // An empty, long-named, expandable VS3Effects value comes back as it was.
    ASSERT_TRUE(fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS, REG_EXPAND_SZ,
                               std::string(2, '\0')));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + VS).c_str(), nullptr,
                               REG_SZ, sz("CVS3BeetleFactory Class")));
    for (const char *c : {ONLY64, VS}) {
        const std::string before = both_views(c);
        ASSERT_EQ(disable_plug(row(c, 64)), 1) << c;
        EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + c).c_str()), "");
        ASSERT_EQ(enable_plug(row(c, 64)), 1) << c;
        EXPECT_EQ(both_views(c), before) << c;
    }
    // Remove deletes the link itself, never the class key it points at last.
    ASSERT_EQ(remove_plug(row(ONLY64, 64)), 1);
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + ONLY64).c_str()), "");
    EXPECT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + VS).c_str()), "");
}

// No nesting, however deep, exhausts the stack: the walk stops cleanly.
TEST_F(RegistryOpsTest, ADeeperTreeThanTheRegistryAllowsFailsCleanly)
{
    std::string path = "Software\\Deep";
    for (int i = 0; i < 520; i++) path += "\\k";
    ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, path.c_str()));
    KeyGuard dst;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Copy", dst.out()), ERROR_SUCCESS);
    KeyGuard src;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", src.out()), ERROR_SUCCESS);
    TreeFailure f;
    EXPECT_EQ(copy_key_tree_ex(dst.get(), 0, src.get(), 0, "Deep", &f), 0);
    EXPECT_EQ(f.code, ERROR_CANTOPEN);
    EXPECT_EQ(delete_key_tree_ex(src.get(), 0, "Deep", &f), 0);
    EXPECT_EQ(f.code, ERROR_CANTOPEN);
}

// ---- what an operation reports --------------------------------------------

struct Refusal {
    const char *what;
    int op; // 0 disable, 1 enable, 2 remove
    FakeRegFn fn;
    const char *key;
    int32_t why;
    const char *said;
};

class Outcomes : public RegistryOpsTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Outcomes, TheFirstRefusedStepIsReportedInTheCompanionsWords)
{
    const Refusal r = GetParam();
    filter(ONLY64);
    if (r.op == 1) {
        ASSERT_EQ(disable_plug(row(ONLY64, 64)), 1);
    }
    const std::string before = both_views(ONLY64);
    int i = row(ONLY64, 64);
    fakereg_fail_on(r.fn, r.key, nullptr, -1, ERROR_ACCESS_DENIED);
    PlugOutcome o;
    int ok = r.op == 0 ? disable_plug(i, &o) : r.op == 1 ? enable_plug(i, &o) : remove_plug(i, &o);
    fakereg_clear_faults();
    EXPECT_EQ(ok, 0) << r.what;
    EXPECT_EQ(o.status, PLUG_FAILED) << r.what;
    EXPECT_EQ(o.why, r.why) << r.what;
    char said[2048];
    describe_outcome(&o, said, sizeof said);
    EXPECT_STREQ(said, r.said) << r.what;
    if (r.op == 0) {
        EXPECT_EQ(both_views(ONLY64), before) << r.what;
    }
}

#define STORE64_SAID "HKLM\\Software\\Classes\\Quillon_Software\\DisabledPlug64\\{C0DE0000-0000-4000-8000-000000000064}"
#define STORE64 "HKCR\\Quillon_Software\\DisabledPlug64\\{C0DE0000-0000-4000-8000-000000000064}"
#define CLASS64_SAID "HKLM\\Software\\Classes\\CLSID\\{C0DE0000-0000-4000-8000-000000000064}"
#define CLASS64 "HKCR\\CLSID\\{C0DE0000-0000-4000-8000-000000000064}"
#define DENIED "access denied (run as administrator) at "

INSTANTIATE_TEST_SUITE_P(
    Steps, Outcomes,
    ::testing::Values(
        Refusal{"store entry", 0, FR_CREATE_KEY, STORE64, WHY_REGISTRY, DENIED STORE64_SAID},
        Refusal{"class copied", 0, FR_OPEN_KEY_EX, CLASS64, WHY_REGISTRY, DENIED CLASS64_SAID},
        Refusal{"class restored", 1, FR_CREATE_KEY, CLASS64, WHY_REGISTRY, DENIED CLASS64_SAID},
        Refusal{"class deleted", 2, FR_DELETE_KEY, CLASS64, WHY_REGISTRY, DENIED CLASS64_SAID}));

TEST_F(RegistryOpsTest, EnableSaysWhichPartsCameBack)
{
    filter(ONLY64);
    ASSERT_EQ(disable_plug(row(ONLY64, 64)), 1);
    int i = row(ONLY64, 64);
    fakereg_fail_on(FR_CREATE_KEY, CLASS64, nullptr, -1, ERROR_ACCESS_DENIED);
    PlugOutcome o;
    EXPECT_EQ(enable_plug(i, &o), 0);
    EXPECT_EQ(o.restored, PART_FILTER);
    EXPECT_EQ(catalogue_get(i)->disabled, 1);
}

// The second type of a dual-type class cannot share the first one's saved
// copy: the disable is refused before anything is written, and says why.
TEST_F(RegistryOpsTest, TheSecondTypeOfADualClassIsRefusedWithItsReason)
{
    filter(BOTH);
    effect(BOTH);
    rebuild_catalogue();
    int dx = 0, vs = 0;
    for (uint32_t n = 1; n <= catalogue_count(); n++)
        (catalogue_get(static_cast<int>(n))->type == PLUG_TYPE_DIRECTX ? dx : vs) =
            static_cast<int>(n);
    ASSERT_EQ(disable_plug(dx), 1);
    const std::string before = both_views(BOTH);
    PlugOutcome o;
    EXPECT_EQ(disable_plug(vs, &o), 0);
    EXPECT_EQ(o.why, WHY_STORE_HOLDS_TYPE);
    EXPECT_EQ(o.held_type, PLUG_TYPE_DIRECTX);
    EXPECT_EQ(both_views(BOTH), before);
    EXPECT_EQ(catalogue_get(vs)->disabled, 0);
}

} // namespace
