// The whole program, lorvane.exe with libspotify.dll, under Wine on a virtual
// display: driven with real keyboard and mouse input, checked through its
// windows, the screen's pixels and the samples its sound device received.
#include "program_session.h"
#include "title_mask.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// Short tracks keep the suite quick: the sound device plays in real time.
const char kCatalogue[] = "latency 20\n"
                          "account alice S3cret!\n"
                          "playlist Warm-up\n"
                          "track tone 440 1000 Tuner / A440\n"
                          "playlist \xC3\x9C"
                          "ber den Wolken\n"
                          "track ramp 0 1500 Ramp / Every Frame\n"
                          "track chord 262 1500 Ana / Morning\n"
                          "track sweep 4000 1500 Bo / Rising\n"
                          "playlist Long\n"
                          "track noise 7 8000 S\xC3\xB3lveig \xC3\x98rn / Long Noise\n"
                          "track chord 330 1000 Ana / After the Skip\n";
// Track ids, in the order the catalogue adds them.
constexpr int kEveryFrame = 1, kMorning = 2, kRising = 3, kLongNoise = 4, kAfterSkip = 5;

const wchar_t kLongTitle[] = L"S\x00F3lveig \x00D8rn - Long Noise";
const wchar_t kOtherTitle[] = L"Ana - After the Skip";

// How far got, from index from on, agrees with want from its start.
size_t first_difference(const std::vector<int16_t> &got, size_t from,
                        const std::vector<int16_t> &want) {
    size_t i = 0;
    while (i < want.size() && from + i < got.size() && got[from + i] == want[i]) {
        ++i;
    }
    return i;
}

// What the sound holds at a place: a run of silence, or other samples.
std::string describe(const std::vector<int16_t> &sound, size_t at) {
    size_t silent = 0;
    while (at + silent < sound.size() && sound[at + silent] == 0) {
        ++silent;
    }
    if (silent >= 2) {
        return std::to_string(silent / 2) + " frames of silence";
    }
    return "other samples";
}

// Whether the main window shows a drawn frame: mostly black, with white (the
// title) in it. Before its first paint it shows its light background.
bool painted(HWND window) {
    driver::Capture picture = driver::capture_client(window);
    size_t black = 0;
    for (uint32_t p : picture.pixels) {
        black += p == 0;
    }
    std::vector<bool> white = white_pixels(picture);
    return black * 2 > picture.pixels.size() && std::count(white.begin(), white.end(), true) > 300;
}

} // namespace

class LoginThroughTheDialog : public ProgramSession {};

TEST_F(LoginThroughTheDialog, WrongPasswordFailsThenRightPasswordLocksFieldsAndListsPlaylists) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    log_in("alice", "wrong");
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr) << "no message box after a wrong password";
    EXPECT_EQ(message_box_text(box), "Login failed!");
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog());
    EXPECT_FALSE(enabled(1001)) << "Connect stays disabled while the box is open";
    dismiss(box);
    ASSERT_TRUE(driver::wait_until([&] { return enabled(1001); }, 5000))
        << "Connect is enabled again";
    EXPECT_TRUE(enabled(1002));
    EXPECT_TRUE(enabled(1003));

    // Correct the password and connect again.
    driver::click(item(1003));
    driver::press_key(VK_END);
    for (int i = 0; i < 5; ++i) {
        driver::press_key(VK_BACK);
    }
    driver::type_text("S3cret!");
    driver::click(item(1001));
    ASSERT_TRUE(wait_for_playlists(3, 10000));
    EXPECT_FALSE(enabled(1002));
    EXPECT_FALSE(enabled(1003));
    EXPECT_FALSE(enabled(1001));
    EXPECT_TRUE(enabled(1005));
    EXPECT_TRUE(enabled(1010));
    EXPECT_EQ(list_item(0), L"Warm-up");
    EXPECT_EQ(list_item(1), L"\x00DC"
                            L"ber den Wolken");
    EXPECT_EQ(list_item(2), L"Long");
    EXPECT_EQ(wait_for_message_box(200), nullptr);
    EXPECT_TRUE(running());
}

