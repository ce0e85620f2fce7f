#include "visual/fft.h"

#include <cmath>

// j follows the bit-reversed counterpart of i: an increment whose carry runs
// from the top bit down. Each pair is swapped once, at the smaller index.
void fft_bit_reverse(Complex *data, uint32_t count) {
    uint32_t j = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (i < j) {
            const Complex t = data[i];
            data[i] = data[j];
            data[j] = t;
        }
        uint32_t a = count >> 1;
        while ((j & a) != 0) {
            j &= ~a;
            a >>= 1;
        }
        j |= a;
    }
}

// Stages half = 1, 2, 4, ...; within a stage the twiddle factor for offset m
// is e^(-i pi m / half), reached by m steps of w <- w + w (e^(i theta) - 1).
// Loop order: stage, then offset, then group.
void fft_butterflies(Complex *data, uint32_t count) {
    uint32_t half = 1;
    while (half < count) {
        const uint32_t step = 2 * half;
        const double theta = -3.141592653589793 / static_cast<double>(half);
        const double s = std::sin(theta / 2);
        const double wpr = (-2.0 * s) * s; // cos(theta) - 1
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (uint32_t m = 0; m < half; ++m) {
            for (uint32_t i = m; i < count; i += step) {
                const uint32_t j = i + half;
                const double tr = wr * data[j].re - wi * data[j].im;
                const double ti = data[j].re * wi + data[j].im * wr;
                data[j].re = data[i].re - tr;
                data[j].im = data[i].im - ti;
                data[i].re = data[i].re + tr;
                data[i].im = data[i].im + ti;
            }
            const double old_wr = wr;
            wr = wr + (wr * wpr - wi * wpi);
            wi = wi + (wpi * old_wr + wi * wpr);
        }
        half = step;
    }
}
