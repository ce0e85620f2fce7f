// The band-limited resampler; see resampler.h for its figures.
#include "media/resampler.h"

#include <cmath>
#include <cstddef>
#include <numeric>

namespace music {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStopDb = 100.0;
constexpr double kPassTopHz = 20000.0;
constexpr double kPassShare = 0.907; // of the lower Nyquist frequency, at most
constexpr int kFineSteps = 4096;     // kernel steps per input frame, off the table
constexpr int kInputBlock = 4096;    // frames asked of the source at a time

// The modified Bessel function of order 0, by its series.
double bessel_i0(double x) {
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 60 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

} // namespace

Resampler::Resampler(int in_rate, int out_rate, Source source) : source_(std::move(source)) {
    const int64_t g = std::gcd(static_cast<int64_t>(in_rate), static_cast<int64_t>(out_rate));
    up_ = out_rate / g;
    down_ = in_rate / g;
    const double nyquist = (in_rate < out_rate ? in_rate : out_rate) / 2.0;
    const double pass = std::fmin(kPassTopHz, kPassShare * nyquist);
    const double width = (nyquist - pass) / in_rate; // transition, in cycles per input frame
    const double cutoff = (pass + nyquist) / 2.0;
    scale_ = 2.0 * cutoff / in_rate;
    beta_ = 0.1102 * (kStopDb - 8.7);
    i0_beta_ = bessel_i0(beta_);
    const int taps = static_cast<int>(std::ceil((kStopDb - 7.95) / (2.285 * 2 * kPi * width))) + 1;
    half_ = (taps + 1) / 2;
    if (up_ <= kMaxTablePhases) {
        table_.resize(static_cast<size_t>(up_) * 2 * half_);
        for (int64_t p = 0; p < up_; ++p) {
            const double frac = static_cast<double>(p) / static_cast<double>(up_);
            for (int j = 0; j < 2 * half_; ++j)
                table_[static_cast<size_t>(p * 2 * half_ + j)] = kernel(frac + half_ - 1 - j);
        }
    } else {
        // The kernel's right half at fine steps, interpolated linearly.
        table_.resize(static_cast<size_t>(half_) * kFineSteps + 2);
        for (size_t i = 0; i < table_.size(); ++i)
            table_[i] = kernel(static_cast<double>(i) / kFineSteps);
    }
}

double Resampler::kernel(double x) const {
    const double r = x / half_;
    if (r <= -1.0 || r >= 1.0)
        return 0.0;
    const double y = scale_ * x;
    const double sinc = y == 0.0 ? 1.0 : std::sin(kPi * y) / (kPi * y);
    return scale_ * sinc * bessel_i0(beta_ * std::sqrt(1.0 - r * r)) / i0_beta_;
}

void Resampler::fill_to(int64_t last) {
    while (!ended_ && first_ + static_cast<int64_t>(buffer_.size() / 2) <= last) {
        const size_t size = buffer_.size();
        buffer_.resize(size + 2 * kInputBlock);
        const int got = source_(buffer_.data() + size, kInputBlock);
        buffer_.resize(size + 2 * static_cast<size_t>(got < 0 ? 0 : got));
        if (got < kInputBlock) {
            ended_ = true;
            total_in_ = first_ + static_cast<int64_t>(buffer_.size() / 2);
        }
    }
}

double Resampler::input(int64_t frame, int channel) const {
    const int64_t at = frame - first_;
    if (at < 0 || at >= static_cast<int64_t>(buffer_.size() / 2))
        return 0.0; // before the start or past the end: silence
    return buffer_[static_cast<size_t>(at * 2 + channel)];
}

int64_t Resampler::first_input(int64_t frame) const {
    const int64_t oldest = frame * down_ / up_ - half_ + 1;
    return oldest > 0 ? oldest : 0;
}

void Resampler::restart(int64_t frame) {
    buffer_.clear();
    first_ = first_input(frame);
    next_out_ = frame;
    ended_ = false;
    total_in_ = -1;
}

int Resampler::read(double *out, int frames) {
    int done = 0;
    for (; done < frames; ++done) {
        const int64_t n = next_out_;
        const int64_t k0 = n * down_ / up_;
        const int64_t phase = n * down_ % up_;
        fill_to(k0 + half_);
        if (ended_ && n >= (total_in_ * up_ + down_ - 1) / down_)
            break;
        // Input no longer needed is dropped a block at a time.
        const int64_t oldest = k0 - half_ + 1;
        if (oldest - first_ > 4 * kInputBlock) {
            const int64_t drop = oldest - first_;
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop * 2));
            first_ += drop;
        }
        double left = 0.0;
        double right = 0.0;
        const double frac = static_cast<double>(phase) / static_cast<double>(up_);
        // Where every tap's input is held, it is read straight from the
        // buffer; near the start and the end, missing frames are silence.
        const int64_t at = oldest - first_;
        const bool inside = at >= 0 && at + 2 * half_ <= static_cast<int64_t>(buffer_.size() / 2);
        const double *in = inside ? buffer_.data() + at * 2 : nullptr;
        const double *row = up_ <= kMaxTablePhases ? table_.data() + phase * 2 * half_ : nullptr;
        for (int j = 0; j < 2 * half_; ++j) {
            double c;
            if (row) {
                c = row[j];
            } else {
                const double x = std::fabs(frac + half_ - 1 - j) * kFineSteps;
                const auto i = static_cast<size_t>(x);
                const double t = x - static_cast<double>(i);
                c = table_[i] + (table_[i + 1] - table_[i]) * t;
            }
            if (in) {
                left += c * in[2 * j];
                right += c * in[2 * j + 1];
            } else {
                left += c * input(oldest + j, 0);
                right += c * input(oldest + j, 1);
            }
        }
        out[2 * done] = left;
        out[2 * done + 1] = right;
        ++next_out_;
    }
    return done;
}

} // namespace music
