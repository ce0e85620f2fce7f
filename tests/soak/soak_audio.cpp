// Endurance of the audio path on Wine's real wave-out device: a long
// playlist played through the session, music delivery, the queue and the
// audio output thread, with ALSA writing everything the device plays into a
// file (the capture device is not paced: it runs several times faster than
// real time). The captured audio must be the catalogue's, bit for bit, in
// order; the process's committed memory and its open handles are sampled
// every two seconds and must stay flat once playing has settled.
//
// Usage: soak_audio SECONDS, with LORVANE_CAPTURE the capture file's Unix
// path: SECONDS of audio in one-minute tracks (the last one shorter). Prints
// the samples ("t s, audio s, committed KiB, handles") and exits 0 when the
// audio is right and nothing grew.

#include "app/user_messages.h"
#include "audio/audio_output.h"
#include "audio/block_lending.h"
#include "audio/music_delivery.h"
#include "audio/pcm_queue.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <libspotify/local.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr size_t kFrame = 4;
const char kPlaylist[] = "Long play";

HANDLE wake;
PcmQueue queue;
SessionState state;

// The main window's part: every posted block is borrowed and read.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != UM_AUDIO_BLOCK)
        return DefWindowProcA(window, message, wparam, lparam);
    if (const PcmBlock *read = pcm_queue_borrow(&queue, reinterpret_cast<PcmBlock *>(wparam))) {
        volatile int16_t sink = 0;
        for (size_t k = 0; k < read->sample_bytes() / 2; ++k)
            sink = static_cast<int16_t>(sink ^ read->samples()[k]);
        pcm_queue_give_back(&queue);
    }
    return 0;
}

