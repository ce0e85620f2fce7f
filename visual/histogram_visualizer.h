// The spectrum histogram: each paint folds the block now playing into 256
// smoothed bins, then draws the bars and the title line over the previous
// frame, shrunk and faded, and puts the frame on the window over black.
//
// Threads: main thread only. current_block points to a block that the audio
// output thread owns and frees once played; render reads it only while
// borrowed through the queue's lending (audio/block_lending.h).
#pragma once

#include "visual/visualizer.h"

#include <dwrite.h>

#include <cstdint>
#include <string>

struct PcmBlock;

class HistogramVisualizer final : public Visualizer {
public:
    // Every pointer null, hue_step and peak 0, history 256 zeros. Throws
    // std::bad_alloc when history cannot be allocated.
    HistogramVisualizer();

    HRESULT render() override;
    // The Direct2D factory, the DirectWrite factory and the title's text
    // format ("Georgia", 48, "en-us", centred), stopping at the first failure.
    HRESULT create_device_independent_resources() override;

    // The title's layout for text in a box of the given size, kept while
    // both stay the same; null when it cannot be made.
    IDWriteTextLayout *title_layout_for(const std::wstring &text, const D2D1_RECT_F &box);

    PcmBlock *current_block;                 // set on UM_AUDIO_BLOCK; borrowed, never freed here
    IDWriteFactory *dwrite_factory;          // one reference, or null
    IDWriteTextFormat *text_format;          // one reference, or null
    IDWriteTextLayout *title_layout;         // one reference, or null: the title last laid out
    std::wstring title_layout_text;          // the text of title_layout
    D2D1_SIZE_F title_layout_size;           // the box size of title_layout
    ID2D1BitmapRenderTarget *previous_frame; // one reference: the last frame drawn, or null
    int32_t hue_step;                        // position in the colour cycle, 0 to 100
    float *history;                          // 256 smoothed bins, owned
    float peak;                              // smoothed maximum of bins 10 to 255
};
