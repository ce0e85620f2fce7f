// Conversion of a decoder's output to the one delivery format, S16 stereo
// at 44 100 Hz: channels mapped to two (mono to both, more than two down-
// mixed with the usual coefficients, the low-frequency channel left out),
// other rates through a band-limited resampler (resampler.h), and samples
// rounded to 16 bits with clipping. 16-bit stereo at 44 100 Hz passes
// bit for bit.
#ifndef LIBSPOTIFY_SRC_MEDIA_CONVERTER_H
#define LIBSPOTIFY_SRC_MEDIA_CONVERTER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "media/decoder.h"
#include "media/resampler.h"

namespace splocal {

// One sample in [-1, 1] to 16 bits: rounded to nearest, clipped; NaN is 0.
int16_t to_s16(double sample);

class Converter {
public:
    explicit Converter(std::unique_ptr<Decoder> decoder);
    // Writes up to `frames` stereo frames to out; fewer only at the end.
    int read(int16_t *out, int frames);
    const Decoder &decoder() const { return *decoder_; }

private:
    // Reads up to `frames` frames from the decoder as stereo.
    int read_stereo(double *out, int frames);

    std::unique_ptr<Decoder> decoder_;
    std::unique_ptr<Resampler> resampler_; // null at 44 100 Hz
    std::vector<double> left_gain_;        // per file channel
    std::vector<double> right_gain_;
    std::vector<double> raw_;
    std::vector<double> stereo_;
};

} // namespace splocal

#endif
