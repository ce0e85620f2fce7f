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
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

sp_session *const kSession = reinterpret_cast<sp_session *>(uintptr_t{0x5e55});

struct Pass {
    int time_out = 0;
    sp_connectionstate connection = SP_CONNECTION_STATE_LOGGED_OUT;
    int login_failed_sets = 0;
    int playlists_changed_sets = 0;
    std::function<void()> action;
};

// The script and what the doubles saw; used on the main thread only, except
// passes, which helper threads read.
std::vector<Pass> script;
std::atomic<int> passes{0};
sp_connectionstate connection = SP_CONNECTION_STATE_LOGGED_OUT;
int connection_checks = 0;
int checks_without_session = 0;

struct Received {
    UINT message;
    int pass;
};

std::vector<Received> received;      // main thread only
std::function<bool(UINT)> quit_when; // main thread only
const UINT kSentinel = WM_APP + 7;

LRESULT CALLBACK record(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message >= WM_USER && message < 0xC000) {
        received.push_back(Received{message, passes.load()});
        if (quit_when && quit_when(message))
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Ends a loop that failed to end by itself, so that a fault fails the test
// instead of hanging it.
class Watchdog {
public:
    Watchdog() : thread_id_(GetCurrentThreadId()), thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            done_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }
    bool fired() const { return fired_.load(); }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(lock_);
        if (!changed_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; })) {
            fired_.store(true);
            PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
        }
    }
    const DWORD thread_id_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false; // guarded by lock_
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

class MainLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        script.clear();
        passes.store(0);
        connection = SP_CONNECTION_STATE_LOGGED_OUT;
        connection_checks = 0;
        checks_without_session = 0;
        received.clear();
        quit_when = nullptr;

        WNDCLASSA window_class{};
        window_class.lpfnWndProc = record;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "lorvane_test_dialog";
        RegisterClassA(&window_class); // fails harmlessly when already registered
        dialog = CreateWindowExA(0, "lorvane_test_dialog", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(dialog, nullptr);
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        state.lock = CreateMutexA(nullptr, FALSE, nullptr);
        state.session = kSession;
        context.main_window = nullptr;
        context.dialog = dialog;
        context.session_state = &state;
        context.wake_event = wake;
        context.visualizer = nullptr;
    }
    void TearDown() override {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        DestroyWindow(dialog);
        CloseHandle(state.lock);
        CloseHandle(wake);
    }

    // Runs the loop under a watchdog; false when the watchdog had to end it.
    bool run() {
        Watchdog watchdog;
        run_main_loop(context);
        return !watchdog.fired();
    }

    std::vector<UINT> messages() const {
        std::vector<UINT> all;
        for (const Received &r : received)
            all.push_back(r.message);
        return all;
    }
    int pass_of(UINT message) const {
        for (const Received &r : received)
            if (r.message == message)
                return r.pass;
        return -1;
    }
    int count_of(UINT message) const {
        int count = 0;
        for (const Received &r : received)
            count += r.message == message;
        return count;
    }

    HWND dialog = nullptr;
    HANDLE wake = nullptr;
    SessionState state{};
    AppContext context{};
};

using MainLoopPostsInPassOrder = MainLoopTest;
using ConnectedIsPostedOnce = MainLoopTest;
using FlagsBecomeOneMessageEach = MainLoopTest;
using QuitEndsTheLoopAtOnce = MainLoopTest;
using LoopWaitsForItsTimeOut = MainLoopTest;
using WakeEventEndsTheWait = MainLoopTest;
using MissingDialogDoesNotStopTheLoop = MainLoopTest;

TEST_F(MainLoopPostsInPassOrder, ConnectedThenLoginFailedThenPlaylistsInTheSamePass) {
    Pass first;
    first.connection = SP_CONNECTION_STATE_LOGGED_IN;
    first.login_failed_sets = 1;
    first.playlists_changed_sets = 1;
    script = {first};
    quit_when = [](UINT message) { return message == UM_PLAYLISTS_CHANGED; };
    PostMessageA(dialog, kSentinel, 0, 0); // starts the first pass
    ASSERT_TRUE(run());
    EXPECT_EQ(messages(),
              (std::vector<UINT>{kSentinel, UM_CONNECTED, UM_LOGIN_FAILED, UM_PLAYLISTS_CHANGED}));
    EXPECT_EQ(pass_of(UM_CONNECTED), 1);
    EXPECT_EQ(pass_of(UM_PLAYLISTS_CHANGED), 1);
}

