// The player's keys in the main window (keys, media keys, app commands and
// hot keys, the wheel), and the connect dialog shown again with L.
#include "audio/device_volume.h"
#include "audio/output_controls.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "support/pcm_block.h"
#include "ui_fixture.h"

#include <tuple>

namespace {

constexpr LPARAM kRepeat = LPARAM{1} << 30;

// What the player was asked for, read back after each message.
struct Asked {
    bool paused;
    int32_t advance;
    uint32_t index;
    bool flushed, woken;
};

} // namespace

class PlayerKeys : public UiFixture {
protected:
    // Sends one message to the main window with a block queued, position 2.
    Asked send(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result = nullptr) {
        pcm_queue_flush(&queue_);
        pcm_queue_push(&queue_, make_block(1024));
        state_->advance_pending.store(0);
        state_->track_index = 2;
        WaitForSingleObject(context_.wake_event, 0); // start from an unsignalled event
        const LRESULT r = SendMessageW(context_.main_window, message, wparam, lparam);
        if (result)
            *result = r;
        return {session_is_paused(state_), state_->advance_pending.load(), state_->track_index,
                pcm_queue_frames(&queue_) == 0,
                WaitForSingleObject(context_.wake_event, 0) == WAIT_OBJECT_0};
    }
    static LPARAM app_command(int command) {
        return MAKELPARAM(0, static_cast<WORD>(command) | FAPPCOMMAND_KEY);
    }
};

// Each way in to each command; a held Space or Play/Pause toggles once, a
// held N skips again; Alt+N, other keys and the typed character do nothing.
TEST_F(PlayerKeys, KeysMediaKeysAppCommandsAndHotKeysEachDoTheirCommand) {
    struct Case {
        const char *what;
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        bool paused;  // afterwards; each case starts where the one before left
        bool skipped; // advance asked for, queue emptied
        uint32_t index;
    };
    const Case cases[] = {
        {"Space", WM_KEYDOWN, VK_SPACE, 1, true, false, 2},
        {"Space held", WM_KEYDOWN, VK_SPACE, kRepeat | 1, true, false, 2},
        {"Play/Pause key", WM_KEYDOWN, VK_MEDIA_PLAY_PAUSE, 1, false, false, 2},
        {"Play/Pause command", WM_APPCOMMAND, 0, app_command(APPCOMMAND_MEDIA_PLAY_PAUSE), true,
         false, 2},
        {"Play command", WM_APPCOMMAND, 0, app_command(APPCOMMAND_MEDIA_PLAY), false, false, 2},
        {"Stop command", WM_APPCOMMAND, 0, app_command(APPCOMMAND_MEDIA_STOP), true, false, 2},
        {"Stop key", WM_KEYDOWN, VK_MEDIA_STOP, 1, true, false, 2},
        {"Play/Pause hot key", WM_HOTKEY, 1, 0, false, false, 2},
        {"N", WM_KEYDOWN, 'N', 1, false, true, 2},
        {"N held", WM_KEYDOWN, 'N', kRepeat | 1, false, true, 2},
        {"Next key", WM_KEYDOWN, VK_MEDIA_NEXT_TRACK, 1, false, true, 2},
        {"Next command", WM_APPCOMMAND, 0, app_command(APPCOMMAND_MEDIA_NEXTTRACK), false, true, 2},
        {"Next hot key", WM_HOTKEY, 2, 0, false, true, 2},
        {"P", WM_KEYDOWN, 'P', 1, false, false, 1},
        {"P held", WM_KEYDOWN, 'P', kRepeat | 1, false, false, 1},
        {"Previous key", WM_KEYDOWN, VK_MEDIA_PREV_TRACK, 1, false, false, 1},
        {"Previous command", WM_APPCOMMAND, 0, app_command(APPCOMMAND_MEDIA_PREVIOUSTRACK), false,
         false, 1},
        {"Previous hot key", WM_HOTKEY, 3, 0, false, false, 1},
        {"Stop hot key", WM_HOTKEY, 4, 0, true, false, 2},
        {"Alt+P", WM_SYSKEYDOWN, 'P', (1 << 29) | 1, true, false, 2},
        {"Alt+N", WM_SYSKEYDOWN, 'N', (1 << 29) | 1, true, false, 2},
        {"Q", WM_KEYDOWN, 'Q', 1, true, false, 2},
        {"n typed", WM_CHAR, 'n', 1, true, false, 2},
        {"Volume command", WM_APPCOMMAND, 0, app_command(APPCOMMAND_VOLUME_UP), true, false, 2},
    };
    for (const Case &c : cases) {
        LRESULT result = 0;
        const Asked asked = send(c.message, c.wparam, c.lparam, &result);
        EXPECT_EQ(asked.paused, c.paused) << c.what;
        EXPECT_EQ(asked.advance, c.skipped ? 1 : 0) << c.what;
        EXPECT_EQ(asked.flushed, c.skipped || c.index != 2) << c.what;
        EXPECT_EQ(asked.index, c.index) << c.what;
        EXPECT_TRUE(asked.woken || !c.skipped) << c.what << ": the main loop not woken";
        if (c.message == WM_APPCOMMAND && c.lparam != app_command(APPCOMMAND_VOLUME_UP)) {
            EXPECT_EQ(result, TRUE) << c.what << ": not reported as handled";
        }
    }
}

class DialogShownAgain : public UiFixture {
protected:
    // Logged in with three playlists of two tracks, playing "Second".
    void start_second() { log_in_and_start({"First", "Second", "Third"}, 1, 2); }
    void key_in_main_window(WPARAM key) { SendMessageW(context_.main_window, WM_KEYDOWN, key, 1); }
};

