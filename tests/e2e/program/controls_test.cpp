// The player's controls in the whole program, through real key input: a
// pause in the middle of a track (what the device is given stays the track,
// what is heard has the pause's silence and nothing else), the key P within
// and after 3 s, and a media key while another window is in front (the
// dialog shown again with L: the Win32 suite).
#include "program_session.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const std::string kCatalogue = "latency 20\naccount ann pw\n"
                               "playlist One\n"
                               "track noise 11 14000 Ann / Long Noise\n"
                               "track noise 12 8000 Bo / Other Noise\n";
constexpr int kFirst = 0, kSecond = 1;
constexpr size_t kSecondOfSamples = 2 * 44100;
// The device's eight buffers of 1024 frames, and half a second for the
// paths between the key and the device.
constexpr size_t kEightBuffers = 2 * (8 * 1024 + 22050);
// The track followed through a recording of what was heard, 441 samples at
// a time: silences, and how far each stretch of sound is from where the one
// before left off.
struct Listened {
    size_t covered = 0; // samples of the track heard, to the last one heard
    size_t longest_silence = 0;
    size_t jump_after_pause = 0; // how far from where it stopped the sound resumed
    bool other_sound = false;
};
Listened listen(const std::vector<int16_t> &heard, const std::vector<int16_t> &track,
                size_t samples) {
    constexpr size_t kStep = 441, kProbe = 64, kNear = 8192;
    Listened l;
    // The recording may start inside the track: from its first sound on.
    const auto first = std::find_if(heard.begin(), heard.end(), [](int16_t v) { return v != 0; });
    size_t silence = 0;
    int unmatched = 0; // sound probes in a row found nowhere in the track
    for (size_t p = static_cast<size_t>(first - heard.begin());
         p + kProbe <= heard.size() && l.covered < samples; p += kStep) {
        const auto probe = heard.begin() + static_cast<long long>(p);
        if (std::all_of(probe, probe + kProbe, [](int16_t v) { return v == 0; })) {
            silence += kStep;
            l.longest_silence = std::max(l.longest_silence, silence);
            continue;
        }
        const bool pause_ended = silence > kHiccup;
        silence = 0;
        // Near where the sound left off, or (after a device's hiccup) anywhere
        // in the track; a stretch cut by a hiccup may be found in neither.
        const size_t from = l.covered > kNear ? l.covered - kNear : 0;
        const size_t to = std::min(track.size(), l.covered + kNear + kProbe);
        auto found = std::search(track.begin() + static_cast<long long>(from),
                                 track.begin() + static_cast<long long>(to), probe, probe + kProbe);
        if (found == track.begin() + static_cast<long long>(to))
            found = std::search(track.begin(), track.end(), probe, probe + kProbe);
        if (found == track.end()) {
            // A probe across the edge of a dropped stretch matches nowhere;
            // sound that is not the track fails probe after probe.
            if (++unmatched == 3) {
                l.other_sound = true;
                break;
            }
            continue;
        }
        unmatched = 0;
        const size_t where = static_cast<size_t>(found - track.begin());
        if (pause_ended)
            l.jump_after_pause = where > l.covered ? where - l.covered : l.covered - where;
        l.covered = where + kStep;
    }
    return l;
}

} // namespace

class ProgramControls : public ProgramSession {
protected:
    void TearDown() override {
        monitor("stop");
        ProgramSession::TearDown();
    }
    void monitor(const char *command) const {
        if (!pulse_dir().empty())
            run_script(command, pulse_dir(), driver::unix_path(folder() + L"\\monitor.raw"),
                       "monitor.sh");
    }
};

