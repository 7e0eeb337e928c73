#include "extrainfo/extrainfo.h"

#include <cstring>

#include "catalogue/scopes.h"
#include "platform/keyguard.h"
#include "platform/regtext.h"
#include "platform/win.h"

const CategoryRow category_table[CATEGORY_COUNT] = {
    {0, "generic", ""},
    {1, "parametric EQ", ""},
    {2, "Graphic EQ", ""},
    {3, "Compressor", ""},
    {4, "Expander / Gate", ""},
    {5, "Limiter", ""},
    {6, "Measure", ""},
    {7, "Reverb", ""},
    {8, "Delay", "Multi TAP, Delay, Echo"},
    {9, "Modulation", "chorus, flanger, phaser"},
    {10, "Harmonic", "distorsion, exciter"},
    {11, "Position", "pan, autopan, stereo expander, doppler"},
    {12, "Psycho acoustic", "surround effects, phase decorrelator etc..."},
    {13, "Scientific Filter", "Filters used for technical purpose"},
    {14, "Coding / Encoding filters", "Dolby encoder, Surround encoding"},
    {15, "Pitching", ""},
    {16, "Simulator / Emulator", ""},
    {17, "Time Stretching", ""},
    {18, "format Conversion", ""},
    {19, "Rooting", ""},
    {20, "Tape", ""},
    {21, "Sampler", ""},
    {22, "Syntheciser", ""},
    {23, "R-Box", ""},
    {24, "Sequencer", ""},
    {25, "Remote Controler", ""},
    {26, "Misc", ""},
};

static const char EX_INFO_PREFIX[] = "CLSID\\";
static const char EX_INFO_SUFFIX[] = "\\EX_info";
// The longest class identifier text whose key path still fits the buffer.
static const size_t MAX_EXTRA_CLSID_LEN =
    EXTRA_KEY_PATH_SIZE - 1 - (sizeof EX_INFO_PREFIX - 1) - (sizeof EX_INFO_SUFFIX - 1);

void reset_extra_info(ExtraInfo *info)
{
    info->app_name[0] = 0;
    info->Company[0] = 0;
    info->Copyright[0] = 0;
    info->ProductVersion[0] = 0;
    info->Fmin = -1;
    info->Fmax = -1;
    info->PinMin = -1;
    info->PinMax = -1;
    info->Compat_VS3 = -1;
    info->Compat_Lumo = -1;
    info->Category = -1;
    info->DSD_support = -1;
    info->HasGUI = -1;
    info->VS3_auto = -1;
    info->MultiGUI = -1;
    info->MIDI = -1;
    info->ALERT = -1;
    info->NETcom = -1;
    info->Cloning = -1;
}

int read_string_value(const char *path, const char *value_name, char *dest, size_t max_chars,
                      REGSAM view, HKEY root)
{
    // One spare character so that data stored without a terminator still ends.
    WCHAR data[EXTRA_VALUE_DATA_SIZE + 1];
    data[0] = 0;
    DWORD type = REG_SZ;
    DWORD len = EXTRA_VALUE_DATA_SIZE * sizeof(WCHAR);
    LONG rc;
    {
        KeyGuard key;
        if (reg_open(root, path, 0, KEY_READ | view, key.out()) != ERROR_SUCCESS)
            return 0;
        rc = reg_query(key.get(), value_name, &type, data, &len);
    }
    if (type != REG_SZ) return 0;
    if (rc != ERROR_SUCCESS) return 0;
    size_t chars = len / sizeof(WCHAR);
    data[chars < EXTRA_VALUE_DATA_SIZE ? chars : EXTRA_VALUE_DATA_SIZE] = 0;
    // The text to its first terminator, cut to whole characters.
    utf16_to_utf8(data, static_cast<size_t>(-1), dest, UTF8_BYTES(max_chars + 1), max_chars);
    return 1;
}

