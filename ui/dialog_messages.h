// What the main loop posts to the connect dialog, with PostMessageA; wParam
// and lParam are 0. Numbered after the audio output thread's message.
#pragma once

#include "audio/user_messages.h"

#include <windows.h>

// The login succeeded: the dialog disables its login fields and button.
constexpr UINT UM_CONNECTED = UM_AUDIO_BLOCK + 1;
// The account's playlists changed: the dialog rebuilds its list.
constexpr UINT UM_PLAYLISTS_CHANGED = UM_AUDIO_BLOCK + 2;
// The login failed: the dialog says so and enables "Connect" again.
constexpr UINT UM_LOGIN_FAILED = UM_AUDIO_BLOCK + 3;
