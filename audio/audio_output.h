// The audio output thread: plays the queued blocks on the wave-out device with
// eight buffers in flight, each pointing into one block's samples, and posts
// UM_AUDIO_BLOCK to the queue's window for every block the device starts
// playing: the block in the oldest buffer still in flight, so that what the
// window shows is what is heard, not what will be heard eight buffers later.
#pragma once

#include <windows.h>

struct PcmQueue;

// Initialises queue with window and starts the thread. Returns false when the
// queue's kernel objects or the thread cannot be created.
bool audio_output_start(PcmQueue *queue, HWND window);

// The thread procedure; parameter is the PcmQueue. Returns only when the
// device cannot be opened.
DWORD WINAPI audio_output_thread(LPVOID parameter);
