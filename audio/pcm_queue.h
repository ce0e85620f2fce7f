// The queue of decoded audio between the streaming library and the sound card.
//
// Threads: music delivery pushes on the library's delivering thread; the
// audio output thread pops; the main thread (key N, the track switch of the
// play step) and the play-token handler flush. head, tail and queued_frames
// are touched only with mutex held. window, mutex and event are written once,
// by pcm_queue_init, before the audio output thread exists.
//
// Lock order: the session mutex may be held when the queue's mutex is taken,
// never the other way round; nothing else is taken while mutex is held.
#pragma once

#include <windows.h>

#include <atomic>
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

struct PcmQueue {
    HANDLE mutex;          // guards head, tail and queued_frames
    HANDLE event;          // auto-reset; set by every push and every flush
    HWND window;           // where UM_AUDIO_BLOCK goes; null: no notifications
    PcmBlock *head;        // guarded by mutex; null exactly when empty
    PcmBlock *tail;        // guarded by mutex; meaningful while head is set
    int32_t queued_frames; // guarded by mutex; sum of the queued frame counts

    // The block lent to the window. The audio output thread posts a block to
    // the main window while it still owns it, and retires it once the device
    // has played it; the window reads it at paint time. lent is the block
    // posted last, while it is not yet retired; the window borrows a block
    // only while it is lent, and a block retired while the window reads it is
    // freed by the window when it gives it back (block_lending.h).
    HANDLE lend_mutex; // guards lent, reading and reader_frees; never held while waiting
    PcmBlock *lent;    // guarded by lend_mutex
    PcmBlock *reading; // guarded by lend_mutex: borrowed and not yet given back, or null
    bool reader_frees; // guarded by lend_mutex: reading was retired; the give-back frees it

    // The player's controls (audio/output_controls.h). track_mark counts the
    // tracks the player has started; every block pushed carries it, so that
    // what the device plays of the current track is told from what is left
    // of the one before.
    uint32_t track_mark; // guarded by mutex; changed by the main thread only
    // Written by the main thread, read by the audio output thread, which the
    // event wakes after each change; no lock.
    std::atomic<bool> pause_wanted;
    // Written by the audio output thread, read by the main thread; no lock:
    // the track mark (high half) and the frames of that track the device has
    // played (low half), one word so that the two are read together.
    std::atomic<uint64_t> heard;
    std::atomic<int32_t> heard_rate; // written by the audio output thread: the device's frame rate
    // Written by the main thread, read by the audio output thread, which the
    // event wakes after each change; no lock: the device's volume as the
    // wave-out level of each channel (0 to 0xFFFF).
    std::atomic<uint32_t> volume_wanted;
};

// Empties the record, creates its mutex, event and lend_mutex, and stores window.
// Returns false when a kernel object cannot be created.
bool pcm_queue_init(PcmQueue *queue, HWND window);
// Appends block; the queue owns it from here.
void pcm_queue_push(PcmQueue *queue, PcmBlock *block);
// Takes the oldest block (the caller owns it), or returns null when empty.
PcmBlock *pcm_queue_pop(PcmQueue *queue);
// Frees every queued block and signals the event.
void pcm_queue_flush(PcmQueue *queue);
// queued_frames, read under the mutex.
int32_t pcm_queue_frames(PcmQueue *queue);
