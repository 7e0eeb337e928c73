#include "catalogue/dll_problem.h"

#include <cstring>

#include "catalogue/views.h"

int32_t dll_problem(const PlugEntry *entry, const DllFacts *facts)
{
    // Whatever its file, a host never loads a registration it does not get.
    if (entry->hidden != 0) return DLL_PROBLEM_HIDDEN;
    if (entry->dll_path[0] == '\0') return DLL_PROBLEM_NO_DLL;
    if (entry->dll_exists == 0) return DLL_PROBLEM_NOT_FOUND;
    if (facts == nullptr || facts->read == DLL_READ_PENDING) return DLL_PROBLEM_UNKNOWN;
    // Gone between the scan and the read.
    if (facts->read == DLL_READ_NO_FILE) return DLL_PROBLEM_NOT_FOUND;
    if (facts->read != DLL_READ_IMAGE) return DLL_PROBLEM_NOT_PE;
    // A host loads only images of its own bitness; the machine within it
    // (x64 or ARM64 emulation) is the platform's business.
    if (facts->image_bits == 64 && entry->bits != PLUG_BITS_64) return DLL_PROBLEM_64_IN_32;
    if (facts->image_bits == 32 && entry->bits == PLUG_BITS_64) return DLL_PROBLEM_32_IN_64;
    return DLL_PROBLEM_NONE;
}

const char *problem_text(int32_t problem)
{
    switch (problem) {
    case DLL_PROBLEM_NO_DLL:
        return "no DLL registered";
    case DLL_PROBLEM_NOT_FOUND:
        return "DLL not found";
    case DLL_PROBLEM_NOT_PE:
        return "not a Windows DLL";
    case DLL_PROBLEM_64_IN_32:
        return "64-bit DLL in the 32-bit view";
    case DLL_PROBLEM_32_IN_64:
        return "32-bit DLL in the 64-bit view";
    case DLL_PROBLEM_HIDDEN:
        return "hidden by a per-user registration";
    default:
        return nullptr;
    }
}

void read_file_facts(int32_t dll_exists, const WCHAR *file, DllFacts *facts)
{
    memset(facts, 0, sizeof *facts);
    facts->read = DLL_READ_NO_FILE;
    if (dll_exists != 0 && file != nullptr && file[0] != 0) read_dll_facts(file, facts);
}

void read_entry_facts(int index, DllFacts *facts)
{
    const PlugEntry *entry = catalogue_get(index);
    read_file_facts(entry != nullptr ? entry->dll_exists : 0, catalogue_file(index), facts);
}
