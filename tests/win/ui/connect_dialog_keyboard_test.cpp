// Keys in the connect dialog, handed to the dialog manager as the main loop
// hands them, before login and after it (what UM_CONNECTED and
// UM_PLAYLISTS_CHANGED leave).
#include "ui_fixture.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

class DialogKeys : public UiFixture {
protected:
    // UM_CONNECTED locks the name fields and "Connect"; UM_PLAYLISTS_CHANGED
    // enables the list (here empty: no session) and "Start playing".
    void log_in() {
        SendMessageA(dialog(), UM_CONNECTED, 0, 0);
        EXPECT_FALSE(enabled(IDC_USERNAME) || enabled(IDC_PASSWORD) || enabled(IDC_CONNECT));
        EXPECT_FALSE(enabled(IDC_PLAYLIST) || enabled(IDC_START));
        SendMessageA(dialog(), UM_PLAYLISTS_CHANGED, 0, 0);
        EXPECT_TRUE(enabled(IDC_PLAYLIST) && enabled(IDC_START) && enabled(IDC_EXIT));
        EXPECT_EQ(SendMessageA(item(IDC_PLAYLIST), CB_GETCOUNT, 0, 0), 0);
        pump();
    }
    // From the first control, each Tab (or Shift+Tab) reaches the next one.
    void expect_tab_cycle(std::initializer_list<int> ids, bool shift) {
        SetFocus(item(*ids.begin()));
        for (const int *id = ids.begin() + 1; id != ids.end(); ++id) {
            dialog_key(WM_KEYDOWN, VK_TAB, shift);
            EXPECT_EQ(GetFocus(), item(*id)) << "expected " << *id << (shift ? " (Shift)" : "");
        }
    }
    // A Tab that reaches the control itself moves forward, Shift or not.
    void expect_own_tab(int from, int to) {
        for (BYTE shift : {0x00, 0x80}) {
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            keys[VK_SHIFT] = shift;
            SetKeyboardState(keys);
            SetFocus(item(from));
            EXPECT_EQ(SendMessageA(item(from), WM_KEYDOWN, VK_TAB, 1), 0);
            EXPECT_EQ(GetFocus(), item(to)) << "Tab reaching " << from;
            keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
        }
    }
    // Everything the user can see of the dialog.
    std::vector<intptr_t> picture() const {
        std::vector<intptr_t> seen = {IsWindow(dialog()), IsWindowVisible(dialog()),
                                      IsWindowVisible(context_.main_window),
                                      reinterpret_cast<intptr_t>(GetFocus())};
        for (int id = IDC_CONNECT; id <= IDC_EXIT; ++id) {
            seen.push_back(enabled(id));
        }
        return seen;
    }
};

TEST_F(DialogKeys, TabCyclesTheEnabledTabStopsBeforeAndAfterLogin) {
    expect_tab_cycle({IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT, IDC_USERNAME}, false);
    expect_tab_cycle({IDC_USERNAME, IDC_CONNECT, IDC_PASSWORD, IDC_USERNAME}, true);
    expect_own_tab(IDC_PASSWORD, IDC_CONNECT);
    expect_own_tab(IDC_EXIT, IDC_CONNECT); // "Exit" has no tab stop of its own
    SendMessageA(item(IDC_USERNAME), WM_CHAR, 'a', 1);
    EXPECT_EQ(GetWindowTextLengthA(item(IDC_USERNAME)), 1) << "other keys reach the control";

    log_in();
    expect_tab_cycle({IDC_PLAYLIST, IDC_START, IDC_PLAYLIST}, false);
    expect_tab_cycle({IDC_PLAYLIST, IDC_START, IDC_PLAYLIST}, true);
    expect_own_tab(IDC_START, IDC_PLAYLIST);
}

TEST_F(DialogKeys, EnterEscAltF4AndCloseChangeNothing) {
    for (bool logged_in : {false, true}) {
        SCOPED_TRACE(logged_in ? "after login" : "before login");
        if (logged_in) {
            log_in();
        }
        SetFocus(item(logged_in ? IDC_START : IDC_PASSWORD));
        const std::vector<intptr_t> before = picture();
        dialog_key(WM_KEYDOWN, VK_RETURN);
        EXPECT_EQ(picture(), before) << "Enter";
        dialog_key(WM_KEYDOWN, VK_ESCAPE);
        EXPECT_EQ(picture(), before) << "Esc";
        dialog_key(WM_SYSKEYDOWN, VK_F4);
        EXPECT_EQ(picture(), before) << "Alt+F4";
        SendMessageA(dialog(), WM_CLOSE, 0, 0);
        pump();
        EXPECT_EQ(picture(), before) << "WM_CLOSE";
        EXPECT_EQ(take_quit(), -1);
    }
    EXPECT_EQ(state_->session, nullptr) << "Enter must not connect";
}
