// Building the session controller's record.

#include "session/session_state.h"

#include "audio/pcm_queue.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"

#include <chrono>

bool session_state_init(SessionState *state, HANDLE wake_event, PcmQueue *queue) {
    state->wake_event = wake_event;
    state->lock.reset(CreateMutexA(nullptr, FALSE, nullptr));
    state->queue = queue;
    state->session = nullptr;
    state->container = nullptr;
    state->playlist = nullptr;
    state->wanted_name = nullptr;
    state->current_track = nullptr;
    state->track_index = 0;
    state->player_held = false;
    state->current_mark = 0;
    state->start_at_ms = 0;
    state->start_joined = false;
    state->timings = TrackTimings{};
    state->volume_percent = 100;
    state->muted = false;
    // A shuffle differs from run to run.
    play_order_seed(
        &state->order,
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    state->advance_pending.store(0);
    state->playlists_changed = 0;
    state->login_failed = 0;

    sp_playlist_callbacks &playlist = state->playlist_callbacks;
    playlist.tracks_added = on_tracks_added;
    playlist.tracks_removed = on_tracks_removed;
    playlist.tracks_moved = on_tracks_moved;
    playlist.playlist_renamed = on_playlist_renamed;
    playlist.playlist_state_changed = nullptr;
    playlist.playlist_update_in_progress = nullptr;
    playlist.playlist_metadata_updated = nullptr;
    playlist.track_created_changed = nullptr;
    playlist.track_seen_changed = nullptr;
    playlist.description_changed = nullptr;
    playlist.image_changed = nullptr;

    sp_playlistcontainer_callbacks &container = state->container_callbacks;
    container.playlist_added = on_playlist_added;
    container.playlist_removed = on_playlist_removed;
    container.playlist_moved = nullptr;
    container.container_loaded = on_ignored;

    sp_session_callbacks &session = state->session_callbacks;
    session.logged_in = on_logged_in;
    session.logged_out = nullptr;
    session.metadata_updated = on_metadata_updated;
    session.connection_error = on_ignored;
    session.message_to_user = nullptr;
    session.notify_main_thread = on_notify_main_thread;
    session.music_delivery = on_music_delivery;
    session.play_token_lost = on_play_token_lost;
    session.log_message = on_ignored;
    session.end_of_track = on_end_of_track;
    session.streaming_error = on_ignored;
    session.userinfo_updated = nullptr;
    session.start_playback = nullptr;
    session.stop_playback = nullptr;
    session.get_audio_buffer_stats = nullptr;

    return static_cast<bool>(state->lock);
}

BlockLending *session_block_lending(SessionState *state) {
    return state->queue != nullptr ? &state->queue->lending : nullptr;
}
