// The scopes a class registration lives in: the machine's classes
// (HKLM\Software\Classes), which every user's hosts see, and the current
// user's (HKCU\Software\Classes), which Windows lays over them in HKCR for
// that user alone. Every key of a registration is reached through its own
// scope, never through HKCR: a key written there lands in the machine's
// classes even when it came from the user's.
#ifndef CATALOGUE_SCOPES_H
#define CATALOGUE_SCOPES_H

#include <cstddef>
#include <cstdint>

#include "platform/win.h"

#define PLUG_SCOPE_MACHINE 1
#define PLUG_SCOPE_USER 2

// The scopes of this machine, machine first; returns how many (1 or 2). The
// user's counts only when its classes key exists and the kernel names it as
// the user's own, not as the machine's.
int registry_scopes(int32_t scopes[2]);
// The scope a record names; one that names none is the machine's.
int32_t known_scope(int32_t scope);
// The registry views of a scope's classes, 32-bit first; how many. Wine
// gives the user's classes one view, which is listed as the 64-bit one:
// a class is not two rows for being seen through both views.
int scope_views(int32_t scope, int32_t bits[2]);
// The predefined key a scope's classes are below: HKLM or HKCU. A record
// that names no scope is the machine's, where every earlier one lives.
HKEY scope_root(int32_t scope);
// "Software\Classes\" followed by sub (sub may be ""): a path below
// scope_root. 0 when it does not fit size.
int classes_path(const char *sub, char *out, size_t size);
// Opens sub below the scope's classes, in the view the access asks for. A
// key that a link takes into the other scope, or whose scope cannot be
// told, is not this scope's: ERROR_FILE_NOT_FOUND, so that no walk lists
// or changes it as this scope's.
LONG open_classes(int32_t scope, const char *sub, REGSAM access, HKEY *out);
// The scope the key really lives in, by its kernel name; 0 when that name
// cannot be told or is neither.
int32_t key_scope(HKEY key);
// "HKLM", "HKCU" or "HKCR": how messages name a predefined root.
const char *root_name(HKEY root);

#endif
