// One histogram frame, call by call, against recording fakes of the Direct2D
// objects (d2d_fakes.h). The window is real (its client size is read) and so
// is the text format; the factory and everything made from it are fakes.
#include "visual/histogram_visualizer.h"

#include "audio/block_lending.h"
#include "audio/pcm_queue.h"
#include "session/session_state.h"
#include "visual/bar_layout.h"
#include "visual/hue_color.h"
#include "win/visual/d2d_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

const std::string kWhole = "{0,0,1000,400}";
const std::string kTitle = "{0,66.6666641,1000,133.333328}";
const std::string kNewFrame = "window1.CreateCompatibleRenderTarget() -> ";

std::string brush_of(int32_t hue_step) {
    const FrameColor c = frame_color(hue_step);
    const D2D1_COLOR_F color = {c.r, c.g, c.b, c.a};
    return "CreateSolidColorBrush(" + fakes::color(&color) + ", null)";
}

class HistogramFrame : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1000, 400, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(session_state_init(&state, wake, &queue));
        // The real text format, then the fake factory in place of the real one.
        ASSERT_EQ(v.create_device_independent_resources(), S_OK);
        v.d2d_factory->Release();
        v.d2d_factory = static_cast<ID2D1Factory *>(world.factory());
        v.window_handle = window;
        v.session_state = &state;

        // A lent block of 1024 frames: a tone in bin 30, so the bars have heights.
        block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + 1024 * 4));
        *block = PcmBlock{nullptr, 1024, 44100, 2};
        for (int i = 0; i < 1024; ++i) {
            const double s = 12000 * std::sin(2 * std::numbers::pi * 30 * i / 256.0);
            block->samples()[2 * i] = static_cast<int16_t>(std::lround(s));
            block->samples()[2 * i + 1] = 0;
        }
        pcm_queue_lend(&queue, block);
    }

    void TearDown() override {
        if (block != nullptr) {
            pcm_queue_retire(&queue, block);
        }
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }

    HRESULT paint() {
        world.log.clear();
        return v.render();
    }

    // Paints without a block: only the device resources (window1, target1,
    // target2) are made, and a second such paint makes nothing. Then the
    // block becomes current.
    void make_device_resources() {
        ASSERT_EQ(paint(), S_OK);
        EXPECT_EQ(world.log, (Log{"factory.CreateHwndRenderTarget(1000x400) -> window1",
                                  "window1.CreateCompatibleRenderTarget() -> target1",
                                  "window1.CreateCompatibleRenderTarget() -> target2"}));
        EXPECT_EQ(paint(), S_OK);
        EXPECT_EQ(world.log, Log{});
        EXPECT_EQ(v.hue_step, 0);
        v.current_block = block;
    }

    // The log without the bars of target, which go to *bars.
    Log without_bars(const std::string &target, Log *bars = nullptr) const {
        Log rest, ignored;
        for (const std::string &line : world.log) {
            const bool bar = line.rfind(target + ".FillRectangle(", 0) == 0;
            (bar ? (bars != nullptr ? *bars : ignored) : rest).push_back(line);
        }
        return rest;
    }

    fakes::World world;
    HWND window = nullptr;
    PcmQueue queue = {};
    HANDLE wake = nullptr;
    SessionState state = {};
    HistogramVisualizer v;
    PcmBlock *block = nullptr;
};

class FrameDrawsTrailBarsAndTitle : public HistogramFrame {};
class FrameFailuresEndCleanly : public HistogramFrame {};

TEST_F(FrameDrawsTrailBarsAndTitle, FirstFrameHasNoTrail) {
    make_device_resources();
    EXPECT_EQ(paint(), S_OK);
    Log bars;
    EXPECT_EQ(without_bars("target3", &bars),
              (Log{kNewFrame + "target3", "target3.BeginDraw", "target3.Flush",
                   "target3.CreateSolidColorBrush({0,0,1,1}, null) -> brush1",
                   "target3.DrawText(\"\", 0, format, " + kTitle + ", brush1)", "brush1.Release",
                   "target3.EndDraw", "window1.BeginDraw",
                   "window1.CreateSolidColorBrush({0,0,0,1}, null) -> brush2",
                   "window1.FillRectangle(" + kWhole + ", brush2)", "target3.GetBitmap -> bitmap1",
                   "window1.DrawBitmap(bitmap1, " + kWhole + ", 1, linear, null)",
                   "brush2.SetColor({1,1,1,1})",
                   "window1.DrawText(\"\", 0, format, " + kTitle + ", brush2)", "bitmap1.Release",
                   "brush2.Release", "window1.EndDraw"}));
    // The bars of the analysed block, drawn between the brush and the title.
    BarRect layout[histogram::kMaxBars];
    ASSERT_EQ(bars.size(), 229u);
    ASSERT_EQ(bar_layout(1000, 400, v.history, v.peak, layout), 229);
    for (size_t k = 0; k < bars.size(); ++k) {
        EXPECT_EQ(bars[k], "target3.FillRectangle(" + fakes::quad(&layout[k].left) + ", brush1)");
    }
    EXPECT_NE(bars[20], "target3.FillRectangle({120,400,124,400}, brush1)") << "bin 30's tone";

    EXPECT_EQ(fakes::name_of(v.previous_frame), "target3");
    EXPECT_EQ(world.refs("target3"), 1);
    for (const char *spent : {"brush1", "brush2", "bitmap1"}) {
        EXPECT_EQ(world.refs(spent), 0) << spent;
    }
    EXPECT_EQ(v.hue_step, 1);
}

