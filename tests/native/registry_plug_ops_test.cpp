// Disable, enable and remove against the in-process registry: the store
// layout, the flag, refusals, and what stays where when a step fails.
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
#include "tests/native/registry_fixture.h"

namespace {

const char DX[] = "{D1D1D1D1-0000-4000-8000-000000000001}";
const char VS[] = "{A5A5A5A5-0000-4000-8000-000000000002}";
const char DUAL[] = "{B0B0B0B0-0000-4000-8000-000000000003}";

std::string hkcr(const std::string &path)
{
    return "HKCR\\" + path;
}

std::vector<std::string> subkeys(HKEY root, const std::string &path)
{
    std::vector<std::string> out;
    KeyGuard key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return out;
    char name[1024];
    for (DWORD i = 0; RegEnumKeyA(key.get(), i, name, sizeof name) == ERROR_SUCCESS; i++)
        out.push_back(name);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> value_names(HKEY root, const std::string &path)
{
    std::vector<std::string> out;
    KeyGuard key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; i++) {
        char name[16384];
        DWORD len = sizeof name;
        if (RegEnumValueA(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string value_of(HKEY root, const std::string &path, const char *name)
{
    DWORD type = 0;
    std::string data;
    if (!fx_get(root, path.c_str(), name, &type, &data)) return "absent";
    return std::to_string(type) + " " + fx_hex(data);
}

void directx_fixture(const char *clsid, const char *name)
{
    fx_directx_filter(clsid, name, "C:\\fx\\dx.dll");
    fx_add_extras(clsid, true);
}

void vs3_fixture(const char *clsid, const char *name)
{
    fx_vs3_effect(clsid, name, "CVS3VerbFactory Class", "C:\\fx\\vs3.dll");
    fx_add_extras(clsid, false);
}

class PlugOps : public RegistryOpsTest {
protected:
    int add(int type, const std::string &clsid, const std::string &name, int disabled = 0)
    {
        PlugEntry e;
        memset(&e, 0, sizeof e);
        e.type = type;
        e.disabled = disabled;
        snprintf(e.clsid_text, sizeof e.clsid_text, "%s", clsid.c_str());
        snprintf(e.name, sizeof e.name, "%s", name.c_str());
        parse_clsid_text(e.clsid_text, e.clsid);
        EXPECT_NE(plug_list_append(&catalogue, &e), nullptr);
        return static_cast<int>(catalogue_count());
    }
    int flag(int index) { return catalogue_get(index)->disabled; }
};

TEST_F(PlugOps, DisablingDirectXMovesBothKeysIntoTheStore)
{
    directx_fixture(DX, "Echo DX");
    const std::string filter_before = fx_dump(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str());
    const std::string clsid_before = fx_dump(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str());
    const int row = add(PLUG_TYPE_DIRECTX, DX, "Echo DX");
    disable_plug(row);
    EXPECT_EQ(flag(row), 1);

    const std::string entry = fx_store_entry(DX);
    EXPECT_EQ(value_names(HKEY_CLASSES_ROOT, entry), (std::vector<std::string>{"name", "type"}));
    EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, entry), (std::vector<std::string>{"CLSID", "Filter"}));
    EXPECT_EQ(value_of(HKEY_CLASSES_ROOT, entry, "name"), "1 " + fx_hex(std::string("Echo DX\0", 8)));
    EXPECT_EQ(value_of(HKEY_CLASSES_ROOT, entry, "type"), "4 01000000");
    EXPECT_TRUE(value_names(HKEY_CLASSES_ROOT, entry + "\\Filter").empty());
    EXPECT_TRUE(value_names(HKEY_CLASSES_ROOT, entry + "\\CLSID").empty());
    EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, entry + "\\Filter"), std::vector<std::string>{DX});
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, (entry + "\\" + fx_filter_key(DX)).c_str()), filter_before);
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, (entry + "\\" + fx_clsid_key(DX)).c_str()), clsid_before);

    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, "Filter"));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, "CLSID"));
}

