#include "visual/spectrum_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

namespace {

using Samples = std::vector<int16_t>;

// a cos(2 pi bin i / 256) for n frames: the real part of its 256-point
// transform is 128 a at bin and 256 - bin, 0 elsewhere (128 points: 64 a at
// bin / 2 and 128 - bin / 2); these values are the transform's own tests.
Samples tone(double a, int bin, size_t n) {
    Samples out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] =
            static_cast<int16_t>(std::lround(a * std::cos(2 * std::numbers::pi * bin * i / 256)));
    return out;
}
Samples operator+(Samples a, const Samples &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The first channel as given, the others a loud tone at bin 50 (reading them
// shows), interleaved in an exact-size allocation, so that ASan sees a read
// past it.
Samples interleave(const Samples &first, int channels) {
    const Samples other = tone(8000, 50, first.size());
    Samples out(first.size() * static_cast<size_t>(channels));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = i % channels == 0 ? first[i / channels] : other[i / channels];
    return out;
}

struct Histogram {
    std::vector<float> bins = std::vector<float>(histogram::kBins, 0.0f);
    float peak = 0.0f;
    void analyse(const Samples &samples, int32_t frames, int32_t channels) {
        analyse_block(bins.data(), &peak, samples.data(), frames, channels);
    }
};

// The blueprint: bins and scale after n paints of a known block from silence:
// (1 - 0.9^n) of the chunk's value, the scale following the largest of bins
// 10 to 255. A last chunk whose length is not a power of two is folded in
// raw; other bins take a step toward 0.
struct Blueprint {
    const char *name;
    Samples first;
    int channels;
    int paints;
    std::vector<std::pair<int, double>> bins;
    double peak;
};

const double k50 = 1 - std::pow(0.9, 50), b10 = (1 - std::pow(0.9, 10)) * 1.28e6;
const Samples t20 = tone(10000, 20, 256), rest44 = t20 + Samples(44, 1000);
const std::vector<std::pair<int, double>> raw_rest = {{20, 115300}, {236, 115200}, {0, 100},
                                                      {30, 100},    {43, 100},     {44, 0}},
                                          transformed_rest = {
                                              {20, 115200}, {0, 6400}, {1, 0}, {30, 0}, {63, 0}};
const std::vector<Blueprint> kBlueprints = {
    {"stereo", t20, 2, 1, {{20, 128000}, {236, 128000}, {50, 0}, {0, 0}}, 12800},
    {"mono", t20, 1, 1, {{20, 128000}, {236, 128000}, {128, 0}}, 12800},
    {"six", t20, 6, 1, {{20, 128000}, {236, 128000}, {50, 0}, {206, 0}}, 12800},
    {"ten paints", t20, 2, 10, {{20, b10}, {236, b10}, {50, 0}}, 2 * b10 - 1.28e6},
    {"raw rest", rest44, 2, 1, raw_rest, 11530},
    {"transformed rest", t20 + Samples(64, 1000), 2, 1, transformed_rest, 11520},
    {"128 frames", tone(10000, 20, 128), 2, 1, {{10, 64000}, {118, 64000}, {20, 0}}, 6400},
    {"two frames", Samples{1000, -1000}, 2, 1, {{0, 0}, {1, 200}, {2, 0}}, 0},
    {"lowest sample", Samples(1, -32768), 2, 1, {{0, -3276.8}, {1, 0}}, 0},
    {"highest sample", Samples(1, 32767), 1, 1, {{0, 3276.7}, {1, 0}}, 0},
    {"full-scale DC", Samples(256, -32768), 2, 1, {{0, -838860.8}, {1, 0}, {255, 0}}, 0},
    {"negative rest", Samples(44, -1000), 2, 50, {{10, -1000 * k50}, {44, 0}}, 0},
};

TEST(AnalysisMatchesTheBlueprint, KnownBlocks) {
    for (const Blueprint &b : kBlueprints) {
        SCOPED_TRACE(b.name);
        Histogram h;
        const Samples samples = interleave(b.first, b.channels);
        for (int paint = 0; paint < b.paints; ++paint) {
            h.analyse(samples, static_cast<int32_t>(b.first.size()), b.channels);
            ASSERT_GE(h.peak, 0.0f); // the scale never goes negative
        }
        for (const auto &[bin, value] : b.bins)
            EXPECT_NEAR(h.bins[bin], value, 3 + std::abs(value) * 1e-5) << "bin " << bin;
        EXPECT_NEAR(h.peak, b.peak, 3 + b.peak * 1e-5);
    }
}

// No frames: no bin changes, but the scale takes its step. Frames with no
// valid format, or without samples, are not analysed at all.
TEST(AnalysisStaysWithinTheBlock, EmptyAndInvalidBlocks) {
    Histogram h;
    h.bins.assign(histogram::kBins, 3.0f);
    h.peak = 10.0f;
    h.analyse({}, 0, 2);
    EXPECT_EQ(h.bins, std::vector<float>(histogram::kBins, 3.0f));
    EXPECT_FLOAT_EQ(h.peak, 9.3f);

    const Histogram before = h;
    const Samples samples(64, 1000);
    for (const auto &[channels, frames] : {std::pair{0, 64}, std::pair{-2, 64}, std::pair{1, -64}})
        h.analyse(samples, frames, channels);
    h.analyse({}, 64, 1);
    EXPECT_EQ(h.bins, before.bins);
    EXPECT_EQ(h.peak, before.peak);
}

} // namespace