TEST_F(FrameDrawsTrailBarsAndTitle, NextFrameDrawsThePreviousShrunkAndFaded) {
    make_device_resources();
    ASSERT_EQ(paint(), S_OK);
    ASSERT_EQ(paint(), S_OK);
    const Log log = without_bars("target4");
    EXPECT_EQ(Log(log.begin(), log.begin() + 8),
              (Log{kNewFrame + "target4", "target4.BeginDraw", "target3.GetBitmap -> bitmap2",
                   "target4.DrawBitmap(bitmap2, {19.9999809,7.99999237,980,392}, 0.899999976, "
                   "linear, " +
                       kWhole + ")",
                   "bitmap2.Release", "target3.Release", "target4.Flush",
                   "target4." + brush_of(1) + " -> brush3"}));
    EXPECT_EQ(world.refs("target3"), 0);
    EXPECT_EQ(fakes::name_of(v.previous_frame), "target4");
    EXPECT_EQ(world.refs("target4"), 1);
}

// 101 frames make a turn of the colour cycle.
TEST_F(FrameDrawsTrailBarsAndTitle, ColourFollowsTheCycle) {
    make_device_resources();
    for (int frame = 0; frame < 103; ++frame) {
        ASSERT_EQ(v.hue_step, frame % 101);
        ASSERT_EQ(paint(), S_OK);
        const std::string target = "target" + std::to_string(frame + 3);
        EXPECT_EQ(without_bars(target).at(frame == 0 ? 3 : 7),
                  target + "." + brush_of(frame % 101) + " -> brush" +
                      std::to_string(2 * frame + 1))
            << "frame " << frame;
    }
}

// The window still names a block that was played and freed: it is not read,
// and the frame is drawn with the bins as they were.
TEST_F(FrameDrawsTrailBarsAndTitle, BlockNotLentIsNotRead) {
    make_device_resources();
    pcm_queue_retire(&queue, block);
    block = nullptr;
    alignas(PcmBlock) static unsigned char stale[sizeof(PcmBlock)];
    v.current_block = reinterpret_cast<PcmBlock *>(stale);
    EXPECT_EQ(paint(), S_OK);
    for (int j = 0; j < 256; ++j) {
        EXPECT_EQ(v.history[j], 0.0f);
    }
    EXPECT_EQ(v.peak, 0.0f);
    Log bars;
    without_bars("target3", &bars);
    ASSERT_EQ(bars.size(), 229u);
    EXPECT_EQ(bars[0], "target3.FillRectangle({40,400,44,400}, brush1)");
    EXPECT_EQ(world.log.back(), "window1.EndDraw");
}

// The status is the frame's flush, after the trail and before the bars; a
// failure there does not stop the frame. D2DERR_RECREATE_TARGET also drops
// the window's targets; the next paint makes them at the client size of that
// moment and still draws the old frame as its trail, with the new geometry.
TEST_F(FrameFailuresEndCleanly, FlushStatusIsReturnedAndRecreateDropsTheTargets) {
    make_device_resources();
    world.flush_result = E_INVALIDARG;
    EXPECT_EQ(paint(), E_INVALIDARG);
    EXPECT_EQ(world.log.back(), "window1.EndDraw");
    EXPECT_NE(v.render_target, nullptr);
    EXPECT_EQ(v.hue_step, 1);

    world.flush_result = static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
    EXPECT_EQ(paint(), static_cast<HRESULT>(D2DERR_RECREATE_TARGET));
    EXPECT_EQ(Log(world.log.end() - 4, world.log.end()),
              (Log{"window1.EndDraw", "target1.Release", "target2.Release", "window1.Release"}));
    EXPECT_EQ(v.render_target, nullptr);
    EXPECT_EQ(v.spare_target_1, nullptr);
    EXPECT_EQ(v.spare_target_2, nullptr);
    for (const char *dropped : {"window1", "target1", "target2"}) {
        EXPECT_EQ(world.refs(dropped), 0) << dropped;
    }
    EXPECT_EQ(world.refs("target4"), 1); // the frame

    world.flush_result = S_OK;
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 640, 300, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(paint(), S_OK);
    Log bars;
    const Log log = without_bars("target7", &bars);
    EXPECT_EQ(Log(log.begin(), log.begin() + 7),
              (Log{"factory.CreateHwndRenderTarget(640x300) -> window2",
                   "window2.CreateCompatibleRenderTarget() -> target5",
                   "window2.CreateCompatibleRenderTarget() -> target6",
                   "window2.CreateCompatibleRenderTarget() -> target7", "target7.BeginDraw",
                   "target4.GetBitmap -> bitmap4",
                   "target7.DrawBitmap(bitmap4, {12.7999878,5.99999428,627.200012,294}, "
                   "0.899999976, linear, {0,0,640,300})"}));
    EXPECT_EQ(bars.size(), 193u); // step 3, limit 610
    EXPECT_EQ(log[11], "target7.DrawText(\"\", 0, format, {0,50,640,100}, brush5)");
}

