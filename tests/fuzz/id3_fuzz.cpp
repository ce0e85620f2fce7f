// The ID3v2 reader on any bytes: a file gives what memory gives.
#include <cstdint>
#include <cstdio>

#include "media/id3_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    music::FileTags memory;
    music::FileTags file;
    const bool in_memory = music::read_id3_tags(data, size, memory);
    std::FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (stream && (music::read_id3_tags(stream, file) != in_memory ||
                   file.artist != memory.artist || file.title != memory.title))
        __builtin_trap();
    if (stream)
        std::fclose(stream);
    return 0;
}
