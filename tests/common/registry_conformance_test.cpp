// What the core relies on from the ANSI registry functions. Compiled twice:
// against the in-process registry and, under Wine, against real advapi32;
// the two must agree on every case.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/keyguard.h"
#include "tests/common/reg_fixture.h"

namespace {

const char BASE[] = "Software\\MPConformance";

class Conformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fx_delete_tree(HKEY_CURRENT_USER, BASE));
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, BASE, base.out()), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        base.close();
        EXPECT_TRUE(fx_delete_tree(HKEY_CURRENT_USER, BASE));
    }
    HKEY open(const char *path, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(base.get(), path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
    void set_sz_len(HKEY key, const char *name, const char *text, DWORD len)
    {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), len),
                  ERROR_SUCCESS);
    }
    KeyGuard base;
};

TEST_F(Conformance, OpenMissingKeyAnswersNotFoundAndNullsTheHandle)
{
    HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(RegOpenKeyExA(base.get(), "missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyA(base.get(), "missing\\deeper", &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(Conformance, CreateMakesEveryMissingLevel)
{
    KeyGuard key;
    ASSERT_EQ(RegCreateKeyA(base.get(), "a\\b\\c", key.out()), ERROR_SUCCESS);
    EXPECT_TRUE(fx_key_exists(base.get(), "a"));
    EXPECT_TRUE(fx_key_exists(base.get(), "a\\b"));
    EXPECT_TRUE(fx_key_exists(base.get(), "a\\b\\c"));
    // Creating an existing key opens it.
    KeyGuard again;
    EXPECT_EQ(RegCreateKeyA(base.get(), "a\\b", again.out()), ERROR_SUCCESS);
}

TEST_F(Conformance, KeyAndValueNamesIgnoreLetterCase)
{
    ASSERT_TRUE(fx_set_dword(base.get(), "MixedCase", "Alpha", 7));
    KeyGuard key;
    ASSERT_EQ(RegOpenKeyExA(base.get(), "MIXEDcase", 0, KEY_READ, key.out()), ERROR_SUCCESS);
    DWORD value = 0, len = 4, type = 0;
    ASSERT_EQ(RegQueryValueExA(key.get(), "aLPHA", nullptr, &type,
                               reinterpret_cast<BYTE *>(&value), &len),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    // The name keeps the letter case it was created with.
    char name[64];
    ASSERT_EQ(RegEnumKeyA(base.get(), 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "MixedCase");
}

TEST_F(Conformance, DefaultValueIsReachedWithNullOrEmptyName)
{
    KeyGuard key;
    ASSERT_EQ(RegCreateKeyA(base.get(), "def", key.out()), ERROR_SUCCESS);
    char buf[16];
    DWORD len = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(key.get(), nullptr, nullptr, nullptr,
                               reinterpret_cast<BYTE *>(buf), &len),
              ERROR_FILE_NOT_FOUND);
    set_sz_len(key.get(), nullptr, "text", 5);
    len = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(key.get(), "", nullptr, nullptr, reinterpret_cast<BYTE *>(buf),
                               &len),
              ERROR_SUCCESS);
    EXPECT_EQ(len, 5u);
    EXPECT_STREQ(buf, "text");
    // The default value enumerates with an empty name.
    char name[16];
    DWORD name_len = sizeof name, type = 0;
    ASSERT_EQ(RegEnumValueA(key.get(), 0, name, &name_len, nullptr, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(name_len, 0u);
    EXPECT_STREQ(name, "");
}

TEST_F(Conformance, DeleteKeyRefusesAKeyWithSubkeys)
{
    ASSERT_TRUE(fx_create(base.get(), "parent\\child"));
    EXPECT_EQ(RegDeleteKeyA(base.get(), "parent"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fx_key_exists(base.get(), "parent\\child"));
    EXPECT_EQ(RegDeleteKeyA(base.get(), "parent\\child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(base.get(), "parent"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(base.get(), "parent"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Conformance, DeleteValueOfMissingValueAnswersNotFound)
{
    ASSERT_TRUE(fx_set_dword(base.get(), "v", "x", 1));
    KeyGuard key(open("v"));
    EXPECT_EQ(RegDeleteValueA(key.get(), "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key.get(), "x"), ERROR_FILE_NOT_FOUND);
}

struct SzCase {
    DWORD set_len;    // length passed to RegSetValueExA for "foobar"
    DWORD read_len;   // length the query reports
    bool terminated;  // whether the stored bytes end in a zero
};

TEST_F(Conformance, StringDataIsStoredWithTheLengthGiven)
{
    const SzCase cases[] = {{7, 7, true}, {6, 7, true}, {5, 5, false}, {1, 1, false}};
    for (const SzCase &c : cases) {
        SCOPED_TRACE(c.set_len);
        KeyGuard key;
        ASSERT_EQ(RegCreateKeyA(base.get(), "sz", key.out()), ERROR_SUCCESS);
        set_sz_len(key.get(), "v", "foobar", c.set_len);
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(fx_get(key.get(), nullptr, "v", &type, &data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        ASSERT_EQ(data.size(), c.read_len);
        EXPECT_EQ(data.back() == '\0', c.terminated);
        EXPECT_EQ(data.compare(0, c.read_len < 6 ? c.read_len : 6,
                               std::string("foobar").substr(0, c.read_len < 6 ? c.read_len : 6)),
                  0);
    }
}

TEST_F(Conformance, QueryAddsAZeroAfterUnterminatedTextOnlyWhenThereIsRoom)
{
    KeyGuard key;
    ASSERT_EQ(RegCreateKeyA(base.get(), "sz", key.out()), ERROR_SUCCESS);
    set_sz_len(key.get(), "v", "foobar", 5);
    char buf[16];
    memset(buf, 'x', sizeof buf);
    DWORD len = 10;
    ASSERT_EQ(RegQueryValueExA(key.get(), "v", nullptr, nullptr, reinterpret_cast<BYTE *>(buf),
                               &len),
              ERROR_SUCCESS);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(buf[5], '\0');
    memset(buf, 'x', sizeof buf);
    len = 5;
    ASSERT_EQ(RegQueryValueExA(key.get(), "v", nullptr, nullptr, reinterpret_cast<BYTE *>(buf),
                               &len),
              ERROR_SUCCESS);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(memcmp(buf, "foobax", 6), 0);
}

TEST_F(Conformance, ValueLargerThanTheBufferAnswersMoreDataWithTheSizeNeeded)
{
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(fx_set(base.get(), "big", "q", REG_BINARY, eight, 8));
    KeyGuard key(open("big"));
    BYTE buf[4];
    DWORD len = 4, type = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "q", nullptr, &type, buf, &len), ERROR_MORE_DATA);
    EXPECT_EQ(len, 8u);
    char name[8];
    DWORD name_len = sizeof name;
    len = 4;
    EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &name_len, nullptr, &type, buf, &len),
              ERROR_MORE_DATA);
    EXPECT_EQ(len, 8u);
    // Without a buffer the size alone is reported.
    len = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "q", nullptr, &type, nullptr, &len), ERROR_SUCCESS);
    EXPECT_EQ(len, 8u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
}

TEST_F(Conformance, ShortValueQueriedIntoALargerBufferReportsItsOwnLength)
{
    const BYTE two[2] = {1, 2};
    ASSERT_TRUE(fx_set(base.get(), "short", "m", REG_BINARY, two, 2));
    KeyGuard key(open("short"));
    DWORD value = 0, len = 4;
    EXPECT_EQ(RegQueryValueExA(key.get(), "m", nullptr, nullptr, reinterpret_cast<BYTE *>(&value),
                               &len),
              ERROR_SUCCESS);
    EXPECT_EQ(len, 2u);
    // A missing value leaves the length alone.
    len = 4;
    EXPECT_EQ(RegQueryValueExA(key.get(), "none", nullptr, nullptr,
                               reinterpret_cast<BYTE *>(&value), &len),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(len, 4u);
}

TEST_F(Conformance, KeyNameLongerThanTheBufferAnswersMoreData)
{
    ASSERT_TRUE(fx_create(base.get(), "abcdefghij"));
    char name[64];
    DWORD len = 10; // room for 9 characters
    EXPECT_EQ(RegEnumKeyExA(base.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(len, 10u);
    EXPECT_EQ(RegEnumKeyA(base.get(), 0, name, 10), ERROR_MORE_DATA);
    len = 11;
    EXPECT_EQ(RegEnumKeyExA(base.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(len, 10u);
    EXPECT_STREQ(name, "abcdefghij");
}

TEST_F(Conformance, EnumerationPastTheEndAnswersNoMoreItems)
{
    ASSERT_TRUE(fx_set_dword(base.get(), "e\\one", "v", 1));
    KeyGuard key(open("e"));
    char name[64];
    DWORD len = sizeof name;
    EXPECT_EQ(RegEnumKeyA(key.get(), 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyA(key.get(), 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExA(key.get(), 1, name, &len, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    len = sizeof name;
    EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(Conformance, SubkeysEnumerateInCaseInsensitiveNameOrder)
{
    const char *created[] = {"delta", "Bravo", "alpha", "Charlie"};
    for (const char *n : created) ASSERT_TRUE(fx_create(base.get(), n));
    const char *expected[] = {"alpha", "Bravo", "Charlie", "delta"};
    for (DWORD i = 0; i < 4; i++) {
        char name[64];
        ASSERT_EQ(RegEnumKeyA(base.get(), i, name, sizeof name), ERROR_SUCCESS);
        EXPECT_STREQ(name, expected[i]);
    }
}

TEST_F(Conformance, ClosedHandleAnswersInvalidHandle)
{
    ASSERT_TRUE(fx_create(base.get(), "c"));
    HKEY key = open("c");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    DWORD len = 0;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &len), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(Conformance, ReadOnlyHandleCannotWrite)
{
    ASSERT_TRUE(fx_create(base.get(), "ro"));
    KeyGuard key(open("ro", KEY_READ));
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExA(key.get(), "v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_FALSE(fx_value_exists(base.get(), "ro", "v"));
}

TEST_F(Conformance, HandleToADeletedKeyAnswersKeyDeleted)
{
    ASSERT_TRUE(fx_set_dword(base.get(), "gone", "v", 1));
    HKEY key = open("gone");
    ASSERT_EQ(RegDeleteKeyA(base.get(), "gone"), ERROR_SUCCESS);
    DWORD value = 0, len = 4;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &len),
              ERROR_KEY_DELETED);
    char name[64];
    DWORD name_len = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &name_len, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_KEY_DELETED);
    name_len = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_len, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(key, "w", 0, REG_DWORD, reinterpret_cast<BYTE *>(&value), 4),
              ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyA(key, "sub", &sub), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Conformance, OpenKeyWithEmptyPathGivesBackTheSameHandle)
{
    ASSERT_TRUE(fx_create(base.get(), "same"));
    KeyGuard key(open("same"));
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyA(key.get(), "", &again), ERROR_SUCCESS);
    EXPECT_EQ(again, key.get());
    KeyGuard fresh;
    ASSERT_EQ(RegOpenKeyExA(key.get(), "", 0, KEY_READ, fresh.out()), ERROR_SUCCESS);
    EXPECT_NE(fresh.get(), key.get());
}

} // namespace
