// Seeking, the device's volume and the order of play in the whole program,
// through real key input: checked in the samples the sound device received
// (synthesized tracks, every frame known) and in the time line at the
// bottom of the main window.
#include "program_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
    if (percent >= 100)
        return 0xFFFF;
    return static_cast<uint16_t>(std::lround(65535 * std::pow(10.0, (percent - 100) * 0.4 / 20)));
}

// Where in track (a sample index, a frame's first) the 64 samples of sound
// from at are, at level, searched from lo; -1 when nowhere.
long long locate(const std::vector<int16_t> &sound, size_t at, const std::vector<int16_t> &track,
                 uint16_t level, size_t lo = 0) {
    const int slack = level == 0xFFFF ? 0 : kLevelSlack;
    for (size_t t = lo & ~size_t{1}; at + 64 <= sound.size() && t + 64 <= track.size(); t += 2) {
        size_t i = 0;
        while (i < 64 && std::abs(sound[at + i] - at_level(track[t + i], level)) <= slack)
            ++i;
        if (i == 64)
            return static_cast<long long>(t);
    }
    return -1;
}

// The target of a seek by delta_ms in a track started at start_ms, when it
// went on at frame to: the position is the start plus the whole buffers of
// it the device had played, at most kMostBehind behind the old_frames heard;
// -1 when no count of buffers gives that frame. *behind gets the count.
long long seek_target(uint32_t start_ms, size_t old_frames, long long delta_ms, size_t to,
                      int *behind) {
    for (*behind = 0; *behind <= kMostBehind; ++*behind) {
        const long long played = static_cast<long long>(old_frames / kBuffer) - *behind;
        const long long target = std::max(
            0LL, start_ms + played * static_cast<long long>(kBuffer) * 1000 / 44100 + delta_ms);
        if (played >= 0 && static_cast<size_t>(target * 44100 / 1000) == to)
            return target;
    }
    return -1;
}

void press_with_ctrl(WORD key) {
    INPUT control = {};
    control.type = INPUT_KEYBOARD;
    control.ki.wVk = VK_CONTROL;
    control.ki.wScan = static_cast<WORD>(MapVirtualKeyA(VK_CONTROL, MAPVK_VK_TO_VSC));
    SendInput(1, &control, sizeof control);
    driver::press_key(key);
    control.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &control, sizeof control);
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
    driver::Capture whole = driver::capture_client(window);
    const size_t band = static_cast<size_t>(whole.width) * kTimeLineHeight;
    return {whole.width, kTimeLineHeight,
            std::vector<uint32_t>(whole.pixels.end() - static_cast<long long>(band),
                                  whole.pixels.end())};
}

// How near the band is to showing text (1: the same pixels white).
double likeness(const driver::Capture &band, const std::wstring &text) {
    return overlap(white_pixels(band), time_line_mask(text, band.width));
}

std::wstring clock_text(long long ms) {
    const long long seconds = ms / 1000;
    return std::to_wstring(seconds / 60) + (seconds % 60 < 10 ? L":0" : L":") +
           std::to_wstring(seconds % 60);
}

} // namespace

class SeekVolumeOrder : public ProgramSession {
protected:
    // Starts the program on catalogue and its first playlist; the main window.
    HWND play(const std::string &catalogue) {
        start(kAccount + catalogue);
        if (HasFatalFailure())
            return nullptr;
        dialog_.log_in("ann", "pw");
        if (!dialog_.wait_for_playlists(1) || !dialog_.choose(0))
            return nullptr;
        return dialog_.start_playing();
    }

