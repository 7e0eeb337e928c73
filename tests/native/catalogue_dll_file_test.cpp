// A DLL read as data: the test DLLs through the file functions, missing,
// foreign and cut files, and headers made here for what no compiler emits.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/dll_file.h"
#include "platform/win.h"
#include "tests/common/test_dlls.h"

namespace {

#ifdef MP_TEST_DLL_DIR
const std::string DIR = MP_TEST_DLL_DIR;
#else
const std::string DIR;
#endif

// Through read_dll_facts, which must close what it opened.
DllFacts read_file(const std::string &path)
{
    const std::u16string wide(path.begin(), path.end());
    DllFacts facts;
    const int read = read_dll_facts(wide.c_str(), &facts);
    EXPECT_EQ(read, facts.read);
    EXPECT_EQ(fakefile_open_handles(), 0);
    return facts;
}

class DllFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (DIR.empty()) GTEST_SKIP() << "no MinGW compilers, so no test DLLs";
        fakefile_set_root("");
    }
};

TEST_F(DllFileTest, TestDllsReadAsBuilt)
{
    for (const TestDll &dll : TEST_DLLS) expect_test_dll(read_file(DIR + "/" + dll.file), dll);
}

TEST_F(DllFileTest, TextAndCutFilesAreNoImages)
{
    std::ifstream in(DIR + "/x64_translated.dll", std::ios::binary);
    const std::string dll((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(dll.size(), 1024u);
    const struct {
        std::string bytes;
        int read;
    } cases[] = {
        {"MZ starts this line, yet it is no program.\n", DLL_READ_NOT_PE},
        {dll.substr(0, 600), DLL_READ_NOT_PE}, // the section table goes on past it
        // The headers whole; the last section (stripped: it ends the file) not.
        {dll.substr(0, dll.size() - 1), DLL_READ_NOT_PE},
        {dll, DLL_READ_IMAGE},
    };
    const std::string path = testing::TempDir() + "mp_dll_file_test.dll";
    for (const auto &c : cases) {
        std::ofstream(path, std::ios::binary) << c.bytes;
        const DllFacts f = read_file(path);
        EXPECT_EQ(f.read, c.read) << c.bytes.size() << " bytes";
        if (c.read != DLL_READ_IMAGE) {
            EXPECT_EQ(f.arch + f.image_bits + f.version[0], 0);
        }
    }
    remove(path.c_str());
    EXPECT_EQ(read_file(path).read, DLL_READ_NO_FILE);
}

// DOS header, "PE\0\0", file header, a zeroed optional header, no sections.
std::vector<uint8_t> header(uint16_t machine, uint16_t magic)
{
    std::vector<uint8_t> b(64 + 24 + 240, 0);
    b[0] = 'M';
    b[1] = 'Z';
    b[0x3C] = 64;
    b[64] = 'P';
    b[65] = 'E';
    b[68] = static_cast<uint8_t>(machine);
    b[69] = static_cast<uint8_t>(machine >> 8);
    b[84] = 240; // SizeOfOptionalHeader
    b[88] = static_cast<uint8_t>(magic);
    b[89] = static_cast<uint8_t>(magic >> 8);
    return b;
}

TEST(DllFileHeader, BitnessFromTheMagicArchFromTheMachine)
{
    const struct {
        uint16_t machine, magic;
        int read, arch, bits;
        const char *name;
    } cases[] = {
        {0x14C, 0x20B, DLL_READ_IMAGE, DLL_ARCH_X86, 64, "x86"},
        {0x8664, 0x10B, DLL_READ_IMAGE, DLL_ARCH_X64, 32, "x64"},
        {0xAA64, 0x20B, DLL_READ_IMAGE, DLL_ARCH_ARM64, 64, "arm64"},
        {0x1C4, 0x10B, DLL_READ_IMAGE, DLL_ARCH_ARM, 32, "arm"},
        {0x5032, 0x20B, DLL_READ_IMAGE, DLL_ARCH_OTHER, 64, nullptr},
        {0x8664, 0x107, DLL_READ_NOT_PE, DLL_ARCH_NONE, 0, nullptr},
    };
    for (const auto &c : cases) {
        const std::vector<uint8_t> b = header(c.machine, c.magic);
        DllFacts f;
        EXPECT_EQ(parse_dll_bytes(b.data(), b.size(), &f), c.read) << c.machine;
        EXPECT_EQ(f.arch, c.arch) << c.machine;
        EXPECT_EQ(f.image_bits, c.bits) << c.machine;
        EXPECT_STREQ(arch_name(f.arch), c.name);
    }
}

} // namespace
