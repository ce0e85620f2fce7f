// The connect dialog against a real session on the local streaming library:
// "Connect", the login's outcome, the playlist list, "Start playing", "Exit",
// the message boxes, and text that crosses between the 8-bit dialog and the
// library's UTF-8.
#include "ui_fixture.h"

#include "app/user_messages.h"
#include "audio/pcm_queue.h"
#include "session/session_controller.h"
#include "ui/utf8_text.h"

#include <libspotify/local.h>

#include <string>

namespace {

// Non-ASCII text, as the library holds it (UTF-8).
const char kUserUtf8[] = "J\xC3\xA9r\xC3\xB4me";        // Jérôme
const char kPasswordUtf8[] = "P\xC3\xA4ssw\xC3\xB6rd!"; // Pässwörd!
const char kUmlautList[] = "\xC3\x9C"
                           "ber M\xC3\xBC"
                           "nchen";                                               // Über München
const char kCjkList[] = "\xE6\x97\xA5\xE6\x9C\xAC \xE2\x98\x83 \xF0\x9F\x8E\xB5"; // 日本 ☃ 🎵

} // namespace

class DialogFollowsTheSession : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        splocal_account_add("alice", "S3cret!");
        int tone = splocal_track_add("Artist", "Tone", SPLOCAL_SOUND_TONE, 440, 4410);
        for (const char *name : {"First", "Second", "Third"}) {
            int playlist = splocal_playlist_add("alice", name, -1);
            splocal_playlist_add_tracks(playlist, &tone, 1, -1);
        }
    }

    void type_login(const wchar_t *user, const wchar_t *password) {
        SetDlgItemTextW(dialog(), IDC_USERNAME, user);
        SetDlgItemTextW(dialog(), IDC_PASSWORD, password);
    }
    void click(int id) {
        SendMessageA(dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(item(id)));
    }
    int list_count() {
        return static_cast<int>(SendMessageA(item(IDC_PLAYLIST), CB_GETCOUNT, 0, 0));
    }
    std::wstring list_item(int index) {
        HWND list = item(IDC_PLAYLIST);
        LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length > 0 ? length : 0));
        return text;
    }
    bool logged_in_with_list(int playlists) {
        return !enabled(IDC_USERNAME) && enabled(IDC_START) && list_count() == playlists;
    }
    std::string wanted_name() {
        WaitForSingleObject(state_->lock, INFINITE);
        std::string name = state_->wanted_name != nullptr ? state_->wanted_name : "<none>";
        ReleaseMutex(state_->lock);
        return name;
    }
};

TEST_F(DialogFollowsTheSession, WrongPasswordSaysLoginFailedThenRightPasswordLogsIn) {
    MessageBoxWatcher watcher;
    type_login(L"alice", L"wrong");
    click(IDC_CONNECT);
    EXPECT_FALSE(enabled(IDC_CONNECT)) << "Connect is disabled while connecting";
    ASSERT_TRUE(run_until([&] { return !watcher.boxes().empty() && enabled(IDC_CONNECT); }, 5000));
    std::vector<SeenBox> boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Login failed!");
    EXPECT_EQ(boxes[0].owner, dialog());
    EXPECT_TRUE(boxes[0].information_icon);
    EXPECT_TRUE(enabled(IDC_USERNAME));
    EXPECT_TRUE(enabled(IDC_PASSWORD));
    EXPECT_FALSE(enabled(IDC_PLAYLIST));

    type_login(L"alice", L"S3cret!");
    click(IDC_CONNECT);
    ASSERT_TRUE(run_until([&] { return logged_in_with_list(3); }, 5000));
    EXPECT_FALSE(enabled(IDC_PASSWORD));
    EXPECT_FALSE(enabled(IDC_CONNECT));
    EXPECT_TRUE(enabled(IDC_PLAYLIST));
    EXPECT_TRUE(enabled(IDC_EXIT));
    EXPECT_EQ(list_item(0), L"First");
    EXPECT_EQ(list_item(1), L"Second");
    EXPECT_EQ(list_item(2), L"Third");
    EXPECT_EQ(SendMessageA(item(IDC_PLAYLIST), CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(watcher.boxes().size(), 1u);
}

TEST_F(DialogFollowsTheSession, RefusedSessionSaysConnectionFailedAndKeepsConnectDisabled) {
    MessageBoxWatcher watcher;
    splocal_fail_next_create(SP_ERROR_BAD_API_VERSION);
    type_login(L"alice", L"S3cret!");
    click(IDC_CONNECT);
    std::vector<SeenBox> boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Connection failed!");
    EXPECT_EQ(boxes[0].owner, context_.main_window);
    EXPECT_TRUE(boxes[0].warning_icon);
    EXPECT_FALSE(enabled(IDC_CONNECT));
    EXPECT_TRUE(enabled(IDC_EXIT));
}

TEST_F(DialogFollowsTheSession, StartPlayingSelectsChosenNameShowsMainWindowAndHidesDialog) {
    type_login(L"alice", L"S3cret!");
    click(IDC_CONNECT);
    ASSERT_TRUE(run_until([&] { return logged_in_with_list(3); }, 5000));
    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 1, 0);
    click(IDC_START);
    EXPECT_EQ(wanted_name(), "Second");
    EXPECT_TRUE(IsWindowVisible(context_.main_window));
    EXPECT_FALSE(IsWindowVisible(dialog()));
    EXPECT_TRUE(IsWindow(dialog())) << "the ended dialog still receives the loop's messages";

    // A later change rebuilds the hidden dialog's list.
    splocal_playlist_add("alice", "Fourth", -1);
    ASSERT_TRUE(run_until([&] { return list_count() == 4; }, 5000));
    EXPECT_FALSE(IsWindowVisible(dialog()));
}

TEST_F(DialogFollowsTheSession, ListRebuildClearsSelectionAndStartThenPassesEmptyName) {
    type_login(L"alice", L"S3cret!");
    click(IDC_CONNECT);
    ASSERT_TRUE(run_until([&] { return logged_in_with_list(3); }, 5000));
    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 2, 0);
    SendMessageA(dialog(), UM_PLAYLISTS_CHANGED, 0, 0);
    EXPECT_EQ(list_count(), 3);
    EXPECT_EQ(SendMessageA(item(IDC_PLAYLIST), CB_GETCURSEL, 0, 0), CB_ERR);
    click(IDC_START);
    EXPECT_EQ(wanted_name(), "");
}

