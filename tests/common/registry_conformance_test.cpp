// What the core relies on from the registry functions. Compiled twice:
// against the in-process registry and, under Wine, against real advapi32;
// the two must agree on every case. Wine 8 is the referee; natively no key
// handle may stay open after a case.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "tests/common/reg_fixture.h"

namespace {

const char BASE[] = "Software\\MPConformance";

// Natively each case starts from an empty registry on the default machine.
void fresh_native_registry()
{
#ifndef _WIN32
    fakereg_reset();
    fakereg_set_machine(FAKE_WIN64_WIN7);
    fakereg_set_process_bits(64);
#endif
}

void expect_no_open_handles()
{
#ifndef _WIN32
    EXPECT_EQ(fakereg_open_handles(), 0);
#endif
}

class Conformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        fresh_native_registry();
        ASSERT_TRUE(fx_delete_tree_exact(HKEY_CURRENT_USER, BASE));
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, BASE, base.out()), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        base.close();
        EXPECT_TRUE(fx_delete_tree_exact(HKEY_CURRENT_USER, BASE));
        expect_no_open_handles();
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

// ---- The wide functions and the ANSI view of what they store ---------------

HKEY open_w(HKEY root, const std::string &path, DWORD options = 0, REGSAM access = KEY_READ)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, fx_w(path).c_str(), options, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

LONG open_result(HKEY root, const std::string &path, DWORD options = 0, REGSAM access = KEY_READ)
{
    HKEY key = nullptr;
    LONG r = RegOpenKeyExW(root, fx_w(path).c_str(), options, access, &key);
    if (r == ERROR_SUCCESS) RegCloseKey(key);
    return r;
}

// A value read through the wide functions: "type:hex", or "error N". Read
// twice: into a buffer of its size, which nothing passes, and into one with
// room to spare, where a text whose last character is not a zero gets one
// (" +0000" then follows).
std::string query_w(HKEY key, const char *name)
{
    const FxWString n = fx_w(name);
    const WCHAR *wname = name == nullptr ? nullptr : n.c_str();
    DWORD type = 0, len = 0;
    LONG r = RegQueryValueExW(key, wname, nullptr, &type, nullptr, &len);
    if (r != ERROR_SUCCESS) return "error " + std::to_string(r);
    std::string out;
    for (DWORD room : {len, len + 4}) {
        std::string buf(len + 4, '\xbd');
        DWORD got = room;
        r = RegQueryValueExW(key, wname, nullptr, &type, reinterpret_cast<BYTE *>(&buf[0]), &got);
        if (r != ERROR_SUCCESS) return "error " + std::to_string(r);
        EXPECT_EQ(got, len);
        if (room == len) {
            EXPECT_EQ(buf.substr(len), "\xbd\xbd\xbd\xbd");
            out = std::to_string(type) + ":" + fx_hex(buf.substr(0, len));
        } else {
            EXPECT_EQ(fx_hex(buf.substr(0, len)), out.substr(out.find(':') + 1));
            EXPECT_EQ(buf.substr(len + 2), "\xbd\xbd");
            if (buf.substr(len, 2) != "\xbd\xbd") out += " +" + fx_hex(buf.substr(len, 2));
        }
    }
    return out;
}

struct StoredValue {
    const char *key;       // below BASE, UTF-8
    const char *name;      // UTF-8; null: the default value
    const char *ansi_name; // the name RegEnumValueA gives
    DWORD type;
    std::string wide;      // the bytes stored through RegSetValueExW
    std::string ansi;      // the bytes RegQueryValueExA gives
};

std::string b(const char *bytes, size_t len) { return std::string(bytes, len); }

