// One histogram frame, call by call, against recording fakes of the Direct2D
// objects (d2d_fakes.h). The window is real (its client size is read), the
// text format is DirectWrite's own; the factory and everything made from it
// are fakes.
#include "visual/histogram_visualizer.h"

#include "audio/block_lending.h"
#include "audio/pcm_queue.h"
#include "session/session_state.h"
#include "visual/bar_layout.h"
#include "visual/hue_color.h"
#include "win/visual/d2d_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace {

using fakes::World;

const char kWhole[] = "{0,0,1000,400}";
const char kTrail[] = "{19.9999809,7.99999237,980,392}";
const char kTitle[] = "{0,66.6666641,1000,133.333328}";

std::string draw_text(const std::string &brush) {
    return std::string("DrawText(\"\", 0, format, ") + kTitle + ", " + brush + ", 0, natural)";
}

std::string name_of(ID2D1BitmapRenderTarget *target) {
    auto *fake = dynamic_cast<fakes::FakeBitmapTarget *>(target);
    return fake != nullptr ? fake->name() : "none";
}

class HistogramFrame : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1000, 400, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        RECT client;
        ASSERT_TRUE(GetClientRect(window, &client));
        ASSERT_EQ(client.right - client.left, 1000);
        ASSERT_EQ(client.bottom - client.top, 400);

        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(session_state_init(&state, wake, &queue));

        // The real text format, then the fake factory in place of the real one.
        ASSERT_EQ(v.create_device_independent_resources(), S_OK);
        ASSERT_NE(v.text_format, nullptr);
        v.d2d_factory->Release();
        v.d2d_factory = &world.factory;
        v.window_handle = window;
        v.session_state = &state;

        // A lent block: a tone of 1024 frames, so the bars have heights.
        block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + 1024 * 4));
        block->next = nullptr;
        block->frame_count = 1024;
        block->sample_rate = 44100;
        block->channel_count = 2;
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

    // Makes the device resources (window1, target1, target2) with no block,
    // then clears the log.
    void make_device_resources() {
        ASSERT_EQ(v.render(), S_OK);
        ASSERT_NE(v.render_target, nullptr);
        world.log.clear();
    }

    // The log with the bars taken out; the bars go to bars_out.
    std::vector<std::string> without_bars(const std::string &target,
                                          std::vector<std::string> *bars_out = nullptr) const {
        std::vector<std::string> rest;
        const std::string prefix = target + ".FillRectangle(";
        for (const auto &line : world.log) {
            if (line.compare(0, prefix.size(), prefix) == 0 &&
                line.find(std::string(kWhole) + ",") == std::string::npos) {
                if (bars_out != nullptr) {
                    bars_out->push_back(line);
                }
            } else {
                rest.push_back(line);
            }
        }
        return rest;
    }

    // The bars that the layout gives for the visualiser's bins now.
    std::vector<std::string> expected_bars(const std::string &target,
                                           const std::string &brush) const {
        BarRect bars[histogram::kMaxBars];
        const int count = bar_layout(1000, 400, v.history, v.peak, bars);
        std::vector<std::string> out;
        for (int k = 0; k < count; ++k) {
            const D2D1_RECT_F r = {bars[k].left, bars[k].top, bars[k].right, bars[k].bottom};
            out.push_back(target + ".FillRectangle(" + fakes::rect(&r) + ", " + brush + ")");
        }
        return out;
    }

    HWND window = nullptr;
    PcmQueue queue = {};
    HANDLE wake = nullptr;
    SessionState state = {};
    World world;
    HistogramVisualizer v;
    PcmBlock *block = nullptr;
};

// Suites, by the behaviour they prove.
class FrameDrawsTrailBarsAndTitle : public HistogramFrame {};
class FrameFailuresEndCleanly : public HistogramFrame {};

