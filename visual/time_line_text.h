// The time line at the bottom of the main window: the position of the block
// being heard and the track's length ("1:23 / 4:05", with hours when the
// track has them; the position alone when the length is not known), then
// what holds: "paused", "shuffle", "repeat" or "repeat one", and, for a
// while after a change, the volume ("volume 65 %", "muted").
//
// Threads: main thread (it reads nothing shared).
#pragma once

#include "session/player_controls.h"

#include <string>

// Empty when there is nothing to show.
std::wstring time_line_text(const PlaybackStatus &status, bool show_volume);
