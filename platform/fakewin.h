// Native stand-ins for the slice of the Windows API the core uses: the ANSI
// registry functions of advapi32, backed by an in-process registry, and
// the file and environment functions of kernel32 over the host file
// system. Same names, signatures and result codes as the real ones, so the
// core compiles unchanged.
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
// UTF-16 as on Windows (wchar_t is 32 bits here).
typedef char16_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
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
#define ERROR_ALREADY_EXISTS 183
#define ERROR_KEY_DELETED 1018
#define ERROR_CHILD_MUST_BE_VOLATILE 1021
#define ERROR_CANTOPEN 1011
#define ERROR_CALL_NOT_IMPLEMENTED 120

#define REG_OPTION_NON_VOLATILE 0x0000
#define REG_OPTION_VOLATILE 0x0001
#define REG_OPTION_CREATE_LINK 0x0002
#define REG_OPTION_OPEN_LINK 0x0008
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

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
#define REG_RESOURCE_LIST 8
#define REG_QWORD 11

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define CREATE_NEW 1
#define OPEN_EXISTING 3
#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_WRITE_THROUGH 0x8
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_FILE_EXISTS 80
#define ERROR_DISK_FULL 112
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_CANCELLED 1223
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

// The wide functions: names and strings in UTF-16, stored and returned
// exactly. The ANSI ones above convert through code page 1252 ("?" for what
// it lacks), as a Western Windows does. Lengths of names are in characters,
// of data in bytes. RegDeleteKeyW/ExW open the key the ordinary way, so a
// link is followed: a link key itself goes with delete_key_handle (platform/ntreg.h).
LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR class_name, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR class_name, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPWSTR class_name, LPDWORD class_len, PFILETIME last_write);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD data_len);
LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD data_len);
LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD data_len);
LONG RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
LONG RegDeleteKeyExW(HKEY key, LPCWSTR sub_key, REGSAM access, DWORD reserved);
LONG RegDeleteKeyExA(HKEY key, LPCSTR sub_key, REGSAM access, DWORD reserved);
LONG RegDeleteValueW(HKEY key, LPCWSTR name);

typedef unsigned int UINT;

// The process and the machine it runs on (see fakereg_set_machine).
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE process, BOOL *wow64);

// Files, the environment and the system folders (platform/fakefile.cpp).
// An existing file opens for reading, and a new one (CREATE_NEW) for
// writing; wide paths are UTF-16. Failures set the last error.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL CloseHandle(HANDLE handle);
// Sizes in characters. Each answers as Windows does when the buffer is too
// small: the size needed, terminator included, and nothing promised in it.
DWORD ExpandEnvironmentStringsW(LPCWSTR src, LPWSTR dst, DWORD size);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size); // "C:\windows\system32"
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size); // "C:\windows"
// "C:\windows\syswow64" on a machine with two views; 0 on 32-bit Windows,
// which has no such folder (the last error is then 120).
UINT GetSystemWow64DirectoryW(LPWSTR buffer, UINT size);
// Reading an open file: sequential reads from a position set by
// SetFilePointerEx (FILE_BEGIN only), and its size.
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
};
typedef LARGE_INTEGER *PLARGE_INTEGER;
struct OVERLAPPED;
typedef OVERLAPPED *LPOVERLAPPED;
#define FILE_BEGIN 0
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED overlapped);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER new_position,
                      DWORD method);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
// Writing a file made with CREATE_NEW, and putting it in place.
BOOL WriteFile(HANDLE file, const void *buffer, DWORD to_write, LPDWORD written,
               LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL DeleteFileW(LPCWSTR path);
DWORD GetLastError();

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
    // The wide and Ex functions are counted and faulted as their ANSI
    // counterparts above (RegOpenKeyExW as FR_OPEN_KEY_EX, RegCreateKeyEx*
    // as FR_CREATE_KEY, RegEnumKeyExW as FR_ENUM_KEY_EX, RegDeleteKey*W and
    // RegDeleteKeyEx* and delete_key_handle as FR_DELETE_KEY, and so on).
    FR_FN_COUNT,
    FR_ANY = FR_FN_COUNT // every function but RegCloseKey
};

// The user whose hive HKCU is, as its kernel name shows it.
#define FAKE_USER_SID "S-1-5-21-1000-1000-1000-1001"

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

// The machine the in-process registry plays. On 64-bit Windows it has two
// views; KEY_WOW64_32KEY sends an open, create or delete below a redirected
// key to its "Wow6432Node" twin (HKCR\Wow6432Node\CLSID,
// HKLM\SOFTWARE\Wow6432Node\...), KEY_WOW64_64KEY to the key itself, and
// without either flag the process's own view is used. On 32-bit Windows
// there is one view and the flags are ignored.
// HKLM\SOFTWARE\Classes, in either view, is the machine's classes: the
// tree HKCR opens. HKCU\Software\Classes holds the user's classes.
// Windows (WIN7, WIN32) merges the two in HKCR: a read sees the user's key
// where there is one and lists the subkeys of both; a key the user lacks is
// made in the machine's classes; values and subkeys of a key the user has go
// there. It splits the user's classes into views as HKCR and names them
// "\REGISTRY\USER\<sid>_Classes". Wine 8 does neither: HKCR is the
// machine's classes alone, and the user's classes have one view.
enum FakeMachine {
    FAKE_WIN64_WIN7,  // HKCR shared but CLSID, DirectShow, Interface, Media Type,
                      // MediaFoundation; HKLM\SOFTWARE redirected (the default)
    FAKE_WIN64_WINE8, // all of HKCR and HKLM\SOFTWARE redirected
    FAKE_WIN32        // one view; the process is 32-bit
};
// The process plays a 64-bit program (the default) or a 32-bit one; on a
// 64-bit machine IsWow64Process says TRUE for the latter. fakereg_reset
// keeps machine and process.
void fakereg_set_machine(FakeMachine machine);
FakeMachine fakereg_machine();
void fakereg_set_process_bits(int bits);
int fakereg_process_bits();

// Files for the existence test: a Windows path ("C:\x\y.dll") maps to a
// host path below the folder given here, drive letter lower-cased
// ("<root>/c/x/y.dll"); a path without a drive is relative to the host's
// working directory, as before. "" (the default) turns the mapping off.
void fakefile_set_root(const char *host_folder);
// Closes every file handle still open (fakereg_reset does it too).
void fakefile_close_all();
// From now on writes fail with ERROR_DISK_FULL once this many bytes have
// been written in all (-1, the start: no limit), as on a full disk.
void fakefile_set_write_limit(long long bytes);
// The environment, names case-insensitive, in UTF-8 here: sets a variable,
// or removes it when value is null. fakeenv_reset restores the start:
// SystemRoot and windir "C:\windows", PATH "C:\windows\system32;C:\windows",
// and the program folders as the process the in-process registry plays sees
// them (ProgramFiles and CommonProgramFiles are the "(x86)" folders for a
// 32-bit process on a machine with two views; ProgramFiles(x86),
// CommonProgramFiles(x86), ProgramW6432 and CommonProgramW6432 exist only
// on such a machine).
void fakeenv_set(const char *name, const char *value);
void fakeenv_reset();

#endif
