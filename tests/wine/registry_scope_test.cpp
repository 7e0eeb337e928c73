// Where the two scopes of a class registration live under Wine 8, as
// per-user registrations must be found there: the machine's classes are
// HKCR and have a 32-bit view of CLSID and DirectShow; the user's are not
// merged into HKCR and have one view only (Windows redirects the user's
// CLSID too).
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
    std::string utf8 = fx_utf8(name, lstrlenW(name));
    for (char &c : utf8)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    // The user's hive is named by a SID that differs from prefix to prefix.
    if (utf8.compare(0, 15, "\\REGISTRY\\USER\\") == 0)
        utf8 = "\\REGISTRY\\USER\\<SID>" + utf8.substr(utf8.find('\\', 15));
    return utf8;
}

struct Place {
    HKEY root;
    const char *classes; // the scope's classes below root
};

const Place MACHINE = {HKEY_LOCAL_MACHINE, "Software\\Classes\\"};
const Place USER = {HKEY_CURRENT_USER, "Software\\Classes\\"};

class Scopes : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const Place &p : {MACHINE, USER})
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                for (const char *area : {"CLSID\\", "DirectShow\\"})
                    fx_delete_tree_exact(p.root, (std::string(p.classes) + area + PROBE).c_str(),
                                         view);
    }
};

TEST_F(Scopes, EachScopeKeepsItsOwnViewsAndOnlyTheMachinesIsHkcr)
{
    struct Case {
        const Place *place;
        const char *area;
        REGSAM view;
        const char *kernel; // where the key lands
        bool through_hkcr;  // seen through HKCR in the same view
    } const cases[] = {
        {&MACHINE, "CLSID\\", KEY_WOW64_64KEY, "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\CLSID\\", true},
        {&MACHINE, "CLSID\\", KEY_WOW64_32KEY,
         "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\WOW6432NODE\\CLSID\\", true},
        {&MACHINE, "DirectShow\\", KEY_WOW64_32KEY,
         "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\WOW6432NODE\\DIRECTSHOW\\", true},
        {&USER, "CLSID\\", KEY_WOW64_64KEY, "\\REGISTRY\\USER\\<SID>\\SOFTWARE\\CLASSES\\CLSID\\", false},
        {&USER, "CLSID\\", KEY_WOW64_32KEY, "\\REGISTRY\\USER\\<SID>\\SOFTWARE\\CLASSES\\CLSID\\", false},
        {&USER, "DirectShow\\", KEY_WOW64_32KEY,
         "\\REGISTRY\\USER\\<SID>\\SOFTWARE\\CLASSES\\DIRECTSHOW\\", false},
    };
    for (const Case &c : cases) {
        const std::string path = std::string(c.place->classes) + c.area + PROBE;
        SCOPED_TRACE(path + (c.view == KEY_WOW64_32KEY ? " 32" : " 64"));
        ASSERT_TRUE(fx_set_exact_w(c.place->root, path.c_str(), "x", REG_DWORD, std::string(4, 'x'),
                                   c.view));
        EXPECT_EQ(kernel_name(c.place->root, path, c.view), std::string(c.kernel) + PROBE);
        // Neither view of the other scope holds it.
        const Place *other = c.place == &MACHINE ? &USER : &MACHINE;
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            EXPECT_EQ(kernel_name(other->root, path, view), "");
        EXPECT_EQ(!kernel_name(HKEY_CLASSES_ROOT, std::string(c.area) + PROBE, c.view).empty(),
                  c.through_hkcr);
        TearDown();
    }
}

} // namespace
