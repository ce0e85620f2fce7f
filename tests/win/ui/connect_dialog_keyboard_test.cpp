// Keys in the connect dialog, handed to the dialog manager as the main loop
// hands them: Tab order before and after login, and Enter, Esc and Alt+F4
// that change nothing.
#include "ui_fixture.h"

#include "app/user_messages.h"

namespace {

// Everything the user can see of the dialog's state.
struct DialogPicture {
    bool visible;
    bool enabled[11];
    HWND focus;
    bool operator==(const DialogPicture &other) const {
        if (visible != other.visible || focus != other.focus) {
            return false;
        }
        for (int i = 0; i < 11; ++i) {
            if (enabled[i] != other.enabled[i]) {
                return false;
            }
        }
        return true;
    }
};

} // namespace

class DialogKeys : public UiFixture {
protected:
    DialogPicture picture() const {
        DialogPicture p = {};
        p.visible = IsWindowVisible(dialog()) != FALSE;
        for (int id = IDC_CONNECT; id <= IDC_EXIT; ++id) {
            p.enabled[id - IDC_CONNECT] = enabled(id);
        }
        p.focus = GetFocus();
        return p;
    }
    void tab(bool shift = false) { dialog_key(WM_KEYDOWN, VK_TAB, shift); }
    // The state after login with the list filled: what UM_CONNECTED and
    // UM_PLAYLISTS_CHANGED leave.
    void log_in() {
        SendMessageA(dialog(), UM_CONNECTED, 0, 0);
        SendMessageA(dialog(), UM_PLAYLISTS_CHANGED, 0, 0);
        pump();
    }
};

TEST_F(DialogKeys, TabBeforeLoginCyclesNamePasswordConnectSkippingExitAndDisabled) {
    SetFocus(item(IDC_USERNAME));
    tab();
    EXPECT_EQ(GetFocus(), item(IDC_PASSWORD));
    tab();
    EXPECT_EQ(GetFocus(), item(IDC_CONNECT));
    tab();
    EXPECT_EQ(GetFocus(), item(IDC_USERNAME));
}

TEST_F(DialogKeys, ShiftTabBeforeLoginCyclesBackwards) {
    SetFocus(item(IDC_USERNAME));
    tab(true);
    EXPECT_EQ(GetFocus(), item(IDC_CONNECT));
    tab(true);
    EXPECT_EQ(GetFocus(), item(IDC_PASSWORD));
    tab(true);
    EXPECT_EQ(GetFocus(), item(IDC_USERNAME));
}

TEST_F(DialogKeys, TabAfterLoginCyclesListAndStart) {
    log_in();
    SetFocus(item(IDC_PLAYLIST));
    tab();
    EXPECT_EQ(GetFocus(), item(IDC_START));
    tab();
    EXPECT_EQ(GetFocus(), item(IDC_PLAYLIST));
    tab(true);
    EXPECT_EQ(GetFocus(), item(IDC_START));
}

TEST_F(DialogKeys, TabReachingAControlItselfMovesForward) {
    // A Tab that the dialog manager did not take, delivered to the control.
    SetFocus(item(IDC_PASSWORD));
    EXPECT_EQ(SendMessageA(item(IDC_PASSWORD), WM_KEYDOWN, VK_TAB, 1), 0);
    EXPECT_EQ(GetFocus(), item(IDC_CONNECT));
    // Forward even with Shift held, and from "Exit", which has no tab stop.
    SetFocus(item(IDC_EXIT));
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageA(item(IDC_EXIT), WM_KEYDOWN, VK_TAB, 1);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(GetFocus(), item(IDC_CONNECT));
}

TEST_F(DialogKeys, OtherKeysReachTheControlUnchanged) {
    SetFocus(item(IDC_USERNAME));
    SendMessageA(item(IDC_USERNAME), WM_CHAR, 'a', 1);
    SendMessageA(item(IDC_USERNAME), WM_CHAR, 'b', 1);
    char text[8] = {};
    GetDlgItemTextA(dialog(), IDC_USERNAME, text, sizeof text);
    EXPECT_STREQ(text, "ab");
}

TEST_F(DialogKeys, EnterEscAndAltF4ChangeNothingBeforeLogin) {
    SetFocus(item(IDC_PASSWORD));
    DialogPicture before = picture();
    dialog_key(WM_KEYDOWN, VK_RETURN);
    EXPECT_TRUE(picture() == before);
    dialog_key(WM_KEYDOWN, VK_ESCAPE);
    EXPECT_TRUE(picture() == before);
    dialog_key(WM_SYSKEYDOWN, VK_F4);
    EXPECT_TRUE(picture() == before);
    SendMessageA(dialog(), WM_CLOSE, 0, 0);
    pump();
    EXPECT_TRUE(IsWindow(dialog()));
    EXPECT_TRUE(picture() == before);
    EXPECT_FALSE(quit_posted());
    EXPECT_EQ(state_->session, nullptr) << "Enter must not connect";
}

TEST_F(DialogKeys, EnterEscAndAltF4ChangeNothingAfterLogin) {
    log_in();
    SetFocus(item(IDC_START));
    DialogPicture before = picture();
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        dialog_key(WM_KEYDOWN, key);
        EXPECT_TRUE(picture() == before);
    }
    dialog_key(WM_SYSKEYDOWN, VK_F4);
    EXPECT_TRUE(picture() == before);
    EXPECT_FALSE(IsWindowVisible(context_.main_window)) << "Enter must not start playing";
    EXPECT_FALSE(quit_posted());
}
