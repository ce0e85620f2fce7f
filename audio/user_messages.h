// The program's own window messages, here beside the lowest of their posters
// (the audio output thread) so that no folder reaches up for them. All are
// posted with PostMessageA; wParam and lParam are 0 unless said otherwise.
#pragma once

#include <windows.h>

// Audio output thread to the main window: wParam is the PcmBlock just handed
// to the sound device.
constexpr UINT UM_AUDIO_BLOCK = WM_USER;
// Main loop to the connect dialog.
constexpr UINT UM_CONNECTED = WM_USER + 1;
constexpr UINT UM_PLAYLISTS_CHANGED = WM_USER + 2;
constexpr UINT UM_LOGIN_FAILED = WM_USER + 3;
