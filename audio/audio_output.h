// The audio output thread: plays the queued blocks on the wave-out device with
// eight buffers in flight, each pointing into one block's samples, and posts
// UM_AUDIO_BLOCK to the queue's window for every block the device starts
// playing: the block in the oldest buffer still in flight, so that what the
// window shows is what is heard, not what will be heard eight buffers later.
//
// Threads: audio_output_start runs once on the main thread; the thread keeps
// the device, the eight buffers and their block slots to itself; the device
// signals the queue's event, which only this thread waits for. It touches
// the shared records only through their operations, and it holds no lock
// while it waits, frees, posts or calls the device.
//
// Block ownership: a block is the thread's from pcm_queue_pop until the
// device returns the buffer that plays it; the thread then retires it
// (audio/block_lending.h): it is freed at once, or by the window when the
// window is reading it, and the thread never waits for the window. The
// device reads the samples in place: nothing is copied.
#pragma once

#include <windows.h>

struct PcmQueue;

// Initialises queue with window and starts the thread. Returns false when the
// queue's kernel objects or the thread cannot be created.
bool audio_output_start(PcmQueue *queue, HWND window);

// The thread procedure; parameter is the PcmQueue. Returns only when the
// device cannot be opened.
DWORD WINAPI audio_output_thread(LPVOID parameter);
