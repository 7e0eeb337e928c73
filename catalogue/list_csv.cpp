#include "catalogue/list_csv.h"

#include <cstring>

#include "catalogue/dll_problem.h"
#include "catalogue/scopes.h"
#include "platform/widetext.h"

namespace {

// A record's sources: the entry, what its file read as, and the company
// name (UTF-16 in the file) as the UTF-8 the listing is written in.
struct CsvRow {
    const PlugEntry *entry;
    const DllFacts *facts;
    char company[UTF8_BYTES(DLL_TEXT_SIZE)];
};

// The fields of a record, in order: the heading and where the text comes from.
struct CsvColumn {
    const char *heading;
    const char *(*text)(const CsvRow *row, size_t *max_len);
};

int read_as_image(const DllFacts *facts)
{
    return facts != nullptr && facts->read == DLL_READ_IMAGE;
}

const CsvColumn CSV_COLUMNS[] = {
    {"name",
     [](const CsvRow *r, size_t *n) {
         *n = sizeof r->entry->name;
         return static_cast<const char *>(r->entry->name);
     }},
    {"type",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return type_text(r->entry->type);
     }},
    {"status",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return status_text(r->entry->disabled);
     }},
    {"exist",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return exist_text(r->entry->dll_exists);
     }},
    {"clsid",
     [](const CsvRow *r, size_t *n) {
         *n = sizeof r->entry->clsid_text;
         return static_cast<const char *>(r->entry->clsid_text);
     }},
    {"dll",
     [](const CsvRow *r, size_t *n) {
         *n = sizeof r->entry->dll_path;
         return static_cast<const char *>(r->entry->dll_path);
     }},
    // Appended last, so that readers of the older six columns still read them.
    {"bits",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return bits_text(r->entry->bits);
     }},
    // What the DLL file says, after bits for the same reason.
    {"version",
     [](const CsvRow *r, size_t *n) {
         *n = DLL_VERSION_SIZE;
         return read_as_image(r->facts) ? static_cast<const char *>(r->facts->version) : "";
     }},
    {"company",
     [](const CsvRow *r, size_t *n) {
         *n = sizeof r->company;
         return static_cast<const char *>(r->company);
     }},
    {"arch",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         const char *arch = read_as_image(r->facts) ? arch_name(r->facts->arch) : nullptr;
         return arch != nullptr ? arch : "";
     }},
    {"problem",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         const char *problem = problem_text(dll_problem(r->entry, r->facts));
         return problem != nullptr ? problem : "";
     }},
    {"registration",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return form_text(r->entry);
     }},
    {"scope",
     [](const CsvRow *r, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return scope_text(r->entry->scope);
     }},
};

} // namespace

const char *type_text(int32_t type)
{
    if (type == PLUG_TYPE_DIRECTX) return "Direct-X";
    if (type == PLUG_TYPE_VS3) return "VS3";
    if (type == PLUG_TYPE_DMO) return "DMO";
    return "";
}

const char *form_text(const PlugEntry *entry)
{
    if (entry->type == PLUG_TYPE_VS3) return "vs3";
    if (entry->type == PLUG_TYPE_DMO) return "dmo";
    if (entry->forms == (REG_FORM_FILTER | REG_FORM_MAPPER)) return "filter+mapper";
    if (entry->forms == REG_FORM_MAPPER) return "mapper";
    return "filter";
}

const char *scope_text(int32_t scope)
{
    return known_scope(scope) == PLUG_SCOPE_USER ? "user" : "machine";
}

const char *status_text(int32_t disabled) { return disabled != 0 ? "Disabled" : "OK"; }

const char *exist_text(int32_t dll_exists) { return dll_exists != 0 ? "Yes" : "No"; }

const char *bits_text(int32_t bits) { return bits == 64 ? "64" : "32"; }

int csv_field(const char *text, size_t max_len, char *out, size_t size)
{
    if (size == 0) return 0;
    size_t n = text == nullptr ? 0 : strnlen(text, max_len);
    int quote = 0;
    for (size_t i = 0; i < n; i++)
        if (text[i] == ',' || text[i] == '"' || text[i] == '\r' || text[i] == '\n') quote = 1;
    size_t at = 0;
    int fits = 1;
    // Appends one character while one more and the terminator fit.
    auto put = [&](char c) {
        if (at + 1 >= size) {
            fits = 0;
            return;
        }
        out[at++] = c;
    };
    if (quote) put('"');
    for (size_t i = 0; i < n; i++) {
        if (text[i] == '"') put('"');
        put(text[i]);
    }
    if (quote) put('"');
    out[at] = '\0';
    return fits;
}

void write_csv_bom(FILE *out) { fputs(CSV_UTF8_BOM, out); }

void write_csv_heading(FILE *out)
{
    const char *separator = "";
    for (const CsvColumn &column : CSV_COLUMNS) {
        fputs(separator, out);
        fputs(column.heading, out);
        separator = ",";
    }
    // RFC 4180 records end with CR LF, whatever the platform.
    fputs("\r\n", out);
}

void write_csv_record(FILE *out, const PlugEntry *entry, const DllFacts *facts)
{
    CsvRow row;
    row.entry = entry;
    row.facts = facts;
    row.company[0] = '\0';
    if (read_as_image(facts))
        utf16_to_utf8(facts->company, DLL_TEXT_SIZE, row.company, sizeof row.company, DLL_TEXT_SIZE);
    char field[CSV_FIELD_SIZE];
    const char *separator = "";
    for (const CsvColumn &column : CSV_COLUMNS) {
        size_t max_len = 0;
        const char *text = column.text(&row, &max_len);
        csv_field(text, max_len, field, sizeof field);
        fputs(separator, out);
        fputs(field, out);
        separator = ",";
    }
    fputs("\r\n", out);
}
