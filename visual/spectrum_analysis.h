// The histogram's analysis of one block of audio: the block's first channel,
// cut into chunks of 256 frames, each transformed (when its length is a power
// of two) and folded into 256 exponentially smoothed bins, then the running
// scale (peak) follows the largest of bins 10 to 255.
//
// Values are stored in single precision; the arithmetic is in double.
// Pure computation on the caller's arrays: any thread, no locks.
#pragma once

#include <cstdint>

struct PcmBlock;

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

// Folds block into history (256 bins) and peak. The first sample of every
// frame is used, with the block's own channel count as the stride (the left
// channel of stereo), so the read never leaves the block's samples. A block
// with no frames changes no bin, but peak still takes its smoothing step. A
// block whose channel count is not positive, or whose frame count is
// negative, is not analysed: nothing changes.
void analyse_block(float *history, float *peak, const PcmBlock *block);
