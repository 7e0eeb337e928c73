// Registry maintenance: recursive subtree copy and delete, and the disable,
// enable and remove operations that move a plug-in's registration into the
// disabled store and back, each reporting what it did.
#ifndef REGISTRY_MAINTENANCE_H
#define REGISTRY_MAINTENANCE_H

#include "catalogue/catalogue.h"
#include "platform/win.h"

// Paths composed from a class identifier text are built in buffers of this
// size: the longest store entry path (store root, separator, 255 characters)
// fits with room to spare.
#define MAINT_PATH_SIZE 1024

// The first failure of a subtree copy or delete: the registry's answer,
// whether it came from the source side of a copy, and the key it came from,
// relative to the parents given (characters outside ASCII shown as "?").
struct TreeFailure {
    LONG code;
    int32_t on_source;
    char where[MAINT_PATH_SIZE];
};

// Copies the key at `path` under `src_parent`, with its whole subtree, to the
// same path under `dest_parent`, merging into what is there: every name,
// type and byte exactly; a link is copied as a link, never followed. Each
// side is opened in its view (KEY_WOW64_*, or 0). 1 only when the whole
// subtree was written; 0 stops at the first failure, nothing rolled back,
// with that failure in *fail when fail is not null. `path` is ASCII.
int copy_key_tree_ex(HKEY dest_parent, REGSAM dest_view, HKEY src_parent, REGSAM src_view,
                     const char *path, TreeFailure *fail);
// The same from src_path to another place, dest_path: `where` in *fail is
// below the parent of the side that failed, starting with that side's path.
int copy_key_tree_to(HKEY dest_parent, REGSAM dest_view, const char *dest_path, HKEY src_parent,
                     REGSAM src_view, const char *src_path, TreeFailure *fail);
int copy_key_tree(HKEY dest_parent, HKEY src_parent, const char *path);
// Deletes the key at `path` under `parent` with everything beneath it; a link
// key is deleted itself, never what it points to. 1 when the key is gone; 0
// when it did not open or still exists.
int delete_key_tree_ex(HKEY parent, REGSAM view, const char *path, TreeFailure *fail);
int delete_key_tree(HKEY parent, const char *path);
// Copies the value `name` (ASCII) of src to dest with its exact type and bytes.
int copy_value_exact(HKEY dest, HKEY src, const char *name, TreeFailure *fail);

// What a read of a subtree meets, in order: each key, then its values, then
// its subkeys, in enumeration order. A callback answering 0 stops the read.
// A link key is met as itself (is_link 1) and never entered.
struct TreeReader {
    void *context;
    int (*key)(void *context, HKEY key, int is_link);
    int (*value)(void *context, const WCHAR *name, DWORD name_chars, DWORD type,
                 const BYTE *data, DWORD size);
};
// Reads an open key with its whole subtree, in its view. For a link key to
// be met as itself, open it with REG_OPTION_OPEN_LINK. 1 when all of it was
// read; 0 at the first failure, with it in *fail, `where` below the key
// ("" for the key itself): ERROR_CANCELLED when a callback stopped the read.
int read_key_tree(HKEY key, REGSAM view, const TreeReader *reader, TreeFailure *fail);
// Reads one value (`name`, UTF-8) of an open key the same way: the key, then
// that value, exactly. ERROR_FILE_NOT_FOUND in *fail, and no callback made,
// when the key holds no such value.
int read_key_value(HKEY key, const char *name, const TreeReader *reader, TreeFailure *fail);

// ---- what an operation did -------------------------------------------------

enum PlugStatus {
    PLUG_DONE = 0,         // the plug-in is now in the state asked for
    PLUG_NOTHING_TO_DO = 1, // it was in that state already
    PLUG_FAILED = 2        // not done: see why
};

enum PlugWhy {
    WHY_NONE = 0,
    WHY_REGISTRY,       // the registry answered `code` for `key`
    WHY_NO_ENTRY,       // no catalogue entry behind the index
    WHY_BAD_CLSID,      // the class identifier text cannot name a registry key
    WHY_BAD_TYPE,       // the entry is of neither type
    WHY_STORE_HOLDS_TYPE, // the store entry holds the other type's registration
    WHY_CHANGED_MEANWHILE, // two looks at the same key disagreed
    WHY_MACHINE_PART_IN_USER_STORE // a user's store entry holds what only the machine may restore
};

