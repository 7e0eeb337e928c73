// Helpers for the window tests: message boxes caught as they open (through a
// CBT hook, so the real MessageBoxW runs and is answered like a user would),
// the message pump, and a set of sample plug-ins in the registry.
#ifndef TESTS_WINE_UI_TEST_SUPPORT_H
#define TESTS_WINE_UI_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "ui/ui.h"

// How a caught box is answered.
enum BoxAnswer {
    ANSWER_OK,           // a click on OK
    ANSWER_CANCEL,       // a click on Cancel
    ANSWER_ESCAPE,       // the Escape key
    ANSWER_CLOSE_BUTTON, // the close button of the box's frame
};

struct CaughtBox {
    std::string text;
    std::string caption;
    UINT icon;       // MB_ICONWARNING, MB_ICONINFORMATION, MB_ICONQUESTION, MB_ICONERROR or 0
    bool has_cancel; // a Cancel button is shown
    HWND owner;
};

// Installs the hook on this thread; every box that opens is recorded and
// answered with the next queued answer (OK when none is queued).
void boxes_start();
void boxes_stop();
void boxes_queue_answer(BoxAnswer answer);
const std::vector<CaughtBox> &boxes_caught();
void boxes_clear();

// Dispatches every message waiting for this thread; returns 1 when a WM_QUIT
// was among them.
int pump_messages();

// A plug-in of the sample set.
struct SamplePlugin {
    const char *clsid;
    const char *name;
    int type;
    bool disabled;
    bool dll_exists;
    bool extra_info;
};
extern const SamplePlugin sample_plugins[];
extern const int sample_plugin_count;

// Writes the samples (and their DLL files) / removes all of it again,
// including the keys the samples needed that were not there before.
void samples_install();
void samples_remove();
std::string sample_dll_path(const SamplePlugin &plugin);
// Sorted text dump of everything the samples live in, to tell whether an
// action changed the registry.
std::string samples_dump();

// The path of a program built beside this test binary.
std::string program_path(const char *file_name);

// ---- the program as its own process ------------------------------------------

struct Launched {
    PROCESS_INFORMATION process;
    HWND window;
};

// Starts ManagePlugins.exe from its own directory and waits for its main
// window.
bool launch(Launched *out);
// Closes the window and returns the exit code (0xDEAD when it did not end).
DWORD close_and_wait(Launched *launched);
// Waits until the list holds at least expected rows; returns the count.
int wait_for_rows(HWND list, int expected);
// A cell's text in UTF-8, read as UTF-16 through memory in the program's
// process, where the list view writes it.
std::string remote_cell(HANDLE process, HWND list, int row, int column);
// The same for a list view of this process.
std::string list_cell(HWND list, int row, int column);

// The clipboard's CF_UNICODETEXT in UTF-8 ("" when there is none).
std::string clipboard_text();
std::string file_bytes(const std::string &path);
// Runs a command line (a platform tool such as "reg.exe import F") to its
// end; its exit code, or -1 when it did not start.
int run_and_wait(std::string command_line);
// Starts command_line (UTF-8) with the given standard handles, which must be
// inheritable. The child inherits these three and no other handle, so no
// pipe or file made meanwhile for another child leaks into it. false, with
// why set, when it did not start.
bool start_with_handles(const std::string &command_line, HANDLE in, HANDLE out, HANDLE err,
                        PROCESS_INFORMATION *process, std::string *why);
// A path in the temporary folder that no other call and no other process
// uses: name after this process's id and a count.
std::string unique_temp_path(const char *name);
// The exact bytes manage-plugins-cli.exe list --format csv writes.
std::string companion_csv_bytes();
// The CR LF lines of a text, without their ends.
std::vector<std::string> csv_lines_of(const std::string &text);

// DirectX filters named in other scripts (their DLLs do not exist), the
// names written through the wide registry functions.
struct ScriptPlugin {
    const char *clsid;
    const char *name; // UTF-8
};
extern const ScriptPlugin script_plugins[];
extern const int script_plugin_count;
void script_plugins_install();
void script_plugins_remove();

#endif
