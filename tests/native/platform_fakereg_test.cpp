// The test hooks of the in-process registry and what only it can show: call
// counting and faults of the wide calls, the key services of ntreg.h, the
// machines it plays and the UTF-8 paths the hooks take.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/keyguard.h"
#include "platform/ntreg.h"

namespace {

// Every test starts on the default machine, whatever the one before left.
class DefaultMachine : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override
    {
        fakereg_set_machine(FAKE_WIN64_WIN7);
        fakereg_set_process_bits(64);
    }
};

const bool listener_added = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new DefaultMachine);
    return true;
}();

class FakeReg : public ::testing::Test {
protected:
    void SetUp() override { fakereg_reset(); }
    void TearDown() override
    {
        EXPECT_EQ(fakereg_open_handles(), 0);
        fakereg_reset();
    }
};

HKEY create_w(HKEY root, const char16_t *path, DWORD options = 0, REGSAM access = KEY_ALL_ACCESS)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, options, access, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return key;
}

void set_target(HKEY link, const char16_t *target)
{
    DWORD len = static_cast<DWORD>(std::char_traits<char16_t>::length(target) * 2);
    ASSERT_EQ(RegSetValueExW(link, u"SymbolicLinkValue", 0, REG_LINK,
                             reinterpret_cast<const BYTE *>(target), len),
              ERROR_SUCCESS);
}

TEST_F(FakeReg, WideCallsAreCountedAndFaultedAsTheirAnsiCounterparts)
{
    KeyGuard key(create_w(HKEY_CURRENT_USER, u"Software\\Caf\u00e9"));
    ASSERT_TRUE(key.is_open());
    fakereg_reset_counts();
    // Hook paths and value names are UTF-8.
    fakereg_fail_on(FR_QUERY_VALUE, "HKCU\\software\\CAF\xc3\x89", "n\xc3\xa4me", -1,
                    ERROR_ACCESS_DENIED);
    DWORD len = 0;
    EXPECT_EQ(RegQueryValueExW(key.get(), u"N\u00c4ME", nullptr, nullptr, nullptr, &len),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExW(key.get(), u"other", nullptr, nullptr, nullptr, &len),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(fakereg_calls(FR_QUERY_VALUE), 2u);
    fakereg_fail_nth(FR_OPEN_KEY_EX, 1, ERROR_OUTOFMEMORY);
    HKEY again = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &again),
              ERROR_OUTOFMEMORY);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\x", 0, nullptr, 0, KEY_READ, nullptr,
                              &again, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(again);
    EXPECT_EQ(RegDeleteKeyExW(HKEY_CURRENT_USER, u"Software\\x", KEY_WOW64_64KEY, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(fakereg_calls(FR_OPEN_KEY_EX), 1u);
    EXPECT_EQ(fakereg_calls(FR_CREATE_KEY), 1u);
    EXPECT_EQ(fakereg_calls(FR_DELETE_KEY), 1u);
    EXPECT_EQ(fakereg_calls(FR_ANY), 5u);
}

TEST_F(FakeReg, AFaultOnAKeyHitsItThroughItsViewAndThroughALink)
{
    fakereg_fail_on(FR_OPEN_KEY_EX, "HKLM\\SOFTWARE\\Wow6432Node\\Acme", nullptr, -1, 1011);
    KeyGuard made(
        create_w(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Acme", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY));
    ASSERT_TRUE(made.is_open());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Acme", 0, KEY_READ | KEY_WOW64_32KEY,
                            &key),
              1011);
    KeyGuard link(create_w(HKEY_CURRENT_USER, u"L", REG_OPTION_CREATE_LINK));
    set_target(link.get(), u"\\REGISTRY\\MACHINE\\SOFTWARE\\Wow6432Node\\Acme");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "L", 0, KEY_READ, &key), 1011);
    fakereg_clear_faults();
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "L", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(same_registry_key(key, made.get()), 1);
    RegCloseKey(key);
}