    // What a seek left in the capture: the stream before it (followed from
    // the capture's sample at, the track from frame from) ended after
    // old_frames of the track; the track then went on at frame to, from the
    // capture's sample resumed.
    struct Jump {
        size_t old_frames = 0, resumed = 0, to = 0;
    };
    bool wait_jump(size_t at, const std::vector<int16_t> &track, size_t from, Jump *jump) const {
        return driver::wait_until(
            [&] {
                const std::vector<int16_t> sound = captured();
                const Followed old =
                    follow(sound, static_cast<long long>(at), track, track.size(), 2 * from);
                size_t q = old.end;
                while (q < sound.size() && sound[q] == 0)
                    ++q;
                q &= ~size_t{1};
                long long to = old.other_sound ? locate(sound, q, track, 0xFFFF) : -1;
                // Frames of the track that are silence come before the first sound.
                for (; to >= 2 && q >= old.end + 2 && sound[q - 2] == track[to - 2] &&
                       sound[q - 1] == track[to - 1];
                     to -= 2)
                    q -= 2;
                *jump = {from + old.matched / 2, q, static_cast<size_t>(to / 2)};
                return to >= 0;
            },
            15000, 50);
    }

    // Waits for the track (started at the capture's sample first) at level
    // in the capture from the sample from on: where in the track, or -1; where
    // in the capture in *at.
    long long wait_level(const std::vector<int16_t> &track, size_t first, size_t from,
                         uint16_t level, size_t *at) const {
        long long where = -1;
        driver::wait_until(
            [&] {
                // The track has not gone further than the capture.
                const std::vector<int16_t> sound = captured();
                for (; where < 0 && from + 64 <= sound.size(); from += 882) {
                    const size_t lo = from > first + 5 * kSecond ? from - first - 5 * kSecond : 0;
                    if (std::any_of(sound.begin() + static_cast<long long>(from),
                                    sound.begin() + static_cast<long long>(from) + 64,
                                    [](int16_t v) { return v != 0; }))
                        where = locate(sound, *at = from, track, level, lo);
                }
                return where >= 0;
            },
            15000, 100);
        return where;
    }
};

