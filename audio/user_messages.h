// The audio output thread's message to the main window, posted with
// PostMessageA. The program's other messages are numbered after it (see
// ui/dialog_messages.h), so that no two of them share a value.
#pragma once

#include <windows.h>

// wParam is the PcmBlock just handed to the sound device; lParam is 0.
constexpr UINT UM_AUDIO_BLOCK = WM_USER;
