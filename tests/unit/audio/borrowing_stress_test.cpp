// The window reads the posted block while the audio output thread plays and
// frees blocks on a device that returns buffers out of step with the posts.
//
// A reader thread plays the main window: it "paints" as each message arrives,
// or later, when the thread may have moved past it: it borrows the block of
// the newest message it has handled and reads all of it, sometimes slowly.
// A producer plays the library's delivering thread, with pauses that starve
// the output thread, so that it waits in the middle of a scan with the posted
// block's buffer already returned. Any read of a freed block fails under
// ASan; any race between the paint and the thread under TSan.

#include "audio/block_lending.h"
#include "output_thread_harness.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace {

using audio_test::kPatience;

struct Window {
    std::atomic<const PcmBlock *> posted{nullptr}; // the newest UM_AUDIO_BLOCK
    std::atomic<bool> closing{false};
    long painted = 0, bad = 0; // reader thread: paints, blocks that were not a whole ramp
};

void run_window(PcmQueue *queue, Window &window) {
    std::mt19937 random(99);
    for (const PcmBlock *handled = nullptr; !window.closing.load();) {
        // Usually paints as a message arrives; sometimes later, behind the sound.
        for (int wait = 0; wait < 500 && window.posted.load() == handled; ++wait)
            std::this_thread::sleep_for(std::chrono::microseconds(1));
        handled = window.posted.load();
        if (random() % 4 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
        const PcmBlock *block = pcm_queue_borrow(queue, handled);
        if (!block)
            continue;
        const int16_t *samples = block->samples();
        for (size_t k = 1; k < block->sample_bytes() / 2; ++k) {
            if (static_cast<uint16_t>(samples[k]) != static_cast<uint16_t>(samples[0] + k)) {
                ++window.bad;
                break;
            }
        }
        if (random() % 8 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
        pcm_queue_give_back(queue);
        ++window.painted;
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
        Window window;
        posix_set_post_hook(
            [](const PosixPostedMessage *message, void *context) {
                static_cast<Window *>(context)->posted.store(
                    reinterpret_cast<const PcmBlock *>(message->wparam));
            },
            &window);
        posix_wave_out_set_pace(mode.pace);
        posix_wave_out_set_returns(mode.batch, mode.hold_percent, 1234);
        ASSERT_TRUE(audio_output_start(queue, reinterpret_cast<HWND>(uintptr_t{0x77})));

        std::thread reader([&] { run_window(queue, window); });
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
        window.closing.store(true);
        reader.join();
        stop();
        EXPECT_EQ(played(), pushed) << "gap, repeat or reordering";
        EXPECT_EQ(window.bad, 0);
        EXPECT_GT(window.painted, 0) << "the window never read a block: the test proved nothing";
    }
}

} // namespace
