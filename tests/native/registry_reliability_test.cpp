// No registration is lost, whatever fails part of the way: every registry
// call of disable, enable and remove is made to fail in turn (fault sweep),
// and random seeded sequences of operations and rebuilds run with occasional
// injected faults (model-based sequences). After each run every key and
// value of every registration must still exist, unchanged, live or in the
// disabled store, unless a remove reached it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"
#include "tests/native/registry_fixture.h"

namespace {

typedef std::set<std::string> Items;

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

bool subset(const Items &a, const Items &b)
{
    for (const std::string &i : a)
        if (!b.count(i)) return false;
    return true;
}

// The three parts a registration can have. The VS3Effects value is saved as
// the store entry's "name" under "type" 2, so that is its stored form.
enum PartKind { FILTER_PART, CLSID_PART, VS3_PART };

Items live_items(PartKind kind, const std::string &clsid)
{
    if (kind == FILTER_PART)
        return flatten("F", fx_dump(HKEY_CLASSES_ROOT, ("Filter\\" + clsid).c_str()));
    if (kind == CLSID_PART)
        return flatten("C", fx_dump(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str()));
    DWORD type = 0;
    std::string data;
    if (!fx_get(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid.c_str(), &type, &data)) return Items();
    return Items{"V " + std::to_string(type) + " " + fx_hex(data)};
}

Items store_items(PartKind kind, const std::string &clsid)
{
    const std::string entry = fx_store_entry(clsid);
    if (kind == FILTER_PART)
        return flatten("F", fx_dump(HKEY_CLASSES_ROOT, (entry + "\\Filter\\" + clsid).c_str()));
    if (kind == CLSID_PART)
        return flatten("C", fx_dump(HKEY_CLASSES_ROOT, (entry + "\\CLSID\\" + clsid).c_str()));
    DWORD type = 0;
    std::string data;
    if (!fx_get(HKEY_CLASSES_ROOT, entry.c_str(), "type", &type, &data) ||
        data != std::string("\x02\0\0\0", 4))
        return Items();
    if (!fx_get(HKEY_CLASSES_ROOT, entry.c_str(), "name", &type, &data)) return Items();
    return Items{"V " + std::to_string(type) + " " + fx_hex(data)};
}

struct Part {
    PartKind kind;
    std::string clsid;
    Items original;
    bool may_be_gone; // a remove reached it
};

// Every item exists unchanged live or in the store; nothing in either place
// differs from the original.
std::string check_part(const Part &p)
{
    const Items live = live_items(p.kind, p.clsid);
    const Items store = store_items(p.kind, p.clsid);
    if (!subset(live, p.original)) return "live copy altered";
    if (!subset(store, p.original)) return "saved copy altered";
    if (p.may_be_gone) return "";
    for (const std::string &item : p.original)
        if (!live.count(item) && !store.count(item)) return "lost " + item.substr(0, 120);
    return "";
}

void set_exact(HKEY root, const std::string &path, const char *name, DWORD type,
               const std::string &data)
{
    const std::string buf = data + 'X';
    fx_set(root, path.c_str(), name, type, buf.data(), static_cast<DWORD>(data.size()));
}

// A registration as varied as the copy has to carry: a subtree three levels
// deep, a default value, a value over 1 KB, a multi-string and a text stored
// without its terminator.
void fx_add_extras(const std::string &clsid, bool filter, size_t blob_size)
{
    const std::string deep = "CLSID\\" + clsid + "\\Settings\\Deep\\Deeper";
    std::string blob(blob_size, '\0');
    for (size_t i = 0; i < blob.size(); i++) blob[i] = static_cast<char>(i * 31 + 7);
    set_exact(HKEY_CLASSES_ROOT, deep, "Blob", REG_BINARY, blob);
    set_exact(HKEY_CLASSES_ROOT, deep, "Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6));
    set_exact(HKEY_CLASSES_ROOT, deep, "Bare", REG_SZ, "no terminator");
    set_exact(HKEY_CLASSES_ROOT, deep, nullptr, REG_SZ, std::string("deep default\0", 13));
    if (filter) {
        set_exact(HKEY_CLASSES_ROOT, "Filter\\" + clsid, nullptr, REG_SZ, std::string("f\0", 2));
        set_exact(HKEY_CLASSES_ROOT, "Filter\\" + clsid, "Data", REG_BINARY,
                  blob.substr(0, blob_size * 3 / 4));
    }
}

void directx_plug(const char *clsid, const char *name, size_t blob_size)
{
    fx_directx_filter(clsid, name, "C:\\fx\\dx.dll");
    fx_add_extras(clsid, true, blob_size);
}

void vs3_plug(const char *clsid, const char *name, size_t blob_size)
{
    fx_vs3_effect(clsid, name, "CVS3ThingFactory Class", "C:\\fx\\vs3.dll");
    fx_add_extras(clsid, false, blob_size);
}

std::vector<Part> parts_of(const std::string &clsid, bool filter, bool vs3)
{
    std::vector<Part> parts;
    if (filter) parts.push_back(Part{FILTER_PART, clsid, live_items(FILTER_PART, clsid), false});
    parts.push_back(Part{CLSID_PART, clsid, live_items(CLSID_PART, clsid), false});
    if (vs3) parts.push_back(Part{VS3_PART, clsid, live_items(VS3_PART, clsid), false});
    return parts;
}

// The parts a row of this type owns.
bool owns(int type, PartKind kind)
{
    if (kind == CLSID_PART) return true;
    return type == PLUG_TYPE_DIRECTX ? kind == FILTER_PART : kind == VS3_PART;
}

bool complete_live(const Part &p)
{
    return subset(p.original, live_items(p.kind, p.clsid));
}
bool complete_saved(const Part &p)
{
    return subset(p.original, store_items(p.kind, p.clsid));
}

class Reliability : public RegistryOpsTest {};

// ---- fault sweep ---------------------------------------------------------

enum Op { DISABLE, ENABLE, REMOVE };

struct SweepCase {
    const char *what;
    int type;
    Op op;
    int start_disabled;
};

const char SWEEP_DX[] = "{5EE9D100-0000-4000-8000-0000000000D1}";
const char SWEEP_VS[] = "{5EE9D200-0000-4000-8000-0000000000D2}";

// Builds the case's starting state; returns the original parts.
std::vector<Part> sweep_setup(const SweepCase &c)
{
    fakereg_reset();
    plug_list_reset(&catalogue);
    const char *clsid = c.type == PLUG_TYPE_DIRECTX ? SWEEP_DX : SWEEP_VS;
    const char *name = c.type == PLUG_TYPE_DIRECTX ? "Sweep DX" : "Sweep VS3";
    if (c.type == PLUG_TYPE_DIRECTX)
        directx_plug(clsid, name, 1500);
    else
        vs3_plug(clsid, name, 1500);
    std::vector<Part> parts = parts_of(clsid, c.type == PLUG_TYPE_DIRECTX, c.type == PLUG_TYPE_VS3);
    PlugEntry e;
    memset(&e, 0, sizeof e);
    e.type = c.type;
    snprintf(e.name, sizeof e.name, "%s", name);
    snprintf(e.clsid_text, sizeof e.clsid_text, "%s", clsid);
    parse_clsid_text(e.clsid_text, e.clsid);
    plug_list_append(&catalogue, &e);
    if (c.start_disabled) disable_plug(1);
    return parts;
}

int run_op(Op op)
{
    if (op == DISABLE) disable_plug(1);
    if (op == ENABLE) enable_plug(1);
    if (op == REMOVE) return remove_plug(1);
    return -1;
}

// What must hold after one run; empty when it does.
std::string sweep_check(const SweepCase &c, const std::vector<Part> &parts)
{
    if (fakereg_open_handles() != 0) return "handle left open";
    const int flag = catalogue_get(1)->disabled;
    for (const Part &p : parts) {
        Part q = p;
        // A remove may delete what it reaches, but never alters anything.
        q.may_be_gone = c.op == REMOVE;
        std::string why = check_part(q);
        if (!why.empty()) return why;
        if (c.op == REMOVE) {
            if (flag != c.start_disabled) return "remove changed the flag";
            // Only the side remove works on may lose anything.
            if (c.start_disabled && !complete_live(p) && !live_items(p.kind, p.clsid).empty())
                return "remove of a saved copy touched the live side";
            if (!c.start_disabled && !complete_saved(p) && !store_items(p.kind, p.clsid).empty())
                return "remove of a live registration touched the store";
            continue;
        }
        if (flag == 1 && !complete_saved(p)) return "flag 1 but the saved copy is incomplete";
        if (flag == 0 && !complete_live(p)) return "flag 0 but the live registration is incomplete";
    }
    return "";
}

TEST_F(Reliability, FaultSweep)
{
    const SweepCase cases[] = {
        {"disable DirectX", PLUG_TYPE_DIRECTX, DISABLE, 0},
        {"disable VS3", PLUG_TYPE_VS3, DISABLE, 0},
        {"enable DirectX", PLUG_TYPE_DIRECTX, ENABLE, 1},
        {"enable VS3", PLUG_TYPE_VS3, ENABLE, 1},
        {"remove live DirectX", PLUG_TYPE_DIRECTX, REMOVE, 0},
        {"remove live VS3", PLUG_TYPE_VS3, REMOVE, 0},
        {"remove disabled DirectX", PLUG_TYPE_DIRECTX, REMOVE, 1},
        {"remove disabled VS3", PLUG_TYPE_VS3, REMOVE, 1},
    };
    // The calls that can answer "not found" or "more data" in earnest.
    const FakeRegFn can_be_missing[] = {FR_OPEN_KEY, FR_OPEN_KEY_EX, FR_QUERY_VALUE, FR_DELETE_KEY,
                                        FR_DELETE_VALUE};
    const FakeRegFn can_want_more[] = {FR_ENUM_VALUE, FR_ENUM_KEY, FR_ENUM_KEY_EX, FR_QUERY_VALUE};

    unsigned long runs = 0, held = 0, lost = 0;
    for (const SweepCase &c : cases) {
        // The fault-free run: it must do the whole job, and it gives the
        // number of calls to fail in turn.
        std::vector<Part> parts = sweep_setup(c);
        ASSERT_EQ(catalogue_get(1)->disabled, c.start_disabled) << c.what;
        fakereg_reset_counts();
        run_op(c.op);
        unsigned long calls[FR_FN_COUNT + 1];
        for (int f = 0; f <= FR_FN_COUNT; f++) calls[f] = fakereg_calls(static_cast<FakeRegFn>(f));
        ASSERT_EQ(sweep_check(c, parts), "") << c.what;
        if (c.op != REMOVE) {
            ASSERT_EQ(catalogue_get(1)->disabled, c.op == DISABLE) << c.what;
        }
        for (const Part &p : parts) {
            if (c.op == REMOVE) {
                EXPECT_TRUE(live_items(p.kind, p.clsid).empty()) << c.what;
                EXPECT_TRUE(store_items(p.kind, p.clsid).empty()) << c.what;
            }
        }
        ASSERT_GT(calls[FR_ANY], 0u) << c.what;

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
            parts = sweep_setup(c);
            fakereg_reset_counts();
            fakereg_fail_nth(f.fn, f.nth, f.code);
            run_op(c.op);
            fakereg_clear_faults();
            runs++;
            const std::string why = sweep_check(c, parts);
            if (why.empty()) {
                held++;
            } else {
                lost++;
                ADD_FAILURE() << c.what << ": call " << f.nth << " of function " << f.fn
                              << " failing with " << f.code << ": " << why;
            }
        }
    }
    printf("fault sweep: %lu runs, %lu held, %lu lost\n", runs, held, lost);
    EXPECT_EQ(lost, 0u);
    EXPECT_EQ(held, runs);
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
    {"{30DE2000-0000-4000-8000-000000000002}", "Model DX Two", true, false},
    {"{30DE3000-0000-4000-8000-000000000003}", "Model VS3 One", false, true},
    {"{30DE4000-0000-4000-8000-000000000004}", "Model VS3 Two", false, true},
    {"{30DE5000-0000-4000-8000-000000000005}", "Model Dual", true, true},
};

class Model {
public:
    explicit Model(unsigned seed) : rng_(seed) {}

