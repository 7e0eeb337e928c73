// Pieces the three catalogue scans share: buffer capacities, the rule that
// ends an enumeration walk, and the reads every scan repeats.
#ifndef CATALOGUE_SCAN_COMMON_H
#define CATALOGUE_SCAN_COMMON_H

#include "catalogue/catalogue.h"
#include "platform/widetext.h"
#include "platform/win.h"

// Key and value names, terminator included.
#define KEY_NAME_CAPACITY 254
// Texts read from the registry (display names, descriptions, DLL paths),
// terminator included.
#define TEXT_CAPACITY 1023
// Room for any composed key path: a name of up to 253 characters in UTF-8
// plus the fixed parts around it.
#define PATH_BUFFER_SIZE 1024
// A walk that fails this many indexes in a row has lost its key in some way
// no result code tells us about; no real key has that many unreadable names
// in a row.
#define WALK_MAX_FAILURES 10000u

// Called with each enumeration result; 1 when the walk is over. 259 ends it,
// and so do the results that speak about the key rather than one index
// (deleted by another program, handle no longer valid). Any other failure
// skips the index, up to WALK_MAX_FAILURES in a row. `failures` holds the
// run of consecutive failures and starts at 0.
int walk_ends(LONG result, DWORD *failures);

// Reads a value as text, through the wide function, into buf (buf_size
// bytes, UTF-8, at least UTF8_BYTES(capacity + 1)) and terminates it. A
// value longer than capacity characters, terminator included, is
// unreadable. On failure buf is left empty. Returns 1 on success.
int read_text(HKEY key, const char *name, char *buf, size_t buf_size, DWORD capacity);
// Room for a text of TEXT_CAPACITY characters in UTF-8.
#define TEXT_BYTES UTF8_BYTES(TEXT_CAPACITY + 1)
// Room for a key or value name in UTF-8.
#define KEY_NAME_BYTES UTF8_BYTES(KEY_NAME_CAPACITY + 2)

// Opens parent\sub_path and reads its default value into entry->dll_path,
// as stored, then fills file with the file a host of the view bits would
// open and sets dll_exists to 1 when that file can really be found
// (catalogue/dll_path.h). Returns 1 when the key opened and the value was
// read; otherwise dll_path and file are empty and dll_exists 0.
int read_dll_path(HKEY parent, const char *sub_path, int32_t bits, PlugEntry *entry,
                  WCHAR *file);

// Copies at most max_chars characters (UTF-16 ones, whole) of the UTF-8
// text src into dst, which has room for them, and terminates it.
void copy_text(char *dst, const char *src, size_t max_chars);

#endif
