// The main window: its class and geometry, and the table of messages it acts
// on (resize, audio block, paint, the key N, closing).
#include "ui_fixture.h"

#include "app/user_messages.h"

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

TEST_F(MainWindowHandlesItsMessages, ClassAndWindowAreMadeHiddenAt1000By400) {
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "lorvane_wnd_", &window_class));
    EXPECT_EQ(window_class.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(window_class.lpfnWndProc, &main_window_proc);
    EXPECT_EQ(window_class.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(window_class.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(5)));
    EXPECT_EQ(window_class.hIcon, nullptr);

    HWND window = context_.main_window;
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Lorvane");
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 1000);
    EXPECT_EQ(rect.bottom - rect.top, 400);
    LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(reinterpret_cast<AppContext *>(GetWindowLongPtrA(window, GWLP_USERDATA)), &context_);
    EXPECT_EQ(visualizer_->window_handle, window);
    EXPECT_NE(visualizer_->d2d_factory, nullptr) << "drawing factories are made first";
    EXPECT_NE(visualizer_->text_format, nullptr);
}

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

TEST_F(MainWindowHandlesItsMessages, AudioBlockIsStoredAndOnePaintServesSeveral) {
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
}

TEST_F(MainWindowHandlesItsMessages, TimerAndDisplayChangeAskForAPaint) {
    HWND window = context_.main_window;
    ShowWindow(window, SW_SHOW);
    for (UINT message : {static_cast<UINT>(WM_TIMER), static_cast<UINT>(WM_DISPLAYCHANGE)}) {
        UpdateWindow(window);
        ASSERT_FALSE(needs_paint(window));
        EXPECT_EQ(SendMessageA(window, message, 0, 0), 0);
        EXPECT_TRUE(needs_paint(window));
    }
}

TEST_F(MainWindowHandlesItsMessages, KeyNEmptiesTheQueueAndRequestsAnAdvance) {
    pcm_queue_push(&queue_, new_block(1024));
    pcm_queue_push(&queue_, new_block(1024));
    ASSERT_EQ(pcm_queue_frames(&queue_), 2048);
    WaitForSingleObject(context_.wake_event, 0); // start from an unsignalled event
    SendMessageA(context_.main_window, WM_KEYDOWN, 'N', 1);
    EXPECT_EQ(pcm_queue_frames(&queue_), 0);
    EXPECT_EQ(state_->advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(context_.wake_event, 0), WAIT_OBJECT_0)
        << "the main loop is woken to act on it";

    // Repeats and an empty queue still just set the flag.
    state_->advance_pending.store(0);
    SendMessageA(context_.main_window, WM_KEYDOWN, 'N', (1 << 30) | 1);
    SendMessageA(context_.main_window, WM_KEYDOWN, 'N', (1 << 30) | 1);
    EXPECT_EQ(state_->advance_pending.load(), 1);
}

TEST_F(MainWindowHandlesItsMessages, AltNAndOtherKeysDoNotSkip) {
    pcm_queue_push(&queue_, new_block(1024));
    SendMessageA(context_.main_window, WM_SYSKEYDOWN, 'N', (1 << 29) | 1);
    SendMessageA(context_.main_window, WM_KEYDOWN, 'M', 1);
    SendMessageA(context_.main_window, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(context_.main_window, WM_CHAR, 'n', 1);
    EXPECT_EQ(pcm_queue_frames(&queue_), 1024);
    EXPECT_EQ(state_->advance_pending.load(), 0);
}

TEST_F(MainWindowHandlesItsMessages, ClosingTheWindowEndsTheLoopWithCodeZero) {
    SendMessageA(context_.main_window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(context_.main_window));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    context_.main_window = nullptr;
}
