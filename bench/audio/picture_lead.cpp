// How far the picture runs ahead of the sound: for every UM_AUDIO_BLOCK the
// audio output thread posts, the posted block's place in the stream against
// the device's position at the moment of the post.
//
//   picture_lead SECONDS
//     SECONDS of 44 100 Hz stereo in 1024-frame blocks, queued as music
//     delivery queues them (at most about a second ahead), and played by the
//     audio output thread on the in-memory wave-out device in real time.
//
// The device's position is the number of bytes it has finished playing: it
// is playing the byte right after them. A block that starts at that byte is
// being heard as it is posted (lead 0); a block posted N blocks early has a
// lead of N x 23.2 ms. Prints the count of posts and the lead's mean, least
// and greatest in milliseconds.

#include "audio/audio_output.h"
#include "audio/pcm_queue.h"
#include "audio/user_messages.h"

#include <posix_wave_out.h>
#include <posix_win32_testing.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 1024;
constexpr double kBytesPerMs = kRate * 4 / 1000.0;

std::mutex leads_lock;
std::vector<double> leads; // guarded by leads_lock: one per post, in ms

// The block's number is kept in its first two samples.
void on_post(const PosixPostedMessage *message, void *) {
    const size_t played = posix_wave_out_played(nullptr, 0);
    const auto *block = reinterpret_cast<const PcmBlock *>(message->wparam);
    uint32_t number = 0;
    std::memcpy(&number, block->samples(), sizeof number);
    const double start = static_cast<double>(number) * kFrames * 4;
    std::lock_guard<std::mutex> guard(leads_lock);
    leads.push_back((start - static_cast<double>(played)) / kBytesPerMs);
}

} // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    posix_wave_out_set_pace(POSIX_WAVE_OUT_REAL_TIME);
    posix_wave_out_set_recording(0);
    posix_set_post_hook(on_post, nullptr);
    static PcmQueue queue;
    if (!audio_output_start(&queue, reinterpret_cast<HWND>(uintptr_t{1}))) {
        std::fprintf(stderr, "the audio output thread did not start\n");
        return 1;
    }
    const uint32_t blocks = static_cast<uint32_t>(seconds) * kRate / kFrames;
    for (uint32_t number = 0; number < blocks;) {
        if (pcm_queue_frames(&queue) > kRate) {
            Sleep(5);
            continue;
        }
        const size_t bytes = size_t{kFrames} * 4;
        auto *block = static_cast<PcmBlock *>(std::calloc(1, sizeof(PcmBlock) + bytes));
        *block = PcmBlock{nullptr, kFrames, kRate, 2, 0};
        std::memcpy(block->samples(), &number, sizeof number);
        pcm_queue_push(&queue, block);
        ++number;
    }
    posix_wave_out_wait_played(size_t{blocks} * kFrames * 4, static_cast<DWORD>(seconds) * 2000);
    posix_wave_out_halt();

    std::lock_guard<std::mutex> guard(leads_lock);
    if (leads.empty()) {
        std::fprintf(stderr, "nothing was posted\n");
        return 1;
    }
    double sum = 0;
    for (double lead : leads)
        sum += lead;
    std::printf("posts %zu  lead ms: mean %.1f  least %.1f  greatest %.1f\n", leads.size(),
                sum / static_cast<double>(leads.size()),
                *std::min_element(leads.begin(), leads.end()),
                *std::max_element(leads.begin(), leads.end()));
    return 0;
}
