// A whole rebuild over a fixture of filters that pass and fail, VS3 effects
// and saved copies, built through the registry functions. Runs natively and
// under Wine on the real registry; there the prefix holds its own filters, so
// only the fixture's classes are compared, and everything made is removed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

// Classes made up for this test; in ascending order, so that value order is
// the same whether the registry keeps creation order or sorts.
const char F_PASS[] = "{7E57CA70-0001-4000-8000-000000000001}";
const char F_PASS_LOWER[] = "{7e57ca70-0001-4000-8000-000000000002}";
const char F_MERIT[] = "{7E57CA70-0001-4000-8000-000000000003}";
const char F_INPUT_ONLY[] = "{7E57CA70-0001-4000-8000-000000000004}";
const char F_NO_CLASS[] = "{7E57CA70-0001-4000-8000-000000000005}";
const char V_NAMED[] = "{7E57CA70-0002-4000-8000-000000000001}";
const char V_DESCRIBED[] = "{7E57CA70-0002-4000-8000-000000000002}";
const char V_BAD_DESCRIPTION[] = "{7E57CA70-0002-4000-8000-000000000003}";
const char V_NO_CLASS[] = "{7E57CA70-0002-4000-8000-000000000004}";
const char S_FILTER[] = "{7E57CA70-0003-4000-8000-000000000001}";
const char S_TYPE3[] = "{7E57CA70-0003-4000-8000-000000000002}";

const char *const ALL[] = {F_PASS,     F_PASS_LOWER, F_MERIT,           F_INPUT_ONLY,
                           F_NO_CLASS, V_NAMED,      V_DESCRIBED,       V_BAD_DESCRIPTION,
                           V_NO_CLASS, S_FILTER,     S_TYPE3};

std::string cls(const char *clsid) { return std::string("CLSID\\") + clsid; }
std::string saved(const char *clsid) { return std::string(STORE64_ROOT_PATH "\\") + clsid; }

bool ours(const char *clsid_text)
{
    unsigned char a[16], b[16];
    parse_clsid_text(clsid_text, a);
    for (const char *c : ALL) {
        parse_clsid_text(c, b);
        if (memcmp(a, b, 16) == 0) return true;
    }
    return false;
}

void delete_value(HKEY root, const char *path, const char *name)
{
    KeyGuard key;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, key.out()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), name);
}

// Parents that did not exist before are removed again afterwards.
struct Parent {
    HKEY root;
    const char *path;
    bool existed;
};

class CatalogueRebuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::path dir = std::filesystem::temp_directory_path();
        dll = (dir / "mp_catalogue_rebuild_test.dll").string();
        missing_dll = (dir / "mp_catalogue_rebuild_test_missing.dll").string();
        FILE *f = fopen(dll.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fputs("MZ", f);
        fclose(f);
        for (Parent &p : parents) p.existed = fx_key_exists(p.root, p.path) != 0;
        ASSERT_EQ(catalogue_init(), 1);
    }
    void TearDown() override
    {
        catalogue_destroy();
        for (const char *c : ALL) {
            fx_delete_tree(HKEY_CLASSES_ROOT, (std::string("Filter\\") + c).c_str());
            fx_delete_tree(HKEY_CLASSES_ROOT, cls(c).c_str());
            fx_delete_tree(HKEY_CLASSES_ROOT, saved(c).c_str());
            delete_value(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, c);
        }
        for (const Parent &p : parents)
            if (!p.existed) fx_delete_tree(p.root, p.path);
        std::filesystem::remove(dll);
    }
    void build_fixture();
    std::vector<std::string> our_entries();

    std::string dll, missing_dll;
    Parent parents[4] = {{HKEY_CLASSES_ROOT, "Filter", false},
                         {HKEY_CLASSES_ROOT, "Quillon_Software", false},
                         {HKEY_LOCAL_MACHINE, "SOFTWARE\\Merging Technologies", false},
                         {HKEY_CLASSES_ROOT, "CLSID", true}};
};

