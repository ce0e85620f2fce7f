// Synthesis: bit-identical in every build (the checksums here hold natively
// and under Windows), and sound: faded at the ends, well below full scale,
// the tone at its frequency and the ramp with every frame distinct.
#include <cstdlib>

#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using SynthesisIsBitIdenticalEverywhere = LibraryTest;
using SynthesizedSoundsAreWellBehaved = LibraryTest;

std::vector<int16_t> render(splocal_sound sound, int param, int frames) {
    const int track = splocal_track_add("A", "T", sound, param, frames);
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    EXPECT_EQ(splocal_track_pcm(track, out.data(), frames), frames);
    return out;
}

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
        uint64_t hash = 14695981039346656037ULL; // FNV-1a over little-endian bytes
        for (int16_t s : render(sound, param, frames)) {
            hash = (hash ^ (static_cast<uint16_t>(s) & 0xFFU)) * 1099511628211ULL;
            hash = (hash ^ (static_cast<uint16_t>(s) >> 8)) * 1099511628211ULL;
        }
        EXPECT_EQ(hash, checksum) << "sound " << sound << " param " << param;
    }
    // A shorter request gives the same first frames.
    const std::vector<int16_t> whole = render(SPLOCAL_SOUND_SWEEP, 3000, 20000);
    std::vector<int16_t> head(2 * 777);
    EXPECT_EQ(splocal_track_pcm(splocal_track_add("A", "T", SPLOCAL_SOUND_SWEEP, 3000, 20000),
                                head.data(), 777),
              20000);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin()));
    EXPECT_EQ(splocal_track_pcm(999, nullptr, 0), 0);
}

TEST_F(SynthesizedSoundsAreWellBehaved, FadedBelowFullScaleTheToneInTuneTheRampDistinct) {
    for (splocal_sound sound : {SPLOCAL_SOUND_TONE, SPLOCAL_SOUND_CHORD, SPLOCAL_SOUND_SWEEP,
                                SPLOCAL_SOUND_DRUMS, SPLOCAL_SOUND_NOISE}) {
        SCOPED_TRACE(sound);
        const std::vector<int16_t> s = render(sound, 0, 44100);
        int peak = 0;
        for (int16_t v : s)
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        EXPECT_LT(peak, 32767 * 9 / 10);
        EXPECT_GT(peak, 32767 / 10);
        EXPECT_EQ(s[0] | s[1] | s[s.size() - 2] | s[s.size() - 1], 0);
        for (size_t i = 0; i < 20; ++i)
            EXPECT_LT(std::abs(static_cast<int>(s[i])), 32767 / 20);
    }
    // 1000 Hz: 1000 rising zero crossings in one second.
    const std::vector<int16_t> tone = render(SPLOCAL_SOUND_TONE, 1000, 44100);
    int crossings = 0;
    for (size_t n = 1; n < 44100; ++n)
        crossings += tone[2 * (n - 1)] < 0 && tone[2 * n] >= 0 ? 1 : 0;
    EXPECT_NEAR(crossings, 1000, 1);

    const std::vector<int16_t> ramp = render(SPLOCAL_SOUND_RAMP, 0, 40000);
    for (size_t n = 0; n < 80000; ++n)
        ASSERT_EQ(static_cast<uint16_t>(ramp[n]), static_cast<uint16_t>(n)) << n;
}

} // namespace
} // namespace libspotify_test
