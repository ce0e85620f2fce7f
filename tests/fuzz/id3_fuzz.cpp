// The ID3v2 reader on any bytes, from memory and from a file: both give the
// same names.
#include <cstdint>
#include <cstdio>

#include "id3_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    splocal::FileTags from_memory;
    splocal::FileTags from_file;
    const bool in_memory = splocal::read_id3_tags(data, size, from_memory);
    std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!file)
        return 0;
    const bool in_file = splocal::read_id3_tags(file, from_file);
    std::fclose(file);
    if (in_memory != in_file || from_memory.artist != from_file.artist ||
        from_memory.title != from_file.title)
        __builtin_trap();
    return 0;
}
