// The command line: options, the command and the plug-ins it names, and the
// lookup of a plug-in by class identifier or display name.
#include <cstdio>
#include <cstring>

#include "catalogue/scopes.h"
#include "cli/cli.h"

namespace {

// ASCII-only case folding: option values and command names are plain ASCII.
int same_text_nocase(const char *a, const char *b)
{
    for (;; a++, b++) {
        char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) return 0;
        if (ca == '\0') return 1;
    }
}

int fail(CliArgs *args, const char *what, const char *detail)
{
    snprintf(args->error, sizeof args->error, "%s%s%s", what, detail ? detail : "",
             detail ? "\"" : "");
    return 0;
}

int parse_format(const char *value, CliArgs *args)
{
    if (same_text_nocase(value, "table")) args->format = CLI_TABLE;
    else if (same_text_nocase(value, "csv")) args->format = CLI_CSV;
    else if (same_text_nocase(value, "json")) args->format = CLI_JSON;
    else return fail(args, "--format takes table, csv or json, not \"", value);
    args->format_given = 1;
    return 1;
}

int parse_type(const char *value, CliArgs *args)
{
    if (same_text_nocase(value, "directx") || same_text_nocase(value, "direct-x"))
        args->type_filter = PLUG_TYPE_DIRECTX;
    else if (same_text_nocase(value, "vs3")) args->type_filter = PLUG_TYPE_VS3;
    else if (same_text_nocase(value, "dmo")) args->type_filter = PLUG_TYPE_DMO;
    else return fail(args, "--type takes directx, dmo or vs3, not \"", value);
    return 1;
}

int parse_bits(const char *value, CliArgs *args)
{
    if (strcmp(value, "32") == 0) args->bits_filter = 32;
    else if (strcmp(value, "64") == 0) args->bits_filter = 64;
    else return fail(args, "--bits takes 32 or 64, not \"", value);
    return 1;
}

int parse_scope(const char *value, CliArgs *args)
{
    if (same_text_nocase(value, "machine")) args->scope_filter = PLUG_SCOPE_MACHINE;
    else if (same_text_nocase(value, "user")) args->scope_filter = PLUG_SCOPE_USER;
    else return fail(args, "--scope takes machine or user, not \"", value);
    return 1;
}

int parse_command(const char *word, CliArgs *args)
{
    static const struct {
        const char *word;
        int command;
    } commands[] = {{"list", CLI_LIST},     {"disable", CLI_DISABLE}, {"enable", CLI_ENABLE},
                    {"remove", CLI_REMOVE}, {"info", CLI_INFO},       {"help", CLI_HELP},
                    {"check", CLI_CHECK},   {"export-reg", CLI_EXPORT_REG}};
    for (const auto &c : commands) {
        if (same_text_nocase(word, c.word)) {
            args->command = c.command;
            if (c.command == CLI_HELP) args->help = 1;
            return 1;
        }
    }
    return fail(args, "unknown command \"", word);
}

int add_target(const char *text, CliArgs *args)
{
    if (args->target_count >= CLI_MAX_TARGETS) {
        snprintf(args->error, sizeof args->error, "too many plug-ins on one command line (at most %d)",
                 CLI_MAX_TARGETS);
        return 0;
    }
    args->targets[args->target_count++] = text;
    return 1;
}

// "--name=value" or "--name value": the value, or none when it is missing.
const char *option_value(const char *arg, const char *name, int argc, const char *const *argv,
                         int *i)
{
    size_t n = strlen(name);
    if (strncmp(arg, name, n) != 0) return nullptr;
    if (arg[n] == '=') return arg + n + 1;
    if (arg[n] != '\0') return nullptr;
    if (*i + 1 >= argc) return nullptr;
    *i += 1;
    return argv[*i];
}

int is_option(const char *arg, const char *name)
{
    size_t n = strlen(name);
    return strncmp(arg, name, n) == 0 && (arg[n] == '\0' || arg[n] == '=');
}

int check_command(CliArgs *args)
{
    if (args->help || args->version) return 1;
    switch (args->command) {
    case CLI_NONE:
        return fail(args, "no command given", nullptr);
    case CLI_LIST:
        if (args->target_count > 0) return fail(args, "list takes no plug-ins", nullptr);
        break;
    case CLI_CHECK:
        if (args->target_count > 0) return fail(args, "check takes no plug-ins", nullptr);
        break;
    case CLI_INFO:
        if (args->target_count != 1) return fail(args, "info takes exactly one plug-in", nullptr);
        break;
    default:
        if (args->target_count < 1) return fail(args, "name at least one plug-in", nullptr);
        break;
    }
    if (args->format_given && args->command != CLI_LIST)
        return fail(args, "--format applies to list only", nullptr);
    if (args->command == CLI_EXPORT_REG && args->output == nullptr)
        return fail(args, "export-reg needs -o FILE: the .reg file to write", nullptr);
    if (args->output != nullptr && args->command != CLI_LIST && args->command != CLI_EXPORT_REG)
        return fail(args, "--output applies to list only", nullptr);
    if (args->backup != nullptr && args->command != CLI_REMOVE)
        return fail(args, "--backup applies to remove only", nullptr);
    return 1;
}

int hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

int parse_args(int argc, const char *const *argv, CliArgs *args)
{
    memset(args, 0, sizeof *args);
    args->format = CLI_TABLE;
    int options_end = 0;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (arg == nullptr) continue;
        // Everything after "--" is a command or a plug-in, so that a display
        // name starting with a hyphen can be given.
        if (!options_end && arg[0] == '-' && arg[1] != '\0') {
            if (strcmp(arg, "--") == 0) {
                options_end = 1;
            } else if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
                args->help = 1;
            } else if (strcmp(arg, "--version") == 0) {
                args->version = 1;
            } else if (strcmp(arg, "-y") == 0 || strcmp(arg, "--yes") == 0) {
                args->yes = 1;
            } else if (is_option(arg, "--format")) {
                const char *v = option_value(arg, "--format", argc, argv, &i);
                if (v == nullptr) return fail(args, "--format needs a value: table, csv or json", nullptr);
                if (!parse_format(v, args)) return 0;
            } else if (is_option(arg, "--type")) {
                const char *v = option_value(arg, "--type", argc, argv, &i);
                if (v == nullptr) return fail(args, "--type needs a value: directx, dmo or vs3", nullptr);
                if (!parse_type(v, args)) return 0;
            } else if (strcmp(arg, "-o") == 0 || is_option(arg, "--output")) {
                const char *v = arg[1] == 'o' ? (i + 1 < argc ? argv[++i] : nullptr)
                                              : option_value(arg, "--output", argc, argv, &i);
                if (v == nullptr || v[0] == '\0')
                    return fail(args, "--output needs a value: the file to write", nullptr);
                args->output = v;
            } else if (is_option(arg, "--backup")) {
                const char *v = option_value(arg, "--backup", argc, argv, &i);
                if (v == nullptr || v[0] == '\0')
                    return fail(args, "--backup needs a value: the .reg file to write", nullptr);
                args->backup = v;
            } else if (is_option(arg, "--bits")) {
                const char *v = option_value(arg, "--bits", argc, argv, &i);
                if (v == nullptr) return fail(args, "--bits needs a value: 32 or 64", nullptr);
                if (!parse_bits(v, args)) return 0;
            } else if (is_option(arg, "--scope")) {
                const char *v = option_value(arg, "--scope", argc, argv, &i);
                if (v == nullptr) return fail(args, "--scope needs a value: machine or user", nullptr);
                if (!parse_scope(v, args)) return 0;
            } else {
                return fail(args, "unknown option \"", arg);
            }
            continue;
        }
        if (strcmp(arg, "/?") == 0 && !options_end) {
            args->help = 1;
            continue;
        }
        if (args->command == CLI_NONE) {
            if (!parse_command(arg, args)) return 0;
        } else if (!add_target(arg, args)) {
            return 0;
        }
    }
    return check_command(args);
}

int is_guid_text(const char *text)
{
    if (text == nullptr) return 0;
    size_t n = strlen(text);
    if (n == 38) {
        if (text[0] != '{' || text[37] != '}') return 0;
        text++;
    } else if (n != 36) {
        return 0;
    }
    for (int i = 0; i < 36; i++) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return 0;
        } else if (!hex_digit(text[i])) {
            return 0;
        }
    }
    return 1;
}

static int wanted(const PlugEntry *e, int type_filter, int bits_filter, int scope_filter)
{
    return e != nullptr && (type_filter == 0 || e->type == type_filter) &&
           (bits_filter == 0 || e->bits == bits_filter) &&
           (scope_filter == 0 || known_scope(e->scope) == scope_filter);
}

int find_plugins(const char *id, int type_filter, int *matches, int max, int bits_filter,
                 int scope_filter)
{
    if (id == nullptr) return 0;
    int count = 0;
    int n = static_cast<int>(catalogue_count());
    if (is_guid_text(id)) {
        unsigned char clsid[16];
        parse_clsid_text(id, clsid);
        for (int i = 1; i <= n; i++) {
            const PlugEntry *e = catalogue_get(i);
            if (!wanted(e, type_filter, bits_filter, scope_filter)) continue;
            if (memcmp(e->clsid, clsid, sizeof clsid) != 0) continue;
            if (count < max) matches[count] = i;
            count++;
        }
        // A display name may itself look like a class identifier.
        if (count > 0) return count;
    }
    for (int i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(i);
        if (!wanted(e, type_filter, bits_filter, scope_filter)) continue;
        if (strncmp(e->name, id, sizeof e->name) != 0 || strlen(id) >= sizeof e->name) continue;
        if (count < max) matches[count] = i;
        count++;
    }
    return count;
}