TEST_F(PlugOps, DisablingVs3MovesTheClassKeyAndTheEffectsValue)
{
    vs3_fixture(VS, "Verb");
    const std::string clsid_before = fx_dump(HKEY_CLASSES_ROOT, fx_clsid_key(VS).c_str());
    const int row = add(PLUG_TYPE_VS3, VS, "Verb");
    disable_plug(row);
    EXPECT_EQ(flag(row), 1);

    const std::string entry = fx_store_entry(VS);
    EXPECT_EQ(value_names(HKEY_CLASSES_ROOT, entry), (std::vector<std::string>{"name", "type"}));
    EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, entry), (std::vector<std::string>{"CLSID", "VS3Effects"}));
    EXPECT_EQ(value_of(HKEY_CLASSES_ROOT, entry, "type"), "4 02000000");
    EXPECT_EQ(value_of(HKEY_CLASSES_ROOT, entry + "\\VS3Effects", VS),
              "1 " + fx_hex(std::string("Verb\0", 5)));
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, (entry + "\\" + fx_clsid_key(VS)).c_str()), clsid_before);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(VS).c_str()));
    EXPECT_FALSE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS));
    EXPECT_TRUE(fx_key_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH));
}

class RoundTrip : public PlugOps, public ::testing::WithParamInterface<int> {};

