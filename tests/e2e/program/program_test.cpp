// The whole program, lorvane.exe with libspotify.dll, under Wine on a virtual
// display: driven with real keyboard and mouse input, checked through its
// windows, the screen's pixels and the samples its sound device received.
// Each case is one run of the program, from its start to its end.
#include "program_session.h"
#include "title_mask.h"

#include <algorithm>
#include <string>
#include <utility>

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
                          "account J\xC3\xA9r\xC3\xB4me P\xC3\xA4ssw\xC3\xB6rd\n"
                          "playlist Long\n"
                          "track noise 7 15000 S\xC3\xB3lveig \xC3\x98rn / Long Noise\n"
                          "track chord 330 2500 Ana / After the Skip\n";
// Track ids, in the order the catalogue adds them.
constexpr int kEveryFrame = 1, kMorning = 2, kRising = 3, kLongNoise = 4, kAfterSkip = 5;

// Whether the main window shows a drawn frame: black in the left margin,
// where no bar and no shrunk copy of a frame ever reaches, and white (the
// title) in it. Before its first paint it shows its light background. (The
// bars of a loud, broad spectrum may cover most of the rest.)
bool painted(HWND window) {
    driver::Capture picture = driver::capture_client(window);
    int margin = 0, black = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < 30 && x < picture.width; ++x) {
            ++margin;
            black += picture.at(x, y) == 0u;
        }
    }
    std::vector<bool> white = white_pixels(picture);
    return margin > 0 && black * 10 >= margin * 9 &&
           std::count(white.begin(), white.end(), true) > 300;
}

// Pixels below the title with a clear colour (the bars).
int coloured_pixels(const driver::Capture &picture) {
    int coloured = 0;
    for (int y = picture.height / 3; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t p = picture.at(x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            coloured += std::max({r, g, b}) - std::min({r, g, b}) > 80;
        }
    }
    return coloured;
}

} // namespace

class ProgramFromLoginToIdle : public ProgramSession {};

