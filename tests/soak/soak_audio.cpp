// Endurance of the audio path on Wine's wave-out device, captured by ALSA to a
// file (unpaced): SECONDS of audio in one-minute tracks through the session,
// music delivery, the queue and the output thread must be captured bit for
// bit, while committed memory and open handles stay flat once settled.
// Usage: LORVANE_CAPTURE=<Unix path> soak_audio SECONDS; exits 0 on success.

#include "audio/audio_output.h"
#include "audio/music_delivery.h"
#include "audio/pcm_queue.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <libspotify/local.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
HANDLE wake;
PcmQueue queue;
SessionState state;

template <typename Done> bool run_until(Done done, DWORD limit_ms) {
    for (const DWORD start = GetTickCount(); !done();) {
        if (GetTickCount() - start > limit_ms)
            return false;
        const int wait = session_process(&state);
        WaitForSingleObject(wake, wait > 0 && wait < 10 ? static_cast<DWORD>(wait) : 10);
    }
    return true;
}

// Committed memory in KiB and open handles (every value up to 65 536 is
// tried: Wine's GetProcessHandleCount does not count them).
std::array<long long, 2> usage() {
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    long long handles = 0;
    DWORD flags = 0;
    for (uintptr_t value = 4; value < 65536; value += 4)
        handles += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return {static_cast<long long>(memory.PagefileUsage / 1024), handles};
}

// Follows the tracks through the capture, passing over silence where a track
// has sound (Wine writes it where the device ran dry).
bool capture_holds(const std::string &path, const std::vector<int> &tracks) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"),
                                                                std::fclose);
    uint32_t frame = 0;
    size_t read = 0;
    const auto next = [&] { return file && std::fread(&frame, 4, 1, file.get()) == 1 && ++read; };
    for (size_t t = 0; t < tracks.size(); ++t) {
        std::vector<uint32_t> want(static_cast<size_t>(splocal_track_pcm(tracks[t], nullptr, 0)));
        splocal_track_pcm(tracks[t], reinterpret_cast<int16_t *>(want.data()),
                          static_cast<int>(want.size()));
        for (size_t e = 0; e < want.size(); ++e) {
            bool got = next();
            while (got && frame == 0 && want[e] != 0)
                got = next();
            if (!got || frame != want[e])
                return std::printf("FAIL: track %zu differs at its frame %zu (capture frame %zu)\n",
                                   t, e, read),
                       false;
        }
    }
    return true;
}

bool soak(int seconds, const std::string &capture_path) {
    splocal_reset();
    splocal_set_latency(0);
    splocal_account_add("soak", "pcm");
    std::vector<int> tracks;
    for (int left = seconds * kRate, i = 0; left > 0; left -= 60 * kRate, ++i)
        tracks.push_back(splocal_track_add("Soak", "Part", SPLOCAL_SOUND_NOISE, 1000 + i,
                                           std::min(left, 60 * kRate)));
    splocal_playlist_add_tracks(splocal_playlist_add("soak", "Long play", -1), tracks.data(),
                                static_cast<int>(tracks.size()), -1);
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // The playlist is followed by name: chosen at the login, it plays once loaded.
    if (!session_state_init(&state, wake, &queue) || !audio_output_start(&queue, nullptr) ||
        session_connect(&state, "soak", "pcm") != 1 ||
        !run_until([] { return state.container != nullptr; }, 20000))
        return std::printf("FAIL: no session, sound or login\n"), false;
    session_select_playlist(&state, "Long play");

    // Memory and handles every two seconds.
    std::vector<std::array<long long, 2>> samples;
    const DWORD start = GetTickCount();
    DWORD due = start;
    const auto ended = [&] {
        if (GetTickCount() >= due) {
            samples.push_back(usage());
            const double audio =
                (state.track_index * 60.0 * kRate + splocal_player_position(state.session)) / kRate;
            std::printf("%7.1f s %8.1f s audio %8lld KiB %5lld handles\n",
                        (GetTickCount() - start) / 1000.0, std::min(audio, 1.0 * seconds),
                        samples.back()[0], samples.back()[1]);
            std::fflush(stdout);
            due += 2000;
        }
        return state.track_index >= tracks.size();
    };
    if (!run_until(ended, static_cast<DWORD>(seconds) * 1000 + 120000))
        return std::printf("FAIL: the playlist did not end\n"), false;

    // A second of silence pushes the last frames out of the device's period.
    const std::vector<int16_t> quiet(1024 * 2, 0);
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, kRate, 2};
    for (int delivered = 0; delivered < kRate; Sleep(5))
        delivered += on_music_delivery(state.session, &format, quiet.data(), 1024);
    const unsigned long long enough = (seconds + 1ull) * kRate * 4;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    for (const DWORD waited = GetTickCount(); GetTickCount() - waited < 60000; Sleep(10))
        if (GetFileAttributesExA(capture_path.c_str(), GetFileExInfoStandard, &data) &&
            (uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow) >= enough)
            break;
    if (!capture_holds(capture_path, tracks))
        return false;
    std::printf("%d s of audio bit-exact in %.1f s\n", seconds, (GetTickCount() - start) / 1000.0);

    // Growth: the most of the last third against the first third after a tenth.
    const size_t n = samples.size(), settled = n / 10, third = (n - settled) / 3;
    if (third == 0)
        return std::printf("FAIL: too short to judge growth\n"), false;
    long long growth[2] = {}; // memory, handles
    for (int k : {0, 1}) {
        long long early = 0, late = 0;
        for (size_t i = 0; i < third; ++i)
            early = std::max(early, samples[settled + i][k]),
            late = std::max(late, samples[n - third + i][k]);
        growth[k] = late - early;
    }
    std::printf("growth once settled: %lld KiB committed, %lld handles\n", growth[0], growth[1]);
    return growth[0] <= 4096 && growth[1] <= 8;
}

} // namespace

int main(int argc, char **argv) {
    const char *capture = std::getenv("LORVANE_CAPTURE");
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (!capture || seconds <= 0)
        return std::printf("usage: LORVANE_CAPTURE=<file> soak_audio SECONDS\n"), 2;
    const std::string capture_path = std::string("Z:") + capture;
    DeleteFileA(capture_path.c_str());
    const bool passed = soak(seconds, capture_path);
    return std::printf(passed ? "PASSED\n" : "FAILED\n"), passed ? 0 : 1;
}
