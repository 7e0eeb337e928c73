// No registration is lost, whatever fails part of the way: every registry
// call of disable, enable and remove is made to fail in turn (fault sweep),
// and random seeded sequences of operations and rebuilds run with occasional
// injected faults (model-based sequences). Both run under the Windows 7 and
// the Wine 8 sharing rules, with classes registered in one registry view or
// in both, holding text outside code page 1252 and a link back at their own
// class key. After each run every key and value of every registration must
// still exist, byte for byte and name for name, live or in the disabled
// store, unless a remove reached it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/scopes.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

typedef std::set<std::string> Items;

REGSAM view_of(int bits) { return bits == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::string store_entry(const std::string &clsid, int bits)
{
    return std::string(bits == 32 ? STORE_ROOT_PATH : STORE64_ROOT_PATH) + "\\" + clsid;
}

// A dump as a set of items: each key, and each value together with its key.
Items flatten(const std::string &tag, const std::string &dump)
{
    Items out;
    std::string key;
    size_t start = 0;
    while (start < dump.size()) {
        size_t end = dump.find('\n', start);
        if (end == std::string::npos) end = dump.size();
        std::string line = dump.substr(start, end - start);
        if (!line.empty() && line[0] == '[') {
            key = line;
            out.insert(tag + key);
        } else {
            out.insert(tag + key + line);
        }
        start = end + 1;
    }
    return out;
}

// The line of one value in an exact dump of its key.
Items value_item(const std::string &dump, const std::string &name)
{
    const std::string head = "  \"" + name + "\" ";
    for (size_t at = dump.find(head); at != std::string::npos; at = dump.find(head, at + 1)) {
        if (at != 0 && dump[at - 1] != '\n') continue;
        return Items{"V" + dump.substr(at, dump.find('\n', at) - at)};
    }
    return Items();
}

bool subset(const Items &a, const Items &b)
{
    for (const std::string &i : a)
        if (!b.count(i)) return false;
    return true;
}

// The parts a registration can have, in one view. A key part is kept in
// the store entry under its path below HKCR; the VS3Effects value exactly
// in the entry's "VS3Effects" subkey.
enum PartKind { FILTER_PART, CLSID_PART, VS3_PART, INSTANCE_PART, DMO_PART, CATEGORY_PART };

// A DMO's key names are its class identifier without braces.
std::string bare(const std::string &clsid) { return clsid.substr(1, clsid.size() - 2); }

std::string part_path(PartKind kind, const std::string &clsid)
{
    switch (kind) {
    case FILTER_PART: return "Filter\\" + clsid;
    case CLSID_PART: return "CLSID\\" + clsid;
    case INSTANCE_PART: return MAPPER_INSTANCE_PATH "\\Sweep " + clsid;
    case DMO_PART: return DMO_ROOT_PATH "\\" + bare(clsid);
    default: return DMO_AUDIO_EFFECTS_PATH "\\" + bare(clsid);
    }
}

// The root of the scope whose classes the parts and the store are below.
HKEY scope_root_of_case = HKEY_LOCAL_MACHINE;

std::string in_classes(const std::string &path) { return "Software\\Classes\\" + path; }

Items live_items(PartKind kind, const std::string &clsid, int bits)
{
    const REGSAM view = view_of(bits);
    if (kind == VS3_PART)
        return value_item(fx_dump_exact(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, view), clsid);
    return flatten(std::to_string(kind),
                   fx_dump_exact(scope_root_of_case, in_classes(part_path(kind, clsid)).c_str(),
                                 view));
}

Items store_items(PartKind kind, const std::string &clsid, int bits)
{
    const std::string entry = in_classes(store_entry(clsid, bits));
    if (kind == VS3_PART)
        return value_item(fx_dump_exact(scope_root_of_case, (entry + "\\VS3Effects").c_str(),
                                        KEY_WOW64_64KEY),
                          clsid);
    return flatten(std::to_string(kind),
                   fx_dump_exact(scope_root_of_case,
                                 (entry + "\\" + part_path(kind, clsid)).c_str(), KEY_WOW64_64KEY));
}

struct Part {
    PartKind kind;
    std::string clsid;
    int bits;
    Items original;
    bool may_be_gone; // a remove reached it
};

// Every item exists unchanged live or in the store; nothing in either place
// differs from the original.
std::string check_part(const Part &p, const Items &live, const Items &store)
{
    if (!subset(live, p.original)) return "live copy altered";
    if (!subset(store, p.original)) return "saved copy altered";
    if (p.may_be_gone) return "";
    for (const std::string &item : p.original)
        if (!live.count(item) && !store.count(item)) return "lost " + item.substr(0, 120);
    return "";
}

// UTF-16 text with its terminator, as value data.
std::string sz(const std::string &utf8) { return fx_w_bytes(utf8) + std::string(2, '\0'); }

// The ordinary fixtures, written as a process of the view's bits would.
struct AsProcess {
    explicit AsProcess(int bits) { fakereg_set_process_bits(bits); }
    ~AsProcess() { fakereg_set_process_bits(64); }
};

// A registration as varied as the copy has to carry: a subtree three levels
// deep, a default value, a value over 1 KB, a multi-string, a text stored
// without its terminator, names and text outside code page 1252, and a link
// inside the class key back at the class key itself.
void add_extras(const std::string &clsid, bool filter, size_t blob_size, int bits)
{
    const REGSAM v = view_of(bits);
    const std::string cls = "CLSID\\" + clsid;
    const std::string deep = cls + "\\Settings\\Deep\\Deeper";
    std::string blob(blob_size, '\0');
    for (size_t i = 0; i < blob.size(); i++) blob[i] = static_cast<char>(i * 31 + 7);
    fx_set_exact_w(HKEY_CLASSES_ROOT, deep.c_str(), "Blob", REG_BINARY, blob, v);
    fx_set_exact_w(HKEY_CLASSES_ROOT, deep.c_str(), "Multi", REG_MULTI_SZ, sz("a") + sz("bc") + sz(""), v);
    fx_set_exact_w(HKEY_CLASSES_ROOT, deep.c_str(), "Bare", REG_SZ, fx_w_bytes("no terminator"), v);
    fx_set_exact_w(HKEY_CLASSES_ROOT, deep.c_str(), nullptr, REG_SZ, sz("deep default"), v);
    fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\Łukasz Ωmega\\Жук 日本").c_str(), "日本", REG_SZ,
                   sz("C:\\Жук\\Łukasz.dll"), v);
    fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), "Ωmega", REG_EXPAND_SZ, sz("%Жук% 日本"), v);
    const std::string own = bits == 32 ? "Wow6432Node\\" : "";
    fx_create_link(HKEY_CLASSES_ROOT, (cls + "\\Loop").c_str(),
                   ("\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\" + own + cls).c_str(), v);
    if (filter) {
        const std::string f = "Filter\\" + clsid;
        fx_set_exact_w(HKEY_CLASSES_ROOT, f.c_str(), nullptr, REG_SZ, sz("f"), v);
        fx_set_exact_w(HKEY_CLASSES_ROOT, f.c_str(), "Data", REG_BINARY,
                       blob.substr(0, blob_size * 3 / 4), v);
        fx_set_exact_w(HKEY_CLASSES_ROOT, f.c_str(), "Łukasz", REG_SZ, sz("Жук"), v);
    }
}

void directx_plug(const char *clsid, const char *name, size_t blob_size, int bits)
{
    {
        AsProcess as(bits);
        fx_directx_filter(clsid, name, "C:\\fx\\dx.dll");
    }
    add_extras(clsid, true, blob_size, bits);
}

void vs3_value(const char *clsid, const char *name, int bits)
{
    fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid, REG_SZ,
                   sz(std::string(name) + " Жук 日本"), view_of(bits));
}

