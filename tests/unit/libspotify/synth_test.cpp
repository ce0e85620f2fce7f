// Synthesis: bit-identical in every build (checksums fixed here must hold
// natively and under Windows), the same from any starting frame, and
// pleasant: faded at the ends and well below full scale.
#include <cstdlib>

#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using SynthesisIsBitIdenticalEverywhere = LibraryTest;
using SynthesizedSoundsAreWellBehaved = LibraryTest;

// FNV-1a over the samples as little-endian bytes.
uint64_t checksum(const std::vector<int16_t> &samples) {
    uint64_t hash = 14695981039346656037ULL;
    for (int16_t s : samples) {
        const uint16_t u = static_cast<uint16_t>(s);
        for (int b = 0; b < 2; ++b) {
            hash ^= (u >> (8 * b)) & 0xFFU;
            hash *= 1099511628211ULL;
        }
    }
    return hash;
}

std::vector<int16_t> render(splocal_sound sound, int param, int frames) {
    const int track = splocal_track_add("A", "T", sound, param, frames);
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    EXPECT_EQ(splocal_track_pcm(track, out.data(), frames), frames);
    return out;
}

struct Expected {
    splocal_sound sound;
    int param;
    int frames;
    uint64_t checksum;
};

const Expected kExpected[] = {
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

TEST_F(SynthesisIsBitIdenticalEverywhere, EachSoundHasItsFixedChecksum) {
    for (const Expected &e : kExpected) {
        EXPECT_EQ(checksum(render(e.sound, e.param, e.frames)), e.checksum)
            << "sound " << e.sound << " param " << e.param << std::hex << " got 0x"
            << checksum(render(e.sound, e.param, e.frames));
    }
}

TEST_F(SynthesisIsBitIdenticalEverywhere, PartialRequestsGiveTheSameFrames) {
    const std::vector<int16_t> whole = render(SPLOCAL_SOUND_SWEEP, 3000, 20000);
    const int track = splocal_track_add("A", "T", SPLOCAL_SOUND_SWEEP, 3000, 20000);
    std::vector<int16_t> head(2 * 777);
    EXPECT_EQ(splocal_track_pcm(track, head.data(), 777), 20000);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin()));
    EXPECT_EQ(splocal_track_pcm(999, nullptr, 0), 0);
}

TEST_F(SynthesizedSoundsAreWellBehaved, FadedAtTheEndsAndBelowFullScale) {
    const splocal_sound sounds[] = {SPLOCAL_SOUND_TONE, SPLOCAL_SOUND_CHORD, SPLOCAL_SOUND_SWEEP,
                                    SPLOCAL_SOUND_DRUMS, SPLOCAL_SOUND_NOISE};
    for (splocal_sound sound : sounds) {
        const std::vector<int16_t> s = render(sound, 0, 44100);
        int peak = 0;
        for (int16_t v : s)
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        EXPECT_LT(peak, 32767 * 9 / 10) << "sound " << sound;
        EXPECT_GT(peak, 32767 / 10) << "sound " << sound;
        // Both ends start and end at silence, rising over a few milliseconds.
        EXPECT_EQ(s[0], 0);
        EXPECT_EQ(s[1], 0);
        EXPECT_EQ(s[s.size() - 2], 0);
        EXPECT_EQ(s[s.size() - 1], 0);
        for (int i = 0; i < 20; ++i)
            EXPECT_LT(std::abs(static_cast<int>(s[static_cast<size_t>(i)])), 32767 / 20);
    }
}

TEST_F(SynthesizedSoundsAreWellBehaved, TheRampMakesEveryFrameDistinct) {
    const std::vector<int16_t> s = render(SPLOCAL_SOUND_RAMP, 0, 40000);
    for (size_t n = 0; n < 40000; ++n) {
        ASSERT_EQ(static_cast<uint16_t>(s[2 * n]), static_cast<uint16_t>(n * 2)) << n;
        ASSERT_EQ(static_cast<uint16_t>(s[2 * n + 1]), static_cast<uint16_t>(n * 2 + 1)) << n;
    }
    // Frames 32768 apart repeat: distinct within any 32768-frame window.
    EXPECT_EQ(s[0], s[2 * 32768]);
}

TEST_F(SynthesizedSoundsAreWellBehaved, ToneHasItsFrequency) {
    // 1000 Hz: 1000 rising zero crossings in one second.
    const std::vector<int16_t> s = render(SPLOCAL_SOUND_TONE, 1000, 44100);
    int crossings = 0;
    for (size_t n = 1; n < 44100; ++n) {
        if (s[2 * (n - 1)] < 0 && s[2 * n] >= 0)
            ++crossings;
    }
    EXPECT_NEAR(crossings, 1000, 1);
}

} // namespace
} // namespace libspotify_test
