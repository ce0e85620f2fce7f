// Windows: the formats the system decodes (FLAC, MP3), converted to 44.1 kHz
// stereo by the library; their failures, seeks and lengths.
#include "libspotify/library_harness.h"
#include "libspotify/player_seeking.h"
#include "wav_file.h"

namespace lib_test {
namespace {

// A catalogue of the files made at build time (music-test-NAME), then `more`.
template <class Base> class SystemDecoded : public Base {
protected:
    void serve(std::initializer_list<std::string> names, const std::string &more = "") {
        std::filesystem::create_directories(this->folder);
        std::string lines = "latency 0\naccount me\nplaylist Files\n";
        for (const std::string &name : names) {
            std::filesystem::copy_file("music-test-" + name, this->folder / name);
            lines += "track file " + name + "\n";
        }
        ASSERT_EQ(splocal_load_file(this->write("catalogue.txt", lines + more).c_str()), 0);
    }
};
using SystemDecodedTracks = SystemDecoded<FolderTest>;

TEST_F(SystemDecodedTracks, FlacBitForBitMp3WithinToleranceOthersConvertedOrFailed) {
    write("noise.flac", std::string(4000, '\x5A'));
    std::ifstream in("music-test-sweep.mp3", std::ios::binary);
    std::string half((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    half.resize(half.size() / 2);
    const std::string name = "H\xC3\xA4lfte #1 50%.mp3"; // no URL, outside the ANSI code page
    write(name, half);
    serve({"sweep.flac", "sweep.mp3", "tone48-mono.flac"},
          "track file noise.flac\ntrack file \"" + name + "\"\n");

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

using SystemDecodedSeeks = SystemDecoded<SeekingTest<FolderTest>>;

// Seeks to 1 s of the 2 s sweep, before play and while playing: FLAC goes on
// at the frame, bit for bit; MP3 within 1200 frames of it, measured against
// playing from the start (the lag that matches best). The length is the
// source's duration.
TEST_F(SystemDecodedSeeks, LandNearTheFrameAndTellTheDuration) {
    serve({"sweep.flac", "sweep.mp3"});
    log_in("me", "");
    for (int i = 0; i < 2; ++i) {
        sp_track *track = sp_playlist_track(playlist_at(0), i);
        EXPECT_NEAR(sp_track_duration(track), 2000, i ? 80 : 0) << i;
        const std::vector<int16_t> whole = pcm(i, 4);
        for (int taken : {-1, 3000}) {
            const std::vector<int16_t> got = play_seeking(
                track, taken, [&] { EXPECT_EQ(sp_session_player_seek(session, 1000), 0); });
            if (i == 0) {
                EXPECT_EQ(got, spliced(whole, taken, 44100));
                continue;
            }
            const size_t from = 2 * static_cast<size_t>(std::max(taken, 0));
            ASSERT_GT(got.size(), from + 2 * 8192);
            long best = 0;
            double least = 1e300;
            for (long lag = -2000; lag <= 2000; ++lag) {
                double sum = 0;
                for (size_t k = 0; k < 2 * 8192; ++k)
                    sum += std::pow(got[from + k] - whole[2 * static_cast<size_t>(44100 + lag) + k],
                                    2);
                if (sum < least)
                    least = sum, best = lag;
            }
            std::printf("mp3: duration %d ms, seek lands %ld frames off\n",
                        sp_track_duration(track), best);
            EXPECT_LE(std::labs(best), 1200);
        }
    }
}

} // namespace
} // namespace lib_test
