// Plug-ins registered the way their own installers register them, through
// the platform's filter mapper (both structure versions and the old
// interface) and DMORegister: the list shows exactly those a host is
// offered as audio effects, each once with the forms it has, and Disable,
// Enable and Remove with a backup take each out of what the platform's
// enumerators offer and put every byte of it back.
#include <gtest/gtest.h>

#include <objbase.h>
#include <strmif.h>
#include <uuids.h>
#include <dmo.h>
#include <dmoreg.h>

#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/list_csv.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"
#include "tests/wine/ui_test_support.h"

namespace {

enum How { V1, V2, OLD, BOTH, DMO, DMO_KEYED, DMO_DECODER };

struct Plug {
    const char *clsid;
    How how;
    const char *name;
    const char *instance; // the mapper instance's name; null: its class identifier
    DWORD merit;
    const GUID *in_major;  // null: no input pin
    const GUID *out_major; // null: no output pin
    const char *listed_as; // form_text of its row; null: it is not listed
    bool offered;          // what the platform's enumerators offer a host
};

const Plug PLUGS[] = {
    {"{7E57D5F0-0000-4000-8000-0000000000A1}", V1, "DS Forms V1", nullptr, MERIT_DO_NOT_USE,
     &MEDIATYPE_Audio, &MEDIATYPE_Audio, "mapper", true},
    {"{7E57D5F0-0000-4000-8000-0000000000A2}", V2, "DS Forms Named", "My Instance",
     MERIT_DO_NOT_USE, &MEDIATYPE_Audio, &MEDIATYPE_Audio, "mapper", true},
    // Wine's device enumerator caches the old mapper's filters per user, not
    // as instances of the mapper's category: the old form stays its only one.
    {"{7E57D5F0-0000-4000-8000-0000000000A3}", OLD, "DS Forms Old", nullptr, MERIT_DO_NOT_USE,
     &MEDIATYPE_Audio, &MEDIATYPE_Audio, "filter", true},
    {"{7E57D5F0-0000-4000-8000-0000000000A4}", BOTH, "DS Forms Both", nullptr, MERIT_DO_NOT_USE,
     &MEDIATYPE_Audio, &MEDIATYPE_Audio, "filter+mapper", true},
    // Offered to hosts, not listed: above the merit limit, or taking
    // anything (a wildcard major type) rather than audio.
    {"{7E57D5F0-0000-4000-8000-0000000000A5}", V2, "DS Forms High Merit", nullptr, MERIT_NORMAL,
     &MEDIATYPE_Audio, &MEDIATYPE_Audio, nullptr, true},
    {"{7E57D5F0-0000-4000-8000-0000000000A6}", V2, "DS Forms In Only", nullptr, MERIT_DO_NOT_USE,
     &MEDIATYPE_Audio, nullptr, nullptr, false},
    {"{7E57D5F0-0000-4000-8000-0000000000A7}", V2, "DS Forms Video Out", nullptr,
     MERIT_DO_NOT_USE, &MEDIATYPE_Audio, &MEDIATYPE_Video, nullptr, false},
    {"{7E57D5F0-0000-4000-8000-0000000000A8}", V2, "DS Forms Wildcard", nullptr, MERIT_DO_NOT_USE,
     &GUID_NULL, &MEDIATYPE_Audio, nullptr, true},
    {"{7E57D5F0-0000-4000-8000-0000000000A9}", DMO, "DS Forms DMO", nullptr, 0, &MEDIATYPE_Audio,
     &MEDIATYPE_Audio, "dmo", true},
    {"{7E57D5F0-0000-4000-8000-0000000000AA}", DMO_KEYED, "DS Forms Keyed DMO", nullptr, 0,
     &MEDIATYPE_Audio, &MEDIATYPE_Audio, "dmo", true},
    {"{7E57D5F0-0000-4000-8000-0000000000AB}", DMO_DECODER, "DS Forms Decoder DMO", nullptr, 0,
     &MEDIATYPE_Audio, &MEDIATYPE_Audio, nullptr, false},
};

const char DLL[] = "C:\\Plug-ins\\dsforms.dll";
const char DECODER_CATEGORY_PATH[] =
    "DirectShow\\MediaObjects\\Categories\\57F2DB8B-E6BB-4513-9D43-DCD2A6593125";
// Where Wine's device enumerator caches the old mapper's filters (per user).
const char DEVENUM_CACHE[] =
    "Software\\Microsoft\\ActiveMovie\\devenum\\{083863F1-70DE-11D0-BD40-00A0C911CE86}";

bool is_dmo(const Plug &p) { return p.how == DMO || p.how == DMO_KEYED || p.how == DMO_DECODER; }
std::string sz(const char *utf8) { return fx_w_bytes(utf8) + std::string(2, '\0'); }
std::string dmo_key(const Plug &p) { return std::string(p.clsid + 1, 36); }
std::string instance_key(const Plug &p)
{
    return std::string(MAPPER_INSTANCE_PATH "\\") + (p.instance ? p.instance : p.clsid);
}
// The key name its row holds: its mapper instance's or its DMO key's.
std::string listed_key(const Plug &p)
{
    if (is_dmo(p)) return dmo_key(p);
    return p.how == OLD ? "" : instance_key(p).substr(sizeof MAPPER_INSTANCE_PATH);
}
std::string guid_text(const GUID &g)
{
    WCHAR text[40];
    return fx_utf8(text, StringFromGUID2(g, text, 40) - 1);
}

// Every key, below HKCR, a registration of any form may have.
std::vector<std::string> keys_of(const Plug &p)
{
    const std::string c = p.clsid, dmo = dmo_key(p);
    return {"Filter\\" + c, "CLSID\\" + c, instance_key(p), DMO_ROOT_PATH "\\" + dmo,
            DMO_AUDIO_EFFECTS_PATH "\\" + dmo, DECODER_CATEGORY_PATH + ("\\" + dmo)};
}

// Those of them there, exactly as stored.
std::string registration_dump(const Plug &p)
{
    std::string out;
    for (const std::string &path : keys_of(p)) {
        std::string dump = fx_dump_exact(HKEY_CLASSES_ROOT, path.c_str(), KEY_WOW64_64KEY);
        if (!dump.empty()) out += path + ":\n" + dump;
    }
    return out;
}

template <class T> struct Com {
    T *p = nullptr;
    ~Com() { if (p) p->Release(); }
    T *operator->() const { return p; }
    void **out() { return reinterpret_cast<void **>(&p); }
};

// The filters the mapper offers a host for an audio input and output, at
// the lowest merit a host asks for, media types not matched exactly.
std::set<std::string> mapper_offers()
{
    std::set<std::string> out;
    Com<IFilterMapper2> mapper;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IFilterMapper2, mapper.out()),
              S_OK);
    if (!mapper.p) return out;
    GUID audio[2] = {MEDIATYPE_Audio, GUID_NULL};
    Com<IEnumMoniker> found;
    EXPECT_EQ(mapper->EnumMatchingFilters(&found.p, 0, FALSE, MERIT_DO_NOT_USE, TRUE, 1, audio,
                                          nullptr, nullptr, FALSE, TRUE, 1, audio, nullptr,
                                          nullptr),
              S_OK);
    IMoniker *moniker = nullptr;
    while (found.p && found->Next(1, &moniker, nullptr) == S_OK) {
        Com<IPropertyBag> bag;
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.out())) &&
            SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR)
            out.insert(fx_utf8(v.bstrVal, SysStringLen(v.bstrVal)));
        VariantClear(&v);
        moniker->Release();
    }
    return out;
}

