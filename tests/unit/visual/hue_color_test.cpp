#include "visual/hue_color.h"

#include <gtest/gtest.h>

namespace {

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r << 16 | g << 8 | b;
}

TEST(HueWheelColours, TableAtPeriod100) {
    struct Case {
        float position;
        uint32_t color;
    };
    const Case table[] = {
        {0, rgb(0, 0, 255)},    {10, rgb(214, 0, 255)}, {25, rgb(255, 0, 191)},
        {33, rgb(255, 0, 10)},  {34, rgb(255, 19, 0)},  {40, rgb(255, 163, 0)},
        {50, rgb(255, 255, 0)}, {60, rgb(163, 255, 0)}, {67, rgb(0, 255, 10)},
        {75, rgb(0, 255, 191)}, {90, rgb(0, 214, 255)}, {100, rgb(0, 0, 255)},
    };
    for (const Case &c : table) {
        EXPECT_EQ(hue_color(c.position, 100.0f), c.color) << "position " << c.position;
    }
}

TEST(HueWheelColours, CornersAndOutside) {
    const float s = static_cast<float>(100.0 / 6);
    EXPECT_EQ(hue_color(s, 100.0f), rgb(255, 0, 255)); // magenta
    EXPECT_EQ(hue_color(static_cast<float>(s * 2.0), 100.0f), rgb(255, 0, 0));
    EXPECT_EQ(hue_color(-0.5f, 100.0f), 0u);
    EXPECT_EQ(hue_color(100.5f, 100.0f), 0u);
}

TEST(HueWheelColours, ParabolicBump) {
    EXPECT_EQ(parabolic_bump(0.0f, 0.0f, 10.0f, 255.0f), 0.0f);
    EXPECT_EQ(parabolic_bump(10.0f, 0.0f, 10.0f, 255.0f), 0.0f);
    EXPECT_EQ(parabolic_bump(5.0f, 0.0f, 10.0f, 255.0f), 255.0f);
    EXPECT_FLOAT_EQ(parabolic_bump(2.5f, 0.0f, 10.0f, 255.0f), 255.0f * 0.75f);
    EXPECT_EQ(parabolic_bump(-1.0f, 0.0f, 10.0f, 255.0f), 0.0f);
    EXPECT_EQ(parabolic_bump(11.0f, 0.0f, 10.0f, 255.0f), 0.0f);
}

// 101 frames a turn: 0, 1, ..., 100, then 0; 100 is blue like 0.
TEST(ColourCycleAdvances, WrapsAfter100) {
    EXPECT_EQ(hue_step_advance(0), 1);
    EXPECT_EQ(hue_step_advance(99), 100);
    EXPECT_EQ(hue_step_advance(100), 0);
    int32_t step = 0;
    for (int i = 0; i < 101; ++i) {
        step = hue_step_advance(step);
    }
    EXPECT_EQ(step, 0);
}

TEST(ColourCycleAdvances, FrameColourIsTheWheelOverUnitRange) {
    const FrameColor blue = frame_color(0);
    EXPECT_EQ(blue.r, 0.0f);
    EXPECT_EQ(blue.g, 0.0f);
    EXPECT_EQ(blue.b, 1.0f);
    EXPECT_EQ(blue.a, 1.0f);
    const FrameColor at100 = frame_color(100);
    EXPECT_EQ(at100.b, 1.0f);
    EXPECT_EQ(at100.r, 0.0f);
    const FrameColor orange = frame_color(40); // (255, 163, 0)
    EXPECT_EQ(orange.r, 1.0f);
    EXPECT_EQ(orange.g, static_cast<float>(163.0 / 255));
    EXPECT_EQ(orange.b, 0.0f);
}

} // namespace
