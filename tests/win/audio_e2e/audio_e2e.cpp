// The audio path end to end: a playlist of three synthesized tracks played
// through the real session, music delivery, queue and audio output thread on
// the system's wave-out device, whose output ALSA writes to a file. The file
// must hold the three tracks' audio in order, bit for bit, with no gap and no
// repeat ("plain"); or, when track 1 is skipped while it plays, as the key N does
// ("skip"), a prefix of track 1 (what the device had been given) followed by
// tracks 2 and 3 from their first frames.
//
// The capture device is not paced and may keep back its last partial period
// until it is closed, which the program never does. So once the playlist has
// ended, the program keeps the device busy: it delivers a second of silence
// like any audio (and Wine itself feeds the device silence once the buffers
// run dry), waits until the file holds more than the three tracks and a
// second, and compares the part that holds the tracks. Wine may write
// silence before the first buffer; the tracks are looked for after it.
//
// Usage: audio_e2e plain|skip, with LORVANE_CAPTURE the capture file's Unix
// path. Exit status 0 when the captured audio is right.

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

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kRate = 44100;
constexpr size_t kFrameBytes = 4;
const char kUser[] = "e2e";
const char kPassword[] = "pcm";
const char kPlaylist[] = "Three tracks";

int failures = 0;

void fail(const char *what) {
    std::printf("FAIL: %s\n", what);
    ++failures;
}

Bytes track_bytes(int track) {
    const int frames = splocal_track_pcm(track, nullptr, 0);
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    splocal_track_pcm(track, samples.data(), frames);
    const auto *first = reinterpret_cast<const unsigned char *>(samples.data());
    return Bytes(first, first + samples.size() * 2);
}

