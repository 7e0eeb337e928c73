#include "ui/layout.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include "platform/win.h"
#endif

char start_dir[START_DIR_SIZE] = "C:\\";

const ButtonSpec main_buttons[BUTTON_COUNT] = {
    {"Enable", CMD_ENABLE, 3, 35, 100, 25},
    {"Disable", CMD_DISABLE, 105, 35, 100, 25},
    {"Remove", CMD_REMOVE, 210, 35, 100, 25},
    {"Properties", CMD_PROPERTIES, 315, 35, 100, 25},
};

// Every text cell_text gives the narrow columns.
static const char *const type_cells[] = {"Direct-X", "VS3", "DMO", nullptr};
static const char *const status_cells[] = {"Disabled", "- OK -", nullptr};
static const char *const exist_cells[] = {"Yes", "-no-", nullptr};
static const char *const bits_cells[] = {"32", "64", nullptr};
static const char *const scope_cells[] = {"Machine", "User", nullptr};

const ColumnSpec list_columns[LIST_COLUMN_COUNT] = {
    {"Plug-ins Name", 200, 0, nullptr}, {"Type", 60, 0, type_cells},
    {"Status", 60, 0, status_cells},    {"Exist", 40, 0, exist_cells},
    {"DLL", 400, 1, nullptr},           {"Bits", 40, 0, bits_cells},
    {"Scope", 60, 0, scope_cells},      {"Version", 90, 0, nullptr},
    {"Company", 150, 0, nullptr},       {"Problem", 180, 0, nullptr},
};

void copy_start_dir(char *buffer)
{
    memcpy(buffer, start_dir, START_DIR_SIZE);
    buffer[START_DIR_SIZE - 1] = 0;
}

int scale_to_dpi(int value, int dpi)
{
    if (dpi <= 0) dpi = BASE_DPI;
    // Rounded half away from zero, as MulDiv rounds.
    long long scaled = static_cast<long long>(value) * dpi;
    long long half = scaled >= 0 ? BASE_DPI / 2 : -(BASE_DPI / 2);
    return static_cast<int>((scaled + half) / BASE_DPI);
}

int fitted_column_width(const ColumnSpec *column, int dpi,
                        int (*text_width)(const char *text, void *context), void *context)
{
    int width = scale_to_dpi(column->width, dpi);
    if (column->cell_texts == nullptr) return width;
    int widest = text_width(column->header, context);
    for (const char *const *text = column->cell_texts; *text != nullptr; text++) {
        int w = text_width(*text, context);
        if (w > widest) widest = w;
    }
    int needed = widest + scale_to_dpi(COLUMN_TEXT_MARGIN, dpi);
    return needed > width ? needed : width;
}

void main_window_size(int extra_width, int extra_height, int dpi, int *width, int *height)
{
    *width = scale_to_dpi(CLIENT_WIDTH, dpi) + extra_width;
    *height = scale_to_dpi(CLIENT_HEIGHT, dpi) + extra_height;
}

void list_size_for_client(uint32_t size_param, int dpi, int *width, int *height)
{
    *width = static_cast<int>(size_param & 0xFFFFu);
    *height = static_cast<int>(size_param >> 16) - scale_to_dpi(LIST_TOP, dpi);
}

// One channel of a pixel, as a number.
static int channel(uint32_t pixel, int shift)
{
    return static_cast<int>((pixel >> shift) & 0xFFu);
}

// The pixel at (x, y) in 1/256 steps between its four neighbours.
static uint32_t blend_four(const uint32_t *row0, const uint32_t *row1, int x0, int x1, int fx,
                           int fy)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int top = channel(row0[x0], shift) * (256 - fx) + channel(row0[x1], shift) * fx;
        int bottom = channel(row1[x0], shift) * (256 - fx) + channel(row1[x1], shift) * fx;
        int value = (top * (256 - fy) + bottom * fy + 32768) >> 16;
        out |= static_cast<uint32_t>(value) << shift;
    }
    return out;
}

// Where target pixel i of count falls in a source of size pixels: the
// source pixel at or left of its centre and the 1/256 step towards the next.
static void source_step(int i, int count, int size, int *at, int *next, int *fraction)
{
    // Pixel centres are mapped onto pixel centres, in 1/256 steps.
    long long pos = ((2LL * i + 1) * size * 256) / (2LL * count) - 128;
    if (pos < 0) pos = 0;
    *at = static_cast<int>(pos >> 8);
    *fraction = static_cast<int>(pos & 0xFF);
    if (*at >= size - 1) {
        *at = size - 1;
        *fraction = 0;
    }
    *next = *at + 1 < size ? *at + 1 : *at;
}

