#include "catalogue/scopes.h"

#include <cstdio>

#include "catalogue/views.h"
#include "platform/keyguard.h"
#include "platform/ntreg.h"
#include "platform/regtext.h"
#include "platform/widetext.h"

#define CLASSES_PATH "Software\\Classes"

static int starts_with_folded(const WCHAR *text, const char *prefix)
{
    for (; *prefix != '\0'; prefix++, text++) {
        if (ascii_upper(*text) != static_cast<WCHAR>(*prefix)) return 0;
    }
    return 1;
}

int32_t key_scope(HKEY key)
{
    WCHAR name[1024];
    if (!registry_key_name(key, name, 1024)) return 0;
    if (starts_with_folded(name, "\\REGISTRY\\MACHINE\\")) return PLUG_SCOPE_MACHINE;
    if (starts_with_folded(name, "\\REGISTRY\\USER\\")) return PLUG_SCOPE_USER;
    return 0;
}

int registry_scopes(int32_t scopes[2])
{
    scopes[0] = PLUG_SCOPE_MACHINE;
    scopes[1] = PLUG_SCOPE_USER;
    KeyGuard user;
    return open_classes(PLUG_SCOPE_USER, "", KEY_READ, user.out()) == ERROR_SUCCESS ? 2 : 1;
}

int scope_views(int32_t scope, int32_t bits[2])
{
    int n = registry_views(bits);
    if (n < 2) return n;
    // The keys Windows splits between the views in every scope.
    static const char *const splits[] = {"CLSID", "DirectShow"};
    for (const char *split : splits) {
        KeyGuard narrow, wide;
        if (open_classes(scope, split, KEY_READ | view_flag(PLUG_BITS_32), narrow.out()) !=
                ERROR_SUCCESS ||
            open_classes(scope, split, KEY_READ | view_flag(PLUG_BITS_64), wide.out()) !=
                ERROR_SUCCESS)
            continue;
        if (same_registry_key(narrow.get(), wide.get()) != 1) return n;
        bits[0] = PLUG_BITS_64;
        return 1;
    }
    return n;
}

HKEY scope_root(int32_t scope)
{
    return scope == PLUG_SCOPE_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

int32_t known_scope(int32_t scope)
{
    return scope == PLUG_SCOPE_USER ? PLUG_SCOPE_USER : PLUG_SCOPE_MACHINE;
}

const char *root_name(HKEY root)
{
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    return "HKCR";
}

int classes_path(const char *sub, char *out, size_t size)
{
    int n = snprintf(out, size, "%s%s%s", CLASSES_PATH, sub[0] != '\0' ? "\\" : "", sub);
    return n > 0 && static_cast<size_t>(n) < size;
}

LONG open_classes(int32_t scope, const char *sub, REGSAM access, HKEY *out)
{
    *out = nullptr;
    char path[1024];
    if (!classes_path(sub, path, sizeof path)) return ERROR_INVALID_PARAMETER;
    LONG r = reg_open(scope_root(scope), path, 0, access, out);
    if (r != ERROR_SUCCESS || key_scope(*out) == known_scope(scope)) return r;
    RegCloseKey(*out);
    *out = nullptr;
    return ERROR_FILE_NOT_FOUND;
}
