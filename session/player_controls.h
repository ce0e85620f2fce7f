// The player's controls beyond pause, next and previous: moving within the
// track, the device's volume, and the order the playlist plays in; and what
// the window's time line shows of them.
//
// Threads: main thread only, like the keys that call them.
#pragma once

#include "session/play_order.h"

#include <cstdint>

struct SessionState;

// The position in the track in the player: where it started (a seek's
// position, or 0), plus what the device has played of it. 0 with no track.
uint32_t session_position_ms(SessionState *state);

// Plays the track in the player from ms into it, as the key N does: the
// player is stopped and the queue emptied first, so that at most the
// device's buffers of the old position are heard. At or past the track's
// end (where its length is known) it moves on to the next track as N does.
// A pause stays. Nothing happens while no track is in the player.
void session_seek_to(SessionState *state, uint32_t ms);
// Moves delta_ms from session_position_ms; back past the start is the
// start. Repeated at once, each move goes on from the last one's target.
void session_seek_by(SessionState *state, int32_t delta_ms);

// Volume steps up (steps > 0) or down, kVolumeStepPercent each, within 0 to
// 100 %; a change also ends a mute. The device's own volume is set, so the
// samples the picture reads are never scaled.
void session_change_volume(SessionState *state, int steps);
void session_toggle_mute(SessionState *state);

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
