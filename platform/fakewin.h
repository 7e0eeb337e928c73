// Native stand-ins for the slice of the Windows API the core uses: the ANSI
// registry functions of advapi32, backed by an in-process registry, and
// CreateFileA/CloseHandle over the host file system. Same names, signatures
// and result codes as the real ones, so the core compiles unchanged.
#ifndef PLATFORM_FAKEWIN_H
#define PLATFORM_FAKEWIN_H

#include <cstddef>
#include <cstdint>

typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef uint16_t WORD;
typedef unsigned char BYTE;
typedef int BOOL;
typedef char CHAR;
typedef BYTE *LPBYTE;
typedef const BYTE *LPCBYTE;
typedef DWORD *LPDWORD;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef void *HANDLE;
typedef uintptr_t ULONG_PTR;
typedef DWORD REGSAM;
typedef LONG LSTATUS;

struct HKEY__;
typedef HKEY__ *HKEY;
typedef HKEY *PHKEY;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME *PFILETIME;

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

#define WINAPI
#define TRUE 1
#define FALSE 0

// Predefined roots, sign-extended as on 64-bit Windows.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(-0x80000000LL)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(-0x7FFFFFFFLL)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(-0x7FFFFFFELL)))

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_OUTOFMEMORY 14
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BAD_PATHNAME 161
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_KEY_DELETED 1018

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define SYNCHRONIZE 0x00100000L
#define MAXIMUM_ALLOWED 0x02000000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

LONG RegOpenKeyA(HKEY key, LPCSTR sub_key, PHKEY result);
LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result);
LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPSTR class_name, LPDWORD class_len, PFILETIME last_write);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD data_len);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD data_len);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD data_len);
LONG RegDeleteKeyA(HKEY key, LPCSTR sub_key);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
LONG RegCloseKey(HKEY key);

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL CloseHandle(HANDLE handle);

// ---- Test hooks, native build only --------------------------------------

// The registry functions, for counting calls and injecting faults.
enum FakeRegFn {
    FR_OPEN_KEY,        // RegOpenKeyA
    FR_OPEN_KEY_EX,     // RegOpenKeyExA
    FR_CREATE_KEY,      // RegCreateKeyA
    FR_ENUM_KEY,        // RegEnumKeyA
    FR_ENUM_KEY_EX,     // RegEnumKeyExA
    FR_ENUM_VALUE,      // RegEnumValueA
    FR_QUERY_VALUE,     // RegQueryValueExA
    FR_SET_VALUE,       // RegSetValueExA
    FR_DELETE_KEY,      // RegDeleteKeyA
    FR_DELETE_VALUE,    // RegDeleteValueA
    FR_CLOSE_KEY,       // RegCloseKey
    FR_FN_COUNT,
    FR_ANY = FR_FN_COUNT // every function but RegCloseKey
};

// Empties all three roots, forgets every handle, fault and count.
void fakereg_reset();
// Registry handles and file handles currently open.
int fakereg_open_handles();
int fakefile_open_handles();
// Calls made since the last reset or fakereg_reset_counts(); FR_ANY sums all
// but RegCloseKey.
unsigned long fakereg_calls(FakeRegFn fn);
void fakereg_reset_counts();

// The nth call (1-based, counted from now) of fn answers code instead of
// running. With FR_ANY the nth registry call of any kind but RegCloseKey.
void fakereg_fail_nth(FakeRegFn fn, unsigned long nth, LONG code);
// Every call of fn on the key named by key_path answers code. key_path is
// "HKCR\\...", "HKCU\\..." or "HKLM\\...", case-insensitive. For open, create
// and delete-key the path is the key being opened, created or deleted; for
// the others it is the key the handle refers to. value_name, when not null,
// narrows value calls to that value name ("" is the default value). index,
// when not negative, narrows enumerations to that index.
void fakereg_fail_on(FakeRegFn fn, const char *key_path, const char *value_name, long index,
                     LONG code);
void fakereg_clear_faults();

// Deletes the key at key_path with its whole subtree as another program
// would: handles open on any of its keys stay open and answer 1018 from now
// on. Returns 1 when the key existed.
int fakereg_delete_external(const char *key_path);

#endif