// Device resources that cannot be made: nothing is drawn, the failure is
// returned, and the next paint tries again.
TEST_F(FrameFailuresEndCleanly, DeviceResourceFailuresDrawNothing) {
    v.current_block = block;
    world.fail_at["window"] = 1;
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log, Log{"factory.CreateHwndRenderTarget(1000x400) failed"});
    EXPECT_EQ(v.render_target, nullptr);

    // The second spare fails: the window target and the first spare stay.
    world.fail_at["target"] = 2;
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log, (Log{"factory.CreateHwndRenderTarget(1000x400) -> window2",
                              "window2.CreateCompatibleRenderTarget() -> target1",
                              "window2.CreateCompatibleRenderTarget() failed"}));
    EXPECT_NE(v.spare_target_1, nullptr);
    EXPECT_EQ(v.spare_target_2, nullptr);
    EXPECT_EQ(v.hue_step, 0);

    // The following paint draws, without retrying the spare.
    EXPECT_EQ(paint(), S_OK);
    EXPECT_EQ(world.log[0], "window2.CreateCompatibleRenderTarget() -> target3");
    EXPECT_EQ(world.log.back(), "window2.EndDraw");
}

// An object of a frame that cannot be made ends the frame: what was begun is
// ended, what was made is released, the failure is returned and the colour
// stays. Nothing is drawn through an object that does not exist.
TEST_F(FrameFailuresEndCleanly, FrameObjectFailuresEndTheFrameCleanly) {
    make_device_resources();
    world.fail_at["target"] = 3; // the offscreen frame itself
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log, Log{"window1.CreateCompatibleRenderTarget() failed"});
    EXPECT_EQ(v.previous_frame, nullptr);
    ASSERT_EQ(paint(), S_OK); // target4, for a trail
    ASSERT_EQ(v.hue_step, 1);

    world.fail_at["bitmap"] = 2; // the trail's bitmap
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log,
              (Log{kNewFrame + "target5", "target5.BeginDraw", "target4.GetBitmap failed",
                   "target4.Release", "target5.EndDraw", "target5.Release"}));
    EXPECT_EQ(v.previous_frame, nullptr);
    EXPECT_EQ(world.refs("target4"), 0);
    EXPECT_EQ(world.refs("target5"), 0);

    world.fail_at["brush"] = world.made["brush"] + 1; // the frame's brush
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log,
              (Log{kNewFrame + "target6", "target6.BeginDraw", "target6.Flush",
                   "target6." + brush_of(1) + " failed", "target6.EndDraw", "target6.Release"}));
    EXPECT_EQ(v.previous_frame, nullptr);

    // The window's brush: the frame is kept, the window's drawing ended.
    world.fail_at["brush"] = world.made["brush"] + 2;
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    Log rest = without_bars("target7");
    EXPECT_EQ(Log(rest.end() - 3, rest.end()),
              (Log{"window1.BeginDraw", "window1.CreateSolidColorBrush({0,0,0,1}, null) failed",
                   "window1.EndDraw"}));
    EXPECT_EQ(world.refs("target7"), 1);

    // The frame's bitmap for the window (the trail's is made).
    world.fail_at["bitmap"] = world.made["bitmap"] + 2;
    EXPECT_EQ(paint(), E_OUTOFMEMORY);
    rest = without_bars("target8");
    const std::string brush = "brush" + std::to_string(world.made["brush"]);
    EXPECT_EQ(
        Log(rest.end() - 6, rest.end()),
        (Log{"window1.BeginDraw", "window1.CreateSolidColorBrush({0,0,0,1}, null) -> " + brush,
             "window1.FillRectangle(" + kWhole + ", " + brush + ")", "target8.GetBitmap failed",
             brush + ".Release", "window1.EndDraw"}));
    EXPECT_EQ(v.hue_step, 1);

    for (const auto &object : world.objects) {
        if (object->name().rfind("brush", 0) == 0 || object->name().rfind("bitmap", 0) == 0) {
            EXPECT_EQ(object->refs, 0) << object->name();
        }
    }
}

} // namespace
