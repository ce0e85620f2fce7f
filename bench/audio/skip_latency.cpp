// How long the player's keys take to be heard: from what the main window
// does on the key to the device's answer, with the real session on the
// local streaming library (its default 20 ms latency for loading a track)
// and the audio output thread on the in-memory wave-out device in real time.
//
//   skip_latency SKIPS
//     plays a playlist of SKIPS + 1 ten-second tracks, skipping each after
//     1.5 s of play; prints the latency of "Start playing" (the playlist's
//     selection to its first block at the device), each skip's, and the
//     skips' mean and greatest in ms. Then, SKIPS times each: Space (to the
//     device paused), Space again (to the next block played), P within 3 s
//     (to the previous track's first block), P after 3 s (to the same
//     track's first block) and another playlist chosen in the dialog shown
//     again (to its first track's first block), a seek 5 s forward and one
//     back (to the first block of the new position) and a volume step (to
//     the device's new volume); their mean and greatest.
//
// The device starts a block when the one before it comes back, and the
// thread posts UM_AUDIO_BLOCK for it at that moment: the post of the block
// that begins the next track is the first sample of that track heard.

#include "audio/audio_output.h"
#include "audio/pcm_queue.h"
#include "audio/user_messages.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <libspotify/local.h>
#include <posix_wave_out.h>
#include <posix_win32_testing.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;
constexpr int kChunk = 1024;

HANDLE wake;
PcmQueue queue;
SessionState state;

// The next track's first chunk, set by the main thread before the skip;
// the time its block started playing, set by the post hook.
std::vector<int16_t> awaited;
std::atomic<bool> awaiting{false};
std::atomic<bool> awaiting_any{false}; // any block at all
std::atomic<Clock::rep> heard_at{0};

void on_post(const PosixPostedMessage *message, void *) {
    const auto *block = reinterpret_cast<const PcmBlock *>(message->wparam);
    if (awaiting_any.load()) {
        heard_at.store(Clock::now().time_since_epoch().count());
        awaiting_any.store(false);
    }
    if (awaiting.load() && block->sample_bytes() == awaited.size() * 2 &&
        std::memcmp(block->samples(), awaited.data(), block->sample_bytes()) == 0) {
        heard_at.store(Clock::now().time_since_epoch().count());
        awaiting.store(false);
    }
}

// Main loop passes for a while, or until done.
template <typename Done> void passes(Clock::duration time, Done done) {
    for (const auto end = Clock::now() + time; Clock::now() < end && !done();) {
        const int wait = session_process(&state);
        WaitForSingleObject(wake, wait > 0 && wait < 5 ? static_cast<DWORD>(wait) : 5);
    }
}

// Awaits the chunk of track that starts at frame first at the device.
void await(int track, int first = 0) {
    std::vector<int16_t> from_start(size_t{2} * static_cast<size_t>(first + kChunk));
    splocal_track_pcm(track, from_start.data(), first + kChunk);
    awaited.assign(from_start.end() - 2 * kChunk, from_start.end());
    awaiting.store(true);
}

Clock::time_point heard_time() {
    return Clock::time_point{Clock::duration{heard_at.load()}};
}

double ms_since(Clock::time_point then, Clock::time_point pressed) {
    return std::chrono::duration<double, std::milli>(then - pressed).count();
}

void report(const char *what, const std::vector<double> &latencies) {
    if (latencies.empty())
        return;
    double sum = 0;
    for (double latency : latencies)
        sum += latency;
    std::printf("%s: %zu, latency ms: mean %.1f  greatest %.1f\n", what, latencies.size(),
                sum / static_cast<double>(latencies.size()),
                *std::max_element(latencies.begin(), latencies.end()));
}

// Milliseconds from press() to track's first block at the device, or -1
// when it was not heard within 5 s.
template <typename Press> double key_to_first_block(int track, Press press) {
    await(track);
    const Clock::time_point pressed = Clock::now();
    press();
    passes(std::chrono::seconds(5), [] { return !awaiting.load(); });
    return awaiting.load() ? -1 : ms_since(heard_time(), pressed);
}

} // namespace