TEST_F(LoginThroughTheDialog, NonAsciiNameAndPasswordTypedInLogIn) {
    ASSERT_NO_FATAL_FAILURE(start(std::string(kCatalogue) +
                                  "account J\xC3\xA9r\xC3\xB4me P\xC3\xA4ssw\xC3\xB6rd\n"
                                  "playlist Mine\n"
                                  "track tone 440 500 Tuner / A440\n"));
    log_in("J\xC3\xA9r\xC3\xB4me", "P\xC3\xA4ssw\xC3\xB6rd");
    EXPECT_TRUE(wait_for_playlists(1, 10000));
    EXPECT_EQ(wait_for_message_box(100), nullptr) << "the login was refused";
    EXPECT_EQ(list_item(0), L"Mine");
}

class DialogKeyboard : public ProgramSession {};

TEST_F(DialogKeyboard, TabOrderBeforeAndAfterLogin) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    ASSERT_EQ(focus(), item(1002));
    const int before[] = {1003, 1001, 1002, 1003};
    for (int id : before) {
        driver::press_key(VK_TAB);
        EXPECT_TRUE(driver::wait_until([&] { return focus() == item(id); }, 2000))
            << "expected control " << id;
    }
    driver::press_key(VK_TAB, true); // Shift+Tab goes back
    EXPECT_TRUE(driver::wait_until([&] { return focus() == item(1002); }, 2000));

    log_in("alice", "S3cret!");
    ASSERT_TRUE(wait_for_playlists(3, 10000));
    // The focus sat on "Connect", now disabled: the user clicks into the
    // list (which drops it down; Esc closes it again), and Tab then cycles
    // between the list and "Start playing".
    driver::click(item(1004));
    driver::press_key(VK_ESCAPE);
    driver::wait_until([&] { return focus() == item(1004); }, 2000);
    ASSERT_EQ(focus(), item(1004));
    for (int id : {1005, 1004, 1005}) {
        driver::press_key(VK_TAB);
        EXPECT_TRUE(driver::wait_until([&] { return focus() == item(id); }, 2000))
            << "expected control " << id;
    }
}

TEST_F(DialogKeyboard, EnterEscAndAltF4ChangeNothing) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    driver::type_text("alice");
    for (WORD key : {static_cast<WORD>(VK_RETURN), static_cast<WORD>(VK_ESCAPE)}) {
        driver::press_key(key);
    }
    driver::press_key(VK_F4, false, false, true);
    Sleep(300);
    EXPECT_TRUE(running());
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_TRUE(enabled(1001)) << "Enter did not press Connect";
    EXPECT_TRUE(enabled(1002));
    EXPECT_EQ(driver::text_of(item(1002)), "alice");
    EXPECT_EQ(wait_for_message_box(100), nullptr);

    log_in("", "S3cret!"); // the name field already holds "alice"
    ASSERT_TRUE(wait_for_playlists(3, 10000));
    driver::press_key(VK_RETURN);
    driver::press_key(VK_ESCAPE);
    driver::press_key(VK_F4, false, false, true);
    Sleep(300);
    EXPECT_TRUE(running());
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_TRUE(enabled(1004));
    EXPECT_TRUE(enabled(1005));
    EXPECT_EQ(driver::find_window(process_.dwProcessId, "lorvane_wnd_", nullptr), nullptr)
        << "the main window stays hidden";
}

class PlayingAPlaylist : public ProgramSession {};

