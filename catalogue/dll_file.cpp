// A DLL read as data, never loaded: the PE headers (PE/COFF format) for the
// machine and bitness, then the version resource (VS_VERSIONINFO) walked by
// hand. The file may be anything at all, so every offset and length read
// from it is checked against what is really there before it is used.
#include "catalogue/dll_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/widetext.h"

namespace {

// The loader takes no more sections than this; the bound keeps walks short.
const uint32_t MAX_SECTIONS = 96;
// A version resource is a few KiB; more is not read.
const uint32_t VERSION_CAP = 64 * 1024;
// Translations tried before the fallbacks; real files list one or two.
const uint32_t MAX_TRANSLATIONS = 64;
const uint32_t RT_VERSION_ID = 16;
const uint32_t HIGH_BIT = 0x80000000u;

uint16_t le16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The only way bytes come from the source: nothing outside [0, size).
int read_range(const ImageSource *source, uint64_t offset, void *buf, uint32_t len)
{
    if (offset > source->size || len > source->size - offset) return 0;
    return source->read_at(source->context, offset, buf, len) == 1;
}

// ---- PE headers ------------------------------------------------------------

struct Section {
    uint32_t rva;      // VirtualAddress
    uint32_t raw_size; // SizeOfRawData
    uint32_t raw_at;   // PointerToRawData
};

struct Image {
    const ImageSource *source;
    int32_t arch;
    int32_t bits;
    uint32_t resource_rva; // 0 when the image has no resource directory
    uint32_t section_count;
    Section sections[MAX_SECTIONS];
};

int32_t arch_of(uint16_t machine)
{
    switch (machine) {
    case 0x14C: return DLL_ARCH_X86;
    case 0x8664: return DLL_ARCH_X64;
    case 0xAA64: return DLL_ARCH_ARM64;
    case 0x1C0:
    case 0x1C2:
    case 0x1C4: return DLL_ARCH_ARM;
    default: return DLL_ARCH_OTHER;
    }
}

// Data directory 2 of the optional header at opt (opt_size bytes long). An
// image whose header is too short to list it simply has no resources.
int read_resource_rva(Image *image, uint64_t opt, uint32_t opt_size, uint32_t dirs_at)
{
    image->resource_rva = 0;
    // NumberOfRvaAndSizes, then three directories of RVA and size.
    if (opt_size < dirs_at + 3 * 8) return 1;
    uint8_t dirs[4 + 3 * 8];
    if (!read_range(image->source, opt + dirs_at - 4, dirs, sizeof dirs)) return 0;
    const uint8_t *resource = dirs + 20;
    if (le32(dirs) > 2 && le32(resource + 4) != 0) image->resource_rva = le32(resource);
    return 1;
}

// The section table at table: every section's raw data must lie in the file,
// or the file is a truncated copy.
int read_sections(Image *image, uint64_t table)
{
    const uint64_t size = image->source->size;
    if (table > size || image->section_count * 40ull > size - table) return 0;
    for (uint32_t i = 0; i < image->section_count; i++) {
        uint8_t header[40];
        if (!read_range(image->source, table + i * 40ull, header, sizeof header)) return 0;
        Section *s = &image->sections[i];
        s->rva = le32(header + 12);
        s->raw_size = le32(header + 16);
        s->raw_at = le32(header + 20);
        if (static_cast<uint64_t>(s->raw_at) + s->raw_size > size) return 0;
    }
    return 1;
}

// DOS header, "PE\0\0", file header, optional header, section table.
int read_headers(Image *image)
{
    uint8_t dos[64];
    if (!read_range(image->source, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    const uint64_t pe = le32(dos + 0x3C);
    // Signature, the 20-byte file header and the optional header's magic.
    uint8_t head[4 + 20 + 2];
    if (!read_range(image->source, pe, head, sizeof head) || memcmp(head, "PE\0\0", 4) != 0)
        return 0;
    const uint32_t opt_size = le16(head + 4 + 16);
    const uint16_t magic = le16(head + 24);
    // The magic, not the machine, says which layout the optional header has.
    uint32_t dirs_at = 0;
    if (magic == 0x10B) {
        image->bits = 32;
        dirs_at = 96;
    } else if (magic == 0x20B) {
        image->bits = 64;
        dirs_at = 112;
    } else {
        return 0;
    }
    image->arch = arch_of(le16(head + 4));
    image->section_count = le16(head + 4 + 2);
    if (opt_size < 2 || image->section_count > MAX_SECTIONS) return 0;
    const uint64_t opt = pe + 4 + 20;
    return read_resource_rva(image, opt, opt_size, dirs_at) && read_sections(image, opt + opt_size);
}

// Where rva lies in the file and how many bytes of its section's raw data
// follow it there.
int map_rva(const Image *image, uint32_t rva, uint64_t *offset, uint32_t *avail)
{
    for (uint32_t i = 0; i < image->section_count; i++) {
        const Section *s = &image->sections[i];
        if (rva >= s->rva && rva - s->rva < s->raw_size) {
            *offset = static_cast<uint64_t>(s->raw_at) + (rva - s->rva);
            *avail = s->raw_size - (rva - s->rva);
            return 1;
        }
    }
    return 0;
}

// ---- resource directory ----------------------------------------------------

// The resource tree: offsets in it are relative to its root and must stay in
// the raw data of the root's section.
struct Tree {
    const ImageSource *source;
    uint64_t at;
    uint32_t size;
};

int read_tree(const Tree *tree, uint32_t rel, void *buf, uint32_t len)
{
    if (rel > tree->size || len > tree->size - rel) return 0;
    return read_range(tree->source, tree->at + rel, buf, len);
}

// The OffsetToData of the id entry want in the directory at dir, or of its
// first entry when want is negative.
int dir_entry(const Tree *tree, uint32_t dir, int64_t want, uint32_t *target)
{
    uint8_t head[16];
    if (!read_tree(tree, dir, head, sizeof head)) return 0;
    const uint32_t named = le16(head + 12);
    const uint32_t total = named + le16(head + 14);
    // Named entries come first; an id is never among them.
    const uint32_t first = want < 0 ? 0 : named;
    const uint32_t end = want < 0 ? (total > 0 ? 1 : 0) : total;
    for (uint32_t i = first; i < end; i++) {
        uint8_t entry[8];
        if (!read_tree(tree, dir + 16 + 8 * i, entry, sizeof entry)) return 0;
        const uint32_t name = le32(entry);
        // Ids are sorted, as the loader's own binary search expects.
        if (want >= 0 && name > want) return 0;
        if (want < 0 || name == want) {
            *target = le32(entry + 4);
            return 1;
        }
    }
    return 0;
}

// Type 16 -> first name -> first language -> the data entry's RVA and size.
int find_version(const Image *image, uint32_t *rva, uint32_t *size)
{
    Tree tree = {image->source, 0, 0};
    if (image->resource_rva == 0 || !map_rva(image, image->resource_rva, &tree.at, &tree.size))
        return 0;
    uint32_t name_dir = 0;
    uint32_t lang_dir = 0;
    uint32_t data = 0;
    if (!dir_entry(&tree, 0, RT_VERSION_ID, &name_dir) || !(name_dir & HIGH_BIT)) return 0;
    if (!dir_entry(&tree, name_dir & ~HIGH_BIT, -1, &lang_dir) || !(lang_dir & HIGH_BIT)) return 0;
    if (!dir_entry(&tree, lang_dir & ~HIGH_BIT, -1, &data) || (data & HIGH_BIT)) return 0;
    uint8_t entry[8];
    if (!read_tree(&tree, data, entry, sizeof entry)) return 0;
    *rva = le32(entry);
    *size = le32(entry + 4);
    return 1;
}

// ---- VS_VERSIONINFO --------------------------------------------------------
// Each block: wLength, wValueLength, wType, a terminated UTF-16 key, padding
// to 32 bits, the value, padding, the child blocks. Offsets are from the
// start of the resource, which is 32-bit aligned in the image.

struct Bytes {
    const uint8_t *p;
    uint32_t size;
};

struct Block {
    uint32_t end;       // one past the block, never past its parent
    uint32_t key;       // the key's first character
    uint32_t key_len;   // characters before its terminator
    uint32_t value;     // the value's first byte
    uint32_t value_end; // one past the value, never past the block
    uint32_t children;  // the first child block
};

uint16_t word_at(const Bytes *b, uint32_t offset)
{
    return le16(b->p + offset);
}

uint32_t align4(uint32_t at)
{
    return (at + 3u) & ~3u;
}

// The block at at within limit. 0 when no block is there, which ends any
// walk: a length below the header's own, or a key without its terminator.
int read_block(const Bytes *b, uint32_t at, uint32_t limit, Block *out)
{
    if (limit > b->size || at > limit || limit - at < 6) return 0;
    const uint32_t length = word_at(b, at);
    if (length < 6) return 0;
    out->end = length > limit - at ? limit : at + length;
    out->key = at + 6;
    uint32_t i = out->key;
    while (i + 2 <= out->end && word_at(b, i) != 0) i += 2;
    if (i + 2 > out->end) return 0;
    out->key_len = (i - out->key) / 2;
    // Text values count characters, binary ones bytes.
    const uint32_t value_len = word_at(b, at + 2);
    const uint32_t value_bytes = word_at(b, at + 4) == 1 ? value_len * 2 : value_len;
    const uint32_t value = align4(i + 2);
    out->value = value < out->end ? value : out->end;
    out->value_end = value_bytes > out->end - out->value ? out->end : out->value + value_bytes;
    const uint32_t children = align4(out->value + value_bytes);
    out->children = children < out->end ? children : out->end;
    return 1;
}

// Where the next sibling starts. Every block holds at least its header, so
// a walk always moves forward and ends.
uint32_t next_at(const Block *block)
{
    return align4(block->end);
}

// Keys compare as VerQueryValue compares them: ASCII case ignored.
int key_is(const Bytes *b, const Block *block, const char *name)
{
    const size_t len = strlen(name);
    if (block->key_len != len) return 0;
    for (size_t i = 0; i < len; i++) {
        WCHAR c = static_cast<WCHAR>(word_at(b, block->key + 2 * static_cast<uint32_t>(i)));
        WCHAR n = static_cast<WCHAR>(static_cast<unsigned char>(name[i]));
        if (ascii_upper(c) != ascii_upper(n)) return 0;
    }
    return 1;
}

// The first child of parent whose key is name.
int find_child(const Bytes *b, const Block *parent, const char *name, Block *out)
{
    for (uint32_t at = parent->children; read_block(b, at, parent->end, out); at = next_at(out))
        if (key_is(b, out, name)) return 1;
    return 0;
}

// The string table keyed want ("040904B0"), or the first one when want is
// null, under any StringFileInfo block.
int find_table(const Bytes *b, const Block *root, const char *want, Block *table)
{
    Block info;
    for (uint32_t at = root->children; read_block(b, at, root->end, &info); at = next_at(&info)) {
        if (!key_is(b, &info, "StringFileInfo")) continue;
        for (uint32_t t = info.children; read_block(b, t, info.end, table); t = next_at(table))
            if (want == nullptr || key_is(b, table, want)) return 1;
    }
    return 0;
}

// The listed translations in their order, then the usual English tables,
// then whatever table comes first.
int choose_table(const Bytes *b, const Block *root, Block *table)
{
    Block var_info;
    Block translation;
    if (find_child(b, root, "VarFileInfo", &var_info) &&
        find_child(b, &var_info, "Translation", &translation)) {
        const uint32_t pairs = (translation.value_end - translation.value) / 4;
        for (uint32_t i = 0; i < pairs && i < MAX_TRANSLATIONS; i++) {
            const uint32_t pair = translation.value + 4 * i;
            char want[16];
            snprintf(want, sizeof want, "%04X%04X", static_cast<unsigned>(word_at(b, pair)),
                     static_cast<unsigned>(word_at(b, pair + 2)));
            if (find_table(b, root, want, table)) return 1;
        }
    }
    static const char *const fallbacks[] = {"040904B0", "040904E4", "04090000"};
    for (const char *want : fallbacks)
        if (find_table(b, root, want, table)) return 1;
    return find_table(b, root, nullptr, table);
}

// A String value as stored, trailing terminators dropped, cut to fit.
void copy_text(const Bytes *b, const Block *text, WCHAR *out)
{
    const uint32_t at = text->value;
    uint32_t len = (text->value_end - at) / 2;
    while (len > 0 && word_at(b, at + 2 * (len - 1)) == 0) len--;
    if (len > DLL_TEXT_SIZE - 1) len = DLL_TEXT_SIZE - 1;
    for (uint32_t i = 0; i < len; i++) out[i] = static_cast<WCHAR>(word_at(b, at + 2 * i));
    out[len] = 0;
}

void take_texts(const Bytes *b, const Block *table, DllFacts *facts)
{
    Block text;
    if (find_child(b, table, "CompanyName", &text)) copy_text(b, &text, facts->company);
    if (find_child(b, table, "FileDescription", &text)) copy_text(b, &text, facts->description);
}

void parse_version_info(const Bytes *b, DllFacts *facts)
{
    Block root;
    if (!read_block(b, 0, b->size, &root) || !key_is(b, &root, "VS_VERSION_INFO")) return;
    // VS_FIXEDFILEINFO: signature, structure version, then the file version.
    if (root.value_end - root.value >= 52 && le32(b->p + root.value) == 0xFEEF04BDu) {
        const uint32_t ms = le32(b->p + root.value + 8);
        const uint32_t ls = le32(b->p + root.value + 12);
        snprintf(facts->version, sizeof facts->version, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFFu,
                 ls >> 16, ls & 0xFFFFu);
    }
    Block table;
    if (choose_table(b, &root, &table)) take_texts(b, &table, facts);
}

// Reads the version resource, if any, into facts; its absence is no error.
void read_version(const Image *image, DllFacts *facts)
{
    uint32_t rva = 0;
    uint32_t size = 0;
    uint64_t offset = 0;
    uint32_t avail = 0;
    if (!find_version(image, &rva, &size) || !map_rva(image, rva, &offset, &avail)) return;
    if (size > VERSION_CAP) size = VERSION_CAP;
    if (size > avail) size = avail;
    if (size == 0) return;
    uint8_t *data = static_cast<uint8_t *>(malloc(size));
    if (data == nullptr) return;
    if (read_range(image->source, offset, data, size)) {
        const Bytes bytes = {data, size};
        parse_version_info(&bytes, facts);
    }
    free(data);
}

// ---- sources ---------------------------------------------------------------

int memory_read_at(void *context, uint64_t offset, void *buf, uint32_t len)
{
    // read_range has checked the range against the size.
    memcpy(buf, static_cast<const uint8_t *>(context) + offset, len);
    return 1;
}

int file_read_at(void *context, uint64_t offset, void *buf, uint32_t len)
{
    HANDLE file = context;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<int64_t>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return 0;
    uint8_t *out = static_cast<uint8_t *>(buf);
    // ReadFile may return fewer bytes than asked; nothing more means the end.
    while (len > 0) {
        DWORD got = 0;
        if (!ReadFile(file, out, len, &got, nullptr) || got == 0 || got > len) return 0;
        out += got;
        len -= got;
    }
    return 1;
}

} // namespace

int parse_dll_image(const ImageSource *source, DllFacts *facts)
{
    if (facts == nullptr) return DLL_READ_NOT_PE;
    memset(facts, 0, sizeof *facts);
    facts->read = DLL_READ_NOT_PE;
    if (source == nullptr || source->read_at == nullptr) return facts->read;
    Image image = {};
    image.source = source;
    if (read_headers(&image)) {
        facts->read = DLL_READ_IMAGE;
        facts->arch = image.arch;
        facts->image_bits = image.bits;
        read_version(&image, facts);
    }
    return facts->read;
}

int parse_dll_bytes(const void *bytes, size_t size, DllFacts *facts)
{
    // The context is only ever read through.
    ImageSource source = {memory_read_at, const_cast<void *>(bytes), bytes != nullptr ? size : 0};
    return parse_dll_image(&source, facts);
}

int read_dll_facts(const WCHAR *path, DllFacts *facts)
{
    if (facts == nullptr) return DLL_READ_NO_FILE;
    memset(facts, 0, sizeof *facts);
    facts->read = DLL_READ_NO_FILE;
    if (path == nullptr) return facts->read;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return facts->read;
    // A file that opens but will not tell its size reads as no image.
    LARGE_INTEGER size;
    size.QuadPart = 0;
    int64_t bytes = GetFileSizeEx(file, &size) ? size.QuadPart : 0;
    if (bytes < 0) bytes = 0;
    ImageSource source = {file_read_at, file, static_cast<uint64_t>(bytes)};
    const int read = parse_dll_image(&source, facts);
    CloseHandle(file);
    return read;
}

const char *arch_name(int32_t arch)
{
    switch (arch) {
    case DLL_ARCH_X86: return "x86";
    case DLL_ARCH_X64: return "x64";
    case DLL_ARCH_ARM64: return "arm64";
    case DLL_ARCH_ARM: return "arm";
    default: return nullptr;
    }
}
