// The audio output thread on the in-memory wave-out device: the format, the
// buffers, the posts (a flush and a device that cannot be opened: the
// end-to-end suite). ASan finds a double free, the leak check a block never
// freed.

#include "audio/block_lending.h"
#include "audio/user_messages.h"
#include "output_thread_harness.h"

#include <algorithm>

namespace {

using audio_test::kPatience;
using audio_test::kWindow;
using audio_test::OutputThreadTest;
using audio_test::recorded;

using OutputPlaysBlocksInPlace = OutputThreadTest;
using OutputPostsTheBlockNowPlaying = OutputThreadTest;

// The device is opened once frames are queued, in the first block's format;
// every block is written in place with its own length; no window, no posts.
TEST_F(OutputPlaysBlocksInPlace, FirstBlockSetsTheFormatLengthsFollowEachBlock) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    const PcmBlock *empty = push(0, 1, 8000);
    EXPECT_FALSE(posix_wave_out_wait_writes(1, 200)) << "no frames queued, nothing opened";
    const struct {
        int32_t frames, channels, rate;
        DWORD length;
    } blocks[] = {{300, 1, 22050, 600},
                  {0, 2, 44100, 0},
                  {1000, 2, 44100, 4000},
                  {100, 2, 96000, 400},
                  {333, 2, 44100, 1332}};
    std::vector<const PcmBlock *> written_blocks{empty};
    for (const auto &b : blocks)
        written_blocks.push_back(push(b.frames, b.channels, b.rate));
    for (int i = 0; i < 7; ++i)
        push(128 + i);
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    PosixWaveOutOpen open{};
    ASSERT_EQ(posix_wave_out_opens(&open), 1u);
    // The device itself refuses an open without an event or with a format
    // whose sizes do not agree.
    EXPECT_EQ(open.format.nChannels, 1);
    EXPECT_EQ(open.format.nSamplesPerSec, 8000u);
    EXPECT_EQ(open.format.wBitsPerSample, 16);
    const auto written = recorded(posix_wave_out_writes);
    EXPECT_EQ(written[0].data, empty->samples());
    for (size_t i = 1; i < written_blocks.size(); ++i) {
        EXPECT_EQ(written[i].data, written_blocks[i]->samples()) << "buffer " << i << " moved";
        EXPECT_EQ(written[i].length, blocks[i - 1].length) << "buffer " << i;
    }
    play(13);
    EXPECT_EQ(played(), pushed);
    EXPECT_EQ(posix_wave_out_opens(nullptr), 1u) << "the device is opened once";
    EXPECT_TRUE(recorded(posix_posted_messages).empty());
}

// The window is told of each block as the device starts playing it, and can
// borrow it from the post on: the hook runs on the thread at the post itself.
// Delivery keeps up for three buffers, then stops with eight in flight: each
// is still posted as the device reaches it and retired once played (and a
// slot freed while the others play is refilled at once); new audio is shown
// at once.
TEST_F(OutputPostsTheBlockNowPlaying, EachBlockAsItsBufferStartsLentBeforeThePost) {
    struct Hook {
        PcmQueue *queue;
        int unborrowable = 0;
    } hook{queue};
    posix_set_post_hook(
        [](const PosixPostedMessage *message, void *context) {
            auto *h = static_cast<Hook *>(context);
            const auto *block = reinterpret_cast<const PcmBlock *>(message->wparam);
            if (block_lending_borrow(&h->queue->lending, block) == block)
                block_lending_give_back(&h->queue->lending);
            else
                ++h->unborrowable;
        },
        &hook);
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    std::vector<const PcmBlock *> blocks;
    for (int i = 0; i < 9; ++i)
        blocks.push_back(push(128));
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    for (size_t k = 1; k <= 12; ++k) {
        play(1); // buffer k-1 comes back: the device is now playing block k
        if (k <= 3 || k == 12)
            blocks.push_back(push(128));
        ASSERT_TRUE(posix_wave_out_wait_writes(std::min(8 + k, blocks.size()), kPatience));
        ASSERT_TRUE(posts_reach(k + 1)) << "block " << k << " plays unseen";
        EXPECT_EQ(posted_blocks(),
                  std::vector<const PcmBlock *>(blocks.begin(), blocks.begin() + k + 1));
        EXPECT_EQ(block_lending_borrow(&queue->lending, blocks[k - 1]), nullptr)
            << "played, still lent";
    }
    play(1);
    EXPECT_EQ(played(), pushed);
    for (const PosixPostedMessage &m : recorded(posix_posted_messages)) {
        EXPECT_EQ(m.window, kWindow);
        EXPECT_EQ(m.message, UM_AUDIO_BLOCK);
        EXPECT_EQ(m.lparam, 0);
    }
    EXPECT_EQ(hook.unborrowable, 0) << "a block was posted before it was lent";
}

} // namespace
