// Where the two scopes of a class registration live, as per-user
// registrations must be found there. The machine's classes are what HKCR
// opens, with a 32-bit view of CLSID and DirectShow. Windows lays the user's
// classes over them in HKCR, gives them the same split views and names them
// a hive of their own ("<sid>_Classes"); Wine 8 does none of that. Natively
// both machines are played; under Wine, Wine is the referee.
#include <gtest/gtest.h>

#include <string>

#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "tests/common/reg_fixture.h"

namespace {

const char PROBE[] = "{7E57D5C0-0000-4000-8000-0000000000C1}";

std::string kernel_name(HKEY root, const std::string &path, REGSAM view)
{
    KeyGuard key;
    if (RegOpenKeyExW(root, fx_w(path).c_str(), 0, KEY_READ | view, key.out()) != ERROR_SUCCESS)
        return "";
    WCHAR name[1024];
    if (!registry_key_name(key.get(), name, 1024)) return "?";
    size_t chars = 0;
    while (name[chars] != 0) chars++;
    std::string utf8 = fx_utf8(name, chars);
    for (char &c : utf8)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    // The user's hive is named by a SID that differs from prefix to prefix.
    if (utf8.compare(0, 15, "\\REGISTRY\\USER\\") == 0) {
        size_t end = utf8.find('\\', 15);
        bool classes_hive = end >= 23 && utf8.compare(end - 8, 8, "_CLASSES") == 0;
        utf8 = std::string("\\REGISTRY\\USER\\<SID>") + (classes_hive ? "_CLASSES" : "") +
               utf8.substr(end);
    }
    return utf8;
}

struct Place {
    HKEY root;
    const char *classes; // the scope's classes below root
};

const Place MACHINE = {HKEY_LOCAL_MACHINE, "Software\\Classes\\"};
const Place USER = {HKEY_CURRENT_USER, "Software\\Classes\\"};

// A platform's answers: Wine 8's, or Windows 7's as the in-process
// registry plays it.
struct Rules {
    bool merges;
    const char *user_hive;       // the user's classes by their kernel name
    const char *user_32_classes; // and their 32-bit view of CLSID and DirectShow
};
const Rules WINE8 = {false, "\\REGISTRY\\USER\\<SID>\\SOFTWARE\\CLASSES\\",
                     "\\REGISTRY\\USER\\<SID>\\SOFTWARE\\CLASSES\\"};
const Rules WIN7 = {true, "\\REGISTRY\\USER\\<SID>_CLASSES\\",
                    "\\REGISTRY\\USER\\<SID>_CLASSES\\WOW6432NODE\\"};

void clean()
{
    for (const Place &p : {MACHINE, USER})
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            for (const char *area : {"CLSID\\", "DirectShow\\"})
                fx_delete_tree_exact(p.root, (std::string(p.classes) + area + PROBE).c_str(), view);
}

class Scopes : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        fakereg_reset();
        fakereg_set_process_bits(64);
#endif
        clean();
    }
    void TearDown() override
    {
        clean();
#ifndef _WIN32
        EXPECT_EQ(fakereg_open_handles(), 0);
        fakereg_set_machine(FAKE_WIN64_WIN7);
#endif
    }
    // The rules of each machine this build can play.
    static std::vector<const Rules *> machines()
    {
#ifdef _WIN32
        return {&WINE8};
#else
        return {&WINE8, &WIN7};
#endif
    }
    static void play(const Rules *rules)
    {
#ifndef _WIN32
        fakereg_set_machine(rules == &WIN7 ? FAKE_WIN64_WIN7 : FAKE_WIN64_WINE8);
#else
        (void)rules;
#endif
    }
};

