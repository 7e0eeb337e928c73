// What real machines hold, on the real registry: text in any language,
// values of any shape and registry links inside a registration, and plug-ins
// of both registry views. Disable then Enable gives back every byte of both
// views, Remove leaves nothing and follows no link, and every row is acted on
// in its own view.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"

namespace {

const char POLISH_DX[] = "{7E57D300-0000-4000-8000-0000000000C1}";
const char CYRILLIC_VS[] = "{7E57D300-0000-4000-8000-0000000000C2}";
const char FILTER32[] = "{7E57D300-0000-4000-8000-0000000000C3}";
const char FILTER64[] = "{7E57D300-0000-4000-8000-0000000000C4}";
const char EFFECT32[] = "{7E57D300-0000-4000-8000-0000000000C5}";
const char BOTH[] = "{7E57D300-0000-4000-8000-0000000000C6}";
const char WIN7[] = "{7E57D300-0000-4000-8000-0000000000C7}";
const char *const ALL[] = {POLISH_DX, CYRILLIC_VS, FILTER32, FILTER64, EFFECT32, BOTH, WIN7};
const char OUTSIDE[] = "MPRealMachineOutside";
const char OUTSIDE_KERNEL[] = "\\REGISTRY\\MACHINE\\Software\\Classes\\MPRealMachineOutside";
const char AUDIO_SUBTYPE[] = "\\{00000001-0000-0010-8000-00AA00389B71}";

std::string sz(const char *utf8)
{
    return fx_w_bytes(utf8) + std::string(2, '\0');
}

std::string dword(DWORD v)
{
    return std::string(reinterpret_cast<const char *>(&v), 4);
}

std::string cls(const char *clsid) { return std::string("CLSID\\") + clsid; }

// A DirectX filter written through the wide functions in one view.
void seed_filter(const char *clsid, const char *name, const char *dll, REGSAM view)
{
    const std::string c = cls(clsid);
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(clsid)).c_str(),
                               "FriendlyName", REG_SZ, sz(name), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), nullptr, REG_SZ, sz(name), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "Merit", REG_DWORD, dword(0x200000),
                               view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (c + "\\InprocServer32").c_str(), nullptr, REG_SZ,
                               sz(dll), view));
    for (DWORD dir = 0; dir < 2; dir++) {
        std::string pin = c + (dir == 0 ? "\\Pins\\Input" : "\\Pins\\Output");
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, pin.c_str(), "Direction", REG_DWORD,
                                   dword(dir), view));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT,
                                   (pin + "\\" AUDIO_TYPES_PATH + AUDIO_SUBTYPE).c_str(),
                                   "x", REG_DWORD, dword(1), view));
    }
}

void seed_effect(const char *clsid, const char *name, const char *dll, REGSAM view)
{
    ASSERT_TRUE(fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid, REG_SZ, sz(name), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (cls(clsid) + "\\InprocServer32").c_str(),
                               nullptr, REG_SZ, sz(dll), view));
}

// Everything a real machine may hold beyond the essentials.
void add_hard_contents(const char *clsid, REGSAM view)
{
    const std::string c = cls(clsid);
    const std::string deep = c + "\\Łukasz Ωmega\\Жук 日本";
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, deep.c_str(), "Ωmega Жук", REG_SZ,
                               sz("C:\\Plug-ins\\日本\\Жук.dll"), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "odd", REG_SZ, "abc", view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "multi", REG_MULTI_SZ,
                               fx_w_bytes("Łukasz") + std::string(2, '\0') + fx_w_bytes("日本") +
                                   std::string(4, '\0'),
                               view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "expand", REG_EXPAND_SZ,
                               sz("%ProgramFiles%\\Жук"), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "junk", REG_SZ,
                               std::string("\xff\x00\xd8\x01\x7f", 5), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "odd type", 0x4321,
                               std::string("\x00\x01", 2), view));
    // A link inside the class key that points back at the class key, and one
    // that points outside the registration.
    ASSERT_TRUE(fx_create_link(HKEY_CLASSES_ROOT, (c + "\\Loop").c_str(),
                               ("\\REGISTRY\\MACHINE\\Software\\Classes\\" + c).c_str(), view));
    ASSERT_TRUE(fx_create_link(HKEY_CLASSES_ROOT, (c + "\\Out").c_str(), OUTSIDE_KERNEL, view));
}

// Both views of everything a plug-in of the fixtures may touch.
std::string machine_dump(const char *clsid)
{
    std::string out;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        out += "F:" + fx_dump_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(clsid)).c_str(), view);
        out += "C:" + fx_dump_exact(HKEY_CLASSES_ROOT, cls(clsid).c_str(), view);
        out += "V:" + fx_dump_exact(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, view);
    }
    for (const char *root : {STORE_ROOT_PATH, STORE64_ROOT_PATH})
        out += "S:" + fx_dump_exact(HKEY_CLASSES_ROOT, (std::string(root) + "\\" + clsid).c_str(),
                                    KEY_WOW64_64KEY);
    return out;
}

class RealMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        clean();
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, OUTSIDE, "kept", REG_DWORD, dword(7)));
        plug_list_destroy(&catalogue);
        ASSERT_TRUE(plug_list_init(&catalogue, sizeof(PlugEntry)));
    }
    void TearDown() override
    {
        plug_list_destroy(&catalogue);
        clean();
    }
    static void clean()
    {
        for (const char *c : ALL) {
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
                fx_delete_tree_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(c)).c_str(), view);
                fx_delete_tree_exact(HKEY_CLASSES_ROOT, cls(c).c_str(), view);
                KeyGuard effects;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_SET_VALUE | view,
                                  effects.out()) == ERROR_SUCCESS)
                    RegDeleteValueA(effects.get(), c);
            }
            for (const char *root : {STORE_ROOT_PATH, STORE64_ROOT_PATH})
                fx_delete_tree_exact(HKEY_CLASSES_ROOT, (std::string(root) + "\\" + c).c_str(),
                                     KEY_WOW64_64KEY);
        }
        fx_delete_tree_exact(HKEY_CLASSES_ROOT, OUTSIDE);
    }
    // The catalogue index of clsid in the view, after a rebuild.
    static int row(const char *clsid, int32_t bits)
    {
        rebuild_catalogue();
        for (uint32_t i = 1; i <= catalogue_count(); i++) {
            const PlugEntry *e = catalogue_get(static_cast<int>(i));
            if (e->bits == bits && strcmp(e->clsid_text, clsid) == 0) return static_cast<int>(i);
        }
        return 0;
    }
    static void round_trip(const char *clsid, int32_t bits)
    {
        const std::string before = machine_dump(clsid);
        int i = row(clsid, bits);
        ASSERT_GT(i, 0) << clsid << " " << bits;
        PlugOutcome o;
        EXPECT_EQ(disable_plug(i, &o), 1) << clsid << " why " << o.why << " code " << o.code << " " << o.key;
        const char *store = bits == 64 ? STORE64_ROOT_PATH : STORE_ROOT_PATH;
        EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, (std::string(store) + "\\" + clsid).c_str()));
        i = row(clsid, bits);
        ASSERT_GT(i, 0);
        EXPECT_EQ(catalogue_get(i)->disabled, 1);
        EXPECT_EQ(enable_plug(i, &o), 1) << clsid << " why " << o.why << " code " << o.code << " " << o.key;
        EXPECT_EQ(machine_dump(clsid), before) << clsid;
    }
};

TEST_F(RealMachine, EveryCharacterValueAndLinkComesBackExactly)
{
    seed_filter(POLISH_DX, "Łukasz Ωmega", "C:\\Plug-ins\\Жук.dll", 0);
    add_hard_contents(POLISH_DX, 0);
    seed_effect(CYRILLIC_VS, "Жук 日本", "C:\\Plug-ins\\日本.dll", 0);
    add_hard_contents(CYRILLIC_VS, 0);
    // An empty effect name is kept empty, not replaced by a derived one.
    ASSERT_TRUE(fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, CYRILLIC_VS, REG_EXPAND_SZ,
                               std::string(2, '\0')));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls(CYRILLIC_VS).c_str(), nullptr, REG_SZ,
                               sz("CVS3BeetleFactory Class")));
    ASSERT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, cls(POLISH_DX).c_str()).find("Loop"), std::string::npos);
    round_trip(POLISH_DX, 64);
    round_trip(CYRILLIC_VS, 64);
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, OUTSIDE), "[.]\n  \"kept\" type=4 len=4 07000000\n")
        << fx_dump_exact(HKEY_CLASSES_ROOT, OUTSIDE);
}

// Names read exactly, the saved name is written as UTF-16, and an entry a
// 1.1.0 disable saved, whose "name" went through the ANSI functions and
// holds "?" marks, still enables exactly and then shows its name.
TEST_F(RealMachine, NamesInAnyScriptAndEntriesOfOlderVersions)
{
    const char *name = "Жук Дилэй 🎛";
    seed_filter(POLISH_DX, name, "C:\\Plug-ins\\空間.dll", 0);
    const std::string before = machine_dump(POLISH_DX);
    int i = row(POLISH_DX, 64);
    ASSERT_GT(i, 0);
    EXPECT_STREQ(catalogue_get(i)->name, name);
    EXPECT_STREQ(catalogue_get(i)->dll_path, "C:\\Plug-ins\\空間.dll");
    ASSERT_EQ(disable_plug(i), 1);
    const std::string entry = std::string(STORE64_ROOT_PATH "\\") + POLISH_DX;
    EXPECT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, entry.c_str(), KEY_WOW64_64KEY)
                  .find(fx_hex(sz(name))),
              std::string::npos);
    i = row(POLISH_DX, 64);
    ASSERT_GT(i, 0);
    EXPECT_STREQ(catalogue_get(i)->name, name);

    // As 1.1.0 wrote it: the same saved copy, the name through the ANSI
    // function of a Western Windows.
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, entry.c_str(), "name", "??? ????? ?"));
    i = row(POLISH_DX, 64);
    ASSERT_GT(i, 0);
    EXPECT_STREQ(catalogue_get(i)->name, "??? ????? ?");
    ASSERT_EQ(enable_plug(i), 1);
    EXPECT_EQ(machine_dump(POLISH_DX), before);
    i = row(POLISH_DX, 64);
    ASSERT_GT(i, 0);
    EXPECT_STREQ(catalogue_get(i)->name, name);
}

