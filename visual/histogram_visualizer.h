// The spectrum histogram: each paint folds the block now playing into 256
// smoothed bins, then draws the bars and the title line over the previous
// frame, shrunk and faded, and puts the frame on the window over black,
// with the time line (visual/time_line_text.h) at the bottom, on the window
// only, never in the trail.
//
// Threads: main thread only. current_block points to a block that the audio
// output thread owns and frees once played; render reads it only while
// borrowed through the session's block lending (audio/block_lending.h).
#pragma once

#include "visual/visualizer.h"

#include <dwrite.h>

#include <cstdint>
#include <string>

struct PcmBlock;

// A text laid out in a box, kept while the text, the box's size and the
// font's size in pixels stay.
struct CachedLayout {
    IDWriteTextLayout *layout = nullptr; // one reference, or null
    std::wstring text;
    D2D1_SIZE_F size = {0.0f, 0.0f};
    float font_size = 0.0f;
};

class HistogramVisualizer final : public Visualizer {
public:
    // Every pointer null, hue_step and peak 0, history 256 zeros. Throws
    // std::bad_alloc when history cannot be allocated.
    HistogramVisualizer();

    HRESULT render() override;
    // Puts the last frame on the window again with the title and a time line
    // made anew, without drawing a new frame: the trail stays as it is. Does
    // nothing before the first frame.
    HRESULT present_again();
    // The Direct2D factory, the DirectWrite factory, the title's text format
    // ("Georgia", 48, "en-us", centred) and the time line's ("Tahoma", 15,
    // centred), stopping at the first failure. The sizes are at 100 %
    // scaling; layouts scale them to the window's dpi.
    HRESULT create_device_independent_resources() override;

    // The layout of text in format, its font scaled to the window's dpi, in
    // a box of the given size, kept in cache while all stay the same; null
    // when it cannot be made.
    IDWriteTextLayout *layout_for(CachedLayout &cache, IDWriteTextFormat *format,
                                  const std::wstring &text, const D2D1_RECT_F &box);
    // The time line as the next paint shows it.
    std::wstring time_line() const;

    PcmBlock *current_block;             // set on UM_AUDIO_BLOCK; borrowed, never freed here
    IDWriteFactory *dwrite_factory;      // one reference, or null
    IDWriteTextFormat *text_format;      // one reference, or null
    IDWriteTextFormat *time_line_format; // one reference, or null
    CachedLayout title_layout;           // the title last laid out
    CachedLayout time_line_layout;       // the time line last laid out
    uint64_t volume_note_until;          // GetTickCount64 time: the line shows the volume till then
    bool line_only_paint;                // the next paint is for the time line alone
    ID2D1BitmapRenderTarget *previous_frame; // one reference: the last frame drawn, or null
    int32_t hue_step;                        // position in the colour cycle, 0 to 100
    float *history;                          // 256 smoothed bins, owned
    float peak;                              // smoothed maximum of bins 10 to 255
};