TEST_F(FrameDrawsTrailBarsAndTitle, WithoutBlockOnlyTheDeviceResourcesAreMade) {
    EXPECT_EQ(v.render(), S_OK);
    const std::vector<std::string> expected = {
        "factory.CreateHwndRenderTarget(1000x400) -> window1",
        "window1.CreateCompatibleRenderTarget(null, null, null, 0) -> target1",
        "window1.CreateCompatibleRenderTarget(null, null, null, 0) -> target2",
    };
    EXPECT_EQ(world.log, expected);
    EXPECT_EQ(world.window_properties.hwnd, window);
    EXPECT_EQ(world.window_properties.presentOptions, D2D1_PRESENT_OPTIONS_NONE);
    EXPECT_EQ(world.target_properties.type, D2D1_RENDER_TARGET_TYPE_DEFAULT);
    EXPECT_EQ(world.target_properties.pixelFormat.format, DXGI_FORMAT_UNKNOWN);
    EXPECT_EQ(world.target_properties.pixelFormat.alphaMode, D2D1_ALPHA_MODE_UNKNOWN);
    EXPECT_EQ(world.target_properties.dpiX, 0.0f);
    EXPECT_EQ(world.target_properties.dpiY, 0.0f);
    EXPECT_EQ(world.target_properties.usage, D2D1_RENDER_TARGET_USAGE_NONE);
    EXPECT_EQ(world.target_properties.minLevel, D2D1_FEATURE_LEVEL_DEFAULT);
    EXPECT_EQ(v.hue_step, 0);

    // A second paint without a block makes nothing more.
    world.log.clear();
    EXPECT_EQ(v.render(), S_OK);
    EXPECT_TRUE(world.log.empty());
}

TEST_F(FrameDrawsTrailBarsAndTitle, FirstFrameHasNoTrail) {
    make_device_resources();
    v.current_block = block;
    EXPECT_EQ(v.render(), S_OK);

    std::vector<std::string> bars;
    const std::vector<std::string> expected = {
        "window1.CreateCompatibleRenderTarget(null, null, null, 0) -> target3",
        "target3.BeginDraw",
        "target3.Flush",
        "target3.CreateSolidColorBrush({0,0,1,1}, null) -> brush1",
        "target3." + draw_text("brush1"),
        "brush1.Release",
        "target3.EndDraw",
        "window1.BeginDraw",
        "window1.CreateSolidColorBrush({0,0,0,1}, null) -> brush2",
        std::string("window1.FillRectangle(") + kWhole + ", brush2)",
        "target3.GetBitmap -> bitmap1",
        std::string("window1.DrawBitmap(bitmap1, ") + kWhole + ", 1, linear, null)",
        "brush2.SetColor({1,1,1,1})",
        "window1." + draw_text("brush2"),
        "bitmap1.Release",
        "brush2.Release",
        "window1.EndDraw",
    };
    EXPECT_EQ(without_bars("target3", &bars), expected);

    // The bars: the analysed block's layout, between the brush and the title.
    EXPECT_EQ(bars, expected_bars("target3", "brush1"));
    ASSERT_EQ(bars.size(), 229u);
    EXPECT_GT(v.peak, 0.0f);
    EXPECT_NE(bars[20], "target3.FillRectangle({120,400,124,400}, brush1)")
        << "bin 30 carries the tone";

    EXPECT_EQ(name_of(v.previous_frame), "target3");
    EXPECT_EQ(world.refs("target3"), 1); // held by previous_frame
    EXPECT_EQ(world.refs("brush1"), 0);
    EXPECT_EQ(world.refs("brush2"), 0);
    EXPECT_EQ(world.refs("bitmap1"), 0);
    EXPECT_EQ(v.hue_step, 1);
}

TEST_F(FrameDrawsTrailBarsAndTitle, NextFrameDrawsThePreviousShrunkAndFaded) {
    make_device_resources();
    v.current_block = block;
    ASSERT_EQ(v.render(), S_OK);
    world.log.clear();
    ASSERT_EQ(v.render(), S_OK);

    const std::vector<std::string> log = without_bars("target4");
    const std::vector<std::string> start(log.begin(), log.begin() + 8);
    const std::vector<std::string> expected = {
        "window1.CreateCompatibleRenderTarget(null, null, null, 0) -> target4",
        "target4.BeginDraw",
        "target3.GetBitmap -> bitmap2",
        std::string("target4.DrawBitmap(bitmap2, ") + kTrail + ", 0.899999976, linear, " + kWhole +
            ")",
        "bitmap2.Release",
        "target3.Release",
        "target4.Flush",
        "target4.CreateSolidColorBrush({" + fakes::num(frame_color(1).r) + "," +
            fakes::num(frame_color(1).g) + ",1,1}, null) -> brush3",
    };
    EXPECT_EQ(start, expected);
    EXPECT_EQ(world.refs("target3"), 0);
    EXPECT_EQ(world.refs("target4"), 1);
    EXPECT_EQ(name_of(v.previous_frame), "target4");
    EXPECT_EQ(v.hue_step, 2);
}

