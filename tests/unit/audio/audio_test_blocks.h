// Blocks for the audio suites: every sample distinct across blocks, so that
// played audio shows a gap, a repeat or a block of the wrong origin.
#pragma once

#include "audio/pcm_queue.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace audio_test {

// A malloc'd block, as music delivery makes them; sample k holds
// first_sample + k (wrapping at 16 bits).
inline PcmBlock *make_block(int32_t frames, int32_t channels = 2, int32_t rate = 44100,
                            uint16_t first_sample = 0) {
    const size_t samples = static_cast<size_t>(frames) * static_cast<size_t>(channels);
    auto *block = static_cast<PcmBlock *>(std::malloc(sizeof(PcmBlock) + 2 * samples));
    *block = PcmBlock{nullptr, frames, rate, channels};
    for (size_t k = 0; k < samples; ++k)
        block->samples()[k] = static_cast<int16_t>(static_cast<uint16_t>(first_sample + k));
    return block;
}

inline void append_bytes(std::vector<unsigned char> &to, const PcmBlock *block) {
    const auto *first = reinterpret_cast<const unsigned char *>(block->samples());
    to.insert(to.end(), first, first + block->sample_bytes());
}

} // namespace audio_test
