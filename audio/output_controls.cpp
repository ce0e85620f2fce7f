// The player's controls that the audio output thread carries out.
//
// Threads: pcm_queue_begin_track, audio_output_request_pause,
// audio_output_pause_requested, audio_output_request_volume,
// audio_output_heard_ms and audio_output_heard run on the main thread;
// audio_output_note_played on the audio output thread, which is the only
// writer of heard and heard_rate. track_mark is changed under the queue's
// mutex by the main thread and read under it by pushes.

#include "audio/output_controls.h"

#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"

#include <algorithm>

namespace {

uint32_t mark_of(uint64_t heard) {
    return static_cast<uint32_t>(heard >> 32);
}
uint32_t frames_of(uint64_t heard) {
    return static_cast<uint32_t>(heard);
}

} // namespace

uint32_t pcm_queue_begin_track(PcmQueue *queue) {
    const MutexHold hold(queue->mutex);
    queue->track_mark += 1;
    return queue->track_mark;
}

void audio_output_request_pause(PcmQueue *queue, bool paused) {
    queue->pause_wanted.store(paused);
    SetEvent(queue->event);
}

bool audio_output_pause_requested(const PcmQueue *queue) {
    return queue->pause_wanted.load();
}

void audio_output_request_volume(PcmQueue *queue, uint16_t level) {
    queue->volume_wanted.store(level);
    SetEvent(queue->event);
}

HeardPosition audio_output_heard(const PcmQueue *queue) {
    const uint64_t heard = queue->heard.load();
    return HeardPosition{mark_of(heard), frames_of(heard), queue->heard_rate.load()};
}

uint32_t audio_output_heard_ms(PcmQueue *queue) {
    uint32_t mark = 0;
    {
        const MutexHold hold(queue->mutex);
        mark = queue->track_mark;
    }
    const HeardPosition heard = audio_output_heard(queue);
    if (heard.mark != mark || heard.rate <= 0)
        return 0;
    return static_cast<uint32_t>(uint64_t{heard.frames} * 1000u /
                                 static_cast<uint32_t>(heard.rate));
}

void audio_output_note_played(PcmQueue *queue, const PcmBlock *block, int32_t rate) {
    const uint64_t heard = queue->heard.load();
    // Buffers returned together are retired in slot order, not in the order
    // played: the last block of a track noted after the next track's first
    // was heard before it and must not take the count back to its track.
    if (block->track_mark < mark_of(heard))
        return;
    uint64_t frames = mark_of(heard) == block->track_mark ? frames_of(heard) : 0;
    frames = std::min<uint64_t>(frames + static_cast<uint32_t>(std::max(block->frame_count, 0)),
                                UINT32_MAX);
    queue->heard_rate.store(rate);
    queue->heard.store(uint64_t{block->track_mark} << 32 | frames);
}
