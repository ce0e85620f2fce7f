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
//
// Threads: block_lending_init runs once on the main thread before the audio
// output thread exists, and window is never written after it. lend and
// retire run on the audio output thread only; borrow and give_back on the
// main thread (any one thread other than the audio output thread would do).
// lent, reading and reader_frees are read and written only with mutex held,
// and each side holds it for a few assignments only: never while the window
// reads a block, never while a block is freed, never while waiting. The
// audio output thread's wait for it is therefore never longer than the
// window's few assignments, however slowly the window reads. mutex is taken
// with no other lock held, and nothing is taken while it is held.
//
// Ownership: a block is the thread's until it is retired. Retiring the block
// the window is reading hands it to the window (reader_frees), which frees
// it at the give-back; any other retired block is freed at once. Once lent
// no longer names a block, no later borrow can succeed for it, whatever
// address a later allocation reuses.
#pragma once

#include <windows.h>

struct PcmBlock;

struct BlockLending {
    HWND window;       // where UM_AUDIO_BLOCK goes; null: nothing is posted or lent
    HANDLE mutex;      // guards lent, reading and reader_frees
    PcmBlock *lent;    // guarded by mutex: the block posted last, until it is retired
    PcmBlock *reading; // guarded by mutex: borrowed and not yet given back, or null
    bool reader_frees; // guarded by mutex: reading was retired; the give-back frees it
};

// Empties the record, stores window and creates the mutex. Returns false,
// leaving no object behind, when the mutex cannot be created.
bool block_lending_init(BlockLending *lending, HWND window);

// Audio output thread, before posting block to the window: the window may
// borrow it as soon as the message arrives.
void block_lending_lend(BlockLending *lending, PcmBlock *block);
// Audio output thread, instead of free(): ends the loan if block is lent, and
// frees it, or leaves it to the window to free when the window is reading it.
void block_lending_retire(BlockLending *lending, PcmBlock *block);

// Main thread: returns block, readable until block_lending_give_back, when
// block is the lent one and no other borrow is in progress; otherwise null,
// and nothing is held.
const PcmBlock *block_lending_borrow(BlockLending *lending, const PcmBlock *block);
// Main thread: ends the borrow in progress, if any; frees the block when it
// was retired meanwhile.
void block_lending_give_back(BlockLending *lending);
