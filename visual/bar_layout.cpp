#include "visual/bar_layout.h"

#include "visual/spectrum_analysis.h"

#include <cmath>

namespace {

// history / peak * H, truncated toward zero. A zero scale gives 0, and a
// quotient beyond the 32-bit range is held at its edge instead of
// overflowing the conversion.
int64_t bar_height(float bin, float peak, float client_height) {
    if (!(peak != 0.0f)) {
        return 0;
    }
    const double h = static_cast<double>(bin) / peak * client_height;
    if (std::isnan(h)) {
        return 0;
    }
    if (h >= 2147483647.0) {
        return INT32_MAX;
    }
    if (h <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(h);
}

} // namespace

// The arithmetic is done in 64 bits: it gives the 32-bit results wherever
// those do not overflow, and stays defined where they would.
int bar_layout(int32_t width, int32_t height, const float *history, float peak, BarRect *bars) {
    using namespace histogram;
    const int64_t step = width / 256 + 1;
    const int64_t limit = static_cast<int64_t>(width) - 10 * step;
    const float client_height = static_cast<float>(height);

    int count = 0;
    for (int k = 0; k < kMaxBars; ++k) {
        const int64_t left = (kFirstShownBin + k) * step;
        const int64_t right = left + step;
        if (!(right < limit)) {
            break;
        }
        const int64_t h = bar_height(history[kFirstShownBin + k], peak, client_height);
        bars[count] = BarRect{static_cast<float>(left), client_height, static_cast<float>(right),
                              static_cast<float>(static_cast<int64_t>(height) - h)};
        ++count;
    }
    return count;
}
