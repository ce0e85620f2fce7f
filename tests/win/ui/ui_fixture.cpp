#include "ui_fixture.h"

#include "app/main_loop.h"

#include <libspotify/local.h>

std::vector<SeenBox> UiFixture::boxes;

namespace {

// The icon control of a message box is 20 on Windows, 0x440 in Wine.
bool box_shows_icon(HWND box, LPCSTR icon) {
    for (int id : {20, 0x440}) {
        HWND control = GetDlgItem(box, id);
        if (control != nullptr && reinterpret_cast<HICON>(SendMessageA(
                                      control, STM_GETICON, 0, 0)) == LoadIconA(nullptr, icon)) {
            return true;
        }
    }
    return false;
}

BOOL CALLBACK close_box(HWND window, LPARAM) {
    char class_name[32] = {};
    char caption[32] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    GetWindowTextA(window, caption, sizeof caption);
    if (IsWindowVisible(window) && lstrcmpA(class_name, "#32770") == 0 &&
        lstrcmpA(caption, "Lorvane") == 0) {
        char text[256] = {};
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        LPCSTR icon = box_shows_icon(window, IDI_WARNING)       ? IDI_WARNING
                      : box_shows_icon(window, IDI_INFORMATION) ? IDI_INFORMATION
                                                                : nullptr;
        UiFixture::boxes.push_back({text, GetWindow(window, GW_OWNER), icon});
        PostMessageA(window, WM_COMMAND, IDOK, 0); // handled before the next WM_TIMER
    }
    return TRUE;
}

void CALLBACK close_boxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), &close_box, 0);
}

std::function<bool()> g_done;
DWORD g_deadline = 0;

void CALLBACK check_done(HWND, UINT, UINT_PTR, DWORD) {
    if (g_done && (g_done() || static_cast<LONG>(GetTickCount() - g_deadline) > 0)) {
        g_done = nullptr;
        PostQuitMessage(0);
    }
}

} // namespace

void UiFixture::SetUp() {
    boxes.clear();
    splocal_reset();
    splocal_set_latency(0);
    HANDLE wake_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(wake_event, nullptr);
    ASSERT_TRUE(pcm_queue_init(&queue_, nullptr));
    state_ = new SessionState();
    ASSERT_TRUE(session_state_init(state_, wake_event, &queue_));
    visualizer_ = new HistogramVisualizer();
    visualizer_->session_state = state_;
    context_ = {nullptr, nullptr, state_, wake_event, visualizer_};
    ASSERT_EQ(create_windows(context_), 0);
    ASSERT_NE(context_.main_window, nullptr);
    ASSERT_NE(context_.dialog, nullptr);
    box_timer_ = SetTimer(nullptr, 0, 10, &close_boxes);
    SetForegroundWindow(context_.dialog);
    run_until([] { return true; }, 0); // the windows' first messages
}

void UiFixture::TearDown() {
    KillTimer(nullptr, box_timer_);
    DestroyWindow(context_.dialog);
    DestroyWindow(context_.main_window);
    UnregisterClassA(kMainWindowClass, GetModuleHandleA(nullptr));
    take_quit(); // posted by the main window's destruction
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    if (state_ != nullptr && state_->session != nullptr) {
        splocal_session_release(state_->session);
    }
    pcm_queue_flush(&queue_);
    // The visualiser and the session record are left, as in the program.
}

bool UiFixture::run_until(std::function<bool()> done, int timeout_ms) {
    g_done = done;
    g_deadline = GetTickCount() + static_cast<DWORD>(timeout_ms);
    UINT_PTR timer = SetTimer(nullptr, 0, 10, &check_done);
    run_main_loop(context_);
    KillTimer(nullptr, timer);
    g_done = nullptr;
    return done();
}

int UiFixture::take_quit() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        return -1;
    }
    return static_cast<int>(message.wParam);
}

std::wstring wide(const std::string &text) {
    std::wstring out(text.size(), L'\0');
    out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                       static_cast<int>(text.size()), out.data(),
                                                       static_cast<int>(out.size()))));
    return out;
}