// Large values, long names and unterminated texts come back byte for byte.
TEST_P(RoundTrip, DisableThenEnableRestoresEveryByte)
{
    const int type = GetParam();
    const char *clsid = type == PLUG_TYPE_DIRECTX ? DX : VS;
    if (type == PLUG_TYPE_DIRECTX)
        directx_fixture(clsid, "Round");
    else
        vs3_fixture(clsid, "Round");
    const std::string before = fx_live_registration(clsid);
    const int row = add(type, clsid, "Round");
    disable_plug(row);
    ASSERT_EQ(flag(row), 1);
    ASSERT_NE(fx_live_registration(clsid), before);
    enable_plug(row);
    EXPECT_EQ(flag(row), 0);
    EXPECT_EQ(fx_live_registration(clsid), before);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
    EXPECT_TRUE(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
    EXPECT_TRUE(value_names(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
}

INSTANTIATE_TEST_SUITE_P(Types, RoundTrip, ::testing::Values(PLUG_TYPE_DIRECTX, PLUG_TYPE_VS3));

// The effects value comes back as it was; an entry saved without it (by an
// older version) gets the display name.
TEST_F(PlugOps, EnablingVs3RestoresTheEffectsValueExactly)
{
    vs3_fixture(VS, "Verb");
    ASSERT_TRUE(fx_set_exact(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS, REG_BINARY, "\x07\x08"));
    const int row = add(PLUG_TYPE_VS3, VS, "Shown Name");
    EXPECT_EQ(disable_plug(row), 1);
    EXPECT_EQ(enable_plug(row), 1);
    EXPECT_EQ(flag(row), 0);
    EXPECT_EQ(value_of(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS), "3 0708");

    EXPECT_EQ(disable_plug(row), 1);
    ASSERT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, (fx_store_entry(VS) + "\\VS3Effects").c_str()));
    EXPECT_EQ(enable_plug(row), 1);
    EXPECT_EQ(value_of(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS),
              "1 " + fx_hex(std::string("Shown Name\0", 11)));
}

class NameLength : public PlugOps, public ::testing::WithParamInterface<size_t> {};

TEST_P(NameLength, NameIsStoredWithItsTerminator)
{
    const std::string name(GetParam(), 'n');
    directx_fixture(DX, "x");
    const int row = add(PLUG_TYPE_DIRECTX, DX, name);
    disable_plug(row);
    EXPECT_EQ(value_of(HKEY_CLASSES_ROOT, fx_store_entry(DX), "name"),
              "1 " + fx_hex(name + std::string(1, '\0')));
}

INSTANTIATE_TEST_SUITE_P(Lengths, NameLength, ::testing::Values(0u, 1u, 37u, 254u, 255u));

enum Op { DISABLE, ENABLE, REMOVE };

struct Refusal {
    const char *what;
    Op op;
    int disabled;
    const char *clsid;
    int index; // ROW: the row added
};

const int ROW = 1000;

class Refused : public PlugOps, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refused, NoRegistryAccessAtAll)
{
    const Refusal r = GetParam();
    directx_fixture(DX, "Echo");
    disable_plug(add(PLUG_TYPE_DIRECTX, DX, "Echo")); // a store entry to leave alone
    const std::string store_before = fx_dump(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH);
    const int row = add(PLUG_TYPE_DIRECTX, r.clsid, "Other", r.disabled);
    const int index = r.index == ROW ? row : r.index;
    fakereg_reset_counts();
    int result = -1;
    if (r.op == DISABLE) disable_plug(index);
    if (r.op == ENABLE) enable_plug(index);
    if (r.op == REMOVE) result = remove_plug(index);
    EXPECT_EQ(fakereg_calls(FR_ANY), 0u) << r.what;
    EXPECT_EQ(fakereg_calls(FR_CLOSE_KEY), 0u) << r.what;
    EXPECT_EQ(flag(row), r.disabled) << r.what;
    EXPECT_EQ(result, r.op == REMOVE ? 0 : -1) << r.what;
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH), store_before) << r.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    ::testing::Values(Refusal{"disable a disabled row", DISABLE, 1, DX, ROW},
                      Refusal{"enable a live row", ENABLE, 0, DX, ROW},
                      Refusal{"disable index 0", DISABLE, 0, DX, 0},
                      Refusal{"enable index -1", ENABLE, 1, DX, -1},
                      Refusal{"remove past the end", REMOVE, 0, DX, 3},
                      Refusal{"disable past the end", DISABLE, 0, DX, 3},
                      Refusal{"enable past the end", ENABLE, 1, DX, 3},
                      Refusal{"disable empty clsid", DISABLE, 0, "", ROW},
                      Refusal{"enable empty clsid", ENABLE, 1, "", ROW},
                      Refusal{"remove empty clsid, live", REMOVE, 0, "", ROW},
                      Refusal{"remove empty clsid, disabled", REMOVE, 1, "", ROW},
                      Refusal{"disable clsid with separator", DISABLE, 0, "{X}\\Deeper", ROW},
                      Refusal{"enable clsid with separator", ENABLE, 1, "{X}\\Deeper", ROW},
                      Refusal{"remove clsid with separator", REMOVE, 1, "{X}\\Deeper", ROW}));

// A text of 255 characters names a key of its own; every path built from it
// keeps it whole (the store entry path alone is 285 characters).
TEST_F(PlugOps, LongestClassTextRoundTripsWhole)
{
    const std::string longest = "{" + std::string(253, 'C') + "}";
    directx_fixture(longest.c_str(), "Long");
    const std::string before = fx_live_registration(longest);
    const int row = add(PLUG_TYPE_DIRECTX, longest, "Long");
    ASSERT_EQ(strlen(catalogue_get(row)->clsid_text), 255u);
    disable_plug(row);
    ASSERT_EQ(flag(row), 1);
    EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH), std::vector<std::string>{longest});
    EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, fx_store_entry(longest) + "\\CLSID"),
              std::vector<std::string>{longest});
    enable_plug(row);
    EXPECT_EQ(flag(row), 0);
    EXPECT_EQ(fx_live_registration(longest), before);
    EXPECT_TRUE(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
}