// The audio effects DMOEnum offers.
std::set<std::string> dmo_offers(DWORD flags)
{
    std::set<std::string> out;
    Com<IEnumDMO> found;
    EXPECT_EQ(DMOEnum(DMOCATEGORY_AUDIO_EFFECT, flags, 0, nullptr, 0, nullptr, &found.p), S_OK);
    CLSID clsid;
    WCHAR *name = nullptr;
    DWORD got = 0;
    while (found.p && found->Next(1, &clsid, &name, &got) == S_OK && got == 1) {
        out.insert(guid_text(clsid));
        CoTaskMemFree(name);
    }
    return out;
}

// Registers the plug-in as its own DLL would: its class key, then the
// platform's registration functions.
void register_plug(IFilterMapper2 *mapper, IFilterMapper *old, const Plug &p)
{
    const std::string cls = "CLSID\\" + std::string(p.clsid);
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, REG_SZ, sz(p.name)));
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr,
                               REG_SZ, sz(DLL)));
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromString(fx_w(p.clsid).c_str(), &clsid), S_OK);
    const FxWString name = fx_w(p.name);
    if (is_dmo(p)) {
        const DMO_PARTIAL_MEDIATYPE in[2] = {{*p.in_major, MEDIASUBTYPE_PCM},
                                             {*p.in_major, MEDIASUBTYPE_IEEE_FLOAT}};
        const DMO_PARTIAL_MEDIATYPE out = {*p.out_major, MEDIASUBTYPE_PCM};
        const GUID &category =
            p.how == DMO_DECODER ? DMOCATEGORY_AUDIO_DECODER : DMOCATEGORY_AUDIO_EFFECT;
        EXPECT_EQ(DMORegister(name.c_str(), clsid, category,
                              p.how == DMO_KEYED ? DMO_REGISTERF_IS_KEYED : 0, 2, in, 1, &out),
                  S_OK) << p.name;
        return;
    }
    // An input pin takes its major type with two subtypes, an output pin
    // with any subtype.
    const REGPINTYPES in_types[2] = {{p.in_major, &MEDIASUBTYPE_PCM},
                                     {p.in_major, &MEDIASUBTYPE_IEEE_FLOAT}};
    const REGPINTYPES out_types[1] = {{p.out_major, &GUID_NULL}};
    if (p.how == OLD || p.how == BOTH) {
        EXPECT_EQ(old->RegisterFilter(clsid, name.c_str(), p.merit), S_OK);
        for (BOOL out : {FALSE, TRUE})
            EXPECT_EQ(old->RegisterPin(clsid, out ? L"Out" : L"In", FALSE, out, FALSE, FALSE,
                                       CLSID_NULL, nullptr),
                      S_OK);
        for (const REGPINTYPES &t : in_types)
            EXPECT_EQ(old->RegisterPinType(clsid, L"In", *t.clsMajorType, *t.clsMinorType), S_OK);
        EXPECT_EQ(old->RegisterPinType(clsid, L"Out", *p.out_major, MEDIASUBTYPE_PCM), S_OK);
        if (p.how == OLD) return;
    }
    REGFILTER2 filter = {p.how == V1 ? 1u : 2u, p.merit, {}};
    // Wine 8's mapper looks for each GUID among the bytes it wrote so far
    // and may take one that runs on past them: 16 zero bytes after a medium
    // ending in zeros. The medium ends in a non-zero byte, so that what it
    // writes does not depend on what its heap holds.
    const REGPINMEDIUM medium = {{0x7E57D5F1, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}}, 0x11, 0x7E57D5F2};
    REGFILTERPINS v1_pins[2] = {};
    REGFILTERPINS2 pins[2] = {};
    ULONG count = 0;
    for (int out = 0; out < 2; out++) {
        if ((out ? p.out_major : p.in_major) == nullptr) continue;
        const ULONG types = out ? 1 : 2;
        const REGPINTYPES *type = out ? out_types : in_types;
        v1_pins[count] = {const_cast<LPWSTR>(out ? L"Out" : L"In"), FALSE, out, FALSE, FALSE,
                          &CLSID_NULL, nullptr, types, type};
        const DWORD flags = out ? REG_PINFLAG_B_OUTPUT : 0;
        pins[count++] = {flags, 1, types, type, out ? 0u : 1u, out ? nullptr : &medium, nullptr};
    }
    // The two versions share the place of their pin count and pins.
    if (p.how == V1) {
        filter.cPins = count;
        filter.rgPins = v1_pins;
    } else {
        filter.cPins2 = count;
        filter.rgPins2 = pins;
    }
    EXPECT_EQ(mapper->RegisterFilter(clsid, name.c_str(), nullptr, &CLSID_LegacyAmFilterCategory,
                                     p.instance ? fx_w(p.instance).c_str() : nullptr, &filter),
              S_OK) << p.name;
}

