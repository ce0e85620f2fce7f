// wav_open_bench [ROUNDS] [FOLDER]: the time to open WAV files whose chunks
// are far apart, against a plain file of the same second of audio, opened
// in turn in each round (default 20); medians, and their ratio to the plain
// file's. The files are sparse (their zeros cost no disk), made under FOLDER
// (default the system's temporary folder) and removed at the end: the
// figures are the reader's own work, reading zeros from the system's cache.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/decoder.h"

namespace {

namespace fs = std::filesystem;

void put32(std::string &out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

// RIFF size 0 and a format chunk (16-bit stereo, 44.1 kHz); then `gap`
// zero bytes and a data chunk of one second of sound, when `samples`.
void write_wav(const fs::path &path, int64_t gap, bool samples) {
    std::string head(
        "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0", 36);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << head;
    fs::resize_file(path, head.size() + static_cast<uint64_t>(gap));
    if (!samples)
        return;
    std::string data = "data";
    put32(data, 44100 * 4);
    for (uint32_t n = 0, x = 1; n < 44100 * 2; ++n, x = x * 1664525 + 1013904223)
        data.append({static_cast<char>(x >> 16), static_cast<char>(x >> 24)});
    std::ofstream(path, std::ios::binary | std::ios::app) << data;
}

double open_ms(const fs::path &path, std::string &why) {
    const auto start = std::chrono::steady_clock::now();
    why.clear();
    const bool opened = music::open_decoder(path.string(), why) != nullptr;
    if (opened)
        why = "opens";
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const fs::path folder =
        (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) / "wav_open_bench";
    fs::create_directories(folder);
    struct File {
        const char *name;
        int64_t gap;
        bool samples;
        std::vector<double> ms = {};
        std::string why = {};
    };
    std::vector<File> files = {{"plain.wav", 0, true},
                               {"gap-16MiB.wav", int64_t{16} << 20, true},
                               {"gap-256MiB.wav", int64_t{256} << 20, true},
                               {"reserved-2GiB.wav", int64_t{2} << 30, false}};
    for (const File &f : files)
        write_wav(folder / f.name, f.gap, f.samples);
    for (int round = 0; round < rounds; ++round) {
        for (File &f : files)
            f.ms.push_back(open_ms(folder / f.name, f.why));
    }
    std::printf("%-20s %12s %10s  %s\n", "file", "median ms", "ratio", "outcome");
    double plain = 0;
    for (File &f : files) {
        std::sort(f.ms.begin(), f.ms.end());
        const double median = f.ms[f.ms.size() / 2];
        if (plain == 0)
            plain = median;
        std::printf("%-20s %12.3f %10.1f  %s\n", f.name, median, median / plain, f.why.c_str());
    }
    fs::remove_all(folder);
    return 0;
}
