#include "visual/histogram_visualizer.h"

#include "audio/block_lending.h"
#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/session_state.h"
#include "visual/bar_layout.h"
#include "visual/hue_color.h"
#include "visual/spectrum_analysis.h"
#include "visual/time_line_text.h"
#include "visual/title_text.h"

#include <cmath>
#include <string>

namespace {

// The trail shrinks each frame to this share of its size, about the centre,
// and fades to this opacity. Both are the single-precision values, used as
// they are in double arithmetic.
constexpr float kTrailScale = 0.98f;
constexpr float kTrailOpacity = 0.9f;
// The time line's band at the bottom of the window, and its text's size, at
// 100 % scaling.
constexpr double kTimeLineHeight = 24;
constexpr float kTimeLineFontSize = 15.0f;

D2D1_RECT_F rect(double left, double top, double right, double bottom) {
    return D2D1_RECT_F{static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
                       static_cast<float>(bottom)};
}

// The geometry of one frame, from the client size and the window's dpi.
struct FrameGeometry {
    int32_t width;
    int32_t height;
    D2D1_RECT_F whole;
    D2D1_RECT_F trail;
    D2D1_RECT_F title;
    D2D1_RECT_F time_line;
};

FrameGeometry frame_geometry(const RECT &client, UINT dpi) {
    FrameGeometry g;
    g.width = client.right - client.left;
    g.height = client.bottom - client.top;
    const double w = static_cast<float>(g.width);
    const double h = static_cast<float>(g.height);
    const double scale = kTrailScale;
    g.whole = rect(0, 0, w, h);
    g.trail = rect(w - w * scale, h - h * scale, w * scale, h * scale);
    g.title = rect(0, h / 6, w, h / 3);
    // The band grows with the scaling and keeps to whole pixels, so that it
    // covers whole rows of the bars.
    g.time_line = rect(0, h - std::round(kTimeLineHeight * dpi / 96), w, h);
    return g;
}

// What one frame shows, computed before anything is drawn.
struct FrameContent {
    FrameGeometry geometry;
    IDWriteTextLayout *title;     // may be null: then no title is drawn
    IDWriteTextLayout *time_line; // may be null: then no time line is drawn
    D2D1_COLOR_F color;
    BarRect bars[histogram::kMaxBars];
    int bar_count;
};

// The bars as one geometry, a figure for each bar that has a height, so that
// they are filled in one call: under software rendering each fill has a
// large cost of its own, whatever its size. The bars touch but never
// overlap, so the figures cover what the rectangles would, and their edges
// are on whole pixels.
HRESULT bars_geometry(ID2D1Factory *factory, const FrameContent &content, ID2D1PathGeometry **out) {
    ID2D1PathGeometry *bars = nullptr;
    HRESULT made = factory->CreatePathGeometry(&bars);
    ID2D1GeometrySink *sink = nullptr;
    if (SUCCEEDED(made)) {
        made = bars->Open(&sink);
    }
    if (SUCCEEDED(made)) {
        for (int k = 0; k < content.bar_count; ++k) {
            const BarRect &b = content.bars[k];
            if (b.top == b.bottom) {
                continue; // an empty rectangle fills nothing
            }
            sink->BeginFigure(D2D1_POINT_2F{b.left, b.top}, D2D1_FIGURE_BEGIN_FILLED);
            const D2D1_POINT_2F corners[] = {
                {b.right, b.top}, {b.right, b.bottom}, {b.left, b.bottom}};
            sink->AddLines(corners, 3);
            sink->EndFigure(D2D1_FIGURE_END_CLOSED);
        }
        made = sink->Close();
    }
    release(sink);
    if (FAILED(made)) {
        release(bars);
        return made;
    }
    *out = bars;
    return S_OK;
}

// The offscreen frame: the previous frame shrunk and faded (which is then
// released), the bars and the title in the frame's colour. On success the
// new frame is returned in *frame_out and *flush holds the flush status; on
// a failure to make an object, what was begun is ended, what was made is
// released, and the failure is returned.
HRESULT draw_offscreen(ID2D1Factory *factory, ID2D1HwndRenderTarget *window_target,
                       ID2D1BitmapRenderTarget *&previous_frame, const FrameContent &content,
                       ID2D1BitmapRenderTarget **frame_out, HRESULT *flush) {
    const FrameGeometry &g = content.geometry;
    ID2D1BitmapRenderTarget *frame = nullptr;
    HRESULT made = window_target->CreateCompatibleRenderTarget(
        nullptr, nullptr, nullptr, D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &frame);
    if (FAILED(made)) {
        return made;
    }
    frame->BeginDraw(); // not cleared: the trail is drawn over what a new target holds
    if (previous_frame != nullptr) {
        ID2D1Bitmap *bitmap = nullptr;
        made = previous_frame->GetBitmap(&bitmap);
        if (SUCCEEDED(made)) {
            frame->DrawBitmap(bitmap, &g.trail, kTrailOpacity,
                              D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, &g.whole);
            release(bitmap);
        }
        release(previous_frame); // spent as the trail, or unusable as one
    }
    ID2D1SolidColorBrush *brush = nullptr;
    ID2D1PathGeometry *bars = nullptr;
    if (SUCCEEDED(made)) {
        *flush = frame->Flush(nullptr, nullptr);
        made = frame->CreateSolidColorBrush(&content.color, nullptr, &brush);
    }
    if (SUCCEEDED(made)) {
        made = bars_geometry(factory, content, &bars);
    }
    if (SUCCEEDED(made)) {
        frame->FillGeometry(bars, brush, nullptr);
        if (content.title != nullptr) {
            frame->DrawTextLayout(D2D1_POINT_2F{g.title.left, g.title.top}, content.title, brush,
                                  D2D1_DRAW_TEXT_OPTIONS_NONE);
        }
    }
    release(bars);
    release(brush);
    frame->EndDraw(nullptr, nullptr); // its result is not examined
    if (FAILED(made)) {
        release(frame);
        return made;
    }
    *frame_out = frame;
    return S_OK;
}

// The window: black, the frame over it, the title again in white, and the
// time line, white on a black band of its own at the bottom.
HRESULT present(ID2D1HwndRenderTarget *window_target, ID2D1BitmapRenderTarget *frame,
                const FrameContent &content) {
    const FrameGeometry &g = content.geometry;
    ID2D1SolidColorBrush *brush = nullptr;
    ID2D1Bitmap *bitmap = nullptr;
    window_target->BeginDraw();
    const D2D1_COLOR_F black = {0.0f / 255, 0.0f / 255, 0.0f / 255, 1.0f};
    HRESULT made = window_target->CreateSolidColorBrush(&black, nullptr, &brush);
    if (SUCCEEDED(made)) {
        window_target->FillRectangle(&g.whole, brush);
        made = frame->GetBitmap(&bitmap);
    }
    if (SUCCEEDED(made)) {
        window_target->DrawBitmap(bitmap, &g.whole, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR,
                                  nullptr);
        const D2D1_COLOR_F white = {1.0f, 1.0f, 1.0f, 1.0f};
        brush->SetColor(&white);
        if (content.title != nullptr) {
            window_target->DrawTextLayout(D2D1_POINT_2F{g.title.left, g.title.top}, content.title,
                                          brush, D2D1_DRAW_TEXT_OPTIONS_NONE);
        }
        if (content.time_line != nullptr) {
            brush->SetColor(&black);
            window_target->FillRectangle(&g.time_line, brush);
            brush->SetColor(&white);
            window_target->DrawTextLayout(D2D1_POINT_2F{g.time_line.left, g.time_line.top},
                                          content.time_line, brush, D2D1_DRAW_TEXT_OPTIONS_NONE);
        }
    }
    release(bitmap);
    release(brush);
    window_target->EndDraw(nullptr, nullptr); // its result is not examined
    return made;
}

} // namespace