void vs3_plug(const char *clsid, const char *name, size_t blob_size, int bits)
{
    {
        AsProcess as(bits);
        fx_vs3_effect(clsid, name, "CVS3ThingFactory Class", "C:\\fx\\vs3.dll");
    }
    vs3_value(clsid, name, bits);
    add_extras(clsid, false, blob_size, bits);
}

// The mapper's form beside a filter, and a DMO, as their platform
// registrations write them, with extras in every key.
void mapper_form(const char *clsid, int bits)
{
    fx_mapper_filter(clsid, (std::string("Sweep ") + clsid).c_str(), nullptr, "Sweep Жук",
                     fx_audio_filter_data(0x200000), "C:\\fx\\dx.dll", view_of(bits));
}

void dmo_plug(const char *clsid, const char *name, size_t blob_size, int bits)
{
    fx_dmo(bare(clsid).c_str(), name, "C:\\fx\\dmo.dll", view_of(bits));
    add_extras(clsid, false, blob_size, bits);
}

std::vector<Part> parts_of(const std::string &clsid, const std::vector<PartKind> &kinds, int bits)
{
    std::vector<Part> parts;
    for (PartKind kind : kinds)
        parts.push_back(Part{kind, clsid, bits, live_items(kind, clsid, bits), false});
    return parts;
}