TEST_F(PlugOps, LeftoverStoreEntryOfTheSameTypeIsReusedAndWrittenBack)
{
    directx_fixture(DX, "Echo");
    const std::string entry = fx_store_entry(DX);
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, entry.c_str(), "name", "old"));
    ASSERT_TRUE(fx_set_dword(HKEY_CLASSES_ROOT, entry.c_str(), "type", PLUG_TYPE_DIRECTX));
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, (entry + "\\" + fx_clsid_key(DX) + "\\Leftover").c_str(),
                          "kept", "yes"));
    const int row = add(PLUG_TYPE_DIRECTX, DX, "Echo");
    disable_plug(row);
    ASSERT_EQ(flag(row), 1);
    EXPECT_TRUE(fx_value_exists(HKEY_CLASSES_ROOT,
                                (entry + "\\" + fx_clsid_key(DX) + "\\Leftover").c_str(), "kept"));
    EXPECT_EQ(value_of(HKEY_CLASSES_ROOT, entry, "name"), "1 " + fx_hex(std::string("Echo\0", 5)));
    enable_plug(row);
    EXPECT_EQ(flag(row), 0);
    EXPECT_TRUE(fx_value_exists(HKEY_CLASSES_ROOT, (fx_clsid_key(DX) + "\\Leftover").c_str(), "kept"));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, entry.c_str()));
}

struct CopyFault {
    const char *what;
    int type;
    const char *store_subpath; // below the store entry, where the write fails
};

class FailedDisable : public PlugOps, public ::testing::WithParamInterface<CopyFault> {};

// A copy that fails leaves the registration live and the row live, so that
// Remove still reaches the live registration.
TEST_P(FailedDisable, RowStaysLiveAndRemoveDeletesTheLiveRegistration)
{
    const CopyFault f = GetParam();
    const char *clsid = f.type == PLUG_TYPE_DIRECTX ? DX : VS;
    if (f.type == PLUG_TYPE_DIRECTX)
        directx_fixture(clsid, "Fails");
    else
        vs3_fixture(clsid, "Fails");
    const std::string before = fx_live_registration(clsid);
    const int row = add(f.type, clsid, "Fails");
    std::string target = hkcr(fx_store_entry(clsid));
    if (f.store_subpath[0] != '\0') target += std::string("\\") + f.store_subpath;
    fakereg_fail_on(FR_SET_VALUE, target.c_str(), nullptr, -1, ERROR_ACCESS_DENIED);
    disable_plug(row);
    fakereg_clear_faults();
    EXPECT_EQ(flag(row), 0) << f.what;
    EXPECT_EQ(fx_live_registration(clsid), before) << f.what;
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str())) << f.what;

    EXPECT_EQ(remove_plug(row), 1) << f.what;
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(clsid).c_str())) << f.what;
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(clsid).c_str())) << f.what;
    EXPECT_FALSE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid)) << f.what;
    // The partial saved copy is not Remove's business for a live row.
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str())) << f.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedDisable,
    ::testing::Values(CopyFault{"filter copy", PLUG_TYPE_DIRECTX,
                                "Filter\\{D1D1D1D1-0000-4000-8000-000000000001}"},
                      CopyFault{
                          "class copy", PLUG_TYPE_DIRECTX,
                          "CLSID\\{D1D1D1D1-0000-4000-8000-000000000001}\\Settings\\Deep\\Deeper"},
                      CopyFault{"vs3 class copy", PLUG_TYPE_VS3,
                                "CLSID\\{A5A5A5A5-0000-4000-8000-000000000002}\\InprocServer32"},
                      CopyFault{"name write", PLUG_TYPE_VS3, ""}));

TEST_F(PlugOps, MissingFilterKeyLeavesTheRowLive)
{
    directx_fixture(DX, "Echo");
    ASSERT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()));
    const std::string before = fx_live_registration(DX);
    const int row = add(PLUG_TYPE_DIRECTX, DX, "Echo");
    disable_plug(row);
    EXPECT_EQ(flag(row), 0);
    EXPECT_EQ(fx_live_registration(DX), before);
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, (fx_store_entry(DX) + "\\" + fx_filter_key(DX)).c_str()),
              "[.]\n");
}

struct RestoreFault {
    const char *what;
    int type;
    FakeRegFn fn;
    const char *key; // key path the fault applies to; nullptr: VS3Effects missing
};

