// Block lending: the main window reads the block last posted to it while the
// audio output thread still owns it.
//
// Threads: pcm_queue_lend and pcm_queue_retire run on the audio output thread
// only; pcm_queue_borrow and pcm_queue_give_back on the main thread (any one
// thread other than the audio output thread would do). lent is read and
// written only with lend_mutex held. A successful borrow keeps lend_mutex
// until the give-back, so while the window reads a block, lent cannot move
// away from it and the thread cannot free it. Nothing else is ever taken
// while lend_mutex is held by the audio output thread, so the window's wait
// is never longer than one assignment.

#include "audio/block_lending.h"

#include "audio/pcm_queue.h"

#include <cstdlib>

void pcm_queue_lend(PcmQueue *queue, PcmBlock *block) {
    WaitForSingleObject(queue->lend_mutex, INFINITE);
    queue->lent = block;
    ReleaseMutex(queue->lend_mutex);
}

void pcm_queue_retire(PcmQueue *queue, PcmBlock *block) {
    // Taking the mutex waits for a borrow in progress; once lent is cleared no
    // later borrow can succeed for this block, whatever address a later
    // allocation reuses.
    WaitForSingleObject(queue->lend_mutex, INFINITE);
    if (queue->lent == block)
        queue->lent = nullptr;
    ReleaseMutex(queue->lend_mutex);
    std::free(block);
}

const PcmBlock *pcm_queue_borrow(PcmQueue *queue, const PcmBlock *block) {
    if (!block || WaitForSingleObject(queue->lend_mutex, INFINITE) != WAIT_OBJECT_0)
        return nullptr; // nothing to read, or no lock to read it under
    if (queue->lent == block)
        return block; // lend_mutex stays held until pcm_queue_give_back
    ReleaseMutex(queue->lend_mutex);
    return nullptr;
}

void pcm_queue_give_back(PcmQueue *queue) {
    ReleaseMutex(queue->lend_mutex);
}