TEST_F(PlayingAPlaylist, SoundIsTheTracksInOrderBitExactAndGaplessThenIdle) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    log_in("alice", "S3cret!");
    ASSERT_TRUE(wait_for_playlists(3, 10000));
    HWND main_window = start_playing(1);
    ASSERT_NE(main_window, nullptr) << "Start playing shows the main window";
    EXPECT_FALSE(IsWindowVisible(dialog())) << "and hides the dialog";

    std::vector<int16_t> expected;
    for (int track : {kEveryFrame, kMorning, kRising}) {
        std::vector<int16_t> audio = track_audio(track);
        expected.insert(expected.end(), audio.begin(), audio.end());
    }
    // The last period written may stay in the device until more follows.
    const size_t tail = 2 * 4096;
    ASSERT_TRUE(
        driver::wait_until([&] { return captured().size() + tail >= expected.size(); }, 30000))
        << "captured " << captured().size() << " of " << expected.size() << " samples";
    Sleep(500);
    std::vector<int16_t> sound = captured();
    long long at =
        find_samples(sound, std::vector<int16_t>(expected.begin(), expected.begin() + 64));
    ASSERT_GE(at, 0) << "the first track's first frames were not heard";
    for (long long i = 0; i < at; ++i) {
        ASSERT_EQ(sound[static_cast<size_t>(i)], 0) << "only silence before the first track";
    }
    // Track by track: each from its first frame to its last, in order. The
    // sound device under Wine sometimes plays whole periods of silence at a
    // track boundary; these are measured and reported, and the test fails
    // only if more than 100 ms are inserted at one boundary.
    size_t position = static_cast<size_t>(at);
    for (int track : {kEveryFrame, kMorning, kRising}) {
        std::vector<int16_t> audio = track_audio(track);
        size_t inserted = 0;
        if (track != kEveryFrame) {
            while (position < sound.size() && sound[position] == 0 &&
                   first_difference(sound, position, audio) < 64) {
                ++position;
                ++inserted;
            }
            if (inserted > 0) {
                std::printf("%zu frames of silence before track %d\n", inserted / 2, track);
            }
            EXPECT_LE(inserted / 2, 4410u) << "a gap before track " << track;
        }
        const size_t same = first_difference(sound, position, audio);
        const bool last = track == kRising;
        ASSERT_GE(same + (last ? tail : 0), audio.size())
            << "track " << track << " differs at its frame " << same / 2 << ": the device got "
            << describe(sound, position + same);
        position += same;
    }
    // At the end the player is idle and the program stays up.
    Sleep(1000);
    sound = captured();
    for (size_t i = position; i < sound.size(); ++i) {
        ASSERT_EQ(sound[i], 0) << "after the last track the device got " << describe(sound, i);
    }
    EXPECT_TRUE(running());
    EXPECT_TRUE(IsWindowVisible(main_window));
    // Closing the main window ends the program.
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(10000), 0);
}

