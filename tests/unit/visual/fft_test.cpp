#include "visual/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// Against a direct DFT in long double, X[k] = sum x[j] e^(-2 pi i j k / N),
// on random 16-bit-sized input, for every length the analysis can use and
// more. The sign of the exponent, the order and every twiddle show here.
TEST(FftComputesTheForwardTransform, AgreesWithADirectDftForEveryLengthUpTo1024) {
    fft_bit_reverse(nullptr, 0); // a count of 0 touches nothing
    fft_butterflies(nullptr, 0);
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> sample(-32768.0, 32768.0);
    for (uint32_t n = 1; n <= 1024; n *= 2) {
        std::vector<Complex> x(n);
        for (Complex &c : x)
            c = Complex{sample(random), sample(random)};
        std::vector<Complex> actual = x;
        fft_bit_reverse(actual.data(), n);
        fft_butterflies(actual.data(), n);
        std::vector<long double> cosine(n), sine(n);
        for (uint32_t m = 0; m < n; ++m) {
            const long double angle = -2.0L * 3.141592653589793238462643383279502884L * m / n;
            cosine[m] = std::cos(angle);
            sine[m] = std::sin(angle);
        }
        double largest = 0, worst = 0;
        for (uint32_t k = 0; k < n; ++k) {
            long double re = 0, im = 0;
            for (uint32_t j = 0; j < n; ++j) {
                const uint32_t m = static_cast<uint32_t>((uint64_t{j} * k) % n);
                re += x[j].re * cosine[m] - x[j].im * sine[m];
                im += x[j].re * sine[m] + x[j].im * cosine[m];
            }
            largest = std::max(largest, static_cast<double>(std::hypot(re, im)));
            worst = std::max(worst,
                             static_cast<double>(std::hypot(actual[k].re - re, actual[k].im - im)));
        }
        EXPECT_LT(worst / largest, 1e-12) << "n " << n;
    }
}

} // namespace
