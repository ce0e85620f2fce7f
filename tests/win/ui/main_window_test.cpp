// The main window's table of messages: resize, audio block, timer, paint,
// and the time line's repaints (the keys: player_keys_test.cpp).
#include "e2e/driver/desktop_driver.h"
#include "support/pcm_block.h"
#include "ui/window_dpi.h"
#include "ui_fixture.h"
#include "visual/bar_layout.h"

#include <algorithm>
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

// The window at the display's scaling (96 dpi, or 144 in the scaled run of
// CMakeLists.txt): its client area grows from the 992 x 373 pixels that
// Wine's frame leaves of 1000 x 400 at 100 %, as far as the screen lets it;
// the dialog's controls stay apart and inside it. Then the resolution changes
// to the other of 96 and 144: the window takes the suggested rectangle, the
// title grows or shrinks with it and stays centred, the bars still span the
// window, and the trail goes on.
using DisplayScaling = UiFixture;

TEST_F(DisplayScaling, WindowDialogAndPictureFollowTheResolution) {
    HWND window = context_.main_window;
    const int dpi = static_cast<int>(window_dpi(window));
    RECT client = {}, outer = {}, area = {}, common = {};
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    EXPECT_EQ(client.bottom, MulDiv(373, dpi, 96));
    EXPECT_TRUE(client.right == MulDiv(992, dpi, 96) ||
                outer.right - outer.left == GetSystemMetrics(SM_CXMAXTRACK));
    std::vector<RECT> controls;
    GetClientRect(dialog(), &area);
    for (HWND c = GetWindow(dialog(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r = {};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dialog(), reinterpret_cast<POINT *>(&r), 2);
        EXPECT_TRUE(IntersectRect(&common, &r, &area) && EqualRect(&common, &r)) << GetDlgCtrlID(c);
        for (const RECT &other : controls)
            EXPECT_FALSE(IntersectRect(&common, &r, &other)) << GetDlgCtrlID(c);
        controls.push_back(r);
    }

    ASSERT_NO_FATAL_FAILURE(log_in_and_start({"Scaled"}, 0, 1));

    PcmBlock unlent = {nullptr, 0, 44100, 2, 0}; // never lent: the bins stay as set
    std::fill(visualizer_->history, visualizer_->history + 256, 0.5f);
    visualizer_->peak = 1.0f;
    visualizer_->current_block = &unlent;
    const RECT suggested = {10, 20, 970, 440}; // fits the test's screen
    RECT title[2] = {};
    for (const int to : {dpi, dpi == 96 ? 144 : 96}) {
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(to, to),
                     reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(window, &outer);
        EXPECT_TRUE(EqualRect(&outer, &suggested));
        EXPECT_TRUE(to == dpi || visualizer_->previous_frame != nullptr) << "the trail was lost";
        visualizer_->render();
        // The title's white box on screen, once Wine shows the window's surface.
        driver::Capture screen;
        RECT &box = title[to != dpi];
        driver::wait_until(
            [&] {
                run_until([] { return true; }, 0);
                screen = driver::capture_client(window);
                box = RECT{screen.width, screen.height, -1, -1};
                for (LONG y = 0; y < screen.height * 2 / 3; ++y)
                    for (LONG x = 0; x < screen.width; ++x)
                        if (screen.at(x, y) == 0xFFFFFFu)
                            box = RECT{std::min(box.left, x), std::min(box.top, y),
                                       std::max(box.right, x), y};
                return screen.at(0, 0) == 0 && box.right >= 0;
            },
            3000, 50);
        EXPECT_NEAR(box.left + box.right, screen.width, 6) << "the title off centre at " << to;
        BarRect bars[histogram::kMaxBars];
        const int n = bar_layout(screen.width, screen.height, visualizer_->history, 1.0f, bars);
        for (const float x : {bars[0].left + 0.5f, bars[n - 1].right - 0.5f}) {
            const uint32_t p = screen.at(static_cast<int>(x), screen.height * 3 / 4);
            EXPECT_TRUE(p != 0 && p != 0xFFFFFFu) << "no bar at " << x << " at " << to;
        }
        // The time line's black band grows with the scaling, over the first bar.
        const int band = (24 * to + 48) / 96,
                  middle = static_cast<int>(bars[0].left + bars[0].right) / 2;
        EXPECT_EQ(screen.at(middle, screen.height - band), 0u) << "the band at " << to;
        EXPECT_NE(screen.at(middle, screen.height - band - 1), 0u) << "the band at " << to;
    }
    EXPECT_NEAR(static_cast<double>(title[1].bottom - title[1].top + 1) /
                    (title[0].bottom - title[0].top + 1),
                (dpi == 96 ? 144.0 : 96.0) / dpi, 0.08)
        << "the title's glyphs' height";
    visualizer_->current_block = nullptr;
}
