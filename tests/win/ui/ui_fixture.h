// The user interface suites' fixture: the program's objects built as the
// entry point builds them, create_windows run, and message boxes answered.
#pragma once

#include <windows.h>

#include "app/main_loop.h"
#include "audio/pcm_queue.h"
#include "audio/user_messages.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/connect_dialog.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "visual/histogram_visualizer.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>

#include <functional>
#include <string>
#include <vector>

// A message box with the caption "Lorvane", seen and closed with OK.
struct SeenBox {
    std::string text;
    HWND owner;
    HICON icon;
};
inline std::vector<SeenBox> g_boxes;
inline std::function<bool()> g_done;
inline DWORD g_deadline = 0;

// Timer: records and closes this thread's message boxes (icon control: 20 on
// Windows, 0x440 in Wine).
inline void CALLBACK close_boxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND box, LPARAM) -> BOOL {
            char class_name[32] = {}, caption[32] = {}, text[256] = {};
            GetClassNameA(box, class_name, sizeof class_name);
            GetWindowTextA(box, caption, sizeof caption);
            if (IsWindowVisible(box) && lstrcmpA(class_name, "#32770") == 0 &&
                lstrcmpA(caption, "Lorvane") == 0) {
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                HWND icon = GetDlgItem(box, 0x440) ? GetDlgItem(box, 0x440) : GetDlgItem(box, 20);
                g_boxes.push_back({text, GetWindow(box, GW_OWNER),
                                   reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0))});
                PostMessageA(box, WM_COMMAND, IDOK, 0); // handled before the next WM_TIMER
            }
            return TRUE;
        },
        0);
}

class UiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        splocal_reset();
        splocal_set_latency(0);
        HANDLE wake_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(pcm_queue_init(&queue_, nullptr));
        state_ = new SessionState(); // left, as in the program, like the visualiser
        ASSERT_TRUE(session_state_init(state_, wake_event, &queue_));
        visualizer_ = new HistogramVisualizer();
        visualizer_->session_state = state_;
        context_ = {nullptr, nullptr, state_, wake_event, visualizer_, false, 0};
        ASSERT_EQ(create_windows(context_), 0);
        box_timer_ = SetTimer(nullptr, 0, 10, &close_boxes);
        SetForegroundWindow(dialog());
        run_until([] { return true; }, 0); // the windows' first messages
    }
    void TearDown() override {
        KillTimer(nullptr, box_timer_);
        DestroyWindow(dialog());
        DestroyWindow(context_.main_window);
        UnregisterClassA(kMainWindowClass, GetModuleHandleA(nullptr));
        MSG message; // including the WM_QUIT of the main window's destruction
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        splocal_session_release(state_->session);
        pcm_queue_flush(&queue_);
    }

    HWND dialog() const { return context_.dialog; }
    HWND item(int id) const { return GetDlgItem(context_.dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    int list_count() const {
        return static_cast<int>(SendMessageA(item(IDC_PLAYLIST), CB_GETCOUNT, 0, 0));
    }
    LRESULT selected() const { return SendMessageA(item(IDC_PLAYLIST), CB_GETCURSEL, 0, 0); }
    void click(int id) const {
        SendMessageA(dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(item(id)));
    }
    // Logs in as ann, who has the playlists named, each of tracks one-minute
    // tones titled after it, and starts the one at chosen: done once its
    // first track is in the player.
    void log_in_and_start(const std::vector<std::string> &playlists, int chosen, int tracks) {
        splocal_account_add("ann", "pw");
        for (const std::string &name : playlists) {
            const int id = splocal_playlist_add("ann", name.c_str(), -1);
            for (int i = 0; i < tracks; ++i) {
                const int track = splocal_track_add("A", name.c_str(), SPLOCAL_SOUND_TONE,
                                                    300 + 100 * i, 44100 * 60);
                splocal_playlist_add_tracks(id, &track, 1, -1);
            }
        }
        SetDlgItemTextA(dialog(), IDC_USERNAME, "ann");
        SetDlgItemTextA(dialog(), IDC_PASSWORD, "pw");
        click(IDC_CONNECT);
        ASSERT_TRUE(
            run_until([&] { return list_count() == static_cast<int>(playlists.size()); }, 5000));
        SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
        click(IDC_START);
        ASSERT_TRUE(run_until([&] { return playing() == playlists[chosen]; }, 5000));
    }
    // The title of the track in the player, once loaded.
    std::string playing() const {
        sp_track *track = state_->current_track;
        return track && sp_track_is_loaded(track) ? sp_track_name(track) : "";
    }
    // Runs the program's main loop until done() holds or timeout_ms pass.
    bool run_until(std::function<bool()> done, int timeout_ms) {
        g_done = done;
        g_deadline = GetTickCount() + static_cast<DWORD>(timeout_ms);
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
            if (g_done && (g_done() || static_cast<LONG>(GetTickCount() - g_deadline) > 0)) {
                g_done = nullptr;
                PostQuitMessage(0);
            }
        });
        run_main_loop(context_);
        KillTimer(nullptr, timer);
        g_done = nullptr;
        return done();
    }

    PcmQueue queue_ = {};
    SessionState *state_ = nullptr;
    HistogramVisualizer *visualizer_ = nullptr;
    AppContext context_ = {};
    UINT_PTR box_timer_ = 0;
};

inline std::wstring wide(const std::string &text) {
    std::wstring out(text.size(), L'\0');
    out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                       static_cast<int>(text.size()), out.data(),
                                                       static_cast<int>(out.size()))));
    return out;
}
