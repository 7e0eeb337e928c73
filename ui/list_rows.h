// The rows of the plug-in list: each row's cell texts, how rows sort and
// what the find box matches, for the entry's own columns and for those of
// what its DLL file read as. Nothing here calls the window system, so it
// builds and is tested on any host.
#ifndef UI_LIST_ROWS_H
#define UI_LIST_ROWS_H

#include <cstddef>
#include <cstdint>

#include "catalogue/catalogue.h"
#include "catalogue/dll_file.h"
#include "platform/widetext.h"

// A cell's text: the entry's own name or DLL path for columns 0 and 4, fixed
// texts for 1 to 3 ("" for an unknown type) and 5 (the view's bits); null
// for any other column.
const char *cell_text(const PlugEntry *entry, int column);

// 1 when needle (UTF-8) is empty or occurs in the entry's name, DLL path or
// class identifier, letters of any script compared without regard to case
// (the platform's lower case on Windows; elsewhere that of ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic); 0 otherwise.
int entry_matches(const PlugEntry *entry, const char *needle);

// The same test on one UTF-8 text of at most max_len bytes.
int text_matches(const char *text, size_t max_len, const char *needle);

// The list's order: -1 when a goes first, 1 when b does, 0 when equal or when
// either is missing or the column is unknown.
int compare_plug_entries(const PlugEntry *a, const PlugEntry *b, int column);

// The columns after Bits.
#define COLUMN_SCOPE 6
#define COLUMN_VERSION 7
#define COLUMN_COMPANY 8
#define COLUMN_PROBLEM 9

// What a file cell shows while its file is still being read.
#define CELL_PENDING_TEXT "..."
// Room for any cell's UTF-8 text, the DLL path the longest.
#define ROW_CELL_SIZE UTF8_BYTES(PLUG_DLL_PATH_SIZE)

// A cell's UTF-8 text for any column: the entry's own (cell_text), or the
// file's, the company converted from UTF-16 into scratch (ROW_CELL_SIZE
// bytes). facts may be null (read as pending). Null for an unknown column.
const char *row_cell_text(const PlugEntry *entry, const DllFacts *facts, int column,
                          char *scratch, size_t size);

// The list's order for any column, as compare_plug_entries. Versions go by
// their numbers, companies by UTF-16 code unit, problems in their order of
// precedence with loadable rows after them; cells still being read go last.
int compare_plug_rows(const PlugEntry *a, const DllFacts *fa, const PlugEntry *b,
                      const DllFacts *fb, int column);

// entry_matches, or the needle in the company name.
int row_matches(const PlugEntry *entry, const DllFacts *facts, const char *needle);

// 1 when the Company cell shows the file's own company text (facts->company),
// so that a UTF-16 caller can take it as it is.
int shows_file_company(const PlugEntry *entry, const DllFacts *facts);

// 1 when the row has a problem to draw it tinted for.
int row_has_problem(const PlugEntry *entry, const DllFacts *facts);

#endif
