// The audio output thread on the in-memory wave-out device. It runs for
// ever, as in the program: a test ends by halting the device, which parks the
// thread; its queue is never freed, so the thread's blocks stay valid and
// visible to the leak check.
#pragma once

#include "audio/audio_output.h"
#include "audio/pcm_queue.h"
#include "support/pcm_block.h"

#include <gtest/gtest.h>
#include <posix_wave_out.h>
#include <posix_win32_testing.h>

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace audio_test {

// Generous bound for waits that only a broken program would reach.
constexpr DWORD kPatience = 10000;
// The window the thread posts to (only recorded).
inline const HWND kWindow = reinterpret_cast<HWND>(uintptr_t{0x5150});

// Everything one of the recorders of the POSIX stand-in holds, oldest first.
template <typename T> std::vector<T> recorded(size_t (*get)(T *, size_t)) {
    std::vector<T> all(get(nullptr, 0));
    get(all.data(), all.size());
    return all;
}

class OutputThreadTest : public ::testing::Test {
protected:
    void SetUp() override { start_over(); }
    void TearDown() override { stop(); }

    // A new device (manual pace, nothing recorded) and queue; no thread yet.
    void start_over() {
        posix_wave_out_reset();
        posix_wave_out_set_pace(POSIX_WAVE_OUT_MANUAL);
        posix_clear_posted_messages();
        static auto *parked_queues = new std::vector<PcmQueue *>;
        queue = parked_queues->emplace_back(new PcmQueue{});
        pushed.clear();
        next_sample = 0;
    }
    void stop() {
        posix_wave_out_halt();
        posix_set_post_hook(nullptr, nullptr);
        EXPECT_EQ(posix_wave_out_misuses(), 0u) << "the thread broke the wave-out rules";
    }

    // Pushes a block that continues the ramp of the previous one (and pushed).
    PcmBlock *push(int32_t frames, int32_t channels = 2, int32_t rate = 44100) {
        PcmBlock *block = make_block(frames, channels, rate, next_sample);
        next_sample = static_cast<uint16_t>(next_sample + frames * channels);
        const auto *bytes = reinterpret_cast<const unsigned char *>(block->samples());
        pushed.insert(pushed.end(), bytes, bytes + block->sample_bytes());
        pcm_queue_push(queue, block);
        return block;
    }

    static std::vector<unsigned char> played() {
        std::vector<unsigned char> bytes(posix_wave_out_played(nullptr, 0));
        posix_wave_out_played(bytes.data(), bytes.size());
        return bytes;
    }

    // Manual pace: plays count buffers, each once the thread has written it.
    static void play(size_t count) {
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(posix_wave_out_step(1, kPatience), 1u) << "buffer " << i;
    }

    static std::vector<const PcmBlock *> posted_blocks() {
        std::vector<const PcmBlock *> blocks;
        for (const PosixPostedMessage &m : recorded(posix_posted_messages))
            blocks.push_back(reinterpret_cast<const PcmBlock *>(m.wparam));
        return blocks;
    }

    // Polls until done() holds, for kPatience at most.
    static bool eventually(const std::function<bool()> &done) {
        for (DWORD waited = 0; !done() && waited < kPatience; ++waited)
            Sleep(1);
        return done();
    }
    // Waits for count blocks posted; false if more were, or too few in time.
    static bool posts_reach(size_t count) {
        return eventually([&] { return posted_blocks().size() >= count; }) &&
               posted_blocks().size() == count;
    }

    PcmQueue *queue = nullptr;
    std::vector<unsigned char> pushed;
    uint16_t next_sample = 0;
};

} // namespace audio_test
