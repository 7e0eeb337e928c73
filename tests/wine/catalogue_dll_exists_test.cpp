// Exist on the real registry and file system: a server path to expand, a
// bare name the loader finds in the system folder, and a path outside the
// ANSI code page.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char EXPANDED[] = "{7E57CA70-0004-4000-8000-000000000001}";
const char BARE[] = "{7E57CA70-0004-4000-8000-000000000002}";
const char WIDE[] = "{7E57CA70-0004-4000-8000-000000000003}";
const char MISSING[] = "{7E57CA70-0004-4000-8000-000000000004}";
const char *const ALL[] = {EXPANDED, BARE, WIDE, MISSING};

std::string cls(const char *clsid) { return std::string("CLSID\\") + clsid; }

// The filter with its server value stored through the wide function.
void filter_at(const char *clsid, const std::wstring &dll, DWORD type)
{
    fx_directx_filter(clsid, clsid, "placeholder");
    KeyGuard key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (cls(clsid) + "\\InprocServer32").c_str(), 0,
                            KEY_ALL_ACCESS, key.out()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), nullptr, 0, type,
                             reinterpret_cast<const BYTE *>(dll.c_str()),
                             static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

const PlugEntry *listed(const char *clsid)
{
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (std::string(e->clsid_text) == clsid) return e;
    }
    return nullptr;
}

class CatalogueDllExists : public ::testing::Test {
protected:
    void SetUp() override
    {
        filter_existed = fx_key_exists(HKEY_CLASSES_ROOT, "Filter") != 0;
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        ASSERT_GT(n, 0u);
        ASSERT_LE(n, static_cast<DWORD>(MAX_PATH));
        wide_dll = std::wstring(temp) + L"\u0416\u0443\u043a.dll";
        HANDLE f = CreateFileW(wide_dll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
        ASSERT_EQ(catalogue_init(), 1);
    }
    void TearDown() override
    {
        catalogue_destroy();
        for (const char *c : ALL) {
            fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("Filter\\") + c).c_str());
            fx_delete_tree(HKEY_CLASSES_ROOT, cls(c).c_str());
        }
        if (!filter_existed) fx_delete_tree(HKEY_CLASSES_ROOT, "Filter");
        DeleteFileW(wide_dll.c_str());
    }
    bool filter_existed = false;
    std::wstring wide_dll;
};

TEST_F(CatalogueDllExists, ExpandedBareAndNonAnsiPathsAreFound)
{
    filter_at(EXPANDED, L"%SystemRoot%\\system32\\quartz.dll", REG_EXPAND_SZ);
    filter_at(BARE, L"quartz.dll", REG_SZ);
    filter_at(WIDE, wide_dll, REG_SZ);
    filter_at(MISSING, L"mp_no_such_plugin.dll", REG_SZ);
    scan_directx_filters();
    const char *const found[] = {EXPANDED, BARE, WIDE};
    for (const char *c : found) {
        ASSERT_NE(listed(c), nullptr) << c;
        EXPECT_EQ(listed(c)->dll_exists, 1) << c;
    }
    ASSERT_NE(listed(MISSING), nullptr);
    EXPECT_EQ(listed(MISSING)->dll_exists, 0);
    // Shown as stored, not expanded.
    EXPECT_STREQ(listed(EXPANDED)->dll_path, "%SystemRoot%\\system32\\quartz.dll");
}

} // namespace
