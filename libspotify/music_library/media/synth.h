// Synthesized track audio: interleaved signed 16-bit stereo at 44 100 Hz.
//
// Every sample is a pure function of the sound, its parameter, the track
// length and the frame index, computed in integers only, so the same track
// renders bit-identically in every build and from any starting frame (the
// player renders chunk by chunk, tests render whole tracks).
#ifndef MUSIC_LIBRARY_MEDIA_SYNTH_H
#define MUSIC_LIBRARY_MEDIA_SYNTH_H

#include <cstdint>
#include <string>

namespace music {

// The sounds the library synthesizes; the numbers are the ones catalogue
// files and the control interface use.
enum class SoundKind : int {
    Tone = 0,    // param: frequency in Hz (0: 440)
    Chord = 1,   // a major triad; param: root frequency in Hz (0: 262)
    Sweep = 2,   // param: end frequency in Hz (0: 4000)
    Drums = 3,   // param: beats per minute (0: 120)
    Noise = 4,   // param: seed
    Silence = 5, // param unused
    Ramp = 6,
};
constexpr int kSoundKinds = 7;

constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
// Longest track the library synthesizes: ten minutes. The sweep's integer
// phase arithmetic is exact up to this length.
constexpr int kMaxTrackFrames = kSampleRate * 600;

struct SoundDesc {
    SoundKind sound = SoundKind::Silence;
    int param = 0;
    int frames = 0;
    // Not empty: the track is this audio file (UTF-8 path), decoded as it
    // plays (player.cpp); the fields above are then unused.
    std::string file = {};
};

// Writes `count` frames starting at frame `first` to out (2 * count
// samples). Frames past the end of the track are silence.
void synth_render(const SoundDesc &desc, int first, int count, int16_t *out);

} // namespace music

#endif
