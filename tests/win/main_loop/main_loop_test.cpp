// The main loop on real user32: a message-only window stands for the dialog
// and logs what reaches it with the pass of its drain; each pass is scripted.

#include "app/main_loop.h"
#include "session/session_controller.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/dialog_messages.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

sp_session *const kSession = reinterpret_cast<sp_session *>(uintptr_t{0x5e55});
const UINT kStart = WM_APP, kSentinel = WM_APP + 7, kOpenBox = WM_APP + 8, kBusy = WM_APP + 9,
           kNext = WM_APP + 10;

struct Pass {
    int time_out = 0;
    bool logged_in = false, login_failed = false, playlists_changed = false;
    std::function<void()> action = nullptr;
};
using Log = std::vector<std::pair<UINT, int>>; // message, pass of its drain

// Main thread only, except passes, which helper threads read.
std::vector<Pass> script;
std::atomic<int> passes{0};
int connection_checks = 0;
Log received;
HANDLE wake_event = nullptr;

LRESULT CALLBACK record(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message < WM_USER || message >= 0xC000)
        return DefWindowProcA(window, message, wparam, lparam);
    if (message == kNext) { // behind what the pass posted, then the next pass
        if (wparam == 0)
            PostMessageA(window, kNext, 1, 0);
        else
            SetEvent(wake_event);
        return 0;
    }
    received.emplace_back(message, passes.load());
    if (message == kOpenBox)
        MessageBoxA(nullptr, "modal", "main_loop_tests", MB_OK); // a loop of its own
    if (message == kBusy && received.size() < 40) { // a window that never lets the queue empty
        if (received.size() == 2)                   // kStart, then the first of these
            SetEvent(wake_event);                   // the end of a track, meanwhile
        PostMessageA(window, kBusy, 0, 0);
    }
    if (message == kSentinel)
        PostQuitMessage(0);
    return 0;
}

void wait_for(const std::function<bool()> &done, int limit_ms = 10000) {
    for (int ms = 0; ms < limit_ms && !done(); ms += 5)
        Sleep(5);
}

class MainLoopRunsPasses : public ::testing::Test {
protected:
    void SetUp() override {
        script.clear();
        passes = connection_checks = 0;
        received.clear();
        dialog = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(dialog, nullptr);
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&record));
        state.lock.reset(CreateMutexA(nullptr, FALSE, nullptr));
        state.session = kSession;
        wake_event = wake;
    }
    void TearDown() override {
        DestroyWindow(dialog);
        CloseHandle(wake);
    }
    // Runs the loop until it quits; false when a watchdog thread had to end it.
    bool run() {
        post(kStart);
        AppContext context{nullptr, dialog, &state, wake, nullptr, false, 0};
        std::atomic<bool> finished{false}, fired{false};
        std::thread watchdog([&, loop = GetCurrentThreadId()] {
            wait_for([&] { return finished.load(); });
            if ((fired = !finished))
                PostThreadMessageA(loop, WM_QUIT, 0, 0);
        });
        run_main_loop(context);
        finished = true;
        watchdog.join();
        return !fired;
    }
    void post(UINT message) { PostMessageA(dialog, message, 0, 0); }

    HWND dialog = nullptr;
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SessionState state{};
};

