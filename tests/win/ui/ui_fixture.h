// What the user interface suites share: the program's objects built as the
// entry point builds them (with a real SessionState and HistogramVisualizer),
// a watcher that answers message boxes, and helpers that drive the dialog.
#pragma once

#include <windows.h>

#include "app/app_context.h"
#include "audio/pcm_queue.h"
#include "session/session_state.h"
#include "ui/connect_dialog.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "visual/histogram_visualizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One message box seen by the watcher.
struct SeenBox {
    std::string text;
    HWND owner;
    bool warning_icon;
    bool information_icon;
};

// Watches this process's top-level windows on a thread of its own; every
// visible message box with the caption "Lorvane" is recorded and closed with
// its OK button.
class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    std::vector<SeenBox> boxes();

private:
    void watch();
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> boxes_; // guarded by mutex_
    std::thread thread_;
};

// The program's objects as WinMain makes them, with create_windows run: the
// hidden main window and the shown dialog.
class UiFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND dialog() const { return context_.dialog; }
    HWND item(int id) const { return GetDlgItem(context_.dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }

    // Hands the messages waiting in this thread's queue to the dialog manager
    // first, as the main loop does. Returns false when WM_QUIT was among them.
    bool pump();
    // Runs the program's main loop until done() holds or timeout_ms pass.
    // Returns done()'s last value.
    template <typename Done> bool run_until(Done done, int timeout_ms);
    // A key as the main loop would hand it to the dialog manager.
    void dialog_key(UINT message, WPARAM key, bool shift = false);
    // Whether a WM_QUIT is waiting in this thread's queue.
    static bool quit_posted();

    PcmQueue queue_ = {};
    SessionState *state_ = nullptr;
    HistogramVisualizer *visualizer_ = nullptr;
    AppContext context_ = {};
};

bool run_main_loop_until(AppContext &context, bool (*done)(void *), void *argument, int timeout_ms);

template <typename Done> bool UiFixture::run_until(Done done, int timeout_ms) {
    return run_main_loop_until(
        context_, [](void *d) { return (*static_cast<Done *>(d))(); }, &done, timeout_ms);
}

// UTF-8 to wide and back, for expectations.
std::wstring wide(const std::string &utf8);
std::string utf8(const std::wstring &text);
