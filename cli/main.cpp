// Entry point of manage-plugins-cli.exe, the console companion of the window.
// Text inside is UTF-8: the arguments arrive as UTF-16 (wmain) and are
// converted; output to a console goes through WriteConsoleW, which shows
// every script whatever the console's code page, and output to a file or
// pipe is the UTF-8 bytes as they are.
#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <cwchar>

#include "cli/cli.h"
#include "platform/widetext.h"
#include "platform/win.h"

namespace {

// A person can answer the confirmation only at a console. _isatty is not
// enough: it also holds for the NUL device.
int is_console(DWORD which)
{
    HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

// Output bound for a console: the run writes UTF-8 into a temporary file,
// and what it holds is shown with WriteConsoleW, converted to UTF-16.
struct ConsoleSink {
    FILE *buffer;   // null when the stream goes out as it is
    HANDLE console;
    long shown;     // bytes of buffer already on the console
};
ConsoleSink sinks[2];

// A temporary file in the temporary directory (tmpfile() of the older
// runtime wants the root of drive C:, which a user may not write to),
// deleted when closed.
FILE *open_buffer()
{
    WCHAR dir[MAX_PATH + 1], path[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH) return nullptr;
    if (GetTempFileNameW(dir, L"mpc", 0, path) == 0) return nullptr;
    FILE *f = _wfopen(path, L"w+bTD");
    if (f == nullptr) DeleteFileW(path);
    return f;
}

// UTF-8 text to the console in pieces of UTF-16; a character beyond the
// BMP is never split between pieces.
void write_console(HANDLE console, const char *text)
{
    static WCHAR piece[4096];
    size_t at = 0;
    while (*text != '\0') {
        uint32_t c = utf8_next(&text);
        if (c > 0x10FFFF) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            piece[at++] = static_cast<WCHAR>(0xD800 + (c >> 10));
            piece[at++] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            piece[at++] = static_cast<WCHAR>(c);
        }
        if (at + 2 > sizeof piece / sizeof piece[0] || *text == '\0') {
            DWORD written = 0;
            WriteConsoleW(console, piece, static_cast<DWORD>(at), &written, nullptr);
            at = 0;
        }
    }
}

// Shows what the stream's buffer holds beyond what is on the console.
void show(FILE *stream)
{
    for (ConsoleSink &sink : sinks) {
        if (sink.buffer == nullptr || sink.buffer != stream) continue;
        fflush(sink.buffer);
        long end = ftell(sink.buffer);
        if (end <= sink.shown) return;
        size_t size = static_cast<size_t>(end - sink.shown);
        char *text = static_cast<char *>(malloc(size + 1));
        if (text != nullptr && fseek(sink.buffer, sink.shown, SEEK_SET) == 0) {
            size_t got = fread(text, 1, size, sink.buffer);
            text[got] = '\0';
            write_console(sink.console, text);
        }
        free(text);
        fseek(sink.buffer, end, SEEK_SET);
        sink.shown = end;
    }
}

// The stream the run writes to for the standard stream which: a buffer when
// it is a console, else the stream itself.
FILE *stream_for(DWORD which, FILE *standard, ConsoleSink *sink)
{
    sink->buffer = nullptr;
    sink->shown = 0;
    sink->console = GetStdHandle(which);
    if (!is_console(which)) return standard;
    sink->buffer = open_buffer();
    return sink->buffer != nullptr ? sink->buffer : standard;
}

void free_arguments(int argc, char **argv)
{
    for (int i = 0; i < argc; i++) free(argv[i]);
    free(argv);
}

// The arguments in UTF-8, each in its own block; null when out of memory.
char **utf8_arguments(int argc, wchar_t **wargv)
{
    char **argv = static_cast<char **>(calloc(static_cast<size_t>(argc) + 1, sizeof(char *)));
    if (argv == nullptr) return nullptr;
    for (int i = 0; i < argc; i++) {
        size_t chars = wcslen(wargv[i]) + 1;
        size_t bytes = UTF8_BYTES(chars);
        argv[i] = static_cast<char *>(malloc(bytes));
        if (argv[i] == nullptr) {
            free_arguments(argc, argv);
            return nullptr;
        }
        utf16_to_utf8(wargv[i], chars, argv[i], bytes, chars);
    }
    return argv;
}

} // namespace

int wmain(int argc, wchar_t **wargv)
{
    char **argv = utf8_arguments(argc, wargv);
    if (argv == nullptr) {
        fputs(CLI_PROGRAM_NAME ": out of memory\n", stderr);
        return CLI_EXIT_FAILED;
    }
    static CliArgs args;
    int ok = parse_args(argc, argv, &args);
    // CSV records end in CR LF exactly; in text mode the runtime would turn
    // them into CR CR LF.
    if (ok && args.command == CLI_LIST && args.format == CLI_CSV) _setmode(_fileno(stdout), _O_BINARY);

    FILE *out = stream_for(STD_OUTPUT_HANDLE, stdout, &sinks[0]);
    FILE *err = stream_for(STD_ERROR_HANDLE, stderr, &sinks[1]);
    cli_set_show(show);
    CliIo io = {out, err, stdin, is_console(STD_INPUT_HANDLE)};
    int code = CLI_EXIT_FAILED;
    if (catalogue_init()) {
        code = run_cli(&args, ok, &io);
        catalogue_destroy();
    } else {
        fputs(CLI_PROGRAM_NAME ": out of memory\n", err);
    }
    free_arguments(argc, argv);
    show(out);
    show(err);
    fflush(stdout);
    for (ConsoleSink &sink : sinks)
        if (sink.buffer != nullptr) fclose(sink.buffer);
    return code;
}
