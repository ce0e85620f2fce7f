// Windows: the formats the system decodes. FLAC plays bit for bit, MP3 within
// the codec's tolerance; other rates and channel counts go through the
// library's converter; a file the system cannot read fails its track with a
// reason, one cut off halfway ends early.
#include "libspotify/library_harness.h"
#include "music/wav_file.h"

namespace lib_test {
namespace {

using SystemDecodedTracks = FolderTest;

TEST_F(SystemDecodedTracks, FlacBitForBitMp3WithinToleranceOthersConvertedOrFailed) {
    // The files made at build time (music-test-*), then two of the test's own.
    std::filesystem::create_directories(folder);
    std::string lines = "latency 0\naccount me\nplaylist Files\n";
    for (const std::string name : {"sweep.flac", "sweep.mp3", "tone48-mono.flac"}) {
        std::filesystem::copy_file("music-test-" + name, folder / name);
        lines += "track file " + name + "\n";
    }
    write("noise.flac", std::string(4000, '\x5A'));
    std::ifstream in("music-test-sweep.mp3", std::ios::binary);
    std::string half((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    half.resize(half.size() / 2);
    const std::string name = "H\xC3\xA4lfte #1 50%.mp3"; // no URL, outside the ANSI code page
    write(name, half);
    lines += "track file noise.flac\ntrack file \"" + name + "\"\n";
    ASSERT_EQ(splocal_load_file(write("catalogue.txt", lines).c_str()), 0);

    const std::vector<int16_t> sweep = music_test::wav_samples("music-test-sweep.wav");
    ASSERT_EQ(sweep.size(), 2u * 2 * 44100);
    EXPECT_EQ(pcm(0, 4), sweep);
    const std::vector<int16_t> mp3 = pcm(1, 4);
    // The encoder's delay and padding come before and after the audio.
    EXPECT_GE(mp3.size(), sweep.size());
    EXPECT_LE(mp3.size(), sweep.size() + 2 * 4096);
    EXPECT_GT(music_test::snr_db(mp3, sweep, 1200), 25);
    // 48 kHz mono: both sides, resampled, the tone's level kept.
    const std::vector<int16_t> mono = pcm(2, 4);
    EXPECT_EQ(mono.size(), 2u * 44100);
    EXPECT_NEAR(music_test::level_db(mono, 0, 1000), 20 * std::log10(0.5), 0.2);
    for (size_t i = 0; i < mono.size(); i += 2)
        ASSERT_EQ(mono[i], mono[i + 1]) << "frame " << i / 2;

    EXPECT_NE(log().find("noise.flac: not an audio format"), std::string::npos) << log();
    const std::vector<int16_t> cut = pcm(4, 4);
    EXPECT_GT(cut.size(), 2u * 44100 / 2);
    EXPECT_LT(cut.size(), 2u * 44100 * 3 / 2);
    log_in("me", "");
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(0), 3)), SP_ERROR_TRACK_NOT_PLAYABLE);
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(0), 4)), SP_ERROR_OK);
}

} // namespace
} // namespace lib_test