// Under code page 1252 the ANSI functions give a best-fit letter where the
// code page has a near one (Ł: L, Ω: O) and "?" elsewhere.
std::vector<StoredValue> stored_values()
{
    return {
        {"Łukasz", "Ωmega", "Omega", REG_SZ, fx_w_bytes(b("Жук日本\0", 13)), b("?????\0", 6)},
        {"Łukasz", "multi", "multi", REG_MULTI_SZ, fx_w_bytes(b("Ωmega\0Łukasz\0\0", 16)),
         b("Omega\0Lukasz\0\0", 14)},
        {"Łukasz", "expand", "expand", REG_EXPAND_SZ, fx_w_bytes(b("%SystemRoot%\\Жук\0", 20)),
         b("%SystemRoot%\\???\0", 17)},
        {"Łukasz", nullptr, "", REG_SZ, fx_w_bytes(b("Café €\0", 10)), b("Caf\xe9 \x80\0", 7)},
        // Best fit reaches far: Đ ǎ α − ─ ideographic space ∞.
        {"Łukasz", "fits", "fits", REG_SZ,
         fx_w_bytes(std::string("\u0110\u01ce\u03b1\u2212\u2500\u3000\u221e") + '\0'),
         b("\xd0" "aa-- 8\0", 8)},
        {"Łukasz", "bare", "bare", REG_SZ, fx_w_bytes("Café"), b("Caf\xe9", 4)},
        {"Łukasz", "zeros", "zeros", REG_SZ, fx_w_bytes(b("a\0b\0", 4)), b("a\0b\0", 4)},
        // An unpaired surrogate and a byte-order mark in a text.
        {"Łukasz", "junk", "junk", REG_SZ, b("\xff\xfe\x00\xd8\x41\x00", 6), b("??A", 3)},
        {"Łukasz", "binary", "binary", REG_BINARY, b("\0\0\xc5\x81\0", 5), b("\0\0\xc5\x81\0", 5)},
        {"Łukasz", "unknown type", "unknown type", 0x1234, b("\x01\x00\x02", 3),
         b("\x01\x00\x02", 3)},
        // A text of odd byte length: the last byte is half a character.
        {"日本", "Жук", "???", REG_SZ, b("A\0B", 3), b("A", 1)},
    };
}

// What the wide query gives: the bytes, and a zero character after a text
// that does not end in one.
std::string wide_reading(const StoredValue &v)
{
    const bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
    const bool ends_in_zero = v.wide.size() >= 2 && v.wide[v.wide.size() - 1] == 0 &&
                              v.wide[v.wide.size() - 2] == 0;
    return std::to_string(v.type) + ":" + fx_hex(v.wide) + (text && !ends_in_zero ? " +0000" : "");
}

class ConformanceWide : public Conformance {
protected:
    void SetUp() override
    {
        Conformance::SetUp();
        for (const StoredValue &v : stored_values())
            ASSERT_TRUE(fx_set_exact_w(HKEY_CURRENT_USER, (std::string(BASE) + "\\" + v.key).c_str(),
                                       v.name, v.type, v.wide));
    }
};

