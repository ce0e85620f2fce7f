// The .m3u / .m3u8 reader on any file: the first byte picks which.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "folders/music_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    static const std::string path = "/tmp/lorvane-fuzz-" + std::to_string(getpid()) + ".m3u";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data + 1, 1, size - 1, file) != size - 1 || std::fclose(file) != 0)
        __builtin_trap(); // the harness itself failed
    music::CatalogueDesc desc;
    music::read_playlist_file(desc, path, (data[0] & 1) != 0);
    std::remove(path.c_str());
    return 0;
}
