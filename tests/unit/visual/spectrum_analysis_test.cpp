#include "visual/spectrum_analysis.h"

#include "unit/visual/test_blocks.h"
#include "visual/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

using histogram::kAlpha;
using histogram::kBins;
using histogram::kOneMinusAlpha;

float smoothed(float old_value, double new_value) {
    return static_cast<float>(old_value * kOneMinusAlpha + new_value * kAlpha);
}

std::vector<int16_t> random_samples(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<int16_t> out(n);
    for (auto &s : out) {
        s = static_cast<int16_t>(sample(random));
    }
    return out;
}

// The real parts of the transform of samples[from, from + n), as floats.
std::vector<float> spectrum(const std::vector<int16_t> &samples, size_t from, uint32_t n) {
    std::vector<Complex> x(n);
    for (uint32_t i = 0; i < n; ++i) {
        x[i] = Complex{static_cast<double>(samples[from + i]), 0.0};
    }
    fft_bit_reverse(x.data(), n);
    fft_butterflies(x.data(), n);
    std::vector<float> out(n);
    for (uint32_t i = 0; i < n; ++i) {
        out[i] = static_cast<float>(x[i].re);
    }
    return out;
}

struct Histogram {
    std::vector<float> bins = std::vector<float>(kBins, 0.0f);
    float peak = 0.0f;
    void analyse(const PcmBlock *block) { analyse_block(bins.data(), &peak, block); }
};

TEST(AnalysisConstants, AlphaAndItsComplementAreTheSinglePrecisionValues) {
    EXPECT_EQ(static_cast<double>(kAlpha), 0.100000001490116119384765625);
    EXPECT_EQ(kOneMinusAlpha, 0.899999998509883880615234375);
}

// A block of 300 frames: the first 256 are transformed; the last 44 are not a
// power of two and are folded in raw into bins 0 to 43, the rest decay.
TEST(AnalysisFoldsChunksOf256, ShortLastChunkIsFoldedRaw) {
    const std::vector<int16_t> left = random_samples(300, 1);
    auto block = make_stereo(left);
    Histogram h;
    h.analyse(block.get());

    const std::vector<float> first = spectrum(left, 0, 256);
    for (int j = 0; j < kBins; ++j) {
        const float after_first = smoothed(0.0f, first[j]);
        const double second = j < 44 ? static_cast<double>(left[256 + j]) : 0.0;
        EXPECT_EQ(h.bins[j], smoothed(after_first, second)) << "bin " << j;
    }
}

// 320 frames: the second chunk has 64 elements and gets a 64-point transform.
TEST(AnalysisFoldsChunksOf256, PowerOfTwoLastChunkIsTransformed) {
    const std::vector<int16_t> left = random_samples(320, 2);
    auto block = make_stereo(left);
    Histogram h;
    h.analyse(block.get());

    const std::vector<float> first = spectrum(left, 0, 256);
    const std::vector<float> second = spectrum(left, 256, 64);
    for (int j = 0; j < kBins; ++j) {
        const double v = j < 64 ? static_cast<double>(second[j]) : 0.0;
        EXPECT_EQ(h.bins[j], smoothed(smoothed(0.0f, first[j]), v)) << "bin " << j;
    }
}

TEST(AnalysisFoldsChunksOf256, ExtremeSamplesEnterExactly) {
    Histogram low;
    auto min_block = make_stereo({-32768});
    low.analyse(min_block.get());
    EXPECT_EQ(low.bins[0], static_cast<float>(-32768.0 * kAlpha));

    Histogram high;
    auto max_block = make_stereo({32767});
    high.analyse(max_block.get());
    EXPECT_EQ(high.bins[0], static_cast<float>(32767.0 * kAlpha));
    for (int j = 1; j < kBins; ++j) {
        EXPECT_EQ(high.bins[j], 0.0f);
    }

    // A full chunk at the extremes: the DC bin is 256 times the sample.
    Histogram full;
    auto full_block = make_stereo(std::vector<int16_t>(256, -32768));
    full.analyse(full_block.get());
    EXPECT_EQ(full.bins[0], static_cast<float>(-32768.0 * 256 * kAlpha));
}

