// The player's controls that the audio output thread carries out: pausing
// the device itself, setting its volume, and telling how much of a track
// the device has played.
//
// Threads: output_controls_init runs once on the main thread before the
// audio output thread exists, and wake is never written after it. The main
// thread asks for a pause or a volume and reads what was heard; the audio
// output thread, which alone owns the device, carries the requests out and
// notes every block played. They meet in the atomics below, without a lock;
// wake (the queue's event, which the audio output thread waits on) is set
// after each request. No lock is taken here.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

struct PcmBlock;

struct OutputControls {
    HANDLE wake; // written once by init: the audio output thread's event, not owned here
    // No lock: written by the main thread, read by the audio output thread.
    std::atomic<bool> pause_wanted;
    // No lock: written by the main thread, read by the audio output thread:
    // the device's volume as the wave-out level of each channel (0 to 0xFFFF).
    std::atomic<uint32_t> volume_wanted;
    // No lock: written by the audio output thread, read by the main thread:
    // the track mark (high half) and the frames of that track the device
    // has played (low half), one word so that the two are read together.
    std::atomic<uint64_t> heard;
    std::atomic<int32_t> heard_rate; // no lock, as heard: the device's frame rate
};

// Not paused, full volume, nothing heard; requests set wake.
void output_controls_init(OutputControls *controls, HANDLE wake);

// Main thread: asks the audio output thread to pause the device (true) or
// restart it where it stopped (false). Delivery goes on until the queue is
// full, as it does whenever the device takes nothing.
void output_controls_request_pause(OutputControls *controls, bool paused);
// The last pause request, false at first.
bool output_controls_pause_requested(const OutputControls *controls);

// Main thread: asks the audio output thread to set the device's own volume
// to level (0 to 0xFFFF, both channels; 0xFFFF leaves the samples as they
// are). The blocks themselves are never scaled.
void output_controls_request_volume(OutputControls *controls, uint16_t level);
// The last volume request, 0xFFFF at first.
uint32_t output_controls_volume_requested(const OutputControls *controls);

// What the device has played last: the track mark of the buffer it returned
// last and the frames of that mark it has played in all, at rate frames a
// second (0 before the device is open). The block being heard starts there.
struct HeardPosition {
    uint32_t mark;
    uint32_t frames;
    int32_t rate;
};
HeardPosition output_controls_heard(const OutputControls *controls);

// Milliseconds of the track marked mark (pcm_queue_begin_track) the device
// has played: 0 until its first buffer has been played, and 0 once a later
// track has been heard.
uint32_t output_controls_heard_ms(const OutputControls *controls, uint32_t mark);

// Audio output thread: block has been played by a device running at rate
// frames a second.
void output_controls_note_played(OutputControls *controls, const PcmBlock *block, int32_t rate);