TEST_F(RealMachine, RemoveLeavesNothingAndFollowsNoLink)
{
    seed_filter(POLISH_DX, "Łukasz", "C:\\Plug-ins\\Жук.dll", 0);
    add_hard_contents(POLISH_DX, 0);
    const std::string outside = fx_dump_exact(HKEY_CLASSES_ROOT, OUTSIDE);
    int i = row(POLISH_DX, 64);
    ASSERT_GT(i, 0);
    EXPECT_EQ(remove_plug(i), 1);
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, cls(POLISH_DX).c_str()), "");
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(POLISH_DX)).c_str()), "");
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, OUTSIDE), outside);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, "CLSID"));
}

// One row per view a class lives in, each with its bits, each disabled into
// its own store and enabled back into its own view.
TEST_F(RealMachine, EveryPluginOfBothViewsIsListedAndActedOnInItsView)
{
    seed_filter(FILTER32, "Thirty-two", "C:\\x32.dll", KEY_WOW64_32KEY);
    seed_filter(FILTER64, "Sixty-four", "C:\\x64.dll", KEY_WOW64_64KEY);
    seed_effect(EFFECT32, "Effect 32", "C:\\e32.dll", KEY_WOW64_32KEY);
    seed_filter(BOTH, "Both views", "C:\\both32.dll", KEY_WOW64_32KEY);
    seed_filter(BOTH, "Both views", "C:\\both64.dll", KEY_WOW64_64KEY);
    struct {
        const char *clsid;
        int32_t bits;
    } const rows[] = {{FILTER32, 32}, {FILTER64, 64}, {EFFECT32, 32}, {BOTH, 32}, {BOTH, 64}};
    for (const auto &r : rows) EXPECT_GT(row(r.clsid, r.bits), 0) << r.clsid << " " << r.bits;
    EXPECT_EQ(row(FILTER32, 64), 0);
    EXPECT_EQ(row(FILTER64, 32), 0);
    for (const auto &r : rows) round_trip(r.clsid, r.bits);

    // The 64-bit registration of the two-view class goes; the 32-bit one stays.
    int i = row(BOTH, 64);
    ASSERT_EQ(disable_plug(i), 1);
    i = row(BOTH, 32);
    ASSERT_GT(i, 0);
    EXPECT_EQ(catalogue_get(i)->disabled, 0);
    EXPECT_STREQ(catalogue_get(i)->dll_path, "C:\\both32.dll");
    EXPECT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(BOTH)).c_str(),
                            KEY_WOW64_32KEY),
              "");
}

// A machine laid out as Windows 7 lays it out: the Filter key and the saved
// copy in the shared place, the class live in the 32-bit view. The class is
// live for 32-bit hosts and stays in the 32-bit view.
TEST_F(RealMachine, SharedFilterKeyWithA32BitClassIsLiveIn32Bits)
{
    seed_filter(WIN7, "Seven", "C:\\seven.dll", KEY_WOW64_32KEY);
    ASSERT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(WIN7)).c_str(),
                                     KEY_WOW64_32KEY));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(WIN7)).c_str(),
                               "FriendlyName", REG_SZ, sz("Seven"), KEY_WOW64_64KEY));
    const std::string entry = std::string(STORE_ROOT_PATH "\\") + WIN7;
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, entry.c_str(), "name", REG_SZ, sz("Seven"),
                               KEY_WOW64_64KEY));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, entry.c_str(), "type", REG_DWORD, dword(1),
                               KEY_WOW64_64KEY));
    int i = row(WIN7, 32);
    ASSERT_GT(i, 0);
    EXPECT_EQ(catalogue_get(i)->disabled, 0);
    int rows = 0;
    for (uint32_t n = 1; n <= catalogue_count(); n++)
        rows += strcmp(catalogue_get(static_cast<int>(n))->clsid_text, WIN7) == 0;
    EXPECT_EQ(rows, 1);
    ASSERT_EQ(disable_plug(i), 1);
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, cls(WIN7).c_str(), KEY_WOW64_32KEY), "");
    i = row(WIN7, 32);
    ASSERT_GT(i, 0);
    ASSERT_EQ(enable_plug(i), 1);
    EXPECT_NE(fx_dump_exact(HKEY_CLASSES_ROOT, cls(WIN7).c_str(), KEY_WOW64_32KEY), "");
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, cls(WIN7).c_str(), KEY_WOW64_64KEY), "");
}

} // namespace
