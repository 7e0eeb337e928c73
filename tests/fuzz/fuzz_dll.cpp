// Fuzzes the DLL reader over arbitrary bytes: any input gives a result,
// reads stay inside the input (the sanitizers watch), and what it reports
// is well formed.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "catalogue/dll_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly the input's size, so a read one past it is caught.
    std::vector<uint8_t> bytes(data, data + size);
    DllFacts facts;
    const int read = parse_dll_bytes(bytes.data(), bytes.size(), &facts);
    if (read != facts.read || (read != DLL_READ_IMAGE && read != DLL_READ_NOT_PE)) abort();
    if (read == DLL_READ_NOT_PE && (facts.arch != DLL_ARCH_NONE || facts.image_bits != 0)) abort();
    if (read == DLL_READ_IMAGE && facts.image_bits != 32 && facts.image_bits != 64) abort();
    if (memchr(facts.version, 0, sizeof facts.version) == nullptr) abort();
    if (facts.company[DLL_TEXT_SIZE - 1] != 0 || facts.description[DLL_TEXT_SIZE - 1] != 0) abort();
    return 0;
}
