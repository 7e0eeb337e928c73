// The sharing rules of the registry views on each machine the in-process
// registry plays, which Wine alone cannot show: HKCR\Filter is shared by
// both views on Windows 7 and redirected on Wine 8, and 32-bit Windows has
// one view whatever flags are given.
#include <gtest/gtest.h>

#include <string>

#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "tests/common/reg_fixture.h"

namespace {

struct SharingCase {
    FakeMachine machine;
    HKEY root;
    const char *parent;
    bool shared; // one key for both views
};

const SharingCase CASES[] = {
    {FAKE_WIN64_WIN7, HKEY_CLASSES_ROOT, "Filter", true},
    {FAKE_WIN64_WIN7, HKEY_CLASSES_ROOT, "CLSID", false},
    {FAKE_WIN64_WIN7, HKEY_LOCAL_MACHINE, "SOFTWARE", false},
    {FAKE_WIN64_WINE8, HKEY_CLASSES_ROOT, "Filter", false},
    {FAKE_WIN64_WINE8, HKEY_CLASSES_ROOT, "CLSID", false},
    {FAKE_WIN64_WINE8, HKEY_LOCAL_MACHINE, "SOFTWARE", false},
    {FAKE_WIN32, HKEY_CLASSES_ROOT, "Filter", true},
    {FAKE_WIN32, HKEY_CLASSES_ROOT, "CLSID", true},
    {FAKE_WIN32, HKEY_LOCAL_MACHINE, "SOFTWARE", true},
};

HKEY open_in(HKEY root, const char *path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

class ViewSharing : public ::testing::TestWithParam<SharingCase> {
protected:
    void SetUp() override
    {
        fakereg_reset();
        fakereg_set_machine(GetParam().machine);
        fakereg_set_process_bits(GetParam().machine == FAKE_WIN32 ? 32 : 64);
    }
    void TearDown() override
    {
        EXPECT_EQ(fakereg_open_handles(), 0);
        fakereg_set_machine(FAKE_WIN64_WIN7);
        fakereg_set_process_bits(64);
        fakereg_reset();
    }
};

TEST_P(ViewSharing, AKeyWrittenInThe32BitViewIsSeenIn64BitsOnlyWhereShared)
{
    const SharingCase &c = GetParam();
    const std::string path = std::string(c.parent) + "\\{6D1A00FE-3C51-4E2B-9A10-5EED000000FE}";
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        KeyGuard parent;
        ASSERT_EQ(RegCreateKeyExA(c.root, c.parent, 0, nullptr, 0, KEY_READ | view, nullptr,
                                  parent.out(), nullptr),
                  ERROR_SUCCESS);
    }
    ASSERT_TRUE(fx_set_exact_w(c.root, path.c_str(), "v", REG_BINARY, "32", KEY_WOW64_32KEY));
    const std::string in32 = "[.]\n  \"v\" type=3 len=2 3332\n";
    EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_64KEY), c.shared ? in32 : "");
    {
        KeyGuard p32(open_in(c.root, c.parent, KEY_WOW64_32KEY));
        KeyGuard p64(open_in(c.root, c.parent, KEY_WOW64_64KEY));
        KeyGuard own(open_in(c.root, c.parent, 0));
        ASSERT_TRUE(p32.is_open() && p64.is_open() && own.is_open());
        EXPECT_EQ(same_registry_key(p32.get(), p64.get()), c.shared ? 1 : 0);
        // Without a flag a process sees its own view.
        EXPECT_EQ(same_registry_key(own.get(), c.machine == FAKE_WIN32 ? p32.get() : p64.get()), 1);
        BOOL wow64 = TRUE;
        ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
        EXPECT_FALSE(wow64);
        if (c.machine != FAKE_WIN32) {
            fakereg_set_process_bits(32);
            KeyGuard own32(open_in(c.root, c.parent, 0));
            EXPECT_EQ(same_registry_key(own32.get(), p32.get()), 1);
            ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
            EXPECT_TRUE(wow64);
            fakereg_set_process_bits(64);
        }
    }
    // Deleting in the 64-bit view reaches the 32-bit key only where shared.
    EXPECT_EQ(RegDeleteKeyExA(c.root, path.c_str(), KEY_WOW64_64KEY, 0),
              c.shared ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_32KEY), c.shared ? "" : in32);
}

std::string case_name(const ::testing::TestParamInfo<SharingCase> &info)
{
    const char *machine[] = {"Win7", "Wine8", "Win32"};
    std::string parent = info.param.parent;
    return std::string(machine[info.param.machine]) + "_" + parent;
}

INSTANTIATE_TEST_SUITE_P(Machines, ViewSharing, ::testing::ValuesIn(CASES), case_name);

} // namespace
