// Subtree copy and delete against the in-process registry, with faults
// injected where the real registry would fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"

namespace {

const char SRC[] = "Software\\KT\\Src";
const char DST[] = "Software\\KT\\Dst";

std::string path(const char *base, const std::string &rel)
{
    return std::string(base) + "\\" + rel;
}

class KeyTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakereg_reset();
        ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, SRC));
        ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, DST));
    }
    void TearDown() override { EXPECT_EQ(fakereg_open_handles(), 0); }

    // Runs copy_key_tree between the two test parents, opened here as a
    // caller would hold them.
    int copy(const char *rel)
    {
        KeyGuard dst, src;
        EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, DST, dst.out()), ERROR_SUCCESS);
        EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, SRC, src.out()), ERROR_SUCCESS);
        return copy_key_tree(dst.get(), src.get(), rel);
    }
    std::string src_dump(const std::string &rel)
    {
        return fx_dump(HKEY_CURRENT_USER, path(SRC, rel).c_str());
    }
    std::string dst_dump(const std::string &rel)
    {
        return fx_dump(HKEY_CURRENT_USER, path(DST, rel).c_str());
    }
    // Writes exactly `data`: the byte after it is non-zero, so that a text
    // without a terminator is stored without one.
    void set(const std::string &rel, const char *name, DWORD type, const std::string &data)
    {
        const std::string buf = data + 'X';
        ASSERT_TRUE(fx_set(HKEY_CURRENT_USER, path(SRC, rel).c_str(), name, type, buf.data(),
                           static_cast<DWORD>(data.size())));
    }
};

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return s;
}

TEST_F(KeyTree, ThreeLevelSubtreeIsReproducedByteForByte)
{
    const std::string multi("one\0two\0\0", 9);
    for (const char *rel : {"Top", "Top\\L1", "Top\\L1\\L2", "Top\\L1\\L2\\L3", "Top\\Side"}) {
        set(rel, nullptr, REG_SZ, std::string("default of ") + rel + '\0');
        set(rel, "Text", REG_SZ, std::string("text\0", 5));
        set(rel, "Unterminated", REG_SZ, "abc");
        set(rel, "Expand", REG_EXPAND_SZ, "%PATH%");
        set(rel, "Multi", REG_MULTI_SZ, multi);
        set(rel, "MultiUnterminated", REG_MULTI_SZ, std::string("x\0y", 3));
        set(rel, "Number", REG_DWORD, std::string("\x04\x03\x02\x01", 4));
        set(rel, "Wide", REG_QWORD, pattern(8));
        set(rel, "Blob", REG_BINARY, pattern(3000));
        set(rel, "Empty", REG_SZ, "");
        set(rel, "None", REG_NONE, "");
    }
    ASSERT_EQ(copy("Top"), 1);
    EXPECT_EQ(dst_dump("Top"), src_dump("Top"));
    EXPECT_NE(src_dump("Top"), "");

    // The write must not gain the terminator the source never had.
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(fx_get(HKEY_CURRENT_USER, path(DST, "Top\\L1\\L2\\L3").c_str(), "Unterminated",
                       &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, "abc");
    ASSERT_TRUE(
        fx_get(HKEY_CURRENT_USER, path(DST, "Top").c_str(), "MultiUnterminated", &type, &data));
    EXPECT_EQ(data, std::string("x\0y", 3));
}

struct SizeCase {
    size_t name_len;
    size_t data_len;
    DWORD type;
};

class KeyTreeSizes : public KeyTree, public ::testing::WithParamInterface<SizeCase> {};

// Neither the name nor the data of a value has a size limit of its own.
TEST_P(KeyTreeSizes, ValueOfAnySizeIsCopied)
{
    const SizeCase c = GetParam();
    std::string name(c.name_len, 'n');
    if (!name.empty()) name[name.size() - 1] = 'z';
    std::string data = pattern(c.data_len);
    if (c.type == REG_SZ)
        for (char &ch : data) ch = ch == 0 ? 'q' : ch; // no zero inside the text
    set("K", "before", REG_DWORD, std::string(4, '\x01'));
    set("K", name.c_str(), c.type, data);
    set("K", "after", REG_DWORD, std::string(4, '\x02'));
    set("K\\Sub", "leaf", REG_SZ, std::string("leaf\0", 5));
    ASSERT_EQ(copy("K"), 1);
    EXPECT_EQ(dst_dump("K"), src_dump("K"));
    DWORD type = 0;
    std::string got;
    ASSERT_TRUE(fx_get(HKEY_CURRENT_USER, path(DST, "K").c_str(), name.c_str(), &type, &got));
    EXPECT_EQ(got.size(), data.size());
    EXPECT_EQ(got, data);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, KeyTreeSizes,
    ::testing::Values(SizeCase{1, 0, REG_BINARY}, SizeCase{1, 1023, REG_BINARY},
                      SizeCase{1, 1024, REG_BINARY}, SizeCase{1, 1025, REG_BINARY},
                      SizeCase{1, 70000, REG_BINARY}, SizeCase{1, 1024, REG_SZ},
                      SizeCase{1, 5000, REG_SZ}, SizeCase{254, 8, REG_BINARY},
                      SizeCase{255, 8, REG_BINARY}, SizeCase{256, 2000, REG_BINARY},
                      SizeCase{1000, 8, REG_BINARY}, SizeCase{16383, 4096, REG_BINARY},
                      SizeCase{0, 2048, REG_BINARY}));

TEST_F(KeyTree, CopyMergesIntoAnExistingDestination)
{
    set("M", "shared", REG_SZ, std::string("from source\0", 12));
    set("M", "source_only", REG_DWORD, std::string(4, '\x05'));
    set("M\\Sub", "deep", REG_DWORD, std::string(4, '\x06'));
    ASSERT_TRUE(fx_set_dword(HKEY_CURRENT_USER, path(DST, "M").c_str(), "shared", 9));
    ASSERT_TRUE(fx_set_sz(HKEY_CURRENT_USER, path(DST, "M").c_str(), "dest_only", "kept"));
    ASSERT_TRUE(fx_set_sz(HKEY_CURRENT_USER, path(DST, "M\\Sub").c_str(), "dest_deep", "kept"));
    ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, path(DST, "M\\DestKey").c_str()));

    ASSERT_EQ(copy("M"), 1);
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(fx_get(HKEY_CURRENT_USER, path(DST, "M").c_str(), "shared", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string("from source\0", 12));
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, path(DST, "M").c_str(), "dest_only"));
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, path(DST, "M").c_str(), "source_only"));
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, path(DST, "M\\Sub").c_str(), "dest_deep"));
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, path(DST, "M\\Sub").c_str(), "deep"));
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, path(DST, "M\\DestKey").c_str()));
    // The source is never touched.
    EXPECT_FALSE(fx_value_exists(HKEY_CURRENT_USER, path(SRC, "M").c_str(), "dest_only"));
}

