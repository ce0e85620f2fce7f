#include "visual/hue_color.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// The wheel at period 100, its corners (magenta, red) and black outside.
TEST(HueWheelColours, TableAtPeriod100) {
    const float sixth = static_cast<float>(100.0 / 6);
    const std::pair<float, uint32_t> table[] = {
        {0, 0x0000FF},     {10, 0xD600FF},        {25, 0xFF00BF}, {33, 0xFF000A},
        {34, 0xFF1300},    {40, 0xFFA300},        {50, 0xFFFF00}, {60, 0xA3FF00},
        {67, 0x00FF0A},    {75, 0x00FFBF},        {90, 0x00D6FF}, {100, 0x0000FF},
        {sixth, 0xFF00FF}, {sixth * 2, 0xFF0000}, {-0.5f, 0},     {100.5f, 0},
    };
    for (const auto &[position, color] : table)
        EXPECT_EQ(hue_color(position, 100.0f), color) << "position " << position;
}

// 101 frames a turn: 0, 1, ..., 100, then 0; 100 is blue like 0.
TEST(ColourCycleAdvances, WrapsAfter100) {
    EXPECT_EQ(hue_step_advance(99), 100);
    EXPECT_EQ(hue_step_advance(100), 0);
    const auto rgba = [](int32_t step) {
        const FrameColor c = frame_color(step);
        return std::vector<float>{c.r, c.g, c.b, c.a};
    };
    EXPECT_EQ(rgba(40), (std::vector<float>{1, static_cast<float>(163.0 / 255), 0, 1}));
}

} // namespace
