// Builds and inspects registry fixtures through the registry functions
// themselves, so the same fixture code serves the in-process registry and
// real advapi32 under Wine.
#ifndef TESTS_REG_FIXTURE_H
#define TESTS_REG_FIXTURE_H

#include <string>

#include "platform/win.h"

// Each returns 1 on success. Paths may span several levels; missing levels
// are created.
int fx_create(HKEY root, const char *path);
int fx_set(HKEY root, const char *path, const char *name, DWORD type, const void *data,
           DWORD len);
int fx_set_sz(HKEY root, const char *path, const char *name, const char *text);
int fx_set_dword(HKEY root, const char *path, const char *name, DWORD value);
// Deletes a key and its subtree; 1 also when it did not exist.
int fx_delete_tree(HKEY root, const char *path);
int fx_key_exists(HKEY root, const char *path);
int fx_value_exists(HKEY root, const char *path, const char *name);
// Reads a value: the type and raw bytes, with a size query first.
int fx_get(HKEY root, const char *path, const char *name, DWORD *type, std::string *data);

// Bytes as lower-case hex, two digits each.
std::string fx_hex(const std::string &data);

// A canonical text of a whole subtree: every key path (relative, upper-cased
// so that letter case of the creator does not matter), every value's name,
// type and bytes in hex; keys and values sorted, so the dump does not depend
// on enumeration order. "" when the key does not exist.
std::string fx_dump(HKEY root, const char *path);

// Writes exactly the bytes of data, with a non-zero byte after them, so that
// a text can be stored without its terminator.
int fx_set_exact(HKEY root, const std::string &path, const char *name, DWORD type,
                 const std::string &data);

// Where a plug-in's registration lives, below HKEY_CLASSES_ROOT.
std::string fx_filter_key(const std::string &clsid);
std::string fx_clsid_key(const std::string &clsid);
std::string fx_store_entry(const std::string &clsid);

// Everything of a plug-in's live registration: its Filter and CLSID
// subtrees and its VS3Effects value, as one comparable text.
std::string fx_live_registration(const std::string &clsid);
// The same and the plug-in's store entry: everything it has, live and saved.
std::string fx_whole_state(const std::string &clsid);

// What a registration can hold beyond the scanned essentials: a deep
// settings subtree with a default value, a large value, a long value name, a
// multi-string and a text without its terminator; with_filter adds a default
// value and a binary value on the Filter key.
void fx_add_extras(const std::string &clsid, bool with_filter);

// Sets up the layout every plug-in fixture needs: a DirectX filter under
// Filter and CLSID with a merit, an audio input pin, an audio output pin and
// an InprocServer32 default value.
void fx_directx_filter(const char *clsid_text, const char *name, const char *dll_path);
// A VS3 effect: the VS3Effects value and the CLSID key with InprocServer32.
void fx_vs3_effect(const char *clsid_text, const char *display_name, const char *description,
                   const char *dll_path);

// A FilterData blob as the filter mapper writes it: each pin's flags
// (0x8 an output), its media types' major and minor GUIDs in registry text,
// and how many mediums it has; the GUIDs and mediums follow the records,
// each kept once.
struct FxPin {
    DWORD flags;
    std::string types; // "major,minor;major,minor;..."
    int mediums;
};
std::string fx_filter_data(DWORD merit, const FxPin *pins, int count);
// The common case: one audio input pin and one audio output pin.
std::string fx_audio_filter_data(DWORD merit);
extern const char FX_AUDIO[];    // MEDIATYPE_Audio
extern const char FX_PCM[];      // MEDIASUBTYPE_PCM
extern const char FX_VIDEO[];    // MEDIATYPE_Video
extern const char FX_WILDCARD[]; // GUID_NULL

// A filter registered through the mapper alone: its class key with a name
// (none when name is null) and InprocServer32, and an instance key `instance`
// of the mapper's category with CLSID, FriendlyName and FilterData.
void fx_mapper_filter(const char *clsid_text, const char *instance, const char *name,
                      const char *friendly, const std::string &filter_data, const char *dll_path,
                      REGSAM view = 0);
// A DMO of the audio-effect category as DMORegister writes it (key names
// without braces), with its class key and InprocServer32.
void fx_dmo(const char *guid, const char *name, const char *dll_path, REGSAM view = 0);

// ---- Exact access through the wide functions -----------------------------

// UTF-16 text as the wide functions take it (WCHAR: wchar_t on Windows,
// char16_t natively).
typedef std::basic_string<WCHAR> FxWString;
// UTF-8 to UTF-16 and back. Unpaired surrogates travel as their three-byte
// UTF-8 pattern, so any UTF-16 name converts back and forth exactly;
// malformed UTF-8 becomes U+FFFD.
FxWString fx_w(const char *utf8);
FxWString fx_w(const std::string &utf8);
std::string fx_utf8(const WCHAR *text, size_t chars);
std::string fx_utf8(const FxWString &text);
// The UTF-16 bytes of a UTF-8 text, without a terminator: value data.
std::string fx_w_bytes(const std::string &utf8);

// A subtree exactly as stored, read with the wide functions in the given
// view (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY), links not followed: every
// key opened with REG_OPTION_OPEN_LINK, its path relative and in UTF-8 with
// the letter case stored; every value's UTF-8 name, type number, byte length
// and bytes in hex; keys and values sorted. A link key shows its
// SymbolicLinkValue and " -> target" on its line and is not descended.
// "" when the key does not exist.
std::string fx_dump_exact(HKEY root, const char *path_utf8, REGSAM view = 0);

// Creates the missing levels of path and writes exactly the bytes given
// (a non-zero byte follows them in memory). name_utf8 null is the default
// value. 1 on success.
int fx_set_exact_w(HKEY root, const char *path_utf8, const char *name_utf8, DWORD type,
                   const std::string &bytes, REGSAM view = 0);

// Creates a link key at path (its parent must exist) whose SymbolicLinkValue
// names target, a kernel path such as \REGISTRY\MACHINE\Software\Classes\X.
// 1 on success; 0 also when something already exists at path.
int fx_create_link(HKEY root, const char *path_utf8, const char *target_kernel_path_utf8,
                   REGSAM view = 0);

// Deletes the key at path and its subtree without following links: a link
// key goes itself, its target stays. 1 also when nothing was there.
int fx_delete_tree_exact(HKEY root, const char *path_utf8, REGSAM view = 0);

// ---- Scopes ------------------------------------------------------------------

// Moves the key at path below the machine's classes (where the fixtures
// write) into the user's, in the view; 1 also when there is no such key.
int fx_move_to_user(const std::string &path, REGSAM view);
// Everything a class's registration may have in one scope (root HKLM or
// HKCU), in both views: its class, Filter, mapper instance "Inst <clsid>",
// DMO keys named dmo, the machine's VS3Effects lists, and the scope's store
// unless with_store is false. Comparable text.
std::string fx_scope_dump(HKEY root, const std::string &clsid, const std::string &dmo,
                          bool with_store = true);

#endif
