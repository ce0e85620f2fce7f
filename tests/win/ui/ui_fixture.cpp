#include "ui_fixture.h"

#include "app/main_loop.h"
#include "ui/main_window.h"

#include <libspotify/local.h>

#include <chrono>

MessageBoxWatcher::MessageBoxWatcher() : thread_([this] { watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> MessageBoxWatcher::boxes() {
    std::lock_guard<std::mutex> hold(mutex_);
    return boxes_;
}

namespace {

struct Found {
    DWORD process;
    HWND box;
};

BOOL CALLBACK find_box(HWND window, LPARAM parameter) {
    Found *found = reinterpret_cast<Found *>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char class_name[32] = {};
    char caption[32] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (process != found->process || !IsWindowVisible(window) ||
        lstrcmpA(class_name, "#32770") != 0) {
        return TRUE;
    }
    GetWindowTextA(window, caption, sizeof caption);
    if (lstrcmpA(caption, "Lorvane") != 0) {
        return TRUE;
    }
    found->box = window;
    return FALSE;
}

// The icon control of a message box: 20 on Windows, 0x440 in Wine.
bool box_shows_icon(HWND box, LPCSTR icon) {
    HICON expected = LoadIconA(nullptr, icon);
    for (int id : {20, 0x440}) {
        HWND control = GetDlgItem(box, id);
        if (control != nullptr &&
            reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0)) == expected) {
            return true;
        }
    }
    return false;
}

} // namespace

void MessageBoxWatcher::watch() {
    while (!stop_) {
        Found found = {GetCurrentProcessId(), nullptr};
        EnumWindows(&find_box, reinterpret_cast<LPARAM>(&found));
        if (found.box != nullptr) {
            SeenBox seen;
            char text[256] = {};
            GetDlgItemTextA(found.box, 0xFFFF, text, sizeof text);
            seen.text = text;
            seen.owner = GetWindow(found.box, GW_OWNER);
            seen.warning_icon = box_shows_icon(found.box, IDI_WARNING);
            seen.information_icon = box_shows_icon(found.box, IDI_INFORMATION);
            {
                std::lock_guard<std::mutex> hold(mutex_);
                boxes_.push_back(seen);
            }
            SendMessageA(found.box, WM_COMMAND, IDOK, 0);
            // Wait until the box is gone before looking again.
            for (int i = 0; i < 500 && IsWindow(found.box); ++i) {
                Sleep(2);
            }
        }
        Sleep(5);
    }
}

void UiFixture::SetUp() {
    splocal_reset();
    splocal_set_latency(0);
    HANDLE wake_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(wake_event, nullptr);
    ASSERT_TRUE(pcm_queue_init(&queue_, nullptr));
    state_ = new SessionState();
    ASSERT_TRUE(session_state_init(state_, wake_event, &queue_));
    visualizer_ = new HistogramVisualizer();
    visualizer_->session_state = state_;
    context_.main_window = nullptr;
    context_.session_state = state_;
    context_.wake_event = wake_event;
    context_.visualizer = visualizer_;
    ASSERT_EQ(create_windows(context_), 0);
    ASSERT_NE(context_.main_window, nullptr);
    ASSERT_NE(context_.dialog, nullptr);
    SetForegroundWindow(context_.dialog);
    pump();
}

void UiFixture::TearDown() {
    if (context_.dialog != nullptr) {
        DestroyWindow(context_.dialog);
    }
    if (context_.main_window != nullptr && IsWindow(context_.main_window)) {
        DestroyWindow(context_.main_window);
    }
    UnregisterClassA(kMainWindowClass, GetModuleHandleA(nullptr));
    // Drop the WM_QUIT that the main window's destruction posts.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    if (state_ != nullptr && state_->session != nullptr) {
        splocal_session_release(state_->session);
    }
    pcm_queue_flush(&queue_);
    // The visualiser and the session record are left, as in the program.
}

bool UiFixture::pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            return false;
        }
        if (IsWindow(context_.dialog) && IsDialogMessageA(context_.dialog, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

void UiFixture::dialog_key(UINT message, WPARAM key, bool shift) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE saved = keys[VK_SHIFT];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg = {};
    msg.hwnd = GetFocus();
    msg.message = message;
    msg.wParam = key;
    msg.lParam = message == WM_SYSKEYDOWN ? (1 << 29) | 1 : 1;
    if (!IsDialogMessageA(context_.dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    keys[VK_SHIFT] = saved;
    SetKeyboardState(keys);
    pump();
}

bool UiFixture::quit_posted() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

namespace {

struct LoopWatch {
    bool (*done)(void *);
    void *argument;
    std::chrono::steady_clock::time_point deadline;
    bool result;
};
LoopWatch *g_watch = nullptr;

void CALLBACK check_loop(HWND, UINT, UINT_PTR, DWORD) {
    if (g_watch == nullptr) {
        return;
    }
    g_watch->result = g_watch->done(g_watch->argument);
    if (g_watch->result || std::chrono::steady_clock::now() > g_watch->deadline) {
        g_watch = nullptr;
        PostQuitMessage(0);
    }
}

} // namespace

bool run_main_loop_until(AppContext &context, bool (*done)(void *), void *argument,
                         int timeout_ms) {
    LoopWatch watch = {done, argument,
                       std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms),
                       false};
    g_watch = &watch;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, &check_loop);
    run_main_loop(context);
    KillTimer(nullptr, timer);
    g_watch = nullptr;
    return watch.result || done(argument);
}

std::wstring wide(const std::string &text) {
    int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), units);
    return out;
}

std::string utf8(const std::wstring &text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
    return out;
}
