// In-place radix-2 decimation-in-time FFT over complex doubles, in two steps
// that the caller runs one after the other on the same array and count:
// fft_bit_reverse, then fft_butterflies. Together they leave the forward DFT
// (no scaling, natural order) in the array: X[k] = sum x[n] e^(-2 pi i n k / N).
//
// count must be 0 or a power of two; the caller checks. Neither step
// allocates or keeps state; the twiddle factors come from a recurrence, two
// sines per stage, no table.
#pragma once

#include <cstdint>

struct Complex {
    double re;
    double im;
};

// Puts the elements into bit-reversed order.
void fft_bit_reverse(Complex *data, uint32_t count);
// Combines the reordered elements stage by stage.
void fft_butterflies(Complex *data, uint32_t count);
