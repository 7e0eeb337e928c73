// The commands: list, info, export-reg, and disable, enable and remove over
// the same catalogue and maintenance operations the window uses, with one
// line of outcome per plug-in.
#include <cstring>

#include "cli/cli.h"
#include "extrainfo/extrainfo.h"
#include "platform/widetext.h"
#include "registry/maintenance.h"
#include "registry/reg_export.h"

namespace {

void (*show_stream)(FILE *stream) = nullptr;

// A file name from the command line (UTF-8) as the wide file functions take
// it, so that a name in any script is the file meant; null when it does not
// fit the longest path Windows has. One buffer: a run writes one file.
const WCHAR *wide_file_name(const char *path)
{
    static WCHAR wide_path[32768];
    if (!utf8_to_utf16(path, wide_path, sizeof wide_path / sizeof wide_path[0])) return nullptr;
    return wide_path;
}

// The file --output names, in UTF-8; on Windows through the wide function.
FILE *open_output(const char *path, const char *mode)
{
#ifdef _WIN32
    const WCHAR *wide_path = wide_file_name(path);
    WCHAR wide_mode[8];
    if (wide_path == nullptr) return nullptr;
    if (!widen_ascii(mode, wide_mode, sizeof wide_mode / sizeof wide_mode[0])) return nullptr;
    return _wfopen(wide_path, wide_mode);
#else
    return fopen(path, mode);
#endif
}

// list: to standard output as it is, or to the --output file, a CSV one
// with the byte-order mark the window's export writes too.
int run_list(const CliArgs *args, const CliIo *io)
{
    rebuild_catalogue();
    if (args->output == nullptr) {
        write_list(io->out, args->format, args->type_filter, args->bits_filter, args->scope_filter);
        return CLI_EXIT_OK;
    }
    // CSV lines end in CR LF already; the others are lines of text.
    FILE *f = open_output(args->output, args->format == CLI_CSV ? "wb" : "w");
    if (f == nullptr) {
        fprintf(io->err, CLI_PROGRAM_NAME ": cannot write \"%s\"\n", args->output);
        return CLI_EXIT_FAILED;
    }
    if (args->format == CLI_CSV) write_csv_bom(f);
    write_list(f, args->format, args->type_filter, args->bits_filter, args->scope_filter);
    int failed = ferror(f) != 0;
    if (fclose(f) != 0) failed = 1;
    if (failed) {
        fprintf(io->err, CLI_PROGRAM_NAME ": writing \"%s\" failed\n", args->output);
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_OK;
}

// Candidates shown for an ambiguous plug-in.
const int MAX_CANDIDATES = 16;

void describe_entry(FILE *f, const PlugEntry *e)
{
    char name[TABLE_CELL_SIZE], clsid[TABLE_CELL_SIZE];
    table_cell(e->name, sizeof e->name, name, sizeof name);
    table_cell(e->clsid_text, sizeof e->clsid_text, clsid, sizeof clsid);
    fprintf(f, "\"%s\" %s", name, clsid);
}

// Looks every named plug-in up before anything is changed, so that a typo
// anywhere on the command line changes nothing. 1 with the distinct indexes
// in command-line order.
int resolve_targets(const CliArgs *args, const CliIo *io, int *indexes, int *count)
{
    int ok = 1;
    *count = 0;
    for (int t = 0; t < args->target_count; t++) {
        const char *id = args->targets[t];
        int matches[MAX_CANDIDATES];
        int n = find_plugins(id, args->type_filter, matches, MAX_CANDIDATES, args->bits_filter,
                             args->scope_filter);
        char shown[TABLE_CELL_SIZE];
        table_cell(id, TABLE_CELL_SIZE - 1, shown, sizeof shown);
        const char *of_type = args->type_filter ? " of type " : "";
        const char *type = args->type_filter ? type_text(args->type_filter) : "";
        if (n == 0) {
            fprintf(io->err,
                    CLI_PROGRAM_NAME ": no plug-in%s%s is named \"%s\" (give its class identifier "
                    "or exact display name; \"list\" shows them)\n",
                    of_type, type, shown);
            ok = 0;
            continue;
        }
        if (n > 1) {
            fprintf(io->err,
                    CLI_PROGRAM_NAME ": \"%s\" names %d plug-ins; name one by its class "
                    "identifier, with --type when a class is of both types, --bits when it "
                    "is registered in both registry views and --scope when it is registered "
                    "for the machine and for the user:\n",
                    shown, n);
            for (int i = 0; i < n && i < MAX_CANDIDATES; i++) {
                const PlugEntry *e = catalogue_get(matches[i]);
                fputs("  ", io->err);
                describe_entry(io->err, e);
                fprintf(io->err, " %s %s %s-bit %s\n", type_text(e->type),
                        status_text(e->disabled), bits_text(e->bits), scope_text(e->scope));
            }
            if (n > MAX_CANDIDATES) fprintf(io->err, "  and %d more\n", n - MAX_CANDIDATES);
            ok = 0;
            continue;
        }
        int seen = 0;
        for (int i = 0; i < *count; i++)
            if (indexes[i] == matches[0]) seen = 1;
        if (!seen) indexes[(*count)++] = matches[0];
    }
    return ok;
}

int answer_is_yes(const char *line)
{
    while (*line == ' ' || *line == '\t') line++;
    if (line[0] != 'y' && line[0] != 'Y') return 0;
    const char *rest = line + 1;
    if ((rest[0] == 'e' || rest[0] == 'E') && (rest[1] == 's' || rest[1] == 'S')) rest += 2;
    while (*rest == ' ' || *rest == '\t' || *rest == '\r' || *rest == '\n') rest++;
    return *rest == '\0';
}

// The confirmation the window asks for with OK and Cancel. 1 to go ahead.
int confirm_remove(const CliArgs *args, const CliIo *io, const int *indexes, int count)
{
    if (args->yes) return 1;
    if (!io->in_is_terminal) {
        fprintf(io->err, CLI_PROGRAM_NAME
                ": remove deletes registrations for good and asks first; input is not a "
                "terminal, so add --yes to remove without asking\n");
        return -1;
    }
    fputs("These registrations will be deleted for good (DLL files stay):\n", io->err);
    for (int i = 0; i < count; i++) {
        const PlugEntry *e = catalogue_get(indexes[i]);
        fputs("  ", io->err);
        describe_entry(io->err, e);
        fprintf(io->err, " %s %s\n", type_text(e->type), status_text(e->disabled));
    }
    fprintf(io->err, "Remove %d plug-in%s? [y/N] ", count, count == 1 ? "" : "s");
    fflush(io->err);
    if (show_stream != nullptr) show_stream(io->err);
    char line[64];
    if (io->in == nullptr || fgets(line, sizeof line, io->in) == nullptr) line[0] = '\0';
    if (answer_is_yes(line)) return 1;
    fputs("Nothing removed.\n", io->err);
    return 0;
}

// What remove would delete for the entries at indexes, written to file in
// one call so that the file is whole or absent, with its outcome lines.
// export-reg and remove --backup share it, so a backup is exactly an export.
// 1 when the file is in place.
int export_reg(const char *file, const int *indexes, int count, const CliIo *io)
{
    static ExportOutcome outcome; // holds a key path; keep it off the stack
    char why[CLI_TEXT_SIZE];
    const WCHAR *wide = wide_file_name(file);
    int ok = 0;
    if (wide == nullptr) {
        memset(&outcome, 0, sizeof outcome);
        snprintf(why, sizeof why, "the file name is too long");
    } else {
        ok = export_registrations(indexes, count, wide, &outcome);
        describe_export(&outcome, why, sizeof why);
    }
    if (ok) {
        for (int i = 0; i < count; i++) {
            fputs("export-reg ", io->out);
            describe_entry(io->out, catalogue_get(indexes[i]));
            fputs(": done\n", io->out);
        }
        fprintf(io->out, "wrote %d key%s and %d value%s to \"%s\"\n", outcome.keys,
                outcome.keys == 1 ? "" : "s", outcome.values, outcome.values == 1 ? "" : "s", file);
        return 1;
    }
    const PlugEntry *e = outcome.index != 0 ? catalogue_get(outcome.index) : nullptr;
    if (e != nullptr) {
        fputs("export-reg ", io->out);
        describe_entry(io->out, e);
        fprintf(io->out, ": failed: %s\n", why);
    } else {
        fprintf(io->err, CLI_PROGRAM_NAME ": export-reg failed: %s\n", why);
    }
    fprintf(io->err, CLI_PROGRAM_NAME ": nothing was written to \"%s\"\n", file);
    return 0;
}

// Runs one operation on the entry at index and prints its outcome and where
// the registration is now. 1 when the plug-in ended in the state asked for.
int apply(int command, int index, FILE *out)
{
    const char *verb = command == CLI_DISABLE ? "disable" : command == CLI_ENABLE ? "enable" : "remove";
    PlugOutcome outcome;
    int ok = command == CLI_DISABLE  ? disable_plug(index, &outcome)
             : command == CLI_ENABLE ? enable_plug(index, &outcome)
                                     : remove_plug(index, &outcome);
    // The operations change the flag in place only; the catalogue does not
    // move, so the index still designates the entry.
    const PlugEntry *e = catalogue_get(index);
    if (e == nullptr) return 0;
    char where[CLI_TEXT_SIZE];
    if (outcome.why == WHY_BAD_CLSID) {
        snprintf(where, sizeof where, "unchanged");
    } else {
        PlugPlaces places;
        find_places(e, &places);
        describe_places(e, &places, where, sizeof where);
    }
    fprintf(out, "%s ", verb);
    describe_entry(out, e);
    if (outcome.status == PLUG_NOTHING_TO_DO) {
        fprintf(out, ": nothing to do, %s; now: %s\n",
                command == CLI_DISABLE ? "already disabled" : "already live", where);
        return 1;
    }
    if (ok) {
        fprintf(out, ": done; now: %s\n", where);
        return 1;
    }
    char why[CLI_TEXT_SIZE];
    describe_outcome(&outcome, why, sizeof why);
    fprintf(out, ": failed: %s; now: %s\n", why, where);
    return 0;
}

int run_operation(const CliArgs *args, const CliIo *io)
{
    static int indexes[CLI_MAX_TARGETS];
    int count = 0;
    rebuild_catalogue();
    if (!resolve_targets(args, io, indexes, &count)) return CLI_EXIT_USAGE;
    if (args->command == CLI_EXPORT_REG)
        return export_reg(args->output, indexes, count, io) ? CLI_EXIT_OK : CLI_EXIT_FAILED;
    if (args->command == CLI_REMOVE) {
        int go = confirm_remove(args, io, indexes, count);
        if (go < 0) return CLI_EXIT_USAGE;
        if (go == 0) return CLI_EXIT_FAILED;
        // A registration is deleted only once its backup is whole on disk.
        if (args->backup != nullptr && !export_reg(args->backup, indexes, count, io)) {
            fputs("Nothing removed.\n", io->err);
            return CLI_EXIT_FAILED;
        }
    }
    // In command-line order, one plug-in after another, as the window walks
    // its selected rows; indexes stay valid because nothing rebuilds meanwhile.
    int failed = 0;
    for (int i = 0; i < count; i++)
        if (!apply(args->command, indexes[i], io->out)) failed++;
    return failed ? CLI_EXIT_FAILED : CLI_EXIT_OK;
}

int run_info(const CliArgs *args, const CliIo *io)
{
    int index = 0, count = 0;
    rebuild_catalogue();
    if (!resolve_targets(args, io, &index, &count) || count != 1) return CLI_EXIT_USAGE;
    static char report[REPORT_SIZE];
    int r = properties_text_for_entry(index, report, sizeof report);
    if (r > 0) fputs(report, io->out);
    else if (r == 0) fputs(NO_EXTRA_INFO_TEXT "\n", io->out);
    else return CLI_EXIT_FAILED;
    return CLI_EXIT_OK;
}

} // namespace

void cli_set_show(void (*show)(FILE *stream)) { show_stream = show; }

int run_cli(const CliArgs *args, int args_ok, const CliIo *io)
{
    if (!args_ok) {
        fprintf(io->err, CLI_PROGRAM_NAME ": %s\n%s", args->error, CLI_USAGE_HINT);
        return CLI_EXIT_USAGE;
    }
    if (args->help) {
        fputs(CLI_HELP_TEXT, io->out);
        return CLI_EXIT_OK;
    }
    if (args->version) {
        fputs(CLI_VERSION_TEXT, io->out);
        return CLI_EXIT_OK;
    }
    switch (args->command) {
    case CLI_LIST:
        return run_list(args, io);
    case CLI_CHECK:
        rebuild_catalogue();
        return write_problems(io->out, args->type_filter, args->bits_filter, args->scope_filter) > 0
                   ? CLI_EXIT_FAILED
                                                                                 : CLI_EXIT_OK;
    case CLI_INFO:
        return run_info(args, io);
    case CLI_EXPORT_REG:
    case CLI_DISABLE:
    case CLI_ENABLE:
    case CLI_REMOVE:
        return run_operation(args, io);
    default:
        fprintf(io->err, CLI_PROGRAM_NAME ": no command given\n%s", CLI_USAGE_HINT);
        return CLI_EXIT_USAGE;
    }
}