TEST_F(SeekVolumeOrder, SeekKeysGoOnFromTheHeardPositionAndAPausedSeekStaysPaused) {
    HWND window = play("playlist Seek\ntrack noise 21 45000 Ann / Long Noise\n"
                       "track noise 22 3000 Bo / After\n");
    ASSERT_NE(window, nullptr);
    const std::vector<int16_t> track = track_audio(0), after = track_audio(1);
    long long first = wait_start(track, 0, 20000);
    ASSERT_GE(first, 0) << "the track was not heard";
    ASSERT_TRUE(heard(first, track, kSecond));

    // Each seek: the old stream stops within the device's buffers after the
    // position the seek counted from, and the track goes on bit-exact from
    // the frame that position gives.
    size_t at = static_cast<size_t>(first), from = 0;
    uint32_t start_ms = 0;
    const auto seek = [&](const char *what, long long delta_ms, bool paused = false) {
        const WORD arrow = delta_ms > 0 ? VK_RIGHT : VK_LEFT;
        if (delta_ms == kHome)
            driver::press_key(VK_HOME);
        else if (delta_ms == 30000)
            press_with_ctrl(arrow);
        else if (!paused)
            driver::press_key(arrow);
        Jump jump;
        ASSERT_TRUE(wait_jump(at, track, from, &jump)) << what << ": the track did not go on";
        int behind = 0;
        const long long target =
            seek_target(start_ms, jump.old_frames - from, delta_ms, jump.to, &behind);
        std::printf("%s: from %u ms, %zu frames heard, to frame %zu: %d buffers behind\n", what,
                    start_ms, jump.old_frames - from, jump.to, behind);
        ASSERT_GE(target, 0) << what << ": frame " << jump.to << " is no target of the rule";
        ASSERT_TRUE(heard(static_cast<long long>(jump.resumed), track, kSecond, 15000, 2 * jump.to))
            << what << ": the track did not go on bit-exact";
        at = jump.resumed, from = jump.to, start_ms = static_cast<uint32_t>(target);
    };
    ASSERT_NO_FATAL_FAILURE(seek("Right", 5000));
    ASSERT_NO_FATAL_FAILURE(seek("Left", -5000));
    ASSERT_NO_FATAL_FAILURE(seek("Home", kHome));
    EXPECT_EQ(from, 0u);
    // The time line moves on while playing.
    const driver::Capture early = band_of(window);
    ASSERT_TRUE(heard(static_cast<long long>(at), track, 2 * kSecond));
    EXPECT_NE(band_of(window).pixels, early.pixels) << "the time line stood still while playing";
    ASSERT_NO_FATAL_FAILURE(seek("Ctrl+Right", 30000));

    // Right while paused: nothing heard, the time line repainted once with
    // the new position; Space then plays out the old buffers and goes on
    // from there.
    driver::press_key(VK_SPACE);
    const auto shows_paused = [&](const driver::Capture &band) {
        for (long long s = start_ms / 1000; s <= start_ms / 1000 + 5; ++s)
            if (likeness(band, clock_text(s * 1000) + L" / 0:45   paused") > 0.9)
                return true;
        return false;
    };
    ASSERT_TRUE(driver::wait_until([&] { return shows_paused(band_of(window)); }, 5000, 100))
        << "the time line did not show the pause";
    size_t last = captured().size();
    ASSERT_TRUE(driver::wait_until(
        [&] {
            const size_t now = captured().size();
            return std::exchange(last, now) == now;
        },
        3000, 300))
        << "Space did not pause";
    const driver::Capture before = band_of(window);
    driver::press_key(VK_RIGHT);
    ASSERT_TRUE(driver::wait_until([&] { return band_of(window).pixels != before.pixels; }, 5000))
        << "the time line did not show the seek while paused";
    const driver::Capture paused_band = band_of(window);
    Sleep(1000); // a while paused
    EXPECT_LT(captured().size() - last, 2 * kBuffer) << "sound after a seek while paused";
    EXPECT_EQ(band_of(window).pixels, paused_band.pixels) << "the time line moved while paused";
    driver::press_key(VK_SPACE);
    ASSERT_NO_FATAL_FAILURE(seek("Right while paused", 5000, true));
    // The band showed the position the seek went to, then "paused".
    // (A second more or less changes a glyph or two.)
    const auto line = [](long long ms) { return clock_text(ms) + L" / 0:45   paused"; };
    const double shown = likeness(paused_band, line(start_ms));
    std::printf("the time line: %.3f like the expected text, %.3f like a second more, %.3f less\n",
                shown, likeness(paused_band, line(start_ms + 1000)),
                likeness(paused_band, line(start_ms - 1000)));
    EXPECT_GT(shown, 0.9);
    EXPECT_GT(shown, likeness(paused_band, line(start_ms + 1000)));
    EXPECT_GT(shown, likeness(paused_band, line(start_ms - 1000)));

    // Forward past the end: the next track, as N.
    press_with_ctrl(VK_RIGHT);
    const long long next = wait_start(after, at);
    const Followed old =
        follow(captured(), static_cast<long long>(at), track, track.size(), 2 * from);
    EXPECT_GE(next, 0) << "a seek past the end did not go to the next track; the track ended at "
                       << old.end << " of " << captured().size()
                       << (old.other_sound ? ", then other sound" : "");
}

