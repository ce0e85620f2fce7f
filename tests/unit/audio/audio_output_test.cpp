// The audio output thread on the in-memory wave-out device: the format it
// opens, the buffers it writes, the blocks it posts, flushes, and the
// device that cannot be opened. Every block the thread frees passes through
// ASan, which fails the suite on a double free, and the leak check at exit
// finds any played block that was never freed.

#include "app/user_messages.h"
#include "audio/block_lending.h"
#include "output_thread_harness.h"

#include <cstdlib>
#include <vector>

namespace {

using audio_test::kPatience;
using audio_test::OutputThreadTest;

const HWND kWindow = reinterpret_cast<HWND>(uintptr_t{0x5150});

using OutputOpensTheDeviceInTheFirstBlocksFormat = OutputThreadTest;
using OutputPlaysBlocksInPlace = OutputThreadTest;
using OutputPostsFromTheNinthBlock = OutputThreadTest;
using FlushLeavesOnlyTheBuffersInFlight = OutputThreadTest;
using OutputRefillsEveryReturnedBuffer = OutputThreadTest;
using OutputReportsAnUnopenableDevice = OutputThreadTest;

TEST_F(OutputOpensTheDeviceInTheFirstBlocksFormat, Stereo) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    push(1024, 2, 44100);
    ASSERT_TRUE(posix_wave_out_wait_writes(1, kPatience));
    PosixWaveOutOpen open{};
    ASSERT_EQ(posix_wave_out_opens(&open), 1u);
    EXPECT_EQ(open.device_id, WAVE_MAPPER);
    EXPECT_EQ(open.flags, CALLBACK_EVENT);
    EXPECT_EQ(open.instance, 0u);
    EXPECT_NE(open.callback, 0u);
    EXPECT_EQ(open.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(open.format.nChannels, 2);
    EXPECT_EQ(open.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(open.format.nAvgBytesPerSec, 4u * 44100u);
    EXPECT_EQ(open.format.nBlockAlign, 4);
    EXPECT_EQ(open.format.wBitsPerSample, 16);
}

TEST_F(OutputOpensTheDeviceInTheFirstBlocksFormat, Mono) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    push(512, 1, 22050);
    ASSERT_TRUE(posix_wave_out_wait_writes(1, kPatience));
    PosixWaveOutOpen open{};
    ASSERT_EQ(posix_wave_out_opens(&open), 1u);
    EXPECT_EQ(open.format.nChannels, 1);
    EXPECT_EQ(open.format.nSamplesPerSec, 22050u);
    EXPECT_EQ(open.format.nAvgBytesPerSec, 2u * 22050u);
    EXPECT_EQ(open.format.nBlockAlign, 2);
}

TEST_F(OutputOpensTheDeviceInTheFirstBlocksFormat, BlocksWithoutFramesDoNotStartIt) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    PcmBlock *empty = push(0, 1, 8000);
    push(0, 2, 44100);
    EXPECT_FALSE(posix_wave_out_wait_writes(1, 200)) << "no frames queued, nothing opened";
    EXPECT_EQ(posix_wave_out_opens(nullptr), 0u);
    push(64);
    ASSERT_TRUE(posix_wave_out_wait_writes(3, kPatience));
    PosixWaveOutOpen open{};
    ASSERT_EQ(posix_wave_out_opens(&open), 1u);
    // The first block taken is the oldest, frames or not.
    EXPECT_EQ(open.format.nChannels, 1);
    EXPECT_EQ(open.format.nSamplesPerSec, 8000u);
    const auto written = writes();
    EXPECT_EQ(written[0].data, empty->samples());
    EXPECT_EQ(written[0].length, 0u);
}

TEST_F(OutputPlaysBlocksInPlace, BufferLengthsFollowEachBlock) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    std::vector<PcmBlock *> blocks;
    blocks.push_back(push(1000, 2));
    blocks.push_back(push(0, 2));
    blocks.push_back(push(333, 2));
    for (int i = 0; i < 5; ++i)
        blocks.push_back(push(128 + i, 2));
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    const auto written = writes();
    ASSERT_EQ(written.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(written[i].data, blocks[i]->samples()) << "buffer " << i << " is not in place";
        EXPECT_EQ(written[i].length, 4u * static_cast<uint32_t>(blocks[i]->frame_count));
    }
    EXPECT_EQ(written[1].length, 0u);
    play(8);
    EXPECT_EQ(played(), pushed);
}

TEST_F(OutputPlaysBlocksInPlace, LaterFormatsAreWrittenUnchanged) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    push(256, 2, 44100);
    PcmBlock *mono = push(300, 1, 22050);
    PcmBlock *fast = push(100, 2, 96000);
    for (int i = 0; i < 6; ++i)
        push(64);
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    const auto written = writes();
    EXPECT_EQ(written[1].data, mono->samples());
    EXPECT_EQ(written[1].length, 600u);
    EXPECT_EQ(written[2].data, fast->samples());
    EXPECT_EQ(written[2].length, 400u);
    play(9);
    EXPECT_EQ(played(), pushed);
    EXPECT_EQ(posix_wave_out_opens(nullptr), 1u) << "the device is opened once";
}

TEST_F(OutputPlaysBlocksInPlace, WithoutWindowNothingIsPostedAndAllIsPlayed) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    for (int i = 0; i < 12; ++i)
        push(200 + i);
    play(12);
    EXPECT_EQ(played(), pushed);
    EXPECT_TRUE(posts().empty());
}

