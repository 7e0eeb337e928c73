// What a plug-in's DLL file says of itself, read as data: the PE headers for
// its architecture and bitness, the version resource for its version, maker
// and description. Nothing of the plug-in is loaded or run. The reads touch
// only the file, so they may run on a worker thread.
#ifndef CATALOGUE_DLL_FILE_H
#define CATALOGUE_DLL_FILE_H

#include <cstddef>
#include <cstdint>

#include "catalogue/catalogue.h"
#include "platform/win.h"

// The machine a PE image is built for.
#define DLL_ARCH_NONE 0 // not read, or not a PE image
#define DLL_ARCH_X86 1
#define DLL_ARCH_X64 2
#define DLL_ARCH_ARM64 3
#define DLL_ARCH_ARM 4
#define DLL_ARCH_OTHER 5 // a PE image for some other machine

// How the file read.
#define DLL_READ_PENDING 0 // not read yet
#define DLL_READ_IMAGE 1   // a PE image: arch, image_bits and the texts are set
#define DLL_READ_NO_FILE 2 // it would not open
#define DLL_READ_NOT_PE 3  // not a PE image, or a truncated one

// "65535.65535.65535.65535" and its terminator.
#define DLL_VERSION_SIZE 24
// Company name and file description, in characters with the terminator;
// longer texts are cut there.
#define DLL_TEXT_SIZE 256

struct DllFacts {
    int32_t read;       // DLL_READ_*
    int32_t arch;       // DLL_ARCH_*
    int32_t image_bits; // 32 for a PE32 image, 64 for PE32+, else 0
    char version[DLL_VERSION_SIZE]; // "a.b.c.d" from the fixed file info, or ""
    // Version resource texts are UTF-16 and kept so, in any script.
    WCHAR company[DLL_TEXT_SIZE];
    WCHAR description[DLL_TEXT_SIZE];
};
static_assert(sizeof(DllFacts) == 12 + DLL_VERSION_SIZE + 4 * DLL_TEXT_SIZE,
              "DllFacts is a fixed record");

// Random access to an image's bytes: 1 when len bytes at offset were read
// into buf, 0 when they were not (past the end, or a read failed).
struct ImageSource {
    int (*read_at)(void *context, uint64_t offset, void *buf, uint32_t len);
    void *context;
    uint64_t size; // bytes in the image
};

// Reads the image behind source into facts (cleared first): DLL_READ_IMAGE
// or DLL_READ_NOT_PE, also stored in facts->read. Any bytes at all give a
// result; nothing is read outside [0, size).
int parse_dll_image(const ImageSource *source, DllFacts *facts);
// The same over bytes in memory.
int parse_dll_bytes(const void *bytes, size_t size, DllFacts *facts);
// The same for the file at path, opened for reading only; DLL_READ_NO_FILE
// when it does not open.
int read_dll_facts(const WCHAR *path, DllFacts *facts);

// "x86", "x64", "arm64", "arm", or null for none or another machine.
const char *arch_name(int32_t arch);

#endif
