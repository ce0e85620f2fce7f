// The main window's table of messages: resize, audio block, timer, paint,
// and the time line's repaints (the keys: player_keys_test.cpp).
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

// With no block arriving (paused, or the playlist over), the window repaints
// only when the time line changes, and then for the line alone: the last
// frame is presented again and no new one drawn (the trail stays as it
// was). A held S changes nothing; the volume shown after a step goes when
// the window's timer finds its two seconds over.
TEST_F(MainWindowHandlesItsMessages, ALineChangeAloneRepaintsTheLineAndLeavesTheTrail) {
    HWND window = context_.main_window;
    ShowWindow(window, SW_SHOW);
    PcmBlock *block = make_block(16); // never lent: the paint reads none of it
    SendMessageA(window, UM_AUDIO_BLOCK, reinterpret_cast<WPARAM>(block), 0);
    UpdateWindow(window);
    const int32_t frames_drawn = visualizer_->hue_step;
    ASSERT_EQ(frames_drawn, 1);
    const auto after = [&](UINT message, WPARAM wparam, LPARAM lparam) {
        SendMessageA(window, message, wparam, lparam);
        const bool repaint = needs_paint(window);
        UpdateWindow(window);
        return repaint;
    };
    EXPECT_TRUE(after(WM_KEYDOWN, 'S', 1));
    EXPECT_EQ(visualizer_->time_line_layout.text, L"shuffle");
    EXPECT_FALSE(after(WM_KEYDOWN, 'S', (1 << 30) | 1)) << "a held S";
    EXPECT_TRUE(after(WM_KEYDOWN, VK_DOWN, 1));
    EXPECT_EQ(visualizer_->time_line_layout.text, L"shuffle   volume 95 %");
    EXPECT_FALSE(after(WM_TIMER, 1, 0)) << "the volume's two seconds are not over";
    visualizer_->volume_note_until = 0;
    EXPECT_TRUE(after(WM_TIMER, 1, 0));
    EXPECT_EQ(visualizer_->time_line_layout.text, L"shuffle");
    EXPECT_EQ(visualizer_->hue_step, frames_drawn) << "a new frame was drawn for the line";
    visualizer_->current_block = nullptr;
    std::free(block);
}
