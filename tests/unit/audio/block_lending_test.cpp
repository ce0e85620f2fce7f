// Block lending: the window reads a block only while it is the one lent; one
// retired during a read is freed by the reader, never under it.

#include "audio/block_lending.h"
#include "output_thread_harness.h"

#include <atomic>
#include <thread>

namespace {

class LendingTest : public audio_test::OutputThreadTest {
protected:
    void SetUp() override {
        start_over();
        ASSERT_TRUE(pcm_queue_init(queue, nullptr));
    }
};

using BorrowSucceedsOnlyForTheLentBlock = LendingTest;
using RetiringABorrowedBlockHandsItToTheReader = LendingTest;

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

    const PcmBlock *stale = newer; // the window's copy: fails even if reused
    pcm_queue_retire(queue, newer);
    EXPECT_EQ(pcm_queue_borrow(queue, stale), nullptr);
}

// A block retired (on another thread, which never waits) during a read stays
// whole until the give-back frees it, whether still lent or replaced by a
// newer loan: ASan reports an earlier free, the leak check a missing one.
TEST_F(RetiringABorrowedBlockHandsItToTheReader, ThreadNeverWaitsAndBlockOutlivesTheRead) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "a newer block lent meanwhile" : "still the lent block");
        PcmBlock *block = make_block(1024, 2, 44100, 7);
        PcmBlock *newer = make_block(16);
        pcm_queue_lend(queue, block);
        const PcmBlock *read = pcm_queue_borrow(queue, block);
        ASSERT_EQ(read, block);
        EXPECT_EQ(pcm_queue_borrow(queue, block), nullptr) << "a second borrow in progress";

        std::atomic<bool> retired{false};
        std::thread thread([&] {
            if (replaced)
                pcm_queue_lend(queue, newer);
            pcm_queue_retire(queue, block);
            retired.store(true);
        });
        EXPECT_TRUE(eventually([&] { return retired.load(); }))
            << "the retire waits for the reader";
        long sum = 0;
        for (int k = 0; k < 2048; ++k)
            sum += read->samples()[k];
        EXPECT_EQ(sum, 2048L * 7 + 2048L * 2047 / 2);
        pcm_queue_give_back(queue);
        thread.join();
        EXPECT_EQ(pcm_queue_borrow(queue, read), nullptr);
        pcm_queue_retire(queue, newer);
    }
}

} // namespace
