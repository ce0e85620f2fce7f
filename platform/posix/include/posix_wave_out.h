/*
 * Test controls of the POSIX wave-out device (mmsystem.h).
 *
 * The device plays the buffers written to it in the order written, into
 * memory, and records every byte it plays. When it has played a buffer it
 * returns it as the real device does: WHDR_DONE set (WHDR_INQUEUE cleared) in
 * dwFlags, then its CALLBACK_EVENT event signalled; the event is also
 * signalled once when the device opens. It is never paced by a clock of the
 * test's own: the pace is real time, N times faster, as fast as it can, or
 * one step at a time on the test's call.
 *
 * The controls act on the device opened last ("the device") and on devices
 * opened after the call; posix_wave_out_reset sets them back. A device is
 * never destroyed: a program thread that still uses an earlier device after a
 * reset finds it halted, not freed.
 *
 * Ending a test whose audio output thread runs for ever: posix_wave_out_halt
 * stops the device from playing or returning anything; the thread then waits
 * for a buffer that never comes back, and the test may leave with it parked.
 * Everything the thread holds stays reachable from its stack, the device and
 * the queue, so the leak check and the race detector stay quiet.
 */
#ifndef LORVANE_POSIX_WAVE_OUT_H
#define LORVANE_POSIX_WAVE_OUT_H

#include "mmsystem.h"

#ifdef __cplusplus
extern "C" {
#endif

/* posix_wave_out_set_pace: 0 plays only on posix_wave_out_step; 1 is real
 * time; N is N times faster than real time; POSIX_WAVE_OUT_UNPACED plays
 * each buffer as soon as it is written. The default is real time. */
#define POSIX_WAVE_OUT_MANUAL 0u
#define POSIX_WAVE_OUT_REAL_TIME 1u
#define POSIX_WAVE_OUT_UNPACED 0xFFFFFFFFu
void posix_wave_out_set_pace(unsigned times_real_time);

/* Every later waveOutOpen fails with result (MMSYSERR_NOERROR: opens work
 * again). The failed call is still recorded. */
void posix_wave_out_set_open_result(MMRESULT result);

/* How played buffers are returned. batch: buffers are returned only in
 * groups of batch (1, the default: each as soon as it is played), all of a
 * group with one signal. hold_percent: each played buffer is held back with
 * this probability (0 to 100, default 0) and returned later, together with
 * a later one; buffers returned together are marked done in a random order
 * (seeded by seed). Applies to the device and to later ones. */
void posix_wave_out_set_returns(unsigned batch, unsigned hold_percent, unsigned seed);

/* Manual pace: waits up to timeout_ms for the device to have count buffers
 * written and not yet played, then plays that many (fewer when the wait
 * times out) and returns them under the return rules. Returns how many
 * were played. */
size_t posix_wave_out_step(size_t count, DWORD timeout_ms);

/* Stops the device for good: nothing more is played or returned, and the
 * pacing thread, if any, has ended when this returns. */
void posix_wave_out_halt(void);

/* Halts the device, forgets it and everything recorded, and restores every
 * setting to its default. */
void posix_wave_out_reset(void);

/* Keep (default) or drop the played bytes; dropping keeps only their count. */
void posix_wave_out_set_recording(int keep);

/* ---- Observation ---------------------------------------------------------- */

/* The last waveOutOpen call since the reset, whether it succeeded or not. */
typedef struct PosixWaveOutOpen {
    UINT device_id;
    WAVEFORMATEX format;
    DWORD_PTR callback;
    DWORD_PTR instance;
    DWORD flags;
    MMRESULT result;
} PosixWaveOutOpen;

/* Number of waveOutOpen calls since the reset; the last one is copied to
 * out when there is one and out is not null. */
size_t posix_wave_out_opens(PosixWaveOutOpen *out);

/* One buffer as the program wrote it. */
typedef struct PosixWaveOutWrite {
    const void *data;
    DWORD length;
} PosixWaveOutWrite;

/* Copies up to max of the device's writes, oldest first; returns their
 * number. */
size_t posix_wave_out_writes(PosixWaveOutWrite *out, size_t max);

/* Copies up to max bytes of what the device played, from the first; returns
 * the number of bytes played. */
size_t posix_wave_out_played(void *out, size_t max);

/* Waits up to timeout_ms until the device has played at least bytes bytes;
 * non-zero when it has. */
int posix_wave_out_wait_played(size_t bytes, DWORD timeout_ms);

/* Waits up to timeout_ms until the device has been written count buffers in
 * all; non-zero when it has. */
int posix_wave_out_wait_writes(size_t count, DWORD timeout_ms);

/* Waits up to timeout_ms until the device is paused (paused non-zero) or
 * playing; non-zero when it is. A paused device plays and returns nothing,
 * also on posix_wave_out_step, until waveOutRestart. */
int posix_wave_out_wait_paused(int paused, DWORD timeout_ms);

/* waveOutPause calls on the device. */
size_t posix_wave_out_pauses(void);

/* The device's volume as waveOutSetVolume set it last (0xFFFFFFFF, full on
 * both channels, at the open). The device plays the bytes written whatever
 * the volume: it is only recorded. */
DWORD posix_wave_out_volume(void);

/* Calls the device refused: a header of the wrong size, written unprepared
 * or while queued, unprepared while queued, a handle it did not give out. */
size_t posix_wave_out_misuses(void);

#ifdef __cplusplus
}
#endif

#endif /* LORVANE_POSIX_WAVE_OUT_H */
