// What a new user meets first: text of any script typed into the dialog, an
// empty name, "Start playing" with nothing chosen, and a window kept busy
// (its system menu open) while one track gives way to the next.
#include "program_session.h"

#include <string>

namespace {

// Cyrillic, Greek, CJK and a character beyond the Basic Multilingual Plane.
const std::string kName = "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9-" // Дмитрий
                          "\xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7-"                 // Ελένη
                          "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xF0\x9F\x8E\xB5"; // 日本語-🎵
const std::string kPassword = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C";  // пароль

// A first track of 6 s, then two of 3 s; ids in the order they are added.
const std::string kCatalogue = "latency 20\n"
                               "account " +
                               kName + " " + kPassword +
                               "\n"
                               "playlist Busy\n"
                               "track ramp 0 6000 Ramp / Every Frame\n"
                               "track chord 262 3000 Ana / Morning\n"
                               "track sweep 4000 3000 Bo / Rising\n";
constexpr int kFirst = 0, kSecond = 1, kThird = 2;

} // namespace

class NewUserIsNeverStranded : public ProgramSession {};

TEST_F(NewUserIsNeverStranded, EmptyNameFailsLoginTypedScriptsArriveStartWithoutChoiceWaits) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue, SoundDevice::kMissing));
    driver::click(item(1001)); // both fields empty
    HWND box = wait_for_message_box(10000);
    ASSERT_NE(box, nullptr) << "no answer to an empty user name";
    EXPECT_EQ(driver::text_of(GetDlgItem(box, 0xFFFF)), "Login failed!");
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog_);
    dismiss(box);
    ASSERT_TRUE(driver::wait_until([&] { return enabled(1001); }, 5000)) << "Connect given back";

    driver::click(item(1002));
    driver::type_text(kName);
    EXPECT_TRUE(driver::wait_until([&] { return driver::text_of(item(1002)) == kName; }, 5000))
        << "the field holds " << driver::text_of(item(1002));
    driver::click(item(1003));
    driver::type_text(kPassword);
    driver::click(item(1001));
    ASSERT_TRUE(wait_for_playlists(1)) << "the typed name and password did not log in";
    EXPECT_EQ(wait_for_message_box(100), nullptr);

    driver::click(item(1005)); // nothing chosen yet
    EXPECT_EQ(driver::wait_for_window(process_.dwProcessId, "lorvane_wnd_", nullptr, 1000), nullptr)
        << "Start playing with nothing chosen showed the main window";
    EXPECT_TRUE(IsWindowVisible(dialog_) && enabled(1004) && enabled(1005));
    EXPECT_NE(start_playing(0), nullptr) << "a choice then starts";
}

class PlaybackGoesOnThroughModalLoops : public ProgramSession {};

TEST_F(PlaybackGoesOnThroughModalLoops, SystemMenuOpenAcrossATrackBoundaryInsertsNoSilence) {
    ASSERT_NO_FATAL_FAILURE(start(kCatalogue));
    log_in(kName, kPassword);
    ASSERT_TRUE(wait_for_playlists(1));
    HWND main_window = start_playing(0);
    ASSERT_NE(main_window, nullptr);
    // 4 s into the first track, the main window's system menu opens (Alt+Space)
    // and stays open for 5 s: the first track ends while it is open.
    const std::vector<int16_t> first = track_audio(kFirst);
    long long at = -1;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            const std::vector<int16_t> sound = captured();
            at = find_start(sound, first);
            return at >= 0 && sound.size() >= static_cast<size_t>(at) + 4 * 44100 * 2;
        },
        20000, 20))
        << "the first track was not heard";
    driver::bring_to_front(main_window);
    driver::press_key(VK_SPACE, false, true);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            return GetGUIThreadInfo(process_.dwThreadId, &info) &&
                   (info.flags & GUI_INMENUMODE) != 0 && info.hwndMenuOwner == main_window;
        },
        2000))
        << "the system menu did not open";
    Sleep(5000); // the user reads the menu
    EXPECT_TRUE(GetGUIThreadInfo(process_.dwThreadId, &info) && (info.flags & GUI_INMENUMODE) != 0)
        << "the menu closed by itself";
    driver::press_key(VK_ESCAPE);
    EXPECT_TRUE(plays_gapless(wait_for_tracks(*this, {kFirst, kSecond, kThird}, 20000),
                              {kFirst, kSecond, kThird}));
}
