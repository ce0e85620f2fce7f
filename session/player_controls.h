// The player's controls: what the keys do to the track in the player (pause,
// next, previous, the seeks, restart), the device's volume, the order the
// playlist plays in, and what the window's time line shows of them. Each
// stops the player through session_stop_player and starts the track at the
// position through the play step (playlist_following.h).
//
// Threads: main thread only, like the keys that call them and the main
// loop's pass. The pause and the volume reach the audio output thread
// through the queue (output_controls_request_pause, output_controls_request_volume),
// which sets them on the device it owns.
#pragma once

#include "session/play_order.h"

#include <cstdint>

struct SessionState;

// The key N: stops the track in the player and drops its queued audio at
// once (session_stop_player), then asks the next pass to move on one
// position (session_advance).
void session_skip(SessionState *state);

// The pass's step when advance_pending is set (by N, the end of a track or an
// unplayable track): moves on once in the play order, however often
// advance_pending was set since the last pass (the last reason given counts),
// and plays the track there. Queued audio of the previous track still plays,
// so that the join is gapless, also when the same track plays again. Where
// the order ends, the position goes past the last track and the player stays
// idle.
void session_advance(SessionState *state);

// Space and the Play/Pause key: pauses the sound device at once, or
// resumes it from the frame where it stopped. Nothing else changes: the
// track stays in the player and delivery stops when the queue is full.
void session_toggle_pause(SessionState *state);
void session_set_paused(SessionState *state, bool paused);
bool session_is_paused(const SessionState *state);

// The pass's step while paused: once the queue holds audio to resume with,
// the library's player waits where it stopped (player_held) instead of
// offering its next chunk to the full queue every few milliseconds; the
// resume lets it play on.
void hold_player_while_paused(SessionState *state);

// The key P: when more than kRestartAfterMs of the track in the player have
// been heard, that track again from its start; otherwise the previous track
// in the play order (at the first, the first again). Stops the player and
// empties the queue as the key N does; a pause stays.
constexpr unsigned kRestartAfterMs = 3000;
void session_previous(SessionState *state);

// The position in the track in the player: where it started (a seek's
// position, or 0), plus what the device has played of it. 0 with no track.
uint32_t session_position_ms(SessionState *state);

// Plays the track in the player from ms into it, as the key N does: the
// player is stopped and the queue emptied first, so that at most the
// device's buffers of the old position are heard. At or past the track's
// end (where its length is known) it moves on to the next track as N does.
// A pause stays. Nothing happens while no track is in the player. Home is
// a seek to 0.
void session_seek_to(SessionState *state, uint32_t ms);
// Moves delta_ms from session_position_ms; back past the start is the
// start. Repeated at once, each move goes on from the last one's target.
void session_seek_by(SessionState *state, int32_t delta_ms);

// Volume steps up (steps > 0) or down, kVolumeStepPercent each, within 0 to
// 100 %; a change also ends a mute. The device's own volume is set, so the
// samples the picture reads are never scaled.
void session_change_volume(SessionState *state, int steps);
void session_toggle_mute(SessionState *state);

// S and R: the rules of the order are play_order's.
void session_toggle_shuffle(SessionState *state);
void session_cycle_repeat(SessionState *state);

// What the time line shows.
struct PlaybackStatus {
    bool has_position;    // a track is in the player or still being heard
    uint32_t position_ms; // of the block being heard
    uint32_t length_ms;   // 0: not known
    bool paused;
    bool shuffle;
    RepeatMode repeat;
    int volume_percent;
    bool muted;
};
PlaybackStatus session_playback_status(SessionState *state);
