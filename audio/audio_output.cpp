// The audio output thread: the device, its eight buffers, and the posts to
// the window of the block being heard.

#include "audio/audio_output.h"

#include "audio/audio_thread_priority.h"
#include "audio/block_lending.h"
#include "audio/output_controls.h"
#include "audio/pcm_queue.h"
#include "audio/user_messages.h"
#include "platform/win32_owners.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

namespace {

// Why eight: see docs/ARCHITECTURE.md, "Deliberate behaviours".
constexpr int buffer_count = 8;

// Takes the first block, waiting while the queue holds no frames: the test is
// on the frame total, so blocks without frames alone do not end the wait. A
// pop that finds nothing (a flush emptied the queue after the read) starts
// again.
PcmBlock *take_first_block(PcmQueue *queue) {
    for (;;) {
        while (pcm_queue_frames(queue) == 0)
            WaitForSingleObject(queue->event, INFINITE);
        if (PcmBlock *block = pcm_queue_pop(queue))
            return block;
    }
}

WAVEFORMATEX wave_format_of(const PcmBlock &block) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(block.channel_count);
    format.nSamplesPerSec = static_cast<DWORD>(block.sample_rate);
    format.nAvgBytesPerSec =
        static_cast<DWORD>(block.channel_count) * static_cast<DWORD>(block.sample_rate) * 16u / 8u;
    format.nBlockAlign = static_cast<WORD>(block.channel_count * 2);
    format.wBitsPerSample = 16;
    return format;
}

// Points header at block's samples, in place, and hands it to the device.
// The results of the two device calls are ignored: a buffer the device does
// not take never comes back, and the others play on.
void write_block(HWAVEOUT device, WAVEHDR *header, PcmBlock *block) {
    *header = WAVEHDR{};
    header->lpData = reinterpret_cast<LPSTR>(block->samples());
    header->dwBufferLength = static_cast<DWORD>(block->sample_bytes());
    waveOutPrepareHeader(device, header, sizeof(WAVEHDR));
    waveOutWrite(device, header, sizeof(WAVEHDR));
}

// The eight buffers, their blocks, and the order in which they were written.
// The device plays buffers in the order written, so the block it is playing
// now is the one in the earliest-written buffer it has not returned.
struct Buffers {
    PcmBlock *slots[buffer_count] = {};
    WAVEHDR headers[buffer_count] = {};
    uint64_t written_as[buffer_count] = {}; // 0: empty; otherwise the write's number
    uint64_t writes = 0;
    uint64_t shown = 0;      // the write whose block was posted last; 0: none
    int32_t rate = 0;        // the device's frames per second
    bool paused = false;     // the device is paused
    uint32_t volume = 0;     // the level last set on the device
    bool volume_set = false; // volume has been set once

    void write(HWAVEOUT device, int i) {
        write_block(device, &headers[i], slots[i]);
        written_as[i] = ++writes;
    }

    // Retires the block of every buffer the device has returned; their
    // slots are free from here.
    void retire_returned(HWAVEOUT device, PcmQueue *queue) {
        for (int i = 0; i < buffer_count; ++i) {
            if (written_as[i] == 0 || !(headers[i].dwFlags & WHDR_DONE))
                continue;
            waveOutUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
            output_controls_note_played(&queue->controls, slots[i], rate);
            block_lending_retire(&queue->lending, slots[i]);
            slots[i] = nullptr;
            written_as[i] = 0;
        }
    }

    // Writes a queued block into every free slot while the queue holds
    // frames, without waiting (blocks without frames wait with the rest).
    void refill(HWAVEOUT device, PcmQueue *queue) {
        for (int i = 0; i < buffer_count; ++i) {
            if (written_as[i] != 0)
                continue;
            PcmBlock *block = pcm_queue_frames(queue) > 0 ? pcm_queue_pop(queue) : nullptr;
            if (!block)
                return;
            slots[i] = block;
            write(device, i);
            show_playing(queue);
        }
    }

