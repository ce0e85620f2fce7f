#include "visual/bar_layout.h"

#include "visual/spectrum_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using histogram::kBins;
using histogram::kMaxBars;

struct Layout {
    std::vector<BarRect> bars;
};

Layout layout(int32_t width, int32_t height, const std::vector<float> &history, float peak) {
    Layout out;
    out.bars.resize(kMaxBars);
    const int count = bar_layout(width, height, history.data(), peak, out.bars.data());
    out.bars.resize(static_cast<size_t>(count));
    return out;
}

const std::vector<float> kFlat(kBins, 1.0f);

// Count, step, first and last position for the widths worth knowing.
TEST(BarLayoutPlacesBarsBetweenMargins, KnownWidths) {
    struct Case {
        int32_t width;
        int count;
        float step;
    };
    for (const Case c : {Case{1000, 229, 4}, Case{1024, 184, 5}, Case{255, 234, 1}}) {
        const Layout l = layout(c.width, 400, kFlat, 1.0f);
        ASSERT_EQ(static_cast<int>(l.bars.size()), c.count) << c.width;
        for (size_t k = 0; k < l.bars.size(); ++k) {
            EXPECT_EQ(l.bars[k].left, (10 + static_cast<float>(k)) * c.step) << c.width << " " << k;
            EXPECT_EQ(l.bars[k].right - l.bars[k].left, c.step);
        }
        EXPECT_LT(l.bars.back().right, static_cast<float>(c.width) - 10 * c.step);
    }
    // 1000: bars from x 40 to 956, bins 10 to 238.
    const Layout l1000 = layout(1000, 400, kFlat, 1.0f);
    EXPECT_EQ(l1000.bars.front().left, 40.0f);
    EXPECT_EQ(l1000.bars.back().right, 956.0f);

    for (int32_t width : {21, 20, 1, 0, -5, -1000}) {
        EXPECT_TRUE(layout(width, 400, kFlat, 1.0f).bars.empty()) << width;
    }
    EXPECT_EQ(layout(22, 400, kFlat, 1.0f).bars.size(), 1u);
}

// Bin 244 is the highest any width reaches, and no width needs more than
// kMaxBars rectangles; checked against the layout's own rule with no cap.
TEST(BarLayoutPlacesBarsBetweenMargins, HighestReachableBinIs244) {
    int highest = 0;
    std::vector<int32_t> widths;
    for (int32_t w = 0; w <= 70000; ++w) {
        widths.push_back(w);
    }
    for (int32_t w : {1 << 20, (1 << 24) + 7, 2147483647}) {
        widths.push_back(w);
    }
    for (int32_t width : widths) {
        const int64_t step = width / 256 + 1;
        const int64_t limit = width - 10 * step;
        int expected = 0;
        while ((10 + expected) * step + step < limit) {
            ++expected;
        }
        const Layout l = layout(width, 100, kFlat, 1.0f);
        ASSERT_EQ(static_cast<int>(l.bars.size()), expected) << width;
        if (expected > 0) {
            highest = std::max(highest, 10 + expected - 1);
        }
    }
    EXPECT_EQ(highest, 244);
}

TEST(BarLayoutHeights, BinShareOfPeakTimesHeightTruncated) {
    std::vector<float> history(kBins, 0.0f);
    history[10] = 1.0f;   // full height
    history[11] = 0.5f;   // half
    history[12] = 0.333f; // 133.2 -> 133
    history[13] = 2.0f;   // above the scale: twice the height
    const Layout l = layout(1000, 400, history, 1.0f);
    EXPECT_EQ(l.bars[0].top, 400.0f);
    EXPECT_EQ(l.bars[0].bottom, 0.0f);
    EXPECT_EQ(l.bars[1].bottom, 200.0f);
    EXPECT_EQ(l.bars[2].bottom, 400.0f - 133.0f);
    EXPECT_EQ(l.bars[3].bottom, -400.0f);
    EXPECT_EQ(l.bars[4].bottom, 400.0f); // a zero bin has no height
}

// A negative bin gives a rectangle below the bottom edge: nothing shows.
TEST(BarLayoutHeights, NegativeBinsLieBelowTheBottomEdge) {
    std::vector<float> history(kBins, -0.25f);
    const Layout l = layout(1000, 400, history, 1.0f);
    for (const BarRect &bar : l.bars) {
        EXPECT_EQ(bar.top, 400.0f);
        EXPECT_EQ(bar.bottom, 500.0f);
    }
}

TEST(BarLayoutHeights, ZeroPeakGivesZeroHeight) {
    std::vector<float> history(kBins, 123.0f);
    history[20] = -4.0f;
    for (const BarRect &bar : layout(1000, 400, history, 0.0f).bars) {
        EXPECT_EQ(bar.bottom, 400.0f);
    }
}

// A scale decayed to almost nothing under a loud bin gives a quotient far
// beyond 32 bits: the height is held at the edge of the range.
TEST(BarLayoutHeights, HugeQuotientsAreHeldInRange) {
    std::vector<float> history(kBins, 1e30f);
    history[11] = -1e30f;
    const Layout l = layout(1000, 400, history, 1e-30f);
    EXPECT_EQ(l.bars[0].bottom, static_cast<float>(400.0 - 2147483647.0));
    EXPECT_EQ(l.bars[1].bottom, static_cast<float>(400.0 + 2147483648.0));
}

} // namespace
