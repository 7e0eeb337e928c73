// The registry views a plug-in can be registered in. On 64-bit Windows a
// 32-bit plug-in's class lives in the 32-bit view of HKCR\CLSID and a 64-bit
// one's in the 64-bit view, and HKLM\SOFTWARE is split the same way; 32-bit
// Windows has one view. Every key of a registration is opened in its view,
// never without one: the process's own view is the wrong one for half the
// plug-ins.
#ifndef CATALOGUE_VIEWS_H
#define CATALOGUE_VIEWS_H

#include <cstdint>

#include "platform/win.h"

#define PLUG_BITS_32 32
#define PLUG_BITS_64 64

// The views of this machine, 32-bit first; returns how many (1 or 2).
int registry_views(int32_t bits[2]);
// The flag that opens a key in the view; none on a machine with one view.
REGSAM view_flag(int32_t bits);
// The other view on a machine with two, else 0.
int32_t other_view(int32_t bits);
// The disabled store is always reached through the 64-bit view, where 64-bit
// Windows keeps its one shared copy of it.
REGSAM store_view();
// The store root for a view's registrations.
const char *store_root_path(int32_t bits);

#endif