class FailedEnable : public PlugOps, public ::testing::WithParamInterface<RestoreFault> {};

// An incomplete restoration keeps the row disabled and the saved copy whole;
// enabling again once the obstacle is gone finishes the job.
TEST_P(FailedEnable, RowStaysDisabledUntilTheRestorationCompletes)
{
    const RestoreFault f = GetParam();
    const char *clsid = f.type == PLUG_TYPE_DIRECTX ? DX : VS;
    if (f.type == PLUG_TYPE_DIRECTX)
        directx_fixture(clsid, "Back");
    else
        vs3_fixture(clsid, "Back");
    const std::string before = fx_live_registration(clsid);
    const int row = add(f.type, clsid, "Back");
    disable_plug(row);
    ASSERT_EQ(flag(row), 1);
    const std::string saved = fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str());

    if (f.key == nullptr)
        ASSERT_TRUE(fx_delete_tree(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH));
    else
        fakereg_fail_on(f.fn, f.key, nullptr, -1, ERROR_ACCESS_DENIED);
    enable_plug(row);
    fakereg_clear_faults();
    EXPECT_EQ(flag(row), 1) << f.what;
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str()), saved) << f.what;
    if (f.key == nullptr) {
        EXPECT_EQ(
            fx_dump(HKEY_CLASSES_ROOT, fx_clsid_key(clsid).c_str()),
            fx_dump(HKEY_CLASSES_ROOT, (fx_store_entry(clsid) + "\\" + fx_clsid_key(clsid)).c_str()));
        ASSERT_TRUE(fx_create(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH));
    }

    enable_plug(row);
    EXPECT_EQ(flag(row), 0) << f.what;
    EXPECT_EQ(fx_live_registration(clsid), before) << f.what;
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str())) << f.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedEnable,
    ::testing::Values(
        RestoreFault{"filter restore", PLUG_TYPE_DIRECTX, FR_SET_VALUE,
                     "HKCR\\Filter\\{D1D1D1D1-0000-4000-8000-000000000001}"},
        RestoreFault{"class restore", PLUG_TYPE_DIRECTX, FR_SET_VALUE,
                     "HKCR\\CLSID\\{D1D1D1D1-0000-4000-8000-000000000001}\\Pins\\Output"},
        RestoreFault{"vs3 class restore", PLUG_TYPE_VS3, FR_CREATE_KEY,
                     "HKCR\\CLSID\\{A5A5A5A5-0000-4000-8000-000000000002}\\Settings\\Deep"},
        RestoreFault{"effects key does not open", PLUG_TYPE_VS3, FR_OPEN_KEY_EX,
                     "HKLM\\" VS3_EFFECTS_PATH},
        RestoreFault{"effects value write", PLUG_TYPE_VS3, FR_SET_VALUE, "HKLM\\" VS3_EFFECTS_PATH},
        RestoreFault{"effects key missing", PLUG_TYPE_VS3, FR_ANY, nullptr}));

TEST_F(PlugOps, EnableWithTheStoreEntryGoneChangesNothing)
{
    directx_fixture(DX, "Echo");
    const int row = add(PLUG_TYPE_DIRECTX, DX, "Echo");
    disable_plug(row);
    const std::string live = fx_live_registration(DX);
    ASSERT_TRUE(fakereg_delete_external(hkcr(fx_store_entry(DX)).c_str()));
    enable_plug(row);
    EXPECT_EQ(flag(row), 1);
    EXPECT_EQ(fx_live_registration(DX), live);
}

