// The pause and volume requests to the audio output thread, and its count of
// what the device has played.

#include "audio/output_controls.h"

#include "audio/pcm_queue.h"

#include <algorithm>

namespace {

uint32_t mark_of(uint64_t heard) {
    return static_cast<uint32_t>(heard >> 32);
}
uint32_t frames_of(uint64_t heard) {
    return static_cast<uint32_t>(heard);
}

} // namespace

void output_controls_init(OutputControls *controls, HANDLE wake) {
    controls->wake = wake;
    controls->pause_wanted.store(false);
    controls->volume_wanted.store(0xFFFF);
    controls->heard.store(0);
    controls->heard_rate.store(0);
}

void output_controls_request_pause(OutputControls *controls, bool paused) {
    controls->pause_wanted.store(paused);
    SetEvent(controls->wake);
}

bool output_controls_pause_requested(const OutputControls *controls) {
    return controls->pause_wanted.load();
}

void output_controls_request_volume(OutputControls *controls, uint16_t level) {
    controls->volume_wanted.store(level);
    SetEvent(controls->wake);
}

uint32_t output_controls_volume_requested(const OutputControls *controls) {
    return controls->volume_wanted.load();
}

HeardPosition output_controls_heard(const OutputControls *controls) {
    const uint64_t heard = controls->heard.load();
    return HeardPosition{mark_of(heard), frames_of(heard), controls->heard_rate.load()};
}

uint32_t output_controls_heard_ms(const OutputControls *controls, uint32_t mark) {
    const HeardPosition heard = output_controls_heard(controls);
    if (heard.mark != mark || heard.rate <= 0)
        return 0;
    return static_cast<uint32_t>(uint64_t{heard.frames} * 1000u /
                                 static_cast<uint32_t>(heard.rate));
}

void output_controls_note_played(OutputControls *controls, const PcmBlock *block, int32_t rate) {
    const uint64_t heard = controls->heard.load();
    // Buffers returned together are retired in slot order, not in the order
    // played: the last block of a track noted after the next track's first
    // was heard before it and must not take the count back to its track.
    if (block->track_mark < mark_of(heard))
        return;
    uint64_t frames = mark_of(heard) == block->track_mark ? frames_of(heard) : 0;
    frames = std::min<uint64_t>(frames + static_cast<uint32_t>(std::max(block->frame_count, 0)),
                                UINT32_MAX);
    controls->heard_rate.store(rate);
    controls->heard.store(uint64_t{block->track_mark} << 32 | frames);
}
