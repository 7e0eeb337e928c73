// manage-plugins-cli: the command-line companion of the window. It drives
// the same catalogue, maintenance and extra-information code and, unlike the
// window, reports every outcome: what happened to each plug-in, why an
// operation did not complete, and where the registration is afterwards.
#ifndef CLI_CLI_H
#define CLI_CLI_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "catalogue/list_csv.h"

#define CLI_PROGRAM_NAME "manage-plugins-cli"

// Exit codes.
#define CLI_EXIT_OK 0
#define CLI_EXIT_FAILED 1 // some operation did not complete
#define CLI_EXIT_USAGE 2  // usage error, or an unknown or ambiguous plug-in

enum CliCommand {
    CLI_NONE,
    CLI_LIST,
    CLI_DISABLE,
    CLI_ENABLE,
    CLI_REMOVE,
    CLI_INFO,
    CLI_HELP,
    CLI_CHECK,
    CLI_EXPORT_REG
};
enum CliFormat { CLI_TABLE, CLI_CSV, CLI_JSON };

// Plug-ins named on one command line; each is a pointer into argv.
#define CLI_MAX_TARGETS 1024
#define CLI_ERROR_SIZE 512

struct CliArgs {
    int command;      // CliCommand
    int format;       // CliFormat
    int format_given; // --format appeared
    int yes;          // --yes: remove without asking
    int type_filter;  // 0 any, else PLUG_TYPE_DIRECTX, PLUG_TYPE_VS3 or PLUG_TYPE_DMO
    int bits_filter;  // 0 any, else 32 or 64: the registry view
    int scope_filter; // 0 any, else PLUG_SCOPE_MACHINE or PLUG_SCOPE_USER
    int help;         // --help, or the help command
    int version;      // --version
    const char *output; // --output: the file list or export-reg writes to, UTF-8; or null
    const char *backup; // --backup: the .reg file remove writes first, UTF-8; or null
    int target_count;
    const char *targets[CLI_MAX_TARGETS];
    char error[CLI_ERROR_SIZE]; // the usage error when parse_args returns 0
};

// The streams a run writes to and reads the confirmation from, and whether
// that input is a person at a terminal.
struct CliIo {
    FILE *out;
    FILE *err;
    FILE *in;
    int in_is_terminal;
};

// ---- args.cpp --------------------------------------------------------------

// Fills args from argv (argv[0] is the program). 1 when the command line is
// usable; 0 with the reason in args->error.
int parse_args(int argc, const char *const *argv, CliArgs *args);

// A class identifier in registry form: 32 hexadecimal digits laid out
// 8-4-4-4-12, with both braces or neither. Letter case is free.
int is_guid_text(const char *text);

// The catalogue entries that id names, as 1-based indexes in catalogue
// order: by class identifier (compared in the 16-byte form) when id has the
// shape of one and some entry carries it, else by exact display name. Only
// entries of type_filter, of the view bits_filter and of the scope
// scope_filter count, when not 0. Returns how many matched; at most max
// are stored.
int find_plugins(const char *id, int type_filter, int *matches, int max, int bits_filter = 0,
                 int scope_filter = 0);

// ---- format.cpp ------------------------------------------------------------

// The cell texts and the CSV field encoding of the listing are shared with
// the window's export: catalogue/list_csv.h.

// A field of at most max_len bytes of UTF-8 text (it may end earlier at its
// terminator), written to out in one of the two encodings below. Each returns
// 1, or 0 when out is too small (out then holds as much as fits, terminated).
// JSON string with its quotes; pure ASCII: every character outside printable
// ASCII becomes \uXXXX of its UTF-16 code units (a character beyond the BMP
// as its surrogate pair), control characters are escaped, and a byte that
// is no UTF-8 becomes \ufffd.
int json_string(const char *text, size_t max_len, char *out, size_t size);
// The same for UTF-16 text of at most max_chars characters (up to
// PLUG_DLL_PATH_SIZE), every code unit kept, an unpaired surrogate too.
int json_wide_string(const WCHAR *text, size_t max_chars, char *out, size_t size);
// Table cell: control characters (C0, DEL and C1), which would break the
// line, become '?'; a character is never cut in two.
int table_cell(const char *text, size_t max_len, char *out, size_t size);
// Columns a table cell takes: one per character (Unicode code point).
size_t text_columns(const char *text);

// Room for the longest field in each encoding.
#define JSON_STRING_SIZE (6 * PLUG_DLL_PATH_BYTES + 3)
#define TABLE_CELL_SIZE PLUG_DLL_PATH_BYTES

// Writes the catalogue as it stands (entries of type_filter only, when not
// 0) in the given format; no byte-order mark (write_csv_bom adds one).
void write_list(FILE *out, int format, int type_filter, int bits_filter = 0,
                int scope_filter = 0);

// One line per listed plug-in whose DLL a host of its view could not load:
// name, type, bits, the problem and the file looked at. Returns how many.
int write_problems(FILE *out, int type_filter, int bits_filter, int scope_filter = 0);

// The --help text.
extern const char CLI_HELP_TEXT[];
// The --version line: the program's name and the project version.
extern const char CLI_VERSION_TEXT[];
// One line pointing at --help, for usage errors.
extern const char CLI_USAGE_HINT[];

#define CLI_TEXT_SIZE 1024

// ---- commands.cpp ----------------------------------------------------------

// Runs a parsed command line against the catalogue (which the caller has
// initialised) and returns the exit code. Usage errors in args (parse_args
// returned 0) are reported here too.
int run_cli(const CliArgs *args, int args_ok, const CliIo *io);

// What a run calls with a stream it wrote to before it waits for an answer
// (after flushing it), so that text main.cpp holds back for the console is
// on the screen before the question is answered. Null, the start, for none.
void cli_set_show(void (*show)(FILE *stream));

#endif
