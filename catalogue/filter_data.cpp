#include "catalogue/filter_data.h"

#include <cstring>

#include "catalogue/catalogue.h"

namespace {

// MEDIATYPE_Audio, {73647561-0000-0010-8000-00AA00389B71}, as stored.
const unsigned char MEDIATYPE_AUDIO[16] = {0x61, 0x75, 0x64, 0x73, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct Reader {
    const unsigned char *data;
    size_t size;
    size_t at;
};

// The next little-endian number; 0 when it would run past the end.
int take_u32(Reader *r, uint32_t *out)
{
    if (r->size - r->at < 4) return 0;
    const unsigned char *p = r->data + r->at;
    *out = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    r->at += 4;
    return 1;
}

// A tag's last three bytes; the first counts the record (and may be anything).
int take_tag(Reader *r, const char *suffix)
{
    if (r->size - r->at < 4) return 0;
    int ok = memcmp(r->data + r->at + 1, suffix, 3) == 0;
    r->at += 4;
    return ok;
}

// An offset that leads to `length` whole bytes inside the blob.
int reaches(const Reader *r, uint32_t offset, size_t length)
{
    return offset <= r->size && r->size - offset >= length;
}

// One media type record; *audio becomes 1 when its major type is audio.
int take_type(Reader *r, int *audio)
{
    uint32_t unused, major, minor;
    if (!take_tag(r, "ty3") || !take_u32(r, &unused) || !take_u32(r, &major) ||
        !take_u32(r, &minor))
        return 0;
    if (!reaches(r, major, 16) || !reaches(r, minor, 16)) return 0;
    // The wildcard GUID_NULL takes anything, and that is no audio effect.
    if (memcmp(r->data + major, MEDIATYPE_AUDIO, 16) == 0) *audio = 1;
    return 1;
}

int take_pin(Reader *r, FilterDataFacts *facts)
{
    uint32_t flags, instances, types, mediums, has_category, offset;
    if (!take_tag(r, "pi3") || !take_u32(r, &flags) || !take_u32(r, &instances) ||
        !take_u32(r, &types) || !take_u32(r, &mediums) || !take_u32(r, &has_category))
        return 0;
    if (has_category != 0 && (!take_u32(r, &offset) || !reaches(r, offset, 16))) return 0;
    // Counts are believed only as far as the bytes behind them go.
    if (types > (r->size - r->at) / FILTER_DATA_TYPE) return 0;
    int audio = 0;
    for (uint32_t i = 0; i < types; i++)
        if (!take_type(r, &audio)) return 0;
    if (mediums > (r->size - r->at) / 4) return 0;
    for (uint32_t i = 0; i < mediums; i++)
        if (!take_u32(r, &offset) || !reaches(r, offset, FILTER_DATA_MEDIUM)) return 0;
    if (audio && (flags & PIN_FLAG_OUTPUT) != 0) facts->audio_out = 1;
    if (audio && (flags & PIN_FLAG_OUTPUT) == 0) facts->audio_in = 1;
    return 1;
}

} // namespace

int parse_filter_data(const unsigned char *data, size_t size, FilterDataFacts *facts)
{
    memset(facts, 0, sizeof *facts);
    if (data == nullptr) return 0;
    Reader r = {data, size, 0};
    uint32_t version, unused;
    if (!take_u32(&r, &version) || !take_u32(&r, &facts->merit) || !take_u32(&r, &facts->pins) ||
        !take_u32(&r, &unused) || version != FILTER_DATA_VERSION)
        return 0;
    if (facts->pins > (size - r.at) / FILTER_DATA_PIN) return 0;
    for (uint32_t i = 0; i < facts->pins; i++)
        if (!take_pin(&r, facts)) return 0;
    return 1;
}

int filter_data_passes(const unsigned char *data, size_t size)
{
    FilterDataFacts facts;
    return parse_filter_data(data, size, &facts) && facts.merit <= MAX_FILTER_MERIT &&
           facts.audio_in && facts.audio_out;
}
