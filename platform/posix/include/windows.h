/*
 * The subset of the Win32 API that the portable core calls, for POSIX hosts.
 *
 * The core's sources include <windows.h> and <mmsystem.h> and build unchanged
 * for Windows; on Linux these headers and platform/posix/src stand in, so that
 * the session, audio and analysis code run natively under the sanitizers.
 * Kernel objects (events, mutexes, threads) behave as on Windows: events are
 * auto- or manual-reset, mutexes are recursive and owned by a thread.
 * PostMessageA and MessageBoxA record their calls for tests
 * (posix_win32_testing.h) instead of reaching a window.
 */
#ifndef LORVANE_POSIX_WINDOWS_H
#define LORVANE_POSIX_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t HRESULT;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void *HANDLE;
typedef void *LPVOID;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef void (*FARPROC)(void);
typedef const wchar_t *LPCWSTR;
typedef void SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
typedef DWORD(WINAPI *LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define WM_USER 0x0400u

#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_TIME_CRITICAL 15

#define MB_OK 0x00000000u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define IDOK 1

/* kernel32 */
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, size_t stack_size,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, DWORD *thread_id);
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId(void);
int lstrcmpA(LPCSTR a, LPCSTR b);
/* Threads keep their priority and no library loads: the host schedules. */
HANDLE GetCurrentThread(void);
BOOL SetThreadPriority(HANDLE thread, int priority);
HMODULE LoadLibraryW(LPCWSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

/* user32: recorded, see posix_win32_testing.h */
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

#ifdef __cplusplus
}
#endif

#endif /* LORVANE_POSIX_WINDOWS_H */