    // Pauses or restarts the device as the main thread asked. The device
    // stops within the buffer it is playing and restarts from the frame
    // where it stopped; the buffers stay with it throughout, so nothing is
    // lost, repeated or written again.
    void follow_pause(HWAVEOUT device, PcmQueue *queue) {
        const bool wanted = output_controls_pause_requested(&queue->controls);
        if (wanted == paused)
            return;
        if (wanted)
            waveOutPause(device);
        else
            waveOutRestart(device);
        paused = wanted;
    }

    // Sets the device's own volume as the main thread asked: the device
    // scales what it plays, and the blocks the window reads stay as they
    // were delivered. Set once at the open as well, so that every run
    // starts at the level asked for whatever the system kept from before.
    void follow_volume(HWAVEOUT device, PcmQueue *queue) {
        const uint32_t wanted = output_controls_volume_requested(&queue->controls);
        if (volume_set && wanted == volume)
            return;
        waveOutSetVolume(device, static_cast<DWORD>(wanted | wanted << 16));
        volume = wanted;
        volume_set = true;
    }

    // The buffer the device is playing, or -1 when it has none in flight.
    // A buffer whose done flag the device sets meanwhile is read either way:
    // both are right within one buffer.
    int playing() const {
        int oldest = -1;
        for (int i = 0; i < buffer_count; ++i) {
            if (written_as[i] != 0 && !(headers[i].dwFlags & WHDR_DONE) &&
                (oldest < 0 || written_as[i] < written_as[oldest]))
                oldest = i;
        }
        return oldest;
    }

    // Tells the window about the block the device has started playing since
    // the last post. The block is lent before it is posted, so the window can
    // read it from the moment the message arrives; it stays lent until its
    // buffer comes back and it is retired.
    void show_playing(PcmQueue *queue) {
        const int i = playing();
        if (!queue->lending.window || i < 0 || written_as[i] == shown)
            return;
        shown = written_as[i];
        block_lending_lend(&queue->lending, slots[i]);
        PostMessageA(queue->lending.window, UM_AUDIO_BLOCK, reinterpret_cast<WPARAM>(slots[i]), 0);
    }
};

} // namespace

bool audio_output_start(PcmQueue *queue, HWND window) {
    if (!pcm_queue_init(queue, window))
        return false;
    // The thread runs for the life of the process and is never waited for.
    const HandleOwner thread(CreateThread(nullptr, 0, audio_output_thread, queue, 0, nullptr));
    return static_cast<bool>(thread);
}

DWORD WINAPI audio_output_thread(LPVOID parameter) {
    auto *queue = static_cast<PcmQueue *>(parameter);
    const AudioThreadPriority priority; // for as long as the thread runs
    Buffers buffers;

    buffers.slots[0] = take_first_block(queue);
    const WAVEFORMATEX format = wave_format_of(*buffers.slots[0]);

    // The device signals the queue's own event when it returns a buffer, so
    // one wait covers both a returned buffer and a new block.
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(queue->event), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        MessageBoxA(nullptr, "Failed to initialize sound card.", "Lorvane", MB_OK | MB_ICONWARNING);
        return 0;
    }
    buffers.rate = static_cast<int32_t>(format.nSamplesPerSec);
    buffers.follow_pause(device, queue); // a pause asked for before the first block
    buffers.follow_volume(device, queue);
    buffers.write(device, 0);
    buffers.show_playing(queue);

    // One wake of the auto-reset event may stand for several returned
    // buffers and several pushes: every buffer is looked at on each wake.
    // Returned buffers are retired and the window is shown the block the
    // device has moved on to before any free slot is refilled, and the
    // thread waits only when there is nothing to do. While delivery is
    // stalled, the buffers still in flight go on coming back and the window
    // goes on following them to the last one.
    // A pause asked for is carried out first: while the device is paused
    // nothing comes back, so nothing is posted and the picture holds still.
    for (;;) {
        buffers.follow_pause(device, queue);
        buffers.follow_volume(device, queue);
        buffers.retire_returned(device, queue);
        buffers.show_playing(queue);
        buffers.refill(device, queue);
        WaitForSingleObject(queue->event, INFINITE);
    }
}