// One pass as the main loop makes it, waiting at most 10 ms.
void pass(int time_out) {
    MsgWaitForMultipleObjectsEx(1, &wake, time_out > 0 && time_out < 10 ? time_out : 10,
                                QS_ALLINPUT, 0);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

bool run_until(const std::function<bool()> &done, DWORD limit_ms) {
    for (const DWORD start = GetTickCount(); !done(); pass(session_process(&state)))
        if (GetTickCount() - start > limit_ms)
            return false;
    return true;
}

struct Sample {
    double seconds, audio_seconds;
    size_t committed_kib;
    DWORD handles;
};

// Handles open in the process: Wine does not count them for
// GetProcessHandleCount, so every handle value up to 65 536 is tried.
DWORD open_handles() {
    DWORD count = 0, flags = 0;
    for (uintptr_t value = 4; value < 65536; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

Sample sample_now(DWORD start, long long frames_heard) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return {(GetTickCount() - start) / 1000.0, static_cast<double>(frames_heard) / kRate,
            memory.PagefileUsage / 1024, open_handles()};
}

// Reads the capture frame by frame from the start.
class Capture {
public:
    explicit Capture(const std::string &path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~Capture() {
        if (file_)
            std::fclose(file_);
    }
    // The next frame, or false at the end.
    bool next(uint32_t &frame) {
        if (at_ == buffer_.size()) {
            buffer_.resize(1 << 16);
            buffer_.resize(file_ ? std::fread(buffer_.data(), kFrame, buffer_.size(), file_) : 0);
            at_ = 0;
            if (buffer_.empty())
                return false;
        }
        frame = buffer_[at_++];
        ++read_;
        return true;
    }
    void back() { --at_, --read_; } // only right after a next() that gave a frame
    size_t read() const { return read_; }

private:
    std::FILE *file_;
    std::vector<uint32_t> buffer_;
    size_t at_ = 0, read_ = 0;
};

// Follows the track's audio through the capture; runs of silence where the
// track has sound are passed over (Wine writes them where the device ran
// dry), anything else that differs fails.
bool follow(Capture &capture, int track) {
    std::vector<uint32_t> want(static_cast<size_t>(splocal_track_pcm(track, nullptr, 0)));
    splocal_track_pcm(track, reinterpret_cast<int16_t *>(want.data()),
                      static_cast<int>(want.size()));
    for (size_t e = 0; e < want.size(); ++e) {
        uint32_t frame = 0;
        bool got = capture.next(frame);
        while (got && frame == 0 && want[e] != 0)
            got = capture.next(frame);
        if (!got || frame != want[e]) {
            std::printf("FAIL: track %d differs at its frame %zu (capture frame %zu)%s\n", track, e,
                        capture.read(), got ? "" : ": capture ended");
            return false;
        }
    }
    return true;
}

// Growth once settled: the greatest value of the last third against the
// greatest of the first third after the first tenth.
template <typename Get> long long growth(const std::vector<Sample> &samples, Get get) {
    const size_t n = samples.size(), settled = n / 10, third = (n - settled) / 3;
    long long early = 0, late = 0;
    for (size_t i = settled; i < settled + third; ++i)
        early = std::max(early, static_cast<long long>(get(samples[i])));
    for (size_t i = n - third; i < n; ++i)
        late = std::max(late, static_cast<long long>(get(samples[i])));
    return late - early;
}

bool soak(int seconds, const std::string &capture_path) {
    splocal_reset();
    splocal_set_latency(0);
    splocal_account_add("soak", "pcm");
    std::vector<int> tracks;
    for (int left = seconds * kRate, i = 0; left > 0; left -= 60 * kRate, ++i)
        tracks.push_back(splocal_track_add("Soak", ("Part " + std::to_string(i)).c_str(),
                                           SPLOCAL_SOUND_NOISE, 1000 + i,
                                           std::min(left, 60 * kRate)));
    splocal_playlist_add_tracks(splocal_playlist_add("soak", kPlaylist, -1), tracks.data(),
                                static_cast<int>(tracks.size()), -1);

    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.lpszClassName = "soak_window";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "soak_window", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    if (!session_state_init(&state, wake, &queue) || !audio_output_start(&queue, window))
        return std::printf("FAIL: session state or audio output thread\n"), false;
    if (session_connect(&state, "soak", "pcm") != 1)
        return std::printf("FAIL: login\n"), false;
    const auto loaded = [] {
        char **names = nullptr;
        const int count = session_list_playlists(&state, &names);
        for (int i = 0; i < count; ++i)
            std::free(names[i]);
        delete[] names;
        return count > 0;
    };
    if (!run_until(loaded, 20000))
        return std::printf("FAIL: the playlist did not load\n"), false;
    session_select_playlist(&state, kPlaylist);

    // Frames of earlier tracks plus the current track's position: what the
    // library has handed over, within a second of what was heard.
    const DWORD start = GetTickCount();
    std::vector<Sample> samples;
    DWORD next_sample = start;
    const auto ended = [&] {
        WaitForSingleObject(state.lock, INFINITE);
        const size_t index = state.track_index;
        ReleaseMutex(state.lock);
        if (GetTickCount() >= next_sample) {
            long long frames = index < tracks.size() ? splocal_player_position(state.session) : 0;
            for (size_t i = 0; i < index && i < tracks.size(); ++i)
                frames += splocal_track_pcm(tracks[i], nullptr, 0);
            samples.push_back(sample_now(start, frames));
            const Sample &s = samples.back();
            std::printf("%8.1f s %8.1f s audio %8zu KiB %5lu handles\n", s.seconds, s.audio_seconds,
                        s.committed_kib, static_cast<unsigned long>(s.handles));
            std::fflush(stdout);
            next_sample += 2000;
        }
        return index >= tracks.size();
    };
    if (!run_until(ended, static_cast<DWORD>(seconds) * 1000 + 120000))
        return std::printf("FAIL: the playlist did not end\n"), false;

    // A second of silence pushes the last frames out of the device's last
    // period; the capture then holds every track.
    const std::vector<int16_t> quiet(1024 * 2, 0);
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, kRate, 2};
    for (int delivered = 0; delivered < kRate; pass(5))
        if (on_music_delivery(state.session, &format, quiet.data(), 1024) == 1024)
            delivered += 1024;
    const unsigned long long enough =
        (static_cast<unsigned long long>(seconds) + 1) * kRate * kFrame;
    for (const DWORD waited = GetTickCount(); GetTickCount() - waited < 60000; pass(10)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExA(capture_path.c_str(), GetFileExInfoStandard, &data) &&
            ((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) >=
                enough)
            break;
    }

    Capture capture(capture_path);
    for (int track : tracks)
        if (!follow(capture, track))
            return false;
    std::printf("%zu tracks, %d s of audio bit-exact in %.1f s\n", tracks.size(), seconds,
                (GetTickCount() - start) / 1000.0);
    if (samples.size() < 6)
        return std::printf("FAIL: too short to judge growth\n"), false;
    const long long memory = growth(samples, [](const Sample &s) { return s.committed_kib; });
    const long long handles = growth(samples, [](const Sample &s) { return s.handles; });
    std::printf("growth once settled: %lld KiB committed, %lld handles\n", memory, handles);
    if (memory > 4096 || handles > 8)
        return std::printf("FAIL: memory or handles grew\n"), false;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    const char *capture = std::getenv("LORVANE_CAPTURE");
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (!capture || seconds <= 0) {
        std::printf("usage: LORVANE_CAPTURE=<file> soak_audio SECONDS\n");
        return 2;
    }
    const std::string capture_path = std::string("Z:") + capture;
    DeleteFileA(capture_path.c_str());
    const bool passed = soak(seconds, capture_path);
    std::printf(passed ? "PASSED\n" : "FAILED\n");
    return passed ? 0 : 1;
}