TEST_F(ConformanceWide, WideFunctionsGiveBackExactlyWhatTheyStored)
{
    for (const StoredValue &v : stored_values()) {
        SCOPED_TRACE(v.name ? v.name : "(default)");
        KeyGuard key(open_w(base.get(), v.key));
        ASSERT_TRUE(key.is_open());
        EXPECT_EQ(query_w(key.get(), v.name), wide_reading(v));
    }
    // Names enumerate as stored, letter case and all.
    std::set<std::string> keys;
    WCHAR name[256];
    DWORD len = 256;
    for (DWORD i = 0; RegEnumKeyExW(base.get(), i, name, &len, nullptr, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
         i++, len = 256)
        keys.insert(fx_utf8(name, len));
    EXPECT_EQ(keys, (std::set<std::string>{"Łukasz", "日本"}));
    EXPECT_EQ(fx_dump_exact(base.get(), "日本"),
              "[.]\n  \"Жук\" type=1 len=3 410042\n");
    // Letter case is ignored beyond ASCII too.
    KeyGuard upper(open_w(base.get(), "łUKASZ"));
    ASSERT_TRUE(upper.is_open());
    EXPECT_EQ(query_w(upper.get(), "ωMEGA"), wide_reading(stored_values()[0]));
}

TEST_F(ConformanceWide, AnsiFunctionsConvertThroughCodePage1252)
{
#ifdef _WIN32
    ASSERT_EQ(GetACP(), 1252u);
#endif
    // Key names: best fit where code page 1252 has a near letter, "?" where
    // not, and the ANSI name then opens nothing.
    std::set<std::string> keys;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(base.get(), i, name, sizeof name) == ERROR_SUCCESS; i++) {
        keys.insert(name);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(base.get(), name, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND) << name;
    }
    EXPECT_EQ(keys, (std::set<std::string>{"Lukasz", "??"}));
    for (const char *k : {"Łukasz", "日本"}) {
        KeyGuard key(open_w(base.get(), k));
        ASSERT_TRUE(key.is_open());
        // Value names and data as RegEnumValueA gives them; a name that did
        // not convert back opens nothing.
        std::map<std::string, std::string> seen;
        for (DWORD i = 0;; i++) {
            char vname[256];
            DWORD name_len = sizeof vname, type = 0, size = 0;
            if (RegEnumValueA(key.get(), i, vname, &name_len, nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS)
                break;
            std::string data(size, '\0');
            name_len = sizeof vname;
            DWORD got = size;
            ASSERT_EQ(RegEnumValueA(key.get(), i, vname, &name_len, nullptr, &type,
                                    reinterpret_cast<BYTE *>(&data[0]), &got),
                      ERROR_SUCCESS);
            seen[vname] = std::to_string(type) + ":" + fx_hex(data.substr(0, got)) + " size " +
                          std::to_string(size);
            DWORD len = 0;
            seen[vname] += RegQueryValueExA(key.get(), vname, nullptr, nullptr, nullptr, &len) ==
                                   ERROR_SUCCESS
                               ? ""
                               : " unreachable";
        }
        std::map<std::string, std::string> expected;
        for (const StoredValue &v : stored_values())
            if (strcmp(v.key, k) == 0)
                expected[v.ansi_name] = std::to_string(v.type) + ":" + fx_hex(v.ansi) + " size " +
                                        std::to_string(v.ansi.size()) +
                                        (v.name == nullptr || strcmp(v.name, v.ansi_name) == 0
                                             ? ""
                                             : " unreachable");
        EXPECT_EQ(seen, expected) << k;
    }
    // ANSI writes: every byte is a character of code page 1252, even the five
    // it leaves undefined.
    ASSERT_TRUE(fx_set(base.get(), "Caf\xe9", "\x80", REG_SZ, "\x80\x81\xe9", 4));
    EXPECT_EQ(fx_dump_exact(base.get(), "Café"),
              "[.]\n  \"€\" type=1 len=8 ac208100e9000000\n");
}

// ---- Links -------------------------------------------------------------------

// Below HKEY_CLASSES_ROOT, whose kernel path does not depend on the user.
const char LINKS[] = "MPConformanceLinks";
const char TARGET_KERNEL_PATH[] = "\\REGISTRY\\MACHINE\\Software\\Classes\\MPConformanceLinks\\Target";

class ConformanceLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        fresh_native_registry();
        ASSERT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, LINKS));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, path("Target").c_str(), "v", REG_SZ,
                                   target_text()));
        ASSERT_TRUE(fx_create_link(HKEY_CLASSES_ROOT, path("Link").c_str(), TARGET_KERNEL_PATH));
    }
    void TearDown() override
    {
        EXPECT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, LINKS));
        EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, LINKS), ERROR_FILE_NOT_FOUND);
        expect_no_open_handles();
    }
    static std::string path(const char *sub) { return std::string(LINKS) + "\\" + sub; }
    static std::string target_text() { return fx_w_bytes(b("target\0", 7)); }
    static std::string target_value() { return "1:" + fx_hex(target_text()); }
};

