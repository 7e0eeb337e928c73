#include "ui/list_rows.h"

#include <cstdlib>
#include <cstring>

#include "catalogue/dll_problem.h"
#include "catalogue/list_csv.h"
#include "catalogue/scopes.h"
#include "platform/widetext.h"

// ---- the entry's own columns ----------------------------------------------

const char *cell_text(const PlugEntry *entry, int column)
{
    switch (column) {
    case 0:
        return entry->name;
    case 1:
        return type_text(entry->type);
    case 2:
        return entry->disabled != 0 ? "Disabled" : "- OK -";
    case 3:
        return entry->dll_exists != 0 ? "Yes" : "-no-";
    case 4:
        return entry->dll_path;
    case 5:
        return entry->bits == 64 ? "64" : "32";
    case COLUMN_SCOPE:
        return known_scope(entry->scope) == PLUG_SCOPE_USER ? "User" : "Machine";
    default:
        return nullptr;
    }
}

namespace {

// The longest text a field can hold, in bytes and so also in UTF-16 units.
#define MATCH_TEXT_SIZE PLUG_DLL_PATH_BYTES

#ifndef _WIN32
// Lower case of one UTF-16 unit for hosts without the platform's tables:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals; any other
// unit as it is.
uint16_t fold_unit(uint16_t c)
{
    if (c >= 'A' && c <= 'Z') return static_cast<uint16_t>(c + 0x20);
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : static_cast<uint16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs: capital on even units, except in the two odd-based runs.
        int odd_based = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if ((c % 2 == 1) == (odd_based != 0)) return static_cast<uint16_t>(c + 1);
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<uint16_t>(c + 0x20);
    if (c >= 0x410 && c <= 0x42F) return static_cast<uint16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<uint16_t>(c + 0x50);
    return c;
}
#endif

// Lower case in place, unit for unit: the platform's own case mapping on
// Windows, so any script folds as the system folds it.
void fold_wide(WCHAR *text, size_t len)
{
    if (len == 0) return;
#ifdef _WIN32
    CharLowerBuffW(text, static_cast<DWORD>(len));
#else
    for (size_t i = 0; i < len; i++)
        text[i] = static_cast<WCHAR>(fold_unit(static_cast<uint16_t>(text[i])));
#endif
}

// UTF-8 text of at most max_len bytes as folded UTF-16 into out
// (MATCH_TEXT_SIZE units); its length in units.
size_t fold_utf8(const char *text, size_t max_len, WCHAR *out)
{
    char copy[MATCH_TEXT_SIZE];
    size_t len = strnlen(text, max_len < sizeof copy ? max_len : sizeof copy - 1);
    memcpy(copy, text, len);
    copy[len] = '\0';
    // A UTF-8 text never takes more UTF-16 units than it has bytes.
    utf8_to_utf16(copy, out, MATCH_TEXT_SIZE);
    size_t chars = 0;
    while (out[chars] != 0) chars++;
    fold_wide(out, chars);
    return chars;
}

// needle (folded, needle_len units) within text (folded, len units).
int contains_wide(const WCHAR *text, size_t len, const WCHAR *needle, size_t needle_len)
{
    for (size_t start = 0; start + needle_len <= len; start++)
        if (memcmp(text + start, needle, needle_len * sizeof(WCHAR)) == 0) return 1;
    return 0;
}

// needle (folded) within the first max_len bytes of UTF-8 text.
int contains_folded(const char *text, size_t max_len, const WCHAR *needle, size_t needle_len)
{
    WCHAR folded[MATCH_TEXT_SIZE];
    size_t len = fold_utf8(text, max_len, folded);
    return contains_wide(folded, len, needle, needle_len);
}

// needle (folded) within UTF-16 text of at most max_chars units.
int contains_folded_wide(const WCHAR *text, size_t max_chars, const WCHAR *needle,
                         size_t needle_len)
{
    WCHAR folded[MATCH_TEXT_SIZE];
    size_t len = 0;
    while (len < max_chars && len < MATCH_TEXT_SIZE && text[len] != 0) {
        folded[len] = text[len];
        len++;
    }
    fold_wide(folded, len);
    return contains_wide(folded, len, needle, needle_len);
}

} // namespace

