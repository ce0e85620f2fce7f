// The Ogg Vorbis header and comment reader on any file.
#include <cstdint>
#include <cstdio>

#include "media/vorbis_comments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    music::FileTags tags;
    std::string why;
    if (std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb")) {
        music::read_vorbis_comments(file, tags, why);
        std::fclose(file);
    }
    return 0;
}
