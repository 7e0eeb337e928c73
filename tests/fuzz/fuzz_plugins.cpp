// Fuzzes the registry core with registries that other installers might have
// written: the input describes keys and values of any type, length and byte
// content under Filter, CLSID, VS3Effects and the disabled store, then asks
// for rebuilds, Properties reports and disable/enable/remove, with injected
// registry faults. After every step: no open handle, and no key or value of
// a plug-in's registration lost, except by an asked-for remove.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "extrainfo/extrainfo.h"
#include "platform/keyguard.h"
#include "registry/maintenance.h"
#include "tests/common/reg_fixture.h"

namespace {

const char *const GUIDS[] = {
    "{11111111-2222-3333-4444-555555555555}",
    "{11111111-2222-3333-4444-555555555555}", // same, to favour collisions
    "{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}",
    "11111111-2222-3333-4444-555555555555", // same 16 bytes, no braces
    "{6A08CF80-0E18-11CF-A24D-0020AFD79767}", // the excluded ACM wrapper
};

std::string fold(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string pick_name(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return GUIDS[in.ConsumeIntegralInRange<size_t>(0, 4)];
    case 1: return std::string(in.ConsumeIntegralInRange<size_t>(250, 300), 'N');
    default: return in.ConsumeRandomLengthString(40);
    }
}

std::string pick_area(FuzzedDataProvider &in, const std::string &guid)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return "Filter\\" + guid;
    case 1: return "CLSID\\" + guid;
    case 2: return "CLSID\\" + guid + "\\Pins\\" + pick_name(in);
    case 3: return "CLSID\\" + guid + "\\Pins\\" + pick_name(in) + "\\" AUDIO_TYPES_PATH;
    case 4: return "CLSID\\" + guid + "\\InprocServer32";
    case 5: return "CLSID\\" + guid + "\\EX_info";
    case 6: return std::string(STORE64_ROOT_PATH "\\") + guid;
    default: return std::string(STORE64_ROOT_PATH "\\") + guid + "\\CLSID\\" + guid + "\\InprocServer32";
    }
}

const char *const VALUE_NAMES[] = {"", "Merit", "Direction", "name", "type", "Fmin",
                                   "Category", "app_name", "Company", "ProductVersion", "HasGUI"};

void set_text(HKEY root, const std::string &path, const char *name, const std::string &text)
{
    // The whole text, zero bytes inside it included.
    fx_set(root, path.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// Whole registrations, so that the operations have real plug-ins to work on.
void add_plugin(FuzzedDataProvider &in, const std::string &guid)
{
    std::string cls = "CLSID\\" + guid;
    set_text(HKEY_CLASSES_ROOT, cls, nullptr, in.ConsumeRandomLengthString(20));
    set_text(HKEY_CLASSES_ROOT, cls + "\\InprocServer32", nullptr, "C:\\x.dll");
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: {
        fx_create(HKEY_CLASSES_ROOT, ("Filter\\" + guid).c_str());
        for (DWORD dir = 0; dir < 2; dir++) {
            std::string pin = cls + "\\Pins\\" + std::to_string(dir);
            fx_set_dword(HKEY_CLASSES_ROOT, pin.c_str(), "Direction", dir);
            fx_create(HKEY_CLASSES_ROOT, (pin + "\\" AUDIO_TYPES_PATH).c_str());
        }
        break;
    }
    case 1:
        set_text(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, guid.c_str(), in.ConsumeRandomLengthString(20));
        break;
    default: {
        std::string entry = std::string(STORE64_ROOT_PATH "\\") + guid;
        DWORD type = in.ConsumeIntegralInRange<DWORD>(1, 3);
        set_text(HKEY_CLASSES_ROOT, entry, "name", in.ConsumeRandomLengthString(20));
        fx_set_dword(HKEY_CLASSES_ROOT, entry.c_str(), "type", type);
        set_text(HKEY_CLASSES_ROOT, entry + "\\" + cls + "\\InprocServer32", nullptr, "C:\\y.dll");
        if (type == 1) {
            fx_create(HKEY_CLASSES_ROOT, (entry + "\\Filter\\" + guid).c_str());
        }
        break;
    }
    }
}

void build_registry(FuzzedDataProvider &in)
{
    int steps = in.ConsumeIntegralInRange<int>(0, 40);
    for (int i = 0; i < steps && in.remaining_bytes() > 0; i++) {
        if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
            add_plugin(in, GUIDS[in.ConsumeIntegralInRange<size_t>(0, 4)]);
            continue;
        }
        std::string guid = in.ConsumeBool() ? GUIDS[in.ConsumeIntegralInRange<size_t>(0, 4)]
                                            : pick_name(in);
        bool vs3 = in.ConsumeIntegralInRange<int>(0, 5) == 0;
        HKEY root = vs3 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
        std::string path = vs3 ? VS3_EFFECTS_PATH : pick_area(in, guid);
        KeyGuard key;
        if (RegCreateKeyA(root, path.c_str(), key.out()) != ERROR_SUCCESS) continue;
        if (in.ConsumeBool()) continue; // an empty key
        std::string name = vs3 ? guid
                           : in.ConsumeBool() ? VALUE_NAMES[in.ConsumeIntegralInRange<size_t>(0, 10)]
                                              : pick_name(in);
        DWORD type = in.ConsumeIntegralInRange<DWORD>(0, 11);
        std::string data = in.ConsumeBool()
                               ? in.ConsumeRandomLengthString(64)
                               : std::string(in.ConsumeIntegralInRange<size_t>(0, 2100),
                                             static_cast<char>(in.ConsumeIntegral<uint8_t>()));
        data.push_back('\x7f'); // keeps the ANSI call from growing unterminated text
        RegSetValueExA(key.get(), name.c_str(), 0, type,
                       reinterpret_cast<const BYTE *>(data.data()),
                       static_cast<DWORD>(data.size() - 1));
    }
}

