#include "visual/title_text.h"

#include "platform/win32_owners.h"
#include "session/session_state.h"
#include "platform/utf8_text.h"

#include <libspotify/api.h>

std::optional<TrackTitle> current_track_title(SessionState *session_state) {
    if (session_state == nullptr) {
        return std::nullopt;
    }
    const MutexHold hold(session_state->lock);
    sp_track *track = session_state->current_track;
    if (track == nullptr) {
        return std::nullopt;
    }
    sp_artist *first = sp_track_artist(track, 0);
    const char *artist = first != nullptr ? sp_artist_name(first) : nullptr;
    const char *name = sp_track_name(track);
    if (artist == nullptr || name == nullptr) {
        return std::nullopt;
    }
    return TrackTitle{artist, name};
}

std::wstring title_text(SessionState *session_state) {
    const std::optional<TrackTitle> title = current_track_title(session_state);
    if (!title) {
        return std::wstring();
    }
    return widen_utf8(title->artist.c_str()) + L" - " + widen_utf8(title->name.c_str());
}
