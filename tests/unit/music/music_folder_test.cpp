// A served folder: subfolders, playlist files and loose files become
// playlists in name order; tracks are named by tags, file name or folder.
#include "libspotify/library_harness.h"
#include "music/wav_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
    ASSERT_EQ(view(), "Songs[0,1,2,3,4] Album[5,6] Mix[7,8] Old[9]");
    EXPECT_EQ(names(0),
              "Ana Lind / Morning; Songs / Solo; Info / T; S\xC3\xB3lveig / Fjord \xC3\x98; "
              "Songs / caf\xC3\xA9");
    EXPECT_EQ(names(1), "Disc 2 / a; Album / b");
    EXPECT_EQ(names(2), "Album / b;  / ");      // a track that fails has no names
    EXPECT_EQ(names(3), "Songs / caf\xC3\xA9"); // a Latin-1 line of a .m3u
    for (int list : {2, 3})
        EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(list), 0)), SP_ERROR_OK);
    EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(2), 1)), SP_ERROR_TRACK_NOT_PLAYABLE);
}

#ifndef _WIN32
// Folders as they are: links followed once per real folder (a loop and a
// fan-out cut), a pipe never opened, any depth, a name that is not text
// skipped; playlist entries naming a folder, a device, another machine or a
// URL each say what they are.
TEST_F(MusicFolderBecomesPlaylists, FoldersAndPlaylistFilesAsTheyAre) {
    namespace fs = std::filesystem;
    file("Lib/Loop/x.wav");
    fs::create_directory_symlink("..", folder / "Lib/Loop/back");
    file("Lib/Fan/y.wav");
    for (const char *link : {"l1", "l2", "l3", "l4", "l5", "l6"})
        fs::create_directory_symlink(".", folder / "Lib/Fan" / link);
    file("Lib/Pipe/ok.wav");
    ASSERT_EQ(mkfifo((folder / "Lib/Pipe/song.wav").c_str(), 0600), 0);
    file("Lib/Bad/fine.wav");
    file("Lib/Bad/\xFF.wav");
    file("Lib/Deep/1/2/3/4/5/6/7/8/9/10/11/deep.wav");
    file("Lib/List.m3u8", "Deep\n/dev/null\n\\\\server\\share\\Artist - Song.mp3\n"
                          "http://example.org/a.wav\nfile:///no-such-folder/z.wav\n");
    file("catalogue.txt", "latency 0\naccount me\nmusic Lib\n");
    ASSERT_EQ(splocal_load_file((folder / "catalogue.txt").string().c_str()), 0);
    log_in("me", "");
    EXPECT_EQ(view(), "Bad[0] Deep[1] Fan[2] List[3,4,5,6] Loop[7] Pipe[8]");
    EXPECT_EQ(names(1), "11 / deep");
    EXPECT_EQ(names(3), " / ;  / ; Artist / Song;  / ");
    const int errors[] = {SP_ERROR_TRACK_NOT_PLAYABLE, SP_ERROR_TRACK_NOT_PLAYABLE, SP_ERROR_OK,
                          SP_ERROR_TRACK_NOT_PLAYABLE};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(sp_track_error(sp_playlist_track(playlist_at(3), i)), errors[i]) << i;
    const std::string lib = (folder / "Lib").string(), list = lib + "/List.m3u8:";
    for (const std::string &line : std::vector<std::string>{
             lib + "/Bad: 1 entry whose name is not valid text, skipped",
             lib + "/Fan/l1: a link to a folder already served, not followed again",
             lib + "/Fan/l6: a link to a folder already served, not followed again",
             lib + "/Loop/back: a link to a folder already served, not followed again",
             lib + "/Pipe/song.wav: is not a regular file, skipped", lib + "/Deep: is a folder",
             std::string("/dev/null: is not a regular file"),
             list + "4: a URL, not a local file; not served",
             std::string("/no-such-folder/z.wav: cannot open the file")})
        EXPECT_NE(log().find(line + "\n"), std::string::npos) << line << "\n" << log();
    EXPECT_EQ(log().find("server"), std::string::npos); // never looked at
}

// A session's start over a folder the loader has not walked yet: creation
// and the login answer with the catalogue file's own playlists; the
// folder's playlists and its tracks' names follow as changes.
TEST_F(MusicFolderBecomesPlaylists, StartAnswersBeforeTheFoldersAreWalked) {
    file("Songs/Album/t.wav");
    file("catalogue.txt", "latency 0\naccount zoe pw\nplaylist Mine\ntrack tone 0 100 A / B\n"
                          "music Songs\n");
    splocal_reset();
    splocal_catalogue_hold_loader(1);
    ASSERT_EQ(create(folder.string().c_str()), SP_ERROR_OK);
    log_in("zoe", "pw");
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"0 playlists 1"}));
    EXPECT_EQ(view(), "Mine[0]");
    splocal_catalogue_hold_loader(0);
    splocal_catalogue_wait_idle();
    pump();
    EXPECT_EQ(view(), "Mine[0] Album[1]");
    EXPECT_TRUE(sp_track_is_loaded(sp_playlist_track(playlist_at(1), 0)));
    EXPECT_EQ(names(1), "Album / t");
}

// Without a catalogue file, `me` serves the user's Music folder beside the demo.
TEST_F(MusicFolderBecomesPlaylists, MeServesTheUsersMusicFolder) {
    file("Music/Jazz/01 - Ana - Blue.wav");
    file("Music/loose.wav");
    const std::string music = std::filesystem::absolute(folder / "Music").string();
    ASSERT_EQ(setenv("XDG_MUSIC_DIR", music.c_str(), 1), 0);
    splocal_reset();
    splocal_set_latency(0);
    ASSERT_EQ(create((folder / "nothing-here").string().c_str()), SP_ERROR_OK);
    log_in("me", "");
    unsetenv("XDG_MUSIC_DIR");
    EXPECT_EQ(view(), "Music[13] Jazz[14]");
    EXPECT_EQ(names(1), "Ana / Blue");
}
#endif

} // namespace
} // namespace lib_test