TEST_F(ProgramFromLoginToIdle, KeysChangeNothingLoginFailsThenTracksPlayInOrderBitExactGapless) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    ASSERT_TRUE(focus_reaches(1002));
    for (int id : {1003, 1001, 1002, 1003}) {
        driver::press_key(VK_TAB);
        EXPECT_TRUE(focus_reaches(id)) << "Tab before login, to " << id;
    }
    driver::press_key(VK_TAB, true);
    EXPECT_TRUE(focus_reaches(1002)) << "Shift+Tab goes back";
    driver::type_text("alic");
    driver::press_key(VK_RETURN);
    driver::press_key(VK_ESCAPE);
    driver::press_key(VK_F4, false, true);
    driver::type_text("e"); // once it arrives, so have the keys before it
    EXPECT_TRUE(driver::wait_until([&] { return driver::text_of(item(1002)) == "alice"; }, 5000));
    EXPECT_TRUE(running() && IsWindowVisible(dialog_)) << "Enter, Esc or Alt+F4 closed it";
    EXPECT_TRUE(enabled(1001) && enabled(1002)) << "Enter pressed Connect";
    EXPECT_EQ(wait_for_message_box(100), nullptr);

    log_in("", "wrong"); // the name field already holds "alice"
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr) << "no message box after a wrong password";
    EXPECT_EQ(driver::text_of(GetDlgItem(box, 0xFFFF)), "Login failed!");
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog_);
    EXPECT_FALSE(enabled(1001)) << "Connect stays disabled while the box is open";
    dismiss(box);
    ASSERT_TRUE(driver::wait_until([&] { return enabled(1001); }, 5000)) << "Connect again";
    EXPECT_TRUE(enabled(1002) && enabled(1003));
    driver::click(item(1003));
    driver::press_key(VK_END);
    for (int i = 0; i < 5; ++i) {
        driver::press_key(VK_BACK);
    }
    driver::type_text("S3cret!");
    driver::click(item(1001));
    ASSERT_TRUE(wait_for_playlists(3));
    EXPECT_FALSE(enabled(1002) || enabled(1003) || enabled(1001)) << "fields locked";
    EXPECT_TRUE(enabled(1010));
    EXPECT_EQ(list_item(0), L"Warm-up");
    EXPECT_EQ(list_item(1), L"\x00DC"
                            L"ber den Wolken");
    EXPECT_EQ(list_item(2), L"Long");
    EXPECT_EQ(wait_for_message_box(200), nullptr);

    driver::press_key(VK_RETURN);
    driver::press_key(VK_ESCAPE);
    driver::press_key(VK_F4, false, true);
    // The focus sat on "Connect", now disabled: the user clicks into the
    // list (which drops it down; Esc closes it again), and Tab then cycles
    // between the list and "Start playing". (Arrow keys would move the focus
    // from "Start playing" to "Exit", in its group: the cycle ends in the list.)
    driver::drop_down(item(1004));
    driver::press_key(VK_ESCAPE);
    ASSERT_TRUE(focus_reaches(1004)); // after the keys before it
    EXPECT_TRUE(running() && IsWindowVisible(dialog_) && enabled(1004) && enabled(1005));
    EXPECT_EQ(driver::find_window(process_.dwProcessId, "lorvane_wnd_", nullptr), nullptr)
        << "the main window stays hidden";
    const std::pair<bool, int> after_login[] = {
        {false, 1005}, {false, 1004}, {true, 1005}, {true, 1004}};
    for (auto [shift, id] : after_login) {
        driver::press_key(VK_TAB, shift);
        EXPECT_TRUE(focus_reaches(id)) << "Tab after login, to " << id << (shift ? " (Shift)" : "");
    }

    HWND main_window = start_playing(1);
    ASSERT_NE(main_window, nullptr) << "Start playing shows the main window";
    EXPECT_FALSE(IsWindowVisible(dialog_)) << "and hides the dialog";
    // Track by track, each from its first frame to its last, with no
    // silence between them: the first track is short, so its end comes
    // while the dialog is still being hidden.
    std::vector<int16_t> sound = wait_for_tracks(*this, {kEveryFrame, kMorning, kRising}, 30000);
    size_t end = 0;
    ASSERT_TRUE(plays_gapless(sound, {kEveryFrame, kMorning, kRising}, &end));
    // At the end the player is idle and the program stays up.
    EXPECT_FALSE(driver::wait_until(
        [&] {
            sound = captured();
            return sound.size() > end &&
                   std::any_of(sound.begin() + static_cast<long long>(end), sound.end(),
                               [](int16_t sample) { return sample != 0; });
        },
        1000, 100))
        << "sound after the last track";
    EXPECT_TRUE(running() && IsWindowVisible(main_window));
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(10000), 0) << "closing the main window ends the program";
}

class NonAsciiUserHearsAndSeesTheTrack : public ProgramSession {};

