// What the audio path costs per second of audio, in instructions, for
// callgrind (scripts/bench-audio).
//
//   audio_bench pipeline FRAMES SECONDS
//     SECONDS of 44 100 Hz stereo offered to on_music_delivery in deliveries
//     of FRAMES frames, as the library's delivering thread does (a refused
//     delivery is offered again after a pause), queued, and played by the
//     audio output thread on the in-memory wave-out device, unpaced and
//     keeping no copy of what it plays.
//   audio_bench memcpy FRAMES SECONDS
//     the baseline: the same audio copied with memcpy, FRAMES frames at a
//     time, into one buffer.
//
// Only the part between the two client requests is measured: the setup
// (catalogue, session, device opening, the audio itself) is not.

#include "audio/audio_output.h"
#include "audio/music_delivery.h"
#include "audio/pcm_queue.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <libspotify/local.h>
#include <posix_wave_out.h>

#include <windows.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 44100;

std::vector<int16_t> make_audio(size_t frames) {
    std::vector<int16_t> samples(frames * 2);
    for (size_t k = 0; k < samples.size(); ++k)
        samples[k] = static_cast<int16_t>(k * 7);
    return samples;
}

int run_memcpy(size_t chunk, size_t frames) {
    const std::vector<int16_t> audio = make_audio(frames);
    std::vector<int16_t> copy(audio.size());
    CALLGRIND_ZERO_STATS;
    for (size_t at = 0; at < frames; at += chunk) {
        const size_t n = at + chunk <= frames ? chunk : frames - at;
        std::memcpy(&copy[at * 2], &audio[at * 2], n * 4);
    }
    CALLGRIND_DUMP_STATS_AT("measured");
    return copy[frames] == audio[frames] ? 0 : 1;
}

int run_pipeline(size_t chunk, size_t frames) {
    const std::vector<int16_t> audio = make_audio(frames + 4 * static_cast<size_t>(kRate));

    splocal_reset();
    splocal_set_latency(0);
    static PcmQueue queue{};
    static SessionState state{};
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!session_state_init(&state, wake, &queue))
        return 1;
    session_connect(&state, "bench", "bench"); // creates the session
    if (!state.session)
        return 1;

    posix_wave_out_reset();
    posix_wave_out_set_pace(POSIX_WAVE_OUT_UNPACED);
    posix_wave_out_set_recording(0);
    if (!audio_output_start(&queue, nullptr))
        return 1;

    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, kRate, 2};
    // The device opens and primes on the first blocks: not measured.
    size_t at = 0;
    while (at < 16 * chunk) {
        if (on_music_delivery(state.session, &format, &audio[at * 2], static_cast<int>(chunk)) > 0)
            at += chunk;
        else
            Sleep(1);
    }
    posix_wave_out_wait_played(4 * chunk * 4, 60000);

    CALLGRIND_ZERO_STATS;
    const size_t start = at;
    while (at < start + frames) {
        if (on_music_delivery(state.session, &format, &audio[at * 2], static_cast<int>(chunk)) > 0)
            at += chunk;
        else
            Sleep(1); // back-pressure: the library offers again later
    }
    // Everything but the eight buffers the thread keeps in the device.
    const bool played = posix_wave_out_wait_played((at - 8 * chunk) * 4, 600000) != 0;
    CALLGRIND_DUMP_STATS_AT("measured");

    posix_wave_out_halt(); // the output thread stays parked until exit
    splocal_session_release(state.session);
    std::printf("%zu frames delivered in %zu-frame deliveries\n", at - start, chunk);
    return played ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: audio_bench pipeline|memcpy FRAMES SECONDS\n");
        return 2;
    }
    const size_t chunk = std::strtoul(argv[2], nullptr, 10);
    const size_t frames = std::strtoul(argv[3], nullptr, 10) * kRate / chunk * chunk;
    if (chunk == 0 || frames == 0)
        return 2;
    if (std::strcmp(argv[1], "memcpy") == 0)
        return run_memcpy(chunk, frames);
    return run_pipeline(chunk, frames);
}