std::vector<Part> parts_of(const std::string &clsid, bool filter, bool vs3, int bits)
{
    std::vector<PartKind> kinds;
    if (filter) kinds.push_back(FILTER_PART);
    kinds.push_back(CLSID_PART);
    if (vs3) kinds.push_back(VS3_PART);
    return parts_of(clsid, kinds, bits);
}

// The parts a row of this type owns.
bool owns(int type, PartKind kind)
{
    if (kind == CLSID_PART) return true;
    if (type == PLUG_TYPE_DMO) return kind == DMO_PART || kind == CATEGORY_PART;
    return type == PLUG_TYPE_DIRECTX ? kind == FILTER_PART || kind == INSTANCE_PART
                                     : kind == VS3_PART;
}

bool complete_live(const Part &p)
{
    return subset(p.original, live_items(p.kind, p.clsid, p.bits));
}
bool complete_saved(const Part &p)
{
    return subset(p.original, store_items(p.kind, p.clsid, p.bits));
}

bool key_in(HKEY root, const std::string &path, REGSAM view)
{
    KeyGuard key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.out()) == ERROR_SUCCESS;
}

const char *machine_name(FakeMachine m) { return m == FAKE_WIN64_WIN7 ? "Windows 7" : "Wine 8"; }

const FakeMachine MACHINES[] = {FAKE_WIN64_WIN7, FAKE_WIN64_WINE8};

class Reliability : public RegistryOpsTest {
protected:
    void TearDown() override
    {
        fakereg_set_machine(FAKE_WIN64_WIN7);
        fakereg_set_process_bits(64);
        RegistryOpsTest::TearDown();
    }
};

// ---- fault sweep ---------------------------------------------------------

enum Op { DISABLE, ENABLE, REMOVE };

struct SweepCase {
    const char *what;
    int type;
    Op op;
    int start_disabled;
    int bits;        // the view of the row acted on
    bool both_views; // the class is registered in the other view as well
    int32_t forms = 0; // REG_FORM_*: 0 for the type's only or old form
    bool user = false; // registered for the user: its class keys in the user's classes
};

// What a user's registration must never change: the machine's places.
std::string machine_before;

const char SWEEP_DX[] = "{5EE9D100-0000-4000-8000-0000000000D1}";
const char SWEEP_VS[] = "{5EE9D200-0000-4000-8000-0000000000D2}";
const char SWEEP_DMO[] = "{5EE9D300-0000-4000-8000-0000000000D3}";

