// PcmBlocks for the analysis tests: one exact-size malloc per block, as music
// delivery makes them, so that ASan sees any read past the samples.
#pragma once

#include "audio/pcm_queue.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

struct FreeBlock {
    void operator()(PcmBlock *block) const { std::free(block); }
};
using BlockPtr = std::unique_ptr<PcmBlock, FreeBlock>;

// samples are interleaved; frame_count = samples.size() / channels.
inline BlockPtr make_block(int channels, const std::vector<int16_t> &samples) {
    const int frames = channels > 0 ? static_cast<int>(samples.size()) / channels : 0;
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + samples.size() * 2));
    block->next = nullptr;
    block->frame_count = frames;
    block->sample_rate = 44100;
    block->channel_count = channels;
    if (!samples.empty()) {
        std::memcpy(block->samples(), samples.data(), samples.size() * 2);
    }
    return BlockPtr(block);
}

// A stereo block whose left channel is left and whose right channel is its negation.
inline BlockPtr make_stereo(const std::vector<int16_t> &left) {
    std::vector<int16_t> interleaved;
    for (int16_t s : left) {
        interleaved.push_back(s);
        interleaved.push_back(static_cast<int16_t>(-(s / 2)));
    }
    return make_block(2, interleaved);
}
