// The main loop with real windows and a real message queue. A message-only
// window stands for the connect dialog and records what reaches it, with the
// number of the pass in whose drain it arrived. The session's pass is a
// script: each pass may set the connection state and the flags, act, and
// returns the time-out that governs the next wait.

#include "app/app_context.h"
#include "app/main_loop.h"
#include "app/user_messages.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

sp_session *const kSession = reinterpret_cast<sp_session *>(uintptr_t{0x5e55});
const UINT kStart = WM_APP;
const UINT kSentinel = WM_APP + 7;

struct Pass {
    int time_out = 0;
    sp_connectionstate connection = SP_CONNECTION_STATE_LOGGED_OUT;
    int login_failed_sets = 0;
    int playlists_changed_sets = 0;
    std::function<void()> action = nullptr;
};

// Messages with the pass in whose drain each arrived.
using Log = std::vector<std::pair<UINT, int>>;

// The script and what the doubles saw: main thread only, except passes,
// which helper threads read.
std::vector<Pass> script;
std::atomic<int> passes{0};
sp_connectionstate connection = SP_CONNECTION_STATE_LOGGED_OUT;
int connection_checks = 0;
int checks_without_session = 0;
Log received;
UINT quit_on = 0;     // the message after which the test's loop ends
int quit_at_pass = 0; // ... when it arrives in this pass (0: any)

const UINT kOpenBox = WM_APP + 8;

LRESULT CALLBACK record(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message < WM_USER || message >= 0xC000)
        return DefWindowProcA(window, message, wparam, lparam);
    received.emplace_back(message, passes.load());
    if (message == kOpenBox)
        MessageBoxA(nullptr, "modal", "main_loop_tests", MB_OK); // a loop of its own
    if (message == quit_on && (quit_at_pass == 0 || quit_at_pass == passes.load()))
        PostQuitMessage(0);
    return 0;
}

class MainLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        script.clear();
        passes.store(0);
        connection = SP_CONNECTION_STATE_LOGGED_OUT;
        connection_checks = checks_without_session = 0;
        received.clear();
        WNDCLASSA window_class{};
        window_class.lpfnWndProc = record;
        window_class.lpszClassName = "lorvane_test_dialog";
        RegisterClassA(&window_class); // fails harmlessly when already registered
        dialog = CreateWindowExA(0, "lorvane_test_dialog", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        state.lock = CreateMutexA(nullptr, FALSE, nullptr);
        state.session = kSession;
        context = AppContext{nullptr, dialog, &state, wake, nullptr};
    }
    void TearDown() override {
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
        }
        DestroyWindow(dialog);
        CloseHandle(state.lock);
        CloseHandle(wake);
    }

    // Runs the loop until message arrives (in pass at_pass, when not 0);
    // false when a watchdog had to end it, so that a fault fails the test
    // instead of hanging it. (A thread timer would itself end waits.)
    bool run(UINT message, int at_pass = 0) {
        quit_on = message;
        quit_at_pass = at_pass;
        std::atomic<bool> fired{false};
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread watchdog([&, loop = GetCurrentThreadId()] {
            if (WaitForSingleObject(done, 10000) == WAIT_TIMEOUT) {
                fired = true;
                PostThreadMessageA(loop, WM_QUIT, 0, 0);
            }
        });
        run_main_loop(context);
        SetEvent(done);
        watchdog.join();
        CloseHandle(done);
        return !fired;
    }

    void post(UINT message) { PostMessageA(dialog, message, 0, 0); }

    HWND dialog = nullptr;
    HANDLE wake = nullptr;
    SessionState state{};
    AppContext context{};
};

using MainLoopPostsInPassOrder = MainLoopTest;
using ConnectedIsPostedOnce = MainLoopTest;
using QuitEndsTheLoopAtOnce = MainLoopTest;
using LoopWaitsForItsTimeOut = MainLoopTest;
using WakeEventEndsTheWait = MainLoopTest;
using PassesGoOnInAModalLoop = MainLoopTest;

// A flag set many times before a pass is one message.
TEST_F(MainLoopPostsInPassOrder, ConnectedThenLoginFailedThenPlaylistsOncePerFlag) {
    script = {{.time_out = 1,
               .connection = SP_CONNECTION_STATE_LOGGED_IN,
               .login_failed_sets = 5,
               .playlists_changed_sets = 3},
              {.playlists_changed_sets = 1}};
    post(kStart);
    ASSERT_TRUE(run(UM_PLAYLISTS_CHANGED, 2));
    EXPECT_EQ(received, (Log{{kStart, 1},
                             {UM_CONNECTED, 1},
                             {UM_LOGIN_FAILED, 1},
                             {UM_PLAYLISTS_CHANGED, 1},
                             {UM_PLAYLISTS_CHANGED, 2}}));
    EXPECT_EQ(state.login_failed, 0);
    EXPECT_EQ(state.playlists_changed, 0);
}

