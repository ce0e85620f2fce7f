// Real Direct2D and DirectWrite in a real window on the test display: two
// frames are drawn and the window's pixels are read back from the screen
// (GetDC(NULL) at the window's client origin: under Wine the window's own DC
// reads black). The display and the fonts are part of the test environment:
// their absence fails the test.
#include "visual/histogram_visualizer.h"

#include "audio/pcm_queue.h"
#include "session/session_state.h"
#include "unit/visual/local_library_tracks.h"
#include "visual/hue_color.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 400;

struct Pixel {
    int r, g, b;
};

std::string show(Pixel p) {
    return "(" + std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + ")";
}

bool close_to(Pixel p, int r, int g, int b, int tolerance) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
           std::abs(p.b - b) <= tolerance;
}

// The window's client area as the screen shows it.
class ScreenCapture {
public:
    bool grab(HWND window) {
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        HDC screen = GetDC(nullptr);
        if (screen == nullptr) {
            return false;
        }
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight; // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool ok = bitmap != nullptr;
        if (ok) {
            HGDIOBJ old = SelectObject(memory, bitmap);
            ok = BitBlt(memory, 0, 0, kWidth, kHeight, screen, origin.x, origin.y, SRCCOPY) != 0;
            GdiFlush();
            const auto *p = static_cast<const uint32_t *>(bits);
            pixels_.assign(p, p + kWidth * kHeight);
            SelectObject(memory, old);
            DeleteObject(bitmap);
        }
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return ok;
    }
    Pixel at(int x, int y) const {
        const uint32_t v = pixels_.at(static_cast<size_t>(y) * kWidth + x);
        return Pixel{static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                     static_cast<int>(v & 0xFF)};
    }

private:
    std::vector<uint32_t> pixels_;
};

// render returns the offscreen frame's flush; Wine 8's Flush is a stub that
// returns E_NOTIMPL after drawing normally.
bool drawn(HRESULT status) {
    return status == S_OK || status == E_NOTIMPL;
}

void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

class HistogramOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(GetSystemMetrics(SM_CXSCREEN), kWidth) << "no display of usable size";
        ASSERT_GE(GetSystemMetrics(SM_CYSCREEN), kHeight) << "no display of usable size";

        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "lorvane_visual_pixels";
        window_class.hCursor = nullptr;
        window_class.hbrBackground = nullptr; // nothing erases what was drawn
        RegisterClassA(&window_class);
        window = CreateWindowExA(WS_EX_TOPMOST, "lorvane_visual_pixels", "Lorvane",
                                 WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        pump_messages();

        ASSERT_EQ(library.open({{"Lorvane", "Test", false}}), "");
        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(session_state_init(&state, wake, &queue));
        state.current_track = library.track(0);

        ASSERT_EQ(v.create_device_independent_resources(), S_OK);
        v.window_handle = window;
        v.session_state = &state;
        // A block that is not lent: the bins are left as the test sets them.
        v.current_block = &unlent;
    }

    void TearDown() override {
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }

    HWND window = nullptr;
    LocalLibraryTracks library;
    PcmQueue queue = {};
    HANDLE wake = nullptr;
    SessionState state = {};
    PcmBlock unlent = {};
    HistogramVisualizer v;
};

// Frame 1 (blue): bars for bins 10 to 109, 300 pixels tall. Frame 2 (the
// next colour): bars for bins 125 to 224, 100 pixels tall, and frame 1 shrunk
// to 96 % about the centre at 90 % opacity behind it.
TEST_F(HistogramOnScreen, BarsTitleAndTrailAppearWhereTheLayoutPutsThem) {
    v.peak = 1.0f;
    for (int j = 10; j < 110; ++j) {
        v.history[j] = 0.75f;
    }
    ASSERT_PRED1(drawn, v.render());
    for (int j = 0; j < 256; ++j) {
        v.history[j] = (j >= 125 && j < 225) ? 0.25f : 0.0f;
    }
    ASSERT_PRED1(drawn, v.render());
    pump_messages();
    Sleep(200);

    ScreenCapture screen;
    ASSERT_TRUE(screen.grab(window)) << "cannot read the screen";

    // Black where nothing was drawn: the corners, the margins, above the bars.
    for (const POINT p : {POINT{2, 2}, POINT{997, 2}, POINT{2, 397}, POINT{997, 397},
                          POINT{30, 300}, POINT{700, 250}, POINT{980, 380}}) {
        EXPECT_TRUE(close_to(screen.at(p.x, p.y), 0, 0, 0, 8))
            << "at " << p.x << "," << p.y << ": " << show(screen.at(p.x, p.y));
    }

    // Frame 2's bars, in its colour, from y 300 to the bottom edge: bar k
    // covers x (10 + k) * 4 to (11 + k) * 4 and shows bin 10 + k.
    const FrameColor c = frame_color(1);
    const int r = static_cast<int>(c.r * 255 + 0.5), g = static_cast<int>(c.g * 255 + 0.5),
              b = static_cast<int>(c.b * 255 + 0.5);
    for (int bin = 125; bin < 225; bin += 9) {
        const int left = bin * 4;
        for (const int y : {301, 350, 399}) {
            EXPECT_TRUE(close_to(screen.at(left + 2, y), r, g, b, 6))
                << "bin " << bin << " y " << y << ": " << show(screen.at(left + 2, y));
        }
        EXPECT_TRUE(close_to(screen.at(left + 2, 296), 0, 0, 0, 8))
            << "above bin " << bin << ": " << show(screen.at(left + 2, 296));
    }

    // Frame 1's bars behind, shrunk about the centre: source x 40 to 440 and y
    // 100 to 400 land on x 58.4 to 442.4 and y 104 to 392, in blue at 90 %.
    for (const int x : {70, 150, 250, 350, 430}) {
        for (const int y : {110, 250, 385}) {
            EXPECT_TRUE(close_to(screen.at(x, y), 0, 0, 230, 8))
                << "trail at " << x << "," << y << ": " << show(screen.at(x, y));
        }
        EXPECT_TRUE(close_to(screen.at(x, 397), 0, 0, 0, 8))
            << "below the trail at " << x << ": " << show(screen.at(x, 397));
        if (x < 300) { // further right, frame 1's title passes above the bars
            EXPECT_TRUE(close_to(screen.at(x, 98), 0, 0, 0, 8))
                << "above the trail at " << x << ": " << show(screen.at(x, 98));
        }
    }

    // The title in white, centred, between H / 6 and H / 3.
    int white = 0, white_elsewhere = 0, left_most = kWidth, right_most = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const Pixel p = screen.at(x, y);
            if (p.r > 230 && p.g > 230 && p.b > 230) {
                if (y >= 66 && y <= 134) {
                    ++white;
                    left_most = std::min(left_most, x);
                    right_most = std::max(right_most, x);
                } else {
                    ++white_elsewhere;
                }
            }
        }
    }
    EXPECT_GT(white, 200) << "no white title line";
    EXPECT_EQ(white_elsewhere, 0);
    // Frame 1's title, in blue, shrunk and faded, shows behind the white one.
    int faded_title = 0;
    for (int y = 66; y <= 140; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const Pixel p = screen.at(x, y);
            faded_title += (p.r < 20 && p.g < 20 && p.b > 60) ? 1 : 0;
        }
    }
    EXPECT_GT(faded_title, 50) << "no trail of the previous title";
    EXPECT_NEAR((left_most + right_most) / 2.0, kWidth / 2.0, 12)
        << left_most << ".." << right_most;
}

} // namespace
