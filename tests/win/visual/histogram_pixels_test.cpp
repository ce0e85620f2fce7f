// Real Direct2D and DirectWrite in a real window on the test display: two
// frames are drawn and the window's pixels are read back from the screen
// (GetDC(NULL) at the window's client origin: under Wine the window's own DC
// reads black). The display and the fonts are part of the test environment:
// their absence fails the test.
#include "visual/histogram_visualizer.h"

#include "audio/pcm_queue.h"
#include "session/session_state.h"
#include "support/libspotify/library_harness.h"
#include "visual/hue_color.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 400;

// The window's client area as the screen shows it, 0x00RRGGBB, top-down.
std::vector<uint32_t> grab_screen(HWND window) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    std::vector<uint32_t> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(info.bmiHeader), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, kWidth, kHeight, screen, origin.x, origin.y, SRCCOPY)) {
            GdiFlush();
            const auto *first = static_cast<const uint32_t *>(bits);
            pixels.assign(first, first + kWidth * kHeight);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

// render returns the offscreen frame's flush; Wine 8's Flush is a stub that
// returns E_NOTIMPL after drawing normally.
bool drawn(HRESULT status) {
    return status == S_OK || status == E_NOTIMPL;
}

// Frame 1 (blue): bars for bins 10 to 109, 300 pixels tall. Frame 2 (the
// next colour): bars for bins 125 to 224, 100 pixels tall, and frame 1 shrunk
// to 96 % about the centre at 90 % opacity behind it.
using HistogramOnScreen = lib_test::SessionTest;

TEST_F(HistogramOnScreen, BarsTitleAndTrailAppearWhereTheLayoutPutsThem) {
    ASSERT_GE(GetSystemMetrics(SM_CXSCREEN), kWidth) << "no display of usable size";
    ASSERT_GE(GetSystemMetrics(SM_CYSCREEN), kHeight) << "no display of usable size";
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA; // no background: nothing erases the frames
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "lorvane_visual_pixels";
    RegisterClassA(&window_class);
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, "lorvane_visual_pixels", "Lorvane", WS_POPUP | WS_VISIBLE, 0,
                        0, kWidth, kHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    pump_messages();

    add_playlist("P", {add_track(1024, "Lorvane", "Test")});
    ASSERT_TRUE(log_in());
    state.current_track = sp_playlist_track(playlist_at(0), 0);
    HistogramVisualizer v;
    ASSERT_EQ(v.create_device_independent_resources(), S_OK);
    v.window_handle = window;
    v.session_state = &state;
    PcmBlock unlent = {}; // never analysed (no queue lends it): the bins stay as set here
    v.current_block = &unlent;

    v.peak = 1.0f;
    std::fill(v.history + 10, v.history + 110, 0.75f);
    ASSERT_PRED1(drawn, v.render());
    std::fill(v.history, v.history + 256, 0.0f);
    std::fill(v.history + 125, v.history + 225, 0.25f);
    ASSERT_PRED1(drawn, v.render());
    // Wine puts the window's surface on the X screen asynchronously: read it
    // until the title line shows, for a few seconds at most.
    std::vector<uint32_t> screen;
    for (int attempt = 0; attempt < 50; ++attempt) {
        pump_messages();
        Sleep(100);
        screen = grab_screen(window);
        ASSERT_FALSE(screen.empty()) << "cannot read the screen";
        if (std::any_of(screen.begin(), screen.end(),
                        [](uint32_t p) { return (p & 0xFFFFFFu) == 0xFFFFFFu; })) {
            break;
        }
    }
    const auto channel = [&](int x, int y, int shift) {
        return static_cast<int>((screen.at(static_cast<size_t>(y) * kWidth + x) >> shift) & 0xFF);
    };
    const auto expect_near = [&](int x, int y, int r, int g, int b, int tolerance) {
        EXPECT_TRUE(std::abs(channel(x, y, 16) - r) <= tolerance &&
                    std::abs(channel(x, y, 8) - g) <= tolerance &&
                    std::abs(channel(x, y, 0) - b) <= tolerance)
            << "at " << x << "," << y << ": (" << channel(x, y, 16) << "," << channel(x, y, 8)
            << "," << channel(x, y, 0) << ")";
    };

    // Black where nothing was drawn: the corners, the margins, above the bars.
    for (const POINT p : {POINT{2, 2}, POINT{997, 2}, POINT{2, 397}, POINT{997, 397},
                          POINT{30, 300}, POINT{700, 250}, POINT{980, 380}}) {
        expect_near(p.x, p.y, 0, 0, 0, 8);
    }
    // Frame 2's bars in its colour, from y 300 to the bottom edge: bar k
    // covers x (10 + k) * 4 to (11 + k) * 4 and shows bin 10 + k.
    const FrameColor c = frame_color(1);
    const int r = static_cast<int>(c.r * 255 + 0.5), g = static_cast<int>(c.g * 255 + 0.5),
              b = static_cast<int>(c.b * 255 + 0.5);
    for (int bin = 125; bin < 225; bin += 9) {
        for (const int y : {301, 350, 399}) {
            expect_near(bin * 4 + 2, y, r, g, b, 6);
        }
        expect_near(bin * 4 + 2, 296, 0, 0, 0, 8);
    }
    // Frame 1's bars behind, shrunk about the centre: source x 40 to 440 and y
    // 100 to 400 land on x 58.4 to 442.4 and y 104 to 392, in blue at 90 %.
    for (const int x : {70, 150, 250, 350, 430}) {
        for (const int y : {110, 250, 385}) {
            expect_near(x, y, 0, 0, 230, 8);
        }
        expect_near(x, 397, 0, 0, 0, 8);
        if (x < 300) { // further right, frame 1's title passes above the bars
            expect_near(x, 98, 0, 0, 0, 8);
        }
    }

    // The title in white, centred, between H / 6 and H / 3, and frame 1's
    // title, blue, shrunk and faded, behind it.
    int white = 0, white_elsewhere = 0, faded_title = 0, left_most = kWidth, right_most = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool in_title = y >= 66 && y <= 134;
            if (channel(x, y, 16) > 230 && channel(x, y, 8) > 230 && channel(x, y, 0) > 230) {
                ++(in_title ? white : white_elsewhere);
                left_most = in_title ? std::min(left_most, x) : left_most;
                right_most = in_title ? std::max(right_most, x) : right_most;
            }
            faded_title += y >= 66 && y <= 140 && channel(x, y, 16) < 20 && channel(x, y, 8) < 20 &&
                           channel(x, y, 0) > 60;
        }
    }
    EXPECT_GT(white, 200) << "no white title line";
    EXPECT_EQ(white_elsewhere, 0);
    EXPECT_NEAR((left_most + right_most) / 2.0, kWidth / 2.0, 12)
        << left_most << ".." << right_most;
    EXPECT_GT(faded_title, 50) << "no trail of the previous title";
    DestroyWindow(window);
}

} // namespace