TEST_F(KeyTree, MissingSourceLeavesAnEmptyDestinationKey)
{
    EXPECT_EQ(copy("Absent"), 0);
    EXPECT_EQ(dst_dump("Absent"), "[.]\n");
}

// A write failure stops the copy where it is: earlier values stay written,
// later values and all subkeys are never reached.
TEST_F(KeyTree, FailedValueWriteStopsTheCopy)
{
    for (const char *v : {"v0", "v1", "v2", "v3"}) set("S", v, REG_DWORD, std::string(4, 'x'));
    set("S\\Sub", "deep", REG_DWORD, std::string(4, 'y'));
    fakereg_fail_on(FR_SET_VALUE, "HKCU\\Software\\KT\\Dst\\S", "v2", -1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(copy("S"), 0);
    const std::string dst = path(DST, "S");
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, dst.c_str(), "v0"));
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, dst.c_str(), "v1"));
    EXPECT_FALSE(fx_value_exists(HKEY_CURRENT_USER, dst.c_str(), "v3"));
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, path(DST, "S\\Sub").c_str()));
}

TEST_F(KeyTree, ValuesAreWrittenBeforeAnySubkeyAndSubkeysStopAtTheFirstFailure)
{
    set("S", "top", REG_DWORD, std::string(4, 'x'));
    set("S\\A", "a", REG_DWORD, std::string(4, 'a'));
    set("S\\B", "b", REG_DWORD, std::string(4, 'b'));
    set("S\\C", "c", REG_DWORD, std::string(4, 'c'));
    set("S", "last", REG_DWORD, std::string(4, 'z'));
    fakereg_fail_on(FR_SET_VALUE, "HKCU\\Software\\KT\\Dst\\S\\B", nullptr, -1,
                    ERROR_ACCESS_DENIED);
    EXPECT_EQ(copy("S"), 0);
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, path(DST, "S").c_str(), "last"));
    EXPECT_TRUE(fx_value_exists(HKEY_CURRENT_USER, path(DST, "S\\A").c_str(), "a"));
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, path(DST, "S\\B").c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, path(DST, "S\\C").c_str()));
}

struct EnumFault {
    FakeRegFn fn;
    long index;
    LONG code;
    int expected;
};