// 101 frames make a turn: each frame's brush has the colour of its step.
TEST_F(FrameDrawsTrailBarsAndTitle, ColourFollowsTheCycle) {
    make_device_resources();
    v.current_block = block;
    for (int frame = 0; frame < 103; ++frame) {
        const int32_t step = v.hue_step;
        EXPECT_EQ(step, frame % 101);
        const FrameColor c = frame_color(step);
        const D2D1_COLOR_F expected = {c.r, c.g, c.b, c.a};
        world.log.clear();
        ASSERT_EQ(v.render(), S_OK);
        const auto brushes = world.lines("target");
        bool found = false;
        for (const auto &line : brushes) {
            if (line.find("CreateSolidColorBrush(" + fakes::color(&expected)) !=
                std::string::npos) {
                found = true;
            }
        }
        EXPECT_TRUE(found) << "frame " << frame;
    }
    EXPECT_EQ(v.hue_step, 2);
}

// WM_SIZE drops the window's targets; the next paint makes them at the new
// client size, and the frame's geometry follows it.
TEST_F(FrameDrawsTrailBarsAndTitle, ResizeMakesTargetsOfTheNewSize) {
    v.discard_device_resources(); // before the first paint: nothing to release
    v.discard_device_resources();
    EXPECT_TRUE(world.log.empty());

    make_device_resources();
    v.current_block = block;
    v.discard_device_resources();
    const std::vector<std::string> released = {"target1.Release", "target2.Release",
                                               "window1.Release"};
    EXPECT_EQ(world.log, released);
    world.log.clear();

    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 640, 300, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(v.render(), S_OK);
    EXPECT_EQ(world.log[0], "factory.CreateHwndRenderTarget(640x300) -> window2");
    std::vector<std::string> bars;
    const std::vector<std::string> rest = without_bars("target5", &bars);
    EXPECT_EQ(bars.size(), 193u); // step 3, limit 610
    EXPECT_EQ(bars[0].substr(0, 27), "target5.FillRectangle({30,3");
    EXPECT_NE(std::find(rest.begin(), rest.end(), "window2.FillRectangle({0,0,640,300}, brush2)"),
              rest.end());
    EXPECT_NE(std::find(rest.begin(), rest.end(),
                        "target5.DrawText(\"\", 0, format, {0,50,640,100}, brush1, 0, natural)"),
              rest.end());
}

// A minimised window's empty client area goes to Direct2D as it is.
TEST_F(FrameDrawsTrailBarsAndTitle, EmptyClientAreaIsPassedUnchanged) {
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER));
    v.render();
    EXPECT_EQ(world.log[0], "factory.CreateHwndRenderTarget(0x0) -> window1");
    EXPECT_EQ(world.window_properties.pixelSize.width, 0u);
    EXPECT_EQ(world.window_properties.pixelSize.height, 0u);
}

