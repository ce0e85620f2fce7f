// The histogram as the main window paints it: on screen through real Direct2D
// (a missing display or font fails), and through stand-ins (d2d_fakes.h) for
// what a paint makes, keeps and releases, and how it ends when one fails.
#include "visual/histogram_visualizer.h"

#include "audio/pcm_queue.h"
#include "e2e/driver/desktop_driver.h"
#include "session/session_state.h"
#include "support/libspotify/library_harness.h"
#include "visual/hue_color.h"
#include "win/visual/d2d_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 400;

void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

// render returns the offscreen frame's flush; Wine 8's Flush is a stub that
// returns E_NOTIMPL after drawing normally.
bool drawn(HRESULT status) {
    return status == S_OK || status == E_NOTIMPL;
}

class Histogram : public lib_test::SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA; // no background: nothing erases the frames
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "lorvane_histogram";
        RegisterClassA(&window_class);
        window =
            CreateWindowExA(WS_EX_TOPMOST, "lorvane_histogram", "Lorvane", WS_POPUP, 0, 0, kWidth,
                            kHeight, nullptr, nullptr, window_class.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        add_playlist("P", {add_track(1024, "Lorvane", "Test")});
        ASSERT_TRUE(log_in());
        state.current_track = sp_playlist_track(playlist_at(0), 0);
        ASSERT_EQ(v.create_device_independent_resources(), S_OK);
        v.window_handle = window;
        v.session_state = &state;
        v.current_block = &unlent; // never lent by the queue: the bins and peak stay
    }
    void TearDown() override {
        DestroyWindow(window);
        SessionTest::TearDown();
    }

    // The stand-ins' factory in place of the real one, and bars of some height.
    void use_fakes() {
        v.d2d_factory->Release();
        v.d2d_factory = static_cast<ID2D1Factory *>(world.factory());
        v.peak = 1.0f;
        std::fill(v.history, v.history + 256, 0.5f);
    }
    // One paint through the stand-ins. Nothing may be drawn through an object
    // that was not made, and afterwards only the visualiser's fields hold
    // references, one each, and no target is left drawing.
    HRESULT paint() {
        world.bars = 0;
        const HRESULT status = v.render();
        EXPECT_EQ(world.faults, 0);
        const void *held[] = {v.d2d_factory, v.render_target, v.spare_target_1, v.spare_target_2,
                              v.previous_frame};
        for (const auto &object : world.objects) {
            const bool kept =
                std::find(std::begin(held), std::end(held), object.get()) != std::end(held);
            EXPECT_EQ(object->refs, kept ? 1 : 0) << "an object of kind " << object->kind;
            EXPECT_FALSE(object->drawing) << "a target of kind " << object->kind;
        }
        return status;
    }

    fakes::World world; // outlives the visualiser, which releases its fields
    HWND window = nullptr;
    PcmBlock unlent = {nullptr, 0, 44100, 2, 0}; // no samples, yet reading it moves the peak
    HistogramVisualizer v;
};

