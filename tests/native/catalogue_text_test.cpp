// Names, descriptions and paths in any script: read through the wide
// functions and kept exactly in UTF-8, cut at 255 characters counted as
// Windows counts them, and the saved names of the disabled store, whoever
// wrote them.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "platform/widetext.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/catalogue_fixture.h"

namespace {

const char DLL[] = "/tmp/mp_catalogue_text_test.dll";
const char A[] = "{A0000000-0000-0000-0000-0000000000F1}";

std::string sz(const std::string &utf8) { return fx_w_bytes(utf8) + std::string(2, '\0'); }

class CatalogueText : public CatalogueTest {
protected:
    CatalogueText() : CatalogueTest(DLL) {}
    const PlugEntry *only()
    {
        rebuild_catalogue();
        return catalogue_count() == 1 ? catalogue_get(1) : nullptr;
    }
};

TEST_F(CatalogueText, NamesAndPathsInAnyScriptAreKeptExactly)
{
    const std::string cls = std::string("CLSID\\") + A;
    for (const char *name : {"Żółty Kompresor", "Ηχώ", "Жук Дилэй", "空間リバーブ", "Knob 🎛 Box"}) {
        fakereg_reset();
        fx_directx_filter(A, "x", "x");
        const std::string dll = std::string("C:\\Plug-ins\\") + name + ".dll";
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, REG_SZ, sz(name)));
        ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr,
                                   REG_SZ, sz(dll)));
        const PlugEntry *e = only();
        ASSERT_NE(e, nullptr) << name;
        EXPECT_STREQ(e->name, name);
        EXPECT_STREQ(e->dll_path, dll.c_str());
    }
}

struct CutCase {
    const char *what;
    std::string data;
    size_t chars; // of the display name kept
};

// Effect names run to 1022 characters in the value; the record keeps 255,
// never half a character.
TEST_F(CatalogueText, EffectNamesAreCutAt255CharactersWhole)
{
    std::string cyrillic;
    for (int i = 0; i < 300; i++) cyrillic += "Ж";
    const CutCase cases[] = {
        {"300 Cyrillic letters", cyrillic, 255},
        {"a pair across the cut", std::string(254, 'a') + "🎛", 254},
        {"a pair before the cut", std::string(253, 'a') + "🎛b", 256 - 1},
        {"cleaned description", "", 3},
    };
    for (const CutCase &c : cases) {
        fakereg_reset();
        fx_vs3_effect(A, "x", nullptr, DLL);
        if (c.data.empty()) {
            // No value data: the class description names it.
            ASSERT_TRUE(fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, A, REG_SZ, sz("")));
            ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + A).c_str(),
                                       nullptr, REG_SZ, sz("CVS3Жук Factory Class")));
        } else {
            ASSERT_TRUE(
                fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, A, REG_SZ, sz(c.data)));
        }
        const PlugEntry *e = only();
        ASSERT_NE(e, nullptr) << c.what;
        EXPECT_EQ(utf8_chars(e->name), c.chars) << c.what;
        EXPECT_EQ(std::string(c.data.empty() ? "Жук" : c.data).compare(0, strlen(e->name), e->name),
                  0)
            << c.what;
    }
}

// A saved name reads as stored: written wide by this version, or through
// the ANSI functions by an older one, "?" marks and all.
TEST_F(CatalogueText, SavedNamesReadAsStored)
{
    const std::string entry = std::string(STORE64_ROOT_PATH "\\") + A;
    const struct {
        const char *stored;
        bool ansi;
    } cases[] = {{"Жук Дилэй", false}, {"??? ?????", true}, {"Caf\xe9", true}};
    for (const auto &c : cases) {
        fakereg_reset();
        if (c.ansi) fx_set_sz(HKEY_CLASSES_ROOT, entry.c_str(), "name", c.stored);
        else ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, entry.c_str(), "name", REG_SZ, sz(c.stored)));
        fx_set_dword(HKEY_CLASSES_ROOT, entry.c_str(), "type", PLUG_TYPE_DIRECTX);
        fx_set_sz(HKEY_CLASSES_ROOT, (entry + "\\CLSID\\" + A + "\\InprocServer32").c_str(),
                  nullptr, DLL);
        const PlugEntry *e = only();
        ASSERT_NE(e, nullptr) << c.stored;
        // The ANSI text came in through code page 1252.
        EXPECT_STREQ(e->name, std::string(c.stored) == "Caf\xe9" ? "Café" : c.stored);
    }
}

} // namespace
