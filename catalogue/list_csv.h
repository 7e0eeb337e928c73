// The plug-in list as comma-separated values (RFC 4180), written the same way
// by the command-line listing and by the window's export: a heading line, then
// one record per plug-in, every line ending with CR LF. Text is UTF-8; a
// file of it starts with the UTF-8 byte-order mark, so that spreadsheet
// programs read it as UTF-8 rather than in the ANSI code page.
#ifndef CATALOGUE_LIST_CSV_H
#define CATALOGUE_LIST_CSV_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "catalogue/dll_file.h"

// The texts of the listing's fixed fields.
const char *type_text(int32_t type);        // "Direct-X", "VS3", "DMO", or "" for other types
const char *status_text(int32_t disabled);  // "OK" or "Disabled"
const char *exist_text(int32_t dll_exists); // "Yes" or "No"
const char *bits_text(int32_t bits);        // "32" or "64": the registry view
// Where the plug-in is registered: "filter" (HKCR\Filter), "mapper" (the
// filter mapper's category), "filter+mapper", "dmo" or "vs3".
const char *form_text(const PlugEntry *entry);
// Whose classes it is registered in: "machine" or "user".
const char *scope_text(int32_t scope);

// A field of at most max_len bytes of text (it may end earlier at its
// terminator), quoted when it holds a comma, a quote, CR or LF, its quotes
// doubled. Returns 1, or 0 when out is too small (out then holds as much as
// fits, terminated).
int csv_field(const char *text, size_t max_len, char *out, size_t size);

// Room for the longest field: every byte a quote, doubled, and the quotes.
#define CSV_FIELD_SIZE (2 * PLUG_DLL_PATH_BYTES + 3)

// The UTF-8 byte-order mark EF BB BF, which a CSV file starts with (not
// standard output, which scripts read on).
#define CSV_UTF8_BOM "\xEF\xBB\xBF"
void write_csv_bom(FILE *out);

// "name,type,status,exist,clsid,dll,bits,version,company,arch,problem,
// registration,scope" and CR LF.
void write_csv_heading(FILE *out);
// One plug-in's record and CR LF; facts is what its file read as (null or
// pending: the file's fields are empty, the problem as far as it is known).
void write_csv_record(FILE *out, const PlugEntry *entry, const DllFacts *facts);

#endif