class KeyTreeEnumFaults : public KeyTree, public ::testing::WithParamInterface<EnumFault> {};

// Any enumeration answer but success, 259 and a buffer that can grow fails
// the copy; a 234 that growing cannot cure ends it too instead of looping.
TEST_P(KeyTreeEnumFaults, EnumerationFailureFailsTheCopy)
{
    const EnumFault f = GetParam();
    set("E", "v0", REG_DWORD, std::string(4, 'x'));
    set("E", "v1", REG_DWORD, std::string(4, 'y'));
    set("E\\Sub", "deep", REG_DWORD, std::string(4, 'z'));
    set("E\\Sub2", "deep", REG_DWORD, std::string(4, 'w'));
    fakereg_fail_on(f.fn, "HKCU\\Software\\KT\\Src\\E", nullptr, f.index, f.code);
    EXPECT_EQ(copy("E"), f.expected);
    if (f.expected == 1) {
        EXPECT_EQ(dst_dump("E"), src_dump("E"));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, KeyTreeEnumFaults,
                         ::testing::Values(EnumFault{FR_ENUM_VALUE, 1, ERROR_ACCESS_DENIED, 0},
                                           EnumFault{FR_ENUM_VALUE, 0, ERROR_KEY_DELETED, 0},
                                           EnumFault{FR_ENUM_VALUE, 1, ERROR_MORE_DATA, 0},
                                           EnumFault{FR_ENUM_KEY_EX, 1, ERROR_ACCESS_DENIED, 0},
                                           EnumFault{FR_ENUM_KEY_EX, 0, ERROR_MORE_DATA, 0},
                                           EnumFault{FR_OPEN_KEY_EX, -1, ERROR_ACCESS_DENIED, 0}));

// One spurious "more data" is cured by reading the same index again.
TEST_F(KeyTree, SingleMoreDataAnswerIsRetried)
{
    set("R", "v0", REG_BINARY, pattern(10));
    set("R", "v1", REG_BINARY, pattern(2000));
    fakereg_fail_nth(FR_ENUM_VALUE, 2, ERROR_MORE_DATA);
    EXPECT_EQ(copy("R"), 1);
    EXPECT_EQ(dst_dump("R"), src_dump("R"));
}

TEST_F(KeyTree, EmptyPathIsRefusedWithoutRegistryAccess)
{
    KeyGuard dst, src;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, DST, dst.out()), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, SRC, src.out()), ERROR_SUCCESS);
    fakereg_reset_counts();
    EXPECT_EQ(copy_key_tree(dst.get(), src.get(), ""), 0);
    EXPECT_EQ(copy_key_tree(dst.get(), src.get(), nullptr), 0);
    EXPECT_EQ(delete_key_tree(dst.get(), ""), 0);
    EXPECT_EQ(delete_key_tree(dst.get(), nullptr), 0);
    EXPECT_EQ(fakereg_calls(FR_ANY), 0u);
    EXPECT_EQ(fakereg_calls(FR_CLOSE_KEY), 0u);
}

// The caller's parent keys stay open and usable after either operation.
TEST_F(KeyTree, ParentKeysAreLeftOpen)
{
    set("P\\Q", "v", REG_DWORD, std::string(4, 'x'));
    KeyGuard dst, src;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, DST, dst.out()), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, SRC, src.out()), ERROR_SUCCESS);
    ASSERT_EQ(copy_key_tree(dst.get(), src.get(), "P"), 1);
    ASSERT_EQ(delete_key_tree(src.get(), "P"), 1);
    EXPECT_EQ(fakereg_open_handles(), 2);
    const DWORD one = 1;
    EXPECT_EQ(
        RegSetValueExA(dst.get(), "still", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4),
        ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(src.get(), "still", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4),
        ERROR_SUCCESS);
}

// ---- delete ------------------------------------------------------------

class DeleteTree : public KeyTree {};

TEST_F(DeleteTree, KeyWithValuesAndNoSubkeysIsDeleted)
{
    set("V", "a", REG_DWORD, std::string(4, 'x'));
    set("V", nullptr, REG_SZ, std::string("d\0", 2));
    EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, path(SRC, "V").c_str()), 1);
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, path(SRC, "V").c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, SRC));
}

TEST_F(DeleteTree, MissingKeyGivesZero)
{
    EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, path(SRC, "Nothing").c_str()), 0);
}

