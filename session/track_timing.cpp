// Positions of the block being heard; see track_timing.h.

#include "session/track_timing.h"

const TrackTiming *track_timing_find(const TrackTimings *timings, uint32_t mark) {
    if (mark == 0)
        return nullptr;
    for (const TrackTiming &timing : timings->kept) {
        if (timing.mark == mark)
            return &timing;
    }
    return nullptr;
}

void track_timing_record(TrackTimings *timings, const TrackTiming &timing) {
    timings->kept[timings->next] = timing;
    timings->next = (timings->next + 1) % kTimingsKept;
}

PlayPosition track_timing_position(const TrackTimings *timings, HeardPosition heard,
                                   uint32_t mark) {
    const TrackTiming *timing = track_timing_find(timings, mark);
    if (!timing)
        return PlayPosition{false, 0, 0};
    uint64_t position = timing->start_ms;
    if (heard.mark == mark && heard.rate > 0)
        position += uint64_t{heard.frames} * 1000 / static_cast<uint32_t>(heard.rate);
    if (timing->length_ms > 0 && position > timing->length_ms)
        position = timing->length_ms;
    return PlayPosition{true, static_cast<uint32_t>(position), timing->length_ms};
}

uint32_t track_timing_heard_mark(const TrackTimings *timings, HeardPosition heard, uint32_t current,
                                 bool paused) {
    if (current != 0 &&
        (paused || heard.mark == current || !track_timing_find(timings, heard.mark)))
        return current;
    return track_timing_find(timings, heard.mark) ? heard.mark : 0;
}