TEST(AnalysisSmoothsTowardTheBlock, SilencePullsEveryBinAndThePeakTowardZero) {
    Histogram h;
    auto loud = make_stereo(random_samples(256, 3));
    for (int i = 0; i < 300; ++i) { // until the scale has caught up
        h.analyse(loud.get());
    }
    const Histogram before = h;
    ASSERT_GT(before.peak, 0.0f);

    auto silent = make_stereo(std::vector<int16_t>(512, 0)); // two chunks
    h.analyse(silent.get());
    for (int j = 0; j < kBins; ++j) {
        EXPECT_EQ(h.bins[j], smoothed(smoothed(before.bins[j], 0.0), 0.0)) << j;
    }
    EXPECT_LT(h.peak, before.peak);
    EXPECT_GE(h.peak, 0.0f);
}

// Repainting with the same block moves the bins further toward its spectrum.
TEST(AnalysisSmoothsTowardTheBlock, RepeatedPaintsConvergeOnTheSpectrum) {
    std::vector<int16_t> tone(256);
    for (int i = 0; i < 256; ++i) {
        tone[i] = static_cast<int16_t>(
            std::lround(10000 * std::cos(2 * std::numbers::pi * 20 * i / 256)));
    }
    auto block = make_stereo(tone);
    const std::vector<float> target = spectrum(tone, 0, 256);
    ASSERT_NEAR(target[20], 10000.0 * 128, 200.0);

    Histogram h;
    float last_distance = std::abs(h.bins[20] - target[20]);
    for (int paint = 0; paint < 300; ++paint) {
        h.analyse(block.get());
        const float distance = std::abs(h.bins[20] - target[20]);
        if (paint < 100) { // later the remaining distance is a few float steps
            EXPECT_LT(distance, last_distance) << "paint " << paint;
        }
        last_distance = distance;
    }
    for (int j = 0; j < kBins; ++j) {
        EXPECT_NEAR(h.bins[j], target[j], 1.0 + std::abs(target[j]) * 1e-4) << j;
    }
    // The scale follows the largest shown bin: 20 and its mirror 236.
    EXPECT_NEAR(h.peak, target[20], std::abs(target[20]) * 1e-4);
}

TEST(AnalysisScale, PeakNeverGoesNegative) {
    // 44 raw frames of a negative level: bins 10 to 43 turn negative, so no
    // shown bin is above zero and the scale only decays.
    Histogram h;
    h.peak = 5.0f;
    auto negative = make_stereo(std::vector<int16_t>(44, -1000));
    for (int i = 0; i < 50; ++i) {
        h.analyse(negative.get());
        EXPECT_GE(h.peak, 0.0f);
    }
    EXPECT_LT(h.bins[10], 0.0f);
    EXPECT_LT(h.peak, 0.1f);
}

TEST(AnalysisScale, EmptyBlockChangesNoBinButStepsThePeak) {
    Histogram h;
    h.bins.assign(kBins, 3.0f);
    h.peak = 10.0f;
    auto empty = make_stereo({});
    h.analyse(empty.get());
    for (int j = 0; j < kBins; ++j) {
        EXPECT_EQ(h.bins[j], 3.0f);
    }
    EXPECT_EQ(h.peak, smoothed(10.0f, 3.0));
}

// Blocks of other channel counts are read with their own stride: the same
// left channel gives the same bins, and nothing beyond the block is read
// (the blocks are exact-size allocations, checked by ASan).
TEST(AnalysisStaysWithinTheBlock, OtherChannelCountsUseTheirOwnStride) {
    const std::vector<int16_t> left = random_samples(1000, 4);
    Histogram stereo;
    auto two = make_stereo(left);
    stereo.analyse(two.get());

    Histogram mono;
    auto one = make_block(1, left);
    mono.analyse(one.get());
    EXPECT_EQ(mono.bins, stereo.bins);
    EXPECT_EQ(mono.peak, stereo.peak);

    std::vector<int16_t> interleaved;
    for (int16_t s : left) {
        interleaved.insert(interleaved.end(), {s, 1, 2, 3, 4, 5});
    }
    Histogram six;
    auto surround = make_block(6, interleaved);
    six.analyse(surround.get());
    EXPECT_EQ(six.bins, stereo.bins);
}

TEST(AnalysisStaysWithinTheBlock, InvalidFormatsAreNotAnalysed) {
    Histogram h;
    h.bins.assign(kBins, 2.0f);
    h.peak = 7.0f;
    const Histogram before = h;

    auto none = make_block(1, std::vector<int16_t>(64, 1000));
    none->channel_count = 0;
    h.analyse(none.get());
    none->channel_count = -2;
    h.analyse(none.get());
    none->channel_count = 1;
    none->frame_count = -64;
    h.analyse(none.get());
    h.analyse(nullptr);
    EXPECT_EQ(h.bins, before.bins);
    EXPECT_EQ(h.peak, before.peak);
}

} // namespace
