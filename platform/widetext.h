// The one place where text changes form. The registry holds UTF-16; the
// core keeps its texts in UTF-8, which holds every UTF-16 text: an unpaired
// surrogate, which no well-formed text has but a registry name may, travels
// as its own three-byte pattern, so that any name converts back exactly.
// Capacities are counted in UTF-16 characters, as Windows counts them.
#ifndef PLATFORM_WIDETEXT_H
#define PLATFORM_WIDETEXT_H

#include <cstddef>
#include <cstdint>

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

// Bytes UTF-8 needs at most for a text of chars UTF-16 characters and its
// terminator (chars counts the terminator too).
#define UTF8_BYTES(chars) (3 * ((chars) - 1) + 1)

// The next code point of UTF-8 text at *p, moving *p past it; a malformed
// byte stands for itself as U+FFFD and is passed over alone.
inline uint32_t utf8_next(const char **p)
{
    const unsigned char *s = reinterpret_cast<const unsigned char *>(*p);
    uint32_t c = s[0];
    int more = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c >= 0x80 && more == 0) {
        *p += 1;
        return 0xFFFD;
    }
    uint32_t cp = more == 0 ? c : c & (0x3Fu >> more);
    for (int i = 1; i <= more; i++) {
        if ((s[i] & 0xC0) != 0x80) {
            *p += 1;
            return 0xFFFD;
        }
        cp = (cp << 6) | (s[i] & 0x3Fu);
    }
    *p += 1 + more;
    return cp;
}

// UTF-16 characters of UTF-8 text.
inline size_t utf8_chars(const char *text)
{
    size_t n = 0;
    while (*text != '\0') n += utf8_next(&text) >= 0x10000 ? 2 : 1;
    return n;
}

// UTF-16 text (text_chars characters, or up to its terminator when
// text_chars is (size_t)-1) as UTF-8 into out (out_size bytes), at most
// max_chars characters of it; a surrogate pair is never split. 1 when all of
// it fit; out is always terminated.
inline int utf16_to_utf8(const WCHAR *text, size_t text_chars, char *out, size_t out_size,
                         size_t max_chars)
{
    if (out_size == 0) return 0;
    size_t at = 0;
    out[0] = '\0';
    if (text == nullptr) return 1;
    size_t i = 0;
    for (; i < text_chars && text[i] != 0; i++) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        size_t units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text_chars) {
            uint32_t low = static_cast<uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                units = 2;
            }
        }
        if (i + units > max_chars) break;
        size_t len = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (at + len + 1 > out_size) break;
        if (len == 1) {
            out[at] = static_cast<char>(c);
        } else if (len == 2) {
            out[at] = static_cast<char>(0xC0 | (c >> 6));
            out[at + 1] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (len == 3) {
            out[at] = static_cast<char>(0xE0 | (c >> 12));
            out[at + 1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[at + 2] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out[at] = static_cast<char>(0xF0 | (c >> 18));
            out[at + 1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out[at + 2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[at + 3] = static_cast<char>(0x80 | (c & 0x3F));
        }
        at += len;
        i += units - 1;
    }
    out[at] = '\0';
    return i >= text_chars || text[i] == 0;
}

// UTF-8 text as UTF-16 into out (out_chars characters with the terminator).
// 1 when all of it fit; else out is empty.
inline int utf8_to_utf16(const char *text, WCHAR *out, size_t out_chars)
{
    if (out_chars == 0) return 0;
    out[0] = 0;
    if (text == nullptr) return 0;
    size_t at = 0;
    while (*text != '\0') {
        uint32_t c = utf8_next(&text);
        size_t units = c >= 0x10000 ? 2 : 1;
        if (at + units + 1 > out_chars) {
            out[0] = 0;
            return 0;
        }
        if (units == 2) {
            c -= 0x10000;
            out[at++] = static_cast<WCHAR>(0xD800 + (c >> 10));
            out[at++] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out[at++] = static_cast<WCHAR>(c);
        }
    }
    out[at] = 0;
    return 1;
}

// An ASCII letter in upper case, any other code unit as it is: names the
// platform compares without regard to ASCII case (kernel key names, paths,
// version resource keys) are compared through it.
inline WCHAR ascii_upper(WCHAR c)
{
    return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c;
}

// Characters before the terminator.
inline size_t wide_length(const WCHAR *text)
{
    size_t n = 0;
    while (text[n] != 0) n++;
    return n;
}

#endif
