// Events, recursive mutexes and threads with Win32 semantics, on the C++
// standard library. A HANDLE points to a KernelObject; every object is kept
// alive by shared ownership until both CloseHandle and (for a thread) its
// end have let go of it, so a thread's handle may be closed while it runs.

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

enum class Kind { event, mutex, thread };

struct KernelObject {
    explicit KernelObject(Kind k) : kind(k) {}
    virtual ~KernelObject() = default;
    const Kind kind;
    std::shared_ptr<KernelObject> self; // the handle's own reference; reset by CloseHandle
};

// An event, also used as a thread's "has ended" state (manual-reset).
struct Event : KernelObject {
    Event(bool manual, bool initial)
        : KernelObject(Kind::event), manual_reset(manual), signaled(initial) {}
    const bool manual_reset;
    std::mutex guard;
    std::condition_variable changed;
    bool signaled; // guarded by guard
};

struct Mutex : KernelObject {
    Mutex() : KernelObject(Kind::mutex) {}
    std::mutex guard;
    std::condition_variable released;
    std::thread::id owner; // guarded by guard
    unsigned depth = 0;    // guarded by guard
};

struct Thread : KernelObject {
    Thread() : KernelObject(Kind::thread), ended(true, false) {}
    Event ended;
};

KernelObject *object_of(HANDLE handle) {
    return static_cast<KernelObject *>(handle);
}

template <typename T> HANDLE make_handle(std::shared_ptr<T> object) {
    object->self = object;
    return object.get();
}

// Waits on cv until ready() holds or the time limit passes; true when ready.
template <typename Ready>
bool wait_until_ready(std::unique_lock<std::mutex> &lock, std::condition_variable &cv,
                      DWORD milliseconds, Ready ready) {
    if (milliseconds == INFINITE) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
}

DWORD wait_event(Event &event, DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(event.guard);
    if (!wait_until_ready(lock, event.changed, milliseconds, [&] { return event.signaled; }))
        return WAIT_TIMEOUT;
    if (!event.manual_reset)
        event.signaled = false;
    return WAIT_OBJECT_0;
}

void set_event(Event &event, bool value) {
    std::lock_guard<std::mutex> lock(event.guard);
    event.signaled = value;
    if (value)
        event.changed.notify_all();
}

DWORD wait_mutex(Mutex &mutex, DWORD milliseconds) {
    const auto me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex.guard);
    if (!wait_until_ready(lock, mutex.released, milliseconds,
                          [&] { return mutex.depth == 0 || mutex.owner == me; }))
        return WAIT_TIMEOUT;
    mutex.owner = me;
    ++mutex.depth;
    return WAIT_OBJECT_0;
}

} // namespace

extern "C" {

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR) {
    return make_handle(std::make_shared<Event>(manual_reset != 0, initial_state != 0));
}

BOOL SetEvent(HANDLE handle) {
    KernelObject *object = object_of(handle);
    if (!object || object->kind != Kind::event)
        return FALSE;
    set_event(*static_cast<Event *>(object), true);
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    KernelObject *object = object_of(handle);
    if (!object || object->kind != Kind::event)
        return FALSE;
    set_event(*static_cast<Event *>(object), false);
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCSTR) {
    auto mutex = std::make_shared<Mutex>();
    if (initial_owner) {
        mutex->owner = std::this_thread::get_id();
        mutex->depth = 1;
    }
    return make_handle(std::move(mutex));
}

BOOL ReleaseMutex(HANDLE handle) {
    KernelObject *object = object_of(handle);
    if (!object || object->kind != Kind::mutex)
        return FALSE;
    auto &mutex = *static_cast<Mutex *>(object);
    std::lock_guard<std::mutex> lock(mutex.guard);
    if (mutex.depth == 0 || mutex.owner != std::this_thread::get_id())
        return FALSE; // not owned by the caller
    if (--mutex.depth == 0) {
        mutex.owner = std::thread::id();
        mutex.released.notify_all();
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    KernelObject *object = object_of(handle);
    if (!object)
        return WAIT_FAILED;
    switch (object->kind) {
    case Kind::event:
        return wait_event(*static_cast<Event *>(object), milliseconds);
    case Kind::mutex:
        return wait_mutex(*static_cast<Mutex *>(object), milliseconds);
    case Kind::thread:
        return wait_event(static_cast<Thread *>(object)->ended, milliseconds);
    }
    return WAIT_FAILED;
}

BOOL CloseHandle(HANDLE handle) {
    KernelObject *object = object_of(handle);
    if (!object || !object->self)
        return FALSE;
    object->self.reset(); // may destroy the object; a running thread keeps its own reference
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, DWORD *thread_id) {
    auto thread = std::make_shared<Thread>();
    HANDLE handle = make_handle(thread);
    try {
        std::thread([thread, start, parameter] {
            start(parameter);
            set_event(thread->ended, true);
        }).detach();
    } catch (...) {
        thread->self.reset();
        return nullptr;
    }
    if (thread_id)
        *thread_id = 0;
    return handle;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetCurrentThreadId(void) {
    return static_cast<DWORD>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
}

HANDLE GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(intptr_t{-2});
}

BOOL SetThreadPriority(HANDLE, int) {
    return TRUE;
}

HMODULE LoadLibraryW(LPCWSTR) {
    return nullptr;
}

FARPROC GetProcAddress(HMODULE, LPCSTR) {
    return nullptr;
}

BOOL FreeLibrary(HMODULE) {
    return FALSE;
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
    const int r = std::strcmp(a ? a : "", b ? b : "");
    return (r > 0) - (r < 0);
}

} // extern "C"
