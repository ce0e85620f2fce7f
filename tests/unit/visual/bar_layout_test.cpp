#include "visual/bar_layout.h"

#include "visual/spectrum_analysis.h"

#include <gtest/gtest.h>

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
    struct Case {
        int32_t width;
        size_t count;
        float step;
    };
    for (const Case c : {Case{1000, 229, 4}, Case{1024, 184, 5}, Case{255, 234, 1},
                         Case{511, 235, 2}, Case{2147483647, 235, 8388608}, Case{22, 1, 1},
                         Case{21, 0, 1}, Case{0, 0, 1}, Case{-1000, 0, 1}}) {
        SCOPED_TRACE(c.width);
        const std::vector<BarRect> bars = layout(c.width, 1.0f, 1.0f);
        ASSERT_EQ(bars.size(), c.count);
        for (size_t k = 0; k < bars.size(); ++k) {
            EXPECT_EQ(bars[k].left, (10 + static_cast<float>(k)) * c.step) << k;
            EXPECT_EQ(bars[k].right, bars[k].left + c.step) << k;
        }
    }
}

// Every bar stands on the bottom edge (top 400) and reaches the bin's share
// of peak times the height, truncated: a negative bin lies below the edge,
// a zero peak gives no height, and a quotient beyond 32 bits is held.
TEST(BarLayoutHeights, BinShareOfPeakTimesHeightTruncated) {
    struct Case {
        float bin;
        float peak;
        double bottom;
    };
    for (const Case c :
         {Case{1.0f, 1.0f, 0}, Case{0.5f, 1.0f, 200}, Case{0.333f, 1.0f, 267},
          Case{2.0f, 1.0f, -400}, Case{0.0f, 1.0f, 400}, Case{-0.25f, 1.0f, 500},
          Case{123.0f, 0.0f, 400}, Case{-4.0f, 0.0f, 400},
          Case{1e30f, 1e-30f, 400.0 - 2147483647.0}, Case{-1e30f, 1e-30f, 400.0 + 2147483648.0}}) {
        SCOPED_TRACE(testing::Message() << c.bin << " / " << c.peak);
        for (const BarRect &bar : layout(1000, c.bin, c.peak)) {
            ASSERT_EQ(bar.top, 400.0f);
            ASSERT_EQ(bar.bottom, static_cast<float>(c.bottom));
        }
    }
}

} // namespace
