#include "tests/common/reg_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/keyguard.h"

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
    return std::string(STORE_ROOT_PATH "\\") + clsid;
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
