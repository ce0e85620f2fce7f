// The device's own pause and volume on the in-memory wave-out device:
// nothing lost, repeated, zeroed or scaled across them, nothing posted while
// paused; and the count of what the device has played of the current track.

#include "audio/device_volume.h"
#include "audio/output_controls.h"
#include "output_thread_harness.h"

#include <cmath>

namespace {

using audio_test::kPatience;
using audio_test::kWindow;
using audio_test::OutputThreadTest;

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

    output_controls_request_pause(&queue->controls, true);
    ASSERT_TRUE(posix_wave_out_wait_paused(1, kPatience));
    EXPECT_EQ(posix_wave_out_step(1, 0), 0u) << "a paused device played";
    for (int i = 0; i < 6; ++i)
        push(441);
    output_controls_request_pause(&queue->controls, true); // asked twice: paused once
    output_controls_request_pause(&queue->controls, false);
    ASSERT_TRUE(posix_wave_out_wait_paused(0, kPatience));
    EXPECT_EQ(posix_wave_out_pauses(), 1u);
    EXPECT_EQ(posted_blocks().size(), posts) << "the picture moved while paused";
    play(15);
    EXPECT_EQ(played(), pushed);
}

// What counts is what the device has played of the track begun last: not
// what is queued or in flight, not what is left of the track before. (A
// slot is written again only after its block was counted and retired, so
// the count of writes tells how many were counted.) A busy device gives
// buffers back in groups, retired in slot order: the first track's last
// block comes back with the next track's first, from a later slot.
TEST_F(PauseIsTheDevicesOwn, HeardCountsPlayedFramesOfTheCurrentTrackOnly) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    uint32_t mark = pcm_queue_begin_track(queue);
    for (int i = 0; i < 11; ++i)
        push(4410); // 100 ms each
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    EXPECT_EQ(output_controls_heard_ms(&queue->controls, mark), 0u)
        << "delivered audio counted as heard";
    play(3);
    ASSERT_TRUE(posix_wave_out_wait_writes(11, kPatience));
    EXPECT_EQ(output_controls_heard_ms(&queue->controls, mark), 300u);
    mark = pcm_queue_begin_track(queue);
    for (int i = 0; i < 9; ++i)
        push(4410);
    posix_wave_out_set_returns(7, 0, 1);
    play(7); // the first track's buffers still in flight at the switch
    ASSERT_TRUE(posix_wave_out_wait_writes(18, kPatience));
    EXPECT_EQ(output_controls_heard_ms(&queue->controls, mark), 0u) << "the track before counted";
    posix_wave_out_set_returns(2, 0, 1);
    play(2);
    ASSERT_TRUE(posix_wave_out_wait_writes(20, kPatience));
    EXPECT_EQ(output_controls_heard_ms(&queue->controls, mark), 100u);
}

using VolumeIsTheDevicesOwn = OutputThreadTest;

// A level and a pause asked for before the first block are the device's
// from its open; each later level reaches the device, on both channels; and
// what the device is given stays the blocks' samples, unscaled, whatever
// the volume.
TEST_F(VolumeIsTheDevicesOwn, EveryLevelReachesTheDeviceAndTheSamplesStayAsDelivered) {
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    output_controls_request_volume(&queue->controls, 0x1234);
    output_controls_request_pause(&queue->controls, true);
    push(441);
    ASSERT_TRUE(posix_wave_out_wait_paused(1, kPatience));
    EXPECT_TRUE(eventually([] { return posix_wave_out_volume() == 0x12341234u; }));
    EXPECT_EQ(posix_wave_out_step(1, 200), 0u) << "a device opened paused played";
    output_controls_request_pause(&queue->controls, false);
    ASSERT_TRUE(posix_wave_out_wait_paused(0, kPatience));
    for (int i = 0; i < 11; ++i)
        push(441);
    output_controls_request_volume(&queue->controls, 0);
    EXPECT_TRUE(eventually([] { return posix_wave_out_volume() == 0u; }));
    output_controls_request_volume(&queue->controls, 0xFFFF);
    EXPECT_TRUE(eventually([] { return posix_wave_out_volume() == 0xFFFFFFFFu; }));
    play(12);
    EXPECT_EQ(played(), pushed);
}

// Even steps in decibels: 100 % plays the samples as they are, each step of
// 5 % takes 2 dB off, 0 % and below is silence.
TEST(VolumeCurve, EvenStepsOfTwoDecibelsFromFullToSilence) {
    EXPECT_EQ(device_volume_level(100), 0xFFFF);
    EXPECT_EQ(device_volume_level(120), 0xFFFF);
    EXPECT_EQ(device_volume_level(0), 0);
    EXPECT_EQ(device_volume_level(-5), 0);
    EXPECT_EQ(device_volume_level(50), 6554); // -20 dB
    for (int percent = 100; percent > kVolumeStepPercent; percent -= kVolumeStepPercent) {
        const double step = 20 * std::log10(static_cast<double>(device_volume_level(percent)) /
                                            device_volume_level(percent - kVolumeStepPercent));
        EXPECT_NEAR(step, 2.0, 0.05) << percent;
    }
}

} // namespace