TEST_F(DialogFollowsTheSession, PlaylistsChangedWithoutPlaylistsLeavesEmptyEnabledList) {
    SendMessageA(dialog(), UM_PLAYLISTS_CHANGED, 0, 0);
    EXPECT_TRUE(enabled(IDC_PLAYLIST));
    EXPECT_TRUE(enabled(IDC_START));
    EXPECT_EQ(list_count(), 0);
}

TEST_F(DialogFollowsTheSession, ConnectedLocksNameFieldsAndConnect) {
    SendMessageA(dialog(), UM_CONNECTED, 0, 0);
    EXPECT_FALSE(enabled(IDC_USERNAME));
    EXPECT_FALSE(enabled(IDC_PASSWORD));
    EXPECT_FALSE(enabled(IDC_CONNECT));
    EXPECT_TRUE(enabled(IDC_EXIT));
    EXPECT_FALSE(enabled(IDC_PLAYLIST));
}

TEST_F(DialogFollowsTheSession, ExitPostsQuitWithCodeZero) {
    click(IDC_EXIT);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

class DialogTextIsUtf8 : public DialogFollowsTheSession {};

TEST_F(DialogTextIsUtf8, NonAsciiNameAndPasswordReachTheLibraryAsUtf8) {
    splocal_account_add(kUserUtf8, kPasswordUtf8);
    splocal_playlist_add(kUserUtf8, "Mine", -1);
    MessageBoxWatcher watcher;
    SetDlgItemTextW(dialog(), IDC_USERNAME, wide(kUserUtf8).c_str());
    SetDlgItemTextW(dialog(), IDC_PASSWORD, wide(kPasswordUtf8).c_str());
    click(IDC_CONNECT);
    ASSERT_TRUE(
        run_until([&] { return logged_in_with_list(1) || !watcher.boxes().empty(); }, 5000));
    EXPECT_TRUE(watcher.boxes().empty()) << watcher.boxes()[0].text;
    EXPECT_EQ(list_item(0), L"Mine");
}

TEST_F(DialogTextIsUtf8, PlaylistNamesShowEveryCharacterAndComeBackByteForByte) {
    splocal_playlist_add("alice", kUmlautList, -1);
    splocal_playlist_add("alice", kCjkList, -1);
    type_login(L"alice", L"S3cret!");
    click(IDC_CONNECT);
    ASSERT_TRUE(run_until([&] { return logged_in_with_list(5); }, 5000));
    EXPECT_EQ(list_item(3), wide(kUmlautList));
    EXPECT_EQ(list_item(4), wide(kCjkList));
    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 4, 0);
    wchar_t shown[64] = {};
    GetWindowTextW(item(IDC_PLAYLIST), shown, 64);
    EXPECT_EQ(std::wstring(shown), wide(kCjkList)) << "the closed list shows the chosen name";
    click(IDC_START);
    EXPECT_EQ(wanted_name(), kCjkList);
}

TEST_F(DialogTextIsUtf8, LongFieldsAreCutAt99CharactersAndNeverSplitACharacter) {
    char out[kFieldUtf8Bytes];
    std::wstring long_text(120, L'\x00E9'); // é
    SetDlgItemTextW(dialog(), IDC_USERNAME, long_text.c_str());
    EXPECT_EQ(read_field_utf8(dialog(), IDC_USERNAME, out), 99 * 2);
    EXPECT_EQ(wide(out), std::wstring(99, L'\x00E9'));

    // A pair of surrogates across the cut: the half before it is dropped.
    std::wstring pairs(98, L'a');
    pairs += L"\xD83C\xDFB5\xD83C\xDFB5";
    SetDlgItemTextW(dialog(), IDC_PASSWORD, pairs.c_str());
    EXPECT_EQ(read_field_utf8(dialog(), IDC_PASSWORD, out), 98);
    EXPECT_EQ(std::string(out), std::string(98, 'a'));

    SetDlgItemTextW(dialog(), IDC_PASSWORD, L"");
    EXPECT_EQ(read_field_utf8(dialog(), IDC_PASSWORD, out), 0);
    EXPECT_STREQ(out, "");
}

TEST_F(DialogTextIsUtf8, UserNameLongerThan99CharactersLogsInAsItsFirst99) {
    std::string name(99, 'u');
    splocal_account_add(name.c_str(), "pw");
    splocal_playlist_add(name.c_str(), "Cut", -1);
    std::wstring typed(130, L'u');
    type_login(typed.c_str(), L"pw");
    click(IDC_CONNECT);
    EXPECT_TRUE(run_until([&] { return logged_in_with_list(1); }, 5000));
}
