#include "visual/time_line_text.h"

#include <gtest/gtest.h>

namespace {

// Playing at full volume: known position and length, paused, shuffle, repeat, volume, muted.
PlaybackStatus at(uint32_t position_ms, uint32_t length_ms) {
    return {true, position_ms, length_ms, false, false, RepeatMode::Off, 100, false};
}

// Whole seconds rounded down; hours when the track (or, its length unknown,
// the position) has them; the position alone without a length.
TEST(TimeLineShowsWhereTheTrackIs, MinutesHoursAndUnknownLengths) {
    EXPECT_EQ(time_line_text(at(0, 20999), false), L"0:00 / 0:20");
    EXPECT_EQ(time_line_text(at(83999, 245000), false), L"1:23 / 4:05");
    EXPECT_EQ(time_line_text(at(599000, 600000), false), L"9:59 / 10:00");
    EXPECT_EQ(time_line_text(at(5000, 3723000), false), L"0:00:05 / 1:02:03");
    EXPECT_EQ(time_line_text(at(65000, 0), false), L"1:05");
    EXPECT_EQ(time_line_text(at(3600000, 0), false), L"1:00:00");
    EXPECT_EQ(time_line_text(PlaybackStatus{}, false), L"");
}

// What holds follows the time, in a fixed order; the volume only while the
// window says so.
TEST(TimeLineShowsWhatHolds, PausedShuffleRepeatAndTheVolumeAfterAChange) {
    PlaybackStatus status = {true, 1000, 2000, true, true, RepeatMode::One, 65, false};
    EXPECT_EQ(time_line_text(status, false), L"0:01 / 0:02   paused   shuffle   repeat one");
    status.repeat = RepeatMode::All;
    status.paused = false;
    EXPECT_EQ(time_line_text(status, true), L"0:01 / 0:02   shuffle   repeat   volume 65 %");
    status.muted = true;
    status.has_position = false;
    status.shuffle = false;
    status.repeat = RepeatMode::Off;
    EXPECT_EQ(time_line_text(status, true), L"muted");
    EXPECT_EQ(time_line_text(status, false), L"");
}

} // namespace