// The connection is checked only with a session and until it is posted; each
// flag set by a pass is one message after it. WM_QUIT ends the loop at once,
// also in the middle of a burst of messages.
TEST_F(MainLoopRunsPasses, PostingConnectedOnceAndEachFlagInPassOrderUntilQuit) {
    state.session = nullptr; // logged in, but the session is not there yet
    // No wait runs out by itself: each pass starts once the one before has
    // had every message it posted handled.
    const auto next = [&] { post(kNext); };
    const auto session_comes = [&] {
        state.session = kSession;
        next();
    };
    script = {{.time_out = -1, .logged_in = true, .action = next},
              {.time_out = -1, .login_failed = true, .action = session_comes},
              {.time_out = -1,
               .logged_in = true,
               .login_failed = true,
               .playlists_changed = true,
               .action = next},
              {.time_out = -1, .action = next},
              {.time_out = -1, .logged_in = true, .playlists_changed = true, .action = next},
              {.action = [&] {
                  post(WM_APP + 1);
                  PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
                  post(WM_APP + 2);
              }}};
    ASSERT_TRUE(run());
    EXPECT_EQ(received, (Log{{kStart, 1},
                             {UM_LOGIN_FAILED, 2},
                             {UM_CONNECTED, 3},
                             {UM_LOGIN_FAILED, 3},
                             {UM_PLAYLISTS_CHANGED, 3},
                             {UM_PLAYLISTS_CHANGED, 5},
                             {WM_APP + 1, 6}}));
    EXPECT_EQ(connection_checks, 2) << "checked without a session, or again once posted";
    MSG left;
    EXPECT_TRUE(PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE) && left.message == WM_APP + 2)
        << "a message behind WM_QUIT was handled";
}

// A positive time-out alone ends the next wait, a negative one never; the
// wake event does, also when set during the pass before, and in a message box.
TEST_F(MainLoopRunsPasses, OnTimeOutOrWakeEventAlsoWhileAMessageBoxIsOpen) {
    script = {{.time_out = 20},
              {.time_out = -5},
              {.time_out = -1, .action = [&] { SetEvent(wake); }},
              {.time_out = 30, .action = [&] { post(kOpenBox); }},
              {.time_out = -1}};
    int passes_while_idle = -1, passes_in_box = -1;
    std::thread user([&] {
        wait_for([] { return passes.load() >= 2; });
        wait_for([] { return passes.load() > 2; }, 300); // which must not come
        passes_while_idle = passes.load();
        SetEvent(wake);
        HWND box = nullptr;
        wait_for([&] { return (box = FindWindowA("#32770", "main_loop_tests")) != nullptr; });
        wait_for([] { return passes.load() >= 5; }); // the time-out ran out
        SetEvent(wake);                              // and then a wake-up
        wait_for([&] { return (passes_in_box = passes.load()) >= 6; });
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        post(kSentinel);
    });
    const bool ended = run();
    user.join();
    ASSERT_TRUE(ended) << "a wait did not end; passes: " << passes.load();
    EXPECT_EQ(passes_while_idle, 2) << "a negative time-out ended a wait by itself";
    EXPECT_EQ(passes_in_box, 6) << "passes stopped while the message box was open";
}

// A drain that never finds the queue empty (a window painting every block it
// is sent) still runs a pass as soon as the wake event is set.
TEST_F(MainLoopRunsPasses, WakeEventIsActedOnInTheMiddleOfALongDrain) {
    script = {{.action = [&] { post(kBusy); }}, {.action = [&] { post(kSentinel); }}};
    ASSERT_TRUE(run());
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received[2], std::make_pair(kBusy, 2)) << "the pass waited for the drain to end";
}

} // namespace

// Doubles of the session's pass and the library's connection state.

int session_process(SessionState *state) {
    const size_t index = static_cast<size_t>(passes.fetch_add(1));
    const Pass pass = index < script.size() ? script[index] : Pass{};
    WaitForSingleObject(state->lock.get(), INFINITE);
    state->login_failed |= pass.login_failed ? 1 : 0;
    state->playlists_changed |= pass.playlists_changed ? 1 : 0;
    ReleaseMutex(state->lock.get());
    if (pass.action)
        pass.action();
    return pass.time_out;
}

sp_connectionstate sp_session_connectionstate(sp_session *session) {
    ++connection_checks;
    const size_t pass = static_cast<size_t>(passes.load()) - 1;
    return session == kSession && pass < script.size() && script[pass].logged_in
               ? SP_CONNECTION_STATE_LOGGED_IN
               : SP_CONNECTION_STATE_LOGGED_OUT;
}
