// The queue of decoded audio: push, pop, flush, and the track mark that
// every pushed block carries.

#include "audio/pcm_queue.h"

#include "platform/win32_owners.h"

#include <cstdlib>

bool pcm_queue_init(PcmQueue *queue, HWND window) {
    queue->head = nullptr;
    queue->tail = nullptr;
    queue->queued_frames = 0;
    queue->track_mark = 0;
    queue->mutex = queue->event = nullptr;
    HandleOwner mutex(CreateMutexA(nullptr, FALSE, nullptr));
    HandleOwner event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!mutex || !event || !block_lending_init(&queue->lending, window))
        return false; // a queue without all its objects is never used: none is left behind
    queue->mutex = mutex.release();
    queue->event = event.release();
    output_controls_init(&queue->controls, queue->event);
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

uint32_t pcm_queue_begin_track(PcmQueue *queue) {
    const MutexHold hold(queue->mutex);
    queue->track_mark += 1;
    return queue->track_mark;
}
