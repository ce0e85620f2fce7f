// Music delivery against a real session of the local streaming library: the
// handlers find the queue through the session's user data, as they do when
// the library calls them.

#include "audio/music_delivery.h"

#include "audio/pcm_queue.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class DeliveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        splocal_reset();
        splocal_set_latency(0);
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(wake, nullptr);
        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        ASSERT_TRUE(session_state_init(&state, wake, &queue));
        // The session exists from the first connect on, logged in or not.
        session_connect(&state, "nobody", "nothing");
        ASSERT_NE(state.session, nullptr);
    }
    void TearDown() override {
        if (state.session)
            splocal_session_release(state.session);
        pcm_queue_flush(&queue);
        std::free(state.wanted_name);
        CloseHandle(state.lock);
        CloseHandle(queue.mutex);
        CloseHandle(queue.event);
        CloseHandle(queue.lend_mutex);
        CloseHandle(wake);
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

    bool event_is_set() { return WaitForSingleObject(queue.event, 0) == WAIT_OBJECT_0; }

    HANDLE wake = nullptr;
    PcmQueue queue{};
    SessionState state{};
    int16_t next_sample = 1;
};

using DeliveryAppliesBackPressure = DeliveryTest;
using DeliveryCopiesTheOfferedFrames = DeliveryTest;
using DeliveryRefusesWhatNoBlockCanHold = DeliveryTest;
using PlayTokenLossDropsQueuedAudio = DeliveryTest;

TEST_F(DeliveryAppliesBackPressure, AcceptsWhileQueuedFramesEqualTheRate) {
    ASSERT_EQ(deliver(44100), 44100);
    EXPECT_EQ(deliver(1024), 1024);
    EXPECT_EQ(pcm_queue_frames(&queue), 44100 + 1024);
}

TEST_F(DeliveryAppliesBackPressure, RefusesOneFrameMoreWithNothingTaken) {
    ASSERT_EQ(deliver(44101), 44101);
    ASSERT_TRUE(event_is_set());
    EXPECT_EQ(deliver(1024), 0);
    EXPECT_EQ(pcm_queue_frames(&queue), 44101);
    EXPECT_EQ(queued_blocks().size(), 1u);
    EXPECT_FALSE(event_is_set()) << "a refused delivery queues nothing";
}

TEST_F(DeliveryAppliesBackPressure, ComparesWithTheRateOfTheOfferedFormat) {
    ASSERT_EQ(deliver(30000), 30000);
    EXPECT_EQ(deliver(512, 2, 22050), 0);
    EXPECT_EQ(deliver(512, 2, 44100), 512);
}

TEST_F(DeliveryCopiesTheOfferedFrames, StereoBlockHoldsFourBytesPerFrame) {
    const int16_t first = next_sample;
    ASSERT_EQ(deliver(1000, 2, 48000), 1000);
    const auto blocks = queued_blocks();
    ASSERT_EQ(blocks.size(), 1u);
    const PcmBlock *block = blocks[0];
    EXPECT_EQ(block->frame_count, 1000);
    EXPECT_EQ(block->channel_count, 2);
    EXPECT_EQ(block->sample_rate, 48000);
    EXPECT_EQ(block->sample_bytes(), 4000u);
    for (int k = 0; k < 2000; ++k)
        ASSERT_EQ(block->samples()[k], static_cast<int16_t>(first + k)) << "sample " << k;
    EXPECT_EQ(pcm_queue_frames(&queue), 1000);
}

TEST_F(DeliveryCopiesTheOfferedFrames, MonoBlockHoldsTwoBytesPerFrame) {
    ASSERT_EQ(deliver(300, 1, 22050), 300);
    const auto blocks = queued_blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->channel_count, 1);
    EXPECT_EQ(blocks[0]->sample_bytes(), 600u);
}

TEST_F(DeliveryCopiesTheOfferedFrames, ZeroFramesQueueAnEmptyBlockAndCountNothing) {
    ASSERT_EQ(deliver(100), 100);
    WaitForSingleObject(queue.event, 0); // consume the first push's signal
    EXPECT_EQ(deliver(0), 0);
    const auto blocks = queued_blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1]->frame_count, 0);
    EXPECT_EQ(blocks[1]->sample_bytes(), 0u);
    EXPECT_EQ(pcm_queue_frames(&queue), 100);
    EXPECT_TRUE(event_is_set()) << "the push itself still signals";
}

TEST_F(DeliveryCopiesTheOfferedFrames, SuccessiveDeliveriesQueueInArrivalOrder) {
    ASSERT_EQ(deliver(10), 10);
    ASSERT_EQ(deliver(20, 1), 20);
    ASSERT_EQ(deliver(30), 30);
    const auto blocks = queued_blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0]->frame_count, 10);
    EXPECT_EQ(blocks[1]->frame_count, 20);
    EXPECT_EQ(blocks[2]->frame_count, 30);
    EXPECT_EQ(blocks[1]->samples()[0], static_cast<int16_t>(blocks[0]->samples()[19] + 1));
}

TEST_F(DeliveryRefusesWhatNoBlockCanHold, AbsurdFrameCountIsRefusedUnread) {
    // The samples pointer holds a single frame: reading past it would be
    // caught; a refusal reads nothing.
    const int16_t one_frame[2] = {1, 2};
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, 44100, 2};
    EXPECT_EQ(on_music_delivery(state.session, &format, one_frame, INT_MAX), 0);
    const sp_audioformat wide{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, 44100, INT_MAX};
    EXPECT_EQ(on_music_delivery(state.session, &wide, one_frame, 4), 0);
    EXPECT_TRUE(queued_blocks().empty());
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
}

TEST_F(DeliveryRefusesWhatNoBlockCanHold, NegativeCountsAreRefused) {
    const int16_t one_frame[2] = {1, 2};
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, 44100, 2};
    EXPECT_EQ(on_music_delivery(state.session, &format, one_frame, -1), 0);
    const sp_audioformat negative{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, 44100, -2};
    EXPECT_EQ(on_music_delivery(state.session, &negative, one_frame, 1), 0);
    EXPECT_TRUE(queued_blocks().empty());
    EXPECT_EQ(deliver(1), 1) << "the next sound delivery is taken";
}

TEST_F(PlayTokenLossDropsQueuedAudio, QueueEmptiesAndTheNextDeliveryIsAccepted) {
    ASSERT_EQ(deliver(44101), 44101);
    ASSERT_EQ(deliver(1024), 0);
    WaitForSingleObject(queue.event, 0);
    on_play_token_lost(state.session);
    EXPECT_TRUE(queued_blocks().empty());
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_TRUE(event_is_set()) << "the flush wakes the audio output thread";
    EXPECT_EQ(deliver(1024), 1024);
}

} // namespace
