// Fuzzes the registry core with registries that other installers might have
// written. The input picks the machine (the Windows 7 or the Wine 8 sharing
// rules of 64-bit Windows, or 32-bit Windows) and the bits of the program,
// then describes keys and values of any type, length and byte content under
// Filter, CLSID, VS3Effects and the disabled store, each in the 32-bit view,
// the 64-bit one or both; whole registrations among them hold names and text
// outside code page 1252 and a link inside the class key back at the class
// key. Then it asks for rebuilds, Properties reports and disable/enable/
// remove, with injected registry faults. After every step: no open handle,
// and no key or value of a registration lost or altered, compared on exact
// dumps of each view, except by an asked-for remove.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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
// Written through the wide functions; all but the last are outside code
// page 1252.
const char *const WORDS[] = {"Łukasz", "Ωmega", "Жук", "日本", "Café"};

FakeMachine machine = FAKE_WIN64_WIN7;

bool two_views() { return machine != FAKE_WIN32; }
REGSAM view_of(int bits)
{
    if (!two_views()) return 0;
    return bits == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}
REGSAM store_flag() { return two_views() ? KEY_WOW64_64KEY : 0; }
const char *store_root(int bits) { return bits == 32 ? STORE_ROOT_PATH : STORE64_ROOT_PATH; }
std::string bits_text(int bits) { return bits == 32 ? "32" : "64"; }

std::string fold(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

const char *word(FuzzedDataProvider &in)
{
    return WORDS[in.ConsumeIntegralInRange<size_t>(0, sizeof WORDS / sizeof *WORDS - 1)];
}

// Printable ASCII, so that letter case folds as the harness folds it.
std::string ascii(FuzzedDataProvider &in, size_t max)
{
    std::string s = in.ConsumeRandomLengthString(max);
    for (char &c : s) c = static_cast<char>(0x20 + static_cast<unsigned char>(c) % 0x5F);
    return s;
}

std::string text(FuzzedDataProvider &in)
{
    return in.ConsumeBool() ? ascii(in, 20) : std::string(word(in)) + " " + ascii(in, 8);
}

std::string pick_name(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: return GUIDS[in.ConsumeIntegralInRange<size_t>(0, 4)];
    case 1: return std::string(in.ConsumeIntegralInRange<size_t>(250, 300), 'N');
    case 2: return word(in);
    default: return ascii(in, 40);
    }
}

// The views a registration goes to.
std::vector<int> pick_views(FuzzedDataProvider &in)
{
    if (!two_views()) return {32};
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: return {32};
    case 1: return {64};
    default: return {32, 64};
    }
}

// UTF-16 text with its terminator, as value data.
std::string sz(const std::string &utf8) { return fx_w_bytes(utf8) + std::string(2, '\0'); }

int create_key(HKEY root, const std::string &path, REGSAM view)
{
    KeyGuard key;
    return RegCreateKeyExW(root, fx_w(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS | view, nullptr, key.out(), nullptr) == ERROR_SUCCESS;
}

std::string dword(DWORD v) { return std::string(reinterpret_cast<const char *>(&v), 4); }

// What a registration can hold beyond the essentials: names and text
// outside code page 1252 and a link back at the live class key of the view.
void add_extras(FuzzedDataProvider &in, const std::string &cls, const std::string &guid,
                REGSAM view, int bits)
{
    if (in.ConsumeBool())
        fx_set_exact_w(HKEY_CLASSES_ROOT,
                       (cls + "\\" + word(in) + " " + word(in) + "\\" + word(in)).c_str(), word(in),
                       REG_SZ, sz(text(in)), view);
    if (in.ConsumeBool())
        fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), word(in),
                       in.ConsumeIntegralInRange<DWORD>(0, 11), in.ConsumeRandomLengthString(32),
                       view);
    if (in.ConsumeBool()) {
        const std::string own = bits == 32 && two_views() ? "Wow6432Node\\" : "";
        fx_create_link(HKEY_CLASSES_ROOT, (cls + "\\Loop").c_str(),
                       ("\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\" + own + "CLSID\\" + guid).c_str(),
                       view);
    }
}

