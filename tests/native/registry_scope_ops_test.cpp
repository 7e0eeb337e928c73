// Each registration in its own scope: a per-user plug-in is listed as the
// user's, disabled into the user's store and enabled back into the user's
// classes, with nothing written below HKLM; a machine one stays the
// machine's; an entry planted in the user's store never becomes machine-wide.
// Under the Windows rule HKCR merges the two scopes, under Wine's it does not.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/dll_problem.h"
#include "catalogue/scopes.h"
#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "registry/reg_export.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

const char FILTER[] = "{5C0E0000-0000-4000-8000-000000000001}";
const char MAPPED[] = "{5C0E0000-0000-4000-8000-000000000002}";
const char DMO[] = "5C0E0000-0000-4000-8000-0000000000D3";
const char EFFECT[] = "{5C0E0000-0000-4000-8000-000000000004}";
const char CLASSES[] = "Software\\Classes\\";

// Where a registration moved to the user's may live.
const char *const PLACES[] = {"CLSID\\", "Filter\\", MAPPER_INSTANCE_PATH "\\Inst ",
                              DMO_ROOT_PATH "\\", DMO_AUDIO_EFFECTS_PATH "\\"};

// The row of the class in the view and scope, after a fresh scan; 0 if none.
int row_of(const std::string &clsid, int32_t bits, int32_t scope)
{
    rebuild_catalogue();
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (e->bits == bits && known_scope(e->scope) == scope && clsid == e->clsid_text)
            return static_cast<int>(i);
    }
    return 0;
}

struct Registration {
    const char *what;
    std::string clsid, dmo;
    void (*seed)(const Registration &r, REGSAM view);
};

void seed_filter(const Registration &r, REGSAM view)
{
    int was = fakereg_process_bits();
    fakereg_set_process_bits(view == KEY_WOW64_32KEY ? 32 : 64);
    fx_directx_filter(r.clsid.c_str(), "Scoped", "C:\\s.dll");
    fakereg_set_process_bits(was);
}

void seed_mapped(const Registration &r, REGSAM view)
{
    fx_mapper_filter(r.clsid.c_str(), ("Inst " + r.clsid).c_str(), "Mapped", "Mapped",
                     fx_audio_filter_data(0x200000), "C:\\m.dll", view);
}

void seed_dmo(const Registration &r, REGSAM view) { fx_dmo(r.dmo.c_str(), "DMO", "C:\\d.dll", view); }

void seed_effect(const Registration &r, REGSAM view)
{
    int was = fakereg_process_bits();
    fakereg_set_process_bits(view == KEY_WOW64_32KEY ? 32 : 64);
    fx_vs3_effect(r.clsid.c_str(), "Effect", nullptr, "C:\\e.dll");
    fakereg_set_process_bits(was);
}

const Registration REGISTRATIONS[] = {
    {"filter", FILTER, "none", seed_filter},
    {"mapper", MAPPED, "none", seed_mapped},
    {"dmo", std::string("{") + DMO + "}", DMO, seed_dmo},
    {"vs3 effect", EFFECT, "none", seed_effect},
};

// Seeds the registration in the scope: the user's is the machine's moved
// over, all but the machine's VS3Effects list.
void seed_in(const Registration &r, int32_t scope, REGSAM view)
{
    r.seed(r, view);
    if (scope != PLUG_SCOPE_USER) return;
    for (const char *place : PLACES)
        ASSERT_TRUE(fx_move_to_user(place + (place[0] == 'D' ? r.dmo : r.clsid), view));
}

typedef MachineOpsTest Scopes;

