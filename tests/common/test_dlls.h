// The DLLs tests/dlls/dlls.cmake builds and what reading each must give,
// shared by the native and the Wine tests.
#ifndef TESTS_COMMON_TEST_DLLS_H
#define TESTS_COMMON_TEST_DLLS_H

#include <gtest/gtest.h>

#include <string>

#include "catalogue/dll_file.h"

struct TestDll {
    const char *file;
    int32_t arch;
    int32_t bits;
    const char *version;
    const char16_t *company;
    const char16_t *description;
};

// x86_translated lists the Polish table first and also has an English one
// ("Wrong Table Ltd"), which must not be taken.
inline const TestDll TEST_DLLS[] = {
    {"x86_translated.dll", DLL_ARCH_X86, 32, "1.2.3.4", u"Akme \u017B\u00F3\u0142w sp. z o.o.",
     u"Pog\u0142os \u0397\u03C7\u03CE"},
    {"x86_plain.dll", DLL_ARCH_X86, 32, "2.0.0.7", u"Plain Audio", u"Plain Delay"},
    {"x64_translated.dll", DLL_ARCH_X64, 64, "10.20.30.40", u"Acme Audio Ltd.", u"Room Reverb x64"},
    {"x64_bare.dll", DLL_ARCH_X64, 64, "", u"", u""},
    {"x86_bare.dll", DLL_ARCH_X86, 32, "", u"", u""},
};

// A WCHAR text (char16_t natively, wchar_t on Windows) for comparing.
template <typename C> std::u16string as_u16(const C *text)
{
    std::u16string out;
    for (; *text != 0; text++) out.push_back(static_cast<char16_t>(*text));
    return out;
}

inline void expect_test_dll(const DllFacts &f, const TestDll &dll)
{
    SCOPED_TRACE(dll.file);
    EXPECT_EQ(f.read, DLL_READ_IMAGE);
    EXPECT_EQ(f.arch, dll.arch);
    EXPECT_EQ(f.image_bits, dll.bits);
    EXPECT_STREQ(f.version, dll.version);
    EXPECT_EQ(as_u16(f.company), dll.company);
    EXPECT_EQ(as_u16(f.description), dll.description);
}

#endif