TEST_F(OutputPostsFromTheNinthBlock, EachRefillPostsItsBlockInOrder) {
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    std::vector<PcmBlock *> blocks;
    for (int i = 0; i < 20; ++i)
        blocks.push_back(push(256));
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    EXPECT_TRUE(posts().empty()) << "the first eight blocks are never posted";

    play(1);
    ASSERT_TRUE(posix_wave_out_wait_writes(9, kPatience));
    auto sent = posts();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].window, kWindow);
    EXPECT_EQ(sent[0].message, UM_AUDIO_BLOCK);
    EXPECT_EQ(sent[0].wparam, reinterpret_cast<WPARAM>(blocks[8]));
    EXPECT_EQ(sent[0].lparam, 0);

    play(11);
    ASSERT_TRUE(posix_wave_out_wait_writes(20, kPatience));
    sent = posts();
    ASSERT_EQ(sent.size(), 12u);
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i].wparam, reinterpret_cast<WPARAM>(blocks[8 + i])) << "post " << i;
    // The block posted last is the one the window may read.
    ASSERT_EQ(pcm_queue_borrow(queue, blocks[19]), blocks[19]);
    pcm_queue_give_back(queue);
    EXPECT_EQ(pcm_queue_borrow(queue, blocks[18]), nullptr);
}

TEST_F(OutputPostsFromTheNinthBlock, PostedBlockFreedFirstIsNoLongerLent) {
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    std::vector<PcmBlock *> blocks;
    for (int i = 0; i < 9; ++i)
        blocks.push_back(push(128));
    play(1);
    ASSERT_TRUE(posix_wave_out_wait_writes(9, kPatience));
    ASSERT_EQ(pcm_queue_borrow(queue, blocks[8]), blocks[8]);
    pcm_queue_give_back(queue);
    // Delivery has stopped and all eight buffers come back at once: the scan
    // meets the posted block's buffer (0) first and frees that block before
    // any newer one is posted. The window's pointer must stop working.
    posix_wave_out_set_returns(8, 0, 3);
    ASSERT_EQ(posix_wave_out_step(8, kPatience), 8u);
    PcmBlock *late = push(64);
    ASSERT_TRUE(posix_wave_out_wait_writes(10, kPatience));
    EXPECT_EQ(pcm_queue_borrow(queue, blocks[8]), nullptr);
    ASSERT_EQ(pcm_queue_borrow(queue, late), late);
    pcm_queue_give_back(queue);
}

TEST_F(FlushLeavesOnlyTheBuffersInFlight, NewAudioFollowsTheEightOldBuffers) {
    ASSERT_TRUE(audio_output_start(queue, nullptr));
    for (int i = 0; i < 12; ++i)
        push(100);
    ASSERT_TRUE(posix_wave_out_wait_writes(8, kPatience));
    const std::vector<unsigned char> in_flight(pushed.begin(), pushed.begin() + 8 * 400);
    pcm_queue_flush(queue);
    pushed = in_flight;
    for (int i = 0; i < 10; ++i)
        push(150);
    play(18);
    EXPECT_EQ(played(), pushed);
}

TEST_F(OutputRefillsEveryReturnedBuffer, AllEightReturnedAtOnce) {
    posix_wave_out_set_returns(8, 0, 11);
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    std::vector<PcmBlock *> blocks;
    for (int i = 0; i < 32; ++i)
        blocks.push_back(push(64 + i));
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(posix_wave_out_wait_writes(8 * (round + 1), kPatience));
        ASSERT_EQ(posix_wave_out_step(8, kPatience), 8u);
    }
    ASSERT_TRUE(posix_wave_out_wait_writes(32, kPatience));
    const auto sent = posts();
    ASSERT_EQ(sent.size(), 24u);
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i].wparam, reinterpret_cast<WPARAM>(blocks[8 + i])) << "post " << i;
    const std::vector<unsigned char> first_24(pushed.begin(),
                                              pushed.begin() + static_cast<long>(played().size()));
    EXPECT_EQ(played(), first_24);
}

TEST_F(OutputRefillsEveryReturnedBuffer, ReturnsHeldBackAndOutOfOrder) {
    posix_wave_out_set_returns(3, 50, 7);
    posix_wave_out_set_pace(POSIX_WAVE_OUT_UNPACED);
    ASSERT_TRUE(audio_output_start(queue, kWindow));
    for (int i = 0; i < 300; ++i) {
        while (pcm_queue_frames(queue) > 4096)
            Sleep(1);
        push(37 * (i % 7) + 1);
    }
    ASSERT_TRUE(posix_wave_out_wait_played(pushed.size(), kPatience));
    EXPECT_EQ(played(), pushed);
    EXPECT_EQ(posts().size(), 300u - 8u);
}

TEST_F(OutputReportsAnUnopenableDevice, MessageBoxThenTheThreadEnds) {
    posix_wave_out_set_open_result(MMSYSERR_BADDEVICEID);
    ASSERT_TRUE(pcm_queue_init(queue, kWindow));
    HANDLE thread = CreateThread(nullptr, 0, audio_output_thread, queue, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    PcmBlock *first = push(1024);
    ASSERT_EQ(WaitForSingleObject(thread, kPatience), WAIT_OBJECT_0);
    CloseHandle(thread);

    PosixMessageBox boxes[2];
    ASSERT_EQ(posix_message_boxes(boxes, 2), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_STREQ(boxes[0].text, "Failed to initialize sound card.");
    EXPECT_STREQ(boxes[0].caption, "Lorvane");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    PosixWaveOutOpen open{};
    ASSERT_EQ(posix_wave_out_opens(&open), 1u);
    EXPECT_EQ(open.result, MMSYSERR_BADDEVICEID);
    EXPECT_TRUE(posts().empty());

    // Nothing takes blocks any more.
    push(512);
    EXPECT_EQ(pcm_queue_frames(queue), 512);
    pcm_queue_flush(queue);
    std::free(first); // the thread kept the block it had taken
}

} // namespace
