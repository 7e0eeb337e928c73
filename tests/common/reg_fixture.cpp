#include "tests/common/reg_fixture.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "registry/maintenance.h"

int fx_create(HKEY root, const char *path)
{
    KeyGuard key;
    return RegCreateKeyA(root, path, key.out()) == ERROR_SUCCESS;
}

int fx_set(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD len)
{
    KeyGuard key;
    if (RegCreateKeyA(root, path, key.out()) != ERROR_SUCCESS) return 0;
    return RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE *>(data), len) ==
           ERROR_SUCCESS;
}

int fx_set_sz(HKEY root, const char *path, const char *name, const char *text)
{
    return fx_set(root, path, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

int fx_set_dword(HKEY root, const char *path, const char *name, DWORD value)
{
    return fx_set(root, path, name, REG_DWORD, &value, 4);
}

static int delete_tree_at(HKEY parent, const std::string &path)
{
    {
        KeyGuard key;
        if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | DELETE, key.out()) != ERROR_SUCCESS)
            return 0;
        char name[1024];
        while (RegEnumKeyA(key.get(), 0, name, sizeof name) == ERROR_SUCCESS)
            if (!delete_tree_at(key.get(), name)) return 0;
    }
    return RegDeleteKeyA(parent, path.c_str()) == ERROR_SUCCESS;
}

int fx_delete_tree(HKEY root, const char *path)
{
    if (!fx_key_exists(root, path)) return 1;
    return delete_tree_at(root, path);
}

int fx_key_exists(HKEY root, const char *path)
{
    KeyGuard key;
    return RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

int fx_value_exists(HKEY root, const char *path, const char *name)
{
    KeyGuard key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return 0;
    DWORD len = 0;
    return RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &len) == ERROR_SUCCESS;
}

int fx_get(HKEY root, const char *path, const char *name, DWORD *type, std::string *data)
{
    KeyGuard key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return 0;
    DWORD len = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, type, nullptr, &len) != ERROR_SUCCESS) return 0;
    std::vector<BYTE> buf(len + 2);
    if (RegQueryValueExA(key.get(), name, nullptr, type, buf.data(), &len) != ERROR_SUCCESS)
        return 0;
    data->assign(reinterpret_cast<const char *>(buf.data()), len);
    return 1;
}

std::string fx_hex(const std::string &data)
{
    std::string out;
    char b[4];
    for (unsigned char c : data) {
        snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

static std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

static void dump_key(HKEY key, const std::string &rel, std::vector<std::string> *lines)
{
    lines->push_back("[" + upper(rel) + "]");
    std::vector<std::string> values;
    for (DWORD i = 0;; i++) {
        char name[16384];
        DWORD name_len = sizeof name, type = 0, data_len = 0;
        LONG r = RegEnumValueA(key, i, name, &name_len, nullptr, &type, nullptr, &data_len);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
            values.push_back("!enum error " + std::to_string(r));
            break;
        }
        std::string data;
        DWORD t = 0;
        char line[64];
        if (!fx_get(key, nullptr, name, &t, &data)) {
            values.push_back(upper(name) + " unreadable");
            continue;
        }
        std::string hex = fx_hex(data);
        snprintf(line, sizeof line, " type=%lu len=%lu ", static_cast<unsigned long>(t),
                 static_cast<unsigned long>(data.size()));
        values.push_back("\"" + upper(name) + "\"" + line + hex);
    }
    std::sort(values.begin(), values.end());
    for (auto &v : values) lines->push_back("  " + v);
    std::vector<std::string> subs;
    char name[1024];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; i++)
        subs.push_back(name);
    std::sort(subs.begin(), subs.end(),
              [](const std::string &a, const std::string &b) { return upper(a) < upper(b); });
    for (auto &s : subs) {
        KeyGuard sub;
        if (RegOpenKeyExA(key, s.c_str(), 0, KEY_READ, sub.out()) != ERROR_SUCCESS) {
            lines->push_back("[" + upper(rel + "\\" + s) + "] unopenable");
            continue;
        }
        dump_key(sub.get(), rel + "\\" + s, lines);
    }
}

std::string fx_dump(HKEY root, const char *path)
{
    KeyGuard key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return "";
    std::vector<std::string> lines;
    dump_key(key.get(), ".", &lines);
    std::string out;
    for (auto &l : lines) out += l + "\n";
    return out;
}

