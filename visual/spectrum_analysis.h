// The histogram's analysis of one block of audio: its first channel,
// cut into chunks of 256 frames, each transformed (when its length is a power
// of two) and folded into 256 exponentially smoothed bins, then the running
// scale (peak) follows the largest of bins 10 to 255.
//
// Values are stored in single precision; the arithmetic is in double.
// Pure computation on the caller's arrays: any thread, no locks.
#pragma once

#include <cstdint>

namespace histogram {
constexpr int kBins = 256;
// The first bin drawn and counted for the scale.
constexpr int kFirstShownBin = 10;
// Weight of the new value in every smoothing step (the single-precision 0.1),
// and of the old value: exactly 1 minus that, as a double.
constexpr float kAlpha = 0.1f;
constexpr double kOneMinusAlpha = 1.0 - static_cast<double>(kAlpha);
static_assert(kOneMinusAlpha == 0.899999998509883880615234375);
} // namespace histogram

// Folds frame_count frames of interleaved samples, channel_count to a frame,
// into history (256 bins) and peak. The first sample of every frame is used,
// with channel_count as the stride (the left channel of stereo), so the read
// never goes past frame_count * channel_count samples. No frames change no
// bin, but peak still takes its smoothing step. A channel count that is not
// positive, a negative frame count, or frames without samples are not
// analysed: nothing changes.
void analyse_block(float *history, float *peak, const int16_t *samples, int32_t frame_count,
                   int32_t channel_count);
