#include "ui/ui.h"

#include "extrainfo/extrainfo.h"

void show_properties(HWND owner)
{
    char report[REPORT_SIZE];
    int found = properties_text_for_entry(first_selected_index(), report, sizeof report);
    if (found < 0) return; // no selected row, or no entry behind it
    if (found == 0) {
        message_box_utf8(owner, NO_EXTRA_INFO_TEXT, PROPERTIES_CAPTION, PROPERTIES_WARNING_STYLE);
        return;
    }
    message_box_utf8(owner, report, PROPERTIES_CAPTION, PROPERTIES_REPORT_STYLE);
}