// Frame 1 (blue): bars for bins 10 to 109, 300 pixels tall. Frame 2 (the
// next colour): bars for bins 125 to 224, 100 pixels tall, over frame 1
// shrunk to 96 % about the centre at 90 % opacity, and the title in white.
TEST_F(Histogram, OnScreenBarsTitleAndTrailAppearWhereTheLayoutPutsThem) {
    ASSERT_TRUE(GetSystemMetrics(SM_CXSCREEN) >= kWidth && GetSystemMetrics(SM_CYSCREEN) >= kHeight)
        << "no display of usable size";
    ShowWindow(window, SW_SHOWNOACTIVATE);
    pump_messages();
    v.peak = 1.0f;
    std::fill(v.history + 10, v.history + 110, 0.75f);
    ASSERT_PRED1(drawn, v.render());
    std::fill(v.history, v.history + 256, 0.0f);
    std::fill(v.history + 125, v.history + 225, 0.25f);
    ASSERT_PRED1(drawn, v.render());
    // Wine puts the window's surface on the X screen asynchronously: read it
    // until the title line shows, for a few seconds at most.
    driver::Capture screen;
    driver::wait_until(
        [&] {
            pump_messages();
            screen = driver::capture_client(window);
            return std::count(screen.pixels.begin(), screen.pixels.end(), 0xFFFFFFu) > 0;
        },
        5000, 100);
    ASSERT_EQ(screen.width * 1000 + screen.height, kWidth * 1000 + kHeight);
    const auto channel = [&](int x, int y, int shift) {
        return static_cast<int>((screen.at(x, y) >> shift) & 0xFF);
    };
    const auto expect_near = [&](int x, int y, int r, int g, int b, int tolerance) {
        const int wanted[] = {r, g, b};
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(std::abs(channel(x, y, 16 - 8 * i) - wanted[i]), tolerance)
                << "at " << x << "," << y << ": " << std::hex << screen.at(x, y);
    };

    // Black where nothing was drawn: the corners, the margins, above the bars.
    for (const POINT p : {POINT{2, 2}, POINT{997, 2}, POINT{2, 397}, POINT{997, 397},
                          POINT{30, 300}, POINT{700, 250}, POINT{980, 380}})
        expect_near(p.x, p.y, 0, 0, 0, 8);
    // Frame 2's bars in its colour, from y 300 to the bottom edge: bar k
    // covers x (10 + k) * 4 to (11 + k) * 4 and shows bin 10 + k.
    const FrameColor c = frame_color(1);
    const auto byte = [](float value) { return static_cast<int>(value * 255 + 0.5f); };
    for (int bin = 125; bin < 225; bin += 9) {
        for (const int y : {301, 350, 399})
            expect_near(bin * 4 + 2, y, byte(c.r), byte(c.g), byte(c.b), 6);
        expect_near(bin * 4 + 2, 296, 0, 0, 0, 8);
    }
    // Frame 1's bars behind, shrunk about the centre: source x 40 to 440 and y
    // 100 to 400 land on x 58.4 to 442.4 and y 104 to 392, in blue at 90 %.
    for (const int x : {70, 150, 250, 350, 430}) {
        for (const int y : {110, 250, 385})
            expect_near(x, y, 0, 0, 230, 8);
        expect_near(x, 397, 0, 0, 0, 8);
        if (x < 300) // further right, frame 1's title passes above the bars
            expect_near(x, 98, 0, 0, 0, 8);
    }

    // The title in white between H / 6 and H / 3 (the end-to-end suite checks
    // its text and place), and frame 1's title, blue, shrunk and faded.
    int white = 0, faded_title = 0;
    for (int y = 66; y <= 140; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int r = channel(x, y, 16), g = channel(x, y, 8), b = channel(x, y, 0);
            white += y <= 134 && r > 230 && g > 230 && b > 230;
            faded_title += r < 20 && g < 20 && b > 60;
        }
    }
    EXPECT_GT(white, 200) << "no white title line";
    EXPECT_GT(faded_title, 50) << "no trail of the previous title";
    EXPECT_EQ(v.peak, 1.0f) << "a block that the queue does not lend was read";
}

// The status is the frame's flush, which does not stop the frame.
// D2DERR_RECREATE_TARGET drops the window's targets but keeps the last frame;
// the next paint makes them at the client size of that moment, and lays the
// bars out for it.
TEST_F(Histogram, FlushStatusIsReturnedAndRecreateTargetDropsTheWindowsTargets) {
    use_fakes();
    world.flush_result = E_INVALIDARG;
    EXPECT_EQ(paint(), E_INVALIDARG);
    EXPECT_EQ(v.hue_step, 1) << "the frame reached the window";
    world.flush_result = static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
    EXPECT_EQ(paint(), static_cast<HRESULT>(D2DERR_RECREATE_TARGET));
    EXPECT_TRUE(v.render_target == nullptr && v.spare_target_1 == nullptr &&
                v.spare_target_2 == nullptr);
    ASSERT_NE(v.previous_frame, nullptr);

    world.flush_result = S_OK;
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 640, 300, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(paint(), S_OK);
    EXPECT_EQ(world.made[fakes::kWindow], 2);
    EXPECT_EQ(world.window_size.width * 1000 + world.window_size.height, 640u * 1000 + 300);
    EXPECT_EQ(world.bars, 193);
}

// Each object a paint makes, in turn, cannot be made: the window's target, its
// spares, the frame, the trail's bitmap, the frame's brush, the bars' geometry
// and its sink, the window's brush, the frame's bitmap for the window. The
// failure is returned, what was begun is ended, what was made is released, the
// colour stays, and the next paint draws.
TEST_F(Histogram, AnObjectThatCannotBeMadeEndsThePaintCleanly) {
    use_fakes();
    ASSERT_EQ(paint(), S_OK);
    const std::pair<fakes::Kind, int> failures[] = {
        {fakes::kWindow, 1}, {fakes::kTarget, 1}, {fakes::kTarget, 2},   {fakes::kTarget, 3},
        {fakes::kBitmap, 1}, {fakes::kBrush, 1},  {fakes::kGeometry, 1}, {fakes::kSink, 1},
        {fakes::kBrush, 2},  {fakes::kBitmap, 2}};
    for (const auto &[kind, nth] : failures) {
        SCOPED_TRACE(testing::Message() << "kind " << kind << ", creation " << nth);
        v.discard_device_resources(); // every object is made again
        world.fail_at[kind] = world.made[kind] + nth;
        const int32_t hue_step = v.hue_step;
        EXPECT_EQ(paint(), E_OUTOFMEMORY);
        EXPECT_EQ(v.hue_step, hue_step);
        EXPECT_EQ(paint(), S_OK);
        EXPECT_EQ(world.bars, 229);
    }
    const int32_t hue_step = v.hue_step; // 101 frames turn the colour cycle once
    for (int frame = 0; frame < 101; ++frame)
        ASSERT_EQ(paint(), S_OK);
    EXPECT_EQ(v.hue_step, hue_step);
}

} // namespace
