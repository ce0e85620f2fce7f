// The catalogue file: what it describes reaches a session, and the first
// line that cannot be read is reported.
#include <filesystem>
#include <fstream>

#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

class CatalogueFileDescribesTheCatalogue : public LibraryTest {
protected:
    void TearDown() override {
        LibraryTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all("libspotify-file-test", ignored);
    }
};

std::string write_file(const std::string &name, const std::string &text) {
    const std::filesystem::path folder = "libspotify-file-test";
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST_F(CatalogueFileDescribesTheCatalogue, AccountsPlaylistsTracksAndSwitches) {
    const std::string path =
        write_file("good.txt", "\xEF\xBB\xBF# A test catalogue\r\n"
                               "latency 0\r\n"
                               "chunk 512\n"
                               "\n"
                               "account zoe s3cret\n"
                               "playlist Late Night Caf\xC3\xA9\n"
                               "track chord 220 1000 S\xC3\xB3lveig \xC3\x98rn / Blue / Hour\n"
                               "track ramp 0 250 Test / Ramp\n"
                               "unavailable\n"
                               "playlist \n"
                               "hold-loading\n"
                               "track noise 5 100 N / Held\n"
                               "hold-metadata\n"
                               "track silence 0 100 N / Broken\n"
                               "error 10\n"
                               "account amy\n"
                               "playlist Amy's\n"
                               "fail-login 8\n");
    ASSERT_EQ(splocal_load_file(path.c_str()), 0);
    ASSERT_EQ(create(), SP_ERROR_OK);
    ASSERT_EQ(sp_session_login(session, "zoe", "s3cret"), SP_ERROR_OK);
    pump();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 8 state 0 no-container"});
    log_in("zoe", "s3cret");
    ASSERT_EQ(sp_playlistcontainer_num_playlists(container()), 2);
    sp_playlist *cafe = playlist_at(0);
    EXPECT_STREQ(sp_playlist_name(cafe), "Late Night Caf\xC3\xA9");
    ASSERT_EQ(sp_playlist_num_tracks(cafe), 2);
    sp_track *chord = sp_playlist_track(cafe, 0);
    EXPECT_STREQ(sp_artist_name(sp_track_artist(chord, 0)), "S\xC3\xB3lveig \xC3\x98rn");
    EXPECT_STREQ(sp_track_name(chord), "Blue / Hour");
    EXPECT_EQ(splocal_track_pcm(splocal_track_id(chord), nullptr, 0), 44100);
    EXPECT_FALSE(sp_track_is_available(session, sp_playlist_track(cafe, 1)));
    EXPECT_EQ(splocal_track_pcm(splocal_track_id(sp_playlist_track(cafe, 1)), nullptr, 0), 11025);

    sp_playlist *unnamed = playlist_at(1);
    EXPECT_STREQ(sp_playlist_name(unnamed), "");
    EXPECT_FALSE(sp_playlist_is_loaded(unnamed));
    splocal_playlist_hold_loading(splocal_playlist_id(unnamed), 0);
    pump();
    ASSERT_EQ(sp_playlist_num_tracks(unnamed), 2);
    EXPECT_EQ(sp_track_error(sp_playlist_track(unnamed, 0)), SP_ERROR_IS_LOADING);
    EXPECT_EQ(sp_track_error(sp_playlist_track(unnamed, 1)), SP_ERROR_OTHER_PERMANENT);

    // The chunk size of the file applies to the player.
    ASSERT_EQ(sp_session_player_load(session, chord), SP_ERROR_OK);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 1; }));
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(rec.offers.front(), 512);
}

TEST_F(CatalogueFileDescribesTheCatalogue, TheFirstBadLineIsReportedAndNothingIsKept) {
    struct Case {
        const char *text;
        int line;
    };
    const Case cases[] = {
        {"account a b\nplaylist P\ntrack tone 440 100 A / B\nbogus\n", 4},
        {"playlist Orphan\n", 1},
        {"account a\ntrack tone 440 100 A / B\n", 2},
        {"account a\nplaylist P\ntrack bells 440 100 A / B\n", 3},
        {"account a\nplaylist P\ntrack tone x 100 A / B\n", 3},
        {"account a\nplaylist P\ntrack tone 440 100 No separator\n", 3},
        {"account a\nplaylist P\ntrack tone 440 999999999 A / B\n", 3},
        {"account a\naccount a\n", 2},
        {"account a b c\n", 1},
        {"chunk 0\n", 1},
        {"latency -5\n", 1},
        {"fail-create 99\n", 1},
        {"account a\nunavailable\n", 2},
        {"account a\nplaylist P\nhold-loading now\n", 3},
    };
    for (const Case &c : cases) {
        const std::string path = write_file("bad.txt", c.text);
        EXPECT_EQ(splocal_load_file(path.c_str()), c.line) << c.text;
    }
    // A failed load leaves the catalogue empty: the harness account is gone.
    ASSERT_EQ(create(), SP_ERROR_OK);
    log_in();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 6 state 0 no-container"});
    EXPECT_EQ(splocal_load_file("libspotify-file-test/missing.txt"), 1);
    EXPECT_EQ(splocal_load_file(nullptr), 1);
}

TEST_F(CatalogueFileDescribesTheCatalogue, TheDemoHasItsAccountAndPleasantNonAsciiNames) {
    splocal_load_demo();
    ASSERT_EQ(create(), SP_ERROR_OK);
    log_in("demo", "demo");
    const int count = sp_playlistcontainer_num_playlists(container());
    EXPECT_GE(count, 3);
    EXPECT_LE(count, 4);
    bool non_ascii_playlist = false;
    bool non_ascii_artist = false;
    for (int i = 0; i < count; ++i) {
        sp_playlist *pl = playlist_at(i);
        non_ascii_playlist |= std::string(sp_playlist_name(pl)).find('\xC3') != std::string::npos;
        EXPECT_GE(sp_playlist_num_tracks(pl), 2);
        for (int t = 0; t < sp_playlist_num_tracks(pl); ++t) {
            sp_track *track = sp_playlist_track(pl, t);
            EXPECT_TRUE(sp_track_is_loaded(track));
            EXPECT_STRNE(sp_track_name(track), "");
            const std::string artist = sp_artist_name(sp_track_artist(track, 0));
            non_ascii_artist |= artist.find('\xC3') != std::string::npos;
            const int frames = splocal_track_pcm(splocal_track_id(track), nullptr, 0);
            EXPECT_GE(frames, 20 * 44100);
            EXPECT_LE(frames, 60 * 44100);
        }
    }
    EXPECT_TRUE(non_ascii_playlist);
    EXPECT_TRUE(non_ascii_artist);
}

} // namespace
} // namespace libspotify_test
