// Following the chosen playlist and playing its tracks in order.

#include "session/playlist_following.h"

#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/session_state.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

SessionState *state_of(void *userdata) {
    return static_cast<SessionState *>(userdata);
}

// A malloc'd copy of text (the empty string for null), or null when memory
// is short. The owner releases it with free.
char *copy_string(const char *text) {
    if (!text)
        text = "";
    const size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

// Names are equal by the platform's case-sensitive comparison; a playlist
// without a name has the empty one.
bool same_name(const char *a, const char *b) {
    return lstrcmpA(a ? a : "", b ? b : "") == 0;
}

// True when the playlist's name is the wanted one. Nothing matches while no
// name is wanted.
bool is_wanted(const SessionState *state, const char *name) {
    return state->wanted_name && same_name(name, state->wanted_name);
}

void mark_playlists_changed(SessionState *state) {
    const MutexHold hold(state->lock);
    state->playlists_changed = 1;
}

// The track at the current position cannot be played: the next pass moves past it.
void ask_for_advance(SessionState *state) {
    state->advance_pending.store(kAdvanceUnplayable);
    SetEvent(state->wake_event);
}

// Shuffled, a playlist newly followed starts a round of its own, drawn once
// its tracks are known (follow_order).
void forget_rounds(SessionState *state) {
    if (state->order.shuffle)
        play_order_set_shuffle(&state->order, true, kPlayOrderNone, 0);
}

// Shuffled, the position follows the order, which an edit keeps on the
// track playing (or moves to the one after it, when that one was removed).
// A shuffled playlist that had no tracks yet draws its first round once they
// arrive.
void follow_order(SessionState *state) {
    PlayOrder *order = &state->order;
    if (!order->shuffle)
        return;
    const uint32_t count = session_track_count(state);
    if (order->entries.empty() && count > 0 && !state->current_track)
        play_order_set_shuffle(order, true, kPlayOrderNone, count);
    const uint32_t current = play_order_current(order);
    state->track_index = current != kPlayOrderNone ? current : count;
}

// Stops following the selected playlist. Audio already queued plays out.
// Called with lock held.
void drop_selection(SessionState *state) {
    state->playlist = nullptr;
    state->current_track = nullptr;
    sp_session_player_unload(state->session);
}

} // namespace

void session_select_playlist(SessionState *state, const char *name) {
    const MutexHold hold(state->lock);
    std::free(state->wanted_name);
    state->wanted_name = copy_string(name);
    state->playlist = nullptr;
    sp_playlistcontainer *container =
        state->session ? sp_session_playlistcontainer(state->session) : nullptr;
    if (container) {
        // No early stop: of several playlists with the name, the last one wins.
        for (int i = 0; i < sp_playlistcontainer_num_playlists(container); ++i) {
            sp_playlist *playlist = sp_playlistcontainer_playlist(container, i);
            if (playlist && same_name(sp_playlist_name(playlist), name))
                state->playlist = playlist;
        }
    }
    if (state->playlist) {
        follow_order(state);
        session_play_current(state);
    }
}

void session_switch_playlist(SessionState *state, const char *name) {
    const MutexHold hold(state->lock);
    session_stop_player(state);
    state->track_index = 0;
    state->advance_pending.store(0); // it belonged to the playlist left
    // Shuffled, the new playlist starts a round of its own.
    forget_rounds(state);
    session_select_playlist(state, name);
}

void session_stop_player(SessionState *state) {
    const MutexHold hold(state->lock);
    state->current_track = nullptr;
    if (state->session)
        sp_session_player_unload(state->session);
    if (state->queue)
        pcm_queue_flush(state->queue);
}

void session_play_current(SessionState *state) {
    sp_playlist *playlist = state->playlist;
    if (!playlist)
        return;
    const int count = sp_playlist_num_tracks(playlist);
    sp_track *track = nullptr;
    if (count > 0 && state->track_index < static_cast<uint32_t>(count))
        track = sp_playlist_track(playlist, static_cast<int>(state->track_index));

    const MutexHold hold(state->lock);
    if (state->current_track && state->current_track != track) {
        // Another track, or none, now stands at the position: the playing
        // track was removed or moved away, and neither it nor its queued
        // audio may be heard as if it belonged to the position.
        session_stop_player(state);
    }
    if (!track)
        return;
    if (!sp_track_is_available(state->session, track)) {
        ask_for_advance(state);
        return;
    }
    if (!sp_track_is_loaded(track)) {
        // A track still loading is waited for (metadata_updated or a playlist
        // event runs this step again); one that will never load is passed
        // like an unavailable one, or it would hold the sequence for good.
        const sp_error error = sp_track_error(track);
        if (error != SP_ERROR_OK && error != SP_ERROR_IS_LOADING)
            ask_for_advance(state);
        return;
    }
    if (track != state->current_track) {
        // An advance still pending belongs to a track that is no longer in
        // the player: one that ended, was skipped or could not be played
        // just before an edit put this track at the position. It must not
        // move past this one too. The old track's player is unloaded by now,
        // so no end of it can follow; an end from here on is this track's.
        state->advance_pending.store(0);
        state->current_track = track;
        // Whatever is delivered from here is this track's, including a
        // restart of the same track or a start from a seek's position.
        const uint32_t start_ms = state->start_at_ms;
        if (state->queue) {
            state->current_mark = pcm_queue_begin_track(state->queue);
            const int length = sp_track_duration(track);
            track_timing_record(&state->timings,
                                TrackTiming{state->current_mark, start_ms,
                                            length > 0 ? static_cast<uint32_t>(length) : 0,
                                            state->track_index, state->start_joined});
        }
        play_order_track_started(&state->order);
        sp_session_player_load(state->session, track); // results are not looked at
        if (start_ms > 0)
            sp_session_player_seek(state->session, static_cast<int>(start_ms));
        sp_session_player_play(state->session, 1);
        state->player_held = false; // a pause holds it again once its start is queued
    }
}

