// The player's controls that the audio output thread carries out: pausing
// the device itself, setting its volume, and telling how much of the
// current track the device has played.
//
// Threads: the main thread asks for a pause and marks each track the player
// starts; the audio output thread pauses or restarts the device, which it
// alone owns, and counts what it plays. They meet in the PcmQueue's
// pause_wanted, volume_wanted, heard and heard_rate (atomics) and track_mark
// (under the queue's mutex); the queue's event wakes the thread after each
// request.
#pragma once

#include <cstdint>

struct PcmQueue;
struct PcmBlock;

// Main thread, with the player stopped and before the next track is loaded:
// blocks pushed from here on belong to a new track (or to the same one
// played from another position). Returns the new track mark. May be called
// with the session mutex held (it takes the queue's mutex).
uint32_t pcm_queue_begin_track(PcmQueue *queue);

// Main thread: asks the audio output thread to pause the device (true) or
// restart it where it stopped (false). Delivery goes on until the queue is
// full, as it does whenever the device takes nothing.
void audio_output_request_pause(PcmQueue *queue, bool paused);
// Main thread: the last request, false at first.
bool audio_output_pause_requested(const PcmQueue *queue);

// Main thread: asks the audio output thread to set the device's own volume
// to level (0 to 0xFFFF, both channels; 0xFFFF leaves the samples as they
// are). The blocks themselves are never scaled.
void audio_output_request_volume(PcmQueue *queue, uint16_t level);

// Milliseconds of the current track (the one begun last) the device has
// played: 0 until its first buffer has been played.
uint32_t audio_output_heard_ms(PcmQueue *queue);

// What the device has played last: the track mark of the buffer it returned
// last and the frames of that mark it has played in all, at rate frames a
// second (0 before the device is open). The block being heard starts there.
struct HeardPosition {
    uint32_t mark;
    uint32_t frames;
    int32_t rate;
};
HeardPosition audio_output_heard(const PcmQueue *queue);

// Audio output thread: block has been played by a device running at rate
// frames a second.
void audio_output_note_played(PcmQueue *queue, const PcmBlock *block, int32_t rate);
