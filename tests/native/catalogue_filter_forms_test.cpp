// The filter mapper's FilterData, read as untrusted data, and the two forms
// beside HKCR\Filter a host is offered plug-ins through: the mapper's
// instances and the DMO audio-effect category, in both views under both
// sharing rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue/filter_data.h"
#include "catalogue/views.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

const std::string AUDIO_PCM = std::string(FX_AUDIO) + "," + FX_PCM;

void put_u32_at(std::string *blob, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) (*blob)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int passes(const std::string &blob)
{
    return filter_data_passes(reinterpret_cast<const unsigned char *>(blob.data()), blob.size());
}

int parses(const std::string &blob)
{
    FilterDataFacts facts;
    return parse_filter_data(reinterpret_cast<const unsigned char *>(blob.data()), blob.size(),
                             &facts);
}

TEST(FilterData, TheRuleOnPinsAndMerit)
{
    const std::string video = std::string(FX_VIDEO) + "," + FX_WILDCARD;
    const std::string wild = std::string(FX_WILDCARD) + "," + FX_WILDCARD;
    const std::string several = std::string(FX_VIDEO) + "," + FX_PCM + ";" + AUDIO_PCM;
    struct Case {
        const char *what;
        DWORD merit;
        FxPin pins[3];
        int count;
        int pass;
    } const cases[] = {
        {"audio in and out at the limit", 0x200000, {{0, AUDIO_PCM, 0}, {0x8, AUDIO_PCM, 0}}, 2, 1},
        {"merit above the limit", 0x200001, {{0, AUDIO_PCM, 0}, {0x8, AUDIO_PCM, 0}}, 2, 0},
        {"no audio output", 0x200000, {{0, AUDIO_PCM, 0}, {0x8, "", 0}}, 2, 0},
        {"video output", 0x200000, {{0, AUDIO_PCM, 0}, {0x8, video, 0}}, 2, 0},
        {"wildcard major types", 0x200000, {{0, wild, 0}, {0x8, wild, 0}}, 2, 0},
        {"several types and mediums", 0, {{0x2, several, 2}, {0x8 | 0x4, several, 1}}, 2, 1},
        {"a third pin of video", 0x100, {{0, AUDIO_PCM, 1}, {0x8, video, 0}, {0x8, AUDIO_PCM, 0}}, 3, 1},
        {"no pins", 0, {}, 0, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(passes(fx_filter_data(c.merit, c.pins, c.count)), c.pass) << c.what;
}

TEST(FilterData, EveryCountAndOffsetIsCheckedAgainstTheLength)
{
    const FxPin pins[2] = {{0, AUDIO_PCM, 1}, {0x8, AUDIO_PCM, 0}};
    const std::string good = fx_filter_data(0x200000, pins, 2);
    ASSERT_TRUE(passes(good));
    // Cut anywhere, it is no FilterData (ASan watches every read).
    for (size_t n = 0; n < good.size(); n++)
        EXPECT_FALSE(parses(good.substr(0, n))) << "cut at " << n;
    // The first pin record starts at 16; its first type record at 40.
    struct Lie {
        const char *what;
        size_t at;
        uint32_t value;
        int parses;
    } const lies[] = {
        {"version 1", 0, 1, 0},
        {"pins beyond the data", 8, 0x10000000, 0},
        {"one pin fewer", 8, 1, 1},
        {"a wrong pin tag", 16, 0x33697030 ^ 0x100, 0},
        {"types beyond the data", 28, 0xFFFFFFFF, 0},
        {"a category beyond the data", 36, 1, 0},
        {"a wrong type tag", 40, 0x33797430 ^ 0x10000, 0},
        {"a major type past the end", 48, static_cast<uint32_t>(good.size() - 15), 0},
        {"a minor type at 4 GiB", 52, 0xFFFFFFF0u, 0},
        {"a major type inside the header", 48, 0, 1},
        {"a medium past the end", 56, static_cast<uint32_t>(good.size() - 23), 0},
    };
    for (const Lie &l : lies) {
        std::string blob = good;
        put_u32_at(&blob, l.at, l.value);
        EXPECT_EQ(parses(blob), l.parses) << l.what;
    }
    // Overlapping offsets are read where they lead, and lead to no audio.
    std::string inside = good;
    put_u32_at(&inside, 48, 0);
    EXPECT_FALSE(passes(inside));
    FilterDataFacts facts;
    EXPECT_FALSE(parse_filter_data(nullptr, 0, &facts));
}

// Blobs Wine 8's mapper wrote for RegisterFilter, in hex: version 1 (audio
// in of two subtypes, audio out of GUID_NULL), version 2 with a medium, the
// old mapper's pins as its device enumerator caches them, and one its GUID
// search left with a subtype offset 13 bytes past the end.
TEST(FilterData, BlobsTheMapperWrote)
{
    struct Case {
        const char *what;
        const char *hex;
        int parses;
    } const cases[] = {
        {"version 1",
         "020000000000200002000000000000003070693300000000010000000200000000000000000000003074793300000000"
         "700000008000000031747933000000007000000090000000317069330800000001000000010000000000000000000000"
         "307479330000000070000000a00000006175647300001000800000aa00389b710100000000001000800000aa00389b71"
         "0300000000001000800000aa00389b7100000000000000000000000000000000", 1},
        {"version 2 with a medium",
         "020000000000200002000000000000003070693300000000010000000200000001000000000000003074793300000000"
         "740000008400000031747933000000007400000094000000a40000003170693308000000010000000100000000000000"
         "00000000307479330000000074000000bc0000006175647300001000800000aa00389b710100000000001000800000aa"
         "00389b710300000000001000800000aa00389b71f1d5577e01000200030405060708090a11000000f2d5577e00000000"
         "000000000000000000000000", 1},
        {"the old mapper's pins",
         "020000000000200002000000000000003070693300000000000000000200000000000000000000003074793300000000"
         "700000008000000031747933000000007000000090000000317069330800000000000000010000000000000000000000"
         "307479330000000070000000800000006175647300001000800000aa00389b710100000000001000800000aa00389b71"
         "0300000000001000800000aa00389b71", 1},
        {"a subtype past the end",
         "020000000000200002000000000000003070693300000000010000000200000001000000000000003074793300000000"
         "740000008400000031747933000000007400000094000000a40000003170693308000000010000000100000000000000"
         "00000000307479330000000074000000b90000006175647300001000800000aa00389b710100000000001000800000aa"
         "00389b710300000000001000800000aa00389b71f1d5577e01000200030405060708090a1100000022000000", 0},
    };
    for (const Case &c : cases) {
        std::string blob;
        for (const char *p = c.hex; p[0] != '\0' && p[1] != '\0'; p += 2)
            blob.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
        EXPECT_EQ(parses(blob), c.parses) << c.what;
        EXPECT_EQ(passes(blob), c.parses) << c.what;
    }
}

TEST(ClassIdentifierText, GuidsInRegistryForm)
{
    struct Case {
        const char *text;
        int braces, ok;
    } const cases[] = {
        {"{083863F1-70DE-11D0-BD40-00A0C911CE86}", 1, 1},
        {"f3602b3f-0592-48df-a4cd-674721e7ebeb", 0, 1},
        {"{083863F1-70DE-11D0-BD40-00A0C911CE86}", 0, 0},
        {"F3602B3F-0592-48DF-A4CD-674721E7EBEB", 1, 0},
        {"{083863F1-70DE-11D0-BD40-00A0C911CE86}x", 1, 0},
        {"{083863F1-70DE-11D0-BD40-00A0C911CE8}", 1, 0},
        {"{083863F1-70DE-11D0-BD40+00A0C911CE86}", 1, 0},
        {"Categories", 0, 0},
        {"", 0, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(is_guid_text(c.text, c.braces), c.ok) << c.text;
    EXPECT_EQ(is_guid_text(nullptr, 0), 0);
}

// ---- the scans -------------------------------------------------------------

const char MAPPED[] = "{7E57F0A0-0000-4000-8000-000000000001}";
const char TWO_WAYS[] = "{7E57F0A0-0000-4000-8000-000000000002}";
const char UNNAMED[] = "{7E57F0A0-0000-4000-8000-000000000003}";
const char LOUD[] = "{7E57F0A0-0000-4000-8000-000000000004}";
const char BROKEN[] = "{7E57F0A0-0000-4000-8000-000000000005}";
const char OLD_FAILS[] = "{7E57F0A0-0000-4000-8000-000000000006}";
const char DMO[] = "7E57F0A0-0000-4000-8000-0000000000D1";
const char KEYED_DMO[] = "7E57F0A0-0000-4000-8000-0000000000D2";

class FilterForms : public MachineOpsTest {
protected:
    // "type forms key_name [name]" of each row of the class in the view, or "".
    static std::string rows(const char *clsid, int32_t bits)
    {
        std::string out;
        for (uint32_t i = 1; i <= catalogue_count(); i++) {
            const PlugEntry *e = catalogue_get(static_cast<int>(i));
            if (e->bits != bits || strcmp(e->clsid_text, clsid) != 0) continue;
            out += std::to_string(e->type) + " " + std::to_string(e->forms) + " " + e->key_name +
                   " [" + e->name + "]" + (e->disabled ? " off" : "") + ";";
        }
        return out;
    }
};

TEST_P(FilterForms, EachFormIsListedOncePerClassAndView)
{
    const std::string ok = fx_audio_filter_data(0x200000);
    fx_mapper_filter(MAPPED, "Any Name", "Mapped", "Mapped Friendly", ok, "C:\\m.dll",
                     KEY_WOW64_64KEY);
    fx_mapper_filter(MAPPED, MAPPED, "Mapped 32", "x", ok, "C:\\m32.dll", KEY_WOW64_32KEY);
    fx_directx_filter(TWO_WAYS, "Two Ways", "C:\\t.dll");
    fx_mapper_filter(TWO_WAYS, TWO_WAYS, nullptr, "ignored", ok, "C:\\t.dll", KEY_WOW64_64KEY);
    fx_mapper_filter(UNNAMED, "u", nullptr, "Friendly Only", ok, "C:\\u.dll", KEY_WOW64_64KEY);
    fx_mapper_filter(LOUD, "l", "Loud", "Loud", fx_audio_filter_data(0x600000), "C:\\l.dll",
                     KEY_WOW64_64KEY);
    fx_mapper_filter(BROKEN, "b", "Broken", "Broken", ok.substr(0, ok.size() - 1), "C:\\b.dll",
                     KEY_WOW64_64KEY);
    // The old form fails its merit; the mapper's passes, and hosts get it.
    fx_directx_filter(OLD_FAILS, "Old Fails", "C:\\o.dll");
    fx_set_dword(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + OLD_FAILS).c_str(), "Merit",
                 0x800000);
    fx_mapper_filter(OLD_FAILS, "o", nullptr, "o", ok, "C:\\o.dll", KEY_WOW64_64KEY);
    fx_dmo(DMO, "Plain DMO", "C:\\d.dll", KEY_WOW64_64KEY);
    fx_dmo(KEYED_DMO, "Keyed DMO", "C:\\k.dll", KEY_WOW64_32KEY);
    fx_create(HKEY_CLASSES_ROOT, (std::string(DMO_ROOT_PATH "\\") + KEYED_DMO + "\\Keyed").c_str());
    // Category members without a MediaObjects key, or not named as a GUID.
    fx_create(HKEY_CLASSES_ROOT, DMO_AUDIO_EFFECTS_PATH "\\7E57F0A0-0000-4000-8000-0000000000D3");
    fx_create(HKEY_CLASSES_ROOT, DMO_AUDIO_EFFECTS_PATH "\\Not a GUID");
    fx_create(HKEY_CLASSES_ROOT, DMO_ROOT_PATH "\\Not a GUID");
    rebuild_catalogue();

    EXPECT_EQ(rows(MAPPED, 64), "1 2 Any Name [Mapped];");
    EXPECT_EQ(rows(MAPPED, 32), std::string("1 2 ") + MAPPED + " [Mapped 32];");
    // One row for both forms, named by the class, keyed by its instance.
    EXPECT_EQ(rows(TWO_WAYS, 64), std::string("1 3 ") + TWO_WAYS + " [Two Ways];");
    EXPECT_EQ(rows(TWO_WAYS, 32), "");
    EXPECT_EQ(rows(UNNAMED, 64), "1 2 u [Friendly Only];");
    EXPECT_EQ(rows(LOUD, 64), "");
    EXPECT_EQ(rows(BROKEN, 64), "");
    EXPECT_EQ(rows(OLD_FAILS, 64), "1 3 o [Old Fails];");
    const std::string dmo = std::string("{") + DMO + "}", keyed = std::string("{") + KEYED_DMO + "}";
    EXPECT_EQ(rows(dmo.c_str(), 64), std::string("3 4 ") + DMO + " [Plain DMO];");
    EXPECT_EQ(rows(keyed.c_str(), 32), std::string("3 4 ") + KEYED_DMO + " [Keyed DMO];");
    EXPECT_EQ(rows(dmo.c_str(), 32), "");
    EXPECT_EQ(catalogue_count(), 7u);
    const PlugEntry *d = nullptr;
    for (uint32_t i = 1; i <= catalogue_count(); i++)
        if (catalogue_get(static_cast<int>(i))->type == PLUG_TYPE_DMO &&
            catalogue_get(static_cast<int>(i))->bits == 64)
            d = catalogue_get(static_cast<int>(i));
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->dll_path, "C:\\d.dll");
}

INSTANTIATE_ON_MACHINES(FilterForms);

} // namespace
