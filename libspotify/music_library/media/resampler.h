// A band-limited resampler to 44 100 Hz for stereo doubles: a windowed-sinc
// (Kaiser) interpolator evaluated at each output instant, its coefficients
// taken from a polyphase table when the rate ratio reduces to at most
// kMaxTablePhases phases, else computed per output frame. The pass band
// reaches 20 kHz (or 0.907 of the lower Nyquist frequency when that is
// lower) and the stop band starts at the lower Nyquist frequency, with
// 100 dB of attenuation: images and aliases stay far below 90 dB under full
// scale. The filter is symmetric and centred, so output frame n is input
// time n * in_rate / 44100 with no delay; the output of N input frames is
// ceil(N * 44100 / in_rate) frames.
#ifndef MUSIC_LIBRARY_MEDIA_RESAMPLER_H
#define MUSIC_LIBRARY_MEDIA_RESAMPLER_H

#include <cstdint>
#include <functional>
#include <vector>

namespace music {

constexpr int kMaxTablePhases = 1024;

class Resampler {
public:
    // `source` fills up to n stereo frames and returns how many; fewer than
    // asked means the input ended.
    using Source = std::function<int(double *stereo, int frames)>;
    Resampler(int in_rate, int out_rate, Source source);

    // Writes up to `frames` stereo frames; fewer only at the end.
    int read(double *out, int frames);
    int taps() const { return 2 * half_; }
    // The first input frame output frame `frame` reads.
    int64_t first_input(int64_t frame) const;
    // Goes on at output frame `frame` with an input that starts at
    // first_input(frame): its output is then the output of the whole input
    // from that frame on, bit for bit.
    void restart(int64_t frame);

private:
    double kernel(double x) const;
    // Makes input frames up to `last` (absolute) available if they exist.
    void fill_to(int64_t last);
    double input(int64_t frame, int channel) const;

    Source source_;
    int64_t up_ = 1;   // out_rate / gcd
    int64_t down_ = 1; // in_rate / gcd
    int half_ = 0;     // taps on each side of the output instant
    double scale_ = 1; // cutoff over the input Nyquist frequency
    double beta_ = 0;
    double i0_beta_ = 1;
    std::vector<double> table_;  // phase * taps + tap, or empty
    std::vector<double> buffer_; // stereo input from frame first_
    int64_t first_ = 0;
    int64_t next_out_ = 0;
    bool ended_ = false;
    int64_t total_in_ = -1; // input frames, once the input ended
};

} // namespace music

#endif
