#include "visual/spectrum_analysis.h"

#include "audio/pcm_queue.h"
#include "visual/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

using histogram::kAlpha;
using histogram::kBins;
using histogram::kOneMinusAlpha;
using Samples = std::vector<int16_t>;

struct FreeBlock {
    void operator()(PcmBlock *block) const { std::free(block); }
};
using BlockPtr = std::unique_ptr<PcmBlock, FreeBlock>;

// The first channel as given; the others differ from it, so reading them
// shows. One exact-size allocation, as music delivery makes it, so that ASan
// sees any read past the samples.
BlockPtr make_block(const Samples &first, int channels = 2) {
    const size_t n = first.size() * static_cast<size_t>(channels);
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + n * 2));
    *block = PcmBlock{nullptr, static_cast<int32_t>(first.size()), 44100, channels};
    for (size_t i = 0; i < n; ++i) {
        const int16_t s = first[i / channels];
        block->samples()[i] = static_cast<int16_t>(i % channels == 0 ? s : i % channels - s / 2);
    }
    return BlockPtr(block);
}

Samples random_samples(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    Samples out(n);
    for (int16_t &s : out) {
        s = static_cast<int16_t>(sample(random));
    }
    return out;
}

float smoothed(float old_value, double new_value) {
    return static_cast<float>(old_value * kOneMinusAlpha + new_value * kAlpha);
}

// The real parts of the transform of samples[from, from + n), as floats.
std::vector<float> spectrum(const Samples &samples, size_t from, uint32_t n) {
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
    void analyse(const BlockPtr &block, int times = 1) {
        for (int i = 0; i < times; ++i) {
            analyse_block(bins.data(), &peak, block.get());
        }
    }
};

// 300 frames: the second chunk (44, not a power of two) is folded in raw
// into bins 0 to 43 while the others decay; 320: it gets a 64-point transform.
TEST(AnalysisFoldsChunksOf256, LastChunkRawOrTransformed) {
    for (const uint32_t rest : {44u, 64u}) {
        SCOPED_TRACE(rest);
        const Samples left = random_samples(256 + rest, rest);
        Histogram h;
        h.analyse(make_block(left));
        const std::vector<float> first = spectrum(left, 0, 256);
        const std::vector<float> second = rest == 64
                                              ? spectrum(left, 256, 64)
                                              : std::vector<float>(left.begin() + 256, left.end());
        for (uint32_t j = 0; j < kBins; ++j) {
            const double v = j < rest ? static_cast<double>(second[j]) : 0.0;
            EXPECT_EQ(h.bins[j], smoothed(smoothed(0.0f, first[j]), v)) << "bin " << j;
        }
    }
}

TEST(AnalysisFoldsChunksOf256, ExtremeSamplesEnterExactly) {
    Histogram low, high, full;
    low.analyse(make_block({-32768}));
    EXPECT_EQ(low.bins[0], static_cast<float>(-32768.0 * kAlpha));
    high.analyse(make_block({32767}));
    EXPECT_EQ(high.bins[0], static_cast<float>(32767.0 * kAlpha));
    EXPECT_EQ(std::vector<float>(high.bins.begin() + 1, high.bins.end()),
              std::vector<float>(kBins - 1, 0.0f));
    full.analyse(make_block(Samples(256, -32768))); // the DC bin: 256 times the sample
    EXPECT_EQ(full.bins[0], static_cast<float>(-32768.0 * 256 * kAlpha));
}

TEST(AnalysisSmoothsTowardTheBlock, SilencePullsEveryBinAndThePeakTowardZero) {
    Histogram h;
    h.analyse(make_block(random_samples(256, 3)), 300); // until the scale has caught up
    const Histogram before = h;
    ASSERT_GT(before.peak, 0.0f);
    h.analyse(make_block(Samples(512, 0))); // two chunks
    for (int j = 0; j < kBins; ++j) {
        EXPECT_EQ(h.bins[j], smoothed(smoothed(before.bins[j], 0.0), 0.0)) << j;
    }
    EXPECT_LT(h.peak, before.peak);
    EXPECT_GE(h.peak, 0.0f);
}

// Each repaint with the same block moves the bins further toward its spectrum.
TEST(AnalysisSmoothsTowardTheBlock, RepeatedPaintsConvergeOnTheSpectrum) {
    Samples tone(256);
    for (int i = 0; i < 256; ++i) {
        tone[i] = static_cast<int16_t>(
            std::lround(10000 * std::cos(2 * std::numbers::pi * 20 * i / 256)));
    }
    const BlockPtr block = make_block(tone);
    const std::vector<float> target = spectrum(tone, 0, 256);
    ASSERT_NEAR(target[20], 10000.0 * 128, 200.0);

    Histogram h;
    float last_distance = std::abs(h.bins[20] - target[20]);
    for (int paint = 0; paint < 300; ++paint) {
        h.analyse(block);
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

// 44 raw frames of a negative level turn bins 10 to 43 negative: no shown bin
// is above zero, and the scale only decays.
TEST(AnalysisScale, PeakNeverGoesNegative) {
    Histogram h;
    h.peak = 5.0f;
    const BlockPtr negative = make_block(Samples(44, -1000));
    for (int i = 0; i < 50; ++i) {
        h.analyse(negative);
        EXPECT_GE(h.peak, 0.0f);
    }
    EXPECT_LT(h.bins[10], 0.0f);
    EXPECT_LT(h.peak, 0.1f);
}

// Other channel counts are read with their own stride: the same first
// channel gives the same bins, and nothing beyond the block is read.
TEST(AnalysisStaysWithinTheBlock, OtherChannelCountsUseTheirOwnStride) {
    const Samples left = random_samples(1000, 4);
    Histogram stereo, mono, six;
    stereo.analyse(make_block(left));
    mono.analyse(make_block(left, 1));
    six.analyse(make_block(left, 6));
    EXPECT_EQ(mono.bins, stereo.bins);
    EXPECT_EQ(mono.peak, stereo.peak);
    EXPECT_EQ(six.bins, stereo.bins);
}

// No frames: no bin changes, but the scale takes its step. Blocks with no
// valid format are not analysed at all.
TEST(AnalysisStaysWithinTheBlock, EmptyAndInvalidBlocks) {
    Histogram h;
    h.bins.assign(kBins, 3.0f);
    h.peak = 10.0f;
    h.analyse(make_block({}));
    EXPECT_EQ(h.bins, std::vector<float>(kBins, 3.0f));
    EXPECT_EQ(h.peak, smoothed(10.0f, 3.0));

    const Histogram before = h;
    BlockPtr block = make_block(Samples(64, 1000), 1);
    for (const auto &[channels, frames] :
         {std::pair{0, 64}, std::pair{-2, 64}, std::pair{1, -64}}) {
        block->channel_count = channels;
        block->frame_count = frames;
        h.analyse(block);
    }
    h.analyse(nullptr);
    EXPECT_EQ(h.bins, before.bins);
    EXPECT_EQ(h.peak, before.peak);
}

} // namespace
