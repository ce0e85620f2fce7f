// The WAV reader (with its LIST/INFO tags) and the conversion of what it
// decodes, on any file.
#include <cstdint>
#include <cstdio>

#include "converter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    std::string why;
    std::unique_ptr<splocal::Decoder> decoder = file ? splocal::open_wav(file, why) : nullptr;
    if (!decoder)
        return 0;
    splocal::Converter converter(std::move(decoder));
    int16_t out[2 * 1024];
    for (int total = 0; total < (1 << 20);) {
        const int got = converter.read(out, 1024);
        if (got <= 0)
            break;
        total += got;
    }
    return 0;
}