TEST_F(ConnectedIsPostedOnce, AfterAFailedLoginAndADroppedConnection) {
    state.session = nullptr;
    Pass no_session; // the state says logged in, but there is no session yet
    no_session.time_out = 1;
    no_session.connection = SP_CONNECTION_STATE_LOGGED_IN;
    Pass failed;
    failed.time_out = 1;
    failed.login_failed_sets = 1;
    failed.action = [this] { state.session = kSession; };
    Pass logged_in;
    logged_in.time_out = 1;
    logged_in.connection = SP_CONNECTION_STATE_LOGGED_IN;
    Pass dropped;
    dropped.time_out = 1;
    dropped.connection = SP_CONNECTION_STATE_DISCONNECTED;
    Pass back = logged_in;
    Pass last = logged_in;
    last.playlists_changed_sets = 1;
    script = {no_session, failed, logged_in, dropped, back, last};
    quit_when = [](UINT message) { return message == UM_PLAYLISTS_CHANGED; };
    PostMessageA(dialog, kSentinel, 0, 0);
    ASSERT_TRUE(run());

    EXPECT_EQ(count_of(UM_CONNECTED), 1);
    EXPECT_EQ(count_of(UM_LOGIN_FAILED), 1);
    EXPECT_EQ(pass_of(UM_LOGIN_FAILED), 2);
    EXPECT_EQ(pass_of(UM_CONNECTED), 3);
    EXPECT_EQ(checks_without_session, 0);
    EXPECT_EQ(connection_checks, 2) << "once posted, the connection is never checked again";
}

TEST_F(FlagsBecomeOneMessageEach, FlagsSetManyTimesBetweenPasses) {
    Pass first;
    first.login_failed_sets = 5;
    first.playlists_changed_sets = 3;
    first.time_out = 1;
    Pass second;
    second.playlists_changed_sets = 1;
    script = {first, second};
    quit_when = [](UINT message) { return message == UM_PLAYLISTS_CHANGED && passes.load() == 2; };
    PostMessageA(dialog, kSentinel, 0, 0);
    ASSERT_TRUE(run());
    EXPECT_EQ(messages(), (std::vector<UINT>{kSentinel, UM_LOGIN_FAILED, UM_PLAYLISTS_CHANGED,
                                             UM_PLAYLISTS_CHANGED}));
    EXPECT_EQ(state.login_failed, 0);
    EXPECT_EQ(state.playlists_changed, 0);
}

TEST_F(QuitEndsTheLoopAtOnce, MessagesBehindQuitStayQueued) {
    for (UINT i = 1; i <= 3; ++i)
        PostMessageA(dialog, WM_APP + i, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    for (UINT i = 4; i <= 6; ++i)
        PostMessageA(dialog, WM_APP + i, 0, 0);
    ASSERT_TRUE(run());
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_APP + 1, WM_APP + 2, WM_APP + 3}));
    EXPECT_EQ(passes.load(), 1);
    std::vector<UINT> left;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        left.push_back(message.message);
    EXPECT_EQ(left, (std::vector<UINT>{WM_APP + 4, WM_APP + 5, WM_APP + 6}));
}

TEST_F(LoopWaitsForItsTimeOut, PositiveTimeOutEndsTheNextWait) {
    Pass first;
    first.time_out = 20;
    Pass second;
    second.action = [this] { PostMessageA(dialog, kSentinel, 0, 0); };
    script = {first, second};
    quit_when = [](UINT message) { return message == kSentinel && passes.load() == 2; };
    PostMessageA(dialog, WM_APP, 0, 0);
    // Nothing but the time limit can start the second pass.
    ASSERT_TRUE(run()) << "the loop slept past its time-out";
    EXPECT_EQ(passes.load(), 2);
}

