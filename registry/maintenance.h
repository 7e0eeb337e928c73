// Registry maintenance: recursive subtree copy and delete, and the disable,
// enable and remove operations that move a plug-in's registration into the
// disabled store and back.
#ifndef REGISTRY_MAINTENANCE_H
#define REGISTRY_MAINTENANCE_H

#include "catalogue/catalogue.h"
#include "platform/win.h"

// Copies the key at `path` under `src_parent`, with its whole subtree, to the
// same path under `dest_parent`, merging into what is there. 1 only when the
// whole subtree was written; 0 stops at the first failure, nothing rolled back.
int copy_key_tree(HKEY dest_parent, HKEY src_parent, const char *path);
// Deletes the key at `path` under `parent` with everything beneath it.
// 1 when the key is gone; 0 when it did not open or still exists.
int delete_key_tree(HKEY parent, const char *path);

// The three operations on a 1-based catalogue index.
void disable_plug(int index);
void enable_plug(int index);
int remove_plug(int index);

void delete_saved_copy(const PlugEntry *entry);
int delete_directx_registration(const PlugEntry *entry);
int delete_vs3_registration(const PlugEntry *entry);

// Paths composed from a class identifier text are built in buffers of this
// size: the longest store entry path (store root, separator, 255 characters)
// fits with room to spare.
#define MAINT_PATH_SIZE 1024

#endif
