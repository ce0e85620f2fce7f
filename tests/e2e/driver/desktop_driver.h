// Drives another process's windows as a user does, reads them and the screen.
#pragma once

#include <windows.h>

#include "ui/resource_ids.h"

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// Polls condition every step_ms until it holds or timeout_ms pass.
template <typename Condition>
bool wait_until(Condition condition, int timeout_ms, int step_ms = 10) {
    for (int waited = 0; !condition(); waited += step_ms) {
        if (waited >= timeout_ms)
            return false;
        Sleep(static_cast<DWORD>(step_ms));
    }
    return true;
}

// The first visible top-level window of process (0: any) with the class and
// (unless null) the title, within timeout_ms; or null.
HWND wait_for_window(DWORD process, const char *class_name, const char *title, int timeout_ms);
bool bring_to_front(HWND window); // so that typed input reaches it
// Input for the focused window: a key, or UTF-8 text (as Unicode input).
void press_key(WORD virtual_key, bool shift = false, bool alt = false, bool ctrl = false);
void type_text(const std::string &utf8);
void click(HWND window); // in its middle
// Clicks a combo box and waits until its list has dropped down.
bool drop_down(HWND list);
std::string text_of(HWND window); // WM_GETTEXT, as UTF-8

// Pixels 0x00RRGGBB, top row first.
struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Capture capture_client(HWND window); // its client area as on the screen
// A 32-bit bitmap of width x height for dc, top row first; its pixels in *bits.
HBITMAP top_down_bitmap(HDC dc, int width, int height, void **bits);
// The Unix path of a Windows path (Wine), or an empty string.
std::string unix_path(const std::wstring &windows_path);

// Lorvane's connect dialog, worked as a user works it.
struct ConnectDialog {
    HWND window = nullptr;
    DWORD process = 0, thread = 0;

    explicit ConnectDialog(HWND dialog = nullptr)
        : window(dialog), thread(GetWindowThreadProcessId(dialog, &process)) {}
    HWND item(int id) const { return GetDlgItem(window, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    // Whether the program's keyboard focus comes to control id in time.
    bool focus_reaches(int id, int timeout_ms = 2000) const;
    // Types into each field after a click into it, then clicks Connect.
    void log_in(const std::string &user, const std::string &password) const;
    // Whether the list is enabled with count playlists (any when < 0) in time.
    bool wait_for_playlists(int count, int timeout_ms = 10000) const;
    bool choose(int index) const;         // the list's item, with the keyboard
    std::wstring listed(int index) const; // the list's item's text
    // Clicks "Start playing"; the main window once it shows, in front.
    HWND start_playing() const;
};

} // namespace driver