TEST_F(DeleteTree, DeepTreeIsDeletedWithEverythingBeneath)
{
    for (const char *rel : {"T\\A\\A1\\A2", "T\\A\\B1", "T\\B", "T\\C\\C1"})
        set(rel, "v", REG_DWORD, std::string(4, 'x'));
    KeyGuard parent;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, SRC, parent.out()), ERROR_SUCCESS);
    EXPECT_EQ(delete_key_tree(parent.get(), "T"), 1);
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, path(SRC, "T").c_str()));
}

TEST_F(DeleteTree, RefusedSubkeyStopsAfterTheEarlierOnes)
{
    for (const char *rel : {"T\\A\\Deep", "T\\B\\Deep", "T\\C"})
        ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, path(SRC, rel).c_str()));
    fakereg_fail_on(FR_OPEN_KEY_EX, "HKCU\\Software\\KT\\Src\\T\\B", nullptr, -1,
                    ERROR_ACCESS_DENIED);
    fakereg_reset_counts();
    EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, path(SRC, "T").c_str()), 0);
    // Open T, open A, open A\Deep, open B: B is never tried again.
    EXPECT_EQ(fakereg_calls(FR_OPEN_KEY_EX), 4u);
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, path(SRC, "T\\A").c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, path(SRC, "T\\B\\Deep").c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, path(SRC, "T\\C").c_str()));
}

TEST_F(DeleteTree, FailedFinalDeleteLeavesTheEmptiedKey)
{
    for (const char *rel : {"T\\A", "T\\B"})
        ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, path(SRC, rel).c_str()));
    set("T", "kept", REG_DWORD, std::string(4, 'x'));
    fakereg_fail_on(FR_DELETE_KEY, "HKCU\\Software\\KT\\Src\\T", nullptr, -1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, path(SRC, "T").c_str()), 0);
    EXPECT_EQ(src_dump("T"), "[.]\n  \"KEPT\" type=4 len=4 78787878\n");
}

TEST_F(DeleteTree, EnumerationFailureKeepsTheKey)
{
    ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, path(SRC, "T\\A").c_str()));
    fakereg_fail_on(FR_ENUM_KEY_EX, "HKCU\\Software\\KT\\Src\\T", nullptr, -1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, path(SRC, "T").c_str()), 0);
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, path(SRC, "T\\A").c_str()));
}

} // namespace

namespace {

// A link whose kind the registry will not tell is neither copied as an
// ordinary key nor deleted by name: either would reach its target. Nor is
// an ordinary key written through a link the destination already holds.
TEST_F(KeyTree, AnUntellableOrWaitingLinkIsNeverWrittenOrDeletedThrough)
{
    const std::string target = path(SRC, "Target");
    ASSERT_TRUE(fx_set_dword(HKEY_CURRENT_USER, target.c_str(), "kept", 7));
    ASSERT_TRUE(fx_create_link(HKEY_CURRENT_USER, path(SRC, "Reg\\Loop").c_str(),
                               ("\\REGISTRY\\USER\\" FAKE_USER_SID "\\" + target).c_str()));
    const std::string before = fx_dump_exact(HKEY_CURRENT_USER, SRC);
    const std::string loop = "HKCU\\" + path(SRC, "Reg\\Loop");
    for (const char *what : {"copy", "delete"}) {
        fakereg_fail_on(FR_QUERY_VALUE, loop.c_str(), "SymbolicLinkValue", -1, ERROR_ACCESS_DENIED);
        int done = std::string(what) == "copy"
                       ? copy("Reg")
                       : delete_key_tree(HKEY_CURRENT_USER, path(SRC, "Reg").c_str());
        fakereg_clear_faults();
        EXPECT_EQ(done, 0) << what;
        EXPECT_EQ(fx_dump_exact(HKEY_CURRENT_USER, SRC), before) << what;
    }
    EXPECT_EQ(dst_dump("Reg\\Loop"), "");

    // The destination holds a link where the source has an ordinary key.
    ASSERT_TRUE(fx_delete_tree_exact(HKEY_CURRENT_USER, path(SRC, "Reg\\Loop").c_str()));
    ASSERT_TRUE(fx_set_dword(HKEY_CURRENT_USER, path(SRC, "Reg\\Loop").c_str(), "new", 1));
    ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, path(DST, "Reg").c_str()));
    ASSERT_TRUE(fx_create_link(HKEY_CURRENT_USER, path(DST, "Reg\\Loop").c_str(),
                               ("\\REGISTRY\\USER\\" FAKE_USER_SID "\\" + target).c_str()));
    const std::string target_before = fx_dump_exact(HKEY_CURRENT_USER, target.c_str());
    EXPECT_EQ(copy("Reg"), 0);
    EXPECT_EQ(fx_dump_exact(HKEY_CURRENT_USER, target.c_str()), target_before);
}

} // namespace
