// The title line: the current track's first artist, " - ", and the track's
// name, as a wide string of UTF-16 code units for DirectWrite.
//
// Threads: main thread. current_track is read, and the streaming library is
// called, only while the session lock is held; the lock is taken twice (once
// for the artist, once for the name), so a track change between the two can
// join the artist of one track with the name of the next.
#pragma once

#include <string>

struct SessionState;

// Empty when there is no session state, no current track, or either name is
// missing. The names are decoded as visual/utf8_text.h says.
std::wstring title_text(SessionState *session_state);
