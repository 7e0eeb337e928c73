// The in-process registry behind the native build: the advapi32 registry
// functions the core calls, ANSI and wide, with the result codes Windows
// gives, the two registry views of a 64-bit machine, registry links, plus
// the hooks the tests use to count calls, inject faults and play "another
// program". Names and text are kept in UTF-16 as Windows keeps them; the
// ANSI calls convert through code page 1252. Plain heap containers here:
// this stands in for the operating system, not for the program.
#include "platform/fakewin.h"
#include "platform/ntreg.h"

#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::u16string WStr;

// ---- text -------------------------------------------------------------------


// 0x80-0x9F of code page 1252; the five bytes it leaves undefined map to the
// C1 controls of the same number, as Windows maps them.
const char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Best fit from UTF-16 to code page 1252 beyond the characters it has, as
// Windows converts (Microsoft's published bestfit1252 table): a near letter
// or sign, sorted by code point. Anything else becomes '?'.
struct BestFit {
    char16_t wide;
    unsigned char ansi;
};
const BestFit BEST_FIT_1252[] = {
    {0x0100, 0x41}, {0x0101, 0x61}, {0x0102, 0x41}, {0x0103, 0x61}, {0x0104, 0x41},
    {0x0105, 0x61}, {0x0106, 0x43}, {0x0107, 0x63}, {0x0108, 0x43}, {0x0109, 0x63},
    {0x010A, 0x43}, {0x010B, 0x63}, {0x010C, 0x43}, {0x010D, 0x63}, {0x010E, 0x44},
    {0x010F, 0x64}, {0x0110, 0xD0}, {0x0111, 0x64}, {0x0112, 0x45}, {0x0113, 0x65},
    {0x0114, 0x45}, {0x0115, 0x65}, {0x0116, 0x45}, {0x0117, 0x65}, {0x0118, 0x45},
    {0x0119, 0x65}, {0x011A, 0x45}, {0x011B, 0x65}, {0x011C, 0x47}, {0x011D, 0x67},
    {0x011E, 0x47}, {0x011F, 0x67}, {0x0120, 0x47}, {0x0121, 0x67}, {0x0122, 0x47},
    {0x0123, 0x67}, {0x0124, 0x48}, {0x0125, 0x68}, {0x0126, 0x48}, {0x0127, 0x68},
    {0x0128, 0x49}, {0x0129, 0x69}, {0x012A, 0x49}, {0x012B, 0x69}, {0x012C, 0x49},
    {0x012D, 0x69}, {0x012E, 0x49}, {0x012F, 0x69}, {0x0130, 0x49}, {0x0131, 0x69},
    {0x0134, 0x4A}, {0x0135, 0x6A}, {0x0136, 0x4B}, {0x0137, 0x6B}, {0x0139, 0x4C},
    {0x013A, 0x6C}, {0x013B, 0x4C}, {0x013C, 0x6C}, {0x013D, 0x4C}, {0x013E, 0x6C},
    {0x0141, 0x4C}, {0x0142, 0x6C}, {0x0143, 0x4E}, {0x0144, 0x6E}, {0x0145, 0x4E},
    {0x0146, 0x6E}, {0x0147, 0x4E}, {0x0148, 0x6E}, {0x014C, 0x4F}, {0x014D, 0x6F},
    {0x014E, 0x4F}, {0x014F, 0x6F}, {0x0150, 0x4F}, {0x0151, 0x6F}, {0x0154, 0x52},
    {0x0155, 0x72}, {0x0156, 0x52}, {0x0157, 0x72}, {0x0158, 0x52}, {0x0159, 0x72},
    {0x015A, 0x53}, {0x015B, 0x73}, {0x015C, 0x53}, {0x015D, 0x73}, {0x015E, 0x53},
    {0x015F, 0x73}, {0x0162, 0x54}, {0x0163, 0x74}, {0x0164, 0x54}, {0x0165, 0x74},
    {0x0166, 0x54}, {0x0167, 0x74}, {0x0168, 0x55}, {0x0169, 0x75}, {0x016A, 0x55},
    {0x016B, 0x75}, {0x016C, 0x55}, {0x016D, 0x75}, {0x016E, 0x55}, {0x016F, 0x75},
    {0x0170, 0x55}, {0x0171, 0x75}, {0x0172, 0x55}, {0x0173, 0x75}, {0x0174, 0x57},
    {0x0175, 0x77}, {0x0176, 0x59}, {0x0177, 0x79}, {0x0179, 0x5A}, {0x017A, 0x7A},
    {0x017B, 0x5A}, {0x017C, 0x7A}, {0x0180, 0x62}, {0x0189, 0xD0}, {0x0191, 0x83},
    {0x0197, 0x49}, {0x019A, 0x6C}, {0x019F, 0x4F}, {0x01A0, 0x4F}, {0x01A1, 0x6F},
    {0x01AB, 0x74}, {0x01AE, 0x54}, {0x01AF, 0x55}, {0x01B0, 0x75}, {0x01B6, 0x7A},
    {0x01C0, 0x7C}, {0x01C3, 0x21}, {0x01CD, 0x41}, {0x01CE, 0x61}, {0x01CF, 0x49},
    {0x01D0, 0x69}, {0x01D1, 0x4F}, {0x01D2, 0x6F}, {0x01D3, 0x55}, {0x01D4, 0x75},
    {0x01D5, 0x55}, {0x01D6, 0x75}, {0x01D7, 0x55}, {0x01D8, 0x75}, {0x01D9, 0x55},
    {0x01DA, 0x75}, {0x01DB, 0x55}, {0x01DC, 0x75}, {0x01DE, 0x41}, {0x01DF, 0x61},
    {0x01E4, 0x47}, {0x01E5, 0x67}, {0x01E6, 0x47}, {0x01E7, 0x67}, {0x01E8, 0x4B},
    {0x01E9, 0x6B}, {0x01EA, 0x4F}, {0x01EB, 0x6F}, {0x01EC, 0x4F}, {0x01ED, 0x6F},
    {0x01F0, 0x6A}, {0x0261, 0x67}, {0x02B9, 0x27}, {0x02BA, 0x22}, {0x02BC, 0x27},
    {0x02C4, 0x5E}, {0x02C8, 0x27}, {0x02C9, 0xAF}, {0x02CA, 0xB4}, {0x02CB, 0x60},
    {0x02CD, 0x5F}, {0x02DA, 0xB0}, {0x0300, 0x60}, {0x0301, 0xB4}, {0x0302, 0x5E},
    {0x0303, 0x7E}, {0x0304, 0xAF}, {0x0305, 0xAF}, {0x0308, 0xA8}, {0x030A, 0xB0},
    {0x030E, 0x22}, {0x0327, 0xB8}, {0x0331, 0x5F}, {0x0332, 0x5F}, {0x037E, 0x3B},
    {0x0393, 0x47}, {0x0398, 0x54}, {0x03A3, 0x53}, {0x03A6, 0x46}, {0x03A9, 0x4F},
    {0x03B1, 0x61}, {0x03B2, 0xDF}, {0x03B4, 0x64}, {0x03B5, 0x65}, {0x03BC, 0xB5},
    {0x03C0, 0x70}, {0x03C3, 0x73}, {0x03C4, 0x74}, {0x03C6, 0x66}, {0x04BB, 0x68},
    {0x0589, 0x3A}, {0x066A, 0x25}, {0x2000, 0x20}, {0x2001, 0x20}, {0x2002, 0x20},
    {0x2003, 0x20}, {0x2004, 0x20}, {0x2005, 0x20}, {0x2006, 0x20}, {0x2010, 0x2D},
    {0x2011, 0x2D}, {0x2017, 0x3D}, {0x2024, 0xB7}, {0x2032, 0x27}, {0x2035, 0x60},
    {0x2044, 0x2F}, {0x2070, 0xB0}, {0x2074, 0x34}, {0x2075, 0x35}, {0x2076, 0x36},
    {0x2077, 0x37}, {0x2078, 0x38}, {0x207F, 0x6E}, {0x2080, 0x30}, {0x2081, 0x31},
    {0x2082, 0x32}, {0x2083, 0x33}, {0x2084, 0x34}, {0x2085, 0x35}, {0x2086, 0x36},
    {0x2087, 0x37}, {0x2088, 0x38}, {0x2089, 0x39}, {0x20A1, 0xA2}, {0x20A4, 0xA3},
    {0x20A7, 0x50}, {0x2102, 0x43}, {0x2107, 0x45}, {0x210A, 0x67}, {0x210B, 0x48},
    {0x210C, 0x48}, {0x210D, 0x48}, {0x210E, 0x68}, {0x2110, 0x49}, {0x2111, 0x49},
    {0x2112, 0x4C}, {0x2113, 0x6C}, {0x2115, 0x4E}, {0x2118, 0x50}, {0x2119, 0x50},
    {0x211A, 0x51}, {0x211B, 0x52}, {0x211C, 0x52}, {0x211D, 0x52}, {0x2124, 0x5A},
    {0x2128, 0x5A}, {0x212A, 0x4B}, {0x212B, 0xC5}, {0x212C, 0x42}, {0x212D, 0x43},
    {0x212E, 0x65}, {0x212F, 0x65}, {0x2130, 0x45}, {0x2131, 0x46}, {0x2133, 0x4D},
    {0x2134, 0x6F}, {0x2205, 0xD8}, {0x2212, 0x2D}, {0x2213, 0xB1}, {0x2215, 0x2F},
    {0x2216, 0x5C}, {0x2217, 0x2A}, {0x2218, 0xB0}, {0x2219, 0xB7}, {0x221A, 0x76},
    {0x221E, 0x38}, {0x2223, 0x7C}, {0x2229, 0x6E}, {0x2236, 0x3A}, {0x223C, 0x7E},
    {0x2248, 0x98}, {0x2261, 0x3D}, {0x2264, 0x3D}, {0x2265, 0x3D}, {0x226A, 0xAB},
    {0x226B, 0xBB}, {0x22C5, 0xB7}, {0x2302, 0xA6}, {0x2303, 0x5E}, {0x2310, 0xAC},
    {0x2320, 0x28}, {0x2321, 0x29}, {0x2329, 0x3C}, {0x232A, 0x3E}, {0x2500, 0x2D},
    {0x2502, 0xA6}, {0x250C, 0x2B}, {0x2510, 0x2B}, {0x2514, 0x2B}, {0x2518, 0x2B},
    {0x251C, 0x2B}, {0x2524, 0xA6}, {0x252C, 0x2D}, {0x2534, 0x2D}, {0x253C, 0x2B},
    {0x2550, 0x2D}, {0x2551, 0xA6}, {0x2552, 0x2B}, {0x2553, 0x2B}, {0x2554, 0x2B},
    {0x2555, 0x2B}, {0x2556, 0x2B}, {0x2557, 0x2B}, {0x2558, 0x2B}, {0x2559, 0x2B},
    {0x255A, 0x2B}, {0x255B, 0x2B}, {0x255C, 0x2B}, {0x255D, 0x2B}, {0x255E, 0xA6},
    {0x255F, 0xA6}, {0x2560, 0xA6}, {0x2561, 0xA6}, {0x2562, 0xA6}, {0x2563, 0xA6},
    {0x2564, 0x2D}, {0x2565, 0x2D}, {0x2566, 0x2D}, {0x2567, 0x2D}, {0x2568, 0x2D},
    {0x2569, 0x2D}, {0x256A, 0x2B}, {0x256B, 0x2B}, {0x256C, 0x2B}, {0x2580, 0xAF},
    {0x2584, 0x5F}, {0x2588, 0xA6}, {0x258C, 0xA6}, {0x2590, 0xA6}, {0x2591, 0xA6},
    {0x2592, 0xA6}, {0x2593, 0xA6}, {0x25A0, 0xA6}, {0x263C, 0xA4}, {0x2758, 0x7C},
    {0x3000, 0x20}, {0x3008, 0x3C}, {0x3009, 0x3E}, {0x300A, 0xAB}, {0x300B, 0xBB},
    {0x301A, 0x5B}, {0x301B, 0x5D}, {0x30FB, 0xB7}, {0xFF01, 0x21}, {0xFF02, 0x22},
    {0xFF03, 0x23}, {0xFF04, 0x24}, {0xFF05, 0x25}, {0xFF06, 0x26}, {0xFF07, 0x27},
    {0xFF08, 0x28}, {0xFF09, 0x29}, {0xFF0A, 0x2A}, {0xFF0B, 0x2B}, {0xFF0C, 0x2C},
    {0xFF0D, 0x2D}, {0xFF0E, 0x2E}, {0xFF0F, 0x2F}, {0xFF10, 0x30}, {0xFF11, 0x31},
    {0xFF12, 0x32}, {0xFF13, 0x33}, {0xFF14, 0x34}, {0xFF15, 0x35}, {0xFF16, 0x36},
    {0xFF17, 0x37}, {0xFF18, 0x38}, {0xFF19, 0x39}, {0xFF1A, 0x3A}, {0xFF1B, 0x3B},
    {0xFF1C, 0x3C}, {0xFF1D, 0x3D}, {0xFF1E, 0x3E}, {0xFF1F, 0x3F}, {0xFF20, 0x40},
    {0xFF21, 0x41}, {0xFF22, 0x42}, {0xFF23, 0x43}, {0xFF24, 0x44}, {0xFF25, 0x45},
    {0xFF26, 0x46}, {0xFF27, 0x47}, {0xFF28, 0x48}, {0xFF29, 0x49}, {0xFF2A, 0x4A},
    {0xFF2B, 0x4B}, {0xFF2C, 0x4C}, {0xFF2D, 0x4D}, {0xFF2E, 0x4E}, {0xFF2F, 0x4F},
    {0xFF30, 0x50}, {0xFF31, 0x51}, {0xFF32, 0x52}, {0xFF33, 0x53}, {0xFF34, 0x54},
    {0xFF35, 0x55}, {0xFF36, 0x56}, {0xFF37, 0x57}, {0xFF38, 0x58}, {0xFF39, 0x59},
    {0xFF3A, 0x5A}, {0xFF3B, 0x5B}, {0xFF3C, 0x5C}, {0xFF3D, 0x5D}, {0xFF3E, 0x5E},
    {0xFF3F, 0x5F}, {0xFF40, 0x60}, {0xFF41, 0x61}, {0xFF42, 0x62}, {0xFF43, 0x63},
    {0xFF44, 0x64}, {0xFF45, 0x65}, {0xFF46, 0x66}, {0xFF47, 0x67}, {0xFF48, 0x68},
    {0xFF49, 0x69}, {0xFF4A, 0x6A}, {0xFF4B, 0x6B}, {0xFF4C, 0x6C}, {0xFF4D, 0x6D},
    {0xFF4E, 0x6E}, {0xFF4F, 0x6F}, {0xFF50, 0x70}, {0xFF51, 0x71}, {0xFF52, 0x72},
    {0xFF53, 0x73}, {0xFF54, 0x74}, {0xFF55, 0x75}, {0xFF56, 0x76}, {0xFF57, 0x77},
    {0xFF58, 0x78}, {0xFF59, 0x79}, {0xFF5A, 0x7A}, {0xFF5B, 0x7B}, {0xFF5C, 0x7C},
    {0xFF5D, 0x7D}, {0xFF5E, 0x7E},
};