// Builds the case's starting state; returns the original parts, those of
// the row acted on first.
std::vector<Part> sweep_setup(const SweepCase &c, bool want_parts = true)
{
    fakereg_reset();
    plug_list_reset(&catalogue);
    const bool dx = c.type == PLUG_TYPE_DIRECTX, dmo = c.type == PLUG_TYPE_DMO;
    const char *clsid = dx ? SWEEP_DX : dmo ? SWEEP_DMO : SWEEP_VS;
    const char *name = dx ? "Sweep DX Łukasz" : "Sweep VS3 Жук";
    std::vector<PartKind> kinds;
    if (dx && c.forms != REG_FORM_MAPPER) kinds.push_back(FILTER_PART);
    kinds.push_back(CLSID_PART);
    if (dx && (c.forms & REG_FORM_MAPPER)) kinds.push_back(INSTANCE_PART);
    if (dmo) kinds.insert(kinds.end(), {DMO_PART, CATEGORY_PART});
    // A user's VS3 effect is its class key; the effects list is the machine's.
    if (!dx && !dmo && !c.user) kinds.push_back(VS3_PART);
    scope_root_of_case = c.user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    std::vector<Part> parts;
    const int other = c.bits == 32 ? 64 : 32;
    for (int bits : {c.bits, other}) {
        if (bits != c.bits && !c.both_views) continue;
        if (dx) directx_plug(clsid, name, 1500, bits);
        else if (dmo) dmo_plug(clsid, name, 1500, bits);
        else vs3_plug(clsid, name, 1500, bits);
        if (c.forms & REG_FORM_MAPPER) mapper_form(clsid, bits);
        if (c.forms == REG_FORM_MAPPER)
            fx_delete_tree_exact(HKEY_CLASSES_ROOT, part_path(FILTER_PART, clsid).c_str(),
                                 view_of(bits));
        for (PartKind kind : {FILTER_PART, CLSID_PART, INSTANCE_PART, DMO_PART, CATEGORY_PART})
            if (c.user) fx_move_to_user(part_path(kind, clsid), view_of(bits));
    }
    for (int bits : {c.bits, other}) {
        if (bits != c.bits && !c.both_views) continue;
        if (!want_parts) break;
        for (const Part &p : parts_of(clsid, kinds, bits)) parts.push_back(p);
    }
    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = c.type;
    e.bits = c.bits;
    e.forms = c.forms;
    e.scope = c.user ? PLUG_SCOPE_USER : PLUG_SCOPE_MACHINE;
    if (c.forms & REG_FORM_MAPPER) snprintf(e.key_name, sizeof e.key_name, "Sweep %s", clsid);
    if (dmo) snprintf(e.key_name, sizeof e.key_name, "%s", bare(clsid).c_str());
    snprintf(e.name, sizeof e.name, "%s", name);
    snprintf(e.clsid_text, sizeof e.clsid_text, "%s", clsid);
    parse_clsid_text(e.clsid_text, e.clsid);
    plug_list_append(&catalogue, &e);
    if (c.start_disabled) disable_plug(1);
    machine_before = c.user ? fx_scope_dump(HKEY_LOCAL_MACHINE, clsid, bare(clsid)) : "";
    return parts;
}

int run_op(Op op)
{
    if (op == DISABLE) return disable_plug(1);
    if (op == ENABLE) return enable_plug(1);
    return remove_plug(1);
}

// What must hold after one run; empty when it does.
std::string sweep_check(const SweepCase &c, const std::vector<Part> &parts)
{
    if (fakereg_open_handles() != 0) return "handle left open";
    if (c.user) {
        const std::string clsid = catalogue_get(1)->clsid_text;
        if (fx_scope_dump(HKEY_LOCAL_MACHINE, clsid, bare(clsid)) != machine_before)
            return "a user's registration changed the machine's places";
    }
    const int flag = catalogue_get(1)->disabled;
    for (const Part &p : parts) {
        const Items live = live_items(p.kind, p.clsid, p.bits);
        const Items store = store_items(p.kind, p.clsid, p.bits);
        const bool whole_live = subset(p.original, live), whole_saved = subset(p.original, store);
        Part q = p;
        const bool acted = p.bits == c.bits;
        // A remove may delete what it reaches, but never alters anything;
        // the other view's registration it never reaches.
        q.may_be_gone = c.op == REMOVE && acted;
        std::string why = check_part(q, live, store);
        if (!why.empty())
            return std::to_string(p.bits) + "-bit part " + std::to_string(p.kind) + ": " + why;
        if (!acted) {
            if (!whole_live) return "the other view's registration is incomplete";
            continue;
        }
        if (c.op == REMOVE) {
            if (flag != c.start_disabled) return "remove changed the flag";
            // Only the side remove works on may lose anything.
            if (c.start_disabled && !whole_live && !live.empty())
                return "remove of a saved copy touched the live side";
            if (!c.start_disabled && !whole_saved && !store.empty())
                return "remove of a live registration touched the store";
            continue;
        }
        if (flag == 1 && !whole_saved) return "flag 1 but the saved copy is incomplete";
        if (flag == 0 && !whole_live) return "flag 0 but the live registration is incomplete";
    }
    return "";
}