void resample_picture(const uint32_t *source, int source_width, int source_height,
                      uint32_t *target, int target_width, int target_height)
{
    for (int y = 0; y < target_height; y++) {
        int y0 = 0, y1 = 0, fy = 0;
        source_step(y, target_height, source_height, &y0, &y1, &fy);
        const uint32_t *row0 = source + static_cast<size_t>(y0) * source_width;
        const uint32_t *row1 = source + static_cast<size_t>(y1) * source_width;
        for (int x = 0; x < target_width; x++) {
            int x0 = 0, x1 = 0, fx = 0;
            source_step(x, target_width, source_width, &x0, &x1, &fx);
            target[static_cast<size_t>(y) * target_width + x] = blend_four(row0, row1, x0, x1, fx, fy);
        }
    }
}

static int ansi_lead_byte(unsigned char c)
{
#ifdef _WIN32
    return IsDBCSLeadByte(c) ? 1 : 0;
#else
    (void)c; // other hosts have no ANSI code page: every byte stands alone
    return 0;
#endif
}

void strip_file_name(char *path)
{
    strip_file_name_with(path, ansi_lead_byte);
}

void strip_file_name_with(char *path, int (*is_lead_byte)(unsigned char))
{
    // Split as the C runtime's path splitter does: drive, directory up to the
    // last separator, then the name, and the extension from the last dot.
    size_t dir_start = (path[0] != 0 && path[1] == ':') ? 2 : 0;
    size_t dir_end = dir_start; // one past the last separator
    const char *last_dot = nullptr;
    for (size_t i = dir_start; path[i] != 0; i++) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (is_lead_byte(c)) {
            // The trail byte is never a separator or a dot.
            if (path[i + 1] == 0) break;
            i++;
            continue;
        }
        if (c == '\\' || c == '/') {
            dir_end = i + 1;
            last_dot = nullptr;
        } else if (c == '.') {
            last_dot = path + i;
        }
    }
    if (last_dot == nullptr) return; // no extension: the path is a directory
    path[dir_end] = 0;
    if (dir_end > 0 && path[dir_end - 1] == '\\') path[dir_end - 1] = 0;
}

void prepare_link_dir(char *dir, int (*is_directory)(const char *path))
{
    copy_start_dir(dir);
    // The start directory is a directory even when its last component has a
    // dot in it; only a path that names none is taken for a file's.
    if (!is_directory(dir)) strip_file_name(dir);
}

// 1 when is_file holds for file in dir; 0 also when the path would not fit.
static int file_in_dir(const char *dir, const char *file, int (*is_file)(const char *path))
{
    // Scanned with the lead bytes in mind: a trail byte may equal '\'.
    int ends_with_separator = 0;
    for (size_t i = 0; dir[i] != 0; i++) {
        unsigned char c = static_cast<unsigned char>(dir[i]);
        ends_with_separator = c == '\\' || c == '/';
        if (ansi_lead_byte(c) && dir[i + 1] != 0) i++;
    }
    char path[LINK_DIR_SIZE + 260];
    int n = snprintf(path, sizeof path, "%s%s%s", dir, ends_with_separator ? "" : "\\", file);
    return n > 0 && static_cast<size_t>(n) < sizeof path && is_file(path);
}

void document_dir(char *dir, const char *file, const char *program,
                  int (*is_directory)(const char *path), int (*is_file)(const char *path))
{
    prepare_link_dir(dir, is_directory);
    if (file_in_dir(dir, file, is_file)) return;
    char program_dir[LINK_DIR_SIZE];
    snprintf(program_dir, sizeof program_dir, "%s", program);
    strip_file_name(program_dir); // a program's path always ends in its .exe name
    // "C:" alone would mean the drive's current directory, not its root.
    if (program_dir[0] != 0 && program_dir[1] == ':' && program_dir[2] == 0)
        snprintf(program_dir + 2, sizeof program_dir - 2, "\\");
    if (program_dir[0] != 0 && file_in_dir(program_dir, file, is_file))
        memcpy(dir, program_dir, sizeof program_dir);
}

int stretched_width(int own_width, int list_width, int others, int scroll_bar)
{
    int room = list_width - others - scroll_bar;
    return room > own_width ? room : own_width;
}

void window_title(char *out, size_t size, int narrowed, int shown, uint32_t total)
{
    if (narrowed) snprintf(out, size, "%s - %d of %u", MAIN_TITLE, shown, static_cast<unsigned>(total));
    else snprintf(out, size, "%s", MAIN_TITLE);
}

int append_outcome_line(char *text, size_t size, const PlugEntry *entry, const char *why)
{
    size_t at = strnlen(text, size);
    if (at + 1 >= size) return 0;
    int n = snprintf(text + at, size - at, "%.*s: %s\n", PLUG_NAME_BYTES - 1,
                     entry->name[0] != '\0' ? entry->name : entry->clsid_text, why);
    if (n < 0 || static_cast<size_t>(n) >= size - at) {
        text[at] = '\0';
        return 0;
    }
    return 1;
}
