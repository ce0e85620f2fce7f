// The volume a listener asks for, in percent, as the level the sound device
// is set to.
//
// The curve is even in decibels: each step of kVolumeStepPercent takes 2 dB
// off, so 100 % plays the samples as they are (0 dB, level 0xFFFF), 50 % is
// 20 dB down (a tenth of the amplitude, about a quarter as loud) and 5 % is
// 38 dB down; 0 % is silence. The ear hears loudness by ratios, not by
// differences of amplitude: with equal steps of amplitude the top half of the
// range would barely change what is heard and the bottom steps would jump.
// Forty decibels span what a room allows between quiet and loud listening.
#pragma once

#include <cstdint>

constexpr int kVolumeStepPercent = 5;
constexpr double kVolumeDecibelsPerPercent = 0.4;

// The wave-out level (0 to 0xFFFF) for percent, clamped to 0 to 100.
uint16_t device_volume_level(int percent);
