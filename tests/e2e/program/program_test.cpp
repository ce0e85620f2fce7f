// The whole program under Wine on a virtual display, driven with real input and
// checked through its windows, the screen and the samples its sound device
// received. Each case is one run of the program, from its start to its end.
#include "program_session.h"

#include <algorithm>
#include <string>

namespace {

// Cyrillic, Greek, CJK and a character beyond the Basic Multilingual Plane.
const std::string kName = "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9-" // Дмитрий
                          "\xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7-"                 // Ελένη
                          "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xF0\x9F\x8E\xB5"; // 日本語-🎵
const std::string kPassword = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C";  // пароль

// A short first track, a long second one to hold a menu open across its
// end, and a long one to skip. Track ids in the order the catalogue adds them.
const std::string kCatalogue = "latency 20\naccount " + kName + " " + kPassword +
                               "\nplaylist Warm-up\n"
                               "track tone 440 1000 Tuner / A440\n"
                               "playlist \303\234ber den Wolken\n"
                               "track ramp 0 1500 Ramp / Every Frame\n"
                               "track chord 262 6000 Ana / Morning\n"
                               "track sweep 4000 3000 Bo / Rising\n"
                               "track noise 7 15000 S\xC3\xB3lveig \xC3\x98rn / Long Noise\n"
                               "track chord 330 2500 Ana / After the Skip\n";
constexpr int kEveryFrame = 1, kMorning = 2, kRising = 3, kLongNoise = 4, kAfterSkip = 5;

// Whether a picture of the main window shows bars in clear colours below the
// title, and title in white.
bool shows(const driver::Capture &picture, const std::vector<bool> &title) {
    int coloured = 0;
    for (int y = picture.height / 3; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t p = picture.at(x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            coloured += std::max({r, g, b}) - std::min({r, g, b}) > 80;
        }
    }
    return coloured > 500 && overlap(white_pixels(picture), title) > 0.6;
}

} // namespace

class ProgramFromLoginToIdle : public ProgramSession {};

