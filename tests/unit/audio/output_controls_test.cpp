// The device's own pause on the in-memory wave-out device: nothing lost,
// repeated or zeroed across it, nothing posted while paused; and the count of
// what the device has played of the current track.

#include "audio/output_controls.h"
#include "output_thread_harness.h"

namespace {

using audio_test::kPatience;
using audio_test::OutputThreadTest;

const HWND kWindow = reinterpret_cast<HWND>(uintptr_t{0x5150});

using PauseIsTheDevicesOwn = OutputThreadTest;

// Paused with eight buffers in flight and delivery going on into the queue:
// the device plays nothing, the window is told nothing, and after the
// restart the sound is the one pushed, byte for byte.
TEST_F(PauseIsTheDevicesOwn, NothingLostRepeatedOrPostedAcrossAPause) {
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    for (int i = 0; i < 12; ++i)
        push(441);
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    play(3);
    ASSERT_TRUE(posix_wave_out_wait_writes(11, kPatience));
    const size_t posts = posted_blocks().size();

    audio_output_request_pause(queue, true);
    ASSERT_TRUE(posix_wave_out_wait_paused(1, kPatience));
    EXPECT_EQ(posix_wave_out_step(1, 0), 0u) << "a paused device played";
    for (int i = 0; i < 6; ++i)
        push(441);
    audio_output_request_pause(queue, true); // asked twice: paused once
    audio_output_request_pause(queue, false);
    ASSERT_TRUE(posix_wave_out_wait_paused(0, kPatience));
    EXPECT_EQ(posix_wave_out_pauses(), 1u);
    EXPECT_EQ(posted_blocks().size(), posts) << "the picture moved while paused";
    play(15);
    EXPECT_EQ(played(), pushed);
}

// A pause asked for before the first block: the device opens paused.
TEST_F(PauseIsTheDevicesOwn, AskedBeforeTheFirstBlockTheDeviceOpensPaused) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    audio_output_request_pause(queue, true);
    push(441);
    ASSERT_TRUE(posix_wave_out_wait_paused(1, kPatience));
    EXPECT_EQ(posix_wave_out_step(1, kPatience), 0u);
    EXPECT_TRUE(played().empty());
}

// What counts is what the device has played of the track begun last: not
// what is queued or in flight, not what is left of the track before. (A
// slot is written again only after its block was counted and retired, so
// the count of writes tells how many were counted.)
TEST_F(PauseIsTheDevicesOwn, HeardCountsPlayedFramesOfTheCurrentTrackOnly) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    pcm_queue_begin_track(queue);
    for (int i = 0; i < 11; ++i)
        push(4410); // 100 ms each
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    EXPECT_EQ(audio_output_heard_ms(queue), 0u) << "delivered audio counted as heard";
    play(3);
    ASSERT_TRUE(posix_wave_out_wait_writes(11, kPatience));
    EXPECT_EQ(audio_output_heard_ms(queue), 300u);
    pcm_queue_begin_track(queue);
    for (int i = 0; i < 9; ++i)
        push(4410);
    play(7); // the first track's buffers still in flight at the switch
    ASSERT_TRUE(posix_wave_out_wait_writes(18, kPatience));
    EXPECT_EQ(audio_output_heard_ms(queue), 0u) << "the track before counted";
    play(2);
    ASSERT_TRUE(posix_wave_out_wait_writes(20, kPatience));
    EXPECT_EQ(audio_output_heard_ms(queue), 100u);
}

} // namespace
