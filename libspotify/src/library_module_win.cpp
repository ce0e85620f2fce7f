// The library's module on Windows, and the process's end. The program never
// releases its session, so the library's threads are alive when it exits.
// ExitProcess ends them wherever they are before it detaches the modules;
// under Wine they end asynchronously and run on for a moment while the
// process is torn down, and one walking a folder, reading tags or following
// folders then takes the process down (exit status 139).
//
// - The loader and the watcher are stopped before ExitProcess: the module
//   registers a stop with the process's C runtime when it is loaded, which
//   the runtime's exit() runs after the program's main function returns.
//   Each C runtime present is asked (the universal one's _crt_atexit, the
//   older msvcrt's _onexit): a program built with either is covered, and a
//   stop that runs twice does nothing the second time. A runtime that runs
//   its table only when it is detached itself (one the program does not
//   use) would run the stop once ExitProcess has begun: then it does nothing.
// - The module pins itself when it is loaded: unloading it would leave its
//   threads running code that is gone, and the stop above in a table that
//   outlives it.
// - At the detach (ExitProcess without the runtime's exit) a walk still in
//   progress is told to stop at its next entry. Nothing else is done there:
//   no lock is taken (a thread may have ended holding one) and no thread is
//   waited for (none can end while the detach holds the loader lock).
#include <windows.h>

#include <atomic>

#include "loader/catalogue_watch.h"
#include "loader/library_loader.h"
#include "folders/music_folder.h"

namespace {

using ShutdownInProgress = BOOLEAN(NTAPI *)();
ShutdownInProgress g_shutdown_in_progress = nullptr; // set once, at the attach
std::atomic<bool> g_detached{false};

void stop_background_threads() {
    // Once ExitProcess has begun, the threads are ending or gone and may
    // have left a lock held: nothing is waited for.
    if (g_detached.load() || (g_shutdown_in_progress && g_shutdown_in_progress()))
        return;
    music::loader_stop();
    music::watcher_stop();
}

void __cdecl stop_at_exit() {
    stop_background_threads();
}

int __cdecl stop_at_onexit() {
    stop_background_threads();
    return 0;
}

void register_exit_stop() {
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
        g_shutdown_in_progress = reinterpret_cast<ShutdownInProgress>(
            reinterpret_cast<void *>(GetProcAddress(ntdll, "RtlDllShutdownInProgress")));
    using CrtAtExit = int(__cdecl *)(void(__cdecl *)());
    using OnExit = void *(__cdecl *)(int(__cdecl *)());
    if (HMODULE ucrt = GetModuleHandleW(L"ucrtbase.dll")) {
        if (auto at_exit = reinterpret_cast<CrtAtExit>(
                reinterpret_cast<void *>(GetProcAddress(ucrt, "_crt_atexit"))))
            at_exit(stop_at_exit);
    }
    if (HMODULE msvcrt = GetModuleHandleW(L"msvcrt.dll")) {
        if (auto on_exit = reinterpret_cast<OnExit>(
                reinterpret_cast<void *>(GetProcAddress(msvcrt, "_onexit"))))
            on_exit(stop_at_onexit);
    }
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE pinned = nullptr;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN |
                                   GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                               reinterpret_cast<LPCWSTR>(module), &pinned))
            register_exit_stop();
    } else if (reason == DLL_PROCESS_DETACH) {
        g_detached.store(true);
        music::music_walks_stop(true);
    }
    return TRUE;
}