TEST_F(Reliability, FaultSweep)
{
    // Each operation on each type once per machine, in one view or the other,
    // with and without the class registered in the other view too.
    const SweepCase cases[] = {
        {"disable DirectX", PLUG_TYPE_DIRECTX, DISABLE, 0, 32, false},
        {"disable VS3", PLUG_TYPE_VS3, DISABLE, 0, 64, true},
        {"enable DirectX", PLUG_TYPE_DIRECTX, ENABLE, 1, 64, true},
        {"enable VS3", PLUG_TYPE_VS3, ENABLE, 1, 32, false},
        {"remove live DirectX", PLUG_TYPE_DIRECTX, REMOVE, 0, 32, true},
        {"remove live VS3", PLUG_TYPE_VS3, REMOVE, 0, 64, false},
        {"remove disabled DirectX", PLUG_TYPE_DIRECTX, REMOVE, 1, 64, false},
        {"remove disabled VS3", PLUG_TYPE_VS3, REMOVE, 1, 32, true},
        {"disable filter+mapper", PLUG_TYPE_DIRECTX, DISABLE, 0, 64, true, REG_FORM_FILTER | REG_FORM_MAPPER},
        {"enable mapper", PLUG_TYPE_DIRECTX, ENABLE, 1, 32, false, REG_FORM_MAPPER},
        {"remove live filter+mapper", PLUG_TYPE_DIRECTX, REMOVE, 0, 32, true, REG_FORM_FILTER | REG_FORM_MAPPER},
        {"disable DMO", PLUG_TYPE_DMO, DISABLE, 0, 32, true, REG_FORM_DMO},
        {"enable DMO", PLUG_TYPE_DMO, ENABLE, 1, 64, false, REG_FORM_DMO},
        {"remove live DMO", PLUG_TYPE_DMO, REMOVE, 0, 64, true, REG_FORM_DMO},
        {"disable the user's DirectX", PLUG_TYPE_DIRECTX, DISABLE, 0, 64, false, 0, true},
        {"enable the user's mapper", PLUG_TYPE_DIRECTX, ENABLE, 1, 64, false, REG_FORM_MAPPER, true},
        {"disable the user's VS3", PLUG_TYPE_VS3, DISABLE, 0, 64, false, 0, true},
        {"enable the user's DMO", PLUG_TYPE_DMO, ENABLE, 1, 64, false, REG_FORM_DMO, true},
        {"remove the user's live DirectX", PLUG_TYPE_DIRECTX, REMOVE, 0, 64, false, 0, true},
    };
    // The calls that can answer "not found" or "more data" in earnest.
    const FakeRegFn can_be_missing[] = {FR_OPEN_KEY, FR_OPEN_KEY_EX, FR_QUERY_VALUE, FR_DELETE_KEY,
                                        FR_DELETE_VALUE};
    const FakeRegFn can_want_more[] = {FR_ENUM_VALUE, FR_ENUM_KEY, FR_ENUM_KEY_EX, FR_QUERY_VALUE};

    for (FakeMachine machine : MACHINES) {
        fakereg_set_machine(machine);
        unsigned long runs = 0, held = 0, lost = 0, fired = 0;
        for (const SweepCase &c : cases) {
            const std::string what = std::string(c.what) + ", " + std::to_string(c.bits) + "-bit" +
                                     (c.both_views ? " of two views" : "") + ", " +
                                     machine_name(machine);
            // The fault-free run: it must do the whole job, and it gives the
            // number of calls to fail in turn.
            std::vector<Part> parts = sweep_setup(c);
            ASSERT_EQ(catalogue_get(1)->disabled, c.start_disabled) << what;
            fakereg_reset_counts();
            ASSERT_EQ(run_op(c.op), 1) << what;
            unsigned long calls[FR_FN_COUNT + 1];
            for (int f = 0; f <= FR_FN_COUNT; f++) calls[f] = fakereg_calls(static_cast<FakeRegFn>(f));
            ASSERT_EQ(sweep_check(c, parts), "") << what;
            if (c.op != REMOVE) {
                ASSERT_EQ(catalogue_get(1)->disabled, c.op == DISABLE) << what;
            }
            for (const Part &p : parts) {
                if (c.op != REMOVE || p.bits != c.bits) continue;
                // A Filter key both views share stays while the other
                // view's class is live.
                const bool shared_filter =
                    p.kind == FILTER_PART && c.both_views && machine == FAKE_WIN64_WIN7;
                EXPECT_EQ(live_items(p.kind, p.clsid, p.bits).empty(), !shared_filter || c.start_disabled)
                    << what;
                EXPECT_TRUE(store_items(p.kind, p.clsid, p.bits).empty()) << what;
            }
            ASSERT_GT(calls[FR_ANY], 0u) << what;

            struct Fault {
                FakeRegFn fn;
                unsigned long nth;
                LONG code;
            };
            std::vector<Fault> faults;
            for (unsigned long k = 1; k <= calls[FR_ANY]; k++)
                faults.push_back({FR_ANY, k, ERROR_ACCESS_DENIED});
            for (FakeRegFn fn : can_be_missing)
                for (unsigned long k = 1; k <= calls[fn]; k++)
                    faults.push_back({fn, k, ERROR_FILE_NOT_FOUND});
            for (FakeRegFn fn : can_want_more)
                for (unsigned long k = 1; k <= calls[fn]; k++)
                    faults.push_back({fn, k, ERROR_MORE_DATA});

            for (const Fault &f : faults) {
                sweep_setup(c, false);
                fakereg_reset_counts();
                fakereg_fail_nth(f.fn, f.nth, f.code);
                run_op(c.op);
                fakereg_clear_faults();
                runs++;
                if (fakereg_calls(f.fn) >= f.nth) fired++;
                const std::string why = sweep_check(c, parts);
                if (why.empty()) {
                    held++;
                } else {
                    lost++;
                    ADD_FAILURE() << what << ": call " << f.nth << " of function " << f.fn
                                  << " failing with " << f.code << ": " << why;
                }
            }
        }
        printf("fault sweep, %s: %lu runs, %lu faults fired, %lu held, %lu lost\n",
               machine_name(machine), runs, fired, held, lost);
        EXPECT_EQ(lost, 0u);
        EXPECT_EQ(held, runs);
        EXPECT_EQ(fired, runs);
    }
}