TEST_F(ConformanceLink, OrdinaryOpenFollowsTheLinkAndOpenLinkShowsIt)
{
    KeyGuard followed(open_w(HKEY_CLASSES_ROOT, path("Link")));
    KeyGuard target(open_w(HKEY_CLASSES_ROOT, path("Target")));
    ASSERT_TRUE(followed.is_open());
    EXPECT_EQ(query_w(followed.get(), "v"), target_value());
    EXPECT_EQ(same_registry_key(followed.get(), target.get()), 1);

    KeyGuard link(open_w(HKEY_CLASSES_ROOT, path("Link"), REG_OPTION_OPEN_LINK));
    ASSERT_TRUE(link.is_open());
    EXPECT_EQ(query_w(link.get(), "SymbolicLinkValue"), "6:" + fx_hex(fx_w_bytes(TARGET_KERNEL_PATH)));
    EXPECT_EQ(query_w(link.get(), "v"), "error 2");
    EXPECT_EQ(same_registry_key(link.get(), target.get()), 0);
    // The parent lists the link like any key; the exact dump does not follow it.
    const std::string link_text = fx_w_bytes(TARGET_KERNEL_PATH);
    EXPECT_EQ(fx_dump_exact(HKEY_CLASSES_ROOT, LINKS),
              "[.]\n[.\\Link] -> " + std::string(TARGET_KERNEL_PATH) +
                  "\n  \"SymbolicLinkValue\" type=6 len=" + std::to_string(link_text.size()) +
                  " " + fx_hex(link_text) + "\n[.\\Target]\n  \"v\" type=1 len=14 " +
                  fx_hex(target_text()) + "\n");
    // A key created below the link lands below the target.
    KeyGuard sub;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, fx_w(path("Link\\Sub")).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, sub.out(), nullptr),
              ERROR_SUCCESS);
    sub.close();
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Target\\Sub")), ERROR_SUCCESS);
}

TEST_F(ConformanceLink, CreatingALinkWhereAKeyExistsFails)
{
    for (const char *at : {"Link", "Target"}) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, fx_w(path(at)).c_str(), 0, nullptr,
                                  REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                                  &key, &disposition),
                  ERROR_ALREADY_EXISTS)
            << at;
        if (key != nullptr) RegCloseKey(key);
    }
    EXPECT_EQ(fx_create_link(HKEY_CLASSES_ROOT, path("Target").c_str(), TARGET_KERNEL_PATH), 0);
    KeyGuard target(open_w(HKEY_CLASSES_ROOT, path("Target")));
    EXPECT_EQ(query_w(target.get(), "v"), target_value());
}

TEST_F(ConformanceLink, RegDeleteKeyOnALinkDeletesItsTarget)
{
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, fx_w(path("Link")).c_str()), ERROR_SUCCESS);
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Target")), ERROR_FILE_NOT_FOUND);
    // The link stays, pointing nowhere.
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Link"), REG_OPTION_OPEN_LINK), ERROR_SUCCESS);
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Link")), ERROR_FILE_NOT_FOUND);
    // Creating through the dangling link makes the target again.
    KeyGuard again;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, fx_w(path("Link")).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, again.out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Target")), ERROR_SUCCESS);
}

TEST_F(ConformanceLink, DeletingTheLinkHandleDeletesTheLinkOnly)
{
    KeyGuard link(open_w(HKEY_CLASSES_ROOT, path("Link"), REG_OPTION_OPEN_LINK, KEY_READ | DELETE));
    ASSERT_TRUE(link.is_open());
    EXPECT_EQ(delete_key_handle(link.get()), ERROR_SUCCESS);
    link.close();
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Link"), REG_OPTION_OPEN_LINK), ERROR_FILE_NOT_FOUND);
    KeyGuard target(open_w(HKEY_CLASSES_ROOT, path("Target")));
    EXPECT_EQ(query_w(target.get(), "v"), target_value());
    // The exact tree deletion leaves the target of a link inside the tree too.
    ASSERT_TRUE(fx_create_link(HKEY_CLASSES_ROOT, path("Tree\\Link").c_str(), TARGET_KERNEL_PATH));
    EXPECT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, path("Tree").c_str()));
    EXPECT_EQ(open_result(HKEY_CLASSES_ROOT, path("Tree")), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query_w(target.get(), "v"), target_value());
}

