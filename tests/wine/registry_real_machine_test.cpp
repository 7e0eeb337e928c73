// What real machines hold, on the real registry: text in any language,
// values of any shape and registry links inside a registration, and plug-ins
// of both registry views. Disable then Enable gives back every byte of both
// views, Remove leaves nothing and follows no link, and every row is acted on
// in its own view.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "registry/reg_export.h"
#include "tests/common/reg_fixture.h"
#include "tests/wine/ui_test_support.h"

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

// Every kind of value a real machine may hold beyond the essentials.
void add_hard_values(const char *clsid, REGSAM view)
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
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "qword", REG_QWORD,
                               std::string("\x01\x02\x03\x04\x05\x06\x07\x88", 8), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "binary", REG_BINARY,
                               std::string(100, '\x5a'), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "no bytes", REG_BINARY, "", view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, c.c_str(), "empty", REG_SZ, sz(""), view));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (c + "\\Default only").c_str(), nullptr,
                               REG_SZ, sz("q\"uo\\te"), view));
    KeyGuard empty;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (c + "\\Empty key").c_str(), 0, nullptr, 0,
                              KEY_READ | view, nullptr, empty.out(), nullptr),
              ERROR_SUCCESS);
}

// Everything a real machine may hold beyond the essentials, links too.
void add_hard_contents(const char *clsid, REGSAM view)
{
    add_hard_values(clsid, view);
    const std::string c = cls(clsid);
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

// ---- the .reg backup ----------------------------------------------------------

std::string temp_file(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + name;
}

// A UTF-16 .reg file as UTF-8 lines, its byte-order mark checked.
std::vector<std::string> reg_lines(const std::string &path)
{
    std::vector<std::string> lines;
    const std::string bytes = file_bytes(path);
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return lines;
    FxWString text(reinterpret_cast<const WCHAR *>(bytes.data() + 2), (bytes.size() - 2) / 2);
    for (size_t at = 0, end; (end = text.find(fx_w("\r\n"), at)) != FxWString::npos; at = end + 2)
        lines.push_back(fx_utf8(text.substr(at, end - at)));
    return lines;
}

// Values whose bytes Wine's importer cannot give back (string data without
// a closing zero) compare by name and type only.
std::string without_data_of(std::string dump, const std::vector<std::string> &names)
{
    for (const std::string &name : names) {
        const std::string head = "  \"" + name + "\" type=1 ";
        for (size_t at = 0; (at = dump.find(head, at)) != std::string::npos; at += head.size())
            dump.erase(at + head.size(), dump.find('\n', at) - at - head.size());
    }
    return dump;
}

// Export, Remove, and the platform's own importer: both views come back as
// they were, 32- and 64-bit registrations, an effect and a disabled one.
TEST_F(RealMachine, ExportedRegistrationsComeBackThroughTheRegistryImporter)
{
    seed_filter(POLISH_DX, "Łukasz Ωmega", "C:\\Plug-ins\\Жук.dll", KEY_WOW64_64KEY);
    add_hard_values(POLISH_DX, KEY_WOW64_64KEY);
    seed_effect(CYRILLIC_VS, "Жук 日本", "C:\\Plug-ins\\日本.dll", KEY_WOW64_64KEY);
    add_hard_values(CYRILLIC_VS, KEY_WOW64_64KEY);
    seed_filter(FILTER32, "Thirty-two", "C:\\x32.dll", KEY_WOW64_32KEY);
    add_hard_values(FILTER32, KEY_WOW64_32KEY);
    seed_effect(EFFECT32, "Effect 32", "C:\\e32.dll", KEY_WOW64_32KEY);
    seed_filter(FILTER64, "Sixty-four", "C:\\x64.dll", KEY_WOW64_64KEY);
    ASSERT_EQ(disable_plug(row(FILTER64, 64)), 1);
    const char *const clsids[] = {POLISH_DX, CYRILLIC_VS, FILTER32, EFFECT32, FILTER64};
    std::string before;
    for (const char *c : clsids) before += machine_dump(c);

    const int rows[] = {row(POLISH_DX, 64), row(CYRILLIC_VS, 64), row(FILTER32, 32),
                        row(EFFECT32, 32), row(FILTER64, 64)};
    const std::string file = temp_file("mp_backup.reg");
    ExportOutcome out;
    ASSERT_EQ(export_registrations(rows, 5, fx_w(file).c_str(), &out), 1) << out.why << " " << out.key;
    std::vector<std::string> lines = reg_lines(file);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Windows Registry Editor Version 5.00");
    // The odd-length strings are in the file byte for byte.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "\"odd\"=hex(1):61,62,63"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "\"junk\"=hex(1):ff,00,d8,01,7f"), lines.end());
    // Each key where the platform keeps it: the 32-bit class below Wow6432Node.
    const std::string class32 = "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\CLSID\\" +
                                std::string(FILTER32) + "]";
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [&](const std::string &l) { return _stricmp(l.c_str(), class32.c_str()) == 0; }),
              lines.end());

    for (const char *importer : {"reg.exe import", "regedit.exe /s"}) {
        for (int r : rows) EXPECT_EQ(remove_plug(r), 1);
        std::string removed;
        for (const char *c : clsids) removed += machine_dump(c);
        ASSERT_EQ(removed.find("Pins"), std::string::npos);
        for (const char *c : clsids) ASSERT_EQ(removed.find(c), std::string::npos) << c;

        EXPECT_EQ(run_and_wait(std::string(importer) + " \"" + file + "\""), 0);
        std::string after;
        for (const char *c : clsids) after += machine_dump(c);
        const std::vector<std::string> odd = {"odd", "junk"};
        EXPECT_EQ(without_data_of(after, odd), without_data_of(before, odd)) << importer;
        EXPECT_NE(without_data_of(after, odd), after) << "the odd values are back by name and type";
    }
    DeleteFileA(file.c_str());
}

