// The session controller: creation and login, the main loop's per-pass work
// and the session-level handlers.
//
// Threads: session_connect, session_process and session_skip run on the main
// thread, and so
// do on_logged_in, on_metadata_updated and on_ignored, which the library calls
// only inside sp_session_process_events. on_notify_main_thread and
// on_end_of_track may run on the library's own threads: they only set the
// wake event and advance_pending, never take lock and never touch the rest of
// the record, so they never wait for the main thread. on_music_delivery and
// on_play_token_lost, on the library's threads too, touch only the queue.
//
// session and container are written here on the main thread without lock;
// login_failed, current_track and track_index are written under lock (all
// three are the main thread's; see session_state.h).

#include "session/session_controller.h"

#include "audio/music_delivery.h"
#include "audio/output_controls.h"
#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/application_key.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "session/session_state.h"

#include <algorithm>

namespace {

// The library keeps its cache and its settings in the same relative folder.
const char kStorageLocation[] = "tmp";
const char kUserAgent[] = "spshell";
constexpr int kTimeoutWhenNoneGiven = 1000;

// While the device is paused and the queue holds audio to resume with, the
// library's player waits where it stopped instead of offering its next chunk
// to the full queue every few milliseconds; it plays on at the resume.
void hold_player_while_paused(SessionState *state) {
    if (state->player_held || !state->queue || !state->current_track ||
        !output_controls_pause_requested(&state->queue->controls) ||
        pcm_queue_frames(state->queue) == 0)
        return;
    sp_session_player_play(state->session, 0);
    state->player_held = true;
}

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

NextReason next_reason(int32_t pending) {
    switch (pending) {
    case kAdvanceEnded:
        return NextReason::Ended;
    case kAdvanceUnplayable:
        return NextReason::Unplayable;
    default:
        return NextReason::Skipped;
    }
}

// Moves on once in the play order, however often advance_pending was set
// since the last pass (the last reason given counts). Queued audio of the
// previous track still plays, so that the join is gapless, also when the
// same track plays again. Where the order ends, the position goes past the
// last track and the player stays idle.
void advance(SessionState *state) {
    {
        const MutexHold hold(state->lock);
        if (state->current_track) {
            state->current_track = nullptr;
            sp_session_player_unload(state->session);
        }
        const uint32_t tracks = session_track_count(state);
        const int32_t reason = state->advance_pending.exchange(0);
        const uint32_t next =
            play_order_next(&state->order, state->track_index, tracks, next_reason(reason));
        state->track_index =
            next == kPlayOrderNone ? std::max(tracks, state->track_index + 1) : next;
        state->start_joined = reason == kAdvanceEnded;
    }
    session_play_current(state);
    state->start_joined = false;
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
        advance(state);
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

void session_skip(SessionState *state) {
    session_stop_player(state);
    state->advance_pending.store(kAdvanceSkipped);
    SetEvent(state->wake_event);
}

void session_toggle_pause(SessionState *state) {
    session_set_paused(state, !session_is_paused(state));
}

void session_set_paused(SessionState *state, bool paused) {
    if (!state->queue)
        return;
    output_controls_request_pause(&state->queue->controls, paused);
    if (!paused && state->player_held) {
        sp_session_player_play(state->session, 1);
        state->player_held = false;
    }
}

bool session_is_paused(const SessionState *state) {
    return state->queue && output_controls_pause_requested(&state->queue->controls);
}

void session_previous(SessionState *state) {
    const MutexHold hold(state->lock);
    // What the device has played counts, not what was delivered: a second
    // of audio waits in the queue and eight buffers in the device. After a
    // seek, the track counts from where it was sought.
    const bool restart =
        state->current_track && state->queue && session_position_ms(state) > kRestartAfterMs;
    session_stop_player(state);
    if (!restart) {
        // Past the last track, or before the playlist's tracks arrived, the
        // position itself tells the track before.
        const uint32_t tracks = std::max(session_track_count(state), state->track_index + 1);
        state->track_index = play_order_previous(&state->order, state->track_index, tracks);
    }
    // An end of track or a skip still pending belonged to the track stopped here.
    state->advance_pending.store(0);
    session_play_current(state);
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
