// The player's controls that the audio output thread carries out: pausing
// the device itself, and telling how much of the current track the device
// has played.
//
// Threads: the main thread asks for a pause and marks each track the player
// starts; the audio output thread pauses or restarts the device, which it
// alone owns, and counts what it plays. They meet in the PcmQueue's
// pause_wanted, heard and heard_rate (atomics) and track_mark (under the
// queue's mutex); the queue's event wakes the thread after each request.
#pragma once

#include <cstdint>

struct PcmQueue;
struct PcmBlock;

// Main thread, with the player stopped and before the next track is loaded:
// blocks pushed from here on belong to a new track. May be called with the
// session mutex held (it takes the queue's mutex).
void pcm_queue_begin_track(PcmQueue *queue);

// Main thread: asks the audio output thread to pause the device (true) or
// restart it where it stopped (false). Delivery goes on until the queue is
// full, as it does whenever the device takes nothing.
void audio_output_request_pause(PcmQueue *queue, bool paused);
// Main thread: the last request, false at first.
bool audio_output_pause_requested(const PcmQueue *queue);

// Milliseconds of the current track (the one begun last) the device has
// played: 0 until its first buffer has been played.
uint32_t audio_output_heard_ms(PcmQueue *queue);

// Audio output thread: block has been played by a device running at rate
// frames a second.
void audio_output_note_played(PcmQueue *queue, const PcmBlock *block, int32_t rate);