int read_dword_value(const char *path, const char *value_name, int32_t *out, REGSAM view,
                     HKEY root)
{
    DWORD type = REG_DWORD;
    DWORD len = 4;
    LONG rc;
    {
        KeyGuard key;
        if (reg_open(root, path, 0, KEY_READ | view, key.out()) != ERROR_SUCCESS)
            return 0;
        rc = reg_query(key.get(), value_name, &type, out, &len);
    }
    // A shorter REG_DWORD would leave part of *out stale.
    return rc == ERROR_SUCCESS && type == REG_DWORD && len == 4;
}

// One scope's class key: its root and, below it, the EX_info path.
struct InfoKey {
    HKEY root;
    char path[EXTRA_KEY_PATH_SIZE + 32];
};

static void read_number(const InfoKey &key, const char *value_name, int32_t *field, REGSAM view)
{
    int32_t value = -1;
    if (read_dword_value(key.path, value_name, &value, view, key.root)) *field = value;
}

static void read_text_value(const InfoKey &key, const char *value_name, char *dest,
                            size_t max_chars, REGSAM view)
{
    read_string_value(key.path, value_name, dest, max_chars, view, key.root);
}

int read_extra_info(const char *clsid_text, ExtraInfo *info, REGSAM view, int32_t scope)
{
    if (info == nullptr) return -1;
    reset_extra_info(info);
    if (clsid_text == nullptr) return -1;

    // Bounded scan: the text may come from a wider field and need not fit.
    const void *end = memchr(clsid_text, 0, MAX_EXTRA_CLSID_LEN + 1);
    if (end == nullptr) return -1;
    size_t clsid_len = static_cast<size_t>(static_cast<const char *>(end) - clsid_text);

    char path[EXTRA_KEY_PATH_SIZE];
    size_t at = 0;
    memcpy(path + at, EX_INFO_PREFIX, sizeof EX_INFO_PREFIX - 1);
    at += sizeof EX_INFO_PREFIX - 1;
    memcpy(path + at, clsid_text, clsid_len);
    at += clsid_len;
    memcpy(path + at, EX_INFO_SUFFIX, sizeof EX_INFO_SUFFIX);
    InfoKey key;
    key.root = scope_root(scope);
    if (!classes_path(path, key.path, sizeof key.path)) return -1;

    // The default value marks the key as a self-description; its text is
    // not used.
    char marker[UTF8_BYTES(EXTRA_TEXT_SIZE)];
    if (!read_string_value(key.path, nullptr, marker, EXTRA_TEXT_SIZE - 1, view, key.root))
        return -1;

    read_number(key, "Fmin", &info->Fmin, view);
    read_number(key, "Fmax", &info->Fmax, view);
    read_number(key, "PinMin", &info->PinMin, view);
    read_number(key, "PinMax", &info->PinMax, view);
    read_text_value(key, "app_name", info->app_name, EXTRA_TEXT_SIZE - 1, view);
    read_text_value(key, "Company", info->Company, EXTRA_TEXT_SIZE - 1, view);
    read_text_value(key, "Copyright", info->Copyright, EXTRA_TEXT_SIZE - 1, view);
    read_text_value(key, "ProductVersion", info->ProductVersion, EXTRA_VERSION_SIZE - 1, view);
    read_number(key, "Compat_VS3", &info->Compat_VS3, view);
    read_number(key, "Compat_Lumo", &info->Compat_Lumo, view);
    read_number(key, "Category", &info->Category, view);
    read_number(key, "DSD_support", &info->DSD_support, view);
    read_number(key, "HasGUI", &info->HasGUI, view);
    read_number(key, "VS3_auto", &info->VS3_auto, view);
    read_number(key, "MultiGUI", &info->MultiGUI, view);
    read_number(key, "MIDI", &info->MIDI, view);
    read_number(key, "ALERT", &info->ALERT, view);
    read_number(key, "NETcom", &info->NETcom, view);
    read_number(key, "Cloning", &info->Cloning, view);
    return 0;
}

const char *category_name(int32_t id)
{
    if (id < 0 || id >= CATEGORY_COUNT) return UNKNOWN_CATEGORY_TEXT;
    return category_table[id].name;
}
