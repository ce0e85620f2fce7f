// Block lending: the window reads a block only while it is the one lent, and
// the audio output thread never frees a block in the middle of a read.

#include "audio/block_lending.h"

#include "output_thread_harness.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using audio_test::make_block;

// The queue alone, as the window and the thread share it; no thread runs.
class LendingTest : public audio_test::OutputThreadTest {
protected:
    void SetUp() override {
        start_over();
        ASSERT_TRUE(pcm_queue_init(queue, nullptr));
    }
};

using BorrowSucceedsOnlyForTheLentBlock = LendingTest;
using RetireWaitsForTheReader = LendingTest;

TEST_F(BorrowSucceedsOnlyForTheLentBlock, NewerLoanOrRetireEndsIt) {
    PcmBlock *older = make_block(16);
    PcmBlock *newer = make_block(16);
    EXPECT_EQ(pcm_queue_borrow(queue, older), nullptr) << "nothing lent";
    EXPECT_EQ(pcm_queue_borrow(queue, nullptr), nullptr);
    pcm_queue_lend(queue, older);
    ASSERT_EQ(pcm_queue_borrow(queue, older), older);
    pcm_queue_give_back(queue);

    pcm_queue_lend(queue, newer);
    EXPECT_EQ(pcm_queue_borrow(queue, older), nullptr);
    pcm_queue_retire(queue, older); // not lent: freed, the loan stays
    ASSERT_EQ(pcm_queue_borrow(queue, newer), newer);
    pcm_queue_give_back(queue);

    const PcmBlock *stale = newer;
    pcm_queue_retire(queue, newer);
    // The window still holds the address; borrowing through it fails even
    // if a later block were to be allocated at the same place.
    EXPECT_EQ(pcm_queue_borrow(queue, stale), nullptr);
}

// The retire runs on another thread, as on the audio output thread; it can
// only end once the give-back has released the loan.
TEST_F(RetireWaitsForTheReader, BlockOutlivesABorrowInProgress) {
    PcmBlock *block = make_block(1024, 2, 44100, 7);
    pcm_queue_lend(queue, block);
    const PcmBlock *read = pcm_queue_borrow(queue, block);
    ASSERT_EQ(read, block);

    std::atomic<bool> retired{false};
    std::thread thread([&] {
        pcm_queue_retire(queue, block);
        retired.store(true);
    });
    // However long the reader takes, the block stays readable.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(retired.load());
    long sum = 0;
    for (int k = 0; k < 2048; ++k)
        sum += read->samples()[k];
    EXPECT_EQ(sum, 2048L * 7 + 2048L * 2047 / 2);
    pcm_queue_give_back(queue);
    thread.join();
    EXPECT_EQ(pcm_queue_borrow(queue, read), nullptr);
}

} // namespace