void fx_directx_filter(const char *clsid_text, const char *name, const char *dll_path)
{
    std::string cls = std::string("CLSID\\") + clsid_text;
    fx_create(HKEY_CLASSES_ROOT, (std::string("Filter\\") + clsid_text).c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, name);
    fx_set_dword(HKEY_CLASSES_ROOT, cls.c_str(), "Merit", 0x200000);
    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, dll_path);
    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), "ThreadingModel", "Both");
    const std::string pins[2] = {cls + "\\Pins\\Input", cls + "\\Pins\\Output"};
    for (DWORD dir = 0; dir < 2; dir++) {
        fx_set_dword(HKEY_CLASSES_ROOT, pins[dir].c_str(), "Direction", dir);
        fx_create(HKEY_CLASSES_ROOT,
                  (pins[dir] + "\\" AUDIO_TYPES_PATH "\\{00000001-0000-0010-8000-00AA00389B71}")
                      .c_str());
    }
}

const char FX_AUDIO[] = "{73647561-0000-0010-8000-00AA00389B71}";
const char FX_PCM[] = "{00000001-0000-0010-8000-00AA00389B71}";
const char FX_VIDEO[] = "{73646976-0000-0010-8000-00AA00389B71}";
const char FX_WILDCARD[] = "{00000000-0000-0000-0000-000000000000}";

static void put_u32(std::string *out, DWORD v)
{
    for (int i = 0; i < 4; i++) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

static std::string guid_bytes(const std::string &text)
{
    unsigned char b[16];
    parse_clsid_text(text.c_str(), b);
    return std::string(reinterpret_cast<const char *>(b), 16);
}

std::string fx_filter_data(DWORD merit, const FxPin *pins, int count)
{
    // Records first, then the data they point at, offsets from the start.
    size_t records = 16;
    for (int i = 0; i < count; i++) {
        size_t types = pins[i].types.empty() ? 0 : 1;
        for (char c : pins[i].types) types += c == ';';
        records += 24 + 16 * types + 4 * static_cast<size_t>(pins[i].mediums);
    }
    std::string head, data;
    auto place = [&](const std::string &bytes) {
        size_t at = data.find(bytes);
        if (at == std::string::npos) {
            at = data.size();
            data += bytes;
        }
        return static_cast<DWORD>(records + at);
    };
    put_u32(&head, 2);
    put_u32(&head, merit);
    put_u32(&head, static_cast<DWORD>(count));
    put_u32(&head, 0);
    for (int i = 0; i < count; i++) {
        std::string types = pins[i].types;
        std::vector<std::string> list;
        for (size_t at = 0; !types.empty() && at <= types.size();) {
            size_t end = types.find(';', at);
            if (end == std::string::npos) end = types.size();
            list.push_back(types.substr(at, end - at));
            at = end + 1;
        }
        head += std::string(1, static_cast<char>('0' + i)) + "pi3";
        put_u32(&head, pins[i].flags);
        put_u32(&head, 1);
        put_u32(&head, static_cast<DWORD>(list.size()));
        put_u32(&head, static_cast<DWORD>(pins[i].mediums));
        put_u32(&head, 0);
        for (size_t t = 0; t < list.size(); t++) {
            size_t comma = list[t].find(',');
            head += std::string(1, static_cast<char>('0' + t)) + "ty3";
            put_u32(&head, 0);
            put_u32(&head, place(guid_bytes(list[t].substr(0, comma))));
            put_u32(&head, place(guid_bytes(list[t].substr(comma + 1))));
        }
        for (int m = 0; m < pins[i].mediums; m++) {
            std::string medium = guid_bytes(FX_PCM) + std::string(8, static_cast<char>(m));
            put_u32(&head, place(medium));
        }
    }
    return head + data;
}

std::string fx_audio_filter_data(DWORD merit)
{
    const std::string audio = std::string(FX_AUDIO) + "," + FX_PCM;
    const FxPin pins[2] = {{0, audio, 0}, {0x8, audio, 0}};
    return fx_filter_data(merit, pins, 2);
}

void fx_mapper_filter(const char *clsid_text, const char *instance, const char *name,
                      const char *friendly, const std::string &filter_data, const char *dll_path,
                      REGSAM view)
{
    const std::string cls = std::string("CLSID\\") + clsid_text;
    const std::string key = std::string(MAPPER_INSTANCE_PATH "\\") + instance;
    if (name != nullptr)
        fx_set_exact_w(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, REG_SZ,
                       fx_w_bytes(name) + std::string(2, '\0'), view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, REG_SZ,
                   fx_w_bytes(dll_path) + std::string(2, '\0'), view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, key.c_str(), "CLSID", REG_SZ,
                   fx_w_bytes(clsid_text) + std::string(2, '\0'), view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, key.c_str(), "FriendlyName", REG_SZ,
                   fx_w_bytes(friendly) + std::string(2, '\0'), view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, key.c_str(), "FilterData", REG_BINARY, filter_data, view);
}

void fx_dmo(const char *guid, const char *name, const char *dll_path, REGSAM view)
{
    const std::string cls = std::string("CLSID\\{") + guid + "}";
    const std::string dmo = std::string(DMO_ROOT_PATH "\\") + guid;
    fx_set_exact_w(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, REG_SZ,
                   fx_w_bytes(dll_path) + std::string(2, '\0'), view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, dmo.c_str(), nullptr, REG_SZ,
                   fx_w_bytes(name) + std::string(2, '\0'), view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, dmo.c_str(), "InputTypes", REG_BINARY, std::string(32, 'i'),
                   view);
    fx_set_exact_w(HKEY_CLASSES_ROOT, dmo.c_str(), "OutputTypes", REG_BINARY,
                   std::string(32, 'o'), view);
    HKEY member;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, fx_w(std::string(DMO_AUDIO_EFFECTS_PATH "\\") + guid).c_str(),
                        0, nullptr, 0, KEY_WRITE | view, nullptr, &member, nullptr) == ERROR_SUCCESS)
        RegCloseKey(member);
}

