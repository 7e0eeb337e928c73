// Disable then enable against the registry the binary runs on (the real one
// under Wine): every key, value, type and byte of the registration comes
// back, and the disabled store is left as it was found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"

namespace {

const char RT_DX[] = "{7E57D100-0000-4000-8000-00000000AA01}";
const char RT_VS[] = "{7E57D200-0000-4000-8000-00000000AA02}";
const char STORE_PARENT[] = "Quillon_Software";
const char VS3_MAKER[] = "SOFTWARE\\Merging Technologies";

std::vector<std::string> store_entries()
{
    std::vector<std::string> out;
    KeyGuard key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return out;
    char name[1024];
    for (DWORD i = 0; RegEnumKeyA(key.get(), i, name, sizeof name) == ERROR_SUCCESS; i++)
        out.push_back(name);
    std::sort(out.begin(), out.end());
    return out;
}

class RealRegistry : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        had_store_parent_ = fx_key_exists(HKEY_CLASSES_ROOT, STORE_PARENT);
        had_vs3_maker_ = fx_key_exists(HKEY_LOCAL_MACHINE, VS3_MAKER);
        remove_fixtures();
        store_before_ = store_entries();
        plug_list_destroy(&catalogue);
        ASSERT_TRUE(plug_list_init(&catalogue, sizeof(PlugEntry)));
    }
    void TearDown() override
    {
        plug_list_destroy(&catalogue);
        remove_fixtures();
        if (!had_store_parent_) {
            EXPECT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, STORE_PARENT));
        }
        if (!had_vs3_maker_) {
            EXPECT_TRUE(fx_delete_tree(HKEY_LOCAL_MACHINE, VS3_MAKER));
        }
    }
    void remove_fixtures()
    {
        for (const char *clsid : {RT_DX, RT_VS}) {
            const std::string c = clsid;
            EXPECT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, ("Filter\\" + c).c_str()));
            EXPECT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, ("CLSID\\" + c).c_str()));
            EXPECT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, (STORE64_ROOT_PATH "\\" + c).c_str()));
            KeyGuard effects;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_WRITE, effects.out()) ==
                ERROR_SUCCESS)
                RegDeleteValueA(effects.get(), clsid);
        }
    }

    bool had_store_parent_ = false;
    bool had_vs3_maker_ = false;
    std::vector<std::string> store_before_;
};

TEST_P(RealRegistry, DisableThenEnableGivesBackTheSameRegistration)
{
    const int type = GetParam();
    const char *clsid = type == PLUG_TYPE_DIRECTX ? RT_DX : RT_VS;
    const char *name = type == PLUG_TYPE_DIRECTX ? "Round Trip DX" : "Round Trip VS3";
    if (type == PLUG_TYPE_DIRECTX) {
        fx_directx_filter(clsid, name, "C:\\fx\\roundtrip.dll");
        fx_add_extras(clsid, true);
    } else {
        fx_vs3_effect(clsid, name, "CVS3RoundFactory Class", "C:\\fx\\roundtrip.dll");
        fx_add_extras(clsid, false);
    }
    const std::string before = fx_live_registration(clsid);
    ASSERT_NE(before.find("BLOB"), std::string::npos);

    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = type;
    snprintf(e.name, sizeof e.name, "%s", name);
    snprintf(e.clsid_text, sizeof e.clsid_text, "%s", clsid);
    parse_clsid_text(e.clsid_text, e.clsid);
    ASSERT_NE(plug_list_append(&catalogue, &e), nullptr);

    disable_plug(1);
    ASSERT_EQ(catalogue_get(1)->disabled, 1);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid).c_str()));
    EXPECT_TRUE(
        fx_key_exists(HKEY_CLASSES_ROOT, (std::string(STORE64_ROOT_PATH "\\") + clsid).c_str()));

    enable_plug(1);
    EXPECT_EQ(catalogue_get(1)->disabled, 0);
    EXPECT_EQ(fx_live_registration(clsid), before);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
    EXPECT_EQ(store_entries(), store_before_);
}

INSTANTIATE_TEST_SUITE_P(Types, RealRegistry, ::testing::Values(PLUG_TYPE_DIRECTX, PLUG_TYPE_VS3));

} // namespace