class DirectShowForms : public ::testing::Test {
protected:
    void SetUp() override
    {
        clean();
        com_ = SUCCEEDED(CoInitialize(nullptr));
        ASSERT_TRUE(com_);
        ASSERT_EQ(catalogue_init(), 1);
        Com<IFilterMapper2> mapper;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFilterMapper2, mapper.out()), S_OK);
        Com<IFilterMapper> old;
        ASSERT_EQ(mapper->QueryInterface(IID_IFilterMapper, old.out()), S_OK);
        for (const Plug &p : PLUGS) register_plug(mapper.p, old.p, p);
    }
    void TearDown() override
    {
        catalogue_destroy();
        clean();
        if (com_) CoUninitialize();
    }
    static void clean()
    {
        for (const Plug &p : PLUGS) {
            std::vector<std::string> keys = keys_of(p);
            for (const char *root : {STORE_ROOT_PATH, STORE64_ROOT_PATH})
                keys.push_back(std::string(root) + "\\" + p.clsid);
            for (const std::string &key : keys)
                for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                    fx_delete_tree_exact(HKEY_CLASSES_ROOT, key.c_str(), view);
            const std::string cached = std::string(DEVENUM_CACHE) + "\\" + p.clsid;
            fx_delete_tree_exact(HKEY_CURRENT_USER, cached.c_str());
        }
    }
    // The rows of the class after a rebuild.
    static std::vector<int> rows_of(const char *clsid)
    {
        rebuild_catalogue();
        std::vector<int> rows;
        for (uint32_t i = 1; i <= catalogue_count(); i++)
            if (_stricmp(catalogue_get(static_cast<int>(i))->clsid_text, clsid) == 0)
                rows.push_back(static_cast<int>(i));
        return rows;
    }
    static int row(const Plug &p)
    {
        std::vector<int> rows = rows_of(p.clsid);
        return rows.size() == 1 ? rows[0] : 0;
    }
    // Every listed plug-in is offered and every other as the table says.
    static void expect_offers(bool listed_offered)
    {
        const std::set<std::string> filters = mapper_offers();
        const std::set<std::string> dmos = dmo_offers(DMO_ENUMF_INCLUDE_KEYED);
        for (const Plug &p : PLUGS) {
            bool expected = p.listed_as ? listed_offered : p.offered;
            EXPECT_EQ((is_dmo(p) ? dmos : filters).count(p.clsid), expected ? 1u : 0u) << p.name;
        }
    }
    bool com_ = false;
};

