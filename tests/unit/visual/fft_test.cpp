#include "visual/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

void transform(std::vector<Complex> &x) {
    fft_bit_reverse(x.data(), static_cast<uint32_t>(x.size()));
    fft_butterflies(x.data(), static_cast<uint32_t>(x.size()));
}

// Element i holds (i, -i), so a permutation shows where each element went.
std::vector<Complex> labelled(uint32_t n) {
    std::vector<Complex> x(n);
    for (uint32_t i = 0; i < n; ++i) {
        x[i] = Complex{static_cast<double>(i), -static_cast<double>(i)};
    }
    return x;
}

// The permutation that results from the listed swaps, applied to labels.
std::vector<Complex> swapped(uint32_t n, std::vector<std::pair<uint32_t, uint32_t>> swaps) {
    std::vector<Complex> x = labelled(n);
    for (auto [a, b] : swaps) {
        std::swap(x[a], x[b]);
    }
    return x;
}

void expect_same(const std::vector<Complex> &actual, const std::vector<Complex> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].re, expected[i].re) << "element " << i;
        EXPECT_EQ(actual[i].im, expected[i].im) << "element " << i;
    }
}

TEST(FftBitReversalSwapsEachPairOnce, EmptyAndSingleArraysAreUntouched) {
    Complex one = {7.5, -2.25};
    fft_bit_reverse(&one, 1);
    fft_butterflies(&one, 1);
    EXPECT_EQ(one.re, 7.5);
    EXPECT_EQ(one.im, -2.25);
    // A count of 0 must not touch the pointer at all.
    fft_bit_reverse(nullptr, 0);
    fft_butterflies(nullptr, 0);
}

TEST(FftBitReversalSwapsEachPairOnce, SwapsTheListedPairs) {
    std::vector<Complex> x4 = labelled(4);
    fft_bit_reverse(x4.data(), 4);
    expect_same(x4, swapped(4, {{1, 2}}));

    std::vector<Complex> x8 = labelled(8);
    fft_bit_reverse(x8.data(), 8);
    expect_same(x8, swapped(8, {{1, 4}, {3, 6}}));

    std::vector<Complex> x16 = labelled(16);
    fft_bit_reverse(x16.data(), 16);
    expect_same(x16, swapped(16, {{1, 8}, {2, 4}, {3, 12}, {5, 10}, {7, 14}, {11, 13}}));
}

TEST(FftBitReversalSwapsEachPairOnce, ReversesTheIndexBitsOf256) {
    std::vector<Complex> x = labelled(256);
    fft_bit_reverse(x.data(), 256);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = 0;
        for (int bit = 0; bit < 8; ++bit) {
            r |= ((i >> bit) & 1u) << (7 - bit);
        }
        EXPECT_EQ(x[i].re, static_cast<double>(r)) << i;
    }
}

TEST(FftComputesTheForwardTransform, SmallKnownCases) {
    std::vector<Complex> two = {{3, 0}, {5, 0}};
    transform(two);
    expect_same(two, {{8, 0}, {-2, 0}});

    for (uint32_t n = 1; n <= 256; n *= 2) {
        std::vector<Complex> impulse(n, Complex{0, 0});
        impulse[0].re = 1;
        transform(impulse);
        for (uint32_t k = 0; k < n; ++k) {
            EXPECT_NEAR(impulse[k].re, 1.0, 1e-12) << "n " << n << " k " << k;
            EXPECT_NEAR(impulse[k].im, 0.0, 1e-12) << "n " << n << " k " << k;
        }

        std::vector<Complex> constant(n, Complex{-3.5, 0});
        transform(constant);
        EXPECT_NEAR(constant[0].re, -3.5 * n, 1e-9);
        for (uint32_t k = 1; k < n; ++k) {
            EXPECT_NEAR(constant[k].re, 0.0, 1e-9) << "n " << n << " k " << k;
            EXPECT_NEAR(constant[k].im, 0.0, 1e-9) << "n " << n << " k " << k;
        }
    }
}