void fx_vs3_effect(const char *clsid_text, const char *display_name, const char *description,
                   const char *dll_path)
{
    std::string cls = std::string("CLSID\\") + clsid_text;
    fx_set_sz(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid_text, display_name);
    if (description != nullptr) fx_set_sz(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, description);
    else fx_create(HKEY_CLASSES_ROOT, cls.c_str());
    fx_set_sz(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), nullptr, dll_path);
}

int fx_set_exact(HKEY root, const std::string &path, const char *name, DWORD type,
                 const std::string &data)
{
    const std::string buf = data + 'X';
    return fx_set(root, path.c_str(), name, type, buf.data(), static_cast<DWORD>(data.size()));
}

std::string fx_filter_key(const std::string &clsid)
{
    return "Filter\\" + clsid;
}

std::string fx_clsid_key(const std::string &clsid)
{
    return "CLSID\\" + clsid;
}

std::string fx_store_entry(const std::string &clsid)
{
    return std::string(STORE64_ROOT_PATH "\\") + clsid;
}

std::string fx_live_registration(const std::string &clsid)
{
    std::string s = "Filter:\n" + fx_dump(HKEY_CLASSES_ROOT, fx_filter_key(clsid).c_str()) +
                    "CLSID:\n" + fx_dump(HKEY_CLASSES_ROOT, fx_clsid_key(clsid).c_str()) +
                    "VS3: ";
    DWORD type = 0;
    std::string data;
    if (fx_get(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, clsid.c_str(), &type, &data))
        s += std::to_string(type) + " " + fx_hex(data);
    else
        s += "absent";
    return s;
}

std::string fx_whole_state(const std::string &clsid)
{
    return fx_live_registration(clsid) + "\nSaved:\n" +
           fx_dump(HKEY_CLASSES_ROOT, fx_store_entry(clsid).c_str());
}

