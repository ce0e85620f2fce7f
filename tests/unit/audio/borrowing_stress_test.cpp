// A painter thread reads the block of the newest post while the audio output
// thread plays and frees blocks on a device that returns buffers out of step;
// delivery pauses now and then, so that the thread waits mid-scan with the
// posted block's buffer already returned. ASan sees a read of a freed block,
// TSan a race between the paint and the thread.

#include "audio/block_lending.h"
#include "output_thread_harness.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace {

using BorrowingSurvivesOutOfStepReturns = audio_test::OutputThreadTest;

TEST_F(BorrowingSurvivesOutOfStepReturns, WindowReadsOnlyLiveBlocks) {
    const struct {
        const char *name;
        unsigned batch, hold_percent;
    } modes[] = {{"in step", 1, 0},
                 {"all eight at once", 8, 0},
                 {"held back in threes", 3, 40},
                 {"mostly held back", 1, 80}};
    for (const auto &mode : modes) {
        SCOPED_TRACE(mode.name);
        start_over();
        static std::atomic<const PcmBlock *> posted; // the newest UM_AUDIO_BLOCK
        posted = nullptr;
        posix_set_post_hook(
            [](const PosixPostedMessage *message, void *) {
                posted = reinterpret_cast<const PcmBlock *>(message->wparam);
            },
            nullptr);
        posix_wave_out_set_pace(POSIX_WAVE_OUT_UNPACED);
        posix_wave_out_set_returns(mode.batch, mode.hold_percent, 1234);
        ASSERT_TRUE(audio_output_start(queue, reinterpret_cast<HWND>(uintptr_t{0x77})));

        std::atomic<bool> closing{false};
        std::atomic<long> painted{0};
        long torn = 0;
        std::thread painter([&] {
            std::mt19937 random(99);
            while (!closing.load()) {
                const PcmBlock *block = block_lending_borrow(&queue->lending, posted.load());
                if (!block) {
                    std::this_thread::yield();
                    continue;
                }
                const int16_t *samples = block->samples();
                for (size_t k = 1; k < block->sample_bytes() / 2; ++k)
                    torn += static_cast<uint16_t>(samples[k]) != uint16_t(samples[0] + k);
                if (random() % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
                block_lending_give_back(&queue->lending);
                ++painted;
            }
        });
        std::mt19937 random(17);
        for (int i = 0; i < 1500 || (painted == 0 && i < 50000); ++i) { // until a paint came
            while (pcm_queue_frames(queue) > 8192)
                std::this_thread::yield();
            if (random() % 50 == 0) // delivery stalls: the thread starves
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            push(1 + static_cast<int32_t>(random() % 700));
        }
        const bool all_played =
            posix_wave_out_wait_played(pushed.size(), 6 * audio_test::kPatience);
        closing = true;
        painter.join();
        stop();
        ASSERT_TRUE(all_played);
        EXPECT_EQ(played(), pushed) << "gap, repeat or reordering";
        EXPECT_EQ(torn, 0) << "a paint read a block that was not whole";
        EXPECT_GT(painted.load(), 0) << "the window never read a block: the test proved nothing";
    }
}

} // namespace
