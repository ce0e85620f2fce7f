// The catalogue file: a session reads it from its settings folder (else it
// serves the demo), what it describes reaches the session, and the first
// line that cannot be read is reported.
#include <filesystem>
#include <fstream>

#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

// Each case has a folder of its own: ctest runs cases side by side.
class CatalogueFileDescribesTheCatalogue : public LibraryTest {
protected:
    void TearDown() override {
        LibraryTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string write_file(const char *name, const std::string &text) {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }

    const std::string folder = std::string("libspotify-file-") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::filesystem::path dir = folder;
};

TEST_F(CatalogueFileDescribesTheCatalogue, SessionReadsItFromItsSettingsFolder) {
    const std::string path = write_file(
        "catalogue.txt",
        "\xEF\xBB\xBF# A test catalogue\r\nlatency 0\r\nchunk 512\n\n"
        "account zoe s3cret\nplaylist Late Night Caf\xC3\xA9\n"
        "track chord 220 1000 S\xC3\xB3lveig \xC3\x98rn / Blue / Hour\n"
        "track ramp 0 250 Test / Ramp\nunavailable\n"
        "playlist \nhold-loading\ntrack noise 5 100 N / Held\nhold-metadata\n"
        "track silence 0 100 N / Broken\nerror 10\naccount amy\nplaylist Amy's\nfail-login 8\n");
    ASSERT_EQ(splocal_load_file(path.c_str()), 0);
    splocal_reset(); // an empty catalogue makes the session read the file
    ASSERT_EQ(create(folder.c_str()), SP_ERROR_OK);
    log_in("zoe", "s3cret");
    log_in("zoe", "s3cret");
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"8", "0 playlists 2"}));
    EXPECT_EQ(view(), "Late Night Caf\xC3\xA9[0,1] ?[]");
    sp_track *chord = sp_playlist_track(playlist_at(0), 0);
    EXPECT_STREQ(sp_artist_name(sp_track_artist(chord, 0)), "S\xC3\xB3lveig \xC3\x98rn");
    EXPECT_STREQ(sp_track_name(chord), "Blue / Hour");
    EXPECT_EQ(splocal_track_pcm(0, nullptr, 0), 44100);
    EXPECT_EQ(splocal_track_pcm(1, nullptr, 0), 11025);
    EXPECT_FALSE(sp_track_is_available(session, sp_playlist_track(playlist_at(0), 1)));

    splocal_playlist_hold_loading(splocal_playlist_id(playlist_at(1)), 0);
    pump();
    EXPECT_EQ(view(), "Late Night Caf\xC3\xA9[0,1] [2,3]");
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(1), 0)), SP_ERROR_IS_LOADING);
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(1), 1)), SP_ERROR_OTHER_PERMANENT);

    // The file's chunk size applies to the player.
    ASSERT_EQ(sp_session_player_load(session, chord), SP_ERROR_OK);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 1; }));
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(rec.offers.front().second, 512);
}

TEST_F(CatalogueFileDescribesTheCatalogue, TheFirstBadLineIsReportedAndNothingIsKept) {
    const std::pair<const char *, int> cases[] = {
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
        {"account a\nplaylist P\nhold-loading now\n", 3}};
    for (const auto &[text, line] : cases)
        EXPECT_EQ(splocal_load_file(write_file("bad.txt", text).c_str()), line) << text;
    EXPECT_EQ(splocal_load_file((dir / "missing.txt").string().c_str()), 1);
    EXPECT_EQ(splocal_load_file(nullptr), 1);

    // A failed load changes nothing; an empty catalogue without a file in
    // the settings folder serves the demo.
    splocal_reset();
    ASSERT_EQ(create(folder.c_str()), SP_ERROR_OK);
    ASSERT_EQ(sp_session_login(session, "demo", "demo"), SP_ERROR_OK);
    ASSERT_TRUE(wait_until([&] { return !rec.logins.empty(); }));
    const int count = sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session));
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"0 playlists " + std::to_string(count)}));
    EXPECT_TRUE(count == 3 || count == 4);
    EXPECT_NE(view().find("\xC3"), std::string::npos); // pleasant names, not only ASCII
}

} // namespace
} // namespace lib_test
