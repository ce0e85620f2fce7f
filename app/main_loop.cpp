// The main loop: the main thread's only scheduler.
//
// Threads: runs on the main thread only, which is also the only thread that
// writes the SessionState's session (session_connect, from the dialog
// procedure this loop dispatches), so the connection check reads it without
// the lock. login_failed and playlists_changed are set by handlers under the
// session mutex; each is read and cleared here under one hold of that mutex,
// with nothing else held, and its message is posted after the release.

#include "app/main_loop.h"

#include "app/app_context.h"
#include "app/user_messages.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <windows.h>

#include <libspotify/api.h>

#include <cstdint>

namespace {

// Reads and clears one of the session's message flags under its mutex.
bool take_flag(SessionState &state, int32_t SessionState::*flag) {
    WaitForSingleObject(state.lock, INFINITE);
    const bool was_set = state.*flag != 0;
    state.*flag = 0;
    ReleaseMutex(state.lock);
    return was_set;
}

} // namespace

void run_main_loop(AppContext &context) {
    SessionState &state = *context.session_state;
    int32_t time_out = 0;
    bool connected_posted = false;

    for (;;) {
        // Whatever ends the wait (the wake event, input, the time limit or a
        // failure), the pass goes on.
        MsgWaitForMultipleObjectsEx(1, &context.wake_event,
                                    time_out > 0 ? static_cast<DWORD>(time_out) : INFINITE,
                                    QS_ALLINPUT, 0);

        // Governs the next pass's wait.
        time_out = session_process(&state);

        if (!connected_posted && state.session &&
            sp_session_connectionstate(state.session) == SP_CONNECTION_STATE_LOGGED_IN) {
            PostMessageA(context.dialog, UM_CONNECTED, 0, 0);
            connected_posted = true;
        }
        if (take_flag(state, &SessionState::login_failed))
            PostMessageA(context.dialog, UM_LOGIN_FAILED, 0, 0);
        if (take_flag(state, &SessionState::playlists_changed))
            PostMessageA(context.dialog, UM_PLAYLISTS_CHANGED, 0, 0);

        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return; // what is still queued stays unprocessed
            if (IsWindow(context.dialog) && IsDialogMessageA(context.dialog, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}
