// Block lending: the window reads a block only while it is the one lent; one
// retired during a read is freed by the reader, never under it.

#include "audio/block_lending.h"
#include "output_thread_harness.h"

#include <atomic>
#include <thread>

namespace {

using RetiringABorrowedBlockHandsItToTheReader = audio_test::OutputThreadTest;

// A block retired (on another thread, which never waits) during a read stays
// whole until the give-back frees it, whether still lent or replaced by a
// newer loan: ASan reports an earlier free, the leak check a missing one.
// Only the block lent can be borrowed, once at a time, and never after its
// retire, even at a reused address; retiring another block keeps the loan.
TEST_F(RetiringABorrowedBlockHandsItToTheReader, ThreadNeverWaitsAndBlockOutlivesTheRead) {
    ASSERT_TRUE(pcm_queue_init(queue, nullptr));
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "a newer block lent meanwhile" : "still the lent block");
        PcmBlock *block = make_block(1024, 2, 44100, 7);
        PcmBlock *newer = make_block(16);
        EXPECT_EQ(block_lending_borrow(&queue->lending, block), nullptr) << "nothing lent";
        EXPECT_EQ(block_lending_borrow(&queue->lending, nullptr), nullptr);
        block_lending_lend(&queue->lending, block);
        const PcmBlock *read = block_lending_borrow(&queue->lending, block);
        ASSERT_EQ(read, block);
        EXPECT_EQ(block_lending_borrow(&queue->lending, block), nullptr)
            << "a second borrow in progress";

        std::atomic<bool> retired{false};
        std::thread thread([&] {
            if (replaced)
                block_lending_lend(&queue->lending, newer);
            block_lending_retire(&queue->lending, block);
            retired.store(true);
        });
        EXPECT_TRUE(eventually([&] { return retired.load(); }))
            << "the retire waits for the reader";
        long sum = 0;
        for (int k = 0; k < 2048; ++k)
            sum += read->samples()[k];
        EXPECT_EQ(sum, 2048L * 7 + 2048L * 2047 / 2);
        block_lending_give_back(&queue->lending);
        thread.join();
        EXPECT_EQ(block_lending_borrow(&queue->lending, read), nullptr);
        EXPECT_EQ(block_lending_borrow(&queue->lending, newer), replaced ? newer : nullptr);
        block_lending_give_back(&queue->lending);
        block_lending_retire(&queue->lending, newer);
    }
}

} // namespace
