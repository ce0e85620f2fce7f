#include "audio/audio_thread_priority.h"

AudioThreadPriority::AudioThreadPriority() {
    // Loaded when needed: avrt.dll is missing from some systems.
    avrt_ = LoadLibraryW(L"avrt.dll");
    if (avrt_) {
        const auto set = reinterpret_cast<SetTask>(
            reinterpret_cast<void *>(GetProcAddress(avrt_, "AvSetMmThreadCharacteristicsW")));
        revert_ = reinterpret_cast<RevertTask>(
            reinterpret_cast<void *>(GetProcAddress(avrt_, "AvRevertMmThreadCharacteristics")));
        DWORD index = 0;
        if (set && revert_)
            task_ = set(L"Pro Audio", &index);
    }
    raised_ = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

AudioThreadPriority::~AudioThreadPriority() {
    if (raised_)
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    if (task_)
        revert_(task_);
    if (avrt_)
        FreeLibrary(avrt_);
}
