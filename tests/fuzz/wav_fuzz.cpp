// The WAV reader (with its LIST/INFO and ID3 tags) on any file, to its end.
#include <cstdint>
#include <cstdio>

#include "media/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static double out[1024 * splocal::kMaxFileChannels];
    std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    std::string why;
    std::unique_ptr<splocal::Decoder> decoder = file ? splocal::open_wav(file, why) : nullptr;
    while (decoder && decoder->read(out, 1024) == 1024)
        continue;
    return 0;
}
