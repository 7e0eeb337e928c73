// Disable, Enable, Remove and the .reg backup move every part of a filter
// registered through the mapper, of one registered both ways, and of a DMO,
// whole and in the row's view, under both sharing rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue/views.h"
#include "registry/maintenance.h"
#include "registry/reg_export.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

const char MAPPED[] = "{7E57F0B0-0000-4000-8000-000000000001}";
const char TWO_WAYS[] = "{7E57F0B0-0000-4000-8000-000000000002}";
const char DMO[] = "7E57F0B0-0000-4000-8000-0000000000D1";
const char BARE_DMO[] = "7E57F0B0-0000-4000-8000-0000000000D2"; // no class key

// The keys a registration may have, below HKCR; the instance is "Inst <guid>".
std::string keys_of(const std::string &clsid, const std::string &dmo)
{
    return "CLSID\\" + clsid + "|Filter\\" + clsid + "|" MAPPER_INSTANCE_PATH "\\Inst " + clsid +
           "|" DMO_ROOT_PATH "\\" + dmo + "|" DMO_AUDIO_EFFECTS_PATH "\\" + dmo;
}

// Every key of the registration, exactly, under root\prefix in the view.
std::string dump(const std::string &keys, const std::string &prefix, REGSAM view)
{
    std::string out;
    for (size_t at = 0; at <= keys.size();) {
        size_t end = keys.find('|', at);
        if (end == std::string::npos) end = keys.size();
        out += keys.substr(at, end - at) + ":" +
               fx_dump_exact(HKEY_CLASSES_ROOT, (prefix + keys.substr(at, end - at)).c_str(), view);
        at = end + 1;
    }
    return out;
}

int row_of(const std::string &clsid, int32_t bits)
{
    rebuild_catalogue();
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e->bits == bits && clsid == e->clsid_text) return static_cast<int>(i);
    }
    return 0;
}

struct Form {
    const char *what;
    std::string clsid, dmo;
    void (*seed)(const Form &f, REGSAM view);
    int32_t forms;
};

void seed_mapped(const Form &f, REGSAM view)
{
    fx_mapper_filter(f.clsid.c_str(), ("Inst " + f.clsid).c_str(), "Mapped", "Mapped",
                     fx_audio_filter_data(0x200000), "C:\\m.dll", view);
}

void seed_two_ways(const Form &f, REGSAM view)
{
    int was = fakereg_process_bits();
    fakereg_set_process_bits(view == KEY_WOW64_32KEY ? 32 : 64);
    fx_directx_filter(f.clsid.c_str(), "Two Ways", "C:\\t.dll");
    fakereg_set_process_bits(was);
    seed_mapped(f, view);
}

void seed_dmo(const Form &f, REGSAM view) { fx_dmo(f.dmo.c_str(), "DMO", "C:\\d.dll", view); }

void seed_bare_dmo(const Form &f, REGSAM view)
{
    seed_dmo(f, view);
    fx_delete_tree_exact(HKEY_CLASSES_ROOT, ("CLSID\\" + f.clsid).c_str(), view);
}

typedef MachineOpsTest Forms;

TEST_P(Forms, EveryPartMovesWholeInTheRowsView)
{
    const Form forms[] = {
        {"mapper", MAPPED, "none", seed_mapped, REG_FORM_MAPPER},
        {"filter+mapper", TWO_WAYS, "none", seed_two_ways, REG_FORM_FILTER | REG_FORM_MAPPER},
        {"dmo", std::string("{") + DMO + "}", DMO, seed_dmo, REG_FORM_DMO},
        {"dmo without a class key", std::string("{") + BARE_DMO + "}", BARE_DMO, seed_bare_dmo,
         REG_FORM_DMO},
    };
    for (int32_t bits : {32, 64}) {
        const REGSAM view = view_flag(bits);
        const std::string store = std::string(store_root_path(bits)) + "\\";
        for (const Form &f : forms) {
            SCOPED_TRACE(std::string(f.what) + " " + std::to_string(bits));
            f.seed(f, view);
            const std::string keys = keys_of(f.clsid, f.dmo);
            const std::string before = dump(keys, "", view);
            const std::string nothing = dump(keys, "Nowhere\\", view);
            int row = row_of(f.clsid, bits);
            ASSERT_NE(row, 0);
            EXPECT_EQ(catalogue_get(row)->forms, f.forms);

            PlugOutcome o;
            ASSERT_TRUE(disable_plug(row, &o)) << o.status;
            EXPECT_EQ(dump(keys, "", view), nothing);
            EXPECT_EQ(dump(keys, store + f.clsid + "\\", store_view()), before);
            row = row_of(f.clsid, bits);
            ASSERT_NE(row, 0);
            EXPECT_EQ(catalogue_get(row)->disabled, 1);
            EXPECT_EQ(catalogue_get(row)->forms, f.forms);

            ASSERT_TRUE(enable_plug(row, &o)) << o.status;
            EXPECT_EQ(dump(keys, "", view), before);
            EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, (store + f.clsid).c_str()));

            // The backup names every part Remove deletes.
            row = row_of(f.clsid, bits);
            RegText text;
            ExportOutcome eo;
            ASSERT_TRUE(registration_text(&row, 1, &text, &eo));
            const std::string reg = fx_utf8(text.text, text.length);
            reg_text_free(&text);
            if (f.forms & REG_FORM_DMO) {
                EXPECT_NE(reg.find("MediaObjects\\" + f.dmo + "]"), std::string::npos) << reg;
                EXPECT_NE(reg.find("Categories\\F3602B3F-0592-48DF-A4CD-674721E7EBEB\\" + f.dmo + "]"),
                          std::string::npos);
            }
            if (f.forms & REG_FORM_MAPPER) {
                EXPECT_NE(reg.find("\\Instance\\Inst " + f.clsid + "]"), std::string::npos) << reg;
            }

            ASSERT_TRUE(remove_plug(row, &o));
            EXPECT_EQ(dump(keys, "", view), nothing);
            EXPECT_EQ(row_of(f.clsid, bits), 0);
        }
    }
}

// A store entry of an earlier version (Filter and CLSID, no instance)
// enables exactly as before, and a saved filter with neither form fails
// without making a key up.
TEST_P(Forms, OlderStoreEntriesEnableAsBefore)
{
    fx_directx_filter(TWO_WAYS, "Old", "C:\\o.dll");
    const std::string before = dump(keys_of(TWO_WAYS, "none"), "", 0);
    int row = row_of(TWO_WAYS, 64);
    ASSERT_TRUE(disable_plug(row));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT,
                               (fx_store_entry(TWO_WAYS) + "\\" MAPPER_INSTANCE_PATH).c_str()));
    ASSERT_TRUE(enable_plug(row_of(TWO_WAYS, 64)));
    EXPECT_EQ(dump(keys_of(TWO_WAYS, "none"), "", 0), before);

    ASSERT_TRUE(disable_plug(row_of(TWO_WAYS, 64)));
    ASSERT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, (fx_store_entry(TWO_WAYS) + "\\Filter").c_str()));
    PlugOutcome o;
    EXPECT_FALSE(enable_plug(row_of(TWO_WAYS, 64), &o));
    EXPECT_EQ(o.code, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(TWO_WAYS).c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(TWO_WAYS).c_str()));
}

INSTANTIATE_ON_MACHINES(Forms);

} // namespace