TEST_F(DirectShowForms, ListedOnceWithItsFormsWhereTheEnumeratorsOfferIt)
{
    // First what the platform offers a host; then the list, which must not
    // be moved by what the enumerators write as they go.
    expect_offers(true);
    const std::set<std::string> unkeyed = dmo_offers(0);
    EXPECT_EQ(unkeyed.count(PLUGS[8].clsid), 1u);
    EXPECT_EQ(unkeyed.count(PLUGS[9].clsid), 0u) << "a keyed DMO is offered only when asked for";

    for (const Plug &p : PLUGS) {
        std::vector<int> rows = rows_of(p.clsid);
        if (p.listed_as == nullptr) {
            EXPECT_EQ(rows.size(), 0u) << p.name;
            continue;
        }
        ASSERT_EQ(rows.size(), 1u) << p.name;
        const PlugEntry *e = catalogue_get(rows[0]);
        EXPECT_EQ(e->bits, 64) << p.name;
        EXPECT_EQ(e->disabled, 0) << p.name;
        EXPECT_EQ(e->type, is_dmo(p) ? PLUG_TYPE_DMO : PLUG_TYPE_DIRECTX) << p.name;
        EXPECT_STREQ(form_text(e), p.listed_as) << p.name;
        EXPECT_STREQ(e->name, p.name);
        EXPECT_STREQ(e->dll_path, DLL) << p.name;
        EXPECT_EQ(e->key_name, listed_key(p)) << p.name;
    }
    const int named = row(PLUGS[1]);
    ASSERT_GT(named, 0);
    EXPECT_STREQ(catalogue_get(named)->key_name, "My Instance");

    // Wine's own filters: the ACM Wrapper, the MPEG decoders (merit above
    // the limit) and the SampleGrabber (wildcard pins) are offered, never
    // listed.
    const char *const own[] = {"{6A08CF80-0E18-11CF-A24D-0020AFD79767}",
                               "{4A2286E0-7BEF-11CE-9BD9-0000E202599C}",
                               "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}",
                               "{C1F400A0-3F08-11D3-9F0B-006008039E37}"};
    const std::set<std::string> filters = mapper_offers();
    int present = 0;
    for (const char *clsid : own) {
        const std::string instance = MAPPER_INSTANCE_PATH "\\" + std::string(clsid);
        if (!fx_key_exists(HKEY_CLASSES_ROOT, instance.c_str())) continue;
        present++;
        EXPECT_EQ(filters.count(clsid), 1u) << clsid;
        EXPECT_EQ(rows_of(clsid).size(), 0u) << clsid;
    }
    EXPECT_GE(present, 3);
    // Wine's own Resampler DMO is an audio effect: listed as one, if at all.
    for (int r : rows_of("{F447B69E-1884-4A7E-8055-346F74D6EDB3}"))
        EXPECT_EQ(catalogue_get(r)->type, PLUG_TYPE_DMO);
}

