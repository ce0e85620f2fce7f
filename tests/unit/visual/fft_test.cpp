#include "visual/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Signal = std::vector<Complex>;

Signal transform(Signal x) {
    fft_bit_reverse(x.data(), static_cast<uint32_t>(x.size()));
    fft_butterflies(x.data(), static_cast<uint32_t>(x.size()));
    return x;
}

Signal random_signal(uint32_t n, std::mt19937 &random, double range) {
    std::uniform_real_distribution<double> sample(-range, range);
    Signal x(n);
    for (Complex &c : x) {
        c = Complex{sample(random), sample(random)};
    }
    return x;
}

// Element i starts as (i, -i), so the result shows where each element went:
// for 4 that is the one swap (1, 2), for 8 (1, 4) and (3, 6), and so on.
TEST(FftBitReversalSwapsEachPairOnce, EveryCountUpTo256) {
    fft_bit_reverse(nullptr, 0); // a count of 0 touches nothing
    fft_butterflies(nullptr, 0);
    for (uint32_t n = 1, bits = 0; n <= 256; n *= 2, ++bits) {
        Signal x(n);
        for (uint32_t i = 0; i < n; ++i) {
            x[i] = Complex{static_cast<double>(i), -static_cast<double>(i)};
        }
        fft_bit_reverse(x.data(), n);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t r = 0;
            for (uint32_t bit = 0; bit < bits; ++bit) {
                r |= ((i >> bit) & 1u) << (bits - 1 - bit);
            }
            ASSERT_EQ(x[i].re, static_cast<double>(r)) << "n " << n << " i " << i;
            ASSERT_EQ(x[i].im, -static_cast<double>(r)) << "n " << n << " i " << i;
        }
    }
}

TEST(FftComputesTheForwardTransform, KnownCases) {
    const Signal one = transform({{7.5, -2.25}});
    EXPECT_EQ(one[0].re, 7.5);
    EXPECT_EQ(one[0].im, -2.25);
    const Signal two = transform({{3, 0}, {5, 0}});
    EXPECT_EQ(two[0].re, 8);
    EXPECT_EQ(two[1].re, -2);
    EXPECT_EQ(two[1].im, 0);

    // An impulse gives 1 everywhere; N equal values c give N c at 0 only.
    for (uint32_t n = 1; n <= 256; n *= 2) {
        Signal impulse(n, Complex{0, 0});
        impulse[0].re = 1;
        const Signal flat = transform(impulse);
        const Signal dc = transform(Signal(n, Complex{-3.5, 0}));
        for (uint32_t k = 0; k < n; ++k) {
            EXPECT_NEAR(flat[k].re, 1.0, 1e-12) << "n " << n << " k " << k;
            EXPECT_NEAR(flat[k].im, 0.0, 1e-12) << "n " << n << " k " << k;
            EXPECT_NEAR(dc[k].re, k == 0 ? -3.5 * n : 0.0, 1e-9) << "n " << n << " k " << k;
            EXPECT_NEAR(dc[k].im, 0.0, 1e-9) << "n " << n << " k " << k;
        }
    }

    // e^(+2 pi i n / 8) lands entirely in element 1: the exponent's sign is negative.
    Signal rotation(8);
    for (int n = 0; n < 8; ++n) {
        const double angle = 2 * std::numbers::pi * n / 8;
        rotation[n] = Complex{std::cos(angle), std::sin(angle)};
    }
    rotation = transform(rotation);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(rotation[k].re, k == 1 ? 8.0 : 0.0, 1e-12) << k;
        EXPECT_NEAR(rotation[k].im, 0.0, 1e-12) << k;
    }
}

// Against a direct DFT in long double on random 16-bit-sized input.
TEST(FftComputesTheForwardTransform, AgreesWithADirectDftForEveryLengthUpTo256) {
    std::mt19937 random(12345);
    for (uint32_t n = 1; n <= 256; n *= 2) {
        const Signal x = random_signal(n, random, 32768.0);
        const Signal actual = transform(x);
        Signal expected(n);
        double largest = 0;
        for (uint32_t k = 0; k < n; ++k) {
            long double re = 0, im = 0;
            for (uint32_t j = 0; j < n; ++j) {
                // n k reduced first, so that the angle stays exact.
                const long double angle =
                    -2.0L * 3.141592653589793238462643383279502884L * ((uint64_t{j} * k) % n) / n;
                re += x[j].re * std::cos(angle) - x[j].im * std::sin(angle);
                im += x[j].re * std::sin(angle) + x[j].im * std::cos(angle);
            }
            expected[k] = Complex{static_cast<double>(re), static_cast<double>(im)};
            largest = std::max(largest, static_cast<double>(std::hypot(re, im)));
        }
        for (uint32_t k = 0; k < n; ++k) {
            const double error =
                std::hypot(actual[k].re - expected[k].re, actual[k].im - expected[k].im);
            EXPECT_LT(error / largest, 1e-12) << "n " << n << " k " << k;
        }
    }
}

// The butterflies written out operation by operation, as the transform is
// defined; the library's form (SSE2 where available) gives the same bits.
TEST(FftComputesTheForwardTransform, ButterfliesAreBitExactToThePlainArithmetic) {
    std::mt19937 random(99);
    for (uint32_t n = 1; n <= 4096; n *= 2) {
        Signal x = random_signal(n, random, 1e6);
        x[0] = Complex{-0.0, 0.0};
        Signal expected = x;
        fft_bit_reverse(x.data(), n);
        fft_butterflies(x.data(), n);
        fft_bit_reverse(expected.data(), n);
        for (uint32_t half = 1; half < n; half *= 2) {
            const double theta = -3.141592653589793 / static_cast<double>(half);
            const double s = std::sin(theta / 2);
            const double wpr = (-2 * s) * s, wpi = std::sin(theta);
            double wr = 1, wi = 0;
            for (uint32_t m = 0; m < half; ++m) {
                for (uint32_t i = m; i < n; i += 2 * half) {
                    Complex &a = expected[i], &b = expected[i + half];
                    const double tr = wr * b.re - wi * b.im, ti = b.re * wi + b.im * wr;
                    b = Complex{a.re - tr, a.im - ti};
                    a = Complex{a.re + tr, a.im + ti};
                }
                const double next_wr = wr + (wr * wpr - wi * wpi);
                wi = wi + (wpi * wr + wi * wpr);
                wr = next_wr;
            }
        }
        ASSERT_EQ(std::memcmp(x.data(), expected.data(), n * sizeof(Complex)), 0) << "n " << n;
    }
}

} // namespace