// Whole registrations, so that the operations have real plug-ins to work on.
void add_plugin(FuzzedDataProvider &in, const std::string &guid)
{
    const int kind = in.ConsumeIntegralInRange<int>(0, 2);
    for (int bits : pick_views(in)) {
        const REGSAM v = view_of(bits);
        std::string cls = "CLSID\\" + guid;
        if (kind == 2) {
            // A saved copy, as a disable leaves it.
            const std::string entry = std::string(store_root(bits)) + "\\" + guid;
            const REGSAM sv = store_flag();
            const DWORD type = in.ConsumeIntegralInRange<DWORD>(1, 3);
            fx_set_exact_w(HKEY_CLASSES_ROOT, entry.c_str(), "name", REG_SZ, sz(text(in)), sv);
            fx_set_exact_w(HKEY_CLASSES_ROOT, entry.c_str(), "type", REG_DWORD, dword(type), sv);
            cls = entry + "\\" + cls;
            fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, REG_SZ,
                           sz("C:\\y.dll"), sv);
            if (type == 1) create_key(HKEY_CLASSES_ROOT, entry + "\\Filter\\" + guid, sv);
            if (type == 2 && in.ConsumeBool())
                fx_set_exact_w(HKEY_CLASSES_ROOT, (entry + "\\VS3Effects").c_str(), guid.c_str(),
                               REG_SZ, sz(text(in)), sv);
            add_extras(in, cls, guid, sv, bits);
            continue;
        }
        fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, REG_SZ, sz(text(in)), v);
        fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, REG_SZ,
                       sz("C:\\x.dll"), v);
        if (kind == 0) {
            // Now and then the Filter entry is in the other view's Filter key.
            const int fbits = two_views() && in.ConsumeIntegralInRange<int>(0, 3) == 0
                                  ? 96 - bits
                                  : bits;
            create_key(HKEY_CLASSES_ROOT, "Filter\\" + guid, view_of(fbits));
            for (DWORD dir = 0; dir < 2; dir++) {
                const std::string pin = cls + "\\Pins\\" + std::to_string(dir);
                fx_set_exact_w(HKEY_CLASSES_ROOT, pin.c_str(), "Direction", REG_DWORD, dword(dir), v);
                create_key(HKEY_CLASSES_ROOT, pin + "\\" AUDIO_TYPES_PATH, v);
            }
        } else {
            fx_set_exact_w(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, guid.c_str(), REG_SZ, sz(text(in)),
                           v);
        }
        add_extras(in, cls, guid, v, bits);
    }
}

// A key below HKCR for the guid; *store tells whether it is in the store.
std::string pick_area(FuzzedDataProvider &in, const std::string &guid, int bits, bool *store)
{
    const std::string entry = std::string(store_root(bits)) + "\\" + guid;
    *store = false;
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
    case 0: return "Filter\\" + guid;
    case 1: return "CLSID\\" + guid;
    case 2: return "CLSID\\" + guid + "\\Pins\\" + pick_name(in);
    case 3: return "CLSID\\" + guid + "\\Pins\\" + pick_name(in) + "\\" AUDIO_TYPES_PATH;
    case 4: return "CLSID\\" + guid + "\\InprocServer32";
    case 5: return "CLSID\\" + guid + "\\EX_info";
    case 6: *store = true; return entry;
    case 7: *store = true; return entry + "\\VS3Effects";
    default: *store = true; return entry + "\\CLSID\\" + guid + "\\InprocServer32";
    }
}

const char *const VALUE_NAMES[] = {"", "Merit", "Direction", "name", "type", "Fmin",
                                   "Category", "app_name", "Company", "ProductVersion", "HasGUI"};