void fx_add_extras(const std::string &clsid, bool with_filter)
{
    const std::string settings = fx_clsid_key(clsid) + "\\Settings";
    const std::string deep = settings + "\\Deep\\Deeper";
    std::string blob(3000, '\0');
    for (size_t i = 0; i < blob.size(); i++) blob[i] = static_cast<char>(i * 13);
    fx_set_exact(HKEY_CLASSES_ROOT, deep, "Blob", REG_BINARY, blob);
    fx_set_exact(HKEY_CLASSES_ROOT, deep, std::string(1000, 'N').c_str(), REG_DWORD,
                 "\x01\x02\x03\x04");
    fx_set_exact(HKEY_CLASSES_ROOT, deep, "Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6));
    fx_set_exact(HKEY_CLASSES_ROOT, deep, "Bare", REG_SZ, "no terminator");
    fx_set_exact(HKEY_CLASSES_ROOT, deep, nullptr, REG_SZ, std::string("deep default\0", 13));
    fx_set_exact(HKEY_CLASSES_ROOT, settings, nullptr, REG_SZ, std::string("settings\0", 9));
    if (with_filter) {
        fx_set_exact(HKEY_CLASSES_ROOT, fx_filter_key(clsid), nullptr, REG_SZ,
                     std::string("filter\0", 7));
        fx_set_exact(HKEY_CLASSES_ROOT, fx_filter_key(clsid), "FilterData", REG_BINARY,
                     blob.substr(0, 1200));
    }
}

static FxWString w_from_utf8(const char *p, size_t n)
{
    FxWString out;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(p);
    size_t i = 0;
    while (i < n) {
        const unsigned c = s[i];
        const size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
        size_t k = 1;
        for (; k < len && i + k < n && (s[i + k] & 0xc0) == 0x80; k++) cp = (cp << 6) | (s[i + k] & 0x3f);
        if (len == 0 || k < len || cp > 0x10ffff) {
            out += static_cast<WCHAR>(0xfffd);
            i += len == 0 ? 1 : k;
            continue;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<WCHAR>(0xd800 + (cp >> 10));
            out += static_cast<WCHAR>(0xdc00 + (cp & 0x3ff));
        } else {
            out += static_cast<WCHAR>(cp);
        }
    }
    return out;
}

FxWString fx_w(const char *utf8)
{
    return utf8 == nullptr ? FxWString() : w_from_utf8(utf8, strlen(utf8));
}

FxWString fx_w(const std::string &utf8)
{
    return w_from_utf8(utf8.data(), utf8.size());
}

std::string fx_utf8(const WCHAR *text, size_t chars)
{
    std::string out;
    for (size_t i = 0; i < chars; i++) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < chars &&
            (static_cast<uint16_t>(text[i + 1]) & 0xfc00) == 0xdc00)
            c = 0x10000 + ((c - 0xd800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xdc00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::string fx_utf8(const FxWString &text)
{
    return fx_utf8(text.data(), text.size());
}

std::string fx_w_bytes(const std::string &utf8)
{
    const FxWString w = fx_w(utf8);
    std::string out;
    for (WCHAR c : w) {
        out += static_cast<char>(static_cast<uint16_t>(c) & 0xff);
        out += static_cast<char>(static_cast<uint16_t>(c) >> 8);
    }
    return out;
}

// The key itself, never what it links to.
static HKEY open_exact(HKEY parent, const FxWString &path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), REG_OPTION_OPEN_LINK, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

static bool is_link_value_name(const std::string &name)
{
    return name.size() == 17 && upper(name) == "SYMBOLICLINKVALUE";
}

static void dump_exact_key(HKEY key, const std::string &rel, REGSAM view,
                           std::vector<std::string> *lines)
{
    std::vector<std::string> values;
    std::string link;
    bool is_link = false;
    std::vector<WCHAR> name(16384);
    std::vector<BYTE> data(256);
    for (DWORD i = 0;;) {
        DWORD name_len = static_cast<DWORD>(name.size()), type = 0;
        DWORD len = static_cast<DWORD>(data.size());
        LONG r = RegEnumValueW(key, i, name.data(), &name_len, nullptr, &type, data.data(), &len);
        if (r == ERROR_MORE_DATA && len > data.size()) {
            data.resize(len);
            continue;
        }
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
            values.push_back("!enum error " + std::to_string(r));
            break;
        }
        const std::string n = fx_utf8(name.data(), name_len);
        const std::string bytes(reinterpret_cast<const char *>(data.data()), len);
        char line[64];
        snprintf(line, sizeof line, " type=%lu len=%lu ", static_cast<unsigned long>(type),
                 static_cast<unsigned long>(len));
        values.push_back("\"" + n + "\"" + line + fx_hex(bytes));
        if (type == REG_LINK && is_link_value_name(n)) {
            is_link = true;
            std::vector<WCHAR> target(len / sizeof(WCHAR) + 1);
            memcpy(target.data(), bytes.data(), len / sizeof(WCHAR) * sizeof(WCHAR));
            link = fx_utf8(target.data(), len / sizeof(WCHAR));
        }
        i++;
    }
    std::sort(values.begin(), values.end());
    lines->push_back("[" + rel + "]" + (is_link ? " -> " + link : ""));
    for (auto &v : values) lines->push_back("  " + v);
    if (is_link) return;
    std::vector<std::pair<std::string, FxWString>> subs;
    WCHAR sub[256];
    for (DWORD i = 0;; i++) {
        DWORD len = 256;
        LONG r = RegEnumKeyExW(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
            lines->push_back("!enum error " + std::to_string(r));
            break;
        }
        subs.emplace_back(fx_utf8(sub, len), FxWString(sub, len));
    }
    std::sort(subs.begin(), subs.end());
    for (auto &s : subs) {
        KeyGuard child(open_exact(key, s.second, KEY_READ | view));
        if (!child.is_open()) lines->push_back("[" + rel + "\\" + s.first + "] unopenable");
        else dump_exact_key(child.get(), rel + "\\" + s.first, view, lines);
    }
}

std::string fx_dump_exact(HKEY root, const char *path_utf8, REGSAM view)
{
    KeyGuard key(open_exact(root, fx_w(path_utf8), KEY_READ | view));
    if (!key.is_open()) return "";
    std::vector<std::string> lines;
    dump_exact_key(key.get(), ".", view, &lines);
    std::string out;
    for (auto &l : lines) out += l + "\n";
    return out;
}

int fx_set_exact_w(HKEY root, const char *path_utf8, const char *name_utf8, DWORD type,
                   const std::string &bytes, REGSAM view)
{
    KeyGuard key;
    if (RegCreateKeyExW(root, fx_w(path_utf8).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | view, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
        return 0;
    const std::string buf = bytes + 'X';
    const FxWString name = fx_w(name_utf8);
    return RegSetValueExW(key.get(), name_utf8 == nullptr ? nullptr : name.c_str(), 0, type,
                          reinterpret_cast<const BYTE *>(buf.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

int fx_create_link(HKEY root, const char *path_utf8, const char *target_kernel_path_utf8,
                   REGSAM view)
{
    KeyGuard key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(root, fx_w(path_utf8).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK | view, nullptr, key.out(),
                        &disposition) != ERROR_SUCCESS)
        return 0;
    if (disposition != REG_CREATED_NEW_KEY) return 0;
    const std::string target = fx_w_bytes(target_kernel_path_utf8);
    if (RegSetValueExW(key.get(), fx_w("SymbolicLinkValue").c_str(), 0, REG_LINK,
                       reinterpret_cast<const BYTE *>(target.data()),
                       static_cast<DWORD>(target.size())) == ERROR_SUCCESS)
        return 1;
    delete_key_handle(key.get());
    return 0;
}

static int delete_exact(HKEY parent, const FxWString &path, REGSAM view)
{
    KeyGuard key(open_exact(parent, path, KEY_READ | DELETE | view));
    if (!key.is_open()) return 0;
    WCHAR name[256];
    for (;;) {
        DWORD len = 256;
        LONG r = RegEnumKeyExW(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || !delete_exact(key.get(), FxWString(name, len), view)) return 0;
    }
    return delete_key_handle(key.get()) == ERROR_SUCCESS;
}

int fx_delete_tree_exact(HKEY root, const char *path_utf8, REGSAM view)
{
    const FxWString path = fx_w(path_utf8);
    HKEY probe = nullptr;
    LONG r = RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view, &probe);
    if (r == ERROR_FILE_NOT_FOUND) return 1;
    if (r != ERROR_SUCCESS) return 0;
    RegCloseKey(probe);
    return delete_exact(root, path, view);
}

// ---- Scopes ------------------------------------------------------------------

namespace {

const char CLASSES[] = "Software\\Classes\\";
const char *const SCOPE_PLACES[] = {"CLSID\\", "Filter\\", MAPPER_INSTANCE_PATH "\\Inst ",
                                    DMO_ROOT_PATH "\\", DMO_AUDIO_EFFECTS_PATH "\\"};

} // namespace

int fx_move_to_user(const std::string &path, REGSAM view)
{
    const std::string machine = CLASSES + path;
    {
        KeyGuard probe;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, fx_w(machine).c_str(), 0, KEY_READ | view,
                          probe.out()) != ERROR_SUCCESS)
            return 1;
    }
    TreeFailure f;
    return copy_key_tree_to(HKEY_CURRENT_USER, view, machine.c_str(), HKEY_LOCAL_MACHINE, view,
                            machine.c_str(), &f) &&
           fx_delete_tree_exact(HKEY_LOCAL_MACHINE, machine.c_str(), view);
}

std::string fx_scope_dump(HKEY root, const std::string &clsid, const std::string &dmo,
                          bool with_store)
{
    std::string out;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const char *place : SCOPE_PLACES) {
            const std::string name = place[0] == 'D' ? dmo : clsid;
            out += std::string(place) + name + ":" +
                   fx_dump_exact(root, (CLASSES + std::string(place) + name).c_str(), view);
        }
        if (root == HKEY_LOCAL_MACHINE) out += fx_dump_exact(root, VS3_EFFECTS_PATH, view);
    }
    if (!with_store) return out;
    return out + "store:" +
           fx_dump_exact(root, "Software\\Classes\\Quillon_Software", KEY_WOW64_64KEY);
}
