#include "catalogue/views.h"

#include "catalogue/catalogue.h"

// Asked each time: cheap, and the answer must follow the machine the
// in-process registry plays in tests.
static int has_two_views()
{
    if (PROCESS_IS_64BIT) return 1;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

int registry_views(int32_t bits[2])
{
    bits[0] = PLUG_BITS_32;
    bits[1] = PLUG_BITS_64;
    return has_two_views() ? 2 : 1;
}

// A record that names no view is of the program's own view, where it has
// always acted.
static int32_t known_view(int32_t bits)
{
    if (bits == PLUG_BITS_32 || bits == PLUG_BITS_64) return bits;
    return PROCESS_IS_64BIT ? PLUG_BITS_64 : PLUG_BITS_32;
}

REGSAM view_flag(int32_t bits)
{
    if (!has_two_views()) return 0;
    return known_view(bits) == PLUG_BITS_64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

int32_t other_view(int32_t bits)
{
    if (!has_two_views()) return 0;
    return known_view(bits) == PLUG_BITS_64 ? PLUG_BITS_32 : PLUG_BITS_64;
}

REGSAM store_view()
{
    return has_two_views() ? KEY_WOW64_64KEY : 0;
}

const char *store_root_path(int32_t bits)
{
    if (!has_two_views()) return STORE_ROOT_PATH;
    return known_view(bits) == PLUG_BITS_64 ? STORE64_ROOT_PATH : STORE_ROOT_PATH;
}
