// A user's own music folder through the whole program: a WAV, an Ogg Vorbis
// and an MP3 file, made at build time from sweeps (e2e-music/), play one
// after the other with no gap; the WAV arrives at the sound device bit for
// bit, the others within their codec's tolerance of their sources.
#include "program_session.h"
#include "unit/music_library/media/wav_file.h"

#include <libspotify/local.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <string>

class ProgramPlaysOwnMusic : public ProgramSession {};

TEST_F(ProgramPlaysOwnMusic, FolderOfWavOggAndMp3PlaysGaplessWavBitForBitOthersNearTheirSources) {
    // The account the run command writes: "me", no password; the folder
    // relative to the catalogue, in e2e/NAME/tmp/ beside e2e-music/.
    ASSERT_NO_FATAL_FAILURE(start("account me\nmusic ../../../e2e-music/Own Music\n"));
    // The first use of the system's decoders in a new Wine prefix scans
    // GStreamer's plugins before the MP3 can be looked at: minutes on a
    // loaded machine.
    ASSERT_NE(log_in_and_play("me", "", 1, 0, 120000), nullptr) << "the folder's playlist";
    EXPECT_EQ(dialog_.listed(0), L"Own Music");

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

// A folder as a bad download leaves it (e2e-music/With A Bad File): the
// Ogg file that no decoder takes is named in the log with its reason, the
// WAV and the FLAC around it play gapless, and closing the main window while
// the long FLAC plays (a Media Foundation reader alive) ends the Wine
// process cleanly: exit status 0 as its shell sees it, no crash report.
TEST_F(ProgramPlaysOwnMusic, BadOggIsLoggedTheRestPlaysAndClosingWhileAFlacPlaysExitsCleanly) {
    ASSERT_NO_FATAL_FAILURE(
        start("account me\nmusic ../../../e2e-music/With A Bad File\n", true, true));
    HWND window = log_in_and_play("me", "", 1, 0, 120000);
    ASSERT_NE(window, nullptr) << "the folder's playlist";

    // The good files by what the library decodes of them, in name order,
    // whether the bad one stands among the tracks or not.
    std::vector<int> good;
    for (int track = 0; track < 4; ++track) {
        if (splocal_track_pcm(track, nullptr, 0) > 0)
            good.push_back(track);
    }
    ASSERT_EQ(good.size(), 3u) << "the WAV and the two FLAC files";
    const std::vector<int16_t> sound = wait_for_tracks({good[0], good[1]}, 30000);
    ASSERT_TRUE(plays_gapless(sound, {good[0], good[1]})) << "the WAV, then the FLAC after the Ogg";
    std::string log;
    EXPECT_TRUE(driver::wait_until(
        [&] {
            const std::string named = "02 - Bad - Download.ogg: ";
            log = library_log();
            const size_t at = log.find(named);
            return at != std::string::npos &&
                   log.find_first_not_of(" \r\n", at + named.size()) < log.find('\n', at);
        },
        10000, 100))
        << "the log does not name the bad file with a reason:\n"
        << log;

    const std::vector<int16_t> long_flac = track_audio(good[2]);
    ASSERT_TRUE(heard(wait_start(long_flac, 0), long_flac, 44100 * 2)) << "the long FLAC";
    expect_clean_close(window);
    const std::string status = unix_exit(10000);
    const std::string errors = wine_stderr();
    EXPECT_EQ(status, "0") << "the Wine process's exit status (139: SIGSEGV); its standard error:\n"
                           << errors;
    EXPECT_EQ(errors.find("Unhandled"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("Backtrace"), std::string::npos) << errors;
}

namespace fs = std::filesystem;

// The Music folder of the test prefix's user, which the account me serves
// when there is no catalogue file.
fs::path profile_music() {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_MYMUSIC, nullptr, 0, path)) ? fs::path(path)
                                                                                 : fs::path();
}

// Without a catalogue file the account me serves the Music folder of the
// user's profile, walked at the login and followed while the dialog shows:
// an album copied in is listed in the dialog.
TEST_F(ProgramPlaysOwnMusic, MeWithoutACatalogueListsAnAlbumCopiedInWhileTheDialogShows) {
    const fs::path music = profile_music();
    ASSERT_FALSE(music.empty());
    const auto copy_album = [&](const char *album) {
        fs::create_directories(music / album);
        fs::copy_file("e2e-music/Own Music/01 - Wave - Rising.wav", music / album / "01.wav",
                      fs::copy_options::overwrite_existing);
    };
    std::error_code ignored;
    fs::remove_all(music / "Lorvane Album Two", ignored);
    copy_album("Lorvane Album One");
    ASSERT_NO_FATAL_FAILURE(start(""));
    dialog_.log_in("me", "");
    ASSERT_TRUE(dialog_.wait_for_playlists(1, 20000));
    EXPECT_EQ(dialog_.listed(0), L"Lorvane Album One");
    copy_album("Lorvane Album Two");
    EXPECT_TRUE(dialog_.wait_for_playlists(2, 10000));
    EXPECT_EQ(dialog_.listed(1), L"Lorvane Album Two");
    for (const char *album : {"Lorvane Album One", "Lorvane Album Two"})
        fs::remove_all(music / album, ignored);
}

// Exit pressed as soon as a large Music folder's first playlist is listed,
// while the library still reads its files and begins to follow its folders:
// the Wine process ends cleanly.
TEST_F(ProgramPlaysOwnMusic, ExitWhileMeMusicFolderIsReadEndsCleanly) {
    const fs::path many = profile_music() / "Lorvane Many";
    ASSERT_FALSE(many.parent_path().empty());
    for (int album = 0; album < 1000; ++album) {
        fs::create_directories(many / std::to_string(album));
        std::ofstream(many / std::to_string(album) / "01.wav") << "RIFF";
    }
    ASSERT_NO_FATAL_FAILURE(start("", false, true));
    dialog_.log_in("me", "");
    EXPECT_TRUE(dialog_.wait_for_playlists(-1, 20000));
    PostMessageA(dialog_.window, WM_COMMAND, IDC_EXIT, 0);
    const std::string status = unix_exit(20000);
    std::error_code ignored;
    fs::remove_all(many, ignored);
    EXPECT_EQ(status, "0") << "the Wine process's exit status; its standard error:\n"
                           << wine_stderr();
}
