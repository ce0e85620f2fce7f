// WAV files of any sample format written byte by byte, and read back; the
// level of one frequency in delivered audio; how near a lossy decoding comes.
#ifndef TESTS_UNIT_MUSIC_WAV_FILE_H
#define TESTS_UNIT_MUSIC_WAV_FILE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace music_test {

struct WavSpec {
    int rate = 44100;
    int channels = 2;
    int bits = 16;
    bool is_float = false;
    bool extensible = false;
    uint32_t mask = 0;
    std::string artist = {}; // LIST/INFO, when not empty
    std::string title = {};
    std::string chunks = {}; // written whole before the data
    int tag = 0;             // the format tag, when not the usual one
    int container = 0;       // bytes per sample, when more than bits / 8
    bool rf64 = false;       // RF64: the sizes in a ds64 chunk
};

inline void put(std::string &out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

// The file's bytes for interleaved samples in [-1, 1], rounded.
inline std::string wav_bytes(const WavSpec &s, const std::vector<double> &samples) {
    const int bytes = s.container ? s.container : s.bits / 8;
    std::string fmt;
    put(fmt, s.tag ? s.tag : s.extensible ? 0xFFFE : (s.is_float ? 3 : 1), 2);
    put(fmt, static_cast<uint64_t>(s.channels), 2);
    put(fmt, static_cast<uint64_t>(s.rate), 4);
    put(fmt, static_cast<uint64_t>(s.rate * s.channels * bytes), 4);
    put(fmt, static_cast<uint64_t>(s.channels * bytes), 2);
    put(fmt, static_cast<uint64_t>(s.bits), 2);
    if (s.extensible) {
        put(fmt, 22, 2);
        put(fmt, static_cast<uint64_t>(s.bits), 2);
        put(fmt, s.mask, 4);
        put(fmt, s.is_float ? 3 : 1, 2);
        fmt.append("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string data;
    for (double v : samples) {
        const float f = static_cast<float>(v);
        uint64_t u = 0;
        if (s.is_float) {
            s.bits == 32 ? std::memcpy(&u, &f, 4) : std::memcpy(&u, &v, 8);
        } else { // 8-bit samples are unsigned
            const double scale = std::ldexp(1.0, s.bits - 1);
            u = static_cast<uint64_t>(static_cast<int64_t>(
                std::min(std::floor(v * scale + 0.5), scale - 1) + (s.bits == 8 ? scale : 0)));
        }
        put(data, u, bytes);
    }
    std::string body = "WAVE";
    body += "fmt ";
    put(body, fmt.size(), 4);
    body += fmt;
    if (!s.artist.empty() || !s.title.empty()) {
        std::string info = "INFO";
        for (const auto &[id, text] : {std::pair{"IART", s.artist}, std::pair{"INAM", s.title}}) {
            info += id;
            put(info, text.size() + 1, 4);
            info += text;
            info.push_back('\0');
            if ((text.size() + 1) & 1)
                info.push_back('\0');
        }
        body += "LIST";
        put(body, info.size(), 4);
        body += info;
    }
    body += s.chunks + "data";
    put(body, s.rf64 ? 0xFFFFFFFF : data.size(), 4);
    body += data;
    if (s.rf64) {
        std::string ds64 = "ds64";
        put(ds64, 28, 4);
        put(ds64, body.size() + 36, 8);
        put(ds64, data.size(), 8);
        put(ds64, data.size() / static_cast<size_t>(s.channels * bytes), 8);
        put(ds64, 0, 4);
        body.insert(4, ds64);
    }
    std::string file = s.rf64 ? "RF64" : "RIFF";
    put(file, s.rf64 ? 0xFFFFFFFF : body.size(), 4);
    return file + body;
}

// A sine of `hz` at `amplitude` on every channel, `frames` long.
inline std::vector<double> sine(int rate, int channels, double hz, double amplitude, int frames) {
    std::vector<double> out;
    for (int n = 0; n < frames; ++n) {
        const double v = amplitude * std::sin(2 * 3.14159265358979323846 * hz * n / rate);
        out.insert(out.end(), static_cast<size_t>(channels), v);
    }
    return out;
}

// The level (dB of full scale) of `hz` in the left channel of 44.1 kHz S16
// stereo, over one second from `first`: whole hertz fall on a bin.
inline double level_db(const std::vector<int16_t> &stereo, size_t first, double hz) {
    double re = 0.0;
    double im = 0.0;
    for (size_t n = 0; n < 44100; ++n) {
        const double x = stereo[2 * (first + n)] / 32768.0;
        const double phase = 2 * 3.14159265358979323846 * hz * static_cast<double>(n) / 44100.0;
        re += x * std::cos(phase);
        im += x * std::sin(phase);
    }
    const double amplitude = 2.0 * std::sqrt(re * re + im * im) / 44100.0;
    return 20.0 * std::log10(amplitude + 1e-30);
}

// The samples of a 16-bit WAV file that sox wrote (one data chunk, last).
inline std::vector<int16_t> wav_samples(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t data = bytes.find("data");
    if (data == std::string::npos || bytes.size() < data + 8)
        return {};
    std::vector<int16_t> samples((bytes.size() - data - 8) / 2);
    std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 2);
    return samples;
}

// Signal to noise in dB of `decoded` against `source` (both stereo), at the
// best lag up to max_lag frames either way: an encoder's delay left in.
inline double snr_db(const std::vector<int16_t> &decoded, const std::vector<int16_t> &source,
                     long long max_lag) {
    double best = -1e9;
    for (long long lag = -max_lag; lag <= max_lag; ++lag) {
        double signal = 0, noise = 0;
        for (size_t i = 0; i < source.size(); ++i) {
            const long long at = static_cast<long long>(i) + 2 * lag;
            const bool inside = at >= 0 && at < static_cast<long long>(decoded.size());
            const double d = (inside ? decoded[static_cast<size_t>(at)] : 0.0) - source[i];
            signal += static_cast<double>(source[i]) * source[i];
            noise += d * d;
        }
        best = std::max(best, 10 * std::log10(signal / (noise + 1e-9)));
    }
    return best;
}

} // namespace music_test

#endif