TEST_P(Scopes, EachOperationStaysInTheRowsScope)
{
    for (int32_t scope : {PLUG_SCOPE_USER, PLUG_SCOPE_MACHINE}) {
        const HKEY own = scope_root(scope);
        const HKEY other = scope == PLUG_SCOPE_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        for (int32_t bits : {32, 64}) {
            for (const Registration &r : REGISTRATIONS) {
                SCOPED_TRACE(std::string(r.what) + " " + std::to_string(bits) +
                             (scope == PLUG_SCOPE_USER ? " user" : " machine"));
                const std::string nothing = fx_scope_dump(own, r.clsid, r.dmo, false);
                seed_in(r, scope, view_flag(bits));
                const std::string live = fx_scope_dump(own, r.clsid, r.dmo, false);
                const std::string untouched = fx_scope_dump(other, r.clsid, r.dmo);
                // Wine's user classes have one view, listed as the 64-bit one;
                // an effect is of its effects list's view.
                const int32_t listed = scope == PLUG_SCOPE_USER && GetParam() == FAKE_WIN64_WINE8 &&
                                               r.seed != seed_effect
                                           ? 64
                                           : bits;
                int row = row_of(r.clsid, listed, scope);
                ASSERT_NE(row, 0);
                EXPECT_EQ(row_of(r.clsid, 96 - listed, scope), 0);
                EXPECT_EQ(row_of(r.clsid, bits, PLUG_SCOPE_MACHINE + PLUG_SCOPE_USER - scope), 0);

                PlugOutcome o;
                ASSERT_TRUE(disable_plug(row, &o)) << o.key;
                EXPECT_EQ(fx_scope_dump(other, r.clsid, r.dmo), untouched);
                // The effects list is the machine's: a user's effect leaves it.
                if (r.seed != seed_effect || scope == PLUG_SCOPE_USER) {
                    EXPECT_EQ(fx_scope_dump(own, r.clsid, r.dmo, false), nothing);
                }
                char store[MAINT_PATH_SIZE];
                ASSERT_TRUE(classes_path(store_root_path(listed), store, sizeof store));
                EXPECT_TRUE(fx_key_exists(own, (std::string(store) + "\\" + r.clsid).c_str()));
                row = row_of(r.clsid, listed, scope);
                ASSERT_NE(row, 0);
                EXPECT_EQ(catalogue_get(row)->disabled, 1);

                ASSERT_TRUE(enable_plug(row, &o)) << o.key;
                EXPECT_EQ(fx_scope_dump(own, r.clsid, r.dmo, false), live);
                EXPECT_EQ(fx_scope_dump(other, r.clsid, r.dmo), untouched);

                ASSERT_TRUE(remove_plug(row_of(r.clsid, listed, scope), &o)) << o.key;
                EXPECT_EQ(fx_scope_dump(other, r.clsid, r.dmo), untouched);
                if (r.seed != seed_effect || scope == PLUG_SCOPE_USER) {
                    EXPECT_EQ(fx_scope_dump(own, r.clsid, r.dmo, false), nothing);
                }
                EXPECT_EQ(row_of(r.clsid, listed, scope), 0);
                fakereg_reset();
            }
        }
    }
}

// What writing through HKCR did to a per-user registration, as every
// earlier version wrote: where Windows merges, the class comes back for
// every user of the machine.
TEST_P(Scopes, ThroughHkcrAUsersClassComesBackMachineWide)
{
    seed_in(REGISTRATIONS[0], PLUG_SCOPE_USER, KEY_WOW64_64KEY);
    const std::string cls = std::string("CLSID\\") + FILTER;
    TreeFailure f;
    const char saved[] = "Quillon_Software\\DisabledPlug64\\Saved";
    bool merged = GetParam() == FAKE_WIN64_WIN7;
    EXPECT_EQ(copy_key_tree_to(HKEY_CLASSES_ROOT, 0, saved, HKEY_CLASSES_ROOT, 0, cls.c_str(), &f),
              merged);
    if (!merged) return; // Wine's HKCR never shows the user's classes
    ASSERT_TRUE(fx_delete_tree_exact(HKEY_CLASSES_ROOT, cls.c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, (CLASSES + cls).c_str()));
    ASSERT_TRUE(copy_key_tree_to(HKEY_CLASSES_ROOT, 0, cls.c_str(), HKEY_CLASSES_ROOT, 0, saved, &f));
    EXPECT_TRUE(fx_key_exists(HKEY_LOCAL_MACHINE, (CLASSES + cls).c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CURRENT_USER, (CLASSES + cls).c_str()));
}