    void setup()
    {
        fakereg_reset();
        for (const ModelPlug &p : MODEL_PLUGS) {
            if (p.filter) directx_plug(p.clsid, p.name, 80);
            if (p.vs3) {
                if (p.filter)
                    fx_set_sz(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, p.clsid, p.name);
                else
                    vs3_plug(p.clsid, p.name, 80);
            }
        }
        for (const ModelPlug &p : MODEL_PLUGS)
            for (const Part &part : parts_of(p.clsid, p.filter, p.vs3)) parts_.push_back(part);
        rebuild_catalogue();
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

    unsigned long faults_fired() const { return faults_fired_; }

private:
    // The fault is set only now, so that it hits the operation and not the
    // snapshots taken before it.
    void arm()
    {
        fakereg_reset_counts();
        if (fault_nth_) fakereg_fail_nth(FR_ANY, fault_nth_, ERROR_ACCESS_DENIED);
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
            if (p.clsid == e->clsid_text && owns(e->type, p.kind) && !p.may_be_gone)
                out.push_back(&p);
        return out;
    }

    std::string do_disable(int row, std::string *did)
    {
        PlugEntry *e = catalogue_get(row);
        *did += "disable " + std::string(e->clsid_text) + " type " + std::to_string(e->type);
        const int before = e->disabled;
        std::vector<Items> live_before;
        for (const Part *p : row_parts(e)) live_before.push_back(live_items(p->kind, p->clsid));
        arm();
        disable_plug(row);
        disarm();
        e = catalogue_get(row);
        if (before == 1) return e->disabled == 1 ? "" : "disable cleared the flag";
        size_t i = 0;
        for (const Part *p : row_parts(e)) {
            if (e->disabled == 1 && !complete_saved(*p)) return "disabled, saved copy incomplete";
            if (e->disabled == 0 && live_items(p->kind, p->clsid) != live_before[i])
                return "still live, but the live registration changed";
            i++;
        }
        return "";
    }

    std::string do_enable(int row, std::string *did)
    {
        PlugEntry *e = catalogue_get(row);
        *did += "enable " + std::string(e->clsid_text) + " type " + std::to_string(e->type);
        const int before = e->disabled;
        const std::string saved_before =
            fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(e->clsid_text).c_str());
        arm();
        enable_plug(row);
        disarm();
        e = catalogue_get(row);
        if (before == 0) return e->disabled == 0 ? "" : "enable set the flag";
        if (e->disabled == 1)
            return fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(e->clsid_text).c_str()) == saved_before
                       ? ""
                       : "still disabled, but the saved copy changed";
        for (const Part *p : row_parts(e))
            if (!complete_live(*p)) return "enabled, live registration incomplete";
        return "";
    }

