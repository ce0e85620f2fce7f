// The connect dialog against a real session on the local streaming library:
// "Connect", the login's outcome, the playlist list, "Start playing", "Exit",
// and text that crosses between the 8-bit dialog and the library's UTF-8.
#include "ui_fixture.h"

#include "ui/utf8_text.h"

#include <libspotify/local.h>

#include <string>

class DialogFollowsTheSession : public UiFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(UiFixture::SetUp());
        splocal_account_add("alice", "S3cret!");
        for (const char *name : {"First", "Second", "Third"}) {
            splocal_playlist_add("alice", name, -1);
        }
    }
    void connect(const std::string &user, const std::string &password) {
        SetDlgItemTextW(dialog(), IDC_USERNAME, wide(user).c_str());
        SetDlgItemTextW(dialog(), IDC_PASSWORD, wide(password).c_str());
        click(IDC_CONNECT);
    }
    // Runs the main loop until the list holds that many playlists or a
    // message box has been answered; whether the list came without a box.
    bool wait_for_list(int playlists) {
        run_until(
            [&] { return logged_in_with(playlists) || (!boxes.empty() && enabled(IDC_CONNECT)); },
            5000);
        return logged_in_with(playlists) && boxes.empty();
    }
    bool log_in(const std::string &user, const std::string &password, int playlists) {
        connect(user, password);
        return boxes.empty() && wait_for_list(playlists);
    }
    bool logged_in_with(int playlists) const {
        return !enabled(IDC_USERNAME) && enabled(IDC_START) && list_count() == playlists;
    }
    int list_count() const {
        return static_cast<int>(SendMessageA(item(IDC_PLAYLIST), CB_GETCOUNT, 0, 0));
    }
    std::wstring list_item(int index) const {
        wchar_t text[128] = {};
        SendMessageW(item(IDC_PLAYLIST), CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return text;
    }
    LRESULT selection() const { return SendMessageA(item(IDC_PLAYLIST), CB_GETCURSEL, 0, 0); }
    // Clicks "Start playing"; returns the name the session was given.
    std::string start_playing() {
        click(IDC_START);
        WaitForSingleObject(state_->lock, INFINITE);
        std::string name = state_->wanted_name != nullptr ? state_->wanted_name : "<none>";
        ReleaseMutex(state_->lock);
        return name;
    }
};

TEST_F(DialogFollowsTheSession, WrongPasswordSaysLoginFailedThenRightPasswordLogsIn) {
    connect("alice", "wrong");
    EXPECT_FALSE(enabled(IDC_CONNECT)) << "Connect is disabled while connecting";
    EXPECT_FALSE(wait_for_list(3));
    EXPECT_TRUE(enabled(IDC_CONNECT));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Login failed!");
    EXPECT_EQ(boxes[0].owner, dialog());
    EXPECT_EQ(boxes[0].icon, IDI_INFORMATION);
    for (int id : {IDC_USERNAME, IDC_PASSWORD, IDC_EXIT}) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    EXPECT_FALSE(enabled(IDC_PLAYLIST));

    boxes.clear();
    ASSERT_TRUE(log_in("alice", "S3cret!", 3));
    for (int id : {IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT}) {
        EXPECT_FALSE(enabled(id)) << id;
    }
    for (int id : {IDC_PLAYLIST, IDC_START, IDC_EXIT}) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    EXPECT_EQ(list_item(0), L"First");
    EXPECT_EQ(list_item(1), L"Second");
    EXPECT_EQ(list_item(2), L"Third");
    EXPECT_EQ(selection(), CB_ERR);
}

TEST_F(DialogFollowsTheSession, RefusedSessionSaysConnectionFailedAndKeepsConnectDisabled) {
    splocal_fail_next_create(SP_ERROR_BAD_API_VERSION);
    EXPECT_FALSE(log_in("alice", "S3cret!", 3));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Connection failed!");
    EXPECT_EQ(boxes[0].owner, context_.main_window);
    EXPECT_EQ(boxes[0].icon, IDI_WARNING);
    EXPECT_FALSE(enabled(IDC_CONNECT));
    EXPECT_TRUE(enabled(IDC_EXIT));
    click(IDC_EXIT);
    EXPECT_EQ(take_quit(), 0) << "Exit ends the loop with code 0";
}

