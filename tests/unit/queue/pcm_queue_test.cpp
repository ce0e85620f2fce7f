// The PCM block queue: order, frame total, ownership of blocks, and the
// event that wakes the audio output thread.

#include "audio/pcm_queue.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// A block of frames x channels samples, each sample set to value.
PcmBlock *make_block(int32_t frames, int32_t channels = 2, int16_t value = 0) {
    const size_t bytes = size_t{2} * static_cast<size_t>(frames) * static_cast<size_t>(channels);
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + bytes));
    block->next = nullptr;
    block->frame_count = frames;
    block->sample_rate = 44100;
    block->channel_count = channels;
    for (int32_t i = 0; i < frames * channels; ++i)
        block->samples()[i] = value;
    return block;
}

bool event_is_set(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pcm_queue_init(&queue, nullptr)); }
    void TearDown() override {
        pcm_queue_flush(&queue);
        for (HANDLE handle : {queue.mutex, queue.event, queue.lend_mutex})
            CloseHandle(handle);
    }
    PcmQueue queue{};
};

using QueueStartsEmpty = QueueTest;
using QueueKeepsArrivalOrder = QueueTest;
using QueueFlushDropsEverything = QueueTest;
using QueueSignalsEveryAddAndEmptying = QueueTest;

TEST_F(QueueStartsEmpty, InitResetsTheRecord) {
    for (HANDLE handle : {queue.mutex, queue.event, queue.lend_mutex})
        CloseHandle(handle);
    queue.head = queue.tail = reinterpret_cast<PcmBlock *>(&queue);
    queue.queued_frames = 99;
    const HWND window = reinterpret_cast<HWND>(&queue);
    ASSERT_TRUE(pcm_queue_init(&queue, window));
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(queue.tail, nullptr);
    EXPECT_EQ(queue.queued_frames, 0);
    EXPECT_EQ(queue.lent, nullptr);
    EXPECT_EQ(queue.window, window);
    EXPECT_FALSE(event_is_set(queue.event));
}

TEST_F(QueueStartsEmpty, PopOnEmptyReturnsNullAndChangesNothing) {
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_FALSE(event_is_set(queue.event));
}

TEST_F(QueueKeepsArrivalOrder, PopsInPushOrderAndCountsFrames) {
    PcmBlock *a = make_block(10);
    PcmBlock *b = make_block(20);
    PcmBlock *c = make_block(30);
    pcm_queue_push(&queue, a);
    pcm_queue_push(&queue, b);
    pcm_queue_push(&queue, c);
    EXPECT_EQ(pcm_queue_frames(&queue), 60);
    EXPECT_EQ(queue.tail, c);
    EXPECT_EQ(c->next, nullptr);

    EXPECT_EQ(pcm_queue_pop(&queue), a);
    EXPECT_EQ(pcm_queue_frames(&queue), 50);
    EXPECT_EQ(pcm_queue_pop(&queue), b);
    EXPECT_EQ(pcm_queue_pop(&queue), c);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    std::free(a);
    std::free(b);
    std::free(c);
}

TEST_F(QueueKeepsArrivalOrder, PushAfterPopsEmptiedItStartsAfresh) {
    PcmBlock *a = make_block(5);
    pcm_queue_push(&queue, a);
    ASSERT_EQ(pcm_queue_pop(&queue), a);
    // The audio output thread may free the block it took at once: the next
    // push must not reach it through a stale tail (ASan reports the write).
    std::free(a);
    PcmBlock *b = make_block(7);
    pcm_queue_push(&queue, b);
    EXPECT_EQ(queue.head, b);
    EXPECT_EQ(queue.tail, b);
    EXPECT_EQ(pcm_queue_frames(&queue), 7);
    EXPECT_EQ(pcm_queue_pop(&queue), b);
    std::free(b);
}

