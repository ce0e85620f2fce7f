// Music delivery: the library's decoded audio enters the program here (the
// threads it runs on: music_delivery.h).

#include "audio/music_delivery.h"

#include "audio/pcm_queue.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The largest sample area a block may have: the sound card is handed a
// block's samples in one buffer whose length is a 32-bit count of bytes.
constexpr uint64_t max_sample_bytes = UINT32_MAX;

} // namespace

int queue_delivery(PcmQueue *queue, const sp_audioformat *format, const void *frames,
                   int num_frames) {
    // Back-pressure: more than one second of frames, at the offered rate, is
    // already waiting. Equal is accepted; the new block is not yet counted.
    if (pcm_queue_frames(queue) > format->sample_rate)
        return 0;

    // A delivery that no block can hold is refused like one that cannot be
    // allocated: nothing is read and the library offers it again.
    if (num_frames < 0 || format->channels < 0)
        return 0;
    const uint64_t sample_bytes =
        uint64_t{2} * static_cast<uint64_t>(num_frames) * static_cast<uint64_t>(format->channels);
    if (sample_bytes > max_sample_bytes)
        return 0;

    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + sample_bytes));
    if (!block)
        return 0;
    block->next = nullptr;
    block->channel_count = format->channels;
    block->frame_count = num_frames;
    block->sample_rate = format->sample_rate;
    if (sample_bytes != 0)
        std::memcpy(block->samples(), frames, static_cast<size_t>(sample_bytes));

    pcm_queue_push(queue, block);
    return num_frames;
}
