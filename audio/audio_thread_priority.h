// The scheduling audio programs ask for, held by a thread while it runs.
#ifndef LORVANE_AUDIO_AUDIO_THREAD_PRIORITY_H
#define LORVANE_AUDIO_AUDIO_THREAD_PRIORITY_H

#include <windows.h>

// Made on the thread it raises and destroyed on it. Asks for the multimedia
// class scheduler's "Pro Audio" task where avrt.dll offers it, and for a
// time-critical priority, which is what a system without that scheduler (or
// one that only accepts the task) goes by: a thread that is not run in time
// on a busy machine lets the device run dry, which is heard as a gap. Both
// are given back when it is destroyed; either may be refused, and the thread
// then runs as before.
class AudioThreadPriority {
public:
    AudioThreadPriority();
    ~AudioThreadPriority();
    AudioThreadPriority(const AudioThreadPriority &) = delete;
    AudioThreadPriority &operator=(const AudioThreadPriority &) = delete;

private:
    using SetTask = HANDLE(WINAPI *)(LPCWSTR task, DWORD *index);
    using RevertTask = BOOL(WINAPI *)(HANDLE task);
    HMODULE avrt_ = nullptr;
    RevertTask revert_ = nullptr;
    HANDLE task_ = nullptr;
    bool raised_ = false;
};

#endif
