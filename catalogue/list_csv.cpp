#include "catalogue/list_csv.h"

#include <cstring>

namespace {

// The fields of a record, in order: the heading and where the text comes from.
struct CsvColumn {
    const char *heading;
    const char *(*text)(const PlugEntry *entry, size_t *max_len);
};

const CsvColumn CSV_COLUMNS[] = {
    {"name",
     [](const PlugEntry *e, size_t *n) {
         *n = sizeof e->name;
         return static_cast<const char *>(e->name);
     }},
    {"type",
     [](const PlugEntry *e, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return type_text(e->type);
     }},
    {"status",
     [](const PlugEntry *e, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return status_text(e->disabled);
     }},
    {"exist",
     [](const PlugEntry *e, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return exist_text(e->dll_exists);
     }},
    {"clsid",
     [](const PlugEntry *e, size_t *n) {
         *n = sizeof e->clsid_text;
         return static_cast<const char *>(e->clsid_text);
     }},
    {"dll",
     [](const PlugEntry *e, size_t *n) {
         *n = sizeof e->dll_path;
         return static_cast<const char *>(e->dll_path);
     }},
    // Appended last, so that readers of the older six columns still read them.
    {"bits",
     [](const PlugEntry *e, size_t *n) {
         *n = PLUG_NAME_SIZE;
         return bits_text(e->bits);
     }},
};

} // namespace

const char *type_text(int32_t type)
{
    if (type == PLUG_TYPE_DIRECTX) return "Direct-X";
    if (type == PLUG_TYPE_VS3) return "VS3";
    return "";
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

void write_csv_record(FILE *out, const PlugEntry *entry)
{
    char field[CSV_FIELD_SIZE];
    const char *separator = "";
    for (const CsvColumn &column : CSV_COLUMNS) {
        size_t max_len = 0;
        const char *text = column.text(entry, &max_len);
        csv_field(text, max_len, field, sizeof field);
        fputs(separator, out);
        fputs(field, out);
        separator = ",";
    }
    fputs("\r\n", out);
}