char16_t from_ansi(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0) return CP1252_HIGH[byte - 0x80];
    return byte;
}

unsigned char to_ansi(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; i++)
        if (CP1252_HIGH[i] == c) return static_cast<unsigned char>(0x80 + i);
    size_t lo = 0, hi = sizeof BEST_FIT_1252 / sizeof BEST_FIT_1252[0];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (BEST_FIT_1252[mid].wide == c) return BEST_FIT_1252[mid].ansi;
        if (BEST_FIT_1252[mid].wide < c) lo = mid + 1;
        else hi = mid;
    }
    return '?';
}

WStr ansi_to_wide(const char *text)
{
    WStr out;
    if (text == nullptr) return out;
    for (; *text != '\0'; text++) out.push_back(from_ansi(static_cast<unsigned char>(*text)));
    return out;
}

std::string wide_to_ansi(const WStr &text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(static_cast<char>(to_ansi(c)));
    return out;
}

std::vector<BYTE> ansi_data_to_utf16(const BYTE *data, DWORD len)
{
    std::vector<BYTE> out;
    out.reserve(static_cast<size_t>(len) * 2);
    for (DWORD i = 0; i < len; i++) {
        char16_t c = from_ansi(data[i]);
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    return out;
}

std::vector<BYTE> utf16_data_to_ansi(const std::vector<BYTE> &data)
{
    // A trailing odd byte is no character and is dropped, as Windows does.
    std::vector<BYTE> out;
    out.reserve(data.size() / 2);
    for (size_t i = 0; i + 1 < data.size(); i += 2)
        out.push_back(to_ansi(static_cast<char16_t>(data[i] | (data[i + 1] << 8))));
    return out;
}

WStr utf8_to_wide(const char *text)
{
    WStr out;
    if (text == nullptr) return out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (*p != 0) {
        unsigned long cp;
        int extra;
        if (*p < 0x80) cp = *p, extra = 0;
        else if ((*p & 0xE0) == 0xC0) cp = *p & 0x1F, extra = 1;
        else if ((*p & 0xF0) == 0xE0) cp = *p & 0x0F, extra = 2;
        else if ((*p & 0xF8) == 0xF0) cp = *p & 0x07, extra = 3;
        else cp = 0xFFFD, extra = 0;
        p++;
        for (int i = 0; i < extra; i++) {
            if ((*p & 0xC0) != 0x80) {
                cp = 0xFFFD;
                break;
            }
            cp = (cp << 6) | (*p & 0x3F);
            p++;
        }
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp));
        }
    }
    return out;
}

