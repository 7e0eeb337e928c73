// The .reg backup against the in-process registry: each value's line, the
// wrapping of long data, where each key is said to live, and the refusals
// and failures that must leave no file under the chosen name.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "catalogue/catalogue.h"
#include "platform/widetext.h"
#include "registry/reg_export.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

const char DX[] = "{D1D1D1D1-0000-4000-8000-0000000000E1}";
const char VS[] = "{A5A5A5A5-0000-4000-8000-0000000000E2}";

int index_of(const char *clsid, int32_t type)
{
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (strcmp(e->clsid_text, clsid) == 0 && e->type == type) return static_cast<int>(i);
    }
    return 0;
}

class RegExport : public RegistryOpsTest {
protected:
    // The text for the rows given, in UTF-8; "" when refused.
    std::string text_of(std::initializer_list<int> rows, ExportOutcome *out)
    {
        std::vector<int> indexes(rows);
        RegText text;
        if (!registration_text(indexes.data(), static_cast<int>(indexes.size()), &text, out))
            return "";
        std::string utf8 = fx_utf8(text.text, text.length);
        reg_text_free(&text);
        return utf8;
    }
    std::string dx_text()
    {
        ExportOutcome out;
        rebuild_catalogue();
        return text_of({index_of(DX, PLUG_TYPE_DIRECTX)}, &out);
    }
};

struct ValueCase {
    const char *name; // null: the default value
    DWORD type;
    std::string bytes;
    const char *line;
};

TEST_F(RegExport, EachValueIsWrittenSoThatItImportsByteForByte)
{
    const ValueCase cases[] = {
        {nullptr, REG_SZ, fx_w_bytes(std::string("a\\b\"c\xD0\x96", 7) + '\0'), "@=\"a\\\\b\\\"cЖ\""},
        {"odd", REG_SZ, std::string("a\0b", 3), "\"odd\"=hex(1):61,00,62"},
        {"unended", REG_SZ, fx_w_bytes("ab"), "\"unended\"=hex(1):61,00,62,00"},
        {"inner", REG_SZ, fx_w_bytes(std::string("a\0b\0", 4)), "\"inner\"=hex(1):61,00,00,00,62,00,00,00"},
        {"line", REG_SZ, fx_w_bytes(std::string("a\nb\0", 4)), "\"line\"=hex(1):61,00,0a,00,62,00,00,00"},
        {"empty", REG_SZ, "", "\"empty\"=hex(1):"},
        {"n", REG_DWORD, std::string("\x78\x56\x34\x12", 4), "\"n\"=dword:12345678"},
        {"short", REG_DWORD, std::string("\x01\x02\x03", 3), "\"short\"=hex(4):01,02,03"},
        {"x", REG_EXPAND_SZ, fx_w_bytes(std::string("%a%\0", 4)), "\"x\"=hex(2):25,00,61,00,25,00,00,00"},
        {"m", REG_MULTI_SZ, fx_w_bytes(std::string("a\0\0", 3)), "\"m\"=hex(7):61,00,00,00,00,00"},
        {"q", REG_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8), "\"q\"=hex(b):01,00,00,00,00,00,00,80"},
        {"b", REG_BINARY, std::string("\xff\0", 2), "\"b\"=hex:ff,00"},
        {"none", REG_NONE, "", "\"none\"=hex(0):"},
        {"odd type", 0x1234, "z", "\"odd type\"=hex(1234):7a"},
        {"q\"uo\\te", REG_BINARY, "", "\"q\\\"uo\\\\te\"=hex:"},
    };
    fx_directx_filter(DX, "Filter", "C:\\f.dll");
    for (const ValueCase &c : cases)
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (fx_clsid_key(DX) + "\\V").c_str(), c.name,
                                   c.type, c.bytes));
    std::string text = dx_text();
    for (const ValueCase &c : cases)
        EXPECT_NE(text.find("\r\n" + std::string(c.line) + "\r\n"), std::string::npos) << c.line;
}

