#include "ui/list_rows.h"

#include <cstdlib>
#include <cstring>

#include "catalogue/dll_problem.h"
#include "platform/widetext.h"
#include "ui/layout.h"

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
        narrow_to_ansi(facts->company, scratch, size);
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
    char company[ROW_CELL_SIZE];
    narrow_to_ansi(facts->company, company, sizeof company);
    return text_matches(company, sizeof company, needle);
}

int row_has_problem(const PlugEntry *entry, const DllFacts *facts)
{
    int32_t problem = dll_problem(entry, facts);
    return problem != DLL_PROBLEM_NONE && problem != DLL_PROBLEM_UNKNOWN;
}
