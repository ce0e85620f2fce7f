// The window reads the posted block while the audio output thread plays and
// frees blocks on a device that returns buffers out of step with the posts.
//
// A reader thread plays the main window: it takes UM_AUDIO_BLOCK from the
// post hook in order, as the message queue would hand them over, and at
// random moments "paints": it borrows the block it was given last and reads
// all of it. A producer plays the library's delivering thread, with pauses
// that starve the output thread, so that it waits in the middle of a scan
// with the posted block's buffer already returned. Any read of a freed block
// fails under ASan; any race between the paint and the thread under TSan.

#include "audio/block_lending.h"
#include "audio/user_messages.h"
#include "output_thread_harness.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

namespace {

using audio_test::kPatience;

// The main window's message queue, fed on the audio output thread.
struct WindowMessages {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<const PcmBlock *> blocks; // guarded by lock: not yet handled
    bool closing = false;                // guarded by lock
};

void on_post(const PosixPostedMessage *message, void *context) {
    auto *window = static_cast<WindowMessages *>(context);
    std::lock_guard<std::mutex> guard(window->lock);
    window->blocks.push_back(reinterpret_cast<const PcmBlock *>(message->wparam));
    window->arrived.notify_one();
}

// The window: keeps the block of the newest message, paints at random;
// counts the paints and the borrowed blocks whose contents were not a whole
// ramp.
void run_window(PcmQueue *queue, WindowMessages &window, long &painted, long &bad) {
    std::mt19937 random(99);
    const PcmBlock *current = nullptr;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(window.lock);
            window.arrived.wait_for(lock, std::chrono::microseconds(random() % 500),
                                    [&] { return !window.blocks.empty() || window.closing; });
            if (window.closing && window.blocks.empty())
                return;
            // Usually every message is handled before the paint; sometimes
            // the paint comes between two messages.
            for (size_t take = random() % 4 ? window.blocks.size() : 1;
                 take > 0 && !window.blocks.empty(); --take) {
                current = window.blocks.front();
                window.blocks.pop_front();
            }
        }
        const PcmBlock *block = random() % 3 ? pcm_queue_borrow(queue, current) : nullptr;
        if (!block)
            continue;
        const int16_t *samples = block->samples();
        for (size_t k = 1; k < block->sample_bytes() / 2; ++k) {
            if (static_cast<uint16_t>(samples[k]) != static_cast<uint16_t>(samples[0] + k)) {
                ++bad;
                break;
            }
        }
        if (random() % 8 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
        pcm_queue_give_back(queue);
        ++painted;
    }
}

using BorrowingSurvivesOutOfStepReturns = audio_test::OutputThreadTest;

TEST_F(BorrowingSurvivesOutOfStepReturns, WindowReadsOnlyLiveBlocks) {
    const struct {
        const char *name;
        unsigned pace, batch, hold_percent;
    } modes[] = {{"in step", POSIX_WAVE_OUT_UNPACED, 1, 0},
                 {"all eight at once", POSIX_WAVE_OUT_UNPACED, 8, 0},
                 {"held back in threes", POSIX_WAVE_OUT_UNPACED, 3, 40},
                 {"mostly held back", POSIX_WAVE_OUT_UNPACED, 1, 80},
                 {"stepped by the test", POSIX_WAVE_OUT_MANUAL, 2, 60}};
    for (const auto &mode : modes) {
        SCOPED_TRACE(mode.name);
        start_over();
        WindowMessages window;
        posix_set_post_hook(on_post, &window);
        posix_wave_out_set_pace(mode.pace);
        posix_wave_out_set_returns(mode.batch, mode.hold_percent, 1234);
        ASSERT_TRUE(audio_output_start(queue, reinterpret_cast<HWND>(uintptr_t{0x77})));

        long painted = 0, bad = 0;
        std::thread reader([&] { run_window(queue, window, painted, bad); });
        std::atomic<size_t> pushed_bytes{SIZE_MAX}; // known once delivery has ended
        std::thread stepper([&] {
            std::mt19937 random(5);
            while (mode.pace == POSIX_WAVE_OUT_MANUAL &&
                   posix_wave_out_played(nullptr, 0) < pushed_bytes.load())
                posix_wave_out_step(1 + random() % 8, 2);
        });
        std::mt19937 random(17);
        for (int i = 0; i < 1500; ++i) {
            while (pcm_queue_frames(queue) > 8192)
                std::this_thread::yield();
            if (random() % 50 == 0) // delivery stalls: the thread starves
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            push(1 + static_cast<int32_t>(random() % 700));
        }
        pushed_bytes.store(pushed.size());

        ASSERT_TRUE(posix_wave_out_wait_played(pushed.size(), 6 * kPatience));
        stepper.join();
        {
            std::lock_guard<std::mutex> guard(window.lock);
            window.closing = true;
            window.arrived.notify_one();
        }
        reader.join();
        stop();
        EXPECT_EQ(played(), pushed) << "gap, repeat or reordering";
        EXPECT_EQ(bad, 0);
        EXPECT_GT(painted, 0) << "the window never read a block: the test proved nothing";
    }
}

} // namespace