HistogramVisualizer::HistogramVisualizer()
    : current_block(nullptr), dwrite_factory(nullptr), text_format(nullptr),
      time_line_format(nullptr), volume_note_until(0), line_only_paint(false),
      previous_frame(nullptr), hue_step(0), history(nullptr), peak(0.0f) {
    history = new float[histogram::kBins]();
}

// Factory, DirectWrite factory, then the title's and the time line's
// formats; the first failure ends the chain and is returned. The
// alignments' results are not examined.
HRESULT HistogramVisualizer::create_device_independent_resources() {
    HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, IID_ID2D1Factory, nullptr,
                                   reinterpret_cast<void **>(&d2d_factory));
    if (SUCCEEDED(hr)) {
        hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown **>(&dwrite_factory));
    }
    if (SUCCEEDED(hr)) {
        hr = dwrite_factory->CreateTextFormat(L"Georgia", nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                              DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                              48.0f, L"en-us", &text_format);
    }
    if (SUCCEEDED(hr)) {
        text_format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
        // A font every Windows has, small and plain.
        hr = dwrite_factory->CreateTextFormat(L"Tahoma", nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                              DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                              kTimeLineFontSize, L"en-us", &time_line_format);
    }
    if (SUCCEEDED(hr)) {
        time_line_format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
        time_line_format->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
    }
    return hr;
}

