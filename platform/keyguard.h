// Closes a registry key on every path out of a scope.
#ifndef PLATFORM_KEYGUARD_H
#define PLATFORM_KEYGUARD_H

#include "platform/win.h"

class KeyGuard {
public:
    KeyGuard() : key_(nullptr) {}
    explicit KeyGuard(HKEY key) : key_(key) {}
    ~KeyGuard() { close(); }
    KeyGuard(const KeyGuard &) = delete;
    KeyGuard &operator=(const KeyGuard &) = delete;

    // For the out parameter of RegOpenKey*/RegCreateKey*; closes any key held.
    HKEY *out() { close(); return &key_; }
    HKEY get() const { return key_; }
    bool is_open() const { return key_ != nullptr; }
    void close()
    {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_;
};

// Open or create a key, giving none after any failure, whatever the call
// left in its out parameter; the caller hands the key to a KeyGuard.
inline HKEY open_key(HKEY parent, const char *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyA(parent, path, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

inline HKEY open_key_ex(HKEY parent, const char *path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

inline HKEY open_or_create_key(HKEY parent, const char *path)
{
    HKEY key = open_key(parent, path);
    if (key != nullptr) return key;
    if (RegCreateKeyA(parent, path, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

#endif
