// The PCM block queue: order, frame total, ownership of blocks, and the
// event that wakes the audio output thread.

#include "audio/pcm_queue.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// A block of stereo frames, each sample set to value.
PcmBlock *make_block(int32_t frames, int16_t value = 0) {
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + 4 * size_t(frames)));
    *block = PcmBlock{nullptr, frames, 44100, 2};
    for (int32_t i = 0; i < 2 * frames; ++i)
        block->samples()[i] = value;
    return block;
}

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pcm_queue_init(&queue, nullptr)); }
    void TearDown() override {
        pcm_queue_flush(&queue);
        for (HANDLE handle : {queue.mutex, queue.event, queue.lend_mutex})
            CloseHandle(handle);
    }
    bool signalled() { return WaitForSingleObject(queue.event, 0) == WAIT_OBJECT_0; }
    PcmQueue queue{};
};

using QueueKeepsArrivalOrder = QueueTest;
using QueueFlushDropsEverything = QueueTest;
using QueueSignalsEveryAddAndFlush = QueueTest;
using QueueHandsBlocksAcrossThreads = QueueTest;

TEST_F(QueueKeepsArrivalOrder, PopsInPushOrderAndStartsAfreshOnceEmptied) {
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    // A block without frames is queued like any other and adds nothing.
    PcmBlock *blocks[] = {make_block(0), make_block(10), make_block(30)};
    EXPECT_EQ(blocks[2]->sample_bytes(), 120u); // interleaved, right after the header
    EXPECT_EQ(reinterpret_cast<char *>(blocks[2]->samples()),
              reinterpret_cast<char *>(blocks[2]) + sizeof(PcmBlock));
    for (PcmBlock *block : blocks)
        pcm_queue_push(&queue, block);
    const int32_t left[] = {40, 40, 30};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pcm_queue_frames(&queue), left[i]);
        EXPECT_EQ(pcm_queue_pop(&queue), blocks[i]);
        // The audio output thread may free a block at once: a later push
        // must not reach it through a stale tail (ASan reports the write).
        std::free(blocks[i]);
    }
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    PcmBlock *next = make_block(7);
    pcm_queue_push(&queue, next);
    EXPECT_EQ(pcm_queue_frames(&queue), 7);
    EXPECT_EQ(pcm_queue_pop(&queue), next);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    std::free(next);
}

TEST_F(QueueFlushDropsEverything, FreesQueuedBlocksButNotATakenOne) {
    PcmBlock *taken = make_block(4, 123);
    pcm_queue_push(&queue, taken);
    for (int i = 0; i < 3; ++i)
        pcm_queue_push(&queue, make_block(100 + i));
    ASSERT_EQ(pcm_queue_pop(&queue), taken);
    pcm_queue_flush(&queue); // a block it failed to free would fail LeakSanitizer
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    EXPECT_EQ(taken->samples()[7], 123); // still owned by the taker, still whole
    std::free(taken);
    PcmBlock *next = make_block(8);
    pcm_queue_push(&queue, next);
    EXPECT_EQ(pcm_queue_pop(&queue), next);
    std::free(next);
}

TEST_F(QueueSignalsEveryAddAndFlush, PushAndFlushSetPopLeavesAlone) {
    EXPECT_FALSE(signalled());
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    EXPECT_FALSE(signalled());
    pcm_queue_flush(&queue); // even an empty queue's flush wakes the waiter
    EXPECT_TRUE(signalled());
    EXPECT_FALSE(signalled());
    pcm_queue_push(&queue, make_block(1));
    pcm_queue_push(&queue, make_block(1));
    EXPECT_TRUE(signalled()); // auto-reset: two pushes before a wait wake one wait
    EXPECT_FALSE(signalled());
    std::free(pcm_queue_pop(&queue));
    EXPECT_FALSE(signalled());
}

// A producer pushes numbered blocks while a consumer waits on the event and
// pops: every block arrives once, in order, and the total comes back to 0.
TEST_F(QueueHandsBlocksAcrossThreads, ConsumerSeesEveryBlockInOrder) {
    constexpr int kBlocks = 2000;
    std::vector<int16_t> seen;
    std::thread consumer([&] {
        while (int(seen.size()) < kBlocks) {
            PcmBlock *block = pcm_queue_pop(&queue);
            if (!block)
                WaitForSingleObject(queue.event, 50);
            else
                seen.push_back(block->samples()[0]);
            std::free(block);
        }
    });
    for (int i = 0; i < kBlocks; ++i)
        pcm_queue_push(&queue, make_block(1 + i % 7, int16_t(i)));
    consumer.join();
    for (int i = 0; i < kBlocks; ++i)
        ASSERT_EQ(seen[size_t(i)], int16_t(i));
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
}

} // namespace