// Refused before anything is written: no store entry is left behind.
TEST_F(PlugOps, OtherTypesAreNeverSavedNorRestored)
{
    directx_fixture(DX, "Odd");
    const std::string before = fx_live_registration(DX);
    const int row = add(3, DX, "Odd");
    EXPECT_EQ(disable_plug(row), 0);
    EXPECT_EQ(flag(row), 0);
    EXPECT_EQ(fx_live_registration(DX), before);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str()));
    fx_set_sz(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str(), "name", "Odd");
    EXPECT_EQ(remove_plug(row), 0);
    EXPECT_EQ(fx_live_registration(DX), before);

    catalogue_get(row)->disabled = 1;
    const std::string saved = fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str());
    enable_plug(row);
    EXPECT_EQ(flag(row), 1);
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str()), saved);
}

TEST_F(PlugOps, RemovingADisabledPlugInDeletesOnlyItsStoreEntry)
{
    directx_fixture(DX, "Echo");
    vs3_fixture(VS, "Verb");
    const int dx = add(PLUG_TYPE_DIRECTX, DX, "Echo");
    const int vs = add(PLUG_TYPE_VS3, VS, "Verb");
    disable_plug(dx);
    disable_plug(vs);
    const std::string vs_saved = fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(VS).c_str());
    EXPECT_EQ(remove_plug(dx), 1);
    EXPECT_EQ(flag(dx), 1);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str()));
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(VS).c_str()), vs_saved);
    EXPECT_EQ(remove_plug(dx), 1); // gone already
    EXPECT_EQ(remove_plug(vs), 1);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
    EXPECT_TRUE(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
}

// A row flagged disabled while its registration is live (a stale row) has
// only its saved copy deleted.
TEST_F(PlugOps, RemovingAStaleDisabledRowLeavesTheLiveRegistration)
{
    directx_fixture(DX, "Echo");
    const std::string before = fx_live_registration(DX);
    ASSERT_TRUE(fx_set_sz(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str(), "name", "Echo"));
    const int row = add(PLUG_TYPE_DIRECTX, DX, "Echo", 1);
    EXPECT_EQ(remove_plug(row), 1);
    EXPECT_EQ(fx_live_registration(DX), before);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str()));
}

TEST_F(PlugOps, RemovingALivePlugInDeletesItsRegistration)
{
    directx_fixture(DX, "Echo");
    vs3_fixture(VS, "Verb");
    EXPECT_EQ(remove_plug(add(PLUG_TYPE_DIRECTX, DX, "Echo")), 1);
    EXPECT_EQ(fx_live_registration(DX), "Filter:\nCLSID:\nVS3: absent");
    EXPECT_EQ(remove_plug(add(PLUG_TYPE_VS3, VS, "Verb")), 1);
    EXPECT_EQ(fx_live_registration(VS), "Filter:\nCLSID:\nVS3: absent");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
}

// Without the effects key the value is gone already: the removal is done.
TEST_F(PlugOps, RemovingAVs3EffectWithoutTheEffectsKeyDeletesTheClass)
{
    vs3_fixture(VS, "Verb");
    ASSERT_TRUE(fx_delete_tree(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH));
    EXPECT_EQ(remove_plug(add(PLUG_TYPE_VS3, VS, "Verb")), 1);
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(VS).c_str()));
}

// The filter key still goes, and the removal says it did not complete.
TEST_F(PlugOps, RemovingDirectXWithAnUndeletableClassStillDeletesTheFilterKey)
{
    directx_fixture(DX, "Echo");
    fakereg_fail_on(FR_DELETE_KEY, hkcr(fx_clsid_key(DX)).c_str(), nullptr, -1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(remove_plug(add(PLUG_TYPE_DIRECTX, DX, "Echo")), 0);
    fakereg_clear_faults();
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
}

// ---- a class registered both as a DirectX filter and as a VS3 effect -----

void dual_fixture()
{
    directx_fixture(DUAL, "Dual DX");
    fx_set_sz(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, DUAL, "Dual VS3");
}

class DualType : public PlugOps, public ::testing::WithParamInterface<int> {};

// Whichever type is disabled first owns the shared store entry; the other
// type's disable leaves it alone, and enabling then brings everything back.
TEST_P(DualType, DisableOneThenTheOtherThenEnableLosesNothing)
{
    dual_fixture();
    const std::string before = fx_live_registration(DUAL);
    const int dx = add(PLUG_TYPE_DIRECTX, DUAL, "Dual DX");
    const int vs = add(PLUG_TYPE_VS3, DUAL, "Dual VS3");
    const int first = GetParam() == PLUG_TYPE_DIRECTX ? dx : vs;
    const int second = first == dx ? vs : dx;
    disable_plug(first);
    ASSERT_EQ(flag(first), 1);
    const std::string saved = fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(DUAL).c_str());
    disable_plug(second);
    EXPECT_EQ(flag(second), 0);
    EXPECT_EQ(fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(DUAL).c_str()), saved);

    enable_plug(first);
    enable_plug(second);
    EXPECT_EQ(flag(first), 0);
    EXPECT_EQ(flag(second), 0);
    EXPECT_EQ(fx_live_registration(DUAL), before);
    EXPECT_TRUE(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
}

