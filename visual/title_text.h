// The title line: the current track's first artist, " - ", and the track's
// name, as a wide string of UTF-16 code units for DirectWrite.
//
// Threads: main thread. current_track is read, and the streaming library is
// called, only while the session lock is held, and both names are copied
// under one hold of it, so that they are always of the same track.
#pragma once

#include <optional>
#include <string>

struct SessionState;

// The current track's first artist and name, in UTF-8.
struct TrackTitle {
    std::string artist;
    std::string name;
};

// Nothing when there is no session state, no current track, or either name
// is missing.
std::optional<TrackTitle> current_track_title(SessionState *session_state);

// Empty when current_track_title is nothing. The names are decoded as
// platform/utf8_text.h says.
std::wstring title_text(SessionState *session_state);
