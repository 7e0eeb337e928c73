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

#endif
