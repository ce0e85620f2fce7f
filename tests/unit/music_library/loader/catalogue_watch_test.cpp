// The library follows its music folders through the system's notifications:
// an edit reaches the session from the library's own thread, and only the
// folder that changed is listed again; the library's own log is no edit.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "libspotify/library_harness.h"
#include "../media/wav_file.h"

namespace lib_test {
namespace {

std::vector<std::string> *g_added = nullptr; // main thread

void on_tracks_added(sp_playlist *pl, sp_track *const *tracks, int count, int, void *) {
    for (int i = 0; i < count; ++i)
        g_added->push_back(std::string(sp_playlist_name(pl)) + " +" + sp_track_name(tracks[i]));
}

class LibraryWatch : public FolderTest {
protected:
    void SetUp() override {
        FolderTest::SetUp();
        g_added = &added;
        calls.tracks_added = on_tracks_added;
    }
    int reads(const std::string &sub) {
        return splocal_folder_reads((folder / sub).lexically_normal().string().c_str());
    }
    sp_playlist_callbacks calls{};
    std::vector<std::string> added;
};

TEST_F(LibraryWatch, AnEditListsOnlyItsFolderAgainAndTheLogIsNoEdit) {
    const std::string wav = music_test::wav_bytes({}, {0.1, 0.1});
    const std::vector<std::string> albums = {"One", "Two", "Three", "Four"};
    for (const std::string &album : albums)
        write("Artist/" + album + "/a.wav", wav);
    // The catalogue, and so the library's log, in the served folder itself.
    const std::string catalogue =
        write("catalogue.txt", std::string("account ") + kUser + " " + kPassword + "\nmusic .\n");
    splocal_set_watch_interval(50);
    ASSERT_EQ(splocal_load_file(catalogue.c_str()), 0);
    log_in();
    ASSERT_EQ(sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)), 1);
    sp_playlist_add_callbacks(playlist_at(0), &calls, nullptr);
    // Listed by the load, then once more when first followed (what changed
    // before the notifications began is not known otherwise). The edits
    // wait for that look to be over: one made during it is a change it
    // finds, and it would look at every folder once more.
    const std::vector<std::string> folders = {".",          "Artist",       "Artist/One",
                                              "Artist/Two", "Artist/Three", "Artist/Four"};
    ASSERT_TRUE(wait_until([&] {
        return std::all_of(folders.begin(), folders.end(),
                           [&](const std::string &f) { return reads(f) == 2; });
    }));
    for (int i = 0; i < 3; ++i)
        write("library.log", "a line of the library's own " + std::to_string(i) + "\n");
    write("Artist/Two/b.wav", wav);
    ASSERT_TRUE(wait_until([&] { return !added.empty(); }));
    EXPECT_EQ(added, std::vector<std::string>{"Artist +b"});
    EXPECT_GE(reads("Artist/Two"), 3);
    for (const char *other : {"Artist/One", "Artist/Three", "Artist/Four"})
        EXPECT_EQ(reads(other), 2) << other;
    EXPECT_EQ(reads("."), 2); // the log's writes came first, and were nothing
}

#ifndef _WIN32
// Without a catalogue file a login as demo walks no folder of the user's;
// one as me is answered at once, and the Music folder's playlists follow as
// changes. The folder is followed from then on: an album copied in comes as
// a new playlist, one deleted goes.
TEST_F(LibraryWatch, MeWalksTheMusicFolderAtItsLoginNotBeforeAndFollowsIt) {
    const std::string wav = music_test::wav_bytes({}, {0.1, 0.1});
    write("Music/Jazz/a.wav", wav);
    std::filesystem::create_symlink("nowhere.wav", folder / "Music/gone.wav"); // a note
    const std::string music = std::filesystem::absolute(folder / "Music").string();
    ASSERT_EQ(setenv("XDG_MUSIC_DIR", music.c_str(), 1), 0);
    static std::vector<std::string> notes;
    callbacks.log_message = [](sp_session *, const char *line) { notes.push_back(line); };
    splocal_reset();
    splocal_set_latency(0);
    splocal_set_watch_interval(50);
    const std::string settings = (folder / "no-catalogue-here").string();
    ASSERT_EQ(create(settings.c_str()), SP_ERROR_OK);
    log_in("demo", "demo");
    splocal_catalogue_wait_idle(); // a walk the login asked for is over
    EXPECT_EQ(splocal_folder_reads(music.c_str()), 0);
    splocal_session_release(std::exchange(session, nullptr));

    splocal_catalogue_hold_loader(1);
    ASSERT_EQ(create(settings.c_str()), SP_ERROR_OK);
    log_in("me", "");
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"0 playlists 4", "0 playlists 0"}));
    sp_playlistcontainer_callbacks container{};
    container.playlist_added = [](sp_playlistcontainer *, sp_playlist *pl, int, void *table) {
        sp_playlist_add_callbacks(pl, static_cast<sp_playlist_callbacks *>(table), nullptr);
    };
    sp_playlistcontainer_add_callbacks(sp_session_playlistcontainer(session), &container, &calls);
    splocal_catalogue_hold_loader(0);
    splocal_catalogue_wait_idle();
    ASSERT_TRUE(wait_until([&] { return added.size() == 1; }));
    EXPECT_GE(splocal_folder_reads(music.c_str()), 1);
    EXPECT_EQ(notes.size(), 1u);

    write("Music/Rock/b.wav", wav);
    ASSERT_TRUE(wait_until([&] { return added.size() == 2; }));
    EXPECT_EQ(added.back(), "Rock +b");
    std::filesystem::remove_all(folder / "Music" / "Jazz");
    ASSERT_TRUE(wait_until([&] {
        return sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)) == 1;
    }));
    EXPECT_STREQ(sp_playlist_name(playlist_at(0)), "Rock");

    // Walked once: a later login finds it served and followed, and walks nothing.
    splocal_session_release(std::exchange(session, nullptr));
    notes.clear();
    ASSERT_EQ(create(settings.c_str()), SP_ERROR_OK);
    log_in("me", "");
    splocal_catalogue_wait_idle();
    EXPECT_EQ(rec.logins.back(), "0 playlists 1");
    for (int round = 0, timeout = 0; round < 3; ++round)
        sp_session_process_events(session, &timeout); // what a walk would have said
    EXPECT_TRUE(notes.empty()) << notes.front();
    unsetenv("XDG_MUSIC_DIR");
}
#endif

} // namespace
} // namespace lib_test