TEST_F(PlayingAPlaylist, MainWindowShowsBarsAndTheWhiteTitleThenNSkips) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    log_in("alice", "S3cret!");
    ASSERT_TRUE(wait_for_playlists(3, 10000));
    HWND main_window = start_playing(2);
    ASSERT_NE(main_window, nullptr);
    const std::vector<int16_t> first = track_audio(kLongNoise);
    const std::vector<int16_t> second = track_audio(kAfterSkip);
    // The first pictures follow once the device has returned its first
    // buffers.
    ASSERT_TRUE(driver::wait_until([&] { return painted(main_window); }, 15000))
        << "the main window shows no title over black";
    Sleep(200);
    driver::Capture picture = driver::capture_client(main_window);
    ASSERT_GT(picture.width, 0);
    const std::vector<bool> white = white_pixels(picture);
    const double own = overlap(white, title_mask(kLongTitle, picture.width, picture.height));
    const double other = overlap(white, title_mask(kOtherTitle, picture.width, picture.height));
    EXPECT_GT(own, 0.6) << "the white title is the track being heard";
    EXPECT_LT(other, own - 0.2);
    int coloured = 0;
    for (int y = picture.height / 3; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            uint32_t p = picture.at(x, y);
            int r = static_cast<int>((p >> 16) & 0xFF), g = static_cast<int>((p >> 8) & 0xFF),
                b = static_cast<int>(p & 0xFF);
            coloured += std::max({r, g, b}) - std::min({r, g, b}) > 80;
        }
    }
    EXPECT_GT(coloured, 500) << "bars in the frame's colour below the title";
    if (HasFailure()) {
        driver::save_bmp(picture, "main-window-failure.bmp");
    }

    // N skips: the rest of the long track is never heard, the next one is,
    // from its first frame.
    driver::bring_to_front(main_window);
    driver::press_key('N');
    ASSERT_TRUE(driver::wait_until(
        [&] {
            return find_samples(captured(),
                                std::vector<int16_t>(second.begin(), second.begin() + 64)) >= 0;
        },
        10000))
        << "the next track did not start";
    Sleep(500);
    std::vector<int16_t> sound = captured();
    long long start = find_samples(sound, std::vector<int16_t>(first.begin(), first.begin() + 64));
    long long next = find_samples(sound, std::vector<int16_t>(second.begin(), second.begin() + 64));
    ASSERT_GE(start, 0);
    ASSERT_GT(next, start);
    // The long track from its start up to the skip (what the device already
    // held plays out), then at most silence while the next one loads, then
    // the next track from its first frame. Later parts of the long track are
    // searched for and counted, so that a failure says how much of it was
    // still played after the key.
    const size_t heard = first_difference(sound, static_cast<size_t>(start), first);
    EXPECT_LT(heard, first.size()) << "the long track was cut short";
    size_t leftover = 0;
    for (size_t i = static_cast<size_t>(start) + heard; i < static_cast<size_t>(next);) {
        if (sound[i] == 0) {
            ++i;
            continue;
        }
        ASSERT_LE(i + 64, sound.size());
        long long from = find_samples(
            first, std::vector<int16_t>(sound.begin() + static_cast<long long>(i),
                                        sound.begin() + static_cast<long long>(i) + 64));
        ASSERT_GT(from, static_cast<long long>(heard))
            << "between the tracks: " << describe(sound, i) << " that are not the long track's";
        const size_t run =
            first_difference(sound, i, std::vector<int16_t>(first.begin() + from, first.end()));
        leftover += run;
        i += run;
    }
    EXPECT_EQ(leftover, 0u) << "after the key, " << leftover / 2
                            << " frames of the skipped track were still played";
    // The next track, played to its end.
    driver::wait_until(
        [&] { return captured().size() + 2 * 4096 >= static_cast<size_t>(next) + second.size(); },
        5000);
    sound = captured();
    const size_t after = first_difference(sound, static_cast<size_t>(next), second);
    EXPECT_GE(after + 2 * 4096, second.size())
        << "the next track differs at its frame " << after / 2;

    Sleep(500);
    picture = driver::capture_client(main_window);
    const std::vector<bool> later = white_pixels(picture);
    EXPECT_GT(overlap(later, title_mask(kOtherTitle, picture.width, picture.height)),
              overlap(later, title_mask(kLongTitle, picture.width, picture.height)))
        << "the title follows the skip";
}

class ProgramEnds : public ProgramSession {};

TEST_F(ProgramEnds, ExitBeforeLoginEndsWithCodeZero) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    driver::click(item(1010));
    EXPECT_EQ(wait_for_exit(10000), 0);
}

class StartFailures : public ProgramSession {};

TEST_F(StartFailures, RefusedSessionSaysConnectionFailedAndLeavesConnectDisabled) {
    ASSERT_NO_FATAL_FAILURE(start(std::string("fail-create 1\n") + kCatalogue));
    log_in("alice", "S3cret!");
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(message_box_text(box), "Connection failed!");
    HWND owner = GetWindow(box, GW_OWNER);
    char owner_class[32] = {};
    GetClassNameA(owner, owner_class, sizeof owner_class);
    EXPECT_STREQ(owner_class, "lorvane_wnd_") << "owned by the hidden main window";
    dismiss(box);
    Sleep(300);
    EXPECT_FALSE(enabled(1001));
    EXPECT_TRUE(enabled(1010));
    EXPECT_TRUE(running());
}

TEST_F(StartFailures, SoundCardThatCannotOpenIsReportedAndTheProgramGoesOn) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue, SoundDevice::kMissing));
    log_in("alice", "S3cret!");
    ASSERT_TRUE(wait_for_playlists(3, 10000));
    HWND main_window = start_playing(0);
    ASSERT_NE(main_window, nullptr);
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(message_box_text(box), "Failed to initialize sound card.");
    dismiss(box);
    Sleep(500);
    EXPECT_TRUE(running());
    EXPECT_TRUE(IsWindowVisible(main_window));
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(10000), 0);
}
