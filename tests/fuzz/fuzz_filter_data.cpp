// Fuzzes the FilterData reader over arbitrary bytes: reads stay inside the
// input (the sanitizers watch), and what it reports agrees with itself.
#include <cstdlib>
#include <vector>

#include "catalogue/filter_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly the input's size, so a read one past it is caught.
    std::vector<uint8_t> bytes(data, data + size);
    FilterDataFacts facts;
    const int parsed = parse_filter_data(bytes.data(), bytes.size(), &facts);
    if (parsed != 0 && parsed != 1) abort();
    // A whole blob has room for every pin record it counts.
    if (parsed && facts.pins > (size - FILTER_DATA_HEADER) / FILTER_DATA_PIN) abort();
    const int passes = filter_data_passes(bytes.data(), bytes.size());
    if (passes && !(parsed && facts.audio_in && facts.audio_out)) abort();
    return 0;
}
