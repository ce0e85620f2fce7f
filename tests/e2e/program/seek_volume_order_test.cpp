// Seeking, the device's volume and the order of play in the whole program,
// through real key input: checked in the samples the sound device received
// (synthesized tracks, every frame known) and in the time line at the bottom
// of the main window.
#include "program_session.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

const std::string kAccount = "latency 20\naccount ann pw\n";
constexpr size_t kSecond = 2 * 44100; // samples
constexpr size_t kBuffer = 1024;      // frames
// What the device still plays of the old position after a seek: its eight
// buffers, and one on its way to it.
constexpr int kMostBehind = 9;
constexpr long long kHome = -1000000; // a move back past any start

// The device's level for a volume in percent: 2 dB less for each 5 %.
uint16_t level_of(int percent) {
    return static_cast<uint16_t>(std::lround(65535 * std::pow(10.0, (percent - 100) * 0.4 / 20)));
}

// Where in track (a sample index, a frame's first) the 64 samples of sound
// from at are, at level, searched from lo; -1 when nowhere.
long long locate(const std::vector<int16_t> &sound, size_t at, const std::vector<int16_t> &track,
                 uint16_t level, size_t lo = 0) {
    for (size_t t = lo & ~size_t{1}; at + 64 <= sound.size() && t + 64 <= track.size(); t += 2)
        if (follow(sound, static_cast<long long>(at), track, 64, t, level).matched == 64)
            return static_cast<long long>(t);
    return -1;
}

// The target of a seek by delta_ms in a track started at start_ms, when it
// went on at frame to: the position is the start plus the whole buffers of
// it the device had played, at most kMostBehind behind the old_frames heard;
// -1 when no count of buffers gives that frame.
long long seek_target(uint32_t start_ms, size_t old_frames, long long delta_ms, size_t to) {
    for (int behind = 0; behind <= kMostBehind; ++behind) {
        const long long played = static_cast<long long>(old_frames / kBuffer) - behind;
        const long long target = std::max(
            0LL, start_ms + played * static_cast<long long>(kBuffer) * 1000 / 44100 + delta_ms);
        if (played >= 0 && static_cast<size_t>(target * 44100 / 1000) == to)
            return target;
    }
    return -1;
}

void turn_wheel(HWND window, int notches) {
    RECT rect;
    GetWindowRect(window, &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(notches * WHEEL_DELTA);
    SendInput(1, &input, sizeof input);
}

// The time line's band of the main window as on the screen.
driver::Capture band_of(HWND window) {
    driver::Capture band = driver::capture_client(window);
    band.pixels.erase(band.pixels.begin(),
                      band.pixels.end() - static_cast<long long>(band.width) * kTimeLineHeight);
    band.height = kTimeLineHeight;
    return band;
}

// How near the band is to showing ms of the 45 s track, paused (1: the
// same pixels white).
double paused_at(const driver::Capture &band, long long ms) {
    const long long s = ms / 1000;
    const std::wstring text = std::to_wstring(s / 60) + (s % 60 < 10 ? L":0" : L":") +
                              std::to_wstring(s % 60) + L" / 0:45   paused";
    return overlap(white_pixels(band), time_line_mask(text, band.width));
}

} // namespace

class SeekAndVolumeKeys : public ProgramSession {
protected:
    // Starts the program on catalogue and its first playlist; the main window.
    HWND play(const std::string &catalogue) {
        start(kAccount + catalogue);
        return HasFatalFailure() ? nullptr : log_in_and_play("ann", "pw", 1);
    }
};