// Code running as the user plants an entry in the user's store, named like
// a plug-in the administrator disabled, with a DLL the user can write.
TEST_P(Scopes, AnEntryPlantedInTheUsersStoreNeverReachesTheMachine)
{
    seed_in(REGISTRATIONS[0], PLUG_SCOPE_MACHINE, KEY_WOW64_64KEY);
    seed_in(REGISTRATIONS[3], PLUG_SCOPE_MACHINE, KEY_WOW64_64KEY);
    ASSERT_TRUE(disable_plug(row_of(FILTER, 64, PLUG_SCOPE_MACHINE)));
    ASSERT_TRUE(disable_plug(row_of(EFFECT, 64, PLUG_SCOPE_MACHINE)));
    const std::string machine = fx_scope_dump(HKEY_LOCAL_MACHINE, FILTER, "none") +
                                fx_scope_dump(HKEY_LOCAL_MACHINE, EFFECT, "none");
    for (const char *clsid : {FILTER, EFFECT}) {
        const std::string entry = std::string(CLASSES) + STORE64_ROOT_PATH "\\" + clsid;
        ASSERT_TRUE(fx_set_sz(HKEY_CURRENT_USER, entry.c_str(), "name", "Scoped"));
        ASSERT_TRUE(fx_set_dword(HKEY_CURRENT_USER, entry.c_str(), "type",
                                 std::string(clsid) == FILTER ? PLUG_TYPE_DIRECTX : PLUG_TYPE_VS3));
        ASSERT_TRUE(fx_set_sz(HKEY_CURRENT_USER, (entry + "\\CLSID\\" + clsid + "\\InprocServer32").c_str(),
                              nullptr, "C:\\Users\\me\\planted.dll"));
        ASSERT_TRUE(fx_create(HKEY_CURRENT_USER, (entry + "\\Filter\\" + clsid).c_str()));
    }
    // The effect's entry also claims the machine's effects list.
    ASSERT_TRUE(fx_set_sz(HKEY_CURRENT_USER,
                          (std::string(CLASSES) + STORE64_ROOT_PATH "\\" + EFFECT + "\\VS3Effects").c_str(),
                          EFFECT, "Planted"));

    // Read through the merged HKCR, as every earlier version read the
    // store, the planted entry passes for the machine's own.
    KeyGuard seen;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(STORE64_ROOT_PATH "\\") + FILTER).c_str(),
                            0, KEY_READ, seen.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(key_scope(seen.get()),
              GetParam() == FAKE_WIN64_WIN7 ? PLUG_SCOPE_USER : PLUG_SCOPE_MACHINE);
    seen.close();

    int row = row_of(FILTER, 64, PLUG_SCOPE_USER);
    ASSERT_NE(row, 0);
    EXPECT_EQ(catalogue_get(row)->disabled, 1);
    EXPECT_NE(row_of(FILTER, 64, PLUG_SCOPE_MACHINE), 0); // the administrator's own entry
    PlugOutcome o;
    EXPECT_TRUE(enable_plug(row_of(FILTER, 64, PLUG_SCOPE_USER), &o)) << o.key;
    EXPECT_TRUE(fx_key_exists(HKEY_CURRENT_USER, (CLASSES + std::string("CLSID\\") + FILTER).c_str()));

    EXPECT_FALSE(enable_plug(row_of(EFFECT, 64, PLUG_SCOPE_USER), &o));
    EXPECT_EQ(o.why, WHY_MACHINE_PART_IN_USER_STORE);
    char said[512];
    describe_outcome(&o, said, sizeof said);
    EXPECT_NE(std::string(said).find("machine-wide VS3Effects value at HKCU\\Software\\Classes\\"),
              std::string::npos)
        << said;
    EXPECT_EQ(fx_scope_dump(HKEY_LOCAL_MACHINE, FILTER, "none") +
                  fx_scope_dump(HKEY_LOCAL_MACHINE, EFFECT, "none"),
              machine);
}

// A class registered for the machine and for the user is two rows; where
// HKCR merges, hosts get the user's and the machine's row says so.
TEST_P(Scopes, AClassInBothScopesIsTwoRowsAndTheMachinesIsHidden)
{
    seed_in(REGISTRATIONS[0], PLUG_SCOPE_USER, KEY_WOW64_64KEY);
    // The machine's copy beside it, written there explicitly: through the
    // merged HKCR it would land in the user's.
    TreeFailure f;
    for (const char *place : {"CLSID\\", "Filter\\"}) {
        const std::string path = CLASSES + std::string(place) + FILTER;
        ASSERT_TRUE(copy_key_tree_to(HKEY_LOCAL_MACHINE, 0, path.c_str(), HKEY_CURRENT_USER, 0,
                                     path.c_str(), &f));
    }
    int user = row_of(FILTER, 64, PLUG_SCOPE_USER);
    int machine = row_of(FILTER, 64, PLUG_SCOPE_MACHINE);
    ASSERT_NE(user, 0);
    ASSERT_NE(machine, 0);
    const bool merged = GetParam() == FAKE_WIN64_WIN7;
    EXPECT_EQ(catalogue_get(machine)->hidden, merged ? 1 : 0);
    EXPECT_EQ(catalogue_get(user)->hidden, 0);
    EXPECT_STREQ(problem_text(dll_problem(catalogue_get(machine), nullptr)),
                 merged ? "hidden by a per-user registration" : "DLL not found");

    // The backup names the user's keys where they live.
    RegText text;
    ExportOutcome eo;
    ASSERT_TRUE(registration_text(&user, 1, &text, &eo));
    const std::string reg = fx_utf8(text.text, text.length);
    reg_text_free(&text);
    EXPECT_NE(reg.find(std::string("[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\") + FILTER + "]"),
              std::string::npos)
        << reg;
    EXPECT_EQ(reg.find("HKEY_LOCAL_MACHINE"), std::string::npos) << reg;
}

INSTANTIATE_ON_MACHINES(Scopes);

} // namespace