TEST_F(RegExport, LongDataWrapsAtTheEditorsLineWidth)
{
    fx_directx_filter(DX, "Filter", "C:\\f.dll");
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str(), "Data", REG_BINARY,
                               std::string(60, '\x11')));
    std::string ones = "11,";
    std::string first = "\"Data\"=hex:";
    for (int i = 0; i < 22; i++) first += ones;
    std::string second = "  ";
    for (int i = 0; i < 25; i++) second += ones;
    std::string third = "  11";
    for (int i = 0; i < 12; i++) third += ",11";
    EXPECT_NE(dx_text().find(first + "\\\r\n" + second + "\\\r\n" + third + "\r\n"),
              std::string::npos);
}

TEST_F(RegExport, KeysAreNamedWhereTheyLiveInTheOrderShown)
{
    fakereg_set_process_bits(32); // the fixtures write the 32-bit view
    fx_directx_filter(DX, "Filter", "C:\\f.dll");
    fx_vs3_effect(VS, "Effect", nullptr, "C:\\e.dll");
    fakereg_set_process_bits(64);
    rebuild_catalogue();
    ExportOutcome out;
    const int vs = index_of(VS, PLUG_TYPE_VS3), dx = index_of(DX, PLUG_TYPE_DIRECTX);
    std::string text = text_of({vs, dx}, &out);
    const std::string cls32 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\";
    const std::string lines[] = {
        "Windows Registry Editor Version 5.00\r\n\r\n[" + cls32 + VS + "]\r\n",
        "[" + cls32 + VS + "\\InprocServer32]\r\n@=\"C:\\\\e.dll\"\r\n\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Merging Technologies\\VS3\\VS3Effects]\r\n\"" +
            std::string(VS) + "\"=\"Effect\"\r\n\r\n",
        // Windows 7 shares Filter between the views.
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Filter\\" + std::string(DX) + "]\r\n\r\n",
        "[" + cls32 + DX + "]\r\n@=\"Filter\"\r\n\"Merit\"=dword:00200000\r\n\r\n[" + cls32 + DX +
            "\\InprocServer32]\r\n",
    };
    size_t at = 0;
    for (const std::string &line : lines) {
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << line;
        if (found != std::string::npos) at = found + line.size();
    }
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
    size_t key_lines = 0;
    for (size_t at_line = text.find("\r\n["); at_line != std::string::npos; at_line = text.find("\r\n[", at_line + 1))
        key_lines++;
    EXPECT_EQ(static_cast<size_t>(out.keys), key_lines);

    // A key two rows' Remove deletes is written once.
    const std::string twice = text_of({dx, dx}, &out);
    EXPECT_EQ(twice.find(cls32 + DX + "]"), twice.rfind(cls32 + DX + "]"));

    // Disabled, the same row is its store entry alone.
    ASSERT_TRUE(disable_plug(dx));
    text = text_of({dx}, &out);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Quillon_Software\\DisabledPlug\\" +
                        std::string(DX) + "]\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("Classes\\Wow6432Node"), std::string::npos);
}

TEST_F(RegExport, KernelNamesMapToTheEditorsRoots)
{
    const FxWString user = fx_w("\\REGISTRY\\USER\\S-1-5-21-7");
    const struct {
        const char *kernel, *path;
    } cases[] = {
        {"\\REGISTRY\\MACHINE\\Software\\Classes\\X", "HKEY_LOCAL_MACHINE\\Software\\Classes\\X"},
        {"\\Registry\\Machine", "HKEY_LOCAL_MACHINE"},
        {"\\REGISTRY\\USER\\S-1-5-21-7_Classes\\CLSID", "HKEY_CURRENT_USER\\Software\\Classes\\CLSID"},
        {"\\REGISTRY\\USER\\S-1-5-21-7\\Software\\Classes\\C", "HKEY_CURRENT_USER\\Software\\Classes\\C"},
        {"\\REGISTRY\\USER\\S-1-5-21-70\\Software", "HKEY_USERS\\S-1-5-21-70\\Software"},
        {"\\REGISTRY\\MACHINEX\\A", ""},
        {"\\REGISTRY\\USER", ""},
        {"\\Device\\X", ""},
    };
    for (const auto &c : cases) {
        WCHAR out[256];
        int ok = reg_file_key_path(fx_w(c.kernel).c_str(), user.c_str(), out, 256);
        EXPECT_EQ(ok, c.path[0] != '\0') << c.kernel;
        EXPECT_EQ(ok ? fx_utf8(out, wide_length(out)) : "", c.path) << c.kernel;
    }
}