char16_t upcase(char16_t c)
{
    // The simple upper case of the scripts plug-in names are likely to use;
    // Windows leaves ß, µ and final sigma alone, and so does this.
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c < 0x180) {
        if (c == 0x131) return 'I';
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
        bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (odd_upper) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    bool cyrillic_pair = (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) ||
                         (c >= 0x4D0 && c <= 0x52F);
    if (cyrillic_pair) return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    if (c >= 0x4C1 && c <= 0x4CE) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    if (c == 0x4CF) return 0x4C0;
    if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF))
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
    return c;
}

WStr fold(const WStr &text)
{
    WStr out(text);
    for (char16_t &c : out) c = upcase(c);
    return out;
}

// ---- the tree ---------------------------------------------------------------

const int SLOT_HKCR = 0;
const int SLOT_HKCU = 1;
const int SLOT_HKLM = 2;
const LONG ERROR_NOACCESS_CODE = 998;
const LONG ERROR_BADKEY_CODE = 1010;
// Wine resolves long chains of links but answers 87 for a loop; past this
// many hops a chain counts as one.
const int MAX_LINK_HOPS = 32;

const WStr WOW_NODE = u"Wow6432Node";
const WStr LINK_VALUE = u"SymbolicLinkValue";
// The user's classes, as the physical path of a node folds.
const WStr USER_CLASSES = u"HKCU\\SOFTWARE\\CLASSES";

struct Value {
    WStr name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Node {
    WStr name;
    WStr path;     // physical, "HKCR\\A\\B" as created
    int root = 0;  // the tree it lives in
    int depth = 0; // levels below that root
    Node *parent = nullptr;
    bool deleted = false;
    bool link = false;
    std::vector<Value> values; // creation order
    std::map<WStr, std::shared_ptr<Node>> subkeys; // by folded name
    // Where the last enumeration stopped, so that a walk over index 0, 1,
    // 2... costs one step per index; any change of subkeys drops it.
    bool cursor_valid = false;
    size_t cursor_index = 0;
    std::map<WStr, std::shared_ptr<Node>>::iterator cursor;
};
typedef std::shared_ptr<Node> NodeRef;

struct Handle {
    NodeRef node;
    // Read through resolve(); cppcheck misses reads after aggregate init.
    // cppcheck-suppress unusedStructMember
    REGSAM access;
    // Opened through the merged HKCR: node is the user's key where there is
    // one, and machine the machine's key at the same place behind it.
    bool merged = false;
    NodeRef machine;
};

struct NthFault {
    FakeRegFn fn;
    unsigned long at; // absolute call number of fn (or of all calls for FR_ANY)
    LONG code;
};

struct PathFault {
    FakeRegFn fn;
    WStr path; // folded
    bool has_value;
    WStr value; // folded
    long index;
    LONG code;
};

struct State {
    NodeRef roots[3];
    std::map<uintptr_t, Handle> handles;
    uintptr_t next_handle = 0x1000;
    unsigned long calls[FR_FN_COUNT + 1] = {};
    std::vector<NthFault> nth_faults;
    std::vector<PathFault> path_faults;
    FakeMachine machine = FAKE_WIN64_WIN7;
    int process_bits = 64;
};

NodeRef make_child(const NodeRef &parent, const WStr &name);

// HKLM\SOFTWARE is there on every machine: the machine's classes are below it.
void make_software_key(const NodeRef &hklm)
{
    make_child(hklm, u"SOFTWARE");
}

State &state()
{
    static State s;
    static bool ready = false;
    if (!ready) {
        ready = true;
        const char16_t *names[3] = {u"HKCR", u"HKCU", u"HKLM"};
        for (int i = 0; i < 3; i++) {
            s.roots[i] = std::make_shared<Node>();
            s.roots[i]->name = names[i];
            s.roots[i]->path = names[i];
            s.roots[i]->root = i;
        }
        make_software_key(s.roots[SLOT_HKLM]);
    }
    return s;
}

int root_slot(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT) return SLOT_HKCR;
    if (key == HKEY_CURRENT_USER) return SLOT_HKCU;
    if (key == HKEY_LOCAL_MACHINE) return SLOT_HKLM;
    return -1;
}

// The node and access behind a handle; false for an unknown handle.
bool resolve(HKEY key, NodeRef *node, REGSAM *access)
{
    State &s = state();
    int slot = root_slot(key);
    if (slot >= 0) {
        *node = s.roots[slot];
        *access = KEY_ALL_ACCESS;
        return true;
    }
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == s.handles.end()) return false;
    *node = it->second.node;
    *access = it->second.access;
    return true;
}

HKEY new_handle(const NodeRef &node, REGSAM access, bool merged = false,
                const NodeRef &machine = NodeRef())
{
    State &s = state();
    uintptr_t id = s.next_handle;
    s.next_handle += 4;
    if (access & MAXIMUM_ALLOWED) access = KEY_ALL_ACCESS;
    s.handles[id] = Handle{node, access & ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY),
                           merged, machine};
    return reinterpret_cast<HKEY>(id);
}

// ---- the merged HKCR ----------------------------------------------------------