// ---- model-based sequences -------------------------------------------------

struct ModelPlug {
    const char *clsid;
    const char *name;
    bool filter;
    bool vs3;
};

const ModelPlug MODEL_PLUGS[] = {
    {"{30DE1000-0000-4000-8000-000000000001}", "Model DX One", true, false},
    {"{30DE2000-0000-4000-8000-000000000002}", "Model DX Ωmega", true, false},
    {"{30DE3000-0000-4000-8000-000000000003}", "Model VS3 One", false, true},
    {"{30DE4000-0000-4000-8000-000000000004}", "Model VS3 日本", false, true},
    {"{30DE5000-0000-4000-8000-000000000005}", "Model Dual", true, true},
};

// What an operation reported, for the failure message.
std::string said(const PlugOutcome &o)
{
    char text[2048];
    describe_outcome(&o, text, sizeof text);
    return std::string(" [") + text + "]";
}

class Model {
public:
    explicit Model(unsigned seed) : rng_(seed) {}

    // Each plug-in in the 32-bit view, the 64-bit one or both, at random;
    // returns the number of rows the catalogue must show.
    unsigned setup()
    {
        fakereg_reset();
        unsigned rows = 0;
        for (const ModelPlug &p : MODEL_PLUGS) {
            const unsigned layout = rng_() % 3;
            for (int bits : {32, 64}) {
                if (layout != 2 && bits != (layout == 0 ? 32 : 64)) continue;
                rows += (p.filter ? 1 : 0) + (p.vs3 ? 1 : 0);
                if (p.filter) directx_plug(p.clsid, p.name, 80, bits);
                if (p.vs3 && p.filter) vs3_value(p.clsid, p.name, bits);
                if (p.vs3 && !p.filter) vs3_plug(p.clsid, p.name, 80, bits);
                for (const Part &part : parts_of(p.clsid, p.filter, p.vs3, bits))
                    parts_.push_back(part);
            }
        }
        rebuild_catalogue();
        return rows;
    }

    // One random step; returns what went wrong, or "".
    std::string step(std::string *did)
    {
        const unsigned count = catalogue_count();
        unsigned pick = rng_() % 10;
        if (count == 0) pick = 9;
        const int row = count ? static_cast<int>(1 + rng_() % count) : 0;
        fault_nth_ = rng_() % 4 == 0 ? 1 + rng_() % 60 : 0;
        *did = fault_nth_ ? "fault at call " + std::to_string(fault_nth_) + ", " : std::string();

        std::string why;
        if (pick <= 2) {
            why = do_disable(row, did);
        } else if (pick <= 5) {
            why = do_enable(row, did);
        } else if (pick == 6) {
            why = do_remove(row, did);
        } else {
            *did += "rebuild";
            arm();
            rebuild_catalogue();
            disarm();
        }
        fakereg_clear_faults();
        if (!why.empty()) return why;
        if (pick >= 6) why = check_rows();
        if (!why.empty()) return why;
        return check_all();
    }