TEST_F(DirectShowForms, DisableHidesFromTheEnumeratorsAndEnableGivesBackEveryByte)
{
    std::vector<std::string> before;
    for (const Plug &p : PLUGS) {
        before.push_back(registration_dump(p));
        if (p.listed_as == nullptr) continue;
        // Each form's key is really there to be moved.
        const char *essential = is_dmo(p) ? "InputTypes" : "InprocServer32";
        EXPECT_NE(before.back().find(essential), std::string::npos) << p.name;
        const std::string forms = p.listed_as;
        if (forms.find("mapper") != std::string::npos) {
            EXPECT_NE(before.back().find("FilterData"), std::string::npos) << p.name;
        }
        if (forms.find("filter") == 0) {
            EXPECT_NE(before.back().find("Pins\\In\\Types"), std::string::npos) << p.name;
        }
        PlugOutcome o;
        ASSERT_EQ(disable_plug(row(p), &o), 1) << p.name << " why " << o.why << " " << o.key;
        EXPECT_EQ(o.status, PLUG_DONE) << p.name;
        EXPECT_EQ(registration_dump(p), "") << p.name;
    }
    expect_offers(false);
    for (size_t n = 0; n < sizeof PLUGS / sizeof PLUGS[0]; n++) {
        const Plug &p = PLUGS[n];
        if (p.listed_as == nullptr) continue;
        const int i = row(p);
        ASSERT_GT(i, 0) << p.name;
        EXPECT_EQ(catalogue_get(i)->disabled, 1) << p.name;
        EXPECT_STREQ(form_text(catalogue_get(i)), p.listed_as) << p.name;
        EXPECT_EQ(catalogue_get(i)->key_name, listed_key(p)) << p.name;
        PlugOutcome o;
        EXPECT_EQ(enable_plug(i, &o), 1) << p.name << " why " << o.why << " " << o.key;
        EXPECT_EQ(registration_dump(p), before[n]) << p.name;
    }
    expect_offers(true);
}

TEST_F(DirectShowForms, RemovedWithABackupTheRegistryImporterBringsThemBack)
{
    std::vector<std::string> before;
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    const std::string file = std::string(dir) + "mp_dsforms.reg";
    std::string command = "\"" + program_path("manage-plugins-cli.exe") +
                          "\" remove --yes --backup \"" + file + "\"";
    for (const Plug &p : PLUGS) {
        before.push_back(registration_dump(p));
        if (p.listed_as) command += std::string(" ") + p.clsid;
    }
    ASSERT_EQ(run_and_wait(command), 0) << command;
    for (const Plug &p : PLUGS) {
        if (p.listed_as) {
            EXPECT_EQ(registration_dump(p), "") << p.name;
        }
    }
    expect_offers(false);

    EXPECT_EQ(run_and_wait("reg.exe import \"" + file + "\""), 0);
    for (size_t n = 0; n < sizeof PLUGS / sizeof PLUGS[0]; n++)
        EXPECT_EQ(registration_dump(PLUGS[n]), before[n]) << PLUGS[n].name;
    expect_offers(true);
    for (const Plug &p : PLUGS) {
        if (p.listed_as) {
            EXPECT_GT(row(p), 0) << p.name;
        }
    }
    DeleteFileA(file.c_str());
}

TEST_F(DirectShowForms, TheWindowShowsEachWithItsType)
{
    rebuild_catalogue();
    const int count = static_cast<int>(catalogue_count());
    Launched window;
    ASSERT_TRUE(launch(&window));
    HWND list = FindWindowExA(window.window, nullptr, "SysListView32", nullptr);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(wait_for_rows(list, count), count);
    std::set<std::string> shown;
    for (int r = 0; r < count; r++)
        shown.insert(remote_cell(window.process.hProcess, list, r, 0) + "|" +
                     remote_cell(window.process.hProcess, list, r, 1));
    for (const Plug &p : PLUGS) {
        const char *type = is_dmo(p) ? "DMO" : "Direct-X";
        EXPECT_EQ(shown.count(std::string(p.name) + "|" + type), p.listed_as ? 1u : 0u) << p.name;
    }
    EXPECT_EQ(close_and_wait(&window), 0u);
}

} // namespace
