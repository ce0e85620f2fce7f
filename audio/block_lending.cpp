// Block lending: the main window reads the block last posted to it while the
// audio output thread still owns it.
//
// Threads: pcm_queue_lend and pcm_queue_retire run on the audio output thread
// only; pcm_queue_borrow and pcm_queue_give_back on the main thread (any one
// thread other than the audio output thread would do). lent, reading and
// reader_frees are read and written only with lend_mutex held, and each side
// holds it for a few assignments only: never while the window reads a block,
// never while a block is freed. The audio output thread's wait for it is
// therefore never longer than the window's few assignments, however slowly
// the window reads.
//
// Ownership: a block is the thread's until it is retired. Retiring the block
// the window is reading hands it to the window (reader_frees), which frees
// it at the give-back; any other retired block is freed at once. Once lent
// no longer names a block, no later borrow can succeed for it, whatever
// address a later allocation reuses.

#include "audio/block_lending.h"

#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"

#include <cstdlib>

void pcm_queue_lend(PcmQueue *queue, PcmBlock *block) {
    const MutexHold hold(queue->lend_mutex);
    queue->lent = block;
}

void pcm_queue_retire(PcmQueue *queue, PcmBlock *block) {
    bool being_read = false;
    {
        const MutexHold hold(queue->lend_mutex);
        if (queue->lent == block)
            queue->lent = nullptr;
        being_read = queue->reading == block;
        if (being_read)
            queue->reader_frees = true;
    }
    if (!being_read)
        std::free(block);
}

const PcmBlock *pcm_queue_borrow(PcmQueue *queue, const PcmBlock *block) {
    if (!block)
        return nullptr;
    const MutexHold hold(queue->lend_mutex);
    if (!hold.held() || queue->lent != block || queue->reading != nullptr)
        return nullptr; // not lent, already being read, or no lock to look under
    queue->reading = queue->lent;
    return block;
}

void pcm_queue_give_back(PcmQueue *queue) {
    PcmBlock *mine = nullptr;
    {
        const MutexHold hold(queue->lend_mutex);
        mine = queue->reader_frees ? queue->reading : nullptr;
        queue->reading = nullptr;
        queue->reader_frees = false;
    }
    std::free(mine); // null unless the thread retired the block during the read
}
