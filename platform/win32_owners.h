// Owners for the program's locks and kernel objects, so that each is given
// back on every way out of a scope, and the one release of a COM reference.
// Plain C++ over the Win32 calls: builds with MSVC, mingw-w64 and the POSIX
// stand-in alike.
#pragma once

#include <windows.h>

#include <utility>

// Owns a kernel object's handle and closes it, unless release() hands it on.
class HandleOwner {
public:
    HandleOwner() = default;
    explicit HandleOwner(HANDLE handle) : handle_(handle) {}
    ~HandleOwner() { reset(); }
    HandleOwner(const HandleOwner &) = delete;
    HandleOwner &operator=(const HandleOwner &) = delete;
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    // Closes the handle held, if any, and holds handle instead.
    void reset(HANDLE handle = nullptr) {
        if (HANDLE old = std::exchange(handle_, handle))
            CloseHandle(old);
    }

private:
    HANDLE handle_ = nullptr;
};

// Holds a mutex for one scope (an abandoned mutex is held all the same).
class MutexHold {
public:
    explicit MutexHold(HANDLE mutex)
        : mutex_(mutex), held_(WaitForSingleObject(mutex, INFINITE) != WAIT_FAILED) {}
    explicit MutexHold(const HandleOwner &mutex) : MutexHold(mutex.get()) {}
    ~MutexHold() {
        if (held_)
            ReleaseMutex(mutex_);
    }
    MutexHold(const MutexHold &) = delete;
    MutexHold &operator=(const MutexHold &) = delete;
    bool held() const { return held_; }

private:
    HANDLE mutex_;
    bool held_;
};

// Gives back the COM reference a field or variable holds, and clears it.
template <class T> void release(T *&object) {
    if (object)
        std::exchange(object, nullptr)->Release();
}
