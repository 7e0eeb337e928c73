// A row of the plug-in list: its entry and what its DLL file read as. The
// cells, the order and the find box's matching of the columns that come
// from the file; the entry's own columns are cell_text and
// compare_plug_entries (ui/layout.h). Nothing here calls the window system.
#ifndef UI_LIST_ROWS_H
#define UI_LIST_ROWS_H

#include <cstddef>

#include "catalogue/catalogue.h"
#include "catalogue/dll_file.h"

// The columns after Bits.
#define COLUMN_VERSION 6
#define COLUMN_COMPANY 7
#define COLUMN_PROBLEM 8

// What a file cell shows while its file is still being read.
#define CELL_PENDING_TEXT "..."
// Room for any cell as row_cell_text writes it.
#define ROW_CELL_SIZE (2 * DLL_TEXT_SIZE)

// A cell's text for any column: the entry's own (cell_text), or the file's,
// written into scratch (ROW_CELL_SIZE bytes) in the ANSI text the list
// draws. facts may be null (read as pending). Null for an unknown column.
const char *row_cell_text(const PlugEntry *entry, const DllFacts *facts, int column,
                          char *scratch, size_t size);

// The list's order for any column, as compare_plug_entries. Versions go by
// their numbers, companies by UTF-16 code unit, problems in their order of
// precedence with loadable rows after them; cells still being read go last.
int compare_plug_rows(const PlugEntry *a, const DllFacts *fa, const PlugEntry *b,
                      const DllFacts *fb, int column);

// entry_matches, or the needle in the company name.
int row_matches(const PlugEntry *entry, const DllFacts *facts, const char *needle);

// 1 when the row has a problem to draw it tinted for.
int row_has_problem(const PlugEntry *entry, const DllFacts *facts);

#endif
