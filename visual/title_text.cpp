#include "visual/title_text.h"

#include "platform/win32_owners.h"
#include "session/session_state.h"
#include "visual/utf8_text.h"

#include <libspotify/api.h>

#include <optional>

namespace {

// A copy of what read() returns for the current track, taken under the
// session lock; nothing when there is no track or no text.
template <class Read> std::optional<std::string> copy_under_lock(SessionState *state, Read read) {
    std::optional<std::string> copy;
    const MutexHold hold(state->lock);
    if (state->current_track != nullptr) {
        const char *text = read(state->current_track);
        if (text != nullptr) {
            copy.emplace(text);
        }
    }
    return copy;
}

} // namespace

std::wstring title_text(SessionState *session_state) {
    if (session_state == nullptr) {
        return std::wstring();
    }
    const std::optional<std::string> artist = copy_under_lock(session_state, [](sp_track *track) {
        sp_artist *first = sp_track_artist(track, 0);
        return first != nullptr ? sp_artist_name(first) : nullptr;
    });
    const std::optional<std::string> name =
        copy_under_lock(session_state, [](sp_track *track) { return sp_track_name(track); });
    if (!artist || !name) {
        return std::wstring();
    }
    return widen_utf8(artist->c_str()) + L" - " + widen_utf8(name->c_str());
}
