// The main loop: the main thread's only scheduler.

#include "app/main_loop.h"

#include "platform/win32_owners.h"
#include "session/session_controller.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/dialog_messages.h"

#include <windows.h>

#include <libspotify/api.h>

#include <cstdint>

namespace {

// How often a modal loop hands control back for a look at the session. The
// queue holds a second of audio, so a track's end is acted on long before
// the device runs dry.
constexpr UINT kModalTickMs = 20;

// What the passes keep from one to the next. Main thread only.
struct LoopState {
    AppContext *context = nullptr;
    int32_t time_out = 0; // governs the next wait
    DWORD last_pass = 0;  // GetTickCount at the last pass
    bool connected_posted = false;
    bool in_pass = false;
    UINT_PTR modal_timer = 0; // the drain's thread timer, or 0
};

// The running loop, for the timer's procedure. Main thread only.
LoopState *g_loop = nullptr;

// Reads and clears one of the session's message flags under its mutex.
bool take_flag(SessionState &state, int32_t SessionState::*flag) {
    const MutexHold hold(state.lock);
    const bool was_set = state.*flag != 0;
    state.*flag = 0;
    return was_set;
}

// The session's part of a pass: process, then turn the session's news into
// messages for the dialog.
void run_pass(LoopState &loop) {
    AppContext &context = *loop.context;
    SessionState &state = *context.session_state;
    loop.in_pass = true;
    loop.time_out = session_process(&state);
    loop.last_pass = GetTickCount();
    loop.in_pass = false;

    if (!loop.connected_posted && state.session &&
        sp_session_connectionstate(state.session) == SP_CONNECTION_STATE_LOGGED_IN) {
        PostMessageA(context.dialog, UM_CONNECTED, 0, 0);
        loop.connected_posted = true;
    }
    if (take_flag(state, &SessionState::login_failed))
        PostMessageA(context.dialog, UM_LOGIN_FAILED, 0, 0);
    if (take_flag(state, &SessionState::playlists_changed))
        PostMessageA(context.dialog, UM_PLAYLISTS_CHANGED, 0, 0);
}

// A pass when one is due, as the loop's wait would have ended: the wake event
// is set or the library's delay has run out.
void pass_if_due(LoopState &loop) {
    if (loop.in_pass)
        return;
    const bool expired =
        loop.time_out > 0 && GetTickCount() - loop.last_pass >= static_cast<DWORD>(loop.time_out);
    if (expired || WaitForSingleObject(loop.context->wake_event, 0) == WAIT_OBJECT_0)
        run_pass(loop);
}

// A tick dispatched by a modal loop.
void CALLBACK on_modal_tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_loop != nullptr)
        pass_if_due(*g_loop);
}

// Every message taken from the thread's queue, in any loop.
LRESULT CALLBACK on_message_taken(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION && g_loop != nullptr)
        pass_if_due(*g_loop);
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

bool is_modal_tick(const LoopState &loop, const MSG &message) {
    return message.message == WM_TIMER && message.hwnd == nullptr &&
           message.wParam == loop.modal_timer;
}

} // namespace

void run_main_loop(AppContext &context) {
    LoopState loop;
    loop.context = &context;
    g_loop = &loop;
    // Without the hook (it cannot fail on the calling thread in practice),
    // modal loops still run passes on their ticks.
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, &on_message_taken, nullptr, GetCurrentThreadId());

    for (;;) {
        // Whatever ends the wait (the wake event, input, the time limit or a
        // failure), the pass goes on.
        MsgWaitForMultipleObjectsEx(
            1, &context.wake_event,
            loop.time_out > 0 ? static_cast<DWORD>(loop.time_out) : INFINITE, QS_ALLINPUT, 0);
        run_pass(loop);

        loop.modal_timer = SetTimer(nullptr, 0, kModalTickMs, &on_modal_tick);
        MSG message;
        bool quit = false;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true; // what is still queued stays unprocessed
                break;
            }
            if (!is_modal_tick(loop, message) &&
                !(IsWindow(context.dialog) && IsDialogMessageW(context.dialog, &message))) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        if (loop.modal_timer != 0)
            KillTimer(nullptr, loop.modal_timer);
        loop.modal_timer = 0;
        if (quit)
            break;
    }
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
    g_loop = nullptr;
}
