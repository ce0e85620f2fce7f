#include "visual/hue_color.h"

float parabolic_bump(float x, float lo, float hi, float top) {
    const float mid = static_cast<float>((static_cast<double>(lo) + hi) * 0.5);
    const float k =
        static_cast<float>(static_cast<double>(top) /
                           ((static_cast<double>(lo) - mid) * (static_cast<double>(hi) - mid)));
    const double r = ((static_cast<double>(lo) - x) * k) * (static_cast<double>(hi) - x);
    if (r < 0) {
        return 0.0f;
    }
    return static_cast<float>(r);
}

// Each channel is a run of pieces that meet end to end: a rising half
// parabola, a plateau of 255, a falling half parabola. A ramp's parabola is
// centred where it meets its plateau, so the channel is continuous.
uint32_t hue_color(float position, float period) {
    const float x = position;
    const float s = static_cast<float>(static_cast<double>(period) / 6);
    float b[7];
    for (int k = 0; k < 7; ++k) {
        b[k] = static_cast<float>(static_cast<double>(s) * k);
    }
    const float top = 255.0f;

    float r = 0.0f;
    if (b[0] <= x && x < b[1]) {
        r = parabolic_bump(x, b[0], b[2], top);
    } else if (b[1] <= x && x <= b[3]) {
        r = top;
    } else if (b[3] < x && x <= b[4]) {
        r = parabolic_bump(x, b[2], b[4], top);
    }

    float g = 0.0f;
    if (b[2] <= x && x < b[3]) {
        g = parabolic_bump(x, b[2], b[4], top);
    } else if (b[3] <= x && x <= b[5]) {
        g = top;
    } else if (b[5] < x && x <= b[6]) {
        g = parabolic_bump(x, b[4], b[6], top);
    }

    float bl = 0.0f;
    if (b[0] <= x && x <= b[1]) {
        bl = top;
    } else if (b[1] < x && x <= b[2]) {
        bl = parabolic_bump(x, b[0], b[2], top);
    } else if (b[4] <= x && x < b[5]) {
        bl = parabolic_bump(x, b[4], b[6], top);
    } else if (b[5] <= x && x <= b[6]) {
        bl = top;
    }

    const uint32_t ri = static_cast<uint32_t>(r);
    const uint32_t gi = static_cast<uint32_t>(g);
    const uint32_t bi = static_cast<uint32_t>(bl);
    return ri * 65536u + gi * 256u + bi;
}

FrameColor frame_color(int32_t hue_step) {
    const uint32_t rgb =
        hue_color(static_cast<float>(hue_step), static_cast<float>(histogram::kHuePeriod));
    const auto channel = [](uint32_t byte) {
        return static_cast<float>(static_cast<double>(byte & 0xFFu) / 255);
    };
    return FrameColor{channel(rgb >> 16), channel(rgb >> 8), channel(rgb), 1.0f};
}

int32_t hue_step_advance(int32_t hue_step) {
    // hue_step + 1, and 0 once that passes the period (written so that no
    // value can overflow).
    return hue_step >= histogram::kHuePeriod ? 0 : hue_step + 1;
}