// Before "Start playing" L does nothing; after it, L shows the dialog with
// the followed playlist selected, Esc hides it with nothing changed, and
// another playlist started there plays from its first track, also out of a pause.
TEST_F(DialogShownAgain, EscChangesNothingStartPlaysTheChosenFromItsFirstTrack) {
    key_in_main_window('L');
    SendMessageA(dialog(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog())) << "Esc hid the dialog before Start playing";
    ASSERT_NO_FATAL_FAILURE(start_second());
    EXPECT_FALSE(IsWindowVisible(dialog()));
    key_in_main_window('N');
    ASSERT_TRUE(run_until([&] { return state_->track_index == 1 && !playing().empty(); }, 5000));
    sp_track *second = state_->current_track;

    key_in_main_window('L');
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_EQ(selected(), 1) << "the followed playlist is not the one selected";
    EXPECT_TRUE(enabled(IDC_START) && enabled(IDC_PLAYLIST) && !enabled(IDC_CONNECT));
    SendMessageA(dialog(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindowVisible(dialog()));
    EXPECT_TRUE(IsWindowVisible(context_.main_window));
    EXPECT_EQ(state_->current_track, second) << "Esc changed the track";
    EXPECT_EQ(state_->track_index, 1u);

    key_in_main_window(VK_SPACE);
    key_in_main_window('L');
    SendMessageA(item(IDC_PLAYLIST), CB_SETCURSEL, 2, 0);
    splocal_playlist_add("ann", "Fourth", -1); // the list is rebuilt: the choice stays
    ASSERT_TRUE(run_until([&] { return list_count() == 4; }, 5000));
    EXPECT_EQ(selected(), 2);
    click(IDC_START);
    EXPECT_FALSE(IsWindowVisible(dialog()));
    EXPECT_EQ(state_->track_index, 0u);
    EXPECT_TRUE(run_until([&] { return playing() == "Third"; }, 5000));
    EXPECT_FALSE(session_is_paused(state_)) << "Start playing left the player paused";
    EXPECT_EQ(state_->current_track, sp_playlist_track(state_->playlist, 0))
        << "not from the first track";
}

// The seek keys move from the position of the track in the player (nothing
// of it heard here: from where it started), Ctrl moving further; Up, Down
// and the wheel step the device's volume and repeat when held, as the seeks
// do; M, S and R act once however long they are held, M bringing the volume
// back as it was and R going round off, all, one.
TEST_F(DialogShownAgain, SeekVolumeShuffleAndRepeatKeys) {
    ASSERT_NO_FATAL_FAILURE(start_second());
    const auto position_after = [&](WPARAM key, bool ctrl) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        SetKeyboardState(keys);
        SendMessageW(context_.main_window, WM_KEYDOWN, key, kRepeat | 1);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        return session_position_ms(state_);
    };
    EXPECT_EQ(position_after(VK_RIGHT, false), 5000u);
    EXPECT_EQ(position_after(VK_RIGHT, true), 35000u) << "Ctrl+Right";
    EXPECT_EQ(position_after(VK_LEFT, false), 30000u);
    EXPECT_EQ(position_after(VK_LEFT, true), 0u) << "Ctrl+Left";
    EXPECT_EQ(position_after(VK_RIGHT, false), 5000u);
    EXPECT_EQ(position_after(VK_HOME, false), 0u);

    const auto after = [&](UINT message, WPARAM wparam, LPARAM lparam) {
        SendMessageW(context_.main_window, message, wparam, lparam);
        return std::make_tuple(output_controls_volume_requested(&queue_.controls),
                               state_->order.shuffle, state_->order.repeat);
    };
    const auto volume = [](int percent) { return uint32_t{device_volume_level(percent)}; };
    using std::make_tuple;
    const auto off = RepeatMode::Off;
    EXPECT_EQ(after(WM_KEYDOWN, VK_UP, 1), make_tuple(volume(100), false, off));
    EXPECT_EQ(after(WM_KEYDOWN, VK_DOWN, 1), make_tuple(volume(95), false, off));
    EXPECT_EQ(after(WM_KEYDOWN, VK_DOWN, kRepeat | 1), make_tuple(volume(90), false, off));
    EXPECT_EQ(after(WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0),
              make_tuple(volume(85), false, off));
    after(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0);
    EXPECT_EQ(after(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0),
              make_tuple(volume(90), false, off))
        << "two half notches are one step";
    EXPECT_EQ(after(WM_KEYDOWN, 'M', 1), make_tuple(0u, false, off));
    EXPECT_EQ(after(WM_KEYDOWN, 'M', kRepeat | 1), make_tuple(0u, false, off));
    EXPECT_EQ(after(WM_KEYDOWN, 'M', 1), make_tuple(volume(90), false, off));
    EXPECT_EQ(after(WM_KEYDOWN, 'S', 1), make_tuple(volume(90), true, off));
    EXPECT_EQ(after(WM_KEYDOWN, 'S', kRepeat | 1), make_tuple(volume(90), true, off));
    EXPECT_EQ(after(WM_KEYDOWN, 'R', 1), make_tuple(volume(90), true, RepeatMode::All));
    EXPECT_EQ(after(WM_KEYDOWN, 'R', kRepeat | 1), make_tuple(volume(90), true, RepeatMode::All));
    EXPECT_EQ(after(WM_KEYDOWN, 'R', 1), make_tuple(volume(90), true, RepeatMode::One));
    EXPECT_EQ(after(WM_KEYDOWN, 'R', 1), make_tuple(volume(90), true, off));
    EXPECT_EQ(state_->current_track, sp_playlist_track(state_->playlist, 0))
        << "shuffle turned on changed the track playing";
}
