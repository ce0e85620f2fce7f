// The entry point's record that ties the process-wide objects together. It
// lives in WinMain's frame for the whole process; the window procedures reach
// it through their window's user data, the main loop through a reference.
#pragma once

#include <windows.h>

struct SessionState;
class Visualizer;

struct AppContext {
    HWND main_window; // null until create_windows makes it
    HWND dialog;      // the connect dialog
    SessionState *session_state;
    HANDLE wake_event;      // auto-reset; also held by the SessionState
    Visualizer *visualizer; // the HistogramVisualizer, through its base
    bool playing_started;   // main thread: "Start playing" was pressed once
    int wheel_delta;        // main thread: the wheel's turn not yet taken as volume steps
};
