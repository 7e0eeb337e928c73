// Whether a host of the registration's view could load the plug-in's DLL,
// and if not, the first reason why. One rule for the window and the
// companion, in their shared words.
#ifndef CATALOGUE_DLL_PROBLEM_H
#define CATALOGUE_DLL_PROBLEM_H

#include <cstdint>

#include "catalogue/catalogue.h"
#include "catalogue/dll_file.h"

// In order of precedence, a hidden registration first.
#define DLL_PROBLEM_NONE 0
#define DLL_PROBLEM_NO_DLL 1       // no server path registered
#define DLL_PROBLEM_NOT_FOUND 2    // the file is not where the view looks
#define DLL_PROBLEM_NOT_PE 3       // not a PE image, or a truncated one
#define DLL_PROBLEM_64_IN_32 4     // a 64-bit DLL registered in the 32-bit view
#define DLL_PROBLEM_32_IN_64 5     // a 32-bit DLL registered in the 64-bit view
#define DLL_PROBLEM_HIDDEN 6       // hosts get the user's registration of the class instead
#define DLL_PROBLEM_UNKNOWN (-1)   // the file has not been read yet

// The entry's problem, given what its file read as (facts may be null or
// still pending: the problems the catalogue alone tells are known at once).
int32_t dll_problem(const PlugEntry *entry, const DllFacts *facts);
// The words for a problem: null for none or unknown.
const char *problem_text(int32_t problem);

// Reads the file of the catalogue entry at index into facts, when the scan
// found one (catalogue_file); otherwise facts says DLL_READ_NO_FILE. Reads
// only the file, so a worker thread may call it with a copy of the path:
// read_file_facts is that form.
void read_entry_facts(int index, DllFacts *facts);
void read_file_facts(int32_t dll_exists, const WCHAR *file, DllFacts *facts);

#endif