TEST_F(SeekVolumeOrder, VolumeKeysAndWheelScaleTheDeviceAndMuteComesBackToTheLevel) {
    HWND window = play("playlist Volume\ntrack noise 51 30000 Ann / Noise\n");
    ASSERT_NE(window, nullptr);
    const std::vector<int16_t> track = track_audio(0);
    const long long first = wait_start(track, 0, 20000);
    ASSERT_GE(first, 0) << "the track was not heard";
    ASSERT_TRUE(heard(first, track, 2 * kSecond)) << "not bit-exact at 100 %";

    // Down, Down and the wheel a notch down: 85 %, 6 dB down.
    const auto expect_level = [&](const char *what, uint16_t level) {
        size_t at = 0;
        const long long to =
            wait_level(track, static_cast<size_t>(first), captured().size(), level, &at);
        ASSERT_GE(to, 0) << what << ": the track was not heard at level " << level;
        ASSERT_TRUE(heard(static_cast<long long>(at), track, kSecond, 15000,
                          static_cast<size_t>(to), level))
            << what << ": the track did not go on at level " << level;
        std::printf("%s: level %u, largest difference %d\n", what, level,
                    follow(captured(), static_cast<long long>(at), track, kSecond,
                           static_cast<size_t>(to), level)
                        .worst);
    };
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
            size_t run = 0;
            for (size_t p = key; p < sound.size() && run < kSecond / 2; ++p)
                run = sound[p] == 0 ? run + 1 : 0;
            return run >= kSecond / 2;
        },
        15000, 100))
        << "M did not mute";
    driver::press_key('M');
    ASSERT_NO_FATAL_FAILURE(expect_level("M, M", level_of(85)));

    // Up three times: 100 %, bit-exact again.
    for (int i = 0; i < 3; ++i)
        driver::press_key(VK_UP);
    ASSERT_NO_FATAL_FAILURE(expect_level("Up three times", 0xFFFF));
}

TEST_F(SeekVolumeOrder, ShufflePlaysEveryTrackOnceGapless) {
    ASSERT_NE(play("playlist Four\ntrack noise 31 5000 A / One\ntrack noise 32 1400 B / Two\n"
                   "track noise 33 1700 C / Three\ntrack noise 34 2000 D / Four\n"),
              nullptr);
    // The first track runs long enough for S to come while it is still the
    // one in the player: the player runs a few seconds ahead of the device.
    driver::press_key('S');
    // Each track's start in the capture, in the order heard.
    std::vector<int> order;
    std::vector<int16_t> sound;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            sound = captured();
            std::vector<std::pair<long long, int>> starts;
            for (int track = 0; track < 4; ++track)
                starts.emplace_back(find_start(sound, track_audio(track)), track);
            std::sort(starts.begin(), starts.end());
            order.clear();
            for (const auto &start : starts)
                order.push_back(start.second);
            return starts.front().first >= 0;
        },
        30000, 200))
        << "not every track was heard";
    size_t end = 0;
    sound = wait_for_tracks(order, 20000);
    ASSERT_TRUE(plays_gapless(sound, order, &end));
    std::printf("shuffled: %d %d %d %d\n", order[0], order[1], order[2], order[3]);
    // Repeat is off: nothing more once the round is over.
    driver::wait_until([&] { return captured().size() > end + kSecond; }, 3000, 100);
    sound = captured();
    for (int track = 0; track < 4; ++track)
        EXPECT_LT(find_from(sound, track_audio(track), end - 64), 0)
            << "track " << track << " again after the round";
}

TEST_F(SeekVolumeOrder, RepeatOnePlaysTheTrackAgainAndRepeatAllTheFirstAfterTheLast) {
    ASSERT_NE(play("playlist Two\ntrack noise 41 2500 A / First\ntrack noise 42 1500 B / Last\n"),
              nullptr);
    constexpr int kFirst = 0, kLast = 1;
    driver::press_key('R');
    driver::press_key('R');
    std::vector<int16_t> sound = wait_for_tracks({kFirst, kFirst}, 20000);
    ASSERT_TRUE(plays_gapless(sound, {kFirst, kFirst})) << "repeat one";
    // R twice more: off, then all; the first track once more at most, the
    // last, then the first again.
    driver::press_key('R');
    driver::press_key('R');
    const long long last = wait_start(track_audio(kLast), 0, 20000);
    ASSERT_GE(last, 0) << "the last track was not heard";
    sound = wait_for_tracks({kLast, kFirst}, 20000, static_cast<size_t>(last));
    EXPECT_TRUE(plays_gapless(sound, {kLast, kFirst})) << "repeat all";
}