// Windows lays the user's classes over the machine's in HKCR; Wine does not.
bool merges()
{
    return state().machine != FAKE_WIN64_WINE8;
}

// HKCU\Software\Classes, when it exists.
NodeRef user_classes_node()
{
    NodeRef node = state().roots[SLOT_HKCU];
    for (const char16_t *level : {u"SOFTWARE", u"CLASSES"}) {
        auto it = node->subkeys.find(level);
        if (it == node->subkeys.end()) return NodeRef();
        node = it->second;
    }
    return node;
}

// What a key reached through the merged HKCR stands on: the user's key
// (may be null) and the machine's (may be null). 0 for any other key.
bool merged_sides(HKEY key, NodeRef *user, NodeRef *machine)
{
    if (key == HKEY_CLASSES_ROOT) {
        if (!merges()) return false;
        *user = user_classes_node();
        *machine = state().roots[SLOT_HKCR];
        return true;
    }
    auto it = state().handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == state().handles.end() || !it->second.merged) return false;
    bool on_user = it->second.node->root == SLOT_HKCU;
    *user = on_user ? it->second.node : NodeRef();
    *machine = on_user ? it->second.machine : it->second.node;
    return true;
}

WStr join(const WStr &base, const char16_t *sub)
{
    if (sub == nullptr || *sub == 0) return base;
    return base + u"\\" + sub;
}

void bump(FakeRegFn fn)
{
    State &s = state();
    s.calls[fn]++;
    if (fn != FR_CLOSE_KEY) s.calls[FR_ANY]++;
}

// Counts the call and answers a fault planned for its number, or 0.
LONG count_call(FakeRegFn fn)
{
    State &s = state();
    bump(fn);
    for (auto it = s.nth_faults.begin(); it != s.nth_faults.end(); ++it) {
        if (it->fn == FR_ANY && fn == FR_CLOSE_KEY) continue;
        if (s.calls[it->fn] == it->at) {
            LONG code = it->code;
            s.nth_faults.erase(it);
            return code;
        }
    }
    return ERROR_SUCCESS;
}

LONG path_fault(FakeRegFn fn, const WStr &path, const WStr *value_name, long index)
{
    WStr folded = fold(path);
    for (const PathFault &f : state().path_faults) {
        if (f.fn != fn || f.path != folded) continue;
        if (f.has_value && fold(value_name ? *value_name : WStr()) != f.value) continue;
        if (f.index >= 0 && f.index != index) continue;
        return f.code;
    }
    return ERROR_SUCCESS;
}

// Counts the call and answers an injected fault, or 0 to run it for real.
LONG injected(FakeRegFn fn, const WStr &path, const WStr *value_name, long index)
{
    LONG code = count_call(fn);
    if (code != ERROR_SUCCESS) return code;
    return path_fault(fn, path, value_name, index);
}

// Splits a sub-key path into its levels as the kernel does: runs of
// separators count as one and trailing ones are dropped, but a path may not
// start with one.
LONG split_path(const char16_t *sub, std::vector<WStr> *levels)
{
    levels->clear();
    if (sub == nullptr || *sub == 0) return ERROR_SUCCESS;
    if (*sub == u'\\') return ERROR_BAD_PATHNAME;
    WStr level;
    for (const char16_t *p = sub;; p++) {
        if (*p == u'\\' || *p == 0) {
            if (!level.empty()) {
                if (level.size() > 255) return ERROR_INVALID_PARAMETER;
                levels->push_back(level);
                level.clear();
            }
            if (*p == 0) break;
        } else {
            level.push_back(*p);
        }
    }
    return ERROR_SUCCESS;
}

Value *find_value(Node *node, const WStr &name)
{
    WStr key = fold(name);
    for (Value &v : node->values)
        if (fold(v.name) == key) return &v;
    return nullptr;
}