TEST_F(ConnectedIsPostedOnce, AfterAFailedLoginAndADroppedConnection) {
    state.session = nullptr; // the first pass says logged in, but has no session yet
    const Pass logged_in{.time_out = 1, .connection = SP_CONNECTION_STATE_LOGGED_IN};
    script = {
        logged_in,
        {.time_out = 1, .login_failed_sets = 1, .action = [&] { state.session = kSession; }},
        logged_in,
        {.time_out = 1, .connection = SP_CONNECTION_STATE_DISCONNECTED},
        logged_in,
        {.time_out = 1, .connection = SP_CONNECTION_STATE_LOGGED_IN, .playlists_changed_sets = 1}};
    post(kStart);
    ASSERT_TRUE(run(UM_PLAYLISTS_CHANGED));
    EXPECT_EQ(
        received,
        (Log{{kStart, 1}, {UM_LOGIN_FAILED, 2}, {UM_CONNECTED, 3}, {UM_PLAYLISTS_CHANGED, 6}}));
    EXPECT_EQ(checks_without_session, 0);
    EXPECT_EQ(connection_checks, 2) << "once posted, the connection is never checked again";
}

TEST_F(QuitEndsTheLoopAtOnce, MessagesBehindQuitStayQueued) {
    for (UINT i = 1; i <= 3; ++i)
        post(WM_APP + i);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    for (UINT i = 4; i <= 6; ++i)
        post(WM_APP + i);
    ASSERT_TRUE(run(0));
    EXPECT_EQ(received, (Log{{WM_APP + 1, 1}, {WM_APP + 2, 1}, {WM_APP + 3, 1}}));
    std::vector<UINT> left;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        left.push_back(message.message);
    EXPECT_EQ(left, (std::vector<UINT>{WM_APP + 4, WM_APP + 5, WM_APP + 6}));
}

TEST_F(LoopWaitsForItsTimeOut, PositiveTimeOutEndsTheNextWait) {
    // Nothing but the time limit can start the second pass.
    script = {{.time_out = 20}, {.action = [&] { post(kSentinel); }}};
    post(kStart);
    ASSERT_TRUE(run(kSentinel, 2)) << "the loop slept past its time-out";
}

TEST_F(LoopWaitsForItsTimeOut, NegativeTimeOutWaitsWithoutLimit) {
    script = {{.time_out = -5}};
    post(kStart);
    int passes_while_idle = -1;
    std::thread poke([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        passes_while_idle = passes.load();
        post(kSentinel);
    });
    const bool ended = run(kSentinel);
    poke.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(passes_while_idle, 1) << "a negative time-out ended a wait by itself";
    EXPECT_EQ(passes.load(), 2);
}

TEST_F(WakeEventEndsTheWait, SignalFromAnotherThread) {
    state.session = nullptr; // no session: every wait is without limit
    std::thread handler([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        WaitForSingleObject(state.lock, INFINITE);
        state.login_failed = 1;
        ReleaseMutex(state.lock);
        SetEvent(wake);
    });
    const bool ended = run(UM_LOGIN_FAILED);
    handler.join();
    ASSERT_TRUE(ended) << "the wake event did not end the wait";
    EXPECT_EQ(received, (Log{{UM_LOGIN_FAILED, 1}}));
}

TEST_F(WakeEventEndsTheWait, SignalDuringAPassIsNotLost) {
    // Set mid-pass, as a library thread would.
    script = {{.action = [&] { SetEvent(wake); }}, {.action = [&] { post(kSentinel); }}};
    post(kStart);
    ASSERT_TRUE(run(kSentinel, 2)) << "the pending signal did not start the next pass";
}

TEST_F(PassesGoOnInAModalLoop, TimeOutAndWakeEventRunPassesWhileAMessageBoxIsOpen) {
    script = {{.time_out = 30}, {.time_out = -1}};
    post(kOpenBox);
    std::atomic<int> during_box{0};
    std::thread user([&] {
        HWND box = nullptr;
        const auto wait = [](const std::function<bool()> &done) {
            for (int ms = 0; ms < 10000 && !done(); ms += 5)
                Sleep(5);
        };
        wait([&] { return (box = FindWindowA("#32770", "main_loop_tests")) != nullptr; });
        wait([&] { return passes.load() >= 2; }); // the time-out ran out
        SetEvent(wake);                           // and then a wake-up
        wait([&] { return passes.load() >= 3; });
        during_box = passes.load();
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        post(kSentinel);
    });
    const bool ended = run(kSentinel);
    user.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(during_box.load(), 3) << "passes stopped while the message box was open";
}

} // namespace

// ---- Test doubles of the session's pass and the library's connection state --

int session_process(SessionState *state) {
    const size_t index = static_cast<size_t>(passes.fetch_add(1));
    if (index >= script.size())
        return 0;
    const Pass &pass = script[index];
    connection = pass.connection;
    WaitForSingleObject(state->lock, INFINITE);
    for (int i = 0; i < pass.login_failed_sets; ++i)
        state->login_failed = 1;
    for (int i = 0; i < pass.playlists_changed_sets; ++i)
        state->playlists_changed = 1;
    ReleaseMutex(state->lock);
    if (pass.action)
        pass.action();
    return pass.time_out;
}

sp_connectionstate sp_session_connectionstate(sp_session *session) {
    ++connection_checks;
    checks_without_session += session == nullptr;
    return session == kSession ? connection : SP_CONNECTION_STATE_UNDEFINED;
}
