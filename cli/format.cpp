// The listing in its three formats, the field encodings behind them, and the
// help and version texts.
#include <cstring>

#include "cli/cli.h"
#include "catalogue/dll_problem.h"
#include "catalogue/scopes.h"
#include "extrainfo/extrainfo.h"
#include "platform/widetext.h"
#include "resources/version.h"

static_assert(JSON_STRING_SIZE >= 6 * PLUG_DLL_PATH_BYTES + 3, "a field of escapes only fits");

namespace {

// Appends to a terminated text in out without passing size - 1 characters.
struct Writer {
    char *out;
    size_t size;
    size_t at;
    int fits;

    Writer(char *o, size_t s) : out(o), size(s), at(0), fits(s > 0)
    {
        if (size > 0) out[0] = '\0';
    }
    void put(char c)
    {
        if (at + 1 >= size) {
            fits = 0;
            return;
        }
        out[at++] = c;
        out[at] = '\0';
    }
    void put(const char *s)
    {
        while (*s) put(*s++);
    }
};

// C0, DEL and C1: what would break a line or drive the terminal.
int is_control(uint32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// The code point at text[*i] of a field n bytes long, moving *i past it;
// the field need not be terminated, so no byte beyond it is read.
uint32_t next_code_point(const char *text, size_t n, size_t *i)
{
    char one[5] = {0, 0, 0, 0, 0};
    for (size_t k = 0; k < 4 && *i + k < n; k++) one[k] = text[*i + k];
    const char *p = one;
    uint32_t c = utf8_next(&p);
    *i += static_cast<size_t>(p - one);
    return c;
}

size_t field_length(const char *text, size_t max_len)
{
    return text == nullptr ? 0 : strnlen(text, max_len);
}

// Column widths of the table, counted in characters (text_columns): the
// texts are UTF-8, where a character takes one to four bytes.
struct Widths {
    size_t name, type, status, exist, bits, scope, clsid;
};

struct Filter {
    int type, bits, scope;
};

int listed(const PlugEntry *e, Filter filter)
{
    return e != nullptr && (filter.type == 0 || e->type == filter.type) &&
           (filter.bits == 0 || e->bits == filter.bits) &&
           (filter.scope == 0 || known_scope(e->scope) == filter.scope);
}

void pad(FILE *out, size_t shown, size_t width)
{
    for (size_t i = shown; i < width + 2; i++) fputc(' ', out);
}

void write_table(FILE *out, Filter type_filter)
{
    static const char *const heads[8] = {"Name", "Type",  "Status", "Exist", "Bits",
                                         "Scope", "Class identifier", "DLL"};
    Widths w = {strlen(heads[0]), strlen(heads[1]), strlen(heads[2]), strlen(heads[3]),
                strlen(heads[4]), strlen(heads[5]), strlen(heads[6])};
    int n = static_cast<int>(catalogue_count());
    for (int i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(i);
        if (!listed(e, type_filter)) continue;
        char cell[TABLE_CELL_SIZE];
        table_cell(e->name, sizeof e->name, cell, sizeof cell);
        size_t len = text_columns(cell);
        if (len > w.name) w.name = len;
        if (strlen(type_text(e->type)) > w.type) w.type = strlen(type_text(e->type));
        if (strlen(status_text(e->disabled)) > w.status) w.status = strlen(status_text(e->disabled));
        if (strlen(exist_text(e->dll_exists)) > w.exist) w.exist = strlen(exist_text(e->dll_exists));
        if (strlen(bits_text(e->bits)) > w.bits) w.bits = strlen(bits_text(e->bits));
        if (strlen(scope_text(e->scope)) > w.scope) w.scope = strlen(scope_text(e->scope));
        table_cell(e->clsid_text, sizeof e->clsid_text, cell, sizeof cell);
        len = text_columns(cell);
        if (len > w.clsid) w.clsid = len;
    }
    const size_t widths[7] = {w.name, w.type, w.status, w.exist, w.bits, w.scope, w.clsid};
    for (int c = 0; c < 8; c++) {
        fputs(heads[c], out);
        if (c < 7) pad(out, strlen(heads[c]), widths[c]);
    }
    fputc('\n', out);
    char cell[TABLE_CELL_SIZE];
    for (int i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(i);
        if (!listed(e, type_filter)) continue;
        table_cell(e->name, sizeof e->name, cell, sizeof cell);
        fputs(cell, out);
        pad(out, text_columns(cell), w.name);
        const char *fixed[5] = {type_text(e->type), status_text(e->disabled),
                                exist_text(e->dll_exists), bits_text(e->bits),
                                scope_text(e->scope)};
        for (int c = 0; c < 5; c++) {
            fputs(fixed[c], out);
            pad(out, strlen(fixed[c]), widths[c + 1]);
        }
        table_cell(e->clsid_text, sizeof e->clsid_text, cell, sizeof cell);
        fputs(cell, out);
        pad(out, text_columns(cell), w.clsid);
        table_cell(e->dll_path, sizeof e->dll_path, cell, sizeof cell);
        fputs(cell, out);
        fputc('\n', out);
    }
}

void write_csv(FILE *out, Filter type_filter)
{
    write_csv_heading(out);
    int n = static_cast<int>(catalogue_count());
    for (int i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(i);
        if (!listed(e, type_filter)) continue;
        DllFacts facts;
        read_entry_facts(i, &facts);
        write_csv_record(out, e, &facts);
    }
}

// null, or the text as a JSON string.
void put_json_or_null(FILE *out, const char *name, const char *value)
{
    char text[JSON_STRING_SIZE];
    if (value == nullptr) {
        fprintf(out, "\"%s\": null", name);
        return;
    }
    json_string(value, JSON_STRING_SIZE, text, sizeof text);
    fprintf(out, "\"%s\": %s", name, text);
}

// What the entry's file says; the texts of a file that is no image are null.
void write_json_file_fields(FILE *out, int index, const PlugEntry *e, char *text, size_t size)
{
    DllFacts facts;
    read_entry_facts(index, &facts);
    int image = facts.read == DLL_READ_IMAGE;
    put_json_or_null(out, "version", image && facts.version[0] != 0 ? facts.version : nullptr);
    fputs(", ", out);
    json_wide_string(facts.company, DLL_TEXT_SIZE, text, size);
    fprintf(out, "\"company\": %s, ", image && facts.company[0] != 0 ? text : "null");
    json_wide_string(facts.description, DLL_TEXT_SIZE, text, size);
    fprintf(out, "\"description\": %s, ", image && facts.description[0] != 0 ? text : "null");
    put_json_or_null(out, "arch", image ? arch_name(facts.arch) : nullptr);
    fputs(", ", out);
    put_json_or_null(out, "problem", problem_text(dll_problem(e, &facts)));
    fputs(", ", out);
    const WCHAR *file = catalogue_file(index);
    json_wide_string(file, PLUG_FILE_CHARS, text, size);
    fprintf(out, "\"file\": %s", file[0] != 0 ? text : "null");
}

void write_json(FILE *out, Filter type_filter)
{
    char text[JSON_STRING_SIZE];
    int first = 1;
    fputc('[', out);
    int n = static_cast<int>(catalogue_count());
    for (int i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(i);
        if (!listed(e, type_filter)) continue;
        fputs(first ? "\n  {" : ",\n  {", out);
        first = 0;
        json_string(e->name, sizeof e->name, text, sizeof text);
        fprintf(out, "\"name\": %s, ", text);
        json_string(type_text(e->type), 16, text, sizeof text);
        fprintf(out, "\"type\": %s, ", text);
        fprintf(out, "\"status\": \"%s\", ", status_text(e->disabled));
        fprintf(out, "\"exist\": %s, ", e->dll_exists ? "true" : "false");
        fprintf(out, "\"bits\": %s, ", bits_text(e->bits));
        json_string(e->clsid_text, sizeof e->clsid_text, text, sizeof text);
        fprintf(out, "\"clsid\": %s, ", text);
        json_string(e->dll_path, sizeof e->dll_path, text, sizeof text);
        fprintf(out, "\"dll\": %s, ", text);
        write_json_file_fields(out, i, e, text, sizeof text);
        fprintf(out, ", \"registration\": \"%s\"", form_text(e));
        fprintf(out, ", \"scope\": \"%s\"", scope_text(e->scope));
        fputc('}', out);
    }
    fputs(first ? "]\n" : "\n]\n", out);
}

} // namespace

int json_string(const char *text, size_t max_len, char *out, size_t size)
{
    static const char HEX[] = "0123456789abcdef";
    Writer w(out, size);
    size_t n = field_length(text, max_len);
    w.put('"');
    for (size_t i = 0; i < n;) {
        uint32_t c = next_code_point(text, n, &i);
        switch (c) {
        case '"': w.put("\\\""); continue;
        case '\\': w.put("\\\\"); continue;
        case '\b': w.put("\\b"); continue;
        case '\f': w.put("\\f"); continue;
        case '\n': w.put("\\n"); continue;
        case '\r': w.put("\\r"); continue;
        case '\t': w.put("\\t"); continue;
        default: break;
        }
        if (c >= 0x20 && c < 0x7F) {
            w.put(static_cast<char>(c));
            continue;
        }
        // The UTF-16 code units, as JSON escapes them: one, or a surrogate
        // pair beyond the BMP. An unpaired surrogate kept from a registry
        // name is its own unit, so the name comes back exactly.
        if (c > 0x10FFFF) c = 0xFFFD; // past Unicode: no UTF-8 either
        uint32_t units[2] = {c, 0};
        int count = 1;
        if (c >= 0x10000) {
            units[0] = 0xD800 + ((c - 0x10000) >> 10);
            units[1] = 0xDC00 + ((c - 0x10000) & 0x3FF);
            count = 2;
        }
        for (int u = 0; u < count; u++) {
            uint32_t v = units[u];
            char esc[7] = {'\\', 'u', HEX[(v >> 12) & 15], HEX[(v >> 8) & 15], HEX[(v >> 4) & 15],
                           HEX[v & 15], '\0'};
            w.put(esc);
        }
    }
    w.put('"');
    return w.fits;
}

int json_wide_string(const WCHAR *text, size_t max_chars, char *out, size_t size)
{
    // UTF-8 keeps every unit, an unpaired surrogate too, so the one escaper
    // of the listing writes the same units back.
    char utf8[UTF8_BYTES(PLUG_DLL_PATH_SIZE)];
    if (max_chars > PLUG_DLL_PATH_SIZE) max_chars = PLUG_DLL_PATH_SIZE;
    utf16_to_utf8(text, max_chars, utf8, sizeof utf8, max_chars);
    return json_string(utf8, sizeof utf8, out, size);
}

int table_cell(const char *text, size_t max_len, char *out, size_t size)
{
    Writer w(out, size);
    size_t n = field_length(text, max_len);
    for (size_t i = 0; i < n && w.fits;) {
        size_t start = i;
        uint32_t c = next_code_point(text, n, &i);
        if (is_control(c)) {
            w.put('?');
            continue;
        }
        // A character goes whole or not at all, so the cell stays UTF-8.
        if (w.at + (i - start) + 1 > w.size) {
            w.fits = 0;
            break;
        }
        for (size_t k = start; k < i; k++) w.put(text[k]);
    }
    return w.fits;
}

size_t text_columns(const char *text)
{
    size_t n = 0;
    while (text != nullptr && *text != '\0') {
        utf8_next(&text);
        n++;
    }
    return n;
}

int write_problems(FILE *out, int type_filter, int bits_filter, int scope_filter)
{
    const Filter filter = {type_filter, bits_filter, scope_filter};
    int found = 0;
    int n = static_cast<int>(catalogue_count());
    for (int i = 1; i <= n; i++) {
        const PlugEntry *e = catalogue_get(i);
        if (!listed(e, filter)) continue;
        DllFacts facts;
        read_entry_facts(i, &facts);
        const char *problem = problem_text(dll_problem(e, &facts));
        if (problem == nullptr) continue;
        found++;
        char cell[TABLE_CELL_SIZE];
        table_cell(e->name, sizeof e->name, cell, sizeof cell);
        fprintf(out, "\"%s\" %s %s-bit: %s", cell, type_text(e->type), bits_text(e->bits),
                problem);
        char file[UTF8_BYTES(PLUG_FILE_CHARS)];
        utf16_to_utf8(catalogue_file(i), PLUG_FILE_CHARS, file, sizeof file, PLUG_FILE_CHARS);
        table_cell(file, sizeof file, cell, sizeof cell);
        if (cell[0] != '\0') fprintf(out, ": %s", cell);
        fputc('\n', out);
    }
    return found;
}

void write_list(FILE *out, int format, int type_filter, int bits_filter, int scope_filter)
{
    const Filter filter = {type_filter, bits_filter, scope_filter};
    if (format == CLI_CSV) write_csv(out, filter);
    else if (format == CLI_JSON) write_json(out, filter);
    else write_table(out, filter);
}

const char CLI_VERSION_TEXT[] = CLI_PROGRAM_NAME " " MP_VERSION_TEXT "\n";

const char CLI_USAGE_HINT[] = "Run \"" CLI_PROGRAM_NAME " --help\" for the commands and options.\n";

const char CLI_HELP_TEXT[] =
    "Usage: " CLI_PROGRAM_NAME " [options] <command> [plug-in...]\n"
    "\n"
    "Lists the DirectX audio filters and VS3 effects registered on this machine and\n"
    "disables, enables or removes them, like the Manage Plug-ins window, for\n"
    "scripts and remote shells. It reads and writes the same registry places with\n"
    "the same operations, in the same order: a live registration is deleted only\n"
    "after it has been saved whole in the disabled store\n"
    "(Software\\Classes\\Quillon_Software\\DisabledPlug for 32-bit registrations,\n"
    "DisabledPlug64 beside it for 64-bit ones), and a saved copy only after it\n"
    "has been restored whole. On 64-bit Windows both registry views are listed\n"
    "and each plug-in is changed in its own view. A plug-in is registered for\n"
    "the machine (HKEY_LOCAL_MACHINE\\Software\\Classes) or for the current user\n"
    "(HKEY_CURRENT_USER\\Software\\Classes): each is changed, and saved in the\n"
    "store, in its own scope, and a saved per-user copy only ever goes back into\n"
    "the user's classes.\n"
    "\n"
    "Commands:\n"
    "  list                 Print every plug-in: name, type, status, exist, bits,\n"
    "                       scope, class identifier and DLL path; csv and json\n"
    "                       add what the DLL file says (version, company,\n"
    "                       architecture) and its problem.\n"
    "  disable <plug-in>... Move each plug-in's registration into the disabled\n"
    "                       store.\n"
    "  enable <plug-in>...  Restore each disabled plug-in's registration.\n"
    "  remove <plug-in>...  Delete each plug-in's registration for good; for a\n"
    "                       disabled plug-in, its saved copy. DLL files are never\n"
    "                       deleted. Asks for confirmation on a terminal; otherwise\n"
    "                       needs --yes. With --backup <file>, first writes what\n"
    "                       it deletes to that .reg file as export-reg does, and\n"
    "                       removes nothing when the file cannot be written.\n"
    "  export-reg <plug-in>... -o <file>\n"
    "                       Write what remove would delete for the plug-ins to\n"
    "                       one .reg file (UTF-16, the format of the registry\n"
    "                       editor), each key where it lives in its view. The\n"
    "                       file is written whole or not at all. A backup is\n"
    "                       restored by opening the file or with\n"
    "                         reg import <file>\n"
    "  check                Print one line per plug-in whose DLL a host of its\n"
    "                       registry view could not load: name, type, bits, the\n"
    "                       problem and the file looked at. Exit code 1 when there\n"
    "                       is any, 0 when there is none. Takes --type, --bits and\n"
    "                       --scope.\n"
    "  info <plug-in>       Print the plug-in's Properties report, or the line\n"
    "                         " NO_EXTRA_INFO_TEXT "\n"
    "                       when it carries no extra information.\n"
    "  help                 Print this text.\n"
    "\n"
    "Naming a plug-in:\n"
    "  By its class identifier, in any letter case, with or without braces\n"
    "  ({1F3E2A40-5B6C-4D7E-8F90-A1B2C3D4E5F6} or\n"
    "  1f3e2a40-5b6c-4d7e-8f90-a1b2c3d4e5f6),\n"
    "  or by its exact display name (quote names with blanks). A name or class\n"
    "  identifier that fits several plug-ins is refused and the candidates are\n"
    "  listed; --type picks one when a class is both a DirectX filter and a VS3\n"
    "  effect, --bits when a class is registered in both registry views, and\n"
    "  --scope when it is registered both for the machine and for the user.\n"
    "  Nothing is done when any plug-in named is unknown or ambiguous. Put\n"
    "  \"--\" before a name that starts with a hyphen.\n"
    "\n"
    "Options:\n"
    "  --format table|csv|json  Output of list (default table).\n"
    "  --type directx|dmo|vs3   Only plug-ins of that type (list, check, and the\n"
    "                           lookup of named plug-ins).\n"
    "  --bits 32|64             Only plug-ins of that registry view (list, check,\n"
    "                           and the lookup of named plug-ins).\n"
    "  --scope machine|user     Only plug-ins registered for the machine or for\n"
    "                           the current user (list, check, and the lookup).\n"
    "  -o, --output <file>      The file list writes to instead of standard\n"
    "                           output; the .reg file export-reg writes.\n"
    "  --backup <file>          The .reg file remove writes before it deletes.\n"
    "  -y, --yes                Remove without asking.\n"
    "  -h, --help               Print this text.\n"
    "  --version                Print the program's name and version.\n"
    "\n"
    "Output of list:\n"
    "  type is Direct-X, VS3, or empty for a saved entry of another type; status is\n"
    "  OK or Disabled; exist is Yes or No (whether the DLL could be found); bits\n"
    "  is 32 or 64, the registry view the plug-in is registered in; scope is\n"
    "  machine or user, whose classes it is registered in.\n"
    "  table  Aligned columns with a heading line, lined up by characters\n"
    "         (each Unicode code point is one column, also one beyond the BMP);\n"
    "         control characters in a name or path are shown as '?'.\n"
    "  csv    RFC 4180 in UTF-8: a heading line\n"
    "         name,type,status,exist,clsid,dll,bits,version,company,arch,problem,\n"
    "         registration,scope\n"
    "         then\n"
    "         one record per plug-in; fields holding a comma, a quote, CR or LF\n"
    "         are quoted and their quotes doubled; every line ends with CR LF.\n"
    "         With --output the file starts with the UTF-8 byte-order mark\n"
    "         (EF BB BF), as the window's export does, so spreadsheet programs\n"
    "         read it as UTF-8; standard output gets no mark.\n"
    "  json   An array of objects with the members name, type, status, clsid, dll\n"
    "         (strings), exist (true or false), bits (32 or 64), and version,\n"
    "         company, description, arch (x86, x64, arm64, arm), problem and file\n"
    "         (strings, or null when the file has none), and registration\n"
    "         (filter, mapper, filter+mapper, dmo or vs3: where it is registered)\n"
    "         and scope (machine or user).\n"
    "         The output is\n"
    "         pure ASCII (RFC 8259): every character outside printable ASCII is\n"
    "         written as the \\uXXXX escapes of its UTF-16 code units, a\n"
    "         character beyond the BMP as its surrogate pair (\\ud83c\\udf9b),\n"
    "         so nothing is lost. Control characters are escaped (\\n, \\t,\n"
    "         \\u001f, \\u007f, ...).\n"
    "  problem: hidden by a per-user registration (hosts get the user's\n"
    "         registration of the class instead), no DLL registered, DLL not\n"
    "         found, not a Windows DLL, 64-bit DLL in the 32-bit view, or 32-bit\n"
    "         DLL in the 64-bit view.\n"
    "         The DLL is looked for as a host of the plug-in's registry view\n"
    "         finds it (System32 is SysWOW64 for a 32-bit plug-in, and so is\n"
    "         %ProgramFiles% its Program Files (x86)); it is read, never loaded.\n"
    "  Text is Unicode throughout: names on the command line may be in any\n"
    "  script, a console shows every character, and output to a file or pipe\n"
    "  is UTF-8.\n"
    "\n"
    "Outcome of disable, enable and remove:\n"
    "  One line per plug-in: the command, the name and class identifier, then\n"
    "  \"done\", \"nothing to do\" (already in the state asked for) or \"failed\" with\n"
    "  the first step the registry refused -- for example \"access denied\n"
    "  (run as administrator) at HKLM\\Software\\Classes\\Filter\\{...}\" or \"not\n"
    "  found at ...\" --\n"
    "  and where the registration now is: live, disabled (saved in the disabled\n"
    "  store), gone, or a mixed state spelled out part by part. A failed\n"
    "  operation stops where the registry refused it and rolls nothing back;\n"
    "  the line says where everything is.\n"
    "\n"
    "Outcome of export-reg and --backup:\n"
    "  One line per plug-in, \"export-reg\", the name and class identifier and\n"
    "  \"done\", then \"wrote N keys and M values to\" the file. On a failure the\n"
    "  reason is on the line of the plug-in it concerns (or on standard error),\n"
    "  and nothing is written.\n"
    "\n"
    "Exit codes:\n"
    "  0  everything asked for was done (or there was nothing to do)\n"
    "  1  some operation did not complete, or remove was not confirmed, or a\n"
    "     .reg file could not be written; for check, some plug-in has a problem\n"
    "  2  usage error, or a plug-in that is unknown or ambiguous (nothing was done)\n"
    "\n"
    "Examples:\n"
    "  " CLI_PROGRAM_NAME " list --format csv > plugins.csv\n"
    "  " CLI_PROGRAM_NAME " disable Chorus {1f3e2a40-5b6c-4d7e-8f90-a1b2c3d4e5f6}\n"
    "  " CLI_PROGRAM_NAME " enable 1F3E2A40-5B6C-4D7E-8F90-A1B2C3D4E5F6\n"
    "  " CLI_PROGRAM_NAME " remove --yes --type vs3 \"Widener\"\n"
    "  " CLI_PROGRAM_NAME " export-reg Chorus -o chorus.reg\n"
    "  " CLI_PROGRAM_NAME " remove --backup chorus.reg Chorus\n"
    "  " CLI_PROGRAM_NAME " info \"Room Reverb\"\n"
    "\n"
    "Changing HKEY_LOCAL_MACHINE needs an administrator: run it from an elevated\n"
    "prompt. The 32-bit build sees the 32-bit registry view, where most 32-bit\n"
    "plug-ins are registered; the 64-bit build sees the 64-bit view.\n";
