// The main window, on which the visualiser draws, and create_windows, the
// start-up step that makes the drawing factories and both windows.
//
// Threads: every message is handled on the main thread. UM_AUDIO_BLOCK comes
// from the audio output thread; its block pointer travels through the message
// queue and is only stored here (the visualiser borrows the block when it
// paints, audio/block_lending.h).
#pragma once

#include <windows.h>

struct AppContext;

// The window class's name and the window's title.
constexpr const char *kMainWindowClass = "lorvane_wnd_";
constexpr const char *kMainWindowTitle = "Lorvane";
// The window's outer size at 100 % scaling; the client area grows with the
// display's scaling.
constexpr int kMainWindowWidth = 1000;
constexpr int kMainWindowHeight = 400;

// Has the visualiser make its window-independent resources, registers the
// window class, creates the hidden main window and the visible connect dialog.
// Returns 0, the visualiser's failure, or E_FAIL when the class cannot be
// registered.
HRESULT create_windows(AppContext &context);

// Takes the media keys system-wide for window (WM_HOTKEY), where no other
// program holds them. Called when playing first starts.
void register_media_hot_keys(HWND window);

// Keys: Space pauses and resumes, N the next track, P the previous one (or
// the same again after 3 s), L the connect dialog again; the media keys,
// as keys, WM_APPCOMMAND or hot keys, do the same (Stop pauses).
LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
