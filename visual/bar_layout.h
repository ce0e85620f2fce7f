// Where the histogram's bars go for a client area: bars step pixels wide,
// touching, starting ten bar widths from the left edge and ending before the
// last ten; bar k shows bin 10 + k, standing on the bottom edge, its height
// the bin's share of peak times the client height.
// Pure computation: any thread.
#pragma once

#include <cstdint>

// Same layout as D2D1_RECT_F. For a bar, top is the bottom edge of the
// client area and bottom is the bar's upper end: the filling covers the area
// between them.
struct BarRect {
    float left;
    float top;
    float right;
    float bottom;
};

namespace histogram {
// The most bars any width gives (bins 10 to 244).
constexpr int kMaxBars = 235;
} // namespace histogram

// Fills bars (room for kMaxBars) with the layout for a client area of width
// by height pixels and the smoothed bins in history (256), and returns how
// many there are. A peak of 0 gives bars of height 0.
int bar_layout(int32_t width, int32_t height, const float *history, float peak, BarRect *bars);