// A registry link inside a registration cannot be written: nothing is, and
// a file already under the name stays as it was.
TEST_F(RealMachine, ARegistrationHoldingALinkIsRefusedWhole)
{
    seed_filter(POLISH_DX, "Łukasz", "C:\\Plug-ins\\Жук.dll", 0);
    add_hard_contents(POLISH_DX, 0);
    const int r = row(POLISH_DX, 64);
    const std::string file = temp_file("mp_link.reg");
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("old", f);
    fclose(f);
    ExportOutcome out;
    EXPECT_EQ(export_registrations(&r, 1, fx_w(file).c_str(), &out), 0);
    EXPECT_EQ(out.why, EXPORT_LINK);
    EXPECT_NE(std::string(out.key).find("\\CLSID\\" + std::string(POLISH_DX) + "\\"), std::string::npos) << out.key;
    EXPECT_EQ(file_bytes(file), "old");
    DeleteFileA(file.c_str());
}

// The registry editor's own export of the same key agrees line for line.
TEST_F(RealMachine, ExportedTextIsTheRegistryEditorsOwn)
{
    seed_filter(POLISH_DX, "Łukasz Ωmega", "C:\\Plug-ins\\Жук.dll", KEY_WOW64_64KEY);
    add_hard_values(POLISH_DX, KEY_WOW64_64KEY);
    const int r = row(POLISH_DX, 64);
    const std::string ours = temp_file("mp_ours.reg"), theirs = temp_file("mp_theirs.reg");
    ExportOutcome out;
    ASSERT_EQ(export_registrations(&r, 1, fx_w(ours).c_str(), &out), 1);
    std::vector<std::string> mine = reg_lines(ours);
    // The editor's export of each key the file starts a subtree with.
    std::vector<std::string> editor;
    std::string top = "\x01";
    for (const std::string &l : mine) {
        if (l.empty() || l[0] != '[' || l.rfind(top, 0) == 0) continue;
        top = l.substr(0, l.size() - 1) + "\\";
        ASSERT_EQ(run_and_wait("regedit.exe /e \"" + theirs + "\" \"" + l.substr(1, l.size() - 2) + "\""), 0);
        std::vector<std::string> part = reg_lines(theirs);
        editor.insert(editor.end(), part.begin(), part.end());
    }
    ASSERT_GT(editor.size(), 10u);
    // Only the strings without a closing zero differ: the editor writes
    // them as text, which would not give their bytes back.
    auto odd_string = [](const std::string &l) { return l.rfind("\"odd\"=", 0) == 0 || l.rfind("\"junk\"=", 0) == 0; };
    auto missing_from = [&](const std::vector<std::string> &a, const std::vector<std::string> &b) {
        std::vector<std::string> out;
        for (const std::string &l : a)
            if (!odd_string(l) && std::find(b.begin(), b.end(), l) == b.end()) out.push_back(l);
        return out;
    };
    EXPECT_EQ(missing_from(editor, mine), std::vector<std::string>());
    EXPECT_EQ(missing_from(mine, editor), std::vector<std::string>());
    EXPECT_EQ(std::count_if(editor.begin(), editor.end(), odd_string), 2);
    DeleteFileA(ours.c_str());
    DeleteFileA(theirs.c_str());
}

} // namespace
