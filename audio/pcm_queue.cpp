// The queue of decoded audio between the streaming library and the sound card.
//
// Threads: pcm_queue_init runs once on the main thread before any other
// thread can reach the queue. pcm_queue_push runs on the library's delivering
// thread, pcm_queue_pop on the audio output thread, pcm_queue_flush on the
// main thread (key N, the play step's track switch) or wherever the
// play-token handler runs, pcm_queue_frames on the delivering and audio
// output threads. head, tail and queued_frames are read and written only with
// mutex held; the event is set before mutex is released, so a waiter that
// wakes always finds the change that signalled it.
//
// Lock order: callers may hold the session mutex when they get here; nothing
// is taken while mutex is held.

#include "audio/pcm_queue.h"

#include "platform/win32_owners.h"

#include <cstdlib>

bool pcm_queue_init(PcmQueue *queue, HWND window) {
    queue->head = nullptr;
    queue->tail = nullptr;
    queue->queued_frames = 0;
    queue->lent = nullptr;
    queue->reading = nullptr;
    queue->reader_frees = false;
    queue->window = window;
    queue->track_mark = 0;
    queue->pause_wanted.store(false);
    queue->heard.store(0);
    queue->heard_rate.store(0);
    queue->volume_wanted.store(0xFFFF);
    queue->mutex = queue->event = queue->lend_mutex = nullptr;
    HandleOwner mutex(CreateMutexA(nullptr, FALSE, nullptr));
    HandleOwner event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    HandleOwner lend_mutex(CreateMutexA(nullptr, FALSE, nullptr));
    if (!mutex || !event || !lend_mutex)
        return false; // a queue without all three objects is never used: none is left behind
    queue->mutex = mutex.release();
    queue->event = event.release();
    queue->lend_mutex = lend_mutex.release();
    return true;
}

void pcm_queue_push(PcmQueue *queue, PcmBlock *block) {
    block->next = nullptr;
    const MutexHold hold(queue->mutex);
    block->track_mark = queue->track_mark;
    if (!queue->head)
        queue->head = block;
    else
        queue->tail->next = block;
    queue->tail = block;
    queue->queued_frames += block->frame_count;
    SetEvent(queue->event);
}

PcmBlock *pcm_queue_pop(PcmQueue *queue) {
    const MutexHold hold(queue->mutex);
    PcmBlock *block = queue->head;
    if (block) {
        queue->head = block->next;
        queue->queued_frames -= block->frame_count;
        block->next = nullptr; // the caller owns it alone from here
        // tail keeps pointing at the block when it was the last one; it has
        // no meaning while head is null and the next push replaces it.
    }
    return block;
}

void pcm_queue_flush(PcmQueue *queue) {
    const MutexHold hold(queue->mutex);
    PcmBlock *block = queue->head;
    while (block) {
        PcmBlock *next = block->next;
        std::free(block);
        block = next;
    }
    queue->head = nullptr;
    queue->tail = nullptr;
    queue->queued_frames = 0;
    SetEvent(queue->event);
}

int32_t pcm_queue_frames(PcmQueue *queue) {
    const MutexHold hold(queue->mutex);
    return queue->queued_frames;
}
