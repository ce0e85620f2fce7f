// Where in its track the block being heard is, and how long that track runs.
//
// Each start of a track in the player, from its beginning or from a seek, is
// a new track mark in the queue (pcm_queue_begin_track). The session keeps,
// for the last few marks, the position the track started from and the
// track's length, so that the position of what the device plays now can be
// told while the device still plays out the track, or the position, before.
//
// Threads: main thread only.
#pragma once

#include "audio/output_controls.h"

#include <cstdint>

struct TrackTiming {
    uint32_t mark;      // the queue's track mark; 0: an unused entry
    uint32_t start_ms;  // the position in the track its first block starts at
    uint32_t length_ms; // the track's length; 0: not known
    uint32_t index;     // the track's position in the playlist
    bool joined;        // it follows the mark before without a gap (that track ended)
};

constexpr int kTimingsKept = 4;

struct TrackTimings {
    TrackTiming kept[kTimingsKept];
    uint32_t next; // the entry the next record replaces
};

// Remembers a start of a track in the player, replacing the oldest kept.
void track_timing_record(TrackTimings *timings, const TrackTiming &timing);
// The start kept for mark, or null.
const TrackTiming *track_timing_find(const TrackTimings *timings, uint32_t mark);

struct PlayPosition {
    bool known; // false: nothing to show
    uint32_t position_ms;
    uint32_t length_ms; // 0: not known
};

// The position in the track started as mark: where it started, plus what
// the device has played of it; not known for a mark no longer kept.
PlayPosition track_timing_position(const TrackTimings *timings, HeardPosition heard, uint32_t mark);

// The mark whose block is being heard. heard is what the device played
// last; current the mark of the track in the player (0: none). While the
// device still plays out an earlier mark, that one, unless the device is
// paused: then the track in the player is where play resumes.
uint32_t track_timing_heard_mark(const TrackTimings *timings, HeardPosition heard, uint32_t current,
                                 bool paused);
