// The connect dialog against a real session on the local streaming library:
// "Connect", the login's outcome, the playlist list, "Start playing", "Exit",
// and text that crosses between the 8-bit dialog and the library's UTF-8.
#include "ui_fixture.h"

#include <string>

namespace {

const std::string kUser = "J\xC3\xA9r\xC3\xB4me", kPassword = "P\xC3\xA4ssw\xC3\xB6rd!";
const std::string kUmlauts = "\xC3\x9C"
                             "ber M\xC3\xBC"
                             "nchen";
const std::string kCjk = "\xE6\x97\xA5\xE6\x9C\xAC \xE2\x98\x83 \xF0\x9F\x8E\xB5"; // 日本 ☃ 🎵

} // namespace

class DialogFollowsTheSession : public UiFixture {
protected:
    void connect(const std::string &user, const std::string &password) {
        SetDlgItemTextW(dialog(), IDC_USERNAME, wide(user).c_str());
        SetDlgItemTextW(dialog(), IDC_PASSWORD, wide(password).c_str());
        click(IDC_CONNECT);
    }
    // Runs the main loop until the list came or a message box was answered.
    bool wait_for_list(int playlists) {
        const auto listed = [&] { return !enabled(IDC_USERNAME) && list_count() == playlists; };
        run_until([&] { return listed() || (!g_boxes.empty() && enabled(IDC_CONNECT)); }, 5000);
        return listed() && g_boxes.empty();
    }
    std::wstring list_item(int index) const {
        wchar_t text[128] = {};
        SendMessageW(item(IDC_PLAYLIST), CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return text;
    }
    // Clicks "Start playing"; returns the name the session was given.
    std::string start_playing() {
        click(IDC_START);
        return state_->wanted_name != nullptr ? state_->wanted_name : "<none>";
    }
    void expect_enabled(std::initializer_list<int> on, std::initializer_list<int> off) {
        for (int id : on)
            EXPECT_TRUE(enabled(id)) << id;
        for (int id : off)
            EXPECT_FALSE(enabled(id)) << id;
    }
};

// A refused session, a wrong password, then the UTF-8 user and password log
// in; the list shows the UTF-8 names and hands back the chosen one.
TEST_F(DialogFollowsTheSession, FailuresAreShownThenLoginListsAndStartsTheChosenPlaylist) {
    splocal_account_add(kUser.c_str(), kPassword.c_str());
    for (const std::string &name : {std::string("First"), kUmlauts, kCjk})
        splocal_playlist_add(kUser.c_str(), name.c_str(), -1);
    expect_enabled({IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT}, {IDC_PLAYLIST, IDC_START});
    splocal_fail_next_create(SP_ERROR_BAD_API_VERSION);
    connect(kUser, kPassword);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Connection failed!");
    EXPECT_EQ(g_boxes[0].owner, context_.main_window);
    EXPECT_EQ(g_boxes[0].icon, LoadIconA(nullptr, IDI_WARNING));
    expect_enabled({IDC_EXIT}, {IDC_CONNECT});

    g_boxes.clear();
    connect(kUser, "wrong"); // "Connect" is only disabled: a click still arrives
    EXPECT_FALSE(enabled(IDC_CONNECT)) << "Connect is disabled while connecting";
    EXPECT_FALSE(wait_for_list(3));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Login failed!");
    EXPECT_EQ(g_boxes[0].owner, dialog());
    EXPECT_EQ(g_boxes[0].icon, LoadIconA(nullptr, IDI_INFORMATION));
    expect_enabled({IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT, IDC_EXIT}, {IDC_PLAYLIST});

    g_boxes.clear();
    connect(kUser, kPassword);
    ASSERT_TRUE(wait_for_list(3)) << "the library was not given the UTF-8 name and password";
    expect_enabled({IDC_PLAYLIST, IDC_START, IDC_EXIT}, {IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT});
    EXPECT_EQ(list_item(0) + L"|" + list_item(1) + L"|" + list_item(2),
              wide("First|" + kUmlauts + "|" + kCjk));
    EXPECT_EQ(selected(), CB_ERR);
    EXPECT_EQ(start_playing(), "<none>") << "nothing chosen: nothing happens";
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_FALSE(IsWindowVisible(context_.main_window));

    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 2, 0);
    wchar_t shown[64] = {};
    GetWindowTextW(item(IDC_PLAYLIST), shown, 64);
    EXPECT_EQ(std::wstring(shown), wide(kCjk)) << "the closed list shows the chosen name";
    EXPECT_EQ(start_playing(), kCjk);
    EXPECT_TRUE(IsWindowVisible(context_.main_window));
    EXPECT_FALSE(IsWindowVisible(dialog()));
    // The hidden dialog still follows the library; a rebuild drops the selection.
    splocal_playlist_add(kUser.c_str(), "Fourth", -1);
    EXPECT_TRUE(run_until([&] { return list_count() == 4; }, 5000));
    EXPECT_EQ(selected(), CB_ERR);
    EXPECT_FALSE(IsWindowVisible(dialog()));
    click(IDC_EXIT);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 0)
        << "Exit ends the loop with code 0";
}