int main(int argc, char **argv) {
    const int skips = argc > 1 ? std::atoi(argv[1]) : 10;
    posix_wave_out_set_pace(POSIX_WAVE_OUT_REAL_TIME);
    posix_wave_out_set_recording(0);
    posix_set_post_hook(on_post, nullptr);
    splocal_account_add("bench", "pcm");
    std::vector<int> tracks;
    for (int i = 0; i <= skips; ++i)
        tracks.push_back(
            splocal_track_add("Bench", "Track", SPLOCAL_SOUND_NOISE, i + 1, 10 * kRate));
    splocal_playlist_add_tracks(splocal_playlist_add("bench", "Skips", -1), tracks.data(),
                                static_cast<int>(tracks.size()), -1);
    const int other_track =
        splocal_track_add("Bench", "Other", SPLOCAL_SOUND_NOISE, skips + 2, 10 * kRate);
    splocal_playlist_add_tracks(splocal_playlist_add("bench", "Other", -1), &other_track, 1, -1);

    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!session_state_init(&state, wake, &queue) ||
        !audio_output_start(&queue, reinterpret_cast<HWND>(uintptr_t{1})) ||
        session_connect(&state, "bench", "pcm") != 1) {
        std::fprintf(stderr, "no session\n");
        return 1;
    }
    passes(std::chrono::milliseconds(500), [] { return false; });

    // Step 0 is "Start playing" (the first track's first block); each later
    // one a skip to the next track.
    std::vector<double> latencies;
    for (int i = 0; i <= skips; ++i) {
        await(tracks[static_cast<size_t>(i)]);
        const Clock::time_point pressed = Clock::now();
        if (i == 0)
            session_select_playlist(&state, "Skips");
        else
            session_skip(&state);
        passes(std::chrono::seconds(5), [] { return !awaiting.load(); });
        if (awaiting.load()) {
            std::fprintf(stderr, "step %d: the track was not heard within 5 s\n", i);
            return 1;
        }
        const double ms = ms_since(heard_time(), pressed);
        std::printf(i == 0 ? "start: %.1f ms\n" : "skip: %.1f ms\n", ms);
        if (i > 0)
            latencies.push_back(ms);
        passes(std::chrono::milliseconds(1500), [] { return false; });
    }
    report("skips", latencies);
    if (skips < 1)
        return 0;

    // The other keys, SKIPS rounds of each.
    std::vector<double> pause, resume, previous, again, other, seeks, volume;
    for (int i = 0; i < skips; ++i) {
        Clock::time_point pressed = Clock::now();
        session_toggle_pause(&state);
        passes(std::chrono::seconds(2), [] { return posix_wave_out_wait_paused(1, 0) != 0; });
        pause.push_back(ms_since(Clock::now(), pressed));
        passes(std::chrono::milliseconds(500), [] { return false; });
        // Resumed: the next block the device starts.
        awaiting_any.store(true);
        pressed = Clock::now();
        session_toggle_pause(&state);
        passes(std::chrono::seconds(2), [] { return !awaiting_any.load(); });
        resume.push_back(ms_since(heard_time(), pressed));
        passes(std::chrono::milliseconds(500), [] { return false; });

        // The dialog shown again: the other playlist, then this one again,
        // each from its first track.
        for (const int first : {other_track, tracks[0]}) {
            await(first);
            pressed = Clock::now();
            session_switch_playlist(&state, first == other_track ? "Other" : "Skips");
            passes(std::chrono::seconds(5), [] { return !awaiting.load(); });
            other.push_back(ms_since(heard_time(), pressed));
            passes(std::chrono::milliseconds(1000), [] { return false; });
        }

        // P within 3 s of the second track's start: the first track.
        await(tracks[1]);
        session_skip(&state);
        passes(std::chrono::seconds(5), [] { return !awaiting.load(); });
        passes(std::chrono::milliseconds(1000), [] { return false; });
        previous.push_back(key_to_first_block(tracks[0], [] { session_previous(&state); }));
        // P after 3 s: the same track from its start.
        passes(std::chrono::milliseconds(3500), [] { return false; });
        again.push_back(key_to_first_block(tracks[0], [] { session_previous(&state); }));

        // A seek forward, then one back: to the first block of the position
        // sought, which the library delivers from its frame on.
        for (const int32_t delta : {5000, -5000}) {
            const uint32_t target = session_position_ms(&state) + static_cast<uint32_t>(delta);
            await(tracks[0], static_cast<int>(uint64_t{target} * kRate / 1000));
            pressed = Clock::now();
            session_seek_by(&state, delta);
            passes(std::chrono::seconds(5), [] { return !awaiting.load(); });
            seeks.push_back(ms_since(heard_time(), pressed));
            passes(std::chrono::milliseconds(500), [] { return false; });
        }
        // A volume step down and back up: to the device's new volume.
        for (const int steps : {-1, 1}) {
            const DWORD before = posix_wave_out_volume();
            pressed = Clock::now();
            session_change_volume(&state, steps);
            while (posix_wave_out_volume() == before &&
                   Clock::now() - pressed < std::chrono::seconds(2))
                std::this_thread::yield();
            volume.push_back(ms_since(Clock::now(), pressed));
            passes(std::chrono::milliseconds(100), [] { return false; });
        }
        if (awaiting.load() || awaiting_any.load() || !posix_wave_out_wait_paused(0, 0)) {
            std::fprintf(stderr, "round %d: a key was not answered within its time\n", i);
            return 1;
        }
    }
    report("Space (pause)", pause);
    report("Space (resume)", resume);
    report("P within 3 s", previous);
    report("P after 3 s", again);
    report("another playlist", other);
    report("seek 5 s", seeks);
    report("volume step", volume);
    posix_wave_out_halt();
    return 0;
}
