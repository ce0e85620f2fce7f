// What the user interface suites share: the program's objects built as the
// entry point builds them (a real SessionState on the local streaming library
// and a HistogramVisualizer), create_windows run, and message boxes answered.
#pragma once

#include <windows.h>

#include "app/app_context.h"
#include "app/user_messages.h"
#include "audio/pcm_queue.h"
#include "session/session_state.h"
#include "ui/connect_dialog.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "visual/histogram_visualizer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// A message box with the caption "Lorvane", seen and closed with OK.
struct SeenBox {
    std::string text;
    HWND owner;
    LPCSTR icon; // IDI_WARNING, IDI_INFORMATION or null
};

class UiFixture : public ::testing::Test {
public:
    // Every message box closed so far (a thread timer closes them while
    // their own loops run).
    static std::vector<SeenBox> boxes;

protected:
    void SetUp() override;
    void TearDown() override;

    HWND dialog() const { return context_.dialog; }
    HWND item(int id) const { return GetDlgItem(context_.dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    void click(int id) const {
        SendMessageA(dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(item(id)));
    }
    // Runs the program's main loop until done() holds or timeout_ms pass.
    bool run_until(std::function<bool()> done, int timeout_ms);
    // Takes a WM_QUIT waiting in this thread's queue; its code, or -1.
    static int take_quit();

    PcmQueue queue_ = {};
    SessionState *state_ = nullptr;
    HistogramVisualizer *visualizer_ = nullptr;
    AppContext context_ = {};
    UINT_PTR box_timer_ = 0;
};

// UTF-8 as wide text, for expectations.
std::wstring wide(const std::string &utf8);
