// The main window's table of messages: resize, audio block, timer, paint and
// the key N.
#include "support/pcm_block.h"
#include "ui_fixture.h"

#include <cstdlib>

namespace {

bool needs_paint(HWND window) {
    return GetUpdateRect(window, nullptr, FALSE) != FALSE;
}

} // namespace

using MainWindowHandlesItsMessages = UiFixture;

// A resize drops the window's targets. The last block posted is the one
// painted; a paint validates the window even when it fails (Wine's Direct2D
// reports its flush as not implemented).
TEST_F(MainWindowHandlesItsMessages, SizeDropsTargetsLastBlockIsPaintedTimerAsksForAPaint) {
    HWND window = context_.main_window;
    SendMessageA(window, WM_SIZE, 0, 0); // nothing to release yet
    ASSERT_EQ(visualizer_->create_device_resources(), S_OK);
    SetWindowPos(window, nullptr, 0, 0, 800, 300, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(visualizer_->render_target == nullptr && visualizer_->spare_target_1 == nullptr &&
                visualizer_->spare_target_2 == nullptr);
    EXPECT_NE(visualizer_->d2d_factory, nullptr);

    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    ASSERT_FALSE(needs_paint(window));
    PcmBlock *blocks[] = {make_block(16), make_block(16)}; // never lent: the paint reads neither
    for (PcmBlock *block : blocks)
        PostMessageA(window, UM_AUDIO_BLOCK, reinterpret_cast<WPARAM>(block), 0);
    MSG message;
    while (PeekMessageA(&message, window, UM_AUDIO_BLOCK, UM_AUDIO_BLOCK, PM_REMOVE))
        DispatchMessageA(&message);
    EXPECT_EQ(visualizer_->current_block, blocks[1]);
    for (UINT ask : {UINT{UM_AUDIO_BLOCK}, UINT{WM_TIMER}, UINT{WM_DISPLAYCHANGE}}) {
        EXPECT_EQ(ask == UM_AUDIO_BLOCK ? 0 : SendMessageA(window, ask, 0, 0), 0);
        EXPECT_TRUE(needs_paint(window)) << ask;
        UpdateWindow(window);
        EXPECT_FALSE(needs_paint(window)) << ask;
    }
    visualizer_->current_block = nullptr;
    std::free(blocks[0]);
    std::free(blocks[1]);
}

// N, first press or repeat, empties the queue, sets the flag and wakes the
// main loop; Alt+N, other keys and the character do nothing.
TEST_F(MainWindowHandlesItsMessages, KeyNSkipsAltNAndOtherKeysDoNot) {
    HWND window = context_.main_window;
    pcm_queue_push(&queue_, make_block(1024));
    SendMessageA(window, WM_SYSKEYDOWN, 'N', (1 << 29) | 1);
    SendMessageA(window, WM_KEYDOWN, 'Q', 1);
    SendMessageA(window, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(window, WM_CHAR, 'n', 1);
    EXPECT_EQ(pcm_queue_frames(&queue_), 1024);
    EXPECT_EQ(state_->advance_pending.load(), 0);
    WaitForSingleObject(context_.wake_event, 0); // start from an unsignalled event
    SendMessageA(window, WM_KEYDOWN, 'N', 1);
    EXPECT_EQ(pcm_queue_frames(&queue_), 0);
    EXPECT_EQ(state_->advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(context_.wake_event, 0), WAIT_OBJECT_0);
    state_->advance_pending.store(0);
    SendMessageA(window, WM_KEYDOWN, 'N', (1 << 30) | 1);
    EXPECT_EQ(state_->advance_pending.load(), 1) << "a repeat";
}