    std::string do_remove(int row, std::string *did)
    {
        const PlugEntry e = *catalogue_get(row);
        *did += "remove " + std::string(e.clsid_text) + " type " + std::to_string(e.type) +
                (e.disabled ? " (disabled)" : " (live)");
        std::vector<bool> was_live;
        for (const Part &p : parts_) was_live.push_back(complete_live(p));
        arm();
        remove_plug(row);
        disarm();
        for (size_t i = 0; i < parts_.size(); i++) {
            Part &p = parts_[i];
            if (p.clsid != e.clsid_text) continue;
            if (e.disabled ? !was_live[i] : owns(e.type, p.kind)) p.may_be_gone = true;
        }
        // The list view rebuilds after every remove.
        rebuild_catalogue();
        return "";
    }

    // Each row shows where its registration was found.
    std::string check_rows()
    {
        for (unsigned i = 1; i <= catalogue_count(); i++) {
            const PlugEntry *e = catalogue_get(static_cast<int>(i));
            const std::string clsid = e->clsid_text;
            if (e->disabled) {
                DWORD type = 0;
                std::string data;
                if (!fx_get(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str(), "type", &type, &data) ||
                    data.size() != 4 || memcmp(data.data(), &e->type, 4) != 0)
                    return "row disabled, store entry missing or of another type";
            } else if (e->type == PLUG_TYPE_DIRECTX) {
                if (!fx_key_exists(HKEY_CLASSES_ROOT, ("Filter\\" + clsid).c_str()))
                    return "DirectX row live, filter key missing";
            } else if (!fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid.c_str())) {
                return "VS3 row live, effects value missing";
            }
        }
        return "";
    }

    std::string check_all()
    {
        if (fakereg_open_handles() != 0) return "handle left open";
        for (const Part &p : parts_) {
            std::string why = check_part(p);
            if (!why.empty()) return p.clsid + ": " + why;
        }
        return "";
    }

    std::mt19937 rng_;
    std::vector<Part> parts_;
    unsigned long fault_nth_ = 0;
    unsigned long faults_fired_ = 0;
};

TEST_F(Reliability, ModelBasedSequences)
{
    const unsigned SEQUENCES = 80, STEPS = 40;
    unsigned long faults = 0;
    for (unsigned seed = 1; seed <= SEQUENCES; seed++) {
        Model model(seed);
        model.setup();
        ASSERT_EQ(catalogue_count(), 6u);
        for (unsigned s = 0; s < STEPS; s++) {
            std::string did;
            const std::string why = model.step(&did);
            ASSERT_EQ(why, "") << "seed " << seed << ", step " << s << ": " << did;
        }
        faults += model.faults_fired();
    }
    // Sequences that never hit their fault would test the happy path only.
    EXPECT_GT(faults, 0u);
}

} // namespace