// The title's format: "Georgia" at 48, "en-us", centred, DirectWrite's
// defaults otherwise (top of the layout box, wrapping on).
TEST_F(FrameDrawsTrailBarsAndTitle, TitleFormatIsGeorgia48Centred) {
    IDWriteTextFormat *format = v.text_format;
    WCHAR family[64] = {};
    ASSERT_EQ(format->GetFontFamilyName(family, 64), S_OK);
    EXPECT_EQ(std::wstring(family), L"Georgia");
    WCHAR locale[16] = {};
    ASSERT_EQ(format->GetLocaleName(locale, 16), S_OK);
    EXPECT_EQ(std::wstring(locale), L"en-us");
    EXPECT_EQ(format->GetFontSize(), 48.0f);
    EXPECT_EQ(format->GetFontWeight(), DWRITE_FONT_WEIGHT_NORMAL);
    EXPECT_EQ(format->GetFontStyle(), DWRITE_FONT_STYLE_NORMAL);
    EXPECT_EQ(format->GetFontStretch(), DWRITE_FONT_STRETCH_NORMAL);
    EXPECT_EQ(format->GetTextAlignment(), DWRITE_TEXT_ALIGNMENT_CENTER);
    EXPECT_EQ(format->GetParagraphAlignment(), DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    EXPECT_EQ(format->GetWordWrapping(), DWRITE_WORD_WRAPPING_WRAP);
    IDWriteFontCollection *collection = nullptr;
    ASSERT_EQ(format->GetFontCollection(&collection), S_OK);
    ASSERT_NE(collection, nullptr); // the system collection
    collection->Release();
}

// The status is the frame's flush, after the trail and before the bars; a
// failure there does not stop the frame.
TEST_F(FrameFailuresEndCleanly, ReturnsTheFlushStatus) {
    make_device_resources();
    v.current_block = block;
    world.flush_result = E_INVALIDARG;
    EXPECT_EQ(v.render(), E_INVALIDARG);
    EXPECT_EQ(world.log.back(), "window1.EndDraw");
    EXPECT_NE(v.render_target, nullptr);
    EXPECT_EQ(v.hue_step, 1);
}

TEST_F(FrameFailuresEndCleanly, RecreateTargetDropsTheWindowTargets) {
    make_device_resources();
    v.current_block = block;
    world.flush_result = static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
    EXPECT_EQ(v.render(), static_cast<HRESULT>(D2DERR_RECREATE_TARGET));
    const std::vector<std::string> tail(world.log.end() - 4, world.log.end());
    const std::vector<std::string> expected = {"window1.EndDraw", "target1.Release",
                                               "target2.Release", "window1.Release"};
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(v.render_target, nullptr);
    EXPECT_EQ(v.spare_target_1, nullptr);
    EXPECT_EQ(v.spare_target_2, nullptr);
    EXPECT_EQ(world.refs("window1"), 0);
    EXPECT_EQ(world.refs("target1"), 0);
    EXPECT_EQ(world.refs("target2"), 0);
    // The frame survives as the next trail.
    EXPECT_EQ(world.refs("target3"), 1);

    // The next paint makes new targets before drawing, and draws the old
    // frame as its trail.
    world.flush_result = S_OK;
    world.log.clear();
    EXPECT_EQ(v.render(), S_OK);
    ASSERT_GE(world.log.size(), 6u);
    EXPECT_EQ(world.log[0], "factory.CreateHwndRenderTarget(1000x400) -> window2");
    EXPECT_EQ(world.log[3], "window2.CreateCompatibleRenderTarget(null, null, null, 0) -> target6");
    EXPECT_EQ(world.log[5], "target3.GetBitmap -> bitmap2");
}

TEST_F(FrameDrawsTrailBarsAndTitle, BlockNotLentIsNotRead) {
    make_device_resources();
    pcm_queue_retire(&queue, block); // played and freed: no longer lent
    block = nullptr;
    // A stale pointer the window still holds; never dereferenced.
    alignas(PcmBlock) static unsigned char stale[sizeof(PcmBlock)];
    v.current_block = reinterpret_cast<PcmBlock *>(stale);
    EXPECT_EQ(v.render(), S_OK);
    for (int j = 0; j < 256; ++j) {
        EXPECT_EQ(v.history[j], 0.0f);
    }
    EXPECT_EQ(v.peak, 0.0f);
    // The frame is still drawn, with bars of height zero.
    std::vector<std::string> bars;
    without_bars("target3", &bars);
    ASSERT_EQ(bars.size(), 229u);
    EXPECT_EQ(bars[0], "target3.FillRectangle({40,400,44,400}, brush1)");
    EXPECT_EQ(world.log.back(), "window1.EndDraw");
}

// Device resources that cannot be made: nothing is drawn, the failure is
// returned, and the next paint tries again.
TEST_F(FrameFailuresEndCleanly, DeviceResourceFailuresDrawNothing) {
    v.current_block = block;
    world.fail_window_target = 1;
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log,
              std::vector<std::string>{"factory.CreateHwndRenderTarget(1000x400) failed"});
    EXPECT_EQ(v.render_target, nullptr);

    // The second spare fails: the window target and the first spare stay.
    world.log.clear();
    world.fail_compatible_target = 2;
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    const std::vector<std::string> expected = {
        "factory.CreateHwndRenderTarget(1000x400) -> window2",
        "window2.CreateCompatibleRenderTarget(null, null, null, 0) -> target1",
        "window2.CreateCompatibleRenderTarget(null, null, null, 0) failed",
    };
    EXPECT_EQ(world.log, expected);
    EXPECT_NE(v.render_target, nullptr);
    EXPECT_NE(v.spare_target_1, nullptr);
    EXPECT_EQ(v.spare_target_2, nullptr);
    EXPECT_EQ(v.hue_step, 0);

    // The following paint draws normally, without retrying the spare.
    world.log.clear();
    EXPECT_EQ(v.render(), S_OK);
    EXPECT_EQ(world.log[0], "window2.CreateCompatibleRenderTarget(null, null, null, 0) -> target3");
    EXPECT_EQ(world.log.back(), "window2.EndDraw");
}

