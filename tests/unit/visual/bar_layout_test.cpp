#include "visual/bar_layout.h"

#include "visual/spectrum_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<BarRect> layout(int32_t width, const std::vector<float> &history, float peak) {
    std::vector<BarRect> bars(histogram::kMaxBars);
    bars.resize(static_cast<size_t>(bar_layout(width, 400, history.data(), peak, bars.data())));
    return bars;
}

const std::vector<float> kFlat(histogram::kBins, 1.0f);

// Bars step pixels wide, touching, from ten steps in to before the last ten.
TEST(BarLayoutPlacesBarsBetweenMargins, KnownWidths) {
    struct Case {
        int32_t width;
        size_t count;
        float step;
    };
    for (const Case c : {Case{1000, 229, 4}, Case{1024, 184, 5}, Case{255, 234, 1}, Case{22, 1, 1},
                         Case{21, 0, 1}, Case{1, 0, 1}, Case{0, 0, 1}, Case{-1000, 0, 1}}) {
        SCOPED_TRACE(c.width);
        const std::vector<BarRect> bars = layout(c.width, kFlat, 1.0f);
        ASSERT_EQ(bars.size(), c.count);
        for (size_t k = 0; k < bars.size(); ++k) {
            EXPECT_EQ(bars[k].left, (10 + static_cast<float>(k)) * c.step) << k;
            EXPECT_EQ(bars[k].right, bars[k].left + c.step) << k;
        }
        if (!bars.empty()) {
            EXPECT_LT(bars.back().right, static_cast<float>(c.width) - 10 * c.step);
        }
    }
    EXPECT_EQ(layout(1000, kFlat, 1.0f).back().right, 956.0f); // bins 10 to 238
}

// Bin 244 is the highest any width reaches, and no width needs more than
// kMaxBars rectangles; checked against the layout's rule with no cap.
TEST(BarLayoutPlacesBarsBetweenMargins, HighestReachableBinIs244) {
    std::vector<int32_t> widths = {1 << 20, (1 << 24) + 7, 2147483647};
    for (int32_t w = 0; w <= 70000; ++w) {
        widths.push_back(w);
    }
    int highest = 0;
    for (const int32_t width : widths) {
        const int64_t step = width / 256 + 1;
        int expected = 0;
        while ((10 + expected) * step + step < width - 10 * step) {
            ++expected;
        }
        ASSERT_EQ(layout(width, kFlat, 1.0f).size(), static_cast<size_t>(expected)) << width;
        highest = expected > 0 ? std::max(highest, 9 + expected) : highest;
    }
    EXPECT_EQ(highest, 244);
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
        const std::vector<BarRect> bars =
            layout(1000, std::vector<float>(histogram::kBins, c.bin), c.peak);
        ASSERT_EQ(bars.size(), 229u);
        for (const BarRect &bar : bars) {
            ASSERT_EQ(bar.top, 400.0f);
            ASSERT_EQ(bar.bottom, static_cast<float>(c.bottom));
        }
    }
}

} // namespace