    unsigned long faults_injected() const { return faults_injected_; }
    unsigned long faults_fired() const { return faults_fired_; }

private:
    // The fault is set only now, so that it hits the operation and not the
    // snapshots taken before it.
    void arm()
    {
        fakereg_reset_counts();
        if (fault_nth_) {
            fakereg_fail_nth(FR_ANY, fault_nth_, ERROR_ACCESS_DENIED);
            faults_injected_++;
        }
    }
    void disarm()
    {
        if (fault_nth_ && fakereg_calls(FR_ANY) >= fault_nth_) faults_fired_++;
        fakereg_clear_faults();
    }

    std::vector<const Part *> row_parts(const PlugEntry *e)
    {
        std::vector<const Part *> out;
        for (const Part &p : parts_)
            if (p.clsid == e->clsid_text && p.bits == e->bits && owns(e->type, p.kind) &&
                !p.may_be_gone)
                out.push_back(&p);
        return out;
    }

    std::string row_text(const PlugEntry *e)
    {
        return std::string(e->clsid_text) + " type " + std::to_string(e->type) + " " +
               std::to_string(e->bits) + "-bit";
    }

    std::string do_disable(int row, std::string *did)
    {
        PlugEntry *e = catalogue_get(row);
        *did += "disable " + row_text(e);
        const int before = e->disabled;
        std::vector<Items> live_before;
        for (const Part *p : row_parts(e)) live_before.push_back(live_items(p->kind, p->clsid, p->bits));
        arm();
        PlugOutcome o;
        disable_plug(row, &o);
        disarm();
        *did += said(o);
        e = catalogue_get(row);
        if (before == 1) return e->disabled == 1 ? "" : "disable cleared the flag";
        size_t i = 0;
        for (const Part *p : row_parts(e)) {
            if (e->disabled == 1 && !complete_saved(*p)) return "disabled, saved copy incomplete";
            if (e->disabled == 0 && live_items(p->kind, p->clsid, p->bits) != live_before[i])
                return "still live, but the live registration changed";
            i++;
        }
        return "";
    }

    std::string do_enable(int row, std::string *did)
    {
        PlugEntry *e = catalogue_get(row);
        *did += "enable " + row_text(e);
        const int before = e->disabled;
        const std::string entry = store_entry(e->clsid_text, e->bits);
        const std::string saved_before =
            fx_dump_exact(HKEY_CLASSES_ROOT, entry.c_str(), KEY_WOW64_64KEY);
        arm();
        PlugOutcome o;
        enable_plug(row, &o);
        disarm();
        *did += said(o);
        e = catalogue_get(row);
        if (before == 0) return e->disabled == 0 ? "" : "enable set the flag";
        if (e->disabled == 1)
            return fx_dump_exact(HKEY_CLASSES_ROOT, entry.c_str(), KEY_WOW64_64KEY) == saved_before
                       ? ""
                       : "still disabled, but the saved copy changed";
        for (const Part *p : row_parts(e))
            if (!complete_live(*p)) return "enabled, live registration incomplete";
        return "";
    }

    std::string do_remove(int row, std::string *did)
    {
        const PlugEntry e = *catalogue_get(row);
        *did += "remove " + row_text(&e) + (e.disabled ? " (disabled)" : " (live)");
        std::vector<bool> was_live;
        for (const Part &p : parts_) was_live.push_back(complete_live(p));
        arm();
        PlugOutcome o;
        remove_plug(row, &o);
        disarm();
        *did += said(o);
        for (size_t i = 0; i < parts_.size(); i++) {
            Part &p = parts_[i];
            if (p.clsid != e.clsid_text || p.bits != e.bits) continue;
            // Whatever the row owns may go, also a Filter key both views
            // share that stayed live for the other view's class; of a
            // disabled row, whatever its store entry held.
            if (owns(e.type, p.kind) || (e.disabled && !was_live[i])) p.may_be_gone = true;
        }
        // A Filter key whose class went with the remove belongs to nothing.
        for (Part &f : parts_)
            for (const Part &c : parts_)
                if (f.kind == FILTER_PART && c.kind == CLSID_PART && c.may_be_gone &&
                    c.clsid == f.clsid && c.bits == f.bits)
                    f.may_be_gone = true;
        // The list view rebuilds after every remove.
        rebuild_catalogue();
        return "";
    }

