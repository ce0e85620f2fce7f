// The queue of decoded audio between the streaming library and the sound card.
//
// Threads: pcm_queue_init runs once on the main thread before any other
// thread can reach the queue; mutex and event are never written after it.
// Music delivery pushes on the library's delivering thread; the audio output
// thread pops; the main thread (key N, the track switch of the play step)
// and the play-token handler flush; the delivering and audio output threads
// read the frame count; the main thread begins tracks. head, tail,
// queued_frames and track_mark are read and written only with mutex held;
// the event is set before mutex is released, so a waiter that wakes always
// finds the change that signalled it.
//
// Lock order: the session mutex may be held when the queue's mutex is taken,
// never the other way round; nothing else is taken while mutex is held.
#pragma once

#include "audio/block_lending.h"
#include "audio/output_controls.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// One heap allocation: this header, followed directly by frame_count *
// channel_count interleaved signed 16-bit samples. Allocated with malloc by
// music delivery; freed with free by whoever takes it out of circulation.
struct PcmBlock {
    PcmBlock *next; // the following queued block; set by pcm_queue_push
    int32_t frame_count;
    int32_t sample_rate;
    int32_t channel_count;
    uint32_t track_mark; // the queue's track_mark when it was pushed; set by pcm_queue_push

    int16_t *samples() { return reinterpret_cast<int16_t *>(this + 1); }
    const int16_t *samples() const { return reinterpret_cast<const int16_t *>(this + 1); }
    // Bytes in the sample area: 2 * frame_count * channel_count.
    size_t sample_bytes() const {
        return size_t{2} * static_cast<uint32_t>(frame_count) *
               static_cast<uint32_t>(channel_count);
    }
};

static_assert(sizeof(PcmBlock) % alignof(int16_t) == 0, "samples follow the header aligned");

// The queue, with the two records the audio output thread shares with the
// main thread beside it: the loan of the playing block to the window and
// the player's controls. Each guards its own fields as its header says.
struct PcmQueue {
    HANDLE mutex;          // guards head, tail, queued_frames and track_mark
    HANDLE event;          // auto-reset; set by every push, every flush and every control request
    PcmBlock *head;        // guarded by mutex; null exactly when empty
    PcmBlock *tail;        // guarded by mutex; meaningful while head is set
    int32_t queued_frames; // guarded by mutex; sum of the queued frame counts
    // The tracks the player has started; every block pushed carries it, so
    // that what the device plays of the current track is told from what is
    // left of the one before. Changed by the main thread only.
    uint32_t track_mark;     // guarded by mutex
    BlockLending lending;    // guarded by its own mutex (audio/block_lending.h)
    OutputControls controls; // atomics, no lock (audio/output_controls.h)
};

// Empties the record, creates its mutex and event, and readies the loan to
// window and the controls. Returns false, leaving no object behind, when a
// kernel object cannot be created.
bool pcm_queue_init(PcmQueue *queue, HWND window);
// Appends block; the queue owns it from here.
void pcm_queue_push(PcmQueue *queue, PcmBlock *block);
// Takes the oldest block (the caller owns it), or returns null when empty.
PcmBlock *pcm_queue_pop(PcmQueue *queue);
// Frees every queued block and signals the event.
void pcm_queue_flush(PcmQueue *queue);
// queued_frames, read under the mutex.
int32_t pcm_queue_frames(PcmQueue *queue);
// Main thread, with the player stopped and before the next track is loaded:
// blocks pushed from here on belong to a new track (or to the same one
// played from another position). Returns the new track mark.
uint32_t pcm_queue_begin_track(PcmQueue *queue);
