// Seeking, the device's volume, shuffle and repeat, and the time line's
// status.
//
// Threads: everything here runs on the main thread, from the main window's
// keys. The volume reaches the audio output thread through the queue
// (output_controls_request_volume), which sets it on the device it owns. A seek
// stops the player through session_stop_player, under the session mutex, as
// the key N does.

#include "session/player_controls.h"

#include "audio/device_volume.h"
#include "audio/output_controls.h"
#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
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

uint32_t current_mark(const SessionState *state) {
    return state->current_track ? state->current_mark : 0;
}

} // namespace

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
            track_timing_heard_mark(&state->timings, heard, current_mark(state), status.paused);
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