int text_matches(const char *text, size_t max_len, const char *needle)
{
    WCHAR folded[MATCH_TEXT_SIZE];
    size_t len = fold_utf8(needle, MATCH_TEXT_SIZE, folded);
    if (len == 0) return 1;
    return contains_folded(text, max_len, folded, len);
}

int entry_matches(const PlugEntry *entry, const char *needle)
{
    WCHAR folded[MATCH_TEXT_SIZE];
    size_t len = fold_utf8(needle, MATCH_TEXT_SIZE, folded);
    if (len == 0) return 1;
    return contains_folded(entry->name, sizeof entry->name, folded, len) ||
           contains_folded(entry->dll_path, sizeof entry->dll_path, folded, len) ||
           contains_folded(entry->clsid_text, sizeof entry->clsid_text, folded, len);
}

namespace {

// Unsigned byte order up to the terminator: upper case before lower case,
// a text that begins another goes first, and for UTF-8 this is the order of
// the code points.
int compare_text(const char *a, const char *b)
{
    const unsigned char *pa = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *pb = reinterpret_cast<const unsigned char *>(b);
    while (*pa != 0 && *pa == *pb) {
        pa++;
        pb++;
    }
    if (*pa < *pb) return -1;
    if (*pa > *pb) return 1;
    return 0;
}

template <typename T> int ascending(T a, T b)
{
    if (a < b) return -1;
    if (a > b) return 1;
    return 0;
}

} // namespace

int compare_plug_entries(const PlugEntry *a, const PlugEntry *b, int column)
{
    if (a == nullptr || b == nullptr) return 0;
    switch (column) {
    case 0:
        return compare_text(a->name, b->name);
    case 1:
        return ascending(static_cast<uint32_t>(a->type), static_cast<uint32_t>(b->type));
    case 2: // disabled rows first
        return ascending(static_cast<uint32_t>(b->disabled), static_cast<uint32_t>(a->disabled));
    case 3: // existing DLLs first
        return ascending(b->dll_exists, a->dll_exists);
    case 4:
        return compare_text(a->dll_path, b->dll_path);
    case 5:
        return ascending(a->bits, b->bits);
    case COLUMN_SCOPE:
        return ascending(known_scope(a->scope), known_scope(b->scope));
    default:
        return 0;
    }
}

// ---- the file's columns -----------------------------------------------------

static int is_pending(const DllFacts *facts)
{
    return facts == nullptr || facts->read == DLL_READ_PENDING;
}

static int is_image(const DllFacts *facts)
{
    return facts != nullptr && facts->read == DLL_READ_IMAGE;
}

const char *row_cell_text(const PlugEntry *entry, const DllFacts *facts, int column,
                          char *scratch, size_t size)
{
    if (column < COLUMN_VERSION) return cell_text(entry, column);
    int32_t problem = dll_problem(entry, facts);
    switch (column) {
    case COLUMN_VERSION:
        // A file that will not be read is known at once.
        if (problem == DLL_PROBLEM_NO_DLL || problem == DLL_PROBLEM_NOT_FOUND) return "";
        if (is_pending(facts)) return CELL_PENDING_TEXT;
        return is_image(facts) ? facts->version : "";
    case COLUMN_COMPANY:
        if (problem == DLL_PROBLEM_NO_DLL || problem == DLL_PROBLEM_NOT_FOUND) return "";
        if (is_pending(facts)) return CELL_PENDING_TEXT;
        if (!is_image(facts) || size == 0) return "";
        utf16_to_utf8(facts->company, DLL_TEXT_SIZE, scratch, size, DLL_TEXT_SIZE);
        return scratch;
    case COLUMN_PROBLEM: {
        if (problem == DLL_PROBLEM_UNKNOWN) return CELL_PENDING_TEXT;
        const char *text = problem_text(problem);
        return text != nullptr ? text : "";
    }
    default:
        return nullptr;
    }
}

