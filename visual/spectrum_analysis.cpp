#include "visual/spectrum_analysis.h"

#include "visual/fft.h"

#include <cstddef>

namespace {

bool is_power_of_two(uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

// One smoothing step: old * (1 - alpha) + new * alpha, in double, stored as float.
float smooth(float old_value, double new_value) {
    return static_cast<float>(static_cast<double>(old_value) * histogram::kOneMinusAlpha +
                              new_value * static_cast<double>(histogram::kAlpha));
}

} // namespace

// The frames are taken chunk by chunk through one 256-element buffer: each
// chunk is transformed and folded on its own, so a buffer per chunk gives
// the same bins as one array for all of them, without a heap allocation
// on every paint.
void analyse_block(float *history, float *peak, const int16_t *samples, int32_t frame_count,
                   int32_t channel_count) {
    using namespace histogram;
    if (channel_count <= 0 || frame_count < 0 || (samples == nullptr && frame_count > 0)) {
        return;
    }
    const size_t stride = static_cast<size_t>(channel_count);
    const size_t frames = static_cast<size_t>(frame_count);

    Complex chunk[kBins];
    for (size_t start = 0; start < frames; start += kBins) {
        const size_t rest = frames - start;
        const uint32_t n = static_cast<uint32_t>(rest < kBins ? rest : kBins);
        for (uint32_t i = 0; i < n; ++i) {
            chunk[i].re = static_cast<double>(samples[(start + i) * stride]);
            chunk[i].im = 0.0;
        }
        if (is_power_of_two(n)) {
            fft_bit_reverse(chunk, n);
            fft_butterflies(chunk, n);
        }
        for (uint32_t j = 0; j < static_cast<uint32_t>(kBins); ++j) {
            const double v = j < n ? static_cast<double>(static_cast<float>(chunk[j].re)) : 0.0;
            history[j] = smooth(history[j], v);
        }
    }

    float m = 0.0f;
    for (int j = kFirstShownBin; j < kBins; ++j) {
        if (history[j] > m) {
            m = history[j];
        }
    }
    *peak = smooth(*peak, static_cast<double>(m));
}