// e^(+2 pi i n / 8) lands entirely in element 1: the exponent's sign is negative.
TEST(FftComputesTheForwardTransform, PositiveRotationLandsInElementOne) {
    std::vector<Complex> x(8);
    for (int n = 0; n < 8; ++n) {
        x[n] =
            Complex{std::cos(2 * std::numbers::pi * n / 8), std::sin(2 * std::numbers::pi * n / 8)};
    }
    transform(x);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(x[k].re, k == 1 ? 8.0 : 0.0, 1e-12) << k;
        EXPECT_NEAR(x[k].im, 0.0, 1e-12) << k;
    }
}

// Against a direct double-precision DFT on random 16-bit-sized input, for
// every length the analysis uses. The error must be far below anything a bar
// could show (a bar is at best a part in a few hundred of the largest bin).
TEST(FftComputesTheForwardTransform, AgreesWithADirectDftForEveryLengthUpTo256) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> sample(-32768.0, 32767.0);
    for (uint32_t n = 1; n <= 256; n *= 2) {
        std::vector<Complex> x(n);
        for (auto &c : x) {
            c = Complex{sample(random), sample(random)};
        }
        std::vector<Complex> expected(n);
        double largest = 0;
        for (uint32_t k = 0; k < n; ++k) {
            long double re = 0, im = 0;
            for (uint32_t j = 0; j < n; ++j) {
                // Reduce n*k first so that the angle stays exact.
                const long double angle =
                    -2.0L * 3.141592653589793238462643383279502884L * ((uint64_t{j} * k) % n) / n;
                re += x[j].re * std::cos(angle) - x[j].im * std::sin(angle);
                im += x[j].re * std::sin(angle) + x[j].im * std::cos(angle);
            }
            expected[k] = Complex{static_cast<double>(re), static_cast<double>(im)};
            largest = std::max(largest, static_cast<double>(std::hypot(re, im)));
        }
        transform(x);
        for (uint32_t k = 0; k < n; ++k) {
            const double error = std::hypot(x[k].re - expected[k].re, x[k].im - expected[k].im);
            EXPECT_LT(error / largest, 1e-12) << "n " << n << " k " << k;
        }
    }
}

// The butterflies written out plainly, operation by operation, as the
// transform is defined; the library's form (SSE2 where available) must give
// the very same bits.
void plain_butterflies(Complex *x, uint32_t count) {
    for (uint32_t half = 1; half < count; half *= 2) {
        const uint32_t step = 2 * half;
        const double theta = -3.141592653589793 / static_cast<double>(half);
        const double s = std::sin(theta / 2);
        const double wpr = (-2 * s) * s;
        const double wpi = std::sin(theta);
        double wr = 1, wi = 0;
        for (uint32_t m = 0; m < half; ++m) {
            for (uint32_t i = m; i < count; i += step) {
                const uint32_t j = i + half;
                const double tr = wr * x[j].re - wi * x[j].im;
                const double ti = x[j].re * wi + x[j].im * wr;
                x[j].re = x[i].re - tr;
                x[j].im = x[i].im - ti;
                x[i].re = x[i].re + tr;
                x[i].im = x[i].im + ti;
            }
            const double next_wr = wr + (wr * wpr - wi * wpi);
            const double next_wi = wi + (wpi * wr + wi * wpr);
            wr = next_wr;
            wi = next_wi;
        }
    }
}

TEST(FftComputesTheForwardTransform, ButterfliesAreBitExactToThePlainArithmetic) {
    std::mt19937 random(99);
    std::uniform_real_distribution<double> sample(-1e6, 1e6);
    for (uint32_t n = 1; n <= 4096; n *= 2) {
        std::vector<Complex> x(n);
        for (auto &c : x) {
            c = Complex{sample(random), sample(random)};
        }
        x[0] = Complex{-0.0, 0.0};
        std::vector<Complex> expected = x;
        fft_bit_reverse(x.data(), n);
        fft_butterflies(x.data(), n);
        fft_bit_reverse(expected.data(), n);
        plain_butterflies(expected.data(), n);
        ASSERT_EQ(std::memcmp(x.data(), expected.data(), n * sizeof(Complex)), 0) << "n " << n;
    }
}

} // namespace
