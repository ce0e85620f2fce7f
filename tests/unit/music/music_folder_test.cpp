// A served folder: subfolders, playlist files and loose files become
// playlists in name order; tracks are named by tags, file name or folder.
#include "libspotify/library_harness.h"
#include "music/wav_file.h"

namespace lib_test {
namespace {

class MusicFolderBecomesPlaylists : public FolderTest {
protected:
    void file(const std::string &path, const std::string &bytes = "") {
        write(path, bytes.empty() ? music_test::wav_bytes({}, {0.1, 0.1}) : bytes);
    }
    // "artist / title; ..."
    std::string names(int playlist) {
        sp_playlist *pl = playlist_at(playlist);
        std::string out;
        for (int i = 0; i < sp_playlist_num_tracks(pl); ++i) {
            sp_track *t = sp_playlist_track(pl, i);
            out += std::string(i ? "; " : "") + sp_artist_name(sp_track_artist(t, 0)) + " / " +
                   sp_track_name(t);
        }
        return out;
    }
};

TEST_F(MusicFolderBecomesPlaylists, NamesComeFromTagsFileNamesAndFolders) {
    file("Songs/01 - Ana Lind - Morning.wav");
    file("Songs/02. Solo.wav");
    file("Songs/Tagged.wav",
         music_test::wav_bytes({44100, 2, 16, false, false, 0, "S\xC3\xB3lveig", "Fjord \xC3\x98"},
                               {0.1, 0.1}));
    // An ID3 chunk gives what the LIST/INFO chunk does not.
    const std::string id3 = std::string("id3 \x24\0\0\0ID3\x03\0\0\0\0\0\x1A", 18) +
                            std::string("TPE1\0\0\0\x04\0\0\0Id3TIT2\0\0\0\x02\0\0\0T", 26);
    file("Songs/Both.wav", music_test::wav_bytes({.artist = "Info", .chunks = id3}, {0.1, 0.1}));
    file("Songs/notes.txt", "not music");
    file("Songs/Album/b.wav");
    file("Songs/Album/Disc 2/a.wav");
    file("Songs/Empty/readme.txt", "nothing");
    file("Songs/Mix.m3u8", "#EXTM3U\r\n#EXTINF:12,Someone - Something\r\nAlbum/b.wav\r\n"
                           "http://example.org/x.mp3\r\n../Other/Gone.wav\r\n");
    file("Songs/Old.m3u", "caf\xE9.wav\n");
    file("Songs/caf\xC3\xA9.wav");
    file("catalogue.txt", "latency 0\naccount me\nmusic Songs/\n");
    ASSERT_EQ(splocal_load_file((folder / "catalogue.txt").string().c_str()), 0);
    log_in("me", "");
    ASSERT_EQ(sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)), 4);
    EXPECT_STREQ(sp_playlist_name(playlist_at(0)), "Songs");
    EXPECT_EQ(names(0),
              "Ana Lind / Morning; Songs / Solo; Info / T; S\xC3\xB3lveig / Fjord \xC3\x98; "
              "Songs / caf\xC3\xA9");
    EXPECT_STREQ(sp_playlist_name(playlist_at(1)), "Album");
    EXPECT_EQ(names(1), "Disc 2 / a; Album / b");
    EXPECT_STREQ(sp_playlist_name(playlist_at(2)), "Mix");
    EXPECT_EQ(names(2), "Album / b;  / "); // a track that fails has no names
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(2), 0)), SP_ERROR_OK);
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(2), 1)), SP_ERROR_TRACK_NOT_PLAYABLE);
    EXPECT_STREQ(sp_playlist_name(playlist_at(3)), "Old");
    EXPECT_EQ(names(3), "Songs / caf\xC3\xA9"); // a Latin-1 line of a .m3u
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(3), 0)), SP_ERROR_OK);
}

} // namespace
} // namespace lib_test
