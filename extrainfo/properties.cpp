#include <cstdio>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/views.h"
#include "extrainfo/extrainfo.h"

// Appends piece to the text in out, never past size - 1 characters.
static void append(char *out, size_t size, const char *piece)
{
    size_t at = strlen(out);
    if (at + 1 >= size) return;
    size_t n = strlen(piece);
    if (n > size - 1 - at) n = size - 1 - at;
    memcpy(out + at, piece, n);
    out[at + n] = 0;
}

static const char *flag_text(int32_t flag)
{
    if (flag < 0) return "-";
    return flag == 0 ? "No" : "Yes";
}

static const char *rate_text(int32_t rate, char *line)
{
    if (rate < 0) return "-\n";
    // At most 15 characters: the line buffer cannot be cut short.
    (void)snprintf(line, REPORT_LINE_SIZE, "%i Hz\n", static_cast<int>(rate));
    return line;
}

static const char *count_text(int32_t count, char *line)
{
    if (count < 0) return "-";
    (void)snprintf(line, REPORT_LINE_SIZE, "%i", static_cast<int>(count));
    return line;
}

const char *compose_properties_report(const ExtraInfo *info, char *out, size_t size)
{
    if (out == nullptr || size == 0) return out;
    out[0] = 0;
    if (info == nullptr) return out;
    char line[REPORT_LINE_SIZE];

    append(out, size, "Name : ");
    append(out, size, info->app_name);
    append(out, size, "\nCompany : ");
    append(out, size, info->Company);
    append(out, size, "\nCopyright : ");
    append(out, size, info->Copyright);
    append(out, size, "\nVersion : ");
    append(out, size, info->ProductVersion);
    append(out, size, "\nCategory : ");
    append(out, size, info->Category < 0 ? "-" : category_name(info->Category));
    append(out, size, "\n\n");

    append(out, size, "Accepted Min SampleRate : ");
    append(out, size, rate_text(info->Fmin, line));
    append(out, size, "Accepted Max SampleRate : ");
    append(out, size, rate_text(info->Fmax, line));
    append(out, size, "Accepted Min I/O : ");
    append(out, size, count_text(info->PinMin, line));
    append(out, size, "\nAccepted Max I/O : ");
    append(out, size, count_text(info->PinMax, line));
    append(out, size, "\n\n");

    append(out, size, "DSD powered : ");
    append(out, size, flag_text(info->DSD_support));
    append(out, size, "\n\n");

    append(out, size, "GUI supplied : ");
    append(out, size, flag_text(info->HasGUI));
    append(out, size, "\nmulti GUI supplied : ");
    append(out, size, flag_text(info->MultiGUI));
    append(out, size, "\n\n");

    append(out, size, "VS3 Pyramix as Prefered Host Target : ");
    append(out, size, flag_text(info->Compat_VS3));
    append(out, size, "\nLumo-Box as Prefered Host Target : ");
    append(out, size, flag_text(info->Compat_Lumo));
    append(out, size, "\n\n");

    append(out, size, "-SPECIAL FEATURES-\n");
    append(out, size, "VS3 Automation  : ");
    append(out, size, flag_text(info->VS3_auto));
    append(out, size, "\nMIDI support : ");
    append(out, size, flag_text(info->MIDI));
    append(out, size, "\nLumo Alert : ");
    append(out, size, flag_text(info->ALERT));
    append(out, size, "\nNETwork Com : ");
    append(out, size, flag_text(info->NETcom));
    append(out, size, "\nCLONE support : ");
    append(out, size, flag_text(info->Cloning));
    append(out, size, "\n");
    return out;
}

int properties_text_for_entry(int index, char *report, size_t size)
{
    if (report != nullptr && size > 0) report[0] = 0;
    if (index < 0) return -1;
    const PlugEntry *entry = catalogue_get(index);
    if (entry == nullptr) return -1;

    // The entry's text is handed over as it stands: read_extra_info scans it
    // only as far as its own key path can hold, so no copy can overflow.
    ExtraInfo info;
    if (read_extra_info(entry->clsid_text, &info, view_flag(entry->bits), entry->scope) < 0)
        return 0;
    compose_properties_report(&info, report, size);
    return 1;
}