TEST_F(Scopes, EachScopeKeepsItsOwnViewsAndOnlyTheMachinesIsHkcr)
{
    for (const Rules *rules : machines()) {
        play(rules);
        const std::string user = rules->user_hive, user32 = rules->user_32_classes;
        struct Case {
            const Place *place;
            const char *area;
            REGSAM view;
            std::string kernel; // where the key lands
            bool through_hkcr;  // seen through HKCR in the same view
        } const cases[] = {
            {&MACHINE, "CLSID\\", KEY_WOW64_64KEY, "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\CLSID\\", true},
            {&MACHINE, "CLSID\\", KEY_WOW64_32KEY,
             "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\WOW6432NODE\\CLSID\\", true},
            {&MACHINE, "DirectShow\\", KEY_WOW64_32KEY,
             "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\WOW6432NODE\\DIRECTSHOW\\", true},
            {&USER, "CLSID\\", KEY_WOW64_64KEY, user + "CLSID\\", rules->merges},
            {&USER, "CLSID\\", KEY_WOW64_32KEY, user32 + "CLSID\\", rules->merges},
            {&USER, "DirectShow\\", KEY_WOW64_32KEY, user32 + "DIRECTSHOW\\", rules->merges},
        };
        for (const Case &c : cases) {
            const std::string path = std::string(c.place->classes) + c.area + PROBE;
            SCOPED_TRACE(path + (c.view == KEY_WOW64_32KEY ? " 32" : " 64") +
                         (rules->merges ? " merged" : ""));
            ASSERT_TRUE(fx_set_exact_w(c.place->root, path.c_str(), "x", REG_DWORD,
                                       std::string(4, 'x'), c.view));
            EXPECT_EQ(kernel_name(c.place->root, path, c.view), c.kernel + PROBE);
            // Neither view of the other scope holds it.
            const Place *other = c.place == &MACHINE ? &USER : &MACHINE;
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                EXPECT_EQ(kernel_name(other->root, path, view), "");
            EXPECT_EQ(!kernel_name(HKEY_CLASSES_ROOT, std::string(c.area) + PROBE, c.view).empty(),
                      c.through_hkcr);
            clean();
        }
    }
}

// What a program that writes through HKCR does to a per-user registration:
// where Windows merges, a key the user has is read and written there, and a
// key the user lacks is made in the machine's classes, for every user.
TEST_F(Scopes, WritesThroughHkcrLandByTheMergeRule)
{
    const std::string cls = std::string("CLSID\\") + PROBE;
    const std::string user_cls = USER.classes + cls, machine_cls = MACHINE.classes + cls;
    for (const Rules *rules : machines()) {
        play(rules);
        SCOPED_TRACE(rules->merges ? "merged" : "not merged");
        ASSERT_TRUE(fx_set_exact_w(HKEY_CURRENT_USER, user_cls.c_str(), "who", REG_DWORD,
                                   std::string(4, 'u'), KEY_WOW64_64KEY));
        ASSERT_TRUE(fx_set_exact_w(HKEY_LOCAL_MACHINE, (machine_cls + "\\Old").c_str(), "who",
                                   REG_DWORD, std::string(4, 'm'), KEY_WOW64_64KEY));
        // A value written to the class through HKCR, and a new subkey of it.
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), "written", REG_DWORD,
                                   std::string(4, 'w'), KEY_WOW64_64KEY));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\New").c_str(), "made", REG_DWORD,
                                   std::string(4, 'n'), KEY_WOW64_64KEY));
        std::string user_dump = fx_dump_exact(HKEY_CURRENT_USER, user_cls.c_str(), KEY_WOW64_64KEY);
        std::string machine_dump =
            fx_dump_exact(HKEY_LOCAL_MACHINE, machine_cls.c_str(), KEY_WOW64_64KEY);
        EXPECT_EQ(user_dump.find("written") != std::string::npos, rules->merges) << user_dump;
        EXPECT_EQ(machine_dump.find("written") != std::string::npos, !rules->merges);
        // The user's key has no New below it: that lands in the machine's.
        EXPECT_EQ(user_dump.find("New"), std::string::npos) << user_dump;
        EXPECT_NE(machine_dump.find("New"), std::string::npos) << machine_dump;
        // A read sees the user's key where there is one, and lists both sides.
        KeyGuard merged;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, fx_w(cls).c_str(), 0,
                                KEY_READ | KEY_WOW64_64KEY, merged.out()),
                  ERROR_SUCCESS);
        char who[4] = {0};
        DWORD len = sizeof who;
        LONG r = RegQueryValueExW(merged.get(), fx_w("who").c_str(), nullptr, nullptr,
                                  reinterpret_cast<BYTE *>(who), &len);
        EXPECT_EQ(r, rules->merges ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        if (rules->merges) {
            EXPECT_EQ(std::string(who, 4), std::string(4, 'u'));
        }
        std::string listed = fx_dump_exact(HKEY_CLASSES_ROOT, cls.c_str(), KEY_WOW64_64KEY);
        EXPECT_NE(listed.find("Old"), std::string::npos) << listed;
        EXPECT_NE(listed.find("New"), std::string::npos) << listed;
        merged.close();
        clean();
    }
}

} // namespace
