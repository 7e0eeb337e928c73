// A way back from Remove: what Remove would delete for some plug-ins,
// written as one .reg file in the registry editor's own format, so that
// opening the file (or "reg import") puts every key and value back exactly,
// in the view it came from.
#ifndef REGISTRY_REG_EXPORT_H
#define REGISTRY_REG_EXPORT_H

#include <cstddef>
#include <cstdint>

#include "registry/maintenance.h"

enum ExportWhy {
    EXPORT_DONE = 0,
    EXPORT_REFUSED_ENTRY, // the row cannot be acted on: `entry` says why, as Remove would
    EXPORT_REGISTRY,      // the registry answered `code` at `key`
    EXPORT_LINK,          // `key` is a registry link, which the format cannot express
    EXPORT_BAD_NAME,      // a name at `key` holds a line break, which the format cannot hold
    EXPORT_NO_LOCATION,   // where `key` really lives cannot be told
    EXPORT_CHANGED,       // the registry changed while it was read
    EXPORT_FILE,          // the file could not be written: `code`
    EXPORT_NO_MEMORY
};

struct ExportOutcome {
    int32_t why;         // ExportWhy
    int32_t index;       // the catalogue index the failure concerns, or 0
    LONG code;           // EXPORT_REGISTRY and EXPORT_FILE
    int32_t keys;        // keys written, whole or for one value
    int32_t values;      // values written
    PlugOutcome entry;   // EXPORT_REFUSED_ENTRY
    char key[MAINT_PATH_SIZE * 2]; // "HKEY_...\..." (UTF-8) or, failing that, "HKCR\..."
};

// The file's text as UTF-16 code units, without the byte-order mark.
struct RegText {
    WCHAR *text;
    size_t length;
    size_t capacity;
    int out_of_memory;
};
void reg_text_free(RegText *text);

// The text for the catalogue indexes given, in that order; a key met twice
// is written once. Read twice: the registry must say the same both times.
// 1, or 0 with *out saying why (and text empty).
int registration_text(const int *indexes, int count, RegText *text, ExportOutcome *out);

// registration_text written to `file` (UTF-16): to a new file beside it
// first, which then takes the chosen name, so the name never holds half a
// file. 1 when the whole file is in place.
int export_registrations(const int *indexes, int count, const WCHAR *file, ExportOutcome *out);

// "the registration holds a registry link at HKEY_...; ..." and so on, the
// same words in both front ends.
void describe_export(const ExportOutcome *out, char *text, size_t size);

// The .reg form of a key's kernel name: "\REGISTRY\MACHINE\x" is
// HKEY_LOCAL_MACHINE\x; the hive of the user named by `user` (its kernel
// name) is HKEY_CURRENT_USER and its "<user>_Classes" hive
// HKEY_CURRENT_USER\Software\Classes; another user's is below HKEY_USERS.
// 1 when the name is one of these and fits out_chars.
int reg_file_key_path(const WCHAR *kernel, const WCHAR *user, WCHAR *out, size_t out_chars);

#endif