// The same with a rebuild in between, which lists the shared store entry
// under the type recorded in it: enabling that row must bring back
// everything the entry holds before the entry goes.
TEST_P(DualType, DisableBothRebuildEnableLosesNothing)
{
    dual_fixture();
    const std::string before = fx_live_registration(DUAL);
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), 2u);
    const int first_type = GetParam();
    for (int pass = 0; pass < 2; pass++) {
        for (unsigned i = 1; i <= catalogue_count(); i++) {
            const bool first = catalogue_get(static_cast<int>(i))->type == first_type;
            if (first == (pass == 0)) disable_plug(static_cast<int>(i));
        }
    }
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), 1u);
    EXPECT_EQ(catalogue_get(1)->disabled, 1);
    EXPECT_EQ(catalogue_get(1)->type, first_type);
    enable_plug(1);
    EXPECT_EQ(catalogue_get(1)->disabled, 0);
    EXPECT_EQ(fx_live_registration(DUAL), before);
    EXPECT_TRUE(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
    rebuild_catalogue();
    EXPECT_EQ(catalogue_count(), 2u);
    for (unsigned i = 1; i <= catalogue_count(); i++)
        EXPECT_EQ(catalogue_get(static_cast<int>(i))->disabled, 0);
}

INSTANTIATE_TEST_SUITE_P(FirstType, DualType, ::testing::Values(PLUG_TYPE_DIRECTX, PLUG_TYPE_VS3));

// Older versions let the second type's disable overwrite "type" in a shared
// store entry, leaving a saved filter under an entry that reads VS3.
// Enabling that row brings the filter back too before the entry goes.
TEST_F(PlugOps, EnablingAVs3EntryThatAlsoHoldsASavedFilterRestoresBoth)
{
    dual_fixture();
    const std::string before = fx_live_registration(DUAL);
    disable_plug(add(PLUG_TYPE_DIRECTX, DUAL, "Dual DX"));
    ASSERT_TRUE(fx_set_dword(HKEY_CLASSES_ROOT, fx_store_entry(DUAL).c_str(), "type", PLUG_TYPE_VS3));
    rebuild_catalogue();
    ASSERT_EQ(catalogue_count(), 1u);
    ASSERT_EQ(catalogue_get(1)->type, PLUG_TYPE_VS3);

    fakereg_fail_on(FR_CREATE_KEY, hkcr(fx_filter_key(DUAL)).c_str(), nullptr, -1, ERROR_ACCESS_DENIED);
    enable_plug(1);
    fakereg_clear_faults();
    EXPECT_EQ(catalogue_get(1)->disabled, 1);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, (fx_store_entry(DUAL) + "\\" + fx_filter_key(DUAL)).c_str()));

    enable_plug(1);
    EXPECT_EQ(catalogue_get(1)->disabled, 0);
    // The effect's live value, never saved by the filter's disable, stays
    // as it was rather than being made up from the saved name.
    EXPECT_EQ(fx_live_registration(DUAL), before);
    EXPECT_TRUE(subkeys(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH).empty());
}

} // namespace
