// Integer-only synthesis; see synth.h. No libm and no floating point: a
// sine table built with a fixed-point Taylor series, phases as exact
// fractions of the sample rate, noise from an integer hash.
#include "media/synth.h"

#include <array>

namespace music {
namespace {

constexpr int kTableBits = 12;
constexpr int kTableSize = 1 << kTableBits;

// One full sine period, amplitude 32767, plus a guard entry for
// interpolation.
struct SineTable {
    std::array<int32_t, kTableSize + 1> v{};
    SineTable() {
        const int64_t half_pi_q30 = 1686629713; // pi/2 in Q30
        const int64_t one_q30 = int64_t{1} << 30;
        std::array<int32_t, kTableSize / 4 + 1> quarter{};
        for (int i = 0; i <= kTableSize / 4; ++i) {
            const int64_t x = half_pi_q30 * i / (kTableSize / 4);
            const int64_t x2 = x * x / one_q30;
            int64_t term = x;
            int64_t sum = x;
            for (int k = 1; k <= 6; ++k) {
                term = -(term * x2 / one_q30) / ((2 * k) * (2 * k + 1));
                sum += term;
            }
            int64_t s = (sum + (int64_t{1} << 14)) / (int64_t{1} << 15);
            if (s > 32767)
                s = 32767;
            quarter[static_cast<size_t>(i)] = static_cast<int32_t>(s);
        }
        const int q = kTableSize / 4;
        for (int i = 0; i <= kTableSize; ++i) {
            const int k = i % kTableSize;
            int32_t s;
            if (k <= q)
                s = quarter[static_cast<size_t>(k)];
            else if (k <= 2 * q)
                s = quarter[static_cast<size_t>(2 * q - k)];
            else if (k <= 3 * q)
                s = -quarter[static_cast<size_t>(k - 2 * q)];
            else
                s = -quarter[static_cast<size_t>(4 * q - k)];
            v[static_cast<size_t>(i)] = s;
        }
    }
};

const SineTable &sine_table() {
    static const SineTable table;
    return table;
}

// sin(2 pi phase / 2^32), amplitude 32767, linearly interpolated.
int32_t sine(uint32_t phase) {
    const auto &t = sine_table().v;
    const uint32_t index = phase >> (32 - kTableBits);
    const int32_t frac = static_cast<int32_t>((phase >> (16 - kTableBits)) & 0xFFFF);
    const int32_t a = t[index];
    const int32_t b = t[index + 1];
    return a + (b - a) * frac / 65536;
}

// Phase after n frames of a constant frequency num/den Hz.
uint32_t phase_const(uint64_t n, uint64_t num, uint64_t den) {
    const uint64_t d = den * kSampleRate;
    const uint64_t r = (n * num) % d;
    return static_cast<uint32_t>((r << 32) / d);
}

// Phase after n frames of a linear glide from f0 to f1 Hz over `length`
// frames: cycles = (f0 n + (f1 - f0) n^2 / (2 length)) / rate. The caller
// keeps the frequency positive over the glide, so the numerator is never
// negative.
uint32_t phase_glide(int64_t n, int64_t f0, int64_t f1, int64_t length) {
    const int64_t a = 2 * length * f0 * n + (f1 - f0) * n * n;
    const uint64_t ua = static_cast<uint64_t>(a);
    const uint64_t d = static_cast<uint64_t>(2 * length) * kSampleRate;
    const uint64_t frac16 = (ua % d) * 65536 / d;
    return static_cast<uint32_t>(frac16 << 16);
}

uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// White noise in [-32768, 32767] for frame n of stream `seed`.
int32_t noise(uint32_t seed, uint32_t n) {
    const uint32_t h = hash32(n * 0x9E3779B1U + hash32(seed + 0x632BE5ABU));
    return static_cast<int32_t>(h >> 16) - 32768;
}

// amplitude * value / 32768 with an amplitude in Q15.
int32_t scale(int32_t value, int32_t amplitude_q15) {
    return value * amplitude_q15 / 32768;
}

struct Frame {
    int32_t left = 0;
    int32_t right = 0;
};

Frame tone(int64_t n, int param) {
    const uint64_t f = param > 0 ? static_cast<uint64_t>(param < 20000 ? param : 20000) : 440;
    const int32_t s = scale(sine(phase_const(static_cast<uint64_t>(n), f, 1)), 9830);
    return {s, s};
}

// A just-intoned major triad: root, 5/4 and 3/2 of it, voices spread a
// little across the stereo field.
Frame chord(int64_t n, int param) {
    const uint64_t f = param > 0 ? static_cast<uint64_t>(param < 10000 ? param : 10000) : 262;
    const uint64_t un = static_cast<uint64_t>(n);
    const int32_t root = sine(phase_const(un, f * 4, 4));
    const int32_t third = sine(phase_const(un, f * 5, 4));
    const int32_t fifth = sine(phase_const(un, f * 6, 4));
    return {scale(root, 4600) + scale(third, 3000) + scale(fifth, 3900),
            scale(root, 4600) + scale(third, 3900) + scale(fifth, 3000)};
}

Frame sweep(int64_t n, int param, int frames) {
    int64_t f1 = param > 0 ? param : 4000;
    if (f1 > 8000)
        f1 = 8000;
    const int64_t f0 = f1 > 200 ? 100 : (f1 + 1) / 2;
    const int64_t length = frames > 0 ? frames : 1;
    const int32_t s = scale(sine(phase_glide(n, f0, f1, length)), 8200);
    return {s, s};
}

// Kick on beats one and three, snare on two and four, closed hats on
// every eighth.
Frame drums(int64_t n, int param) {
    const int64_t bpm = param > 0 && param <= 600 ? param : 120;
    const int64_t beat_len = int64_t{kSampleRate} * 60 / bpm;
    const int64_t beat = n / beat_len;
    const int64_t t = n % beat_len;
    int32_t mono = 0;
    if (beat % 2 == 0) {
        const int64_t len = beat_len < 11025 ? beat_len : 11025;
        if (t < len) {
            const int64_t rest = len - t;
            const int32_t env = static_cast<int32_t>(rest * rest * 32767 / (len * len));
            mono += scale(scale(sine(phase_glide(t, 130, 45, len)), env), 15000);
        }
    } else {
        const int64_t len = beat_len < 7938 ? beat_len : 7938;
        if (t < len) {
            const int64_t rest = len - t;
            const int32_t env =
                static_cast<int32_t>(rest * rest * rest * 32767 / (len * len * len));
            const int32_t body = sine(phase_const(static_cast<uint64_t>(t), 185, 1));
            const int32_t rattle = noise(0x5A4E, static_cast<uint32_t>(n));
            mono += scale(scale(body, 4000) + scale(rattle, 5500), env);
        }
    }
    Frame out{mono, mono};
    const int64_t half = beat_len / 2;
    const int64_t th = n % half;
    const int64_t hat_len = half < 1764 ? half : 1764;
    if (th < hat_len) {
        const int32_t env = static_cast<int32_t>((hat_len - th) * 32767 / hat_len);
        const uint32_t un = static_cast<uint32_t>(n);
        const int32_t hiss = (noise(0x4A7, un) - noise(0x4A7, un - 1)) / 2;
        const int32_t h = scale(hiss, env);
        out.left += scale(h, 3300);
        out.right += scale(h, 2400);
    }
    return out;
}

Frame white(int64_t n, int param) {
    const uint32_t seed = static_cast<uint32_t>(param);
    const uint32_t un = static_cast<uint32_t>(n);
    return {scale(noise(seed * 2U, un), 6000), scale(noise(seed * 2U + 1U, un), 6000)};
}

int16_t clamp16(int32_t v) {
    if (v > 32767)
        return 32767;
    if (v < -32768)
        return -32768;
    return static_cast<int16_t>(v);
}

} // namespace

void synth_render(const SoundDesc &desc, int first, int count, int16_t *out) {
    const int frames = desc.frames;
    const int fade = frames / 2 < 882 ? frames / 2 : 882; // 20 ms
    for (int i = 0; i < count; ++i) {
        const int64_t n = int64_t{first} + i;
        int16_t *o = out + 2 * static_cast<size_t>(i);
        if (n < 0 || n >= frames) {
            o[0] = 0;
            o[1] = 0;
            continue;
        }
        if (desc.sound == SoundKind::Ramp) {
            const uint32_t v = static_cast<uint32_t>(n) * 2U;
            o[0] = static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFFU));
            o[1] = static_cast<int16_t>(static_cast<uint16_t>((v + 1U) & 0xFFFFU));
            continue;
        }
        Frame f;
        switch (desc.sound) {
        case SoundKind::Tone:
            f = tone(n, desc.param);
            break;
        case SoundKind::Chord:
            f = chord(n, desc.param);
            break;
        case SoundKind::Sweep:
            f = sweep(n, desc.param, frames);
            break;
        case SoundKind::Drums:
            f = drums(n, desc.param);
            break;
        case SoundKind::Noise:
            f = white(n, desc.param);
            break;
        default:
            break;
        }
        if (fade > 0) {
            const int64_t from_end = frames - 1 - n;
            const int64_t edge = n < from_end ? n : from_end;
            if (edge < fade) {
                f.left = static_cast<int32_t>(f.left * edge / fade);
                f.right = static_cast<int32_t>(f.right * edge / fade);
            }
        }
        o[0] = clamp16(f.left);
        o[1] = clamp16(f.right);
    }
}

} // namespace music