uint32_t session_track_count(const SessionState *state) {
    const int count = state->playlist ? sp_playlist_num_tracks(state->playlist) : 0;
    return count > 0 ? static_cast<uint32_t>(count) : 0;
}

int session_list_playlists(SessionState *state, char ***names) {
    sp_playlistcontainer *container = state->container;
    if (!container) {
        *names = nullptr;
        return 0;
    }
    const int count = sp_playlistcontainer_num_playlists(container);
    int loaded = 0;
    for (int i = 0; i < count; ++i) {
        sp_playlist *playlist = sp_playlistcontainer_playlist(container, i);
        if (playlist && sp_playlist_is_loaded(playlist))
            ++loaded;
    }
    // No exception may leave for the dialog procedure: short of memory, the
    // dialog gets no list, as before a container exists.
    char **list = new (std::nothrow) char *[static_cast<size_t>(loaded)];
    if (!list) {
        *names = nullptr;
        return 0;
    }
    int filled = 0;
    for (int i = 0; i < count && filled < loaded; ++i) {
        sp_playlist *playlist = sp_playlistcontainer_playlist(container, i);
        if (playlist && sp_playlist_is_loaded(playlist))
            list[filled++] = copy_string(sp_playlist_name(playlist));
    }
    *names = list;
    return filled;
}

void on_tracks_added(sp_playlist *playlist, sp_track *const *, int count, int position,
                     void *userdata) {
    SessionState *state = state_of(userdata);
    mark_playlists_changed(state);
    if (playlist != state->playlist)
        return;
    if (state->order.shuffle && count > 0 && position >= 0) {
        // A round not drawn yet is drawn whole by follow_order.
        if (!state->order.entries.empty())
            play_order_tracks_added(&state->order, static_cast<uint32_t>(position),
                                    static_cast<uint32_t>(count));
        follow_order(state);
    }
    session_play_current(state);
}

void on_tracks_removed(sp_playlist *playlist, const int *indices, int count, void *userdata) {
    SessionState *state = state_of(userdata);
    if (playlist != state->playlist)
        return;
    if (state->order.shuffle) {
        play_order_tracks_removed(&state->order, indices, count);
        follow_order(state);
        session_play_current(state);
        return;
    }
    // Removals before the position keep the same track at the new index.
    uint32_t before = 0;
    for (int i = 0; i < count; ++i) {
        if (static_cast<uint32_t>(indices[i]) < state->track_index)
            ++before;
    }
    state->track_index -= before;
    session_play_current(state);
}

void on_tracks_moved(sp_playlist *playlist, const int *indices, int count, int new_position,
                     void *userdata) {
    SessionState *state = state_of(userdata);
    if (playlist != state->playlist)
        return;
    if (state->order.shuffle) {
        play_order_tracks_moved(&state->order, indices, count, new_position);
        follow_order(state);
    }
    session_play_current(state);
}

void on_playlist_renamed(sp_playlist *playlist, void *userdata) {
    SessionState *state = state_of(userdata);
    const char *name = sp_playlist_name(playlist);
    const MutexHold hold(state->lock);
    // The dialog lists playlists by name: a list left with the old one would
    // offer a name that no playlist has any more.
    state->playlists_changed = 1;
    if (is_wanted(state, name)) {
        state->playlist = playlist;
        state->track_index = 0;
        forget_rounds(state);
        follow_order(state);
        session_play_current(state);
    } else if (playlist == state->playlist) {
        drop_selection(state);
    }
}

void on_playlist_added(sp_playlistcontainer *, sp_playlist *playlist, int, void *userdata) {
    SessionState *state = state_of(userdata);
    sp_playlist_add_callbacks(playlist, &state->playlist_callbacks, state);
    if (is_wanted(state, sp_playlist_name(playlist))) {
        state->playlist = playlist;
        forget_rounds(state);
        follow_order(state);
        session_play_current(state);
    }
    mark_playlists_changed(state);
    SetEvent(state->wake_event);
}

void on_playlist_removed(sp_playlistcontainer *, sp_playlist *playlist, int, void *userdata) {
    SessionState *state = state_of(userdata);
    sp_playlist_remove_callbacks(playlist, &state->playlist_callbacks, state);
    const MutexHold hold(state->lock);
    state->playlists_changed = 1;
    // The library may let go of a removed playlist: the selection must not
    // outlive it. The name stays wanted for a playlist added or renamed later.
    if (playlist == state->playlist)
        drop_selection(state);
}
