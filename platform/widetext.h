// ASCII text to the UTF-16 the wide registry functions take. The class
// identifier texts and fixed key names the core composes are ASCII; anything
// else is refused here rather than guessed at.
#ifndef PLATFORM_WIDETEXT_H
#define PLATFORM_WIDETEXT_H

#include <cstddef>

#include "platform/win.h"

// 1 when text is ASCII and fits out with its terminator; else out is empty.
inline int widen_ascii(const char *text, WCHAR *out, size_t out_chars)
{
    if (out_chars == 0) return 0;
    out[0] = 0;
    if (text == nullptr) return 0;
    size_t i = 0;
    for (; text[i] != '\0'; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 || i + 1 >= out_chars) {
            out[0] = 0;
            return 0;
        }
        out[i] = static_cast<WCHAR>(c);
    }
    out[i] = 0;
    return 1;
}

#endif