void CatalogueRebuildTest::build_fixture()
{
    fx_directx_filter(F_PASS, "Fixture Filter", dll.c_str());
    fx_directx_filter(F_PASS_LOWER, "Fixture Filter 2", missing_dll.c_str());
    fx_directx_filter(F_MERIT, "Too much merit", dll.c_str());
    fx_set_dword(HKEY_CLASSES_ROOT, cls(F_MERIT).c_str(), "Merit", 0x200001);
    fx_directx_filter(F_INPUT_ONLY, "Input only", dll.c_str());
    fx_delete_tree(HKEY_CLASSES_ROOT, (cls(F_INPUT_ONLY) + "\\Pins\\Output").c_str());
    fx_directx_filter(F_NO_CLASS, "No class", dll.c_str());
    fx_delete_tree(HKEY_CLASSES_ROOT, cls(F_NO_CLASS).c_str());

    fx_vs3_effect(V_NAMED, "Fixture Echo", "CVS3IgnoredFactory Class", dll.c_str());
    fx_vs3_effect(V_DESCRIBED, "", "CVS3ChorusFactory Class", missing_dll.c_str());
    fx_vs3_effect(V_BAD_DESCRIPTION, "", "Chorus Factory Class", dll.c_str());
    fx_vs3_effect(V_NO_CLASS, "Orphan", nullptr, dll.c_str());
    fx_delete_tree(HKEY_CLASSES_ROOT, cls(V_NO_CLASS).c_str());

    struct {
        const char *clsid;
        const char *name;
        DWORD type;
    } store[] = {{F_PASS, "hidden by the live filter", 2},
                 {V_DESCRIBED, "hidden by the live effect", 1},
                 {S_FILTER, "Saved Filter", 1},
                 {S_TYPE3, "Saved Other", 7}};
    for (const auto &s : store) {
        std::string e = saved(s.clsid);
        fx_set_sz(HKEY_CLASSES_ROOT, e.c_str(), "name", s.name);
        fx_set_dword(HKEY_CLASSES_ROOT, e.c_str(), "type", s.type);
        fx_set_sz(HKEY_CLASSES_ROOT, (e + "\\" + cls(s.clsid) + "\\InprocServer32").c_str(),
                  nullptr, dll.c_str());
    }
}

// "state type exists name dll clsid" for each entry of the fixture's classes.
std::vector<std::string> CatalogueRebuildTest::our_entries()
{
    std::vector<std::string> out;
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        if (!ours(e->clsid_text)) continue;
        char line[8192];
        snprintf(line, sizeof line, "%s %d %d [%s] [%s] %s", e->disabled ? "off" : "on",
                 static_cast<int>(e->type), static_cast<int>(e->dll_exists), e->name, e->dll_path,
                 e->clsid_text);
        out.push_back(line);
    }
    return out;
}

TEST_F(CatalogueRebuildTest, FullFixture)
{
    rebuild_catalogue();
    ASSERT_TRUE(our_entries().empty());
    const uint32_t others = catalogue_count();

    build_fixture();
    rebuild_catalogue();
    const std::string d = "[" + dll + "] ", m = "[" + missing_dll + "] ";
    const std::vector<std::string> want = {
        "on 1 1 [Fixture Filter] " + d + F_PASS,
        "on 1 0 [Fixture Filter 2] " + m + F_PASS_LOWER,
        "on 2 1 [Fixture Echo] " + d + V_NAMED,
        "on 2 0 [Chorus] " + m + V_DESCRIBED,
        "off 1 1 [Saved Filter] " + d + S_FILTER,
        std::string("off 7 0 [Saved Other] [] ") + S_TYPE3,
    };
    EXPECT_EQ(our_entries(), want);
    EXPECT_EQ(catalogue_count(), others + want.size());

    // Groups stay in order: filters, effects, saved copies.
    int last_group = 0;
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        const PlugEntry *e = catalogue_get(static_cast<int>(i));
        int group = e->disabled ? 3 : e->type == PLUG_TYPE_DIRECTX ? 1 : 2;
        EXPECT_GE(group, last_group) << e->clsid_text;
        last_group = group;
    }

    rebuild_catalogue();
    EXPECT_EQ(our_entries(), want);
}

} // namespace
