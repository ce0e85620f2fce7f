// The main window's table of messages: resize, audio block, timer, paint,
// the key N and closing.
#include "ui_fixture.h"

#include <cstdlib>

namespace {

PcmBlock *new_block(int frames) {
    PcmBlock *block = static_cast<PcmBlock *>(
        std::calloc(1, sizeof(PcmBlock) + size_t{4} * static_cast<size_t>(frames)));
    block->frame_count = frames;
    block->sample_rate = 44100;
    block->channel_count = 2;
    return block;
}

bool needs_paint(HWND window) {
    return GetUpdateRect(window, nullptr, FALSE) != FALSE;
}

} // namespace

using MainWindowHandlesItsMessages = UiFixture;

TEST_F(MainWindowHandlesItsMessages, SizeDiscardsTheWindowDependentResources) {
    SendMessageA(context_.main_window, WM_SIZE, 0, 0); // nothing to release yet
    ASSERT_EQ(visualizer_->create_device_resources(), S_OK);
    ASSERT_NE(visualizer_->render_target, nullptr);
    SetWindowPos(context_.main_window, nullptr, 0, 0, 800, 300, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(visualizer_->render_target, nullptr);
    EXPECT_EQ(visualizer_->spare_target_1, nullptr);
    EXPECT_EQ(visualizer_->spare_target_2, nullptr);
    EXPECT_NE(visualizer_->d2d_factory, nullptr);
}

TEST_F(MainWindowHandlesItsMessages, AudioBlockIsStoredAndTimerOrDisplayChangeAskForAPaint) {
    HWND window = context_.main_window;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    ASSERT_FALSE(needs_paint(window));
    PcmBlock *first = new_block(16);
    PcmBlock *second = new_block(16);
    PostMessageA(window, UM_AUDIO_BLOCK, reinterpret_cast<WPARAM>(first), 0);
    PostMessageA(window, UM_AUDIO_BLOCK, reinterpret_cast<WPARAM>(second), 0);
    MSG message;
    while (PeekMessageA(&message, window, UM_AUDIO_BLOCK, UM_AUDIO_BLOCK, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
    EXPECT_EQ(visualizer_->current_block, second) << "the last block wins";
    EXPECT_TRUE(needs_paint(window));
    // The blocks were never lent by an audio thread: the paint reads nothing
    // of them, and still validates the window.
    UpdateWindow(window);
    EXPECT_FALSE(needs_paint(window));
    visualizer_->current_block = nullptr;
    std::free(first);
    std::free(second);
    for (UINT ask : {static_cast<UINT>(WM_TIMER), static_cast<UINT>(WM_DISPLAYCHANGE)}) {
        UpdateWindow(window);
        EXPECT_EQ(SendMessageA(window, ask, 0, 0), 0);
        EXPECT_TRUE(needs_paint(window)) << ask;
    }
}

TEST_F(MainWindowHandlesItsMessages, KeyNSkipsAltNAndOtherKeysDoNot) {
    HWND window = context_.main_window;
    pcm_queue_push(&queue_, new_block(1024));
    SendMessageA(window, WM_SYSKEYDOWN, 'N', (1 << 29) | 1);
    SendMessageA(window, WM_KEYDOWN, 'M', 1);
    SendMessageA(window, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(window, WM_CHAR, 'n', 1);
    EXPECT_EQ(pcm_queue_frames(&queue_), 1024);
    EXPECT_EQ(state_->advance_pending.load(), 0);

    pcm_queue_push(&queue_, new_block(1024));
    WaitForSingleObject(context_.wake_event, 0); // start from an unsignalled event
    SendMessageA(window, WM_KEYDOWN, 'N', 1);
    EXPECT_EQ(pcm_queue_frames(&queue_), 0);
    EXPECT_EQ(state_->advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(context_.wake_event, 0), WAIT_OBJECT_0)
        << "the main loop is woken to act on it";
    // Repeats and an empty queue still just set the flag.
    state_->advance_pending.store(0);
    SendMessageA(window, WM_KEYDOWN, 'N', (1 << 30) | 1);
    SendMessageA(window, WM_KEYDOWN, 'N', (1 << 30) | 1);
    EXPECT_EQ(state_->advance_pending.load(), 1);
}

TEST_F(MainWindowHandlesItsMessages, ClosingTheWindowEndsTheLoopWithCodeZero) {
    SendMessageA(context_.main_window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(context_.main_window));
    EXPECT_EQ(take_quit(), 0);
}