// ---- refusals and failures ----------------------------------------------------

std::string file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct FileCase {
    const char *what;
    void (*arrange)();
    int32_t why;
    const char *words;
};

TEST_F(RegExport, ARefusedOrFailedExportLeavesTheChosenNameAsItWas)
{
    const FileCase cases[] = {
        {"link", [] { fx_create_link(HKEY_CLASSES_ROOT, (fx_clsid_key(DX) + "\\L").c_str(), "\\REGISTRY\\MACHINE\\X"); },
         EXPORT_LINK, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\" },
        {"full disk", [] { fakefile_set_write_limit(100); }, EXPORT_FILE, "the disk is full"},
        {"vanishing key", [] { fakereg_fail_on(FR_ENUM_KEY_EX, ("HKCR\\" + fx_clsid_key(DX)).c_str(), nullptr, -1, ERROR_KEY_DELETED); },
         EXPORT_CHANGED, "changed while it was being read"},
        {"denied", [] { fakereg_fail_on(FR_ENUM_VALUE, ("HKCR\\" + fx_clsid_key(DX) + "\\InprocServer32").c_str(), nullptr, -1, ERROR_ACCESS_DENIED); },
         EXPORT_REGISTRY, "access denied (run as administrator) at HKLM\\Software\\Classes\\CLSID\\"},
    };
    const std::string folder = ::testing::TempDir() + "mp_reg_export";
    const std::string file = folder + "/backup.reg";
    for (const FileCase &c : cases) {
        fakereg_reset();
        fx_directx_filter(DX, "Filter", "C:\\f.dll");
        rebuild_catalogue();
        ASSERT_EQ(system(("rm -rf " + folder + " && mkdir " + folder).c_str()), 0);
        { std::ofstream(file, std::ios::binary) << "old"; }
        c.arrange();
        const int row = index_of(DX, PLUG_TYPE_DIRECTX);
        ExportOutcome out;
        EXPECT_FALSE(export_registrations(&row, 1, fx_w(file).c_str(), &out)) << c.what;
        fakefile_set_write_limit(-1);
        fakereg_clear_faults();
        char words[1024];
        describe_export(&out, words, sizeof words);
        EXPECT_EQ(out.why, c.why) << c.what;
        EXPECT_NE(std::string(words).find(c.words), std::string::npos) << words;
        EXPECT_EQ(file_bytes(file), "old") << c.what;
        EXPECT_EQ(system(("test \"$(ls " + folder + ")\" = backup.reg").c_str()), 0) << c.what;
    }
    // And written whole once nothing stands in the way.
    const int row = index_of(DX, PLUG_TYPE_DIRECTX);
    ExportOutcome out;
    EXPECT_TRUE(export_registrations(&row, 1, fx_w(file).c_str(), &out));
    EXPECT_EQ(file_bytes(file).substr(0, 4), std::string("\xFF\xFEW\0", 4));
    EXPECT_FALSE(export_registrations(&row, 1, fx_w(folder + "/none/b.reg").c_str(), &out));
    char words[256];
    describe_export(&out, words, sizeof words);
    EXPECT_STREQ(words, "the file could not be written: no such folder");
    ASSERT_EQ(system(("rm -rf " + folder).c_str()), 0);
}

} // namespace