TEST_F(NonAsciiUserHearsAndSeesTheTrack, BarsAndWhiteTitleThenNSkipsToTheNextTrack) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    log_in("J\xC3\xA9r\xC3\xB4me", "P\xC3\xA4ssw\xC3\xB6rd");
    ASSERT_TRUE(wait_for_playlists(1)) << "the typed non-ASCII name and password did not log in";
    EXPECT_EQ(wait_for_message_box(100), nullptr);
    HWND main_window = start_playing(0);
    ASSERT_NE(main_window, nullptr);
    const std::vector<int16_t> first = track_audio(kLongNoise);
    const std::vector<int16_t> second = track_audio(kAfterSkip);
    const wchar_t kLongTitle[] = L"S\x00F3lveig \x00D8rn - Long Noise";
    const wchar_t kOtherTitle[] = L"Ana - After the Skip";
    // The first pictures follow once the device has returned its first
    // buffers; the bars once blocks have reached the window.
    // (Pictures are taken seldom: a busy processor makes the device miss.)
    ASSERT_TRUE(driver::wait_until([&] { return painted(main_window); }, 15000, 200))
        << "the main window shows no title over black";
    driver::Capture picture;
    EXPECT_TRUE(driver::wait_until(
        [&] { return coloured_pixels(picture = driver::capture_client(main_window)) > 500; }, 5000,
        200))
        << "no bars in the frame's colour below the title";
    const std::vector<bool> long_title = title_mask(kLongTitle, picture.width, picture.height);
    const std::vector<bool> other_title = title_mask(kOtherTitle, picture.width, picture.height);
    const double own = overlap(white_pixels(picture), long_title);
    EXPECT_GT(own, 0.6) << "the white title is the track being heard";
    EXPECT_LT(overlap(white_pixels(picture), other_title), own - 0.2);

    // N skips: the long track up to the key (what the device already held
    // plays out), then nothing but silence while the next one loads, then
    // the next track from its first frame to its last.
    driver::bring_to_front(main_window);
    driver::press_key('N');
    ASSERT_TRUE(driver::wait_until([&] { return find_start(captured(), second) >= 0; }, 10000))
        << "the next track did not start";
    EXPECT_TRUE(driver::wait_until(
        [&] {
            const std::vector<bool> white = white_pixels(driver::capture_client(main_window));
            return overlap(white, other_title) > overlap(white, long_title);
        },
        3000, 200))
        << "the title follows the skip";
    std::vector<int16_t> sound = captured();
    const long long start = find_start(sound, first), next = find_start(sound, second);
    ASSERT_GE(start, 0);
    ASSERT_GT(next, start);
    const size_t heard = same_run(sound, static_cast<size_t>(start), first);
    EXPECT_LT(heard, first.size()) << "the long track played to its end despite the key";
    for (size_t i = static_cast<size_t>(start) + heard; i < static_cast<size_t>(next); ++i) {
        ASSERT_EQ(sound[i], 0) << "after the skip, sample " << i - start << " of the long track";
    }
    std::vector<int16_t> rest;
    EXPECT_TRUE(driver::wait_until(
        [&] {
            sound = captured();
            rest.assign(sound.begin() + next, sound.end());
            return plays_gapless(rest, {kAfterSkip});
        },
        10000, 200))
        << plays_gapless(rest, {kAfterSkip}).message();
}

class ProgramReportsFailures : public ProgramSession {};

TEST_F(ProgramReportsFailures, RefusedSessionSaysConnectionFailedThenExitEndsWithCodeZero) {
    ASSERT_NO_FATAL_FAILURE(
        start(std::string("fail-create 1\n") + kCatalogue, SoundDevice::kMissing));
    log_in("alice", "S3cret!");
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::text_of(GetDlgItem(box, 0xFFFF)), "Connection failed!");
    char owner_class[32] = {};
    GetClassNameA(GetWindow(box, GW_OWNER), owner_class, sizeof owner_class);
    EXPECT_STREQ(owner_class, "lorvane_wnd_") << "owned by the hidden main window";
    dismiss(box);
    EXPECT_FALSE(driver::wait_until([&] { return enabled(1001); }, 500));
    EXPECT_TRUE(enabled(1010) && running());
    driver::click(item(1010));
    EXPECT_EQ(wait_for_exit(10000), 0) << "Exit before login";
}

TEST_F(ProgramReportsFailures, SoundCardThatCannotOpenIsReportedAndTheProgramGoesOn) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue, SoundDevice::kMissing));
    log_in("alice", "S3cret!");
    ASSERT_TRUE(wait_for_playlists(3));
    HWND main_window = start_playing(0);
    ASSERT_NE(main_window, nullptr);
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::text_of(GetDlgItem(box, 0xFFFF)), "Failed to initialize sound card.");
    dismiss(box);
    EXPECT_FALSE(driver::wait_until([&] { return !running(); }, 500));
    EXPECT_TRUE(IsWindowVisible(main_window));
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(10000), 0);
}