// Pending cells after every other; -2 when neither is pending.
static int pending_last(const DllFacts *fa, const DllFacts *fb)
{
    int a = is_pending(fa), b = is_pending(fb);
    if (a || b) return a - b;
    return -2;
}

// The numbers of "a.b.c.d"; how many were there.
static int version_numbers(const char *text, unsigned long numbers[4])
{
    int n = 0;
    for (const char *p = text; n < 4 && *p >= '0' && *p <= '9'; n++) {
        char *end = nullptr;
        numbers[n] = strtoul(p, &end, 10);
        p = *end == '.' ? end + 1 : end;
    }
    return n;
}

static int compare_versions(const char *a, const char *b)
{
    unsigned long va[4] = {0, 0, 0, 0}, vb[4] = {0, 0, 0, 0};
    int na = version_numbers(a, va);
    int nb = version_numbers(b, vb);
    // Files without a version after those with one.
    if ((na > 0) != (nb > 0)) return na > 0 ? -1 : 1;
    for (int i = 0; i < 4; i++)
        if (va[i] != vb[i]) return va[i] < vb[i] ? -1 : 1;
    return 0;
}

static int compare_wide(const WCHAR *a, const WCHAR *b)
{
    // Empty names after the others, so the makers come first.
    if ((a[0] == 0) != (b[0] == 0)) return a[0] == 0 ? 1 : -1;
    size_t i = 0;
    while (i + 1 < DLL_TEXT_SIZE && a[i] != 0 && a[i] == b[i]) i++;
    if (a[i] == b[i]) return 0;
    return a[i] < b[i] ? -1 : 1;
}

// Problems in their order of precedence, then the loadable rows.
static int problem_rank(int32_t problem)
{
    if (problem == DLL_PROBLEM_HIDDEN) return 0;
    return problem == DLL_PROBLEM_NONE ? 100 : problem;
}

int compare_plug_rows(const PlugEntry *a, const DllFacts *fa, const PlugEntry *b,
                      const DllFacts *fb, int column)
{
    if (a == nullptr || b == nullptr) return 0;
    if (column < COLUMN_VERSION) return compare_plug_entries(a, b, column);
    static const WCHAR none[1] = {0};
    switch (column) {
    case COLUMN_VERSION: {
        int pending = pending_last(fa, fb);
        if (pending != -2) return pending;
        return compare_versions(is_image(fa) ? fa->version : "", is_image(fb) ? fb->version : "");
    }
    case COLUMN_COMPANY: {
        int pending = pending_last(fa, fb);
        if (pending != -2) return pending;
        return compare_wide(is_image(fa) ? fa->company : none, is_image(fb) ? fb->company : none);
    }
    case COLUMN_PROBLEM: {
        int32_t pa = dll_problem(a, fa), pb = dll_problem(b, fb);
        if ((pa == DLL_PROBLEM_UNKNOWN) != (pb == DLL_PROBLEM_UNKNOWN))
            return pa == DLL_PROBLEM_UNKNOWN ? 1 : -1;
        int ra = problem_rank(pa), rb = problem_rank(pb);
        return (ra > rb) - (ra < rb);
    }
    default:
        return 0;
    }
}

int row_matches(const PlugEntry *entry, const DllFacts *facts, const char *needle)
{
    if (entry_matches(entry, needle)) return 1;
    if (!is_image(facts)) return 0;
    WCHAR folded[MATCH_TEXT_SIZE];
    size_t len = fold_utf8(needle, MATCH_TEXT_SIZE, folded);
    return contains_folded_wide(facts->company, DLL_TEXT_SIZE, folded, len);
}

int shows_file_company(const PlugEntry *entry, const DllFacts *facts)
{
    int32_t problem = dll_problem(entry, facts);
    return problem != DLL_PROBLEM_NO_DLL && problem != DLL_PROBLEM_NOT_FOUND &&
           is_image(facts);
}

int row_has_problem(const PlugEntry *entry, const DllFacts *facts)
{
    int32_t problem = dll_problem(entry, facts);
    return problem != DLL_PROBLEM_NONE && problem != DLL_PROBLEM_UNKNOWN;
}
