// The file a registration's server value leads to, found as a host of its
// registry view finds it: System32 is SysWOW64 for a 32-bit plug-in seen
// from a 64-bit program and Sysnative for a 64-bit one seen from a 32-bit
// program, and %ProgramFiles% is that view's own. Drive paths map below a
// temporary folder standing for the disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/dll_path.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/catalogue_fixture.h"

namespace {

struct ViewCase {
    const char *what;
    FakeMachine machine;
    int process_bits;
    int32_t row_bits;
    std::u16string value;
    DWORD type;
    int found;
    std::u16string file; // the path looked at
};

class DllViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/mp_dll_view_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        for (const char *f : {"c/windows/system32/only64.dll", "c/windows/syswow64/only32.dll",
                              "c/windows/Sysnative/only64.dll",
                              "c/Program Files (x86)/Acme/old.dll", "c/Program Files/Acme/new.dll",
                              "c/windows/system32extra/x.dll"}) {
            std::filesystem::create_directories((root / f).parent_path());
            FILE *file = fopen((root / f).c_str(), "wb");
            ASSERT_NE(file, nullptr);
            fclose(file);
        }
        fakefile_set_root(root.c_str());
    }
    void TearDown() override
    {
        fakefile_set_root("");
        fakereg_set_machine(FAKE_WIN64_WIN7);
        fakereg_set_process_bits(64);
        EXPECT_EQ(fakefile_open_handles(), 0);
        std::filesystem::remove_all(root);
    }
    std::filesystem::path root;
};

TEST_F(DllViewTest, FoundAsTheRowsViewFindsIt)
{
    const FakeMachine W7 = FAKE_WIN64_WIN7, W32 = FAKE_WIN32;
    const ViewCase cases[] = {
        {"32-bit row, System32 path: SysWOW64", W7, 64, 32, u"C:\\Windows\\System32\\only32.dll",
         REG_SZ, 1, u"C:\\windows\\syswow64\\only32.dll"},
        {"32-bit row, only a 64-bit file in System32", W7, 64, 32,
         u"c:\\WINDOWS\\system32\\only64.dll", REG_SZ, 0, u"C:\\windows\\syswow64\\only64.dll"},
        {"32-bit row, System32 by slashes", W7, 64, 32, u"C:/windows/system32/only32.dll", REG_SZ,
         1, u"C:\\windows\\syswow64/only32.dll"},
        {"32-bit row, System32 from an expansion", W7, 64, 32,
         u"%SystemRoot%\\System32\\only32.dll", REG_EXPAND_SZ, 1,
         u"C:\\windows\\syswow64\\only32.dll"},
        {"32-bit row, a folder that only begins like System32", W7, 64, 32,
         u"C:\\windows\\system32extra\\x.dll", REG_SZ, 1, u"C:\\windows\\system32extra\\x.dll"},
        {"64-bit row, System32 as it is", W7, 64, 64, u"C:\\windows\\system32\\only64.dll",
         REG_SZ, 1, u"C:\\windows\\system32\\only64.dll"},
        {"32-bit row, %ProgramFiles% is Program Files (x86)", W7, 64, 32,
         u"%ProgramFiles%\\Acme\\old.dll", REG_EXPAND_SZ, 1,
         u"C:\\Program Files (x86)\\Acme\\old.dll"},
        {"32-bit row, %PROGRAMFILES% in any case", W7, 64, 32, u"%PROGRAMFILES%\\Acme\\old.dll",
         REG_EXPAND_SZ, 1, u"C:\\Program Files (x86)\\Acme\\old.dll"},
        {"64-bit row, %ProgramFiles% is Program Files", W7, 64, 64,
         u"%ProgramFiles%\\Acme\\old.dll", REG_EXPAND_SZ, 0, u"C:\\Program Files\\Acme\\old.dll"},
        {"32-bit row, bare name in SysWOW64", W7, 64, 32, u"only32.dll", REG_SZ, 1,
         u"C:\\windows\\syswow64\\only32.dll"},
        {"32-bit row, bare name only in System32", W7, 64, 32, u"only64.dll", REG_SZ, 0,
         u"C:\\windows\\syswow64\\only64.dll"},
        {"32-bit program, 64-bit row: Sysnative", W7, 32, 64,
         u"C:\\Windows\\System32\\only64.dll", REG_SZ, 1, u"C:\\windows\\Sysnative\\only64.dll"},
        {"32-bit program, 64-bit row: %ProgramFiles% is Program Files", W7, 32, 64,
         u"%ProgramFiles%\\Acme\\new.dll", REG_EXPAND_SZ, 1, u"C:\\Program Files\\Acme\\new.dll"},
        {"32-bit program, its own row: Program Files (x86)", W7, 32, 32,
         u"%ProgramFiles%\\Acme\\old.dll", REG_EXPAND_SZ, 1,
         u"C:\\Program Files (x86)\\Acme\\old.dll"},
        {"32-bit Windows: one view, nothing mapped", W32, 32, 32,
         u"C:\\windows\\system32\\only64.dll", REG_SZ, 1, u"C:\\windows\\system32\\only64.dll"},
    };
    for (const ViewCase &c : cases) {
        fakereg_set_machine(c.machine);
        fakereg_set_process_bits(c.process_bits);
        WCHAR out[PLUG_FILE_CHARS];
        EXPECT_EQ(find_dll_file(c.value.c_str(), c.type, c.row_bits, out, PLUG_FILE_CHARS),
                  c.found)
            << c.what;
        EXPECT_EQ(std::u16string(out), c.file) << c.what;
    }
}

// Exist and the file kept beside the record come from the same rule.
TEST_F(DllViewTest, ScanKeepsTheFileItLookedAt)
{
    fakereg_reset();
    ASSERT_EQ(catalogue_init(), 1);
    const char A[] = "{A0000000-0000-0000-0000-0000000000E1}";
    fakereg_set_process_bits(32); // seeds the 32-bit view
    fx_directx_filter(A, "Old", "C:\\Windows\\System32\\only32.dll");
    fakereg_set_process_bits(64);
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), 1u);
    EXPECT_EQ(catalogue_get(1)->bits, 32);
    EXPECT_EQ(catalogue_get(1)->dll_exists, 1);
    EXPECT_STREQ(catalogue_get(1)->dll_path, "C:\\Windows\\System32\\only32.dll");
    EXPECT_EQ(std::u16string(catalogue_file(1)), u"C:\\windows\\syswow64\\only32.dll");
    EXPECT_EQ(std::u16string(catalogue_file(2)), u"");
    EXPECT_EQ(fakereg_open_handles(), 0);
    catalogue_destroy();
}

} // namespace
