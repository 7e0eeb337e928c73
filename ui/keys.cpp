#include "ui/ui.h"

#include <cstring>

namespace {

// Where a key works: over the list (and the buttons), in the find box, or both.
enum KeyPlace { KEY_IN_LIST = 1, KEY_IN_EDIT = 2, KEY_ANYWHERE = 3 };

struct KeySpec {
    BYTE flags;
    WORD key;
    WORD command;
    int places;
};

// Delete, Enter, Ctrl+A and Ctrl+C edit text in the find box, so they are
// the list's keys only.
const KeySpec main_keys[] = {
    {FVIRTKEY, VK_F5, KEY_REFRESH, KEY_ANYWHERE},
    {FVIRTKEY, VK_DELETE, KEY_REMOVE, KEY_IN_LIST},
    {FVIRTKEY, VK_RETURN, KEY_PROPERTIES, KEY_IN_LIST},
    {FVIRTKEY | FCONTROL, 'A', KEY_SELECT_ALL, KEY_IN_LIST},
    {FVIRTKEY | FCONTROL, 'C', KEY_COPY, KEY_IN_LIST},
    {FVIRTKEY | FCONTROL, 'F', KEY_FIND, KEY_ANYWHERE},
    {FVIRTKEY | FCONTROL, 'S', KEY_EXPORT, KEY_ANYWHERE},
    {FVIRTKEY | FCONTROL, 'E', KEY_EXPORT_REG, KEY_ANYWHERE},
    {FVIRTKEY, VK_ESCAPE, KEY_CLEAR_FIND, KEY_IN_EDIT},
};
const int key_count = sizeof main_keys / sizeof main_keys[0];

HACCEL list_keys = nullptr;
HACCEL edit_keys = nullptr;

HACCEL make_table(int place)
{
    ACCEL table[key_count];
    int n = 0;
    for (const KeySpec &binding : main_keys) {
        if ((binding.places & place) == 0) continue;
        table[n].fVirt = binding.flags;
        table[n].key = binding.key;
        table[n].cmd = binding.command;
        n++;
    }
    return CreateAcceleratorTableW(table, n);
}

int focus_in_edit()
{
    HWND focus = GetFocus();
    WCHAR cls[16] = {0};
    return focus != nullptr && GetClassNameW(focus, cls, 16) > 0 && lstrcmpiW(cls, L"Edit") == 0;
}

} // namespace

void create_key_tables()
{
    destroy_key_tables();
    list_keys = make_table(KEY_IN_LIST);
    edit_keys = make_table(KEY_IN_EDIT);
}

void destroy_key_tables()
{
    if (list_keys != nullptr) DestroyAcceleratorTable(list_keys);
    if (edit_keys != nullptr) DestroyAcceleratorTable(edit_keys);
    list_keys = nullptr;
    edit_keys = nullptr;
}

int translate_keys(MSG *msg)
{
    if (main_window == nullptr || msg->hwnd == nullptr) return 0;
    if (msg->hwnd != main_window && !IsChild(main_window, msg->hwnd)) return 0;
    HACCEL table = focus_in_edit() ? edit_keys : list_keys;
    if (table == nullptr) return 0;
    return TranslateAcceleratorW(main_window, table, msg) != 0 ? 1 : 0;
}