TEST_F(SeekAndVolumeKeys, SeekKeysGoOnFromTheHeardPositionAndAPausedSeekStaysPaused) {
    HWND window = play("playlist Seek\ntrack noise 21 45000 Ann / Long Noise\n"
                       "track noise 22 3000 Bo / After\n");
    ASSERT_NE(window, nullptr);
    const std::vector<int16_t> track = track_audio(0), after = track_audio(1);
    long long first = wait_start(track, 0, 20000);
    ASSERT_GE(first, 0) << "the track was not heard";
    ASSERT_TRUE(heard(first, track, kSecond));

    // Each seek: the old stream (followed from the capture's sample at, the
    // track's frame from) stops within the device's buffers after the
    // position the seek counted from, and the track goes on bit-exact from
    // the frame that position gives (to, a sample index), at the capture's
    // sample q.
    size_t at = static_cast<size_t>(first), from = 0;
    uint32_t start_ms = 0;
    const auto seek = [&](const char *what, WORD key, long long delta_ms) {
        if (key != 0) // none: the seek was made while paused
            driver::press_key(key, false, false, delta_ms == 30000);
        size_t heard_frames = 0, q = 0;
        long long to = -1;
        ASSERT_TRUE(driver::wait_until(
            [&] {
                const std::vector<int16_t> sound = captured();
                const Followed old =
                    follow(sound, static_cast<long long>(at), track, track.size(), 2 * from);
                for (q = old.end; q < sound.size() && sound[q] == 0;)
                    ++q;
                q &= ~size_t{1};
                to = old.other_sound ? locate(sound, q, track, 0xFFFF) : -1;
                // Frames of the track that are silence come before the first sound.
                for (; to >= 2 && q >= old.end + 2 && sound[q - 2] == track[to - 2] &&
                       sound[q - 1] == track[to - 1];
                     to -= 2)
                    q -= 2;
                heard_frames = old.matched / 2;
                return to >= 0;
            },
            15000, 50))
            << what << ": the track did not go on";
        const long long target =
            seek_target(start_ms, heard_frames, delta_ms, static_cast<size_t>(to / 2));
        ASSERT_GE(target, 0) << what << ": from " << start_ms << " ms, " << heard_frames
                             << " frames heard, frame " << to / 2 << " is no target of the rule";
        ASSERT_TRUE(
            heard(static_cast<long long>(q), track, kSecond, 15000, static_cast<size_t>(to)))
            << what << ": the track did not go on bit-exact";
        at = q, from = static_cast<size_t>(to / 2), start_ms = static_cast<uint32_t>(target);
    };
    ASSERT_NO_FATAL_FAILURE(seek("Right", VK_RIGHT, 5000));
    ASSERT_NO_FATAL_FAILURE(seek("Left", VK_LEFT, -5000));
    ASSERT_NO_FATAL_FAILURE(seek("Home", VK_HOME, kHome)); // to the first frame, as the rule gives
    // The time line moves on while playing.
    const driver::Capture early = band_of(window);
    ASSERT_TRUE(heard(static_cast<long long>(at), track, 2 * kSecond));
    EXPECT_NE(band_of(window).pixels, early.pixels) << "the time line stood still while playing";
    ASSERT_NO_FATAL_FAILURE(seek("Ctrl+Right", VK_RIGHT, 30000));

    // Right while paused: nothing heard, the time line repainted once with
    // the new position; Space then plays out the old buffers and goes on
    // from there.
    driver::press_key(VK_SPACE);
    const auto shows_paused = [&](const driver::Capture &band) {
        for (long long s = start_ms / 1000; s <= start_ms / 1000 + 5; ++s)
            if (paused_at(band, s * 1000) > 0.9)
                return true;
        return false;
    };
    ASSERT_TRUE(driver::wait_until([&] { return shows_paused(band_of(window)); }, 5000, 100))
        << "the time line did not show the pause";
    size_t last = 0;
    ASSERT_TRUE(sound_stops(&last)) << "Space did not pause";
    const driver::Capture before = band_of(window);
    driver::press_key(VK_RIGHT);
    ASSERT_TRUE(driver::wait_until([&] { return band_of(window).pixels != before.pixels; }, 5000))
        << "the time line did not show the seek while paused";
    const driver::Capture paused_band = band_of(window);
    Sleep(1000); // a while paused
    EXPECT_LT(captured().size() - last, 2 * kBuffer) << "sound after a seek while paused";
    EXPECT_EQ(band_of(window).pixels, paused_band.pixels) << "the time line moved while paused";
    driver::press_key(VK_SPACE);
    ASSERT_NO_FATAL_FAILURE(seek("Right while paused", 0, 5000));
    // The band showed the position the seek went to, then "paused", more
    // like it than a second more or less (a glyph or two changed).
    const double shown = paused_at(paused_band, start_ms);
    EXPECT_GT(shown, 0.9);
    for (const long long other : {start_ms + 1000LL, start_ms - 1000LL})
        EXPECT_GT(shown, paused_at(paused_band, other)) << "more like " << other << " ms";

    // Forward past the end: the next track, as N.
    driver::press_key(VK_RIGHT, false, false, true);
    EXPECT_GE(wait_start(after, at), 0) << "a seek past the end did not go to the next track";
}