// A text laid out in its box, made again only when the text or the box's
// size changes: laying text out is a large share of a paint. Null when there
// is no text, no format, or the layout cannot be made; then nothing is drawn.
IDWriteTextLayout *HistogramVisualizer::layout_for(CachedLayout &cache, IDWriteTextFormat *format,
                                                   const std::wstring &text,
                                                   const D2D1_RECT_F &box) {
    const float width = box.right - box.left;
    const float height = box.bottom - box.top;
    const float font_size = format != nullptr ? format->GetFontSize() * dpi / 96 : 0.0f;
    if (cache.layout != nullptr && text == cache.text && width == cache.size.width &&
        height == cache.size.height && font_size == cache.font_size) {
        return cache.layout;
    }
    release(cache.layout);
    cache.text.clear();
    cache.size = D2D1_SIZE_F{0.0f, 0.0f};
    cache.font_size = 0.0f;
    const UINT32 length = static_cast<UINT32>(text.size());
    if (!text.empty() && format != nullptr && dwrite_factory != nullptr &&
        SUCCEEDED(dwrite_factory->CreateTextLayout(text.c_str(), length, format, width, height,
                                                   &cache.layout))) {
        // The targets' unit is the pixel: the format's size, in device-
        // independent pixels, becomes pixels at the window's resolution.
        if (font_size != format->GetFontSize())
            cache.layout->SetFontSize(font_size, DWRITE_TEXT_RANGE{0, length});
        cache.text = text;
        cache.size = D2D1_SIZE_F{width, height};
        cache.font_size = font_size;
    }
    return cache.layout;
}

std::wstring HistogramVisualizer::time_line() const {
    if (session_state == nullptr) {
        return std::wstring();
    }
    return time_line_text(session_playback_status(session_state),
                          GetTickCount64() < volume_note_until);
}

namespace {

// The frame's geometry and its two lines of text, the title and the time
// line, each laid out in its box.
void lay_out_lines(HistogramVisualizer &v, const FrameGeometry &geometry, FrameContent *content) {
    content->geometry = geometry;
    content->title =
        v.layout_for(v.title_layout, v.text_format, title_text(v.session_state), geometry.title);
    content->time_line =
        v.layout_for(v.time_line_layout, v.time_line_format, v.time_line(), geometry.time_line);
}

} // namespace

HRESULT HistogramVisualizer::present_again() {
    if (render_target == nullptr || previous_frame == nullptr) {
        return S_OK;
    }
    RECT client = {0, 0, 0, 0};
    GetClientRect(window_handle, &client);
    FrameContent content{};
    lay_out_lines(*this, frame_geometry(client, dpi), &content);
    const HRESULT status = present(render_target, previous_frame, content);
    if (status == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
        discard_device_resources();
    }
    return status;
}

// One frame: analyse the block now playing, draw a new offscreen frame (the
// previous one shrunk and faded, the bars and the title in this frame's
// colour), then put it on the window over black with the title in white.
//
// The status returned is the offscreen frame's flush, taken after the trail
// and before the bars. An object of the frame that cannot be made ends the
// frame instead, and its failure is returned; the colour cycle advances only
// for a frame that reached the window. D2DERR_RECREATE_TARGET drops the
// window's targets; the next paint makes them again.
HRESULT HistogramVisualizer::render() {
    HRESULT status = S_OK;
    if (render_target == nullptr) {
        status = create_device_resources();
    }
    if (SUCCEEDED(status) && current_block != nullptr) {
        RECT client = {0, 0, 0, 0};
        GetClientRect(window_handle, &client); // a failure leaves the empty rectangle

        // The block belongs to the audio output thread, which may have freed
        // it since it was posted: it is read only while lent to the window.
        // When it is not, the bins stay as they are for this paint.
        BlockLending *lending =
            session_state != nullptr ? session_block_lending(session_state) : nullptr;
        if (lending != nullptr) {
            if (const PcmBlock *block = block_lending_borrow(lending, current_block)) {
                analyse_block(history, &peak, block->samples(), block->frame_count,
                              block->channel_count);
                block_lending_give_back(lending);
            }
        }

        FrameContent content;
        lay_out_lines(*this, frame_geometry(client, dpi), &content);
        const FrameColor c = frame_color(hue_step);
        content.color = D2D1_COLOR_F{c.r, c.g, c.b, c.a};
        content.bar_count = bar_layout(content.geometry.width, content.geometry.height, history,
                                       peak, content.bars);

        ID2D1BitmapRenderTarget *frame = nullptr;
        HRESULT made =
            draw_offscreen(d2d_factory, render_target, previous_frame, content, &frame, &status);
        if (SUCCEEDED(made)) {
            previous_frame = frame; // the field takes over the frame's reference
            made = present(render_target, previous_frame, content);
        }
        if (SUCCEEDED(made)) {
            hue_step = hue_step_advance(hue_step);
        } else {
            status = made;
        }
    }
    if (status == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
        discard_device_resources();
    }
    return status;
}
