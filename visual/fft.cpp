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

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define LORVANE_FFT_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// One butterfly between x[i] and x[j] with the twiddle factor (wr, wi):
//   tr = wr x[j].re - wi x[j].im,  ti = x[j].re wi + x[j].im wr,
//   x[j] = x[i] - t,  x[i] = x[i] + t.
// The SSE2 form holds one complex number per register and computes the same
// products and sums, each rounded once, so its results are bit for bit those
// of the scalar form: w_re = {wr, wr} and w_im = {-wi, wi} give
// {wr re + (-(wi im)), wr im + wi re}, and negating a product is exact.
#if LORVANE_FFT_SSE2
struct Twiddle {
    __m128d re;
    __m128d im;
    Twiddle(double wr, double wi) : re(_mm_set1_pd(wr)), im(_mm_set_pd(wi, -wi)) {}
};

inline void butterfly(Complex *a, Complex *b, const Twiddle &w) {
    const __m128d x = _mm_loadu_pd(&b->re);
    const __m128d swapped = _mm_shuffle_pd(x, x, 1);
    const __m128d t = _mm_add_pd(_mm_mul_pd(w.re, x), _mm_mul_pd(w.im, swapped));
    const __m128d y = _mm_loadu_pd(&a->re);
    _mm_storeu_pd(&b->re, _mm_sub_pd(y, t));
    _mm_storeu_pd(&a->re, _mm_add_pd(y, t));
}
#else
struct Twiddle {
    double re;
    double im;
    Twiddle(double wr, double wi) : re(wr), im(wi) {}
};

inline void butterfly(Complex *a, Complex *b, const Twiddle &w) {
    const double br = b->re, bi = b->im, ar = a->re, ai = a->im;
    const double tr = w.re * br - w.im * bi;
    const double ti = br * w.im + bi * w.re;
    b->re = ar - tr;
    b->im = ai - ti;
    a->re = ar + tr;
    a->im = ai + ti;
}
#endif

} // namespace

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
            const Twiddle w(wr, wi);
            for (uint32_t i = m; i < count; i += step) {
                butterfly(data + i, data + i + half, w);
            }
            const double old_wr = wr;
            wr = wr + (wr * wpr - wi * wpi);
            wi = wi + (wpi * old_wr + wi * wpr);
        }
        half = step;
    }
}
