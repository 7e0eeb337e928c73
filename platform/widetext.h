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

// UTF-16 text as the ANSI code page shows it, for the front ends that still
// draw ANSI text ("?" for what the page lacks); out is always terminated.
inline void narrow_to_ansi(const WCHAR *text, char *out, size_t out_size)
{
    if (out_size == 0) return;
    out[0] = '\0';
    if (text == nullptr) return;
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, out, static_cast<int>(out_size), nullptr,
                                nullptr);
    if (n <= 0) out[0] = '\0';
    out[out_size - 1] = '\0';
}

// Characters before the terminator.
inline size_t wide_length(const WCHAR *text)
{
    size_t n = 0;
    while (text[n] != 0) n++;
    return n;
}

#endif
