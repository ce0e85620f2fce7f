// A block as music delivery makes them (one exact-size malloc), sample k
// holding first_sample + k: blocks made with distinct starts tell apart in
// played audio a gap, a repeat or a block of the wrong origin.
#pragma once

#include "audio/pcm_queue.h"

#include <cstdint>
#include <cstdlib>

inline PcmBlock *make_block(int32_t frames, int32_t channels = 2, int32_t rate = 44100,
                            uint16_t first_sample = 0) {
    const size_t samples = static_cast<size_t>(frames) * static_cast<size_t>(channels);
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + 2 * samples));
    *block = PcmBlock{nullptr, frames, rate, channels, 0};
    for (size_t k = 0; k < samples; ++k)
        block->samples()[k] = static_cast<int16_t>(static_cast<uint16_t>(first_sample + k));
    return block;
}