TEST_F(LoopWaitsForItsTimeOut, NegativeTimeOutWaitsWithoutLimit) {
    Pass first;
    first.time_out = -5;
    script = {first};
    quit_when = [](UINT message) { return message == kSentinel; };
    PostMessageA(dialog, WM_APP, 0, 0);
    int passes_while_idle = -1;
    std::thread poke([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        passes_while_idle = passes.load();
        PostMessageA(dialog, kSentinel, 0, 0);
    });
    const bool ended = run();
    poke.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(passes_while_idle, 1) << "a negative time-out ended a wait by itself";
    EXPECT_EQ(passes.load(), 2);
}

TEST_F(WakeEventEndsTheWait, SignalFromAnotherThread) {
    state.session = nullptr; // no session: every wait is without limit
    quit_when = [](UINT message) { return message == UM_LOGIN_FAILED; };
    std::thread handler([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        WaitForSingleObject(state.lock, INFINITE);
        state.login_failed = 1;
        ReleaseMutex(state.lock);
        SetEvent(wake);
    });
    const bool ended = run();
    handler.join();
    ASSERT_TRUE(ended) << "the wake event did not end the wait";
    EXPECT_EQ(messages(), std::vector<UINT>{UM_LOGIN_FAILED});
}

TEST_F(WakeEventEndsTheWait, SignalDuringAPassIsNotLost) {
    Pass first;
    first.action = [this] { SetEvent(wake); }; // as a library thread would, mid-pass
    Pass second;
    second.action = [this] { PostMessageA(dialog, kSentinel, 0, 0); };
    script = {first, second};
    quit_when = [](UINT message) { return message == kSentinel && passes.load() == 2; };
    PostMessageA(dialog, WM_APP, 0, 0);
    ASSERT_TRUE(run()) << "the pending signal did not start the next pass";
    EXPECT_EQ(passes.load(), 2);
}

TEST_F(MissingDialogDoesNotStopTheLoop, MessagesStillReachOtherWindows) {
    HWND gone = CreateWindowExA(0, "lorvane_test_dialog", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    context.dialog = gone;
    Pass first;
    first.connection = SP_CONNECTION_STATE_LOGGED_IN;
    first.login_failed_sets = 1;
    first.action = [this] { PostMessageA(dialog, kSentinel, 0, 0); };
    script = {first};
    quit_when = [](UINT message) { return message == kSentinel; };
    PostMessageA(dialog, WM_APP, 0, 0);
    ASSERT_TRUE(run());
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_APP, kSentinel}));
}

// A one-button modeless dialog, built in memory: Enter reaches it as IDOK
// only through the dialog manager.
std::vector<WORD> one_button_dialog() {
    std::vector<WORD> words;
    auto dword = [&](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    auto align = [&] {
        if (words.size() % 2)
            words.push_back(0);
    };
    dword(WS_POPUP);    // style
    dword(0);           // extended style
    words.push_back(1); // one control
    for (WORD v : {0, 0, 100, 40})
        words.push_back(v);
    words.insert(words.end(), {0, 0, 0}); // no menu, default class, no title
    align();
    dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
    dword(0);
    for (WORD v : {10, 10, 50, 14})
        words.push_back(v);
    words.push_back(IDOK);
    words.insert(words.end(), {0xFFFF, 0x0080, 0, 0}); // button class, no text, no data
    return words;
}

std::vector<WPARAM> commands; // main thread only

INT_PTR CALLBACK dialog_procedure(HWND, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND) {
        commands.push_back(wparam);
        PostQuitMessage(0);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

using DialogKeysGoThroughTheDialogManager = MainLoopTest;

TEST_F(DialogKeysGoThroughTheDialogManager, EnterBecomesTheDefaultCommand) {
    commands.clear();
    const std::vector<WORD> words = one_button_dialog();
    HWND real_dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                                  reinterpret_cast<LPCDLGTEMPLATEA>(words.data()),
                                                  nullptr, dialog_procedure, 0);
    ASSERT_NE(real_dialog, nullptr);
    context.dialog = real_dialog;
    state.session = nullptr;
    PostMessageA(real_dialog, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(run()) << "Enter never became a command";
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0]), IDOK);
    DestroyWindow(real_dialog);
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
    if (!session)
        ++checks_without_session;
    return session == kSession ? connection : SP_CONNECTION_STATE_UNDEFINED;
}
