// A DLL read as data on Windows: system DLLs agree with what version.dll
// reads from them, and the test DLLs read as natively through Z: paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/dll_file.h"
#include "platform/win.h"
#include "tests/common/test_dlls.h"

namespace {

struct Texts {
    std::string version;
    std::wstring company, description;
    bool table = false;
};

// What version.dll says, the table chosen in the same order: the listed
// translations, then the English fallbacks.
Texts version_api(const std::wstring &path)
{
    Texts out;
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    const DWORD size = static_cast<DWORD>(info.size());
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return out;
    UINT len = 0;
    auto query = [&](const std::wstring &key) -> const void * {
        void *value = nullptr;
        return VerQueryValueW(info.data(), key.c_str(), &value, &len) ? value : nullptr;
    };
    const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(query(L"\\"));
    if (fixed != nullptr && len >= sizeof *fixed) {
        char text[DLL_VERSION_SIZE];
        snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                 LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                 LOWORD(fixed->dwFileVersionLS));
        out.version = text;
    }
    std::vector<std::wstring> tables;
    const auto *pairs = static_cast<const WORD *>(query(L"\\VarFileInfo\\Translation"));
    for (UINT i = 0; pairs != nullptr && i + 1 < len / sizeof(WORD); i += 2) {
        wchar_t key[16];
        swprintf(key, 16, L"%04X%04X", pairs[i], pairs[i + 1]);
        tables.push_back(key);
    }
    tables.insert(tables.end(), {L"040904B0", L"040904E4", L"04090000"});
    for (const std::wstring &table : tables) {
        const std::wstring base = L"\\StringFileInfo\\" + table;
        out.table = query(base) != nullptr;
        if (!out.table) continue;
        const auto *company = static_cast<const wchar_t *>(query(base + L"\\CompanyName"));
        const auto *about = static_cast<const wchar_t *>(query(base + L"\\FileDescription"));
        out.company = company != nullptr ? company : L"";
        out.description = about != nullptr ? about : L"";
        break;
    }
    return out;
}

TEST(DllFile, SystemDllsAgreeWithVersionDll)
{
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, static_cast<UINT>(MAX_PATH));
    for (const wchar_t *name : {L"kernel32.dll", L"user32.dll", L"comctl32.dll", L"shell32.dll",
                                L"ole32.dll", L"quartz.dll"}) {
        const std::wstring path = std::wstring(dir) + L"\\" + name;
        SCOPED_TRACE(testing::Message() << std::string(path.begin(), path.end()));
        const Texts want = version_api(path);
        ASSERT_FALSE(want.version.empty());
        ASSERT_TRUE(want.table);
        DllFacts f;
        ASSERT_EQ(read_dll_facts(path.c_str(), &f), DLL_READ_IMAGE);
        // A 32-bit process is shown the 32-bit system folder.
        EXPECT_EQ(f.arch, PROCESS_IS_64BIT ? DLL_ARCH_X64 : DLL_ARCH_X86);
        EXPECT_EQ(f.image_bits, PROCESS_IS_64BIT ? 64 : 32);
        EXPECT_EQ(f.version, want.version);
        EXPECT_EQ(std::wstring(f.company), want.company);
        EXPECT_EQ(std::wstring(f.description), want.description);
    }
}

TEST(DllFile, TestDllsReadAsNatively)
{
#ifndef MP_TEST_DLL_DIR
    GTEST_SKIP() << "no MinGW compilers, so no test DLLs";
#else
    // The host folder as Wine sees it: Z: is the host's root.
    std::wstring dir = L"Z:";
    for (const char *p = MP_TEST_DLL_DIR; *p != 0; p++) dir.push_back(*p == '/' ? L'\\' : *p);
    DllFacts f;
    for (const TestDll &dll : TEST_DLLS) {
        const std::string file = dll.file;
        read_dll_facts((dir + L"\\" + std::wstring(file.begin(), file.end())).c_str(), &f);
        expect_test_dll(f, dll);
    }
    EXPECT_EQ(read_dll_facts((dir + L"\\none.dll").c_str(), &f), DLL_READ_NO_FILE);
#endif
}

} // namespace