// One key, and maybe one value in it, of any type and bytes, through the
// ANSI or the wide functions.
void raw_write(FuzzedDataProvider &in)
{
    const std::string guid =
        in.ConsumeBool() ? GUIDS[in.ConsumeIntegralInRange<size_t>(0, 4)] : pick_name(in);
    const int bits = two_views() && in.ConsumeBool() ? 32 : 64;
    const bool vs3 = in.ConsumeIntegralInRange<int>(0, 5) == 0;
    bool store = false;
    const HKEY root = vs3 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    const std::string path = vs3 ? VS3_EFFECTS_PATH : pick_area(in, guid, bits, &store);
    const REGSAM view = store ? store_flag() : view_of(bits);
    KeyGuard key;
    if (RegCreateKeyExW(root, fx_w(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | view, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
        return;
    if (in.ConsumeBool()) return; // an empty key
    const std::string name =
        vs3 || (path.size() > 11 && path.compare(path.size() - 11, 11, "\\VS3Effects") == 0)
            ? guid
        : in.ConsumeBool() ? VALUE_NAMES[in.ConsumeIntegralInRange<size_t>(0, 10)]
                           : pick_name(in);
    const DWORD type = in.ConsumeIntegralInRange<DWORD>(0, 11);
    std::string data = in.ConsumeBool()
                           ? in.ConsumeRandomLengthString(64)
                           : std::string(in.ConsumeIntegralInRange<size_t>(0, 2100),
                                         static_cast<char>(in.ConsumeIntegral<uint8_t>()));
    const DWORD len = static_cast<DWORD>(data.size());
    data.push_back('\x7f'); // keeps the ANSI call from growing unterminated text
    bool is_ascii = true;
    for (char c : name) is_ascii = is_ascii && static_cast<unsigned char>(c) < 0x80;
    if (is_ascii && in.ConsumeBool())
        RegSetValueExA(key.get(), name.c_str(), 0, type,
                       reinterpret_cast<const BYTE *>(data.data()), len);
    else
        RegSetValueExW(key.get(), fx_w(name).c_str(), 0, type,
                       reinterpret_cast<const BYTE *>(data.data()), len);
}

void build_registry(FuzzedDataProvider &in)
{
    const int steps = in.ConsumeIntegralInRange<int>(0, 40);
    for (int i = 0; i < steps && in.remaining_bytes() > 0; i++) {
        if (in.ConsumeIntegralInRange<int>(0, 3) == 0)
            add_plugin(in, GUIDS[in.ConsumeIntegralInRange<size_t>(0, 4)]);
        else
            raw_write(in);
    }
}

// ---- exact snapshots ----------------------------------------------------------

// Every key and value of the scanned places, each view on its own, from
// exact dumps (wide names, links not followed): "TAG:path" for a key,
// "TAG:path\x01name" for a value, both folded; the key's link target or the
// value's type, length and bytes as the content. Tags: F (Windows 7's one
// Filter key) or F32/F64, C32/C64 (CLSID), V32/V64 (VS3Effects), S32/S64
// (DisabledPlug and DisabledPlug64 through the 64-bit view), Q (Wine 8's
// 32-bit twin of the store, which nothing may touch).
typedef std::map<std::string, std::string> Snapshot;

void add_dump(Snapshot *snap, const std::string &tag, const std::string &dump)
{
    std::string key;
    size_t start = 0;
    while (start < dump.size()) {
        size_t end = dump.find('\n', start);
        if (end == std::string::npos) end = dump.size();
        const std::string line = dump.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            size_t close = line.back() == ']' ? line.size() - 1 : line.rfind("] -> ");
            if (close == std::string::npos) close = line.size();
            key = tag + ":" + fold(line.substr(1, close - 1));
            (*snap)[key] = line.substr(close);
            continue;
        }
        const size_t name_end = line.rfind("\" type=");
        if (line.compare(0, 3, "  \"") != 0 || name_end == std::string::npos) {
            (*snap)[key + "\x01!" + line] = "";
            continue;
        }
        (*snap)[key + "\x01" + fold(line.substr(3, name_end - 3))] = line.substr(name_end + 1);
    }
}

std::string filter_tag(int bits)
{
    return machine == FAKE_WIN64_WIN7 ? "F" : "F" + bits_text(bits);
}

Snapshot snapshot()
{
    Snapshot snap;
    for (int bits : {32, 64}) {
        if (bits == 64 && !two_views()) break;
        const REGSAM v = view_of(bits);
        if (machine != FAKE_WIN64_WIN7 || bits == 64)
            add_dump(&snap, filter_tag(bits), fx_dump_exact(HKEY_CLASSES_ROOT, "Filter", v));
        add_dump(&snap, "C" + bits_text(bits), fx_dump_exact(HKEY_CLASSES_ROOT, "CLSID", v));
        add_dump(&snap, "V" + bits_text(bits),
                 fx_dump_exact(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, v));
    }
    add_dump(&snap, "S32", fx_dump_exact(HKEY_CLASSES_ROOT, STORE_ROOT_PATH, store_flag()));
    add_dump(&snap, "S64", fx_dump_exact(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH, store_flag()));
    if (machine == FAKE_WIN64_WINE8)
        add_dump(&snap, "Q", fx_dump_exact(HKEY_CLASSES_ROOT, "Quillon_Software", KEY_WOW64_32KEY));
    return snap;
}

void fail(const char *what, const std::string &detail)
{
    fprintf(stderr, "invariant broken: %s: %s\n", what, detail.c_str());
    abort();
}

// ---- what an operation may change -------------------------------------------

enum Op { OP_DISABLE, OP_ENABLE, OP_REMOVE, OP_REBUILD };

// The row acted on, folded as the snapshot is.
struct Row {
    std::string entry; // ".\{CLSID}", its key in the live places and in the store
    std::string clsid;
    int bits;
    int type;
    int disabled;
};

struct Loc {
    std::string tag, path, name;
    bool is_value;
};

Loc split(const std::string &loc)
{
    Loc l;
    const size_t colon = loc.find(':');
    l.tag = loc.substr(0, colon);
    const size_t mark = loc.find('\x01', colon);
    l.is_value = mark != std::string::npos;
    l.path = loc.substr(colon + 1, l.is_value ? mark - colon - 1 : std::string::npos);
    if (l.is_value) l.name = loc.substr(mark + 1);
    return l;
}

bool under(const std::string &path, const std::string &top)
{
    return path.compare(0, top.size(), top) == 0 &&
           (path.size() == top.size() || path[top.size()] == '\\');
}

std::string join(const std::string &tag, const std::string &path, const Loc &l)
{
    return tag + ":" + path + (l.is_value ? "\x01" + l.name : "");
}

// Where the row's operation keeps what is at loc on the other side of the
// store: a live Filter or class key in its store entry and back (a Filter
// key comes back in the row's own view), the VS3Effects value in the
// entry's "VS3Effects" key. "" when it has no other side.
std::string other_side(const std::string &loc, const Row &r)
{
    const Loc l = split(loc);
    const std::string b = bits_text(r.bits);
    const std::string store = "S" + b;
    if (l.tag[0] == 'F' && under(l.path, r.entry))
        return join(store, r.entry + "\\FILTER" + l.path.substr(1), l);
    if (l.tag == "C" + b && under(l.path, r.entry))
        return join(store, r.entry + "\\CLSID" + l.path.substr(1), l);
    if (l.tag == "V" + b && r.type == PLUG_TYPE_VS3 && l.path == "." && l.name == r.clsid)
        return join(store, r.entry + "\\VS3EFFECTS", l);
    if (l.tag != store) return "";
    for (const char *area : {"\\FILTER", "\\CLSID"}) {
        const std::string top = r.entry + area;
        if (under(l.path, top) && l.path != top)
            return join(area[1] == 'F' ? filter_tag(r.bits) : "C" + b,
                        "." + l.path.substr(top.size()), l);
    }
    if (r.type == PLUG_TYPE_VS3 && l.path == r.entry + "\\VS3EFFECTS" && l.name == r.clsid)
        return join("V" + b, ".", l);
    return "";
}

bool sees(const std::string &tag, int bits) { return tag == "F" || tag == "F" + bits_text(bits); }

// Removing a live DirectX row deletes the Filter key it uses (its own view's,
// or the other view's when its own has none), but never one that the other
// view's live class uses (the same key, or the other view has none of its
// own).
bool filter_may_go(const std::string &tag, const Row &r, const Snapshot &before)
{
    if (!two_views()) return true;
    const int other = 96 - r.bits;
    if (!sees(tag, r.bits) && before.count(filter_tag(r.bits) + ":" + r.entry)) return false;
    return !before.count("C" + bits_text(other) + ":" + r.entry) ||
           (!sees(tag, other) && before.count(filter_tag(other) + ":" + r.entry));
}

bool allowed(const std::string &loc, const Row &r, Op op, const Snapshot &before)
{
    const Loc l = split(loc);
    const std::string b = bits_text(r.bits);
    if (l.tag == "S" + b && under(l.path, r.entry)) {
        if (op == OP_REMOVE) return r.disabled != 0;
        // "name" and "type" are the entry's bookkeeping, rewritten by every
        // disable; an enable deletes the entry once it has restored it.
        if (l.path == r.entry && l.is_value && (l.name == "NAME" || l.name == "TYPE")) return true;
        return op == OP_ENABLE && other_side(loc, r).empty();
    }
    if (op != OP_REMOVE || r.disabled) return false;
    if (l.tag == "C" + b) return under(l.path, r.entry);
    if (l.tag == "V" + b) return r.type == PLUG_TYPE_VS3 && l.path == "." && l.name == r.clsid;
    if (l.tag[0] == 'F')
        return r.type == PLUG_TYPE_DIRECTX && under(l.path, r.entry) &&
               filter_may_go(l.tag, r, before);
    return false;
}

// Everything that existed before exists after, unchanged, where it was or
// on the other side of the store; or a merge overwrote it with what the
// other side held; or the operation was allowed to take it.
void check_nothing_lost(const Snapshot &before, const Snapshot &after, const PlugEntry &e, Op op)
{
    const Row r{".\\" + fold(e.clsid_text), fold(e.clsid_text), e.bits, e.type, e.disabled};
    for (const auto &item : before) {
        const auto now = after.find(item.first);
        if (now != after.end() && now->second == item.second) continue;
        if (item.first[0] == 'Q') fail("the 32-bit store twin changed", item.first);
        const std::string other = other_side(item.first, r);
        if (!other.empty()) {
            const auto moved = after.find(other);
            if (moved != after.end() && moved->second == item.second) continue;
            const auto was = before.find(other);
            if (split(item.first).is_value && was != before.end() && now != after.end() &&
                now->second == was->second)
                continue;
        }
        if (allowed(item.first, r, op, before)) continue;
        fail(now == after.end() ? "lost" : "altered",
             std::string(op == OP_DISABLE ? "disable" : op == OP_ENABLE ? "enable" : "remove") +
                 " of " + e.clsid_text + " (" + std::to_string(e.bits) + "-bit, type " +
                 std::to_string(e.type) + (e.disabled ? ", disabled" : "") + "): " +
                 item.first.substr(0, 200));
    }
    for (const auto &item : after)
        if (item.first[0] == 'Q' && !before.count(item.first))
            fail("the 32-bit store twin changed", item.first);
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
    const int ops = in.ConsumeIntegralInRange<int>(0, 12);
    for (int n = 0; n < ops && in.remaining_bytes() > 0; n++) {
        const int count = static_cast<int>(catalogue_count());
        const int index = in.ConsumeIntegralInRange<int>(-1, count + 1);
        const int op = in.ConsumeIntegralInRange<int>(0, 3);
        PlugEntry copy{};
        const PlugEntry *entry = catalogue_get(index);
        if (entry != nullptr) copy = *entry;
        const Snapshot before = snapshot();
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
        const Snapshot after = snapshot();
        if (op != OP_REBUILD && entry != nullptr)
            check_nothing_lost(before, after, copy, static_cast<Op>(op));
        else if (before != after)
            fail(op == OP_REBUILD ? "a rebuild changed the registry"
                                  : "registry changed for a missing entry",
                 std::to_string(index));
        if (op == OP_REMOVE) rebuild_catalogue();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = catalogue_init() == 1;
    if (!ready) return 0;
    FuzzedDataProvider in(data, size);
    const FakeMachine machines[] = {FAKE_WIN64_WIN7, FAKE_WIN64_WINE8, FAKE_WIN32};
    machine = machines[in.ConsumeIntegralInRange<size_t>(0, 2)];
    fakereg_set_machine(machine);
    // The 32-bit program on 64-bit Windows sees both views as well.
    fakereg_set_process_bits(in.ConsumeBool() ? 32 : 64);
    fakereg_reset();
    build_registry(in);
    run_operations(in);
    return 0;
}
