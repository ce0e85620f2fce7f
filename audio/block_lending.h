// How the main window reads a block that the audio output thread still owns.
//
// The thread posts UM_AUDIO_BLOCK for the block the device has started
// playing and retires the block once the device has played it, while the
// window keeps the pointer until the next post. The window therefore never
// reads through its pointer directly: it borrows the block, which succeeds
// only while that block is the one lent (the last posted and not yet
// retired), and reads it until it gives it back. A block retired while the
// window is reading it becomes the window's: the give-back frees it. The
// thread never waits for the window, and no copy is made on either side.
#pragma once

struct PcmQueue;
struct PcmBlock;

// Audio output thread, before posting block to the window: the window may
// borrow it as soon as the message arrives.
void pcm_queue_lend(PcmQueue *queue, PcmBlock *block);
// Audio output thread, instead of free(): ends the loan if block is lent, and
// frees it, or leaves it to the window to free when the window is reading it.
void pcm_queue_retire(PcmQueue *queue, PcmBlock *block);

// Main thread: returns block, readable until pcm_queue_give_back, when block
// is the lent one and no other borrow is in progress; otherwise null, and
// nothing is held.
const PcmBlock *pcm_queue_borrow(PcmQueue *queue, const PcmBlock *block);
// Main thread: ends the borrow in progress, if any; frees the block when it
// was retired meanwhile.
void pcm_queue_give_back(PcmQueue *queue);