// Every key and value of the registry, by folded full path.
struct Snapshot {
    std::set<std::string> keys;
    std::map<std::string, std::string> values; // path|name -> type:data
};

void walk(HKEY key, const std::string &path, Snapshot *snap)
{
    snap->keys.insert(fold(path));
    for (DWORD i = 0;; i++) {
        char name[16384];
        DWORD name_len = sizeof name, type = 0, len = 0;
        if (RegEnumValueA(key, i, name, &name_len, nullptr, &type, nullptr, &len) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(len + 1);
        DWORD got = len;
        RegQueryValueExA(key, name, nullptr, &type, data.data(), &got);
        snap->values[fold(path) + "|" + fold(name)] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<char *>(data.data()), got);
    }
    char sub[1024];
    for (DWORD i = 0; RegEnumKeyA(key, i, sub, sizeof sub) == ERROR_SUCCESS; i++) {
        KeyGuard child;
        if (RegOpenKeyExA(key, sub, 0, KEY_READ, child.out()) == ERROR_SUCCESS)
            walk(child.get(), path + "\\" + sub, snap);
    }
}

Snapshot snapshot()
{
    Snapshot snap;
    walk(HKEY_CLASSES_ROOT, "HKCR", &snap);
    walk(HKEY_LOCAL_MACHINE, "HKLM", &snap);
    return snap;
}

bool starts_with(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0 &&
           (s.size() == prefix.size() || s[prefix.size()] == '\\' || s[prefix.size()] == '|');
}

// Where a live path of the plug-in is kept while it is disabled, or "".
std::string saved_path_of(const std::string &live, const std::string &clsid)
{
    const std::string store = fold("HKCR\\" STORE64_ROOT_PATH "\\" + clsid);
    for (const char *area : {"Filter", "CLSID"}) {
        std::string top = fold(std::string("HKCR\\") + area + "\\" + clsid);
        if (starts_with(live, top)) return store + "\\" + fold(area) + live.substr(5 + strlen(area));
    }
    return "";
}

void fail(const char *what, const std::string &detail)
{
    fprintf(stderr, "invariant broken: %s: %s\n", what, detail.c_str());
    abort();
}

// The live counterpart of a path inside the plug-in's store entry, or "".
std::string live_path_of(const std::string &saved, const std::string &store)
{
    if (!starts_with(saved, store)) return "";
    for (const char *area : {"\\FILTER\\", "\\CLSID\\"})
        if (saved.compare(store.size(), strlen(area), area) == 0)
            return "HKCR" + saved.substr(store.size());
    return "";
}

enum Op { OP_DISABLE, OP_ENABLE, OP_REMOVE, OP_REBUILD };

