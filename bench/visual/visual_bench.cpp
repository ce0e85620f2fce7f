// What one paint costs in the analysis, and how the fixed-algorithm FFT
// compares with FFTW on the same 256-point complex transform.
#include "audio/pcm_queue.h"
#include "visual/fft.h"
#include "visual/spectrum_analysis.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<Complex> random_input(size_t n) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> sample(-32768.0, 32767.0);
    std::vector<Complex> x(n);
    for (auto &c : x) {
        c = Complex{sample(random), sample(random)};
    }
    return x;
}

void BM_Fft256(benchmark::State &state) {
    const std::vector<Complex> input = random_input(256);
    std::vector<Complex> x(256);
    for (auto _ : state) {
        std::memcpy(x.data(), input.data(), sizeof(Complex) * 256);
        fft_bit_reverse(x.data(), 256);
        fft_butterflies(x.data(), 256);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Fft256);

// FFTW's planned forward transform of the same size (FFTW_MEASURE), copying
// the input each time as above.
void BM_Fftw256(benchmark::State &state) {
    const std::vector<Complex> input = random_input(256);
    auto *in = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * 256));
    auto *out = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * 256));
    fftw_plan plan = fftw_plan_dft_1d(256, in, out, FFTW_FORWARD, FFTW_MEASURE);
    for (auto _ : state) {
        std::memcpy(in, input.data(), sizeof(fftw_complex) * 256);
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}
BENCHMARK(BM_Fftw256);

void BM_AnalyseBlock(benchmark::State &state) {
    const int frames = static_cast<int>(state.range(0));
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + size_t{4} * frames));
    block->next = nullptr;
    block->frame_count = frames;
    block->sample_rate = 44100;
    block->channel_count = 2;
    std::mt19937 random(3);
    for (int i = 0; i < 2 * frames; ++i) {
        block->samples()[i] = static_cast<int16_t>(random());
    }
    std::vector<float> history(histogram::kBins, 0.0f);
    float peak = 0.0f;
    for (auto _ : state) {
        analyse_block(history.data(), &peak, block->samples(), block->frame_count,
                      block->channel_count);
        benchmark::DoNotOptimize(history.data());
        benchmark::DoNotOptimize(peak);
    }
    state.SetItemsProcessed(state.iterations() * frames);
    std::free(block);
}
BENCHMARK(BM_AnalyseBlock)->Arg(1024)->Arg(2048);

} // namespace
