// The volume curve; see device_volume.h.

#include "audio/device_volume.h"

#include <cmath>

uint16_t device_volume_level(int percent) {
    if (percent <= 0)
        return 0;
    if (percent >= 100)
        return 0xFFFF;
    const double decibels = (percent - 100) * kVolumeDecibelsPerPercent;
    const double gain = std::pow(10.0, decibels / 20.0);
    return static_cast<uint16_t>(std::lround(gain * 0xFFFF));
}
