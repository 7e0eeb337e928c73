// Per-user registrations on the real registry, which Wine does not merge
// into HKCR: each form written below HKCU\Software\Classes is listed as the
// user's and is disabled, enabled and removed there, with the machine's
// places (both views, the store, the effects lists) left byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/scopes.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"

namespace {

struct UserPlug {
    const char *what;
    std::string clsid, dmo;
    void (*seed)(const UserPlug &p, REGSAM view);
};

void seed_filter(const UserPlug &p, REGSAM) { fx_directx_filter(p.clsid.c_str(), "User Filter", "C:\\u.dll"); }

void seed_mapped(const UserPlug &p, REGSAM view)
{
    fx_mapper_filter(p.clsid.c_str(), ("Inst " + p.clsid).c_str(), "User Mapped", "User Mapped",
                     fx_audio_filter_data(0x200000), "C:\\m.dll", view);
}

void seed_dmo(const UserPlug &p, REGSAM view) { fx_dmo(p.dmo.c_str(), "User DMO", "C:\\d.dll", view); }

void seed_effect(const UserPlug &p, REGSAM) { fx_vs3_effect(p.clsid.c_str(), "User Effect", nullptr, "C:\\e.dll"); }

const UserPlug PLUGS[] = {
    {"filter", "{05E50000-0000-4000-8000-0000000000F1}", "none", seed_filter},
    {"mapper", "{05E50000-0000-4000-8000-0000000000F2}", "none", seed_mapped},
    {"dmo", "{05E50000-0000-4000-8000-0000000000F3}", "05E50000-0000-4000-8000-0000000000F3",
     seed_dmo},
    {"vs3 effect", "{05E50000-0000-4000-8000-0000000000F4}", "none", seed_effect},
};

const char *const PLACES[] = {"CLSID\\", "Filter\\", MAPPER_INSTANCE_PATH "\\Inst ",
                              DMO_ROOT_PATH "\\", DMO_AUDIO_EFFECTS_PATH "\\"};

// The user's row of the class after a fresh scan, in any view; 0 if none.
int user_row(const std::string &clsid)
{
    rebuild_catalogue();
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e->scope == PLUG_SCOPE_USER && clsid == e->clsid_text) return static_cast<int>(i);
    }
    return 0;
}

class UserScope : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(catalogue_init()); }
    void TearDown() override
    {
        for (const UserPlug &p : PLUGS)
            for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
                for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                    for (const char *place : PLACES) {
                        const std::string name = place[0] == 'D' ? p.dmo : p.clsid;
                        fx_delete_tree_exact(root, ("Software\\Classes\\" + std::string(place) + name).c_str(), view);
                        fx_delete_tree_exact(root, ("Software\\Classes\\Quillon_Software\\DisabledPlug64\\" + p.clsid).c_str(), view);
                    }
        KeyGuard effects;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          effects.out()) == ERROR_SUCCESS)
            RegDeleteValueA(effects.get(), PLUGS[3].clsid.c_str());
        catalogue_destroy();
    }
};

TEST_F(UserScope, EachFormIsTheUsersAndChangesOnlyThere)
{
    for (const UserPlug &p : PLUGS) {
        SCOPED_TRACE(p.what);
        const std::string nothing = fx_scope_dump(HKEY_CURRENT_USER, p.clsid, p.dmo, false);
        p.seed(p, KEY_WOW64_64KEY);
        for (const char *place : PLACES)
            ASSERT_TRUE(fx_move_to_user(place + (place[0] == 'D' ? p.dmo : p.clsid), KEY_WOW64_64KEY));
        const std::string machine = fx_scope_dump(HKEY_LOCAL_MACHINE, p.clsid, p.dmo);
        const std::string live = fx_scope_dump(HKEY_CURRENT_USER, p.clsid, p.dmo, false);

        int row = user_row(p.clsid);
        ASSERT_NE(row, 0);
        EXPECT_EQ(catalogue_get(row)->bits, 64);
        PlugOutcome o;
        ASSERT_TRUE(disable_plug(row, &o)) << o.key;
        EXPECT_EQ(fx_scope_dump(HKEY_LOCAL_MACHINE, p.clsid, p.dmo), machine);
        EXPECT_EQ(fx_scope_dump(HKEY_CURRENT_USER, p.clsid, p.dmo, false), nothing);
        row = user_row(p.clsid);
        ASSERT_NE(row, 0);
        EXPECT_EQ(catalogue_get(row)->disabled, 1);

        ASSERT_TRUE(enable_plug(row, &o)) << o.key;
        EXPECT_EQ(fx_scope_dump(HKEY_CURRENT_USER, p.clsid, p.dmo, false), live);
        EXPECT_EQ(fx_scope_dump(HKEY_LOCAL_MACHINE, p.clsid, p.dmo), machine);

        ASSERT_TRUE(remove_plug(user_row(p.clsid), &o)) << o.key;
        EXPECT_EQ(user_row(p.clsid), 0);
        EXPECT_EQ(fx_scope_dump(HKEY_CURRENT_USER, p.clsid, p.dmo, false), nothing);
        EXPECT_EQ(fx_scope_dump(HKEY_LOCAL_MACHINE, p.clsid, p.dmo), machine);
    }
}

} // namespace