// Each object of a frame that cannot be made ends the frame: what was begun
// is ended, what was made is released, and the failure is returned. Nothing
// is drawn through an object that does not exist.
TEST_F(FrameFailuresEndCleanly, FrameObjectFailuresEndTheFrameCleanly) {
    make_device_resources();
    v.current_block = block;

    // The offscreen frame itself.
    world.fail_compatible_target = 3;
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    EXPECT_EQ(world.log, std::vector<std::string>{
                             "window1.CreateCompatibleRenderTarget(null, null, null, 0) failed"});
    EXPECT_EQ(v.previous_frame, nullptr);
    EXPECT_EQ(v.hue_step, 0);

    // A good frame, for a trail.
    world.log.clear();
    ASSERT_EQ(v.render(), S_OK); // target4, bitmap1
    ASSERT_EQ(v.hue_step, 1);

    // The trail's bitmap.
    world.log.clear();
    world.fail_bitmap = 2;
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    std::vector<std::string> expected = {
        "window1.CreateCompatibleRenderTarget(null, null, null, 0) -> target5",
        "target5.BeginDraw",
        "target4.GetBitmap failed",
        "target4.Release",
        "target5.EndDraw",
        "target5.Release",
    };
    EXPECT_EQ(world.log, expected);
    EXPECT_EQ(v.previous_frame, nullptr);
    EXPECT_EQ(world.refs("target4"), 0);
    EXPECT_EQ(world.refs("target5"), 0);
    EXPECT_EQ(v.hue_step, 1);

    // The frame's brush.
    world.log.clear();
    world.fail_brush = world.brushes + 1;
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    expected = {
        "window1.CreateCompatibleRenderTarget(null, null, null, 0) -> target6",
        "target6.BeginDraw",
        "target6.Flush",
        "target6.CreateSolidColorBrush({" + fakes::num(frame_color(1).r) + "," +
            fakes::num(frame_color(1).g) + ",1,1}, null) failed",
        "target6.EndDraw",
        "target6.Release",
    };
    EXPECT_EQ(world.log, expected);
    EXPECT_EQ(v.previous_frame, nullptr);
    EXPECT_EQ(v.hue_step, 1);

    // The window's brush: the frame is kept, the window's drawing is ended.
    world.log.clear();
    world.fail_brush = world.brushes + 2;
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    std::vector<std::string> rest = without_bars("target7");
    expected = {"window1.BeginDraw", "window1.CreateSolidColorBrush({0,0,0,1}, null) failed",
                "window1.EndDraw"};
    EXPECT_EQ(std::vector<std::string>(rest.end() - 3, rest.end()), expected);
    EXPECT_EQ(world.refs("target7"), 1);
    EXPECT_EQ(v.hue_step, 1);

    // The frame's bitmap for the window.
    world.log.clear();
    world.fail_bitmap = world.bitmaps + 2; // the trail's succeeds, the window's fails
    EXPECT_EQ(v.render(), E_OUTOFMEMORY);
    rest = without_bars("target8");
    expected = {"window1.BeginDraw",
                "window1.CreateSolidColorBrush({0,0,0,1}, null) -> brush" +
                    std::to_string(world.brushes),
                std::string("window1.FillRectangle(") + kWhole + ", brush" +
                    std::to_string(world.brushes) + ")",
                "target8.GetBitmap failed",
                "brush" + std::to_string(world.brushes) + ".Release",
                "window1.EndDraw"};
    EXPECT_EQ(std::vector<std::string>(rest.end() - 6, rest.end()), expected);
    EXPECT_EQ(v.hue_step, 1);

    // Every brush and bitmap made was released.
    for (const auto &[name, refs] : world.objects) {
        if (name.rfind("brush", 0) == 0 || name.rfind("bitmap", 0) == 0) {
            EXPECT_EQ(*refs, 0) << name;
        }
    }
}

} // namespace
