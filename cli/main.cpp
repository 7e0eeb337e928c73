// Entry point of manage-plugins-cli.exe, the console companion of the window.
#include <fcntl.h>
#include <io.h>

#include "cli/cli.h"
#include "platform/win.h"

// A person can answer the confirmation only at a console. _isatty is not
// enough: it also holds for the NUL device.
static int stdin_is_console()
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return in != nullptr && in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode) != 0;
}

int main(int argc, char **argv)
{
    static CliArgs args;
    int ok = parse_args(argc, argv, &args);
    // CSV records end in CR LF exactly; in text mode the runtime would turn
    // them into CR CR LF.
    if (ok && args.command == CLI_LIST && args.format == CLI_CSV) _setmode(_fileno(stdout), _O_BINARY);

    CliIo io = {stdout, stderr, stdin, stdin_is_console()};
    if (!catalogue_init()) {
        fputs(CLI_PROGRAM_NAME ": out of memory\n", stderr);
        return CLI_EXIT_FAILED;
    }
    int code = run_cli(&args, ok, &io);
    catalogue_destroy();
    fflush(stdout);
    return code;
}