// Everything that existed before must exist after, at the same place or on
// the other side of the store. Allowed to go: what a remove was asked to
// remove; the VS3Effects value, which is rewritten from the saved name; a
// value the merge overwrote with the other side's; and the store entry's own
// bookkeeping.
void check_nothing_lost(const Snapshot &before, const Snapshot &after, const PlugEntry &e, Op op)
{
    std::string clsid = e.clsid_text;
    std::string store = fold("HKCR\\" STORE64_ROOT_PATH "\\" + clsid);
    std::string vs3_value = fold("HKLM\\" VS3_EFFECTS_PATH "|" + clsid);
    auto present = [&](const std::string &p, const std::string *data) {
        if (data == nullptr) return after.keys.count(p) > 0;
        auto it = after.values.find(p);
        return it != after.values.end() && it->second == *data;
    };
    auto other_side = [&](const std::string &p) {
        std::string saved = saved_path_of(p, clsid);
        return saved.empty() ? live_path_of(p, store) : saved;
    };
    auto allowed = [&](const std::string &p, bool is_value) {
        if (clsid.empty()) return false;
        if (p == vs3_value) return true;
        // "name" and "type" are the store entry's bookkeeping, rewritten by
        // every disable and enable.
        if (op != OP_REMOVE && (p == store + "|NAME" || p == store + "|TYPE")) return true;
        std::string other = other_side(p);
        if (op == OP_REMOVE) return e.disabled ? starts_with(p, store) : !saved_path_of(p, clsid).empty();
        if (is_value && !other.empty() && before.values.count(other) > 0) return true;
        if (op == OP_ENABLE && starts_with(p, store) && live_path_of(p, store).empty()) return true;
        return false;
    };
    for (const std::string &k : before.keys) {
        std::string other = other_side(k);
        if (!present(k, nullptr) && (other.empty() || !present(other, nullptr)) && !allowed(k, false))
            fail("key lost", k);
    }
    for (const auto &v : before.values) {
        std::string path = v.first.substr(0, v.first.find('|'));
        std::string other = other_side(path);
        if (!other.empty()) other += v.first.substr(path.size());
        if (!present(v.first, &v.second) && (other.empty() || !present(other, &v.second)) &&
            !allowed(v.first, true))
            fail("value lost", v.first);
    }
}

void check_handles()
{
    if (fakereg_open_handles() != 0) fail("registry handle left open", "");
    if (fakefile_open_handles() != 0) fail("file handle left open", "");
}

void run_operations(FuzzedDataProvider &in)
{
    rebuild_catalogue();
    check_handles();
    char report[REPORT_SIZE];
    for (uint32_t i = 1; i <= catalogue_count(); i++) {
        properties_text_for_entry(static_cast<int>(i), report, sizeof report);
        check_handles();
    }
    int ops = in.ConsumeIntegralInRange<int>(0, 12);
    for (int n = 0; n < ops && in.remaining_bytes() > 0; n++) {
        int count = static_cast<int>(catalogue_count());
        int index = in.ConsumeIntegralInRange<int>(-1, count + 1);
        int op = in.ConsumeIntegralInRange<int>(0, 3);
        PlugEntry copy{};
        const PlugEntry *entry = catalogue_get(index);
        if (entry != nullptr) copy = *entry;
        Snapshot before = snapshot();
        if (in.ConsumeBool()) {
            const LONG codes[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA,
                                  ERROR_KEY_DELETED};
            fakereg_fail_nth(FR_ANY, in.ConsumeIntegralInRange<unsigned long>(1, 60),
                             codes[in.ConsumeIntegralInRange<size_t>(0, 3)]);
        }
        switch (op) {
        case OP_DISABLE: disable_plug(index); break;
        case OP_ENABLE: enable_plug(index); break;
        case OP_REMOVE: remove_plug(index); break;
        default: rebuild_catalogue(); break;
        }
        fakereg_clear_faults();
        check_handles();
        if (op != OP_REBUILD && entry != nullptr)
            check_nothing_lost(before, snapshot(), copy, static_cast<Op>(op));
        if (op != OP_REBUILD && entry == nullptr && before.values != snapshot().values)
            fail("registry changed for a missing entry", std::to_string(index));
        if (op == 2) rebuild_catalogue();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = catalogue_init() == 1;
    if (!ready) return 0;
    fakereg_reset();
    FuzzedDataProvider in(data, size);
    build_registry(in);
    run_operations(in);
    return 0;
}