TEST_F(SeekAndVolumeKeys, VolumeKeysAndWheelScaleTheDeviceAndMuteComesBackToTheLevel) {
    HWND window = play("playlist Volume\ntrack noise 51 30000 Ann / Noise\n");
    ASSERT_NE(window, nullptr);
    const std::vector<int16_t> track = track_audio(0);
    const long long first = wait_start(track, 0, 20000);
    ASSERT_GE(first, 0) << "the track was not heard";
    ASSERT_TRUE(heard(first, track, 2 * kSecond)) << "not bit-exact at 100 %";

    // The track at level in the capture from now on (at the capture's sample
    // at, the track's sample to; searched in the track from 5 s before the
    // capture's length on), then a second of it.
    const auto expect_level = [&](const char *what, uint16_t level) {
        size_t at = 0, from = captured().size(), start = static_cast<size_t>(first);
        long long to = -1;
        driver::wait_until(
            [&] {
                const std::vector<int16_t> sound = captured();
                for (; to < 0 && from + 64 <= sound.size(); from += 882) {
                    const size_t lo = from > start + 5 * kSecond ? from - start - 5 * kSecond : 0;
                    const auto probe = sound.begin() + static_cast<long long>(from);
                    if (std::any_of(probe, probe + 64, [](int16_t v) { return v != 0; }))
                        to = locate(sound, at = from, track, level, lo);
                }
                return to >= 0;
            },
            15000, 100);
        ASSERT_GE(to, 0) << what << ": the track was not heard at level " << level;
        ASSERT_TRUE(heard(static_cast<long long>(at), track, kSecond, 15000,
                          static_cast<size_t>(to), level))
            << what << ": the track did not go on at level " << level;
    };
    // Down, Down and the wheel a notch down: 85 %, 6 dB down.
    driver::press_key(VK_DOWN);
    driver::press_key(VK_DOWN);
    turn_wheel(window, -1);
    ASSERT_NO_FATAL_FAILURE(expect_level("Down, Down, the wheel", level_of(85)));

    // M: silence, half a second and more of it; M again: the same level.
    const size_t key = captured().size();
    driver::press_key('M');
    EXPECT_TRUE(driver::wait_until(
        [&] {
            const std::vector<int16_t> sound = captured();
            return std::search_n(sound.begin() + static_cast<long long>(key), sound.end(),
                                 kSecond / 2, int16_t{0}) != sound.end();
        },
        15000, 100))
        << "M did not mute";
    driver::press_key('M');
    ASSERT_NO_FATAL_FAILURE(expect_level("M, M", level_of(85)));

    // Up three times: 100 %, bit-exact again.
    for (int i = 0; i < 3; ++i)
        driver::press_key(VK_UP);
    ASSERT_NO_FATAL_FAILURE(expect_level("Up three times", level_of(100)));
}

TEST_F(SeekAndVolumeKeys, ShufflePlaysEveryTrackOnceGapless) {
    ASSERT_NE(play("playlist Four\ntrack noise 31 5000 A / One\ntrack noise 32 1400 B / Two\n"
                   "track noise 33 1700 C / Three\ntrack noise 34 2000 D / Four\n"),
              nullptr);
    // The first track runs long enough for S to come while it is still the
    // one in the player (which runs a few seconds ahead of the device).
    driver::press_key('S');
    std::vector<int> order = {0, 1, 2, 3};
    std::vector<long long> starts(4);
    ASSERT_TRUE(driver::wait_until(
        [&] {
            const std::vector<int16_t> sound = captured();
            for (int track : order)
                starts[track] = find_from(sound, track_audio(track));
            return *std::min_element(starts.begin(), starts.end()) >= 0;
        },
        30000, 200))
        << "not every track was heard";
    std::sort(order.begin(), order.end(), [&](int a, int b) { return starts[a] < starts[b]; });
    size_t end = 0;
    ASSERT_TRUE(plays_gapless(wait_for_tracks(order, 20000), order, &end)) << "shuffle";
    // The round is over and repeat is off: nothing more.
    driver::wait_until([&] { return captured().size() > end + kSecond; }, 3000, 100);
    const std::vector<int16_t> after = captured();
    for (int track = 0; track < 4; ++track)
        EXPECT_LT(find_from(after, track_audio(track), end - 64), 0)
            << "track " << track << " again after the round";
}

TEST_F(SeekAndVolumeKeys, RepeatOnePlaysTheTrackAgainAndRepeatAllTheFirstAfterTheLast) {
    ASSERT_NE(play("playlist Two\ntrack noise 41 2500 A / First\ntrack noise 42 1500 B / Last\n"),
              nullptr);
    constexpr int kFirst = 0, kLast = 1;
    driver::press_key('R');
    driver::press_key('R');
    ASSERT_TRUE(plays_gapless(wait_for_tracks({kFirst, kFirst}, 20000), {kFirst, kFirst}))
        << "repeat one";
    // R twice more: off, then all; the first track once more at most, the
    // last, then the first again.
    driver::press_key('R');
    driver::press_key('R');
    const long long last = wait_start(track_audio(kLast), 0, 20000);
    ASSERT_GE(last, 0) << "the last track was not heard";
    const std::vector<int16_t> sound =
        wait_for_tracks({kLast, kFirst}, 20000, static_cast<size_t>(last));
    EXPECT_TRUE(plays_gapless(sound, {kLast, kFirst})) << "repeat all";
}
