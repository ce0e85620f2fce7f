// Music delivery against a real session of the local streaming library: the
// handlers find the queue through the session's user data, as they do when
// the library calls them.

#include "audio/music_delivery.h"

#include "support/libspotify/library_harness.h"

#include <climits>

namespace lib_test {
namespace {

class DeliveryTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        // The session exists from the first connect on, logged in or not.
        ASSERT_EQ(session_connect(&state, "nobody", "nothing"), 1);
    }

    // Delivers frames of a ramp that starts where the previous one ended.
    int deliver(int frames, int channels = 2, int rate = 44100) {
        const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, rate, channels};
        std::vector<int16_t> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
        for (int16_t &sample : samples)
            sample = next_sample++;
        return on_music_delivery(state.session, &format, samples.data(), frames);
    }
    std::vector<const PcmBlock *> queued_blocks() {
        std::vector<const PcmBlock *> blocks;
        WaitForSingleObject(queue.mutex, INFINITE);
        for (const PcmBlock *block = queue.head; block; block = block->next)
            blocks.push_back(block);
        ReleaseMutex(queue.mutex);
        return blocks;
    }
    // Whether the queue's event was set; clears it.
    bool signalled() { return WaitForSingleObject(queue.event, 0) == WAIT_OBJECT_0; }

    int16_t next_sample = 1;
};

using DeliveryAppliesBackPressure = DeliveryTest;
using DeliveryCopiesTheOfferedFrames = DeliveryTest;
using DeliveryRefusesWhatNoBlockCanHold = DeliveryTest;

// After a refusal the loss of the play token empties the queue, and the
// library's next offer is taken at once.
TEST_F(DeliveryAppliesBackPressure, AcceptsUpToTheRateRefusesOneMoreUntilTheTokenIsLost) {
    ASSERT_EQ(deliver(44100), 44100);
    EXPECT_EQ(deliver(1), 1) << "queued frames equal to the rate are accepted";
    ASSERT_TRUE(signalled());
    EXPECT_EQ(deliver(1024), 0);
    EXPECT_EQ(pcm_queue_frames(&queue), 44101);
    EXPECT_EQ(queued_blocks().size(), 2u);
    EXPECT_FALSE(signalled()) << "a refused delivery queues nothing";
    EXPECT_EQ(deliver(1024, 2, 48000), 1024) << "compared with the offered format's rate";

    ASSERT_TRUE(signalled());
    ASSERT_EQ(deliver(1024), 0);
    on_play_token_lost(state.session);
    EXPECT_TRUE(queued_blocks().empty());
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_TRUE(signalled()) << "the flush wakes the audio output thread";
    EXPECT_EQ(deliver(1024), 1024);
}

TEST_F(DeliveryCopiesTheOfferedFrames, SampleAreaHoldsTwoBytesPerSample) {
    const struct {
        int frames, channels, rate;
        size_t bytes;
    } cases[] = {{1000, 2, 48000, 4000}, {300, 1, 22050, 600}, {0, 2, 44100, 0}};
    int16_t first = next_sample;
    int32_t frames = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, " << c.channels << " channels");
        ASSERT_EQ(deliver(c.frames, c.channels, c.rate), c.frames);
        EXPECT_TRUE(signalled()) << "every push signals, even of no frames";
        const PcmBlock *block = queued_blocks().back();
        EXPECT_EQ(block->frame_count, c.frames);
        EXPECT_EQ(block->channel_count, c.channels);
        EXPECT_EQ(block->sample_rate, c.rate);
        EXPECT_EQ(block->sample_bytes(), c.bytes);
        for (size_t k = 0; k < c.bytes / 2; ++k)
            ASSERT_EQ(block->samples()[k], static_cast<int16_t>(first + k)) << "sample " << k;
        first = next_sample;
        frames += c.frames;
        EXPECT_EQ(pcm_queue_frames(&queue), frames);
    }
    EXPECT_EQ(queued_blocks().size(), 3u) << "one block per delivery, in arrival order";
}

TEST_F(DeliveryRefusesWhatNoBlockCanHold, AbsurdOrNegativeCountsAreRefusedUnread) {
    // The samples pointer holds a single frame: reading past it would be
    // caught; a refusal reads nothing.
    const int16_t one_frame[2] = {1, 2};
    const struct { int frames, channels; } cases[] = {{INT_MAX, 2}, {4, INT_MAX}, {-1, 2}, {1, -2}};
    for (const auto &c : cases) {
        const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, 44100, c.channels};
        EXPECT_EQ(on_music_delivery(state.session, &format, one_frame, c.frames), 0)
            << c.frames << " frames, " << c.channels << " channels";
    }
    EXPECT_TRUE(queued_blocks().empty());
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(deliver(1), 1) << "the next sound delivery is taken";
}

} // namespace
} // namespace lib_test