TEST_F(ProgramFromLoginToIdle, DialogKeysTypedScriptsPlaybackThroughAMenuSkipAndIdle) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    driver::click(dialog_.item(IDC_CONNECT)); // both fields empty
    HWND box = nullptr;
    EXPECT_EQ(message_box(&box), "Login failed!") << "an empty user name";
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog_.window);
    EXPECT_FALSE(dialog_.enabled(IDC_CONNECT)) << "Connect stays disabled while the box is open";
    dismiss(box);
    ASSERT_TRUE(driver::wait_until([&] { return dialog_.enabled(IDC_CONNECT); }, 5000))
        << "Connect back";

    driver::click(dialog_.item(IDC_USERNAME));
    // Tab, or Shift+Tab for a negative id, moves the focus to each in turn.
    const auto tab_through = [&](std::initializer_list<int> ids) {
        for (int id : ids) {
            driver::press_key(VK_TAB, id < 0);
            EXPECT_TRUE(dialog_.focus_reaches(id < 0 ? -id : id)) << "Tab to " << id;
        }
    };
    tab_through({IDC_PASSWORD, IDC_CONNECT, IDC_USERNAME, IDC_PASSWORD, -IDC_USERNAME});
    driver::press_key(VK_RETURN);
    driver::press_key(VK_ESCAPE);
    driver::press_key(VK_F4, false, true);
    dialog_.log_in(kName, kPassword);
    ASSERT_TRUE(dialog_.wait_for_playlists(2))
        << "the typed name and password did not log in; the name field holds "
        << driver::text_of(dialog_.item(IDC_USERNAME));
    EXPECT_EQ(message_box(&box, 100), "") << "Enter pressed Connect";
    EXPECT_EQ(dialog_.listed(1), L"\u00DCber den Wolken");

    driver::press_key(VK_RETURN);
    driver::press_key(VK_ESCAPE);
    driver::press_key(VK_F4, false, true);
    // The focus sat on Connect, now disabled: the user clicks into the list
    // (which drops it down; Esc closes it), and Tab then cycles between the
    // list and "Start playing".
    driver::drop_down(dialog_.item(IDC_PLAYLIST));
    driver::press_key(VK_ESCAPE);
    ASSERT_TRUE(dialog_.focus_reaches(IDC_PLAYLIST)); // after the keys before it
    EXPECT_TRUE(running() && IsWindowVisible(dialog_.window) && dialog_.enabled(IDC_START));
    tab_through({IDC_START, IDC_PLAYLIST, -IDC_START, -IDC_PLAYLIST});
    ASSERT_EQ(SendMessageA(dialog_.item(IDC_PLAYLIST), CB_GETCURSEL, 0, 0), CB_ERR);
    driver::click(dialog_.item(IDC_START));
    EXPECT_EQ(driver::wait_for_window(process_.dwProcessId, "lorvane_wnd_", nullptr, 1000), nullptr)
        << "Start playing with nothing chosen";
    EXPECT_TRUE(IsWindowVisible(dialog_.window) && dialog_.enabled(IDC_PLAYLIST) &&
                dialog_.enabled(IDC_START));

    ASSERT_TRUE(dialog_.choose(1));
    HWND window = dialog_.start_playing();
    ASSERT_NE(window, nullptr);
    // 4 s into the second track the main window's system menu opens
    // (Alt+Space) and stays open across the track's end, until the third
    // track is heard.
    const std::vector<int16_t> second = track_audio(kMorning);
    ASSERT_TRUE(heard(wait_start(second, 0, 20000), second, 4 * 44100 * 2))
        << "the second track was not heard";
    driver::bring_to_front(window);
    driver::press_key(VK_SPACE, false, true);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const auto in_menu = [&] {
        return GetGUIThreadInfo(process_.dwThreadId, &info) && (info.flags & GUI_INMENUMODE) != 0 &&
               info.hwndMenuOwner == window;
    };
    ASSERT_TRUE(driver::wait_until(in_menu, 2000)) << "the system menu did not open";
    const std::vector<int16_t> third = track_audio(kRising);
    EXPECT_TRUE(driver::wait_until([&] { return find_from(captured(), third) >= 0; }, 20000, 200))
        << "the next track did not start while the menu was open";
    EXPECT_TRUE(in_menu()) << "the menu closed by itself";
    driver::press_key(VK_ESCAPE); // closes the menu, and then leaves the menu bar
    driver::press_key(VK_ESCAPE);
    // Track by track, each from its first frame to its last, with no
    // silence between them: the first ends while the dialog is being hidden.
    std::vector<int16_t> sound = wait_for_tracks({kEveryFrame, kMorning, kRising}, 40000);
    ASSERT_TRUE(plays_gapless(sound, {kEveryFrame, kMorning, kRising}));

    // The long noise: bars, and its title in white over them.
    RECT client;
    GetClientRect(window, &client);
    const std::vector<bool> noise_title =
        title_mask(L"S\x00F3lveig \x00D8rn - Long Noise", client.right, client.bottom);
    const std::vector<bool> next_title =
        title_mask(L"Ana - After the Skip", client.right, client.bottom);
    EXPECT_TRUE(driver::wait_until(
        [&] { return shows(driver::capture_client(window), noise_title); }, 15000, 200))
        << "no bars, or not the noise's title in white";

    // N skips: the noise up to the key (the device's eight buffers of 1024
    // frames play out, not the queued second behind them), then silence, then
    // the next track from its first frame to its last, and then only silence.
    driver::bring_to_front(window);
    const size_t at_key = captured().size();
    driver::press_key('N');
    const std::vector<int16_t> noise = track_audio(kLongNoise), after = track_audio(kAfterSkip);
    ASSERT_TRUE(driver::wait_until([&] { return find_from(captured(), after) >= 0; }, 10000))
        << "the next track did not start";
    EXPECT_TRUE(driver::wait_until(
        [&] {
            const std::vector<bool> white = white_pixels(driver::capture_client(window));
            return overlap(white, next_title) > overlap(white, noise_title);
        },
        3000, 200))
        << "the title does not follow the skip";
    sound = captured();
    const size_t noise_end = follow(sound, find_from(sound, noise), noise, noise.size()).end;
    EXPECT_LT(noise_end, at_key + 2 * (8 * 1024 + 22050)) << "the noise went on after N";
    sound = wait_for_tracks({kAfterSkip}, 30000, noise_end);
    size_t end = 0;
    ASSERT_TRUE(plays_gapless(sound, {kAfterSkip}, &end)) << "after what was heard of the noise";
    EXPECT_FALSE(driver::wait_until(
        [&] {
            sound = captured();
            return std::any_of(sound.begin() + std::min(sound.size(), noise_end + end), sound.end(),
                               [](int16_t sample) { return sample != 0; });
        },
        1000, 100))
        << "sound after the last track";
    EXPECT_TRUE(running() && IsWindowVisible(window));
    expect_clean_close(window);
}

class ProgramReportsFailures : public ProgramSession {};

TEST_F(ProgramReportsFailures, SoundCardThatCannotOpenIsReportedAndTheProgramGoesOn) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue, false));
    HWND window = log_in_and_play(kName, kPassword, 2), box = nullptr;
    EXPECT_EQ(message_box(&box), "Failed to initialize sound card.");
    dismiss(box);
    // It goes on: the window still answers, and closing it ends the program
    // as usual.
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
    EXPECT_TRUE(running() && IsWindowVisible(window));
    expect_clean_close(window);
}
