// What the player's keys do to the session, the pass's steps that finish
// them (an advance, a held player while paused), and the time line's status.

#include "session/player_controls.h"

#include "audio/device_volume.h"
#include "audio/output_controls.h"
#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/playlist_following.h"
#include "session/session_state.h"

#include <algorithm>

namespace {

void apply_volume(SessionState *state) {
    if (state->queue)
        output_controls_request_volume(
            &state->queue->controls, device_volume_level(state->muted ? 0 : state->volume_percent));
}

// Plays the track at the position from ms into it; the player is stopped.
void start_at(SessionState *state, uint32_t ms) {
    state->start_at_ms = ms;
    session_play_current(state);
    state->start_at_ms = 0; // for this track only, whether or not it could start
}

uint32_t playing_mark(const SessionState *state) {
    return state->current_track ? state->current_mark : 0;
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

} // namespace

void session_skip(SessionState *state) {
    session_stop_player(state);
    state->advance_pending.store(kAdvanceSkipped);
    SetEvent(state->wake_event);
}

void session_advance(SessionState *state) {
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

void hold_player_while_paused(SessionState *state) {
    if (state->player_held || !state->queue || !state->current_track ||
        !output_controls_pause_requested(&state->queue->controls) ||
        pcm_queue_frames(state->queue) == 0)
        return;
    sp_session_player_play(state->session, 0);
    state->player_held = true;
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

uint32_t session_position_ms(SessionState *state) {
    if (!state->queue || !state->current_track)
        return 0;
    return track_timing_position(&state->timings, output_controls_heard(&state->queue->controls),
                                 state->current_mark)
        .position_ms;
}

void session_seek_to(SessionState *state, uint32_t ms) {
    const MutexHold hold(state->lock);
    sp_track *track = state->current_track;
    if (!track || !state->session)
        return;
    const int length = sp_track_duration(track);
    if (length > 0 && ms >= static_cast<uint32_t>(length)) {
        session_skip(state);
        return;
    }
    session_stop_player(state);
    start_at(state, ms);
}

void session_seek_by(SessionState *state, int32_t delta_ms) {
    const MutexHold hold(state->lock);
    if (!state->current_track || !state->queue)
        return;
    // At a join without a gap the player already plays the next track while
    // the device still plays out the end of the one before: the move is from
    // what is heard. Back within that track plays it again from there (it is
    // the one before in the play order, or the same one repeated); forward
    // past its end moves as far into the track in the player.
    const HeardPosition heard = output_controls_heard(&state->queue->controls);
    const TrackTiming *sounding = track_timing_find(&state->timings, heard.mark);
    const TrackTiming *playing = track_timing_find(&state->timings, state->current_mark);
    if (sounding && playing && sounding != playing && playing->joined &&
        heard.mark + 1 == playing->mark && sounding->length_ms > 0 && !session_is_paused(state)) {
        const int64_t target =
            int64_t{track_timing_position(&state->timings, heard, heard.mark).position_ms} +
            delta_ms;
        if (target >= sounding->length_ms) {
            session_seek_to(state, static_cast<uint32_t>(target - sounding->length_ms));
            return;
        }
        const uint32_t index = sounding->index;
        session_stop_player(state);
        if (index != state->track_index) {
            const uint32_t count = session_track_count(state);
            state->track_index = state->order.shuffle && count > 0
                                     ? play_order_previous(&state->order, state->track_index, count)
                                     : index;
        }
        start_at(state, static_cast<uint32_t>(std::max<int64_t>(target, 0)));
        return;
    }
    const int64_t target = int64_t{session_position_ms(state)} + delta_ms;
    session_seek_to(state, static_cast<uint32_t>(std::clamp<int64_t>(target, 0, UINT32_MAX)));
}

void session_change_volume(SessionState *state, int steps) {
    state->volume_percent = std::clamp(state->volume_percent + steps * kVolumeStepPercent, 0, 100);
    state->muted = false;
    apply_volume(state);
}

void session_toggle_mute(SessionState *state) {
    state->muted = !state->muted;
    apply_volume(state);
}

void session_toggle_shuffle(SessionState *state) {
    const uint32_t playing = state->current_track ? state->track_index : kPlayOrderNone;
    // Short of memory, shuffle stays off.
    play_order_set_shuffle(&state->order, !state->order.shuffle, playing,
                           session_track_count(state));
}

void session_cycle_repeat(SessionState *state) {
    play_order_cycle_repeat(&state->order);
}

PlaybackStatus session_playback_status(SessionState *state) {
    PlaybackStatus status{};
    status.paused = session_is_paused(state);
    PlayPosition position{false, 0, 0};
    if (state->queue) {
        const HeardPosition heard = output_controls_heard(&state->queue->controls);
        const uint32_t mark =
            track_timing_heard_mark(&state->timings, heard, playing_mark(state), status.paused);
        position = track_timing_position(&state->timings, heard, mark);
    }
    status.has_position = position.known;
    status.position_ms = position.position_ms;
    status.length_ms = position.length_ms;
    status.shuffle = state->order.shuffle;
    status.repeat = state->order.repeat;
    status.volume_percent = state->volume_percent;
    status.muted = state->muted;
    return status;
}