    // Each row shows where its registration was found, in its view.
    std::string check_rows()
    {
        for (unsigned i = 1; i <= catalogue_count(); i++) {
            const PlugEntry *e = catalogue_get(static_cast<int>(i));
            const std::string clsid = e->clsid_text;
            const REGSAM view = view_of(e->bits);
            if (e->disabled) {
                KeyGuard key;
                DWORD type = 0, len = sizeof type;
                if (RegOpenKeyExA(HKEY_CLASSES_ROOT, store_entry(clsid, e->bits).c_str(), 0,
                                  KEY_READ | KEY_WOW64_64KEY, key.out()) != ERROR_SUCCESS ||
                    RegQueryValueExA(key.get(), "type", nullptr, nullptr,
                                     reinterpret_cast<BYTE *>(&type), &len) != ERROR_SUCCESS ||
                    len != 4 || static_cast<int32_t>(type) != e->type)
                    return "row disabled, store entry missing or of another type";
            } else if (!key_in(HKEY_CLASSES_ROOT, "CLSID\\" + clsid, view)) {
                return "row live, class key missing in its view";
            } else if (e->type == PLUG_TYPE_DIRECTX) {
                // Its own view's Filter key, or the other's when it has none.
                if (!key_in(HKEY_CLASSES_ROOT, "Filter\\" + clsid, view) &&
                    !key_in(HKEY_CLASSES_ROOT, "Filter\\" + clsid,
                            view_of(e->bits == 32 ? 64 : 32)))
                    return "DirectX row live, filter key missing";
            } else if (value_item(fx_dump_exact(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, view), clsid)
                           .empty()) {
                return "VS3 row live, effects value missing";
            }
        }
        return "";
    }

    std::string check_all()
    {
        if (fakereg_open_handles() != 0) return "handle left open";
        for (const Part &p : parts_) {
            Items store = store_items(p.kind, p.clsid, p.bits);
            // One Filter key serves both views on Windows 7: it is saved with
            // whichever view's disable deleted it.
            if (p.kind == FILTER_PART && fakereg_machine() == FAKE_WIN64_WIN7) {
                const Items other = store_items(p.kind, p.clsid, p.bits == 32 ? 64 : 32);
                store.insert(other.begin(), other.end());
            }
            std::string why = check_part(p, live_items(p.kind, p.clsid, p.bits), store);
            if (!why.empty())
                return p.clsid + " " + std::to_string(p.bits) + "-bit part " +
                       std::to_string(p.kind) + ": " + why;
        }
        return "";
    }

    std::mt19937 rng_;
    std::vector<Part> parts_;
    unsigned long fault_nth_ = 0;
    unsigned long faults_injected_ = 0;
    unsigned long faults_fired_ = 0;
};

TEST_F(Reliability, ModelBasedSequences)
{
    scope_root_of_case = HKEY_LOCAL_MACHINE;
    const unsigned SEQUENCES = 25, STEPS = 40;
    for (FakeMachine machine : MACHINES) {
        fakereg_set_machine(machine);
        unsigned long injected = 0, fired = 0, broken = 0;
        for (unsigned seed = 1; seed <= SEQUENCES; seed++) {
            Model model(seed);
            plug_list_reset(&catalogue);
            const unsigned rows = model.setup();
            ASSERT_EQ(catalogue_count(), rows) << machine_name(machine) << ", seed " << seed;
            for (unsigned s = 0; s < STEPS; s++) {
                std::string did;
                const std::string why = model.step(&did);
                if (why.empty()) continue;
                // The rest of a sequence that went wrong would only repeat it.
                ADD_FAILURE() << machine_name(machine) << ", seed " << seed << ", step " << s
                              << ": " << did << ": " << why;
                broken++;
                break;
            }
            injected += model.faults_injected();
            fired += model.faults_fired();
        }
        printf("model-based sequences, %s: %u sequences of %u steps, %lu broken, %lu faults "
               "injected, %lu fired\n",
               machine_name(machine), SEQUENCES, STEPS, broken, injected, fired);
        // Sequences that never hit their fault would test the happy path only.
        EXPECT_GT(fired, 0u);
    }
}

} // namespace