TEST_F(DialogFollowsTheSession, StartPlayingHandsTheChosenNameShowsMainWindowHidesDialog) {
    ASSERT_TRUE(log_in("alice", "S3cret!", 3));
    EXPECT_EQ(start_playing(), "<none>") << "nothing chosen: nothing happens";
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_FALSE(IsWindowVisible(context_.main_window));
    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 1, 0);
    EXPECT_EQ(start_playing(), "Second");
    EXPECT_TRUE(IsWindowVisible(context_.main_window));
    EXPECT_FALSE(IsWindowVisible(dialog()));
    EXPECT_TRUE(IsWindow(dialog())) << "the ended dialog still receives the loop's messages";
    // The hidden list follows the library; a rebuild drops the selection.
    splocal_playlist_add("alice", "Fourth", -1);
    EXPECT_TRUE(run_until([&] { return list_count() == 4; }, 5000));
    EXPECT_EQ(selection(), CB_ERR);
    EXPECT_FALSE(IsWindowVisible(dialog()));
}

using DialogTextIsUtf8 = DialogFollowsTheSession;

TEST_F(DialogTextIsUtf8, NonAsciiLoginAndPlaylistNamesCrossByteForByte) {
    const std::string user = "J\xC3\xA9r\xC3\xB4me", password = "P\xC3\xA4ssw\xC3\xB6rd!";
    const std::string umlauts = "\xC3\x9C"
                                "ber M\xC3\xBC"
                                "nchen";
    const std::string cjk = "\xE6\x97\xA5\xE6\x9C\xAC \xE2\x98\x83 \xF0\x9F\x8E\xB5"; // 日本 ☃ 🎵
    splocal_account_add(user.c_str(), password.c_str());
    splocal_playlist_add(user.c_str(), umlauts.c_str(), -1);
    splocal_playlist_add(user.c_str(), cjk.c_str(), -1);
    ASSERT_TRUE(log_in(user, password, 2)) << "the library was not given the UTF-8 name";
    EXPECT_EQ(list_item(0), wide(umlauts));
    EXPECT_EQ(list_item(1), wide(cjk));
    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 1, 0);
    wchar_t shown[64] = {};
    GetWindowTextW(item(IDC_PLAYLIST), shown, 64);
    EXPECT_EQ(std::wstring(shown), wide(cjk)) << "the closed list shows the chosen name";
    EXPECT_EQ(start_playing(), cjk);
}

TEST_F(DialogTextIsUtf8, FieldsAreCutAt99UnitsWithoutSplittingACharacter) {
    char out[kFieldUtf8Bytes];
    SetDlgItemTextW(dialog(), IDC_USERNAME, std::wstring(120, L'\x00E9').c_str()); // é
    EXPECT_EQ(read_field_utf8(dialog(), IDC_USERNAME, out), 99 * 2);
    EXPECT_EQ(wide(out), std::wstring(99, L'\x00E9'));
    // A surrogate pair across the cut: the half before it is dropped.
    SetDlgItemTextW(dialog(), IDC_PASSWORD,
                    (std::wstring(98, L'a') + L"\xD83C\xDFB5\xD83C\xDFB5").c_str());
    EXPECT_EQ(read_field_utf8(dialog(), IDC_PASSWORD, out), 98);
    EXPECT_EQ(std::string(out), std::string(98, 'a'));
    SetDlgItemTextW(dialog(), IDC_PASSWORD, L"");
    EXPECT_EQ(read_field_utf8(dialog(), IDC_PASSWORD, out), 0);
    EXPECT_STREQ(out, "");
}