TEST_F(FakeReg, DeleteKeyHandleDeletesALinkItselfAndIsCountedAsDeleteKey)
{
    KeyGuard target(create_w(HKEY_CURRENT_USER, u"T"));
    KeyGuard link(create_w(HKEY_CURRENT_USER, u"L", REG_OPTION_CREATE_LINK));
    set_target(link.get(), u"\\Registry\\User\\S-1-5-21-1\\t");
    KeyGuard read;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"L", REG_OPTION_OPEN_LINK, KEY_READ, read.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(same_registry_key(read.get(), link.get()), 1);
    EXPECT_EQ(same_registry_key(read.get(), target.get()), 0);
    EXPECT_EQ(same_registry_key(read.get(), reinterpret_cast<HKEY>(0x4)), -1);
    fakereg_reset_counts();
    EXPECT_EQ(delete_key_handle(read.get()), ERROR_ACCESS_DENIED); // no DELETE right
    fakereg_fail_on(FR_DELETE_KEY, "HKCU\\L", nullptr, -1, ERROR_CANTOPEN);
    EXPECT_EQ(delete_key_handle(link.get()), ERROR_CANTOPEN);
    fakereg_clear_faults();
    EXPECT_EQ(delete_key_handle(link.get()), ERROR_SUCCESS);
    EXPECT_EQ(delete_key_handle(link.get()), ERROR_KEY_DELETED);
    EXPECT_EQ(fakereg_calls(FR_DELETE_KEY), 4u);
    EXPECT_EQ(RegQueryValueExW(read.get(), u"SymbolicLinkValue", nullptr, nullptr, nullptr,
                               nullptr),
              ERROR_KEY_DELETED);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"T", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    KeyGuard parent(create_w(HKEY_CURRENT_USER, u"P\\C"));
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"P", 0, KEY_ALL_ACCESS, read.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(delete_key_handle(read.get()), ERROR_ACCESS_DENIED); // has a subkey
    EXPECT_EQ(delete_key_handle(HKEY_CURRENT_USER), ERROR_ACCESS_DENIED);
}

TEST_F(FakeReg, MachinesDecideTheViewsAndWow64)
{
    const char16_t *filter = u"Filter\\{0}";
    BOOL wow64 = TRUE;
    for (FakeMachine m : {FAKE_WIN64_WIN7, FAKE_WIN64_WINE8, FAKE_WIN32}) {
        fakereg_reset();
        fakereg_set_machine(m);
        EXPECT_EQ(fakereg_machine(), m);
        KeyGuard k32(create_w(HKEY_CLASSES_ROOT, filter, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY));
        KeyGuard k64(create_w(HKEY_CLASSES_ROOT, filter, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY));
        EXPECT_EQ(same_registry_key(k32.get(), k64.get()), m == FAKE_WIN64_WINE8 ? 0 : 1);
        // Below a handle in the 32-bit place the path stays there.
        KeyGuard twin(create_w(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY));
        KeyGuard sub(create_w(twin.get(), u"{1}", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY));
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Wow6432Node\\CLSID\\{1}", 0, KEY_READ, &key),
                  m == FAKE_WIN32 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
        if (key != nullptr) RegCloseKey(key);
        fakereg_set_process_bits(32);
        EXPECT_EQ(fakereg_process_bits(), 32);
        ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
        EXPECT_EQ(wow64, m != FAKE_WIN32);
        fakereg_set_process_bits(64);
        EXPECT_EQ(fakereg_process_bits(), m == FAKE_WIN32 ? 32 : 64);
        ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
        EXPECT_FALSE(wow64);
    }
    EXPECT_FALSE(IsWow64Process(reinterpret_cast<HANDLE>(0x40), &wow64));
}

TEST_F(FakeReg, ResetKeepsTheMachine)
{
    fakereg_set_machine(FAKE_WIN64_WINE8);
    fakereg_set_process_bits(32);
    fakereg_reset();
    EXPECT_EQ(fakereg_machine(), FAKE_WIN64_WINE8);
    EXPECT_EQ(fakereg_process_bits(), 32);
}

TEST_F(FakeReg, DeleteExternalTakesAUtf8PathAndDeletesALinkNotItsTarget)
{
    KeyGuard target(create_w(HKEY_CURRENT_USER, u"\u0416\\T"));
    KeyGuard link(create_w(HKEY_CURRENT_USER, u"\u0416\\L", REG_OPTION_CREATE_LINK));
    set_target(link.get(), u"\\REGISTRY\\USER\\S\\\u0436\\T");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\u0436\\l", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(same_registry_key(key, target.get()), 1);
    RegCloseKey(key);
    EXPECT_EQ(fakereg_delete_external("HKCU\\\xd0\xb6\\L"), 1);
    DWORD len = 0;
    EXPECT_EQ(RegQueryValueExW(link.get(), u"SymbolicLinkValue", nullptr, nullptr, nullptr, &len),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExW(target.get(), u"v", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(fakereg_delete_external("HKCU\\\xd0\xb6\\L"), 0);
}

} // namespace
