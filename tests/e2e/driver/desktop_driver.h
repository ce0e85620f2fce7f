// Drives another process's windows the way a user does: real keyboard and
// mouse input through SendInput to the foreground window, texts and states
// read back with WM_GETTEXT and IsWindowEnabled, and the screen's pixels.
// Runs as a Windows program in the same Wine prefix and display as the
// program it drives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// The first visible top-level window of process (0: any process) with the
// given class and, when title is not null, that title; null if none.
HWND find_window(DWORD process, const char *class_name, const char *title);
// find_window, retried until it appears or timeout_ms pass.
HWND wait_for_window(DWORD process, const char *class_name, const char *title, int timeout_ms);

// Makes window the foreground window, so that typed input reaches it.
bool bring_to_front(HWND window);

// Keys go to whatever window has the keyboard focus.
void press_key(WORD virtual_key, bool shift = false, bool alt = false);
// Types UTF-8 text: characters of the keyboard layout as their keys (with
// Shift where needed), anything else as Unicode input.
void type_text(const std::string &utf8);
// A left click in the middle of window.
void click(HWND window);
// Clicks a combo box and waits until its list has dropped down.
bool drop_down(HWND list);

// A window's text (WM_GETTEXT, across processes) as UTF-8.
std::string text_of(HWND window);
inline bool is_enabled(HWND window) {
    return IsWindowEnabled(window) != FALSE;
}

// Polls condition every step_ms until it holds or timeout_ms pass.
template <typename Condition>
bool wait_until(Condition condition, int timeout_ms, int step_ms = 10) {
    for (int waited = 0;; waited += step_ms) {
        if (condition()) {
            return true;
        }
        if (waited >= timeout_ms) {
            return false;
        }
        Sleep(static_cast<DWORD>(step_ms));
    }
}

// A copy of part of the screen, 32-bit pixels 0x00RRGGBB, top row first.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// The client area of window as it is on the screen.
Capture capture_client(HWND window);

// The Unix path of a Windows path (Wine), or an empty string.
std::string unix_path(const std::wstring &windows_path);

} // namespace driver
