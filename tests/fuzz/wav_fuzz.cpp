// The WAV reader (with its LIST/INFO and ID3 tags) on any file, decoded to
// the end.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    std::string why;
    std::unique_ptr<splocal::Decoder> decoder = file ? splocal::open_wav(file, why) : nullptr;
    if (!decoder)
        return 0;
    std::vector<double> out(1024 * static_cast<size_t>(decoder->channels()));
    while (decoder->read(out.data(), 1024) == 1024) {
    }
    return 0;
}
