// The WAV reader (with its LIST/INFO and ID3 tags) on any file, to its end;
// then on the input followed by zeros to 2 GiB (a recorder's space set aside):
// opening it must read a bounded part, within the run's -timeout per input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "media/decoder.h"

namespace {

constexpr int64_t kReserved = int64_t{2} << 30;

// The input, then zeros up to kReserved bytes, without the memory.
struct Reserved {
    const uint8_t *data;
    int64_t size;
    int64_t at = 0;
};

ssize_t reserved_read(void *cookie, char *out, size_t n) {
    auto *file = static_cast<Reserved *>(cookie);
    const int64_t count = std::clamp<int64_t>(kReserved - file->at, 0, static_cast<int64_t>(n));
    const int64_t given = std::clamp<int64_t>(file->size - file->at, 0, count);
    std::memset(out, 0, static_cast<size_t>(count));
    if (given > 0)
        std::memcpy(out, file->data + file->at, static_cast<size_t>(given));
    file->at += count;
    return static_cast<ssize_t>(count);
}

int reserved_seek(void *cookie, off64_t *offset, int whence) {
    auto *file = static_cast<Reserved *>(cookie);
    const int64_t at = *offset + (whence == SEEK_SET   ? 0
                                  : whence == SEEK_CUR ? file->at
                                                       : kReserved);
    if (at < 0)
        return -1;
    *offset = file->at = at;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static double out[1024 * music::kMaxFileChannels];
    std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    std::string why;
    std::unique_ptr<music::Decoder> decoder = file ? music::open_wav(file, why) : nullptr;
    while (decoder && decoder->read(out, 1024) == 1024)
        continue;

    Reserved reserved{data, static_cast<int64_t>(size)};
    file = fopencookie(&reserved, "rb", {reserved_read, nullptr, reserved_seek, nullptr});
    decoder = file ? music::open_wav(file, why) : nullptr;
    if (decoder && decoder->length() > 0)
        decoder->seek(decoder->length() / 2);
    for (int i = 0; decoder && i < 8 && decoder->read(out, 1024) == 1024; ++i)
        continue;
    decoder.reset(); // before the file's cookie goes
    return 0;
}