TEST_F(ProgramControls, PauseIsSeamlessPreviousGoesByTimeHeardMediaKeysFromBehind) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    ASSERT_FALSE(pulse_dir().empty());
    monitor("start");
    HWND window = log_in_and_play("ann", "pw", 1);
    ASSERT_NE(window, nullptr);
    const std::vector<int16_t> first = track_audio(kFirst), second = track_audio(kSecond);

    // Space a second into the track, Space again two seconds later.
    const long long first_at = wait_start(first, 0, 20000);
    ASSERT_GE(first_at, 0) << "the first track was not heard";
    ASSERT_TRUE(heard(first_at, first, kSecondOfSamples));
    driver::bring_to_front(window);
    driver::press_key(VK_SPACE);
    const DWORD paused_at = GetTickCount();
    Sleep(2000); // the user's pause, not an order between threads
    driver::press_key(VK_SPACE);
    const size_t pause_samples = (GetTickCount() - paused_at) * 2 * 44100 / 1000;
    // What the device was given is the track, every frame once, in order.
    ASSERT_TRUE(heard(first_at, first, 9 * kSecondOfSamples / 2))
        << "the track did not go on bit-exact after the pause";
    EXPECT_EQ(follow(captured(), first_at, first, first.size()).long_silences, 0)
        << "silence given to the device across the pause";

    // P after more than 3 s: the same track from its start, the rest of it
    // heard for at most the device's buffers.
    size_t key = captured().size();
    driver::press_key('P');
    const long long again = wait_start(first, static_cast<size_t>(first_at) + 64);
    ASSERT_GE(again, 0) << "P after 3 s did not start the track again";
    EXPECT_LT(follow(captured(), first_at, first, first.size()).end, key + kEightBuffers)
        << "the track went on after P";

    // N, then P within 3 s: the previous track.
    ASSERT_TRUE(heard(again, first, kSecondOfSamples / 2));
    driver::press_key('N');
    const long long second_at = wait_start(second, static_cast<size_t>(again));
    ASSERT_GE(second_at, 0) << "N did not start the second track";
    key = captured().size();
    driver::press_key('P');
    EXPECT_LT(key, static_cast<size_t>(second_at) + 2 * kSecondOfSamples) << "P was late";
    const long long back = wait_start(first, static_cast<size_t>(second_at));
    ASSERT_GE(back, 0) << "P within 3 s did not go back to the first track";
    EXPECT_LT(follow(captured(), second_at, second, second.size()).end, key + kEightBuffers);

    // Play/Pause while another program's window has the keyboard.
    ASSERT_TRUE(heard(back, first, kSecondOfSamples));
    HWND other = CreateWindowExW(0, L"STATIC", L"Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(driver::bring_to_front(other));
    driver::press_key(VK_MEDIA_PLAY_PAUSE);
    size_t stopped = 0;
    EXPECT_TRUE(sound_stops(&stopped)) << "the media key did not pause from behind another window";
    // What the sound server held when the device paused may still reach
    // the capture after a stall (seen: up to 54 ms), never more than the
    // device's eight buffers; a pause that did not hold would bring 500 ms.
    Sleep(500);
    EXPECT_LT(captured().size() - stopped, 2 * 8 * 1024u) << "sound while paused";
    ASSERT_TRUE(driver::bring_to_front(other));
    driver::press_key(VK_MEDIA_PLAY_PAUSE);
    EXPECT_TRUE(heard(back, first, stopped - static_cast<size_t>(back) + kSecondOfSamples))
        << "the media key did not resume the track where it stopped";
    DestroyWindow(other);

    // What was heard: the first track with the pause's silence in it and
    // nothing else. The sound server's monitor taps the mix as it is made:
    // on this loaded machine it drops stretches of a few to a few hundred
    // milliseconds (the capture above has them all), and a pause may repeat
    // or drop a few milliseconds around it there.
    monitor("stop");
    const Listened first_heard =
        listen(read_samples(folder() + L"\\monitor.raw"), first, 4 * kSecondOfSamples);
    EXPECT_FALSE(first_heard.other_sound) << "the monitor heard other sound";
    EXPECT_GE(first_heard.covered, 4 * kSecondOfSamples);
    EXPECT_GT(first_heard.longest_silence, pause_samples * 3 / 4);
    EXPECT_LT(first_heard.longest_silence, pause_samples + kSecondOfSamples / 2);
    EXPECT_LE(first_heard.jump_after_pause, kSecondOfSamples / 20)
        << "sound lost or repeated across the pause";
}