TEST_F(QueueKeepsArrivalOrder, BlockWithoutFramesIsQueuedAndAddsNothing) {
    PcmBlock *empty = make_block(0);
    PcmBlock *full = make_block(3);
    pcm_queue_push(&queue, empty);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(queue.head, empty);
    pcm_queue_push(&queue, full);
    EXPECT_EQ(pcm_queue_frames(&queue), 3);
    EXPECT_EQ(pcm_queue_pop(&queue), empty);
    std::free(empty);
}

TEST(PcmBlockLayout, SamplesFollowTheHeaderInterleaved) {
    PcmBlock *block = make_block(100, 2);
    EXPECT_EQ(block->sample_bytes(), 400u);
    EXPECT_EQ(reinterpret_cast<char *>(block->samples()),
              reinterpret_cast<char *>(block) + sizeof(PcmBlock));
    // The last sample of the area is inside the allocation (ASan checks).
    block->samples()[2 * 100 - 1] = 7;
    EXPECT_EQ(block->samples()[199], 7);
    std::free(block);
}

TEST_F(QueueFlushDropsEverything, FreesQueuedBlocksAndResets) {
    // The blocks are freed by the flush; a leak would fail under LeakSanitizer.
    for (int i = 0; i < 4; ++i)
        pcm_queue_push(&queue, make_block(100 + i));
    pcm_queue_flush(&queue);
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(queue.tail, nullptr);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);

    PcmBlock *next = make_block(8);
    pcm_queue_push(&queue, next);
    EXPECT_EQ(queue.head, next);
    EXPECT_EQ(queue.tail, next);
}

TEST_F(QueueFlushDropsEverything, BlockAlreadyTakenIsNotTouched) {
    PcmBlock *taken = make_block(4, 2, 123);
    pcm_queue_push(&queue, taken);
    pcm_queue_push(&queue, make_block(4));
    ASSERT_EQ(pcm_queue_pop(&queue), taken);
    pcm_queue_flush(&queue);
    EXPECT_EQ(taken->samples()[7], 123); // still owned by the taker, still whole
    std::free(taken);
}

TEST_F(QueueSignalsEveryAddAndEmptying, PushSetsPopLeavesAlone) {
    pcm_queue_push(&queue, make_block(1));
    pcm_queue_push(&queue, make_block(1));
    // Auto-reset: two pushes before a wait wake one wait.
    EXPECT_TRUE(event_is_set(queue.event));
    EXPECT_FALSE(event_is_set(queue.event));
    std::free(pcm_queue_pop(&queue));
    EXPECT_FALSE(event_is_set(queue.event));
}

TEST_F(QueueSignalsEveryAddAndEmptying, FlushOnEmptyStillSignals) {
    pcm_queue_flush(&queue);
    EXPECT_TRUE(event_is_set(queue.event));
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
}

// A producer pushes numbered blocks while a consumer waits on the event and
// pops: every block arrives once, in order, and the total comes back to 0.
TEST(QueueHandsBlocksAcrossThreads, ConsumerSeesEveryBlockInOrder) {
    PcmQueue queue;
    ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
    constexpr int kBlocks = 2000;
    std::vector<int16_t> seen;
    seen.reserve(kBlocks);
    std::thread consumer([&] {
        while (static_cast<int>(seen.size()) < kBlocks) {
            PcmBlock *block = pcm_queue_pop(&queue);
            if (!block) {
                WaitForSingleObject(queue.event, 50);
                continue;
            }
            seen.push_back(block->samples()[0]);
            std::free(block);
        }
    });
    for (int i = 0; i < kBlocks; ++i)
        pcm_queue_push(&queue, make_block(1 + i % 7, 2, static_cast<int16_t>(i)));
    consumer.join();

    ASSERT_EQ(static_cast<int>(seen.size()), kBlocks);
    for (int i = 0; i < kBlocks; ++i)
        ASSERT_EQ(seen[static_cast<size_t>(i)], static_cast<int16_t>(i));
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    CloseHandle(queue.mutex);
    CloseHandle(queue.event);
    CloseHandle(queue.lend_mutex);
}

} // namespace
