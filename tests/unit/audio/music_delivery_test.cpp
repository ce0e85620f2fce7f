// Music delivery's handlers on a real session of the local streaming library.
#include "session/session_controller.h"
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

    // Offers frames of silence, as the library does, and returns how many were taken.
    int deliver(int frames, int channels = 2, int rate = 44100) {
        const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, rate, channels};
        std::vector<int16_t> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
        return on_music_delivery(state.session, &format, samples.data(), frames);
    }
    bool signalled() { return WaitForSingleObject(queue.event, 0) == WAIT_OBJECT_0; } // clears it
};

using DeliveryAppliesBackPressure = DeliveryTest;
using DeliveryRefusesWhatNoBlockCanHold = DeliveryTest;

// After a refusal the loss of the play token empties the queue: the next
// offer is taken.
TEST_F(DeliveryAppliesBackPressure, AcceptsUpToTheRateRefusesOneMoreUntilTheTokenIsLost) {
    ASSERT_EQ(deliver(44100), 44100);
    EXPECT_EQ(deliver(1), 1) << "queued frames equal to the rate are accepted";
    ASSERT_TRUE(signalled());
    EXPECT_EQ(deliver(1024), 0);
    EXPECT_EQ(pcm_queue_frames(&queue), 44101);
    EXPECT_FALSE(signalled()) << "a refused delivery queues nothing";
    EXPECT_EQ(deliver(1024, 2, 48000), 1024) << "compared with the offered format's rate";

    ASSERT_TRUE(signalled());
    ASSERT_EQ(deliver(1024), 0);
    on_play_token_lost(state.session);
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_TRUE(signalled()) << "the flush wakes the audio output thread";
    EXPECT_EQ(deliver(1024), 1024);
}

TEST_F(DeliveryRefusesWhatNoBlockCanHold, AbsurdOrNegativeCountsAreRefusedUnread) {
    // One frame behind the pointer: ASan catches a read past it.
    const int16_t one_frame[2] = {1, 2};
    const struct { int frames, channels; } cases[] = {{INT_MAX, 2}, {4, INT_MAX}, {-1, 2}, {1, -2}};
    for (const auto &c : cases) {
        const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, 44100, c.channels};
        EXPECT_EQ(on_music_delivery(state.session, &format, one_frame, c.frames), 0)
            << c.frames << " frames, " << c.channels << " channels";
    }
    EXPECT_EQ(queue.head, nullptr);
    EXPECT_EQ(deliver(1), 1) << "the next sound delivery is taken";
}

} // namespace
} // namespace lib_test