// The main window's part: every posted block is borrowed and read.
long blocks_posted = 0;
long blocks_read = 0;
PcmQueue *window_queue = nullptr;

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == UM_AUDIO_BLOCK) {
        ++blocks_posted;
        const auto *block = reinterpret_cast<const PcmBlock *>(wparam);
        if (const PcmBlock *read = pcm_queue_borrow(window_queue, block)) {
            volatile int16_t sink = 0;
            const size_t count = read->sample_bytes() / 2;
            for (size_t k = 0; k < count; ++k)
                sink = static_cast<int16_t>(sink ^ read->samples()[k]);
            pcm_queue_give_back(window_queue);
            ++blocks_read;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

struct Player {
    HANDLE wake = nullptr;
    PcmQueue queue{};
    SessionState state{};
    HWND window = nullptr;

    // One pass as the main loop makes it, waiting at most 10 ms.
    void pass(int time_out) {
        MsgWaitForMultipleObjectsEx(1, &wake, time_out > 0 && time_out < 10 ? time_out : 10,
                                    QS_ALLINPUT, 0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }

    bool run_until(const std::function<bool()> &done, DWORD limit_ms) {
        const DWORD start = GetTickCount();
        int time_out = 0;
        while (!done()) {
            if (GetTickCount() - start > limit_ms)
                return false;
            time_out = session_process(&state);
            pass(time_out);
        }
        return true;
    }

    uint32_t track_index() {
        WaitForSingleObject(state.lock, INFINITE);
        const uint32_t index = state.track_index;
        ReleaseMutex(state.lock);
        return index;
    }
};

bool playlist_loaded(SessionState *state) {
    char **names = nullptr;
    const int count = session_list_playlists(state, &names);
    bool found = false;
    for (int i = 0; i < count; ++i) {
        found = found || std::strcmp(names[i], kPlaylist) == 0;
        std::free(names[i]);
    }
    delete[] names;
    return found;
}

size_t file_size(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<size_t>(data.nFileSizeLow) | (static_cast<size_t>(data.nFileSizeHigh) << 32);
}

Bytes read_file(const std::string &path) {
    Bytes bytes;
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        unsigned char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    return bytes;
}

// Where the first frames of want begin in capture, at a frame boundary,
// with nothing but silence before; npos when they are not there.
size_t find_start(const Bytes &capture, const Bytes &want) {
    const size_t probe = std::min<size_t>(want.size(), 4096);
    for (size_t at = 0; at + probe <= capture.size(); at += kFrameBytes) {
        if (std::memcmp(&capture[at], want.data(), probe) == 0)
            return at;
        if (capture[at] || capture[at + 1] || capture[at + 2] || capture[at + 3])
            return std::string::npos; // sound before the first track
    }
    return std::string::npos;
}

constexpr size_t npos = std::string::npos;

bool silent_frame(const Bytes &capture, size_t at) {
    return at + kFrameBytes <= capture.size() && !capture[at] && !capture[at + 1] &&
           !capture[at + 2] && !capture[at + 3];
}

// Follows want from want[from] through capture from capture[at], frame by
// frame, and returns how far it got in want. When the device ran dry it
// filled the gap with silence (Wine does, on the unpaced capture device):
// a run of silent frames where want has sound is passed over and counted in
// silence, as long as want then goes on right after it. Data the program
// lost, repeated or reordered never passes. at ends after the last frame
// matched.
size_t follow(const Bytes &capture, size_t &at, const Bytes &want, size_t from, size_t &silence) {
    size_t e = from;
    while (e + kFrameBytes <= want.size() && at + kFrameBytes <= capture.size()) {
        if (std::memcmp(&capture[at], &want[e], kFrameBytes) == 0) {
            at += kFrameBytes;
            e += kFrameBytes;
            continue;
        }
        if (!silent_frame(capture, at))
            break;
        size_t run = 0;
        while (silent_frame(capture, at + run))
            run += kFrameBytes;
        if (at + run + kFrameBytes > capture.size() ||
            std::memcmp(&capture[at + run], &want[e], kFrameBytes) != 0)
            break; // the silence is not a pause in want: leave it to the caller
        at += run;
        silence += run;
    }
    return e - from;
}

// Where in track the audio at capture[at] continues it, later than from
// (silence first is passed over); npos when it is no later part of track.
size_t find_later(const Bytes &capture, size_t &at, const Bytes &track, size_t from,
                  size_t &silence) {
    const size_t probe = 256;
    size_t start = at;
    while (silent_frame(capture, start))
        start += kFrameBytes;
    if (start + probe > capture.size())
        return npos;
    for (size_t offset = from + kFrameBytes; offset + probe <= track.size();
         offset += kFrameBytes) {
        if (std::memcmp(&capture[start], &track[offset], probe) == 0) {
            silence += start - at;
            at = start;
            return offset;
        }
    }
    return npos;
}

// Reports whether want was followed to its end.
bool followed_whole(const Bytes &capture, size_t &at, const Bytes &want, const char *what,
                    size_t &silence) {
    const size_t got = follow(capture, at, want, 0, silence);
    if (got == want.size())
        return true;
    std::printf("FAIL: %s differs from frame %zu of %zu%s\n", what, got / kFrameBytes,
                want.size() / kFrameBytes, at >= capture.size() ? " (capture ended)" : "");
    ++failures;
    return false;
}

std::string windows_path(const char *unix_path) {
    std::string path = std::string("Z:") + unix_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace

int main(int argc, char **argv) {
    const bool skip = argc > 1 && std::strcmp(argv[1], "skip") == 0;
    char capture_unix[1024];
    if (!GetEnvironmentVariableA("LORVANE_CAPTURE", capture_unix, sizeof capture_unix)) {
        std::printf("FAIL: LORVANE_CAPTURE is not set\n");
        return 1;
    }
    const std::string capture_path = windows_path(capture_unix);
    DeleteFileA(capture_path.c_str());

    // The catalogue: three tracks, each sound distinct from the others and
    // from itself at any other place, so a gap, a repeat or a swap shows.
    splocal_reset();
    splocal_set_latency(0);
    splocal_account_add(kUser, kPassword);
    const int tracks[3] = {
        splocal_track_add("Ramp", "One", SPLOCAL_SOUND_RAMP, 0, kRate * 3 / 2),
        splocal_track_add("Sweep", "Two", SPLOCAL_SOUND_SWEEP, 5000, kRate),
        splocal_track_add("Noise", "Three", SPLOCAL_SOUND_NOISE, 77, kRate * 3 / 4)};
    const int playlist = splocal_playlist_add(kUser, kPlaylist, -1);
    splocal_playlist_add_tracks(playlist, tracks, 3, -1);
    const Bytes one = track_bytes(tracks[0]), two = track_bytes(tracks[1]),
                three = track_bytes(tracks[2]);

    static Player player; // lives as long as the audio output thread
    player.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!session_state_init(&player.state, player.wake, &player.queue)) {
        std::printf("FAIL: session state\n");
        return 1;
    }
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "audio_e2e_window";
    RegisterClassA(&window_class);
    player.window = CreateWindowExA(0, "audio_e2e_window", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    window_queue = &player.queue;
    if (!audio_output_start(&player.queue, player.window)) {
        std::printf("FAIL: audio output thread\n");
        return 1;
    }

    if (session_connect(&player.state, kUser, kPassword) != 1 ||
        !player.run_until([] { return playlist_loaded(&player.state); }, 20000)) {
        std::printf("FAIL: login or playlist loading\n");
        return 1;
    }
    session_select_playlist(&player.state, kPlaylist);

    bool skipped = false;
    const bool ended = player.run_until(
        [&] {
            // Once the device is playing track 1 and the window has seen a
            // few of its blocks.
            if (skip && !skipped && splocal_player_track(player.state.session) == tracks[0] &&
                blocks_posted >= 4) {
                // The key N: stop the player, drop the queued audio, ask for
                // the next track.
                session_skip(&player.state);
                skipped = true;
            }
            return player.track_index() >= 3;
        },
        60000);
    if (!ended) {
        std::printf("FAIL: the playlist did not end\n");
        return 1;
    }

    // A second of silence, delivered like any audio, pushes the tracks'
    // last frames through the device and out of its last period.
    // Enough for all three tracks whole and a second after them.
    const size_t enough = one.size() + two.size() + three.size() + kRate * kFrameBytes;
    const std::vector<int16_t> quiet(1024 * 2, 0);
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, kRate, 2};
    for (int delivered = 0; delivered < kRate;) {
        if (on_music_delivery(player.state.session, &format, quiet.data(), 1024) == 1024)
            delivered += 1024;
        else
            player.pass(5);
    }
    // Wine feeds the device silence once the buffers run dry, so the file
    // soon holds more than the tracks.
    const DWORD start = GetTickCount();
    while (file_size(capture_path) < enough && GetTickCount() - start < 30000)
        player.pass(10);

    const Bytes capture = read_file(capture_path);
    std::printf("captured %zu frames; %ld blocks posted to the window, %ld read\n",
                capture.size() / kFrameBytes, blocks_posted, blocks_read);
    if (blocks_posted == 0)
        fail("no block was posted to the window");

    size_t at = find_start(capture, one);
    if (at == std::string::npos) {
        fail("track 1 does not start the capture");
        return 1;
    }
    std::printf("track 1 starts after %zu frames of silence\n", at / kFrameBytes);
    size_t silence = 0; // frames of silence the device put between the buffers
    if (!skip) {
        Bytes all = one;
        all.insert(all.end(), two.begin(), two.end());
        all.insert(all.end(), three.begin(), three.end());
        if (followed_whole(capture, at, all, "the three tracks", silence))
            std::printf("tracks 1, 2 and 3 captured bit for bit, in order\n");
    } else {
        const size_t old = follow(capture, at, one, 0, silence);
        std::printf("track 1 was heard for %zu of %zu frames\n", old / kFrameBytes,
                    one.size() / kFrameBytes);
        if (!skipped || old >= one.size())
            fail("track 1 was not cut short");
        // The player stops before the queue is emptied: nothing of track 1
        // delivered after the skip may be heard.
        size_t later = find_later(capture, at, one, old, silence);
        if (later != npos) {
            std::printf("FAIL: then frames from %zu of track 1, delivered after the skip\n",
                        later / kFrameBytes);
            ++failures;
            at += follow(capture, at, one, later, silence);
        }
        Bytes rest = two;
        rest.insert(rest.end(), three.begin(), three.end());
        if (followed_whole(capture, at, rest, "tracks 2 and 3 after the skip", silence))
            std::printf("track 2 follows track 1 from its first frame, then track 3\n");
    }
    std::printf("the device put %zu frames of silence between buffers\n", silence / kFrameBytes);
    std::printf(failures ? "FAILED\n" : "PASSED\n");
    return failures ? 1 : 0;
}
