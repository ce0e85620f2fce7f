// The library follows its music folders through the system's notifications:
// an edit reaches the session from the library's own thread, and only the
// folder that changed is listed again; the library's own log is no edit.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libspotify/library_harness.h"
#include "music/wav_file.h"

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

} // namespace
} // namespace lib_test
