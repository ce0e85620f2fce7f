// The session controller: creating the session and logging in, the main
// loop's pass, and the handlers the library calls for the session.

#include "session/session_controller.h"

#include "audio/music_delivery.h"
#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/application_key.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "session/session_state.h"

namespace {

// The library keeps its cache and its settings in the same relative folder.
const char kStorageLocation[] = "tmp";
const char kUserAgent[] = "spshell";
constexpr int kTimeoutWhenNoneGiven = 1000;

SessionState *state_of(sp_session *session) {
    return static_cast<SessionState *>(sp_session_userdata(session));
}

// Creates the library session from the program's fixed configuration.
bool create_session(SessionState *state) {
    sp_session_config config = {};
    config.api_version = SPOTIFY_API_VERSION;
    config.cache_location = kStorageLocation;
    config.settings_location = kStorageLocation;
    config.application_key = g_application_key;
    config.application_key_size = kApplicationKeySize;
    config.user_agent = kUserAgent;
    config.callbacks = &state->session_callbacks;
    config.userdata = state;
    sp_session *session = nullptr;
    if (sp_session_create(&config, &session) != SP_ERROR_OK || !session)
        return false; // session stays null: the next connect tries again
    state->session = session;
    return true;
}

} // namespace

int session_connect(SessionState *state, const char *username, const char *password) {
    if (!state->session && !create_session(state))
        return 0;
    return sp_session_login(state->session, username, password) == SP_ERROR_OK ? 1 : 0;
}

int session_process(SessionState *state) {
    if (!state->session)
        return 0;

    const sp_connectionstate connection = sp_session_connectionstate(state->session);
    if (!state->container && connection == SP_CONNECTION_STATE_LOGGED_IN) {
        // Attached once for the life of the process.
        state->container = sp_session_playlistcontainer(state->session);
        if (state->container)
            sp_playlistcontainer_add_callbacks(state->container, &state->container_callbacks,
                                               state);
    }

    if (state->advance_pending.load())
        session_advance(state);
    hold_player_while_paused(state);

    int timeout = 0;
    do {
        // A library that failed without giving a time-out must not keep the
        // main thread here.
        timeout = kTimeoutWhenNoneGiven;
        sp_session_process_events(state->session, &timeout); // its result tells nothing more
    } while (timeout == 0);
    return timeout;
}

void on_logged_in(sp_session *session, sp_error error) {
    SessionState *state = state_of(session);
    if (error != SP_ERROR_OK) {
        const MutexHold hold(state->lock);
        state->login_failed = 1;
        return;
    }
    sp_playlistcontainer *container = sp_session_playlistcontainer(session);
    if (container) {
        // The count is asked anew at every step: it may change while handlers run.
        for (int i = 0; i < sp_playlistcontainer_num_playlists(container); ++i) {
            sp_playlist *playlist = sp_playlistcontainer_playlist(container, i);
            if (playlist)
                sp_playlist_add_callbacks(playlist, &state->playlist_callbacks, state);
        }
    }
    SetEvent(state->wake_event);
}

void on_notify_main_thread(sp_session *session) {
    SetEvent(state_of(session)->wake_event);
}

void on_metadata_updated(sp_session *session) {
    session_play_current(state_of(session));
}

void on_end_of_track(sp_session *session) {
    SessionState *state = state_of(session);
    state->advance_pending.store(kAdvanceEnded);
    SetEvent(state->wake_event);
}

int on_music_delivery(sp_session *session, const sp_audioformat *format, const void *frames,
                      int num_frames) {
    return queue_delivery(state_of(session)->queue, format, frames, num_frames);
}

void on_play_token_lost(sp_session *session) {
    pcm_queue_flush(state_of(session)->queue);
}

void on_ignored(sp_session *, sp_error) {}
void on_ignored(sp_session *, const char *) {}
void on_ignored(sp_playlistcontainer *, void *) {}
