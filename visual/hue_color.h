// The colour of a frame: a six-segment hue wheel (blue, magenta, red,
// yellow, green, cyan, blue) whose channels rise and fall along half
// parabolas, and the cycle that moves one step along it per drawn frame.
// Pure computation: any thread.
#pragma once

#include <cstdint>

// Same layout as D2D1_COLOR_F: r, g, b, a, each 0 to 1.
struct FrameColor {
    float r;
    float g;
    float b;
    float a;
};

namespace histogram {
// The colour cycle runs 0, 1, ..., kHuePeriod, then 0 again.
constexpr int32_t kHuePeriod = 100;
} // namespace histogram

// The parabola through (lo, 0), ((lo + hi) / 2, top) and (hi, 0), and 0
// outside [lo, hi].
float parabolic_bump(float x, float lo, float hi, float top);
// The wheel's colour at position (0 to period) as 0x00RRGGBB; black outside.
uint32_t hue_color(float position, float period);
// The colour of the frame drawn at hue_step: the bytes of hue_color divided
// by 255, alpha 1.
FrameColor frame_color(int32_t hue_step);
// The step after hue_step: one more, back to 0 after kHuePeriod.
int32_t hue_step_advance(int32_t hue_step);
