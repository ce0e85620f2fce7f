#include "visual/bar_layout.h"

#include "visual/spectrum_analysis.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

std::vector<BarRect> layout(int32_t width, float bin, float peak) {
    const std::vector<float> history(histogram::kBins, bin);
    std::vector<BarRect> bars(histogram::kMaxBars);
    bars.resize(static_cast<size_t>(bar_layout(width, 400, history.data(), peak, bars.data())));
    return bars;
}

// Bars step pixels wide, touching, from ten steps in to before the last ten;
// 511 and the widest width reach the most bars, bins 10 to 244.
TEST(BarLayoutPlacesBarsBetweenMargins, KnownWidths) {
    const std::tuple<int32_t, size_t, float> cases[] = {
        {1000, 229, 4}, {1024, 184, 5}, {255, 234, 1}, {511, 235, 2}, {2147483647, 235, 8388608},
        {22, 1, 1},     {21, 0, 1},     {0, 0, 1},     {-1000, 0, 1}};
    for (const auto &[width, count, step] : cases) {
        const std::vector<BarRect> bars = layout(width, 1.0f, 1.0f);
        ASSERT_EQ(bars.size(), count) << width;
        for (size_t k = 0; k < bars.size(); ++k) {
            EXPECT_EQ(bars[k].left, (10 + static_cast<float>(k)) * step) << width << " " << k;
            EXPECT_EQ(bars[k].right, bars[k].left + step) << width << " " << k;
        }
    }
}

// Every bar stands on the bottom edge (top 400) and reaches the bin's share
// of peak times the height, truncated; a zero peak gives no height.
TEST(BarLayoutHeights, BinShareOfPeakTimesHeightTruncated) {
    const double up = 400.0 - 2147483647.0, down = 400.0 + 2147483648.0; // int32_t's limits
    const std::tuple<float, float, double> cases[] = {
        {1.0f, 1.0f, 0},     {0.5f, 1.0f, 200},     {0.333f, 1.0f, 267}, {2.0f, 1.0f, -400},
        {0.0f, 1.0f, 400},   {-0.25f, 1.0f, 500},   {123.0f, 0.0f, 400}, {-4.0f, 0.0f, 400},
        {1e30f, 1e-30f, up}, {-1e30f, 1e-30f, down}};
    for (const auto &[bin, peak, bottom] : cases) {
        for (const BarRect &bar : layout(1000, bin, peak)) {
            ASSERT_EQ(bar.top, 400.0f) << bin << " / " << peak;
            ASSERT_EQ(bar.bottom, static_cast<float>(bottom)) << bin << " / " << peak;
        }
    }
}

} // namespace