bool is_string_type(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The subkey at index (below subkeys.size()), starting from the cursor when
// the walk goes forward.
const WStr &nth_subkey_name(Node *node, DWORD index)
{
    if (!node->cursor_valid || node->cursor_index > index) {
        node->cursor = node->subkeys.begin();
        node->cursor_index = 0;
        node->cursor_valid = true;
    }
    std::advance(node->cursor, index - node->cursor_index);
    node->cursor_index = index;
    return node->cursor->second->name;
}

void mark_deleted(Node *node)
{
    node->deleted = true;
    for (auto &kv : node->subkeys) mark_deleted(kv.second.get());
}

// Takes a key out of the tree; handles open on it answer 1018 from now on.
void unlink_node(const NodeRef &node)
{
    mark_deleted(node.get());
    Node *parent = node->parent;
    parent->subkeys.erase(fold(node->name));
    parent->cursor_valid = false;
    node->parent = nullptr;
}

NodeRef make_child(const NodeRef &parent, const WStr &name)
{
    NodeRef n = std::make_shared<Node>();
    n->name = name;
    n->path = parent->path + u"\\" + name;
    n->root = parent->root;
    n->depth = parent->depth + 1;
    n->parent = parent.get();
    parent->subkeys[fold(name)] = n;
    parent->cursor_valid = false;
    return n;
}

// ---- views and links --------------------------------------------------------

bool use_view32(REGSAM access)
{
    const State &s = state();
    if (s.machine == FAKE_WIN32) return false;
    if (access & KEY_WOW64_32KEY) return true;
    if (access & KEY_WOW64_64KEY) return false;
    return s.process_bits == 32;
}

// Where a walk down the tree stands: an existing key, or, while a create is
// being planned, the place of one still to be made (node null).
struct Spot {
    NodeRef node;
    int root;
    int depth;
    WStr folded; // its own name, folded
    WStr path;
};

Spot spot_of(const NodeRef &node)
{
    return Spot{node, node->root, node->depth, fold(node->name), node->path};
}

bool is_software(const Spot &at)
{
    return at.root == SLOT_HKLM && at.depth == 1 && at.folded == u"SOFTWARE";
}

// HKLM\SOFTWARE\Classes, in either view, is the machine's classes: the HKCR
// tree here, which keeps its own rule for what each view sees.
bool leads_to_machine_classes(const Spot &at, const WStr &folded_child)
{
    if (at.root != SLOT_HKLM || folded_child != u"CLASSES") return false;
    return is_software(at) || (at.depth == 2 && fold(at.path) == u"HKLM\\SOFTWARE\\WOW6432NODE");
}

// HKCU\Software\Classes: the user's classes.
bool is_user_classes(const Spot &at)
{
    return at.root == SLOT_HKCU && at.depth == 2 && fold(at.path) == USER_CLASSES;
}

// The keys whose subkeys the 32-bit view sends to a Wow6432Node twin.
bool is_redirect_point(const Spot &at)
{
    return (at.root == SLOT_HKCR && at.depth == 0) || is_software(at) || is_user_classes(at);
}

bool is_redirected(const Spot &at, const WStr &folded_child)
{
    if (folded_child == u"WOW6432NODE") return false;
    if (leads_to_machine_classes(at, folded_child)) return false;
    // Wine gives the user's classes one view; Windows splits them as HKCR.
    if (at.root == SLOT_HKCU && state().machine == FAKE_WIN64_WINE8) return false;
    if (at.root == SLOT_HKLM || state().machine == FAKE_WIN64_WINE8) return true;
    // Windows 7 keeps the rest of HKCR shared between the views.
    static const char16_t *const split_keys[] = {u"CLSID", u"DIRECTSHOW", u"INTERFACE",
                                                 u"MEDIA TYPE", u"MEDIAFOUNDATION"};
    for (const char16_t *k : split_keys)
        if (folded_child == k) return true;
    return false;
}

struct WalkOptions {
    bool create;      // make what is missing
    bool apply;       // false: only find where the walk lands, change nothing
    bool view32;      // the 32-bit view
    bool open_link;   // the last level is taken as it is, link or not
    bool create_link; // the last level is to be made a link
};

// One level down; false when the key is missing and may not be made.
bool step(Spot *at, const WStr &name, const WalkOptions &o, bool *made)
{
    WStr folded = fold(name);
    *made = false;
    if (leads_to_machine_classes(*at, folded)) {
        *at = spot_of(state().roots[SLOT_HKCR]);
        return true;
    }
    if (at->node) {
        auto it = at->node->subkeys.find(folded);
        if (it != at->node->subkeys.end()) {
            *at = spot_of(it->second);
            return true;
        }
    }
    if (!o.create) return false;
    *made = true;
    if (o.apply && at->node) {
        *at = spot_of(make_child(at->node, name));
        return true;
    }
    at->node = nullptr;
    at->depth++;
    at->folded = folded;
    at->path += u"\\" + name;
    return true;
}

// A link target is a kernel path; HKCR is the machine's Classes key and
// HKCU one user's key, as Windows names them.
bool parse_kernel_path(const WStr &target, int *slot, std::vector<WStr> *levels)
{
    const WStr prefix = u"\\REGISTRY\\";
    if (target.size() <= prefix.size() || fold(target.substr(0, prefix.size())) != prefix)
        return false;
    std::vector<WStr> parts;
    WStr part;
    for (size_t i = prefix.size(); i <= target.size(); i++) {
        if (i == target.size() || target[i] == u'\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(target[i]);
        }
    }
    if (parts.empty()) return false;
    WStr first = fold(parts[0]);
    size_t skip;
    if (first == u"MACHINE") {
        bool classes = parts.size() >= 3 && fold(parts[1]) == u"SOFTWARE" &&
                       fold(parts[2]) == u"CLASSES";
        *slot = classes ? SLOT_HKCR : SLOT_HKLM;
        skip = classes ? 3 : 1;
    } else if (first == u"USER" && parts.size() >= 2) {
        *slot = SLOT_HKCU;
        skip = 2;
    } else {
        return false;
    }
    levels->assign(parts.begin() + static_cast<long>(skip), parts.end());
    // Windows names the user's classes as a hive of their own.
    const WStr classes_hive = u"_CLASSES";
    WStr hive = fold(parts[1]);
    if (*slot == SLOT_HKCU && hive.size() > classes_hive.size() &&
        hive.compare(hive.size() - classes_hive.size(), classes_hive.size(), classes_hive) == 0)
        levels->insert(levels->begin(), {u"Software", u"Classes"});
    return true;
}

// Replaces a link by the key it points to, through chains of links. A
// create makes a missing target when its parent exists, as Windows does.
LONG follow_link(Spot *at, const WalkOptions &o, int *hops, bool *made)
{
    *made = false;
    while (at->node && at->node->link) {
        if (++*hops > MAX_LINK_HOPS) return ERROR_INVALID_PARAMETER;
        const Value *v = find_value(at->node.get(), LINK_VALUE);
        if (v == nullptr) return ERROR_FILE_NOT_FOUND;
        WStr target(v->data.size() / 2, u'\0');
        if (!target.empty()) memcpy(&target[0], v->data.data(), target.size() * 2);
        int slot;
        std::vector<WStr> levels;
        if (!parse_kernel_path(target, &slot, &levels)) return ERROR_FILE_NOT_FOUND;
        Spot t = spot_of(state().roots[slot]);
        for (size_t i = 0; i < levels.size(); i++) {
            bool last = i + 1 == levels.size();
            WalkOptions inner{o.create && last, o.apply, false, false, false};
            if (!step(&t, levels[i], inner, made)) return ERROR_FILE_NOT_FOUND;
            if (last) break;
            bool unused;
            LONG r = follow_link(&t, WalkOptions{false, false, false, false, false}, hops, &unused);
            if (r != ERROR_SUCCESS) return r;
        }
        *at = t;
    }
    return ERROR_SUCCESS;
}

// Walks levels down from a key as an open or create does: in the 32-bit
// view a redirected level goes to its Wow6432Node twin, and links on the way
// are followed. *created tells whether the last level was made.
LONG walk(const NodeRef &start, const std::vector<WStr> &levels, const WalkOptions &o, Spot *at,
          bool *created)
{
    *at = spot_of(start);
    *created = false;
    int hops = 0;
    for (size_t i = 0; i < levels.size(); i++) {
        bool last = i + 1 == levels.size();
        bool made = false;
        if (o.view32 && is_redirect_point(*at) && is_redirected(*at, fold(levels[i]))) {
            if (!step(at, WOW_NODE, WalkOptions{o.create, o.apply, false, false, false}, &made))
                return ERROR_FILE_NOT_FOUND;
        }
        if (last && o.create_link && at->node && at->node->subkeys.count(fold(levels[i])) != 0)
            return ERROR_ALREADY_EXISTS;
        if (!step(at, levels[i], o, &made)) return ERROR_FILE_NOT_FOUND;
        *created = made;
        if (last && o.create_link) {
            if (o.apply && at->node) at->node->link = true;
            break;
        }
        if (last && o.open_link) break;
        LONG r = follow_link(at, o, &hops, &made);
        if (r != ERROR_SUCCESS) return r;
        if (made) *created = true;
        // HKLM\SOFTWARE itself has a 32-bit twin, as on Windows: a path
        // reaching it goes on in its Wow6432Node unless it names that.
        if (o.view32 && is_software(*at) && (last || is_redirected(*at, fold(levels[i + 1])))) {
            if (!step(at, WOW_NODE, WalkOptions{o.create, o.apply, false, false, false}, &made))
                return ERROR_FILE_NOT_FOUND;
            if (last) *created = made;
        }
    }
    return ERROR_SUCCESS;
}

// RegOpenKey*, RegCreateKey*: where the key is, made when asked.
LONG open_key(FakeRegFn fn, HKEY key, const char16_t *sub, DWORD options, REGSAM access,
              PHKEY result, bool create, LPDWORD disposition)
{
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    NodeRef node;
    REGSAM parent_access;
    if (!resolve(key, &node, &parent_access)) {
        bump(fn);
        return ERROR_INVALID_HANDLE;
    }
    WStr textual = join(node->path, sub);
    LONG r = injected(fn, textual, nullptr, -1);
    if (r != ERROR_SUCCESS) return r;
    if (node->deleted) return ERROR_KEY_DELETED;
    std::vector<WStr> levels;
    r = split_path(sub, &levels);
    if (r == ERROR_INVALID_PARAMETER && !create) r = ERROR_FILE_NOT_FOUND;
    if (r != ERROR_SUCCESS) return r;
    WalkOptions o{create, false, use_view32(access), (options & REG_OPTION_OPEN_LINK) != 0,
                  create && (options & REG_OPTION_CREATE_LINK) != 0 && !levels.empty()};
    Spot at;
    bool created = false;
    // Through the merged HKCR the user's key wins; a key the user lacks is
    // the machine's, and a new one is made there.
    NodeRef user, machine;
    bool merged = merged_sides(key, &user, &machine);
    if (merged && user) {
        WalkOptions look{false, false, o.view32, o.open_link, false};
        if (walk(user, levels, look, &at, &created) == ERROR_SUCCESS && at.node) {
            r = path_fault(fn, at.path, nullptr, -1);
            if (r != ERROR_SUCCESS) return r;
            Spot behind;
            if (!machine || walk(machine, levels, look, &behind, &created) != ERROR_SUCCESS)
                behind.node = nullptr;
            *result = new_handle(at.node, access, true, behind.node);
            if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
    }
    if (merged) node = machine ? machine : user;
    r = walk(node, levels, o, &at, &created);
    if (r != ERROR_SUCCESS) return r;
    // A fault planned on the key itself hits whichever way it is reached.
    if (fold(at.path) != fold(textual)) {
        r = path_fault(fn, at.path, nullptr, -1);
        if (r != ERROR_SUCCESS) return r;
    }
    if (create) {
        o.apply = true;
        r = walk(node, levels, o, &at, &created);
        if (r != ERROR_SUCCESS) return r;
    }
    *result = new_handle(at.node, access, merged);
    if (disposition != nullptr)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

// RegOpenKeyEx*: a predefined root with no path is answered with itself, and
// HKCR takes one leading separator, as advapi32 does.
LONG open_key_ex(HKEY key, const char16_t *sub, DWORD options, REGSAM access, PHKEY result)
{
    if (result != nullptr && (sub == nullptr || *sub == 0) && root_slot(key) >= 0) {
        LONG fault = injected(FR_OPEN_KEY_EX, state().roots[root_slot(key)]->path, nullptr, -1);
        *result = fault == ERROR_SUCCESS ? key : nullptr;
        return fault;
    }
    if (key == HKEY_CLASSES_ROOT && sub != nullptr && *sub == u'\\') sub++;
    return open_key(FR_OPEN_KEY_EX, key, sub, options, access, result, false, nullptr);
}

// RegDeleteKey*: opens the key the ordinary way (so a link is followed) and
// deletes it when it has no subkeys.
LONG delete_key(HKEY key, const char16_t *sub, REGSAM access)
{
    if (sub == nullptr) {
        LONG fault = count_call(FR_DELETE_KEY);
        return fault != ERROR_SUCCESS ? fault : ERROR_INVALID_PARAMETER;
    }
    NodeRef parent;
    REGSAM parent_access;
    if (!resolve(key, &parent, &parent_access)) {
        bump(FR_DELETE_KEY);
        return ERROR_INVALID_HANDLE;
    }
    WStr textual = join(parent->path, sub);
    LONG r = injected(FR_DELETE_KEY, textual, nullptr, -1);
    if (r != ERROR_SUCCESS) return r;
    if (parent->deleted) return ERROR_KEY_DELETED;
    if (key == HKEY_CLASSES_ROOT && *sub == u'\\') sub++;
    std::vector<WStr> levels;
    r = split_path(sub, &levels);
    if (r == ERROR_INVALID_PARAMETER) r = ERROR_FILE_NOT_FOUND;
    if (r != ERROR_SUCCESS) return r;
    Spot at;
    bool created;
    const WalkOptions look{false, false, use_view32(access), false, false};
    // Through the merged HKCR the user's key goes first.
    NodeRef user, machine;
    if (merged_sides(key, &user, &machine)) {
        if (user && walk(user, levels, look, &at, &created) == ERROR_SUCCESS && at.node)
            parent = user;
        else if (machine)
            parent = machine;
    }
    r = walk(parent, levels, look, &at, &created);
    if (r != ERROR_SUCCESS) return r;
    if (fold(at.path) != fold(textual)) {
        r = path_fault(FR_DELETE_KEY, at.path, nullptr, -1);
        if (r != ERROR_SUCCESS) return r;
    }
    if (at.node->parent == nullptr) return ERROR_ACCESS_DENIED; // a predefined root
    if (!at.node->subkeys.empty()) return ERROR_ACCESS_DENIED;
    unlink_node(at.node);
    return ERROR_SUCCESS;
}

// Common entry of the calls that work on an open handle: resolves it, counts
// the call, answers injected faults, deleted keys and missing rights.
LONG enter(FakeRegFn fn, HKEY key, const WStr *value_name, long index, REGSAM needed,
           NodeRef *node)
{
    REGSAM access;
    if (!resolve(key, node, &access)) {
        bump(fn);
        return ERROR_INVALID_HANDLE;
    }
    LONG fault = injected(fn, (*node)->path, value_name, index);
    if (fault != ERROR_SUCCESS) return fault;
    if ((*node)->deleted) return ERROR_KEY_DELETED;
    if ((access & needed) != needed) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// ---- values -----------------------------------------------------------------

char16_t wchar_at(const BYTE *data, size_t offset)
{
    return static_cast<char16_t>(data[offset] | (data[offset + 1] << 8));
}

LONG set_value(HKEY key, const WStr &name, DWORD reserved, DWORD type, const BYTE *data,
               DWORD data_len, bool ansi)
{
    NodeRef node;
    LONG r = enter(FR_SET_VALUE, key, &name, -1, KEY_SET_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    if (data == nullptr && data_len > 0) return ERROR_NOACCESS_CODE;
    // The ANSI call adds the terminator a caller forgot to count, peeking one
    // byte past the given length as Windows does. The wide call stores the
    // bytes given: Wine would peek and add one there too, so callers that
    // want an exact copy keep a non-zero character after their data.
    std::vector<BYTE> bytes;
    if (ansi) {
        if (data_len > 0 && is_string_type(type) && data[data_len - 1] != 0 && data[data_len] == 0)
            data_len++;
        if (is_string_type(type)) bytes = ansi_data_to_utf16(data, data_len);
        else if (data_len > 0) bytes.assign(data, data + data_len);
    } else if (data_len > 0) {
        bytes.assign(data, data + data_len);
    }
    // A link key holds its target and nothing else.
    if (node->link && (type != REG_LINK || fold(name) != fold(LINK_VALUE)))
        return ERROR_ACCESS_DENIED;
    Value *v = find_value(node.get(), name);
    if (v == nullptr) {
        node->values.push_back(Value{name, type, {}});
        v = &node->values.back();
    }
    v->type = type;
    v->data = bytes;
    return ERROR_SUCCESS;
}

// The courtesy terminator Windows writes after text that has none, when the
// buffer has room for it.
void add_terminator(DWORD type, bool ansi, LPBYTE data, DWORD size, DWORD room)
{
    if (!is_string_type(type)) return;
    if (ansi) {
        if (size > 0 && size < room && data[size - 1] != 0) data[size] = 0;
    } else if (size >= 2 && size + 2 <= room && wchar_at(data, size - 2) != 0) {
        data[size] = 0;
        data[size + 1] = 0;
    }
}

// The data as the caller sees it: ANSI calls get text in code page 1252.
std::vector<BYTE> data_for(const Value &v, bool ansi)
{
    if (ansi && is_string_type(v.type)) return utf16_data_to_ansi(v.data);
    return v.data;
}

LONG query_value(HKEY key, const WStr &name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                 LPDWORD data_len, bool ansi)
{
    if (reserved != nullptr || (data != nullptr && data_len == nullptr))
        return ERROR_INVALID_PARAMETER;
    // advapi32 clears these before it asks the kernel.
    if (ansi && type != nullptr) *type = REG_NONE;
    if (data == nullptr && data_len != nullptr) *data_len = 0;
    NodeRef node;
    LONG r = enter(FR_QUERY_VALUE, key, &name, -1, KEY_QUERY_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    const Value *v = find_value(node.get(), name);
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    std::vector<BYTE> out = data_for(*v, ansi);
    if (type != nullptr) *type = v->type;
    if (data_len == nullptr) return ERROR_SUCCESS;
    DWORD size = static_cast<DWORD>(out.size());
    if (data != nullptr) {
        if (size > *data_len) {
            *data_len = size;
            return ERROR_MORE_DATA;
        }
        if (size > 0) memcpy(data, out.data(), size);
        add_terminator(v->type, ansi, data, size, *data_len);
    }
    *data_len = size;
    return ERROR_SUCCESS;
}

LONG delete_value(HKEY key, const WStr &name)
{
    NodeRef node;
    LONG r = enter(FR_DELETE_VALUE, key, &name, -1, KEY_SET_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    WStr wanted = fold(name);
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (fold(it->name) == wanted) {
            node->values.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

// The subkey name at index for the enumerations, or a result code.
LONG enum_key_name(FakeRegFn fn, HKEY key, DWORD index, WStr *name)
{
    NodeRef node;
    LONG r = enter(fn, key, nullptr, index, KEY_ENUMERATE_SUB_KEYS, &node);
    if (r != ERROR_SUCCESS) return r;
    // A merged key lists the subkeys of both sides, each name once.
    NodeRef user, machine;
    if (merged_sides(key, &user, &machine) && user && machine) {
        std::map<WStr, WStr> both;
        for (const NodeRef &side : {machine, user})
            for (const auto &kv : side->subkeys) both[kv.first] = kv.second->name;
        if (index >= both.size()) return ERROR_NO_MORE_ITEMS;
        *name = std::next(both.begin(), static_cast<long>(index))->second;
        return ERROR_SUCCESS;
    }
    if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    *name = nth_subkey_name(node.get(), index);
    return ERROR_SUCCESS;
}

void no_class(DWORD *class_len, PFILETIME last_write)
{
    if (class_len != nullptr) *class_len = 0;
    if (last_write != nullptr) *last_write = FILETIME{0, 0};
}

} // namespace

// ---- keys -------------------------------------------------------------------

LONG RegOpenKeyA(HKEY key, LPCSTR sub_key, PHKEY result)
{
    if (result != nullptr && (sub_key == nullptr || *sub_key == '\0')) {
        // Windows hands back the very handle it was given.
        NodeRef node;
        REGSAM access;
        LONG fault = ERROR_SUCCESS;
        if (resolve(key, &node, &access)) fault = injected(FR_OPEN_KEY, node->path, nullptr, -1);
        else bump(FR_OPEN_KEY);
        *result = fault == ERROR_SUCCESS ? key : nullptr;
        return fault;
    }
    WStr sub = ansi_to_wide(sub_key);
    const char16_t *p = sub.c_str();
    if (key == HKEY_CLASSES_ROOT && *p == u'\\') p++;
    return open_key(FR_OPEN_KEY, key, p, 0, MAXIMUM_ALLOWED, result, false, nullptr);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result)
{
    WStr sub = ansi_to_wide(sub_key);
    return open_key_ex(key, sub_key ? sub.c_str() : nullptr, options, access, result);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM access, PHKEY result)
{
    return open_key_ex(key, sub_key, options, access, result);
}

LONG RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result)
{
    WStr sub = ansi_to_wide(sub_key);
    return open_key(FR_CREATE_KEY, key, sub_key ? sub.c_str() : nullptr, 0, MAXIMUM_ALLOWED,
                    result, true, nullptr);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR class_name, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition)
{
    (void)class_name;
    (void)security;
    if (result == nullptr) return ERROR_BADKEY_CODE;
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    return open_key(FR_CREATE_KEY, key, sub_key, options, access, result, true, disposition);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR class_name, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition)
{
    (void)class_name;
    WStr sub = ansi_to_wide(sub_key);
    return RegCreateKeyExW(key, sub_key ? sub.c_str() : nullptr, reserved, nullptr, options,
                           access, security, result, disposition);
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size)
{
    WStr sub;
    LONG r = enum_key_name(FR_ENUM_KEY, key, index, &sub);
    if (r != ERROR_SUCCESS) return r;
    std::string text = wide_to_ansi(sub);
    if (name == nullptr || text.size() + 1 > name_size) return ERROR_MORE_DATA;
    memcpy(name, text.c_str(), text.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPSTR class_name, LPDWORD class_len, PFILETIME last_write)
{
    if (name_len == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
    WStr sub;
    LONG r = enum_key_name(FR_ENUM_KEY_EX, key, index, &sub);
    if (r != ERROR_SUCCESS) return r;
    std::string text = wide_to_ansi(sub);
    if (name == nullptr || text.size() + 1 > *name_len) return ERROR_MORE_DATA;
    memcpy(name, text.c_str(), text.size() + 1);
    *name_len = static_cast<DWORD>(text.size());
    if (class_name != nullptr && class_len != nullptr && *class_len > 0) class_name[0] = '\0';
    no_class(class_len, last_write);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPWSTR class_name, LPDWORD class_len, PFILETIME last_write)
{
    if (name_len == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
    WStr sub;
    LONG r = enum_key_name(FR_ENUM_KEY_EX, key, index, &sub);
    if (r != ERROR_SUCCESS) return r;
    if (name == nullptr || sub.size() + 1 > *name_len) return ERROR_MORE_DATA;
    memcpy(name, sub.c_str(), (sub.size() + 1) * sizeof(WCHAR));
    *name_len = static_cast<DWORD>(sub.size());
    if (class_name != nullptr && class_len != nullptr && *class_len > 0) class_name[0] = 0;
    no_class(class_len, last_write);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR sub_key)
{
    WStr sub = ansi_to_wide(sub_key);
    return delete_key(key, sub_key ? sub.c_str() : nullptr, 0);
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR sub_key)
{
    return delete_key(key, sub_key, 0);
}

LONG RegDeleteKeyExA(HKEY key, LPCSTR sub_key, REGSAM access, DWORD reserved)
{
    (void)reserved;
    WStr sub = ansi_to_wide(sub_key);
    return delete_key(key, sub_key ? sub.c_str() : nullptr, access);
}

LONG RegDeleteKeyExW(HKEY key, LPCWSTR sub_key, REGSAM access, DWORD reserved)
{
    (void)reserved;
    return delete_key(key, sub_key, access);
}

LONG RegCloseKey(HKEY key)
{
    State &s = state();
    s.calls[FR_CLOSE_KEY]++;
    if (root_slot(key) >= 0) return ERROR_SUCCESS;
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
    // An injected close failure still releases the handle, as a failing
    // flush would: the caller cannot do anything else with it.
    s.handles.erase(it);
    for (auto f = s.nth_faults.begin(); f != s.nth_faults.end(); ++f) {
        if (f->fn == FR_CLOSE_KEY && s.calls[FR_CLOSE_KEY] == f->at) {
            LONG code = f->code;
            s.nth_faults.erase(f);
            return code;
        }
    }
    return ERROR_SUCCESS;
}

LONG delete_key_handle(HKEY key)
{
    NodeRef node;
    REGSAM access;
    if (!resolve(key, &node, &access)) {
        bump(FR_DELETE_KEY);
        return ERROR_INVALID_HANDLE;
    }
    LONG r = injected(FR_DELETE_KEY, node->path, nullptr, -1);
    if (r != ERROR_SUCCESS) return r;
    if (node->deleted) return ERROR_KEY_DELETED;
    if ((access & DELETE) == 0) return ERROR_ACCESS_DENIED;
    if (node->parent == nullptr || !node->subkeys.empty()) return ERROR_ACCESS_DENIED;
    unlink_node(node);
    return ERROR_SUCCESS;
}

// The in-process machine's roots by their kernel names: HKCR is the
// machine's Classes key, HKCU one user's hive.
int registry_key_name(HKEY key, WCHAR *out, ULONG out_chars)
{
    static const char16_t user_hive[] = u"\\REGISTRY\\USER\\" FAKE_USER_SID;
    static const char16_t *const kernel_roots[3] = {u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes",
                                                    user_hive, u"\\REGISTRY\\MACHINE"};
    if (out_chars > 0) out[0] = 0;
    NodeRef node;
    REGSAM access;
    int slot = root_slot(key);
    WStr name;
    if (slot >= 0) {
        name = kernel_roots[slot];
    } else {
        if (!resolve(key, &node, &access) || node->deleted) return 0;
        // The physical path after its root's short name; Windows names the
        // user's classes as a hive of their own, Wine as the key they are.
        WStr start = fold(node->path.substr(0, USER_CLASSES.size()));
        bool own_hive = state().machine != FAKE_WIN64_WINE8 && start == USER_CLASSES &&
                        (node->path.size() == start.size() || node->path[start.size()] == u'\\');
        if (own_hive)
            name = WStr(user_hive) + u"_Classes" + node->path.substr(USER_CLASSES.size());
        else
            name = WStr(kernel_roots[node->root]) + node->path.substr(4);
    }
    if (name.size() >= out_chars) return 0;
    memcpy(out, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    return 1;
}

int same_registry_key(HKEY a, HKEY b)
{
    NodeRef node_a, node_b;
    REGSAM access;
    if (!resolve(a, &node_a, &access) || !resolve(b, &node_b, &access)) return -1;
    return node_a == node_b ? 1 : 0;
}

// ---- values -------------------------------------------------------------------

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD data_len)
{
    return query_value(key, ansi_to_wide(name), reserved, type, data, data_len, true);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD data_len)
{
    return query_value(key, name ? WStr(name) : WStr(), reserved, type, data, data_len, false);
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD data_len)
{
    return set_value(key, ansi_to_wide(name), reserved, type, data, data_len, true);
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD data_len)
{
    return set_value(key, name ? WStr(name) : WStr(), reserved, type, data, data_len, false);
}

LONG RegDeleteValueA(HKEY key, LPCSTR name)
{
    return delete_value(key, ansi_to_wide(name));
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name)
{
    return delete_value(key, name ? WStr(name) : WStr());
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD data_len)
{
    if (name == nullptr || name_len == nullptr || reserved != nullptr ||
        (data != nullptr && data_len == nullptr))
        return ERROR_INVALID_PARAMETER;
    NodeRef node;
    LONG r = enter(FR_ENUM_VALUE, key, nullptr, index, KEY_QUERY_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value &v = node->values[index];
    std::vector<BYTE> out = data_for(v, true);
    DWORD size = static_cast<DWORD>(out.size());
    // As advapi32 does it: the data first, then the name, which is cut to
    // the buffer when it does not fit.
    if (data != nullptr) {
        if (size > *data_len) {
            r = ERROR_MORE_DATA;
        } else {
            if (size > 0) memcpy(data, out.data(), size);
            add_terminator(v.type, true, data, size, *data_len);
        }
    }
    if (r == ERROR_SUCCESS) {
        std::string text = wide_to_ansi(v.name);
        if (text.size() >= *name_len) {
            r = ERROR_MORE_DATA;
            if (*name_len > 0) {
                memcpy(name, text.data(), *name_len - 1);
                name[*name_len - 1] = '\0';
            }
        } else {
            memcpy(name, text.c_str(), text.size() + 1);
            *name_len = static_cast<DWORD>(text.size());
        }
    }
    if (type != nullptr) *type = v.type;
    if (data_len != nullptr) *data_len = size;
    return r;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD data_len)
{
    if (name == nullptr || name_len == nullptr || reserved != nullptr ||
        (data != nullptr && data_len == nullptr))
        return ERROR_INVALID_PARAMETER;
    NodeRef node;
    LONG r = enter(FR_ENUM_VALUE, key, nullptr, index, KEY_QUERY_VALUE, &node);
    if (r != ERROR_SUCCESS) return r;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value &v = node->values[index];
    DWORD size = static_cast<DWORD>(v.data.size());
    if (type != nullptr) *type = v.type;
    // The name first, then the data; each answers 234 when it does not fit.
    if (v.name.size() >= *name_len) {
        if (data_len != nullptr) *data_len = size;
        return ERROR_MORE_DATA;
    }
    memcpy(name, v.name.c_str(), (v.name.size() + 1) * sizeof(WCHAR));
    *name_len = static_cast<DWORD>(v.name.size());
    if (data != nullptr) {
        if (size > *data_len) {
            *data_len = size;
            return ERROR_MORE_DATA;
        }
        if (size > 0) memcpy(data, v.data.data(), size);
        add_terminator(v.type, false, data, size, *data_len);
    }
    if (data_len != nullptr) *data_len = size;
    return ERROR_SUCCESS;
}

// ---- the process ----------------------------------------------------------------

HANDLE GetCurrentProcess()
{
    // The pseudo handle Windows gives.
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL IsWow64Process(HANDLE process, BOOL *wow64)
{
    if (process != GetCurrentProcess() || wow64 == nullptr) return FALSE;
    const State &s = state();
    *wow64 = (s.machine != FAKE_WIN32 && s.process_bits == 32) ? TRUE : FALSE;
    return TRUE;
}

// ---- test hooks -----------------------------------------------------------

void fakereg_reset()
{
    State &s = state();
    for (const auto &root : s.roots) {
        for (auto &kv : root->subkeys) mark_deleted(kv.second.get());
        root->subkeys.clear();
        root->cursor_valid = false;
        root->values.clear();
    }
    make_software_key(s.roots[SLOT_HKLM]);
    s.handles.clear();
    fakefile_close_all();
    fakereg_reset_counts();
    fakereg_clear_faults();
}

int fakereg_open_handles()
{
    return static_cast<int>(state().handles.size());
}

unsigned long fakereg_calls(FakeRegFn fn)
{
    return state().calls[fn];
}

void fakereg_reset_counts()
{
    State &s = state();
    for (unsigned long &c : s.calls) c = 0;
    s.nth_faults.clear();
}

void fakereg_fail_nth(FakeRegFn fn, unsigned long nth, LONG code)
{
    State &s = state();
    s.nth_faults.push_back(NthFault{fn, s.calls[fn] + nth, code});
}

void fakereg_fail_on(FakeRegFn fn, const char *key_path, const char *value_name, long index,
                     LONG code)
{
    state().path_faults.push_back(PathFault{fn, fold(utf8_to_wide(key_path)),
                                            value_name != nullptr,
                                            fold(utf8_to_wide(value_name)), index, code});
}

void fakereg_clear_faults()
{
    state().nth_faults.clear();
    state().path_faults.clear();
}

int fakereg_delete_external(const char *key_path)
{
    const State &s = state();
    WStr path = utf8_to_wide(key_path);
    std::vector<WStr> levels;
    if (split_path(path.c_str(), &levels) != ERROR_SUCCESS || levels.size() < 2) return 0;
    NodeRef node;
    WStr root = fold(levels[0]);
    if (root == u"HKCR") node = s.roots[SLOT_HKCR];
    else if (root == u"HKCU") node = s.roots[SLOT_HKCU];
    else if (root == u"HKLM") node = s.roots[SLOT_HKLM];
    else return 0;
    // The path is physical: no view, and a link on it is not followed.
    for (size_t i = 1; i < levels.size(); i++) {
        auto it = node->subkeys.find(fold(levels[i]));
        if (it == node->subkeys.end()) return 0;
        node = it->second;
    }
    unlink_node(node);
    return 1;
}

void fakereg_set_machine(FakeMachine machine)
{
    state().machine = machine;
    fakeenv_reset(); // the program folders follow the machine
}

FakeMachine fakereg_machine()
{
    return state().machine;
}

void fakereg_set_process_bits(int bits)
{
    state().process_bits = bits == 32 ? 32 : 64;
    fakeenv_reset();
}

int fakereg_process_bits()
{
    // A 32-bit Windows runs 32-bit programs only.
    const State &s = state();
    return s.machine == FAKE_WIN32 ? 32 : s.process_bits;
}