// ---- Registry views and key identity -------------------------------------

struct ViewCase {
    HKEY root;
    const char *parent; // redirected on every 64-bit machine
    const char *key;    // below parent
    const char *twin;   // where the 32-bit view keeps it, in the 64-bit view
};

const ViewCase VIEW_CASES[] = {
    {HKEY_LOCAL_MACHINE, "SOFTWARE", "MPConformanceView", "SOFTWARE\\Wow6432Node\\MPConformanceView"},
    {HKEY_CLASSES_ROOT, "CLSID", "{6D1A00FF-3C51-4E2B-9A10-5EED000000FF}",
     "Wow6432Node\\CLSID\\{6D1A00FF-3C51-4E2B-9A10-5EED000000FF}"},
};

class ConformanceView : public ::testing::Test {
protected:
    void SetUp() override { fresh_native_registry(); }
    void TearDown() override
    {
        for (const ViewCase &c : VIEW_CASES)
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                EXPECT_TRUE(fx_delete_tree_exact(c.root, where(c).c_str(), view));
        expect_no_open_handles();
    }
    static std::string where(const ViewCase &c) { return std::string(c.parent) + "\\" + c.key; }
};

TEST_F(ConformanceView, TheTwoViewsKeepSeparateKeys)
{
    const std::string in32 = "[.]\n  \"view\" type=1 len=6 330032000000\n";
    const std::string in64 = "[.]\n  \"view\" type=1 len=6 360034000000\n";
    for (const ViewCase &c : VIEW_CASES) {
        SCOPED_TRACE(c.parent);
        const std::string path = where(c);
        ASSERT_TRUE(fx_set_exact_w(c.root, path.c_str(), "view", REG_SZ, fx_w_bytes(b("32", 3)),
                                   KEY_WOW64_32KEY));
        EXPECT_EQ(open_result(c.root, path, 0, KEY_READ | KEY_WOW64_64KEY), ERROR_FILE_NOT_FOUND);
        // Without a flag a process sees its own view.
        EXPECT_EQ(open_result(c.root, path), PROCESS_IS_64BIT ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
        EXPECT_EQ(fx_dump_exact(c.root, c.twin, KEY_WOW64_64KEY), in32);
        ASSERT_TRUE(fx_set_exact_w(c.root, path.c_str(), "view", REG_SZ, fx_w_bytes(b("64", 3)),
                                   KEY_WOW64_64KEY));
        EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_32KEY), in32);
        EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_64KEY), in64);
        {
            KeyGuard a(open_w(c.root, c.parent, 0, KEY_READ | KEY_WOW64_32KEY));
            KeyGuard b64(open_w(c.root, c.parent, 0, KEY_READ | KEY_WOW64_64KEY));
            ASSERT_TRUE(a.is_open() && b64.is_open());
            EXPECT_EQ(same_registry_key(a.get(), b64.get()), 0);
        }
        EXPECT_EQ(RegDeleteKeyExW(c.root, fx_w(path).c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
        EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_64KEY), "");
        EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_32KEY), in32);
        EXPECT_EQ(RegDeleteKeyExW(c.root, fx_w(path).c_str(), KEY_WOW64_32KEY, 0), ERROR_SUCCESS);
        EXPECT_EQ(fx_dump_exact(c.root, path.c_str(), KEY_WOW64_32KEY), "");
    }
}

TEST_F(Conformance, SameRegistryKeyTellsTwoOpensOfOneKey)
{
    ASSERT_TRUE(fx_create(base.get(), "child"));
    KeyGuard a(open_w(HKEY_CURRENT_USER, BASE));
    KeyGuard again(open_w(base.get(), ""));
    KeyGuard child(open_w(base.get(), "child"));
    EXPECT_EQ(same_registry_key(a.get(), base.get()), 1);
    EXPECT_EQ(same_registry_key(again.get(), base.get()), 1);
    EXPECT_EQ(same_registry_key(child.get(), base.get()), 0);
}

} // namespace
