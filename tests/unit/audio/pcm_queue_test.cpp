// The PCM block queue: order, frame total, ownership, its event and lock.
#include "audio/pcm_queue.h"
#include "support/pcm_block.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <functional>

namespace {

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pcm_queue_init(&queue, nullptr)); }
    void TearDown() override {
        pcm_queue_flush(&queue);
        for (HANDLE handle : {queue.mutex, queue.event, queue.lending.mutex})
            CloseHandle(handle);
    }
    bool signalled() { return WaitForSingleObject(queue.event, 0) == WAIT_OBJECT_0; }
    PcmQueue queue{};
};

using QueueKeepsArrivalOrder = QueueTest;
using QueueTakesItsLockForEveryChange = QueueTest;

// Blocks come out in push order with the frame total following; a popped
// block may be freed at once (ASan sees a write through a stale tail), a
// flushed one is freed (LeakSanitizer). Push and flush set the event, pop not.
TEST_F(QueueKeepsArrivalOrder, PopsInPushOrderFlushFreesTheRestAndEverySignalWakes) {
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    EXPECT_FALSE(signalled());
    PcmBlock *blocks[] = {make_block(0), make_block(10), make_block(30)};
    blocks[1]->samples()[19] = 123;
    for (PcmBlock *block : blocks)
        pcm_queue_push(&queue, block);
    EXPECT_TRUE(signalled()); // auto-reset: pushes before a wait wake one wait
    EXPECT_FALSE(signalled());
    const int32_t left[] = {40, 40, 30};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pcm_queue_frames(&queue), left[i]);
        EXPECT_EQ(pcm_queue_pop(&queue), blocks[i]);
        if (i != 1)
            std::free(blocks[i]);
    }
    EXPECT_FALSE(signalled());
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    for (int i = 0; i < 3; ++i)
        pcm_queue_push(&queue, make_block(7));
    EXPECT_EQ(pcm_queue_frames(&queue), 21);
    std::free(pcm_queue_pop(&queue));
    signalled();
    pcm_queue_flush(&queue);
    EXPECT_TRUE(signalled());
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(pcm_queue_pop(&queue), nullptr);
    pcm_queue_flush(&queue); // even an empty queue's flush wakes the waiter
    EXPECT_TRUE(signalled());
    EXPECT_EQ(blocks[1]->samples()[19], 123); // the taken block, still whole
    std::free(blocks[1]);
}

// Every operation waits on the queue's lock: an auto-reset event in the
// mutex's place, set before each, is left set by one that takes no lock.
TEST_F(QueueTakesItsLockForEveryChange, PushPopFramesAndFlushEachWaitOnTheMutex) {
    const HANDLE mutex = queue.mutex;
    queue.mutex = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const std::pair<const char *, std::function<void()>> operations[] = {
        {"push", [&] { pcm_queue_push(&queue, make_block(5)); }},
        {"frames", [&] { EXPECT_EQ(pcm_queue_frames(&queue), 5); }},
        {"pop", [&] { std::free(pcm_queue_pop(&queue)); }},
        {"flush", [&] { pcm_queue_flush(&queue); }},
    };
    for (const auto &[name, operation] : operations) {
        SetEvent(queue.mutex);
        operation();
        EXPECT_NE(WaitForSingleObject(queue.mutex, 0), WAIT_OBJECT_0) << name << " took no lock";
    }
    CloseHandle(queue.mutex);
    queue.mutex = mutex;
}

} // namespace
