// Whether a plug-in's DLL can really be found: the server value read wide,
// expanded when REG_EXPAND_SZ, a bare name looked for in the system folder,
// the Windows folder and PATH, and every buffer bounded. Drive paths map
// below a temporary folder standing for the disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/catalogue_fixture.h"

namespace {

const char DLL[] = "/tmp/mp_catalogue_dll_search_test.dll";
const char A[] = "{A0000000-0000-0000-0000-0000000000D1}";
// Four 250-character folders: "C:\" and them make a 1006-character folder.
const std::string PART(250, 'd');
const std::string LONG_DIR = "C:\\" + PART + "\\" + PART + "\\" + PART + "\\" + PART;

std::u16string widen(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void make_file(const std::filesystem::path &file)
{
    std::filesystem::create_directories(file.parent_path());
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr) << file;
    fclose(f);
}

struct Case {
    const char *what;
    std::u16string value;
    DWORD type;
    const char *path_env; // nullptr: the default PATH, which holds both system folders
    int exists;
};

class DllSearchTest : public CatalogueTest {
protected:
    DllSearchTest() : CatalogueTest(DLL) {}
    void SetUp() override
    {
        CatalogueTest::SetUp();
        char tmpl[] = "/tmp/mp_dll_search_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        const std::string long_host = "c/" + PART + "/" + PART + "/" + PART + "/" + PART;
        const std::string files[] = {
            "c/windows/system32/sys.dll", "c/windows/win.dll", "c/tools/tool.dll",
            "c/Plug-ins/\u0416\u0443\u043a.dll", "cwd.dll",
            // 1006 + 1 + 16 characters: 1023, the most a path may hold, and one more.
            long_host + "/fffffffffff1.dll", long_host + "/fffffffffff12.dll"};
        for (const std::string &f : files) make_file(root / f);
        fakefile_set_root(root.c_str());
    }
    void TearDown() override
    {
        fakefile_set_root("");
        fakeenv_reset();
        CatalogueTest::TearDown();
        std::filesystem::remove_all(root);
    }
    // The filter's server value as the wide function stores it; the scan's
    // answer for it.
    int scan_with(const Case &c)
    {
        fakereg_reset();
        fakeenv_reset();
        if (c.path_env != nullptr) fakeenv_set("PATH", c.path_env);
        fakeenv_set("LONGDIR", LONG_DIR.c_str());
        fx_directx_filter(A, "F", "placeholder");
        std::string server = std::string("CLSID\\") + A + "\\InprocServer32";
        KeyGuard key;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_ALL_ACCESS, key.out()),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key.get(), nullptr, 0, c.type,
                                 reinterpret_cast<const BYTE *>(c.value.c_str()),
                                 static_cast<DWORD>((c.value.size() + 1) * sizeof(WCHAR))),
                  ERROR_SUCCESS);
        key.close();
        plug_list_reset(&catalogue);
        scan_directx_filters();
        if (catalogue_count() != 1) return -1;
        return catalogue_get(1)->dll_exists;
    }
    std::filesystem::path root;
};

TEST_F(DllSearchTest, ExistTable)
{
    const std::vector<Case> cases = {
        {"expanded", u"%SystemRoot%\\system32\\sys.dll", REG_EXPAND_SZ, nullptr, 1},
        {"not expanded as REG_SZ", u"%SystemRoot%\\system32\\sys.dll", REG_SZ, nullptr, 0},
        {"unknown variable", u"%NoSuchRoot%\\system32\\sys.dll", REG_EXPAND_SZ, nullptr, 0},
        {"bare, system folder", u"sys.dll", REG_SZ, "", 1},
        {"bare, Windows folder", u"win.dll", REG_SZ, "", 1},
        {"bare, PATH", u"tool.dll", REG_SZ, "C:\\nowhere;;C:\\tools\\", 1},
        {"bare, not on PATH", u"tool.dll", REG_SZ, nullptr, 0},
        {"bare, current folder only", u"cwd.dll", REG_SZ, nullptr, 0},
        {"outside the code page", u"C:\\Plug-ins\\\u0416\u0443\u043a.dll", REG_SZ, nullptr, 1},
        {"expands to 1023", u"%LONGDIR%\\fffffffffff1.dll", REG_EXPAND_SZ, nullptr, 1},
        {"expands to 1024", u"%LONGDIR%\\fffffffffff12.dll", REG_EXPAND_SZ, nullptr, 0},
        {"bare, 1023 on PATH", u"fffffffffff1.dll", REG_SZ, LONG_DIR.c_str(), 1},
        {"bare, 1024 on PATH", u"fffffffffff12.dll", REG_SZ, LONG_DIR.c_str(), 0},
        {"stored value too long", widen("C:\\" + std::string(1100, 'v') + ".dll"), REG_SZ,
         nullptr, 0},
        {"not a text value", u"C:\\tools\\tool.dll", REG_BINARY, nullptr, 0},
    };
    // The current folder holds cwd.dll, so only the search rule keeps it out.
    char *old_cwd = getcwd(nullptr, 0);
    ASSERT_NE(old_cwd, nullptr);
    ASSERT_EQ(chdir(root.c_str()), 0);
    ASSERT_EQ(file_exists("cwd.dll"), 1);
    for (const Case &c : cases) EXPECT_EQ(scan_with(c), c.exists) << c.what;
    EXPECT_EQ(chdir(old_cwd), 0);
    free(old_cwd);
}

TEST_F(DllSearchTest, ShownPathIsTheStoredText)
{
    const Case expand = {"", u"%SystemRoot%\\system32\\sys.dll", REG_EXPAND_SZ, nullptr, 1};
    ASSERT_EQ(scan_with(expand), 1);
    EXPECT_STREQ(catalogue_get(1)->dll_path, "%SystemRoot%\\system32\\sys.dll");
    const Case cyrillic = {"", u"C:\\Plug-ins\\\u0416\u0443\u043a.dll", REG_SZ, nullptr, 1};
    ASSERT_EQ(scan_with(cyrillic), 1);
    // Read through the wide function: nothing lost.
    EXPECT_STREQ(catalogue_get(1)->dll_path, "C:\\Plug-ins\\\u0416\u0443\u043a.dll");
}

} // namespace
