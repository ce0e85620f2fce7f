// Synthesis is bit-identical in every build: the checksums here hold
// natively and under Windows. The ramp is exact, so that tests can tell
// every delivered frame from its neighbours.
#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

using SynthesisIsBitIdenticalEverywhere = CatalogueTest;

TEST_F(SynthesisIsBitIdenticalEverywhere, EachSoundHasItsFixedChecksum) {
    const std::tuple<splocal_sound, int, int, uint64_t> expected[] = {
        {SPLOCAL_SOUND_TONE, 0, 88200, 0x2b70ff4b449b6d59ULL},
        {SPLOCAL_SOUND_TONE, 1000, 44100, 0x43a2ad3090fe2425ULL},
        {SPLOCAL_SOUND_CHORD, 0, 88200, 0x23bf46cde921e96fULL},
        {SPLOCAL_SOUND_SWEEP, 0, 132300, 0x27d3c6d067325db1ULL},
        {SPLOCAL_SOUND_DRUMS, 0, 132300, 0x1c2c36c443fce47dULL},
        {SPLOCAL_SOUND_DRUMS, 97, 100000, 0xd9970d1df74bd34cULL},
        {SPLOCAL_SOUND_NOISE, 7, 44100, 0x16bd888fc00b28ebULL},
        {SPLOCAL_SOUND_SILENCE, 0, 1000, 0x94eb5aa73e186ba5ULL},
        {SPLOCAL_SOUND_RAMP, 0, 70000, 0xdf3daedd7a6e33e5ULL},
    };
    for (const auto &[sound, param, frames, checksum] : expected) {
        std::vector<int16_t> head(static_cast<size_t>(frames / 2) * 2), pcm(size_t(frames) * 2);
        const int track = splocal_track_add("A", "T", sound, param, frames);
        EXPECT_EQ(splocal_track_pcm(track, head.data(), frames / 2), frames); // the first frames
        EXPECT_EQ(splocal_track_pcm(track, pcm.data(), frames), frames);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), pcm.begin()));
        uint64_t hash = 14695981039346656037ULL; // FNV-1a over little-endian bytes
        for (int16_t s : pcm) {
            hash = (hash ^ (static_cast<uint16_t>(s) & 0xFFU)) * 1099511628211ULL;
            hash = (hash ^ (static_cast<uint16_t>(s) >> 8)) * 1099511628211ULL;
        }
        EXPECT_EQ(hash, checksum) << "sound " << sound << " param " << param;
        for (size_t n = 0; sound == SPLOCAL_SOUND_RAMP && n < pcm.size(); ++n)
            ASSERT_EQ(static_cast<uint16_t>(pcm[n]), static_cast<uint16_t>(n)) << n;
    }
    EXPECT_EQ(splocal_track_pcm(999, nullptr, 0), 0);
}

} // namespace
} // namespace lib_test
