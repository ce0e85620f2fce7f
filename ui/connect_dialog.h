// The connect dialog: user name, password, "Connect", the playlist list,
// "Start playing" and "Exit". Modeless, built from dialog template 101; it
// learns about the session only through the main loop's messages
// UM_CONNECTED, UM_PLAYLISTS_CHANGED and UM_LOGIN_FAILED.
//
// Text: the dialog is 8-bit ("A"), the streaming library speaks UTF-8. The
// fields are read in their wide form and converted to UTF-8; each playlist
// item keeps the library's own UTF-8 name as its item data (so the name given
// back is byte for byte the one listed) and shows it through the wide form.
//
// Threads: everything here runs on the main thread, inside the main loop's
// dispatch (or a message box's own loop on that thread).
#pragma once

#include <windows.h>

struct AppContext;

// Creates the dialog from the program's own resources, stores it in
// context.dialog, attaches the context to it and shows it. Returns the
// dialog, or null when it could not be created.
HWND create_connect_dialog(AppContext &context);

// The key L, once playing has started: shows the dialog again over the main
// window, with the playlists as they stand now and the one followed
// selected. "Start playing" then plays the selected playlist from its first
// track and hides the dialog; Esc or a close request hides it with nothing
// changed. Does nothing before the first "Start playing".
void show_connect_dialog_again(AppContext &context);

// The dialog procedure. Returns FALSE for every message, so that the dialog
// manager's default handling always follows.
INT_PTR CALLBACK connect_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Installed on the user name, password, "Connect", "Exit", the playlist list
// and "Start playing": a Tab key that reaches the control itself moves the
// focus forward to the next tab stop; everything else goes to the control's
// previous procedure, kept in its user data.
LRESULT CALLBACK tab_key_subclass_proc(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
