// The filter mapper's binary "FilterData": what a registration through
// IFilterMapper2 says of its merit and pins. Read as data from the
// registry, so every count and offset is checked against the blob's length.
#ifndef CATALOGUE_FILTER_DATA_H
#define CATALOGUE_FILTER_DATA_H

#include <cstddef>
#include <cstdint>

// The layout the mapper writes: a 16-byte header, then each pin's record
// (tag "?pi3", flags, instances, media types, mediums, category flag and,
// when set, the category's offset), then its media types (tag "?ty3",
// unused, offsets of the major and minor type) and its mediums (offsets),
// and after all the records the GUIDs and mediums the offsets lead to,
// counted from the blob's start and not necessarily aligned.
#define FILTER_DATA_VERSION 2u
#define FILTER_DATA_HEADER 16u
#define FILTER_DATA_PIN 24u
#define FILTER_DATA_TYPE 16u
#define FILTER_DATA_MEDIUM 24u // what a medium offset leads to: a GUID and two numbers
#define PIN_FLAG_OUTPUT 0x8u

struct FilterDataFacts {
    uint32_t merit;
    uint32_t pins;
    int32_t audio_in;  // some input pin takes MEDIATYPE_Audio itself
    int32_t audio_out; // some output pin does
};

// 1 when the blob is a whole version-2 FilterData, facts filled; 0 when
// any part of it lies outside the blob or is not what the mapper writes.
int parse_filter_data(const unsigned char *data, size_t size, FilterDataFacts *facts);

// What the scans ask of a filter: a merit at most MAX_FILTER_MERIT and an
// audio input pin and an audio output pin.
int filter_data_passes(const unsigned char *data, size_t size);

#endif
