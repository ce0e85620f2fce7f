// A user's own music folder through the whole program: a WAV, an Ogg Vorbis
// and an MP3 file, made at build time from sweeps (e2e-music/), play one
// after the other with no gap; the WAV arrives at the sound device bit for
// bit, the others within their codec's tolerance of their sources.
#include "program_session.h"
#include "unit/music/wav_file.h"

#include <string>

class ProgramPlaysOwnMusic : public ProgramSession {};

TEST_F(ProgramPlaysOwnMusic, FolderOfWavOggAndMp3PlaysGaplessWavBitForBitOthersNearTheirSources) {
    // The account the run command writes: "me", no password; the folder
    // relative to the catalogue, in e2e/NAME/tmp/ beside e2e-music/.
    ASSERT_NO_FATAL_FAILURE(start("account me\nmusic ../../../e2e-music/Own Music\n"));
    dialog_.log_in("me", "");
    // The first use of the system's decoders in a new Wine prefix scans
    // GStreamer's plugins before the MP3 can be looked at: minutes on a
    // loaded machine.
    ASSERT_TRUE(dialog_.wait_for_playlists(1, 120000)) << "the folder's playlist did not arrive";
    wchar_t listed[64] = {};
    SendMessageW(dialog_.item(IDC_PLAYLIST), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(listed));
    EXPECT_EQ(std::wstring(listed), L"Own Music");
    ASSERT_TRUE(dialog_.choose(0));
    ASSERT_NE(dialog_.start_playing(), nullptr);

    // Tracks 0, 1, 2 in name order: what the device received is what the
    // library decodes of each file, whole and with no silence between them.
    constexpr int kWav = 0, kOgg = 1, kMp3 = 2;
    const std::vector<int16_t> sound = wait_for_tracks({kWav, kOgg, kMp3}, 40000);
    ASSERT_TRUE(plays_gapless(sound, {kWav, kOgg, kMp3}));
    const std::vector<int16_t> wav =
        music_test::wav_samples("e2e-music/Own Music/01 - Wave - Rising.wav");
    ASSERT_EQ(wav.size(), 2u * 44100 * 3);
    EXPECT_EQ(track_audio(kWav), wav);
    const std::vector<int16_t> ogg_source = music_test::wav_samples("e2e-music/sources/ogg.wav");
    const std::vector<int16_t> mp3_source = music_test::wav_samples("e2e-music/sources/mp3.wav");
    ASSERT_EQ(ogg_source.size(), mp3_source.size());
    ASSERT_EQ(mp3_source.size(), 2u * 44100 * 5 / 2);
    EXPECT_GT(music_test::snr_db(track_audio(kOgg), ogg_source, 0), 20) << "Ogg Vorbis";
    EXPECT_GT(music_test::snr_db(track_audio(kMp3), mp3_source, 1200), 20) << "MP3";
}
