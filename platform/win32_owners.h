// Owners for the program's kernel objects, locks and COM references, so that
// every hold and every handle is given back on each way out of a scope.
// Plain C++ over the Win32 calls: builds with MSVC, mingw-w64 and the POSIX
// stand-in alike.
#pragma once

#include <windows.h>

// Holds a mutex for one scope. An abandoned mutex is held all the same; a
// wait that fails holds nothing and releases nothing.
class MutexHold {
public:
    explicit MutexHold(HANDLE mutex) : mutex_(mutex) {
        held_ = WaitForSingleObject(mutex_, INFINITE) != WAIT_FAILED;
    }
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

// Owns a kernel object's handle (event, mutex, thread) and closes it, unless
// it is handed on with release().
class HandleOwner {
public:
    explicit HandleOwner(HANDLE handle) : handle_(handle) {}
    ~HandleOwner() {
        if (handle_)
            CloseHandle(handle_);
    }
    HandleOwner(const HandleOwner &) = delete;
    HandleOwner &operator=(const HandleOwner &) = delete;
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    HANDLE handle_;
};

// Gives back one COM reference held in a field or a variable and clears it.
template <class T> void release_com(T *&object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

// Owns one COM reference for a scope: filled through put(), given back at
// the scope's end unless handed on with release().
template <class T> class ComRef {
public:
    ComRef() = default;
    ~ComRef() { release_com(object_); }
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;
    T *get() const { return object_; }
    T *operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // The address a creation call fills; whatever was held is given back first.
    T **put() {
        release_com(object_);
        return &object_;
    }
    T *release() {
        T *object = object_;
        object_ = nullptr;
        return object;
    }

private:
    T *object_ = nullptr;
};
