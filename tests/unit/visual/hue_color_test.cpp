#include "visual/hue_color.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r << 16 | g << 8 | b;
}

// The wheel at period 100, its corners (magenta at 100/6, red at twice that)
// and black outside.
TEST(HueWheelColours, TableAtPeriod100) {
    const float sixth = static_cast<float>(100.0 / 6);
    const std::pair<float, uint32_t> table[] = {
        {0, rgb(0, 0, 255)},
        {10, rgb(214, 0, 255)},
        {25, rgb(255, 0, 191)},
        {33, rgb(255, 0, 10)},
        {34, rgb(255, 19, 0)},
        {40, rgb(255, 163, 0)},
        {50, rgb(255, 255, 0)},
        {60, rgb(163, 255, 0)},
        {67, rgb(0, 255, 10)},
        {75, rgb(0, 255, 191)},
        {90, rgb(0, 214, 255)},
        {100, rgb(0, 0, 255)},
        {sixth, rgb(255, 0, 255)},
        {static_cast<float>(sixth * 2.0), rgb(255, 0, 0)},
        {-0.5f, 0},
        {100.5f, 0},
    };
    for (const auto &[position, color] : table) {
        EXPECT_EQ(hue_color(position, 100.0f), color) << "position " << position;
    }
}

// 101 frames a turn: 0, 1, ..., 100, then 0; 100 is blue like 0.
TEST(ColourCycleAdvances, WrapsAfter100) {
    EXPECT_EQ(hue_step_advance(0), 1);
    EXPECT_EQ(hue_step_advance(99), 100);
    EXPECT_EQ(hue_step_advance(100), 0);
    for (const int32_t step : {0, 100}) {
        const FrameColor blue = frame_color(step);
        EXPECT_EQ((std::vector<float>{blue.r, blue.g, blue.b, blue.a}),
                  (std::vector<float>{0, 0, 1, 1}));
    }
    const FrameColor orange = frame_color(40); // (255, 163, 0)
    EXPECT_EQ((std::vector<float>{orange.r, orange.g, orange.b, orange.a}),
              (std::vector<float>{1, static_cast<float>(163.0 / 255), 0, 1}));
}

} // namespace