// Parts of a registration: which an Enable restored, and where each lives.
#define PART_FILTER 1       // Filter\{clsid}
#define PART_CLSID 2        // CLSID\{clsid}
#define PART_VS3_VALUE 4    // the VS3Effects value {clsid}
#define PART_INSTANCE 8     // the filter mapper's instance key
#define PART_DMO 16         // DirectShow\MediaObjects\<guid>
#define PART_DMO_CATEGORY 32 // the DMO's entry in the audio-effect category

struct PlugOutcome {
    int32_t status;    // PlugStatus
    int32_t why;       // PlugWhy, when status is PLUG_FAILED
    LONG code;         // WHY_REGISTRY: the registry's answer
    int32_t held_type; // WHY_STORE_HOLDS_TYPE: the type the store entry holds
    int32_t restored;  // Enable: the PART_* restored, also when it failed
    char key[MAINT_PATH_SIZE + 8]; // WHY_REGISTRY, WHY_STORE_HOLDS_TYPE and
                                   // WHY_MACHINE_PART_IN_USER_STORE: "HKLM\...", "HKCU\..."
};

// The three operations on a 1-based catalogue index. Each returns 1 when the
// plug-in ended in the state asked for (done, or nothing to do) and fills
// *out (which may be null) with what happened.
int disable_plug(int index, PlugOutcome *out = nullptr);
int enable_plug(int index, PlugOutcome *out = nullptr);
int remove_plug(int index, PlugOutcome *out = nullptr);

// The same words in both front ends: "access denied (run as administrator)
// at HKCR\...", "the disabled store already holds ..." and so on.
void describe_outcome(const PlugOutcome *outcome, char *out, size_t size);
// "access denied (run as administrator)", "not found" or "registry error N".
void registry_reason(long code, char *out, size_t size);

// ---- the parts of a registration -----------------------------------------

// One piece of a registration: a key with its whole subtree, or, when
// `value` is not empty, that one value of the key. It lives at `live` below
// `root`, the root of its scope (HKLM or HKCU), in its view; a key part is
// kept in a store entry under `path`, its path below the scope's classes.
struct RegPart {
    int32_t id;       // PART_*
    int32_t required; // missing, it is a failure; else there is nothing of it to move
    HKEY root;
    REGSAM view;
    char path[MAINT_PATH_SIZE];
    char live[MAINT_PATH_SIZE];
    char value[PLUG_CLSID_TEXT_BYTES];
};
#define MAX_REG_PARTS 3
struct RegParts {
    int32_t count;
    RegPart part[MAX_REG_PARTS];
};

// The parts of the entry's live registration, in the order they are saved,
// each in its view: a filter's class key, Filter key and mapper instance
// (the forms it has), a DMO's class key, MediaObjects key and category
// entry, an effect's class key and VS3Effects value. 0 when its texts
// cannot name registry keys.
int registration_parts(const PlugEntry *entry, RegParts *parts);

// What remove_plug would delete for the entry at index now: the parts that
// are there (a Filter key that stays for the other view left out), or a
// disabled plug-in's store entry. 1, or 0 with *o saying why, as
// remove_plug would refuse.
int removal_parts(int index, RegParts *parts, PlugOutcome *o);

// ---- where a registration is now -------------------------------------------

struct PlugPlaces {
    int32_t live_parts;   // parts a live registration of this type consists of (0 for other types)
    int32_t live_present; // how many of them exist
    int32_t present;      // PART_* of those that exist
    int32_t saved;        // the entry's store entry exists
};

// Reads, without writing anything, where the entry's registration is.
void find_places(const PlugEntry *entry, PlugPlaces *places);
// "live", "disabled (saved in the disabled store)", "gone", or a mixed state
// spelled out part by part.
void describe_places(const PlugEntry *entry, const PlugPlaces *places, char *out, size_t size);

// The rule every operation applies before touching anything: a class
// identifier text that names exactly one key (ASCII, not empty, terminated
// within its field, without a separator).
int clsid_names_one_key(const PlugEntry *entry);

#endif
