// Live edits: a catalogue file, playlist file or music folder changed while a
// session runs reaches it as exactly the changes a server sends; a file that
// cannot be used, or is still being written, changes nothing.
#include <filesystem>
#include <map>
#include <sstream>

#include <gmock/gmock.h>

#include "libspotify/library_harness.h"
#include "../media/wav_file.h"

namespace lib_test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> *g_events = nullptr; // main thread

template <typename Item> std::string joined(int count, Item item) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += (i ? "," : "") + item(i);
    return out;
}

void note(const std::string &what, sp_playlist *pl, const std::string &rest = "") {
    g_events->push_back(what + sp_playlist_name(pl) + rest);
}

const sp_playlist_callbacks kPlaylistCalls = [] {
    sp_playlist_callbacks c{};
    c.tracks_added = [](sp_playlist *pl, sp_track *const *tracks, int count, int position, void *) {
        const auto title = [&](int i) { return std::string(sp_track_name(tracks[i])); };
        note("", pl, " +" + joined(count, title) + "@" + std::to_string(position));
    };
    c.tracks_removed = [](sp_playlist *pl, const int *positions, int count, void *) {
        note("", pl, " -" + joined(count, [&](int i) { return std::to_string(positions[i]); }));
    };
    c.tracks_moved = [](sp_playlist *pl, const int *positions, int count, int to, void *) {
        const auto at = [&](int i) { return std::to_string(positions[i]); };
        note("", pl, " " + joined(count, at) + ">" + std::to_string(to));
    };
    c.playlist_renamed = [](sp_playlist *pl, void *) { note("renamed ", pl); };
    return c;
}();

const sp_playlistcontainer_callbacks kContainerCalls = [] {
    sp_playlistcontainer_callbacks c{};
    c.playlist_added = [](sp_playlistcontainer *, sp_playlist *pl, int position, void *) {
        note("added ", pl, "@" + std::to_string(position));
        sp_playlist_add_callbacks(pl, &kPlaylistCalls, nullptr);
    };
    c.playlist_removed = [](sp_playlistcontainer *, sp_playlist *pl, int position, void *) {
        note("removed ", pl, "@" + std::to_string(position));
    };
    return c;
}();

// "Mix: a b! | Old: c?" as catalogue text: one tone per title, '!' unavailable,
// '?' its metadata held.
std::string catalogue(const std::string &layout, int ms = 1000) {
    std::istringstream in(layout);
    std::string out = std::string("latency 0\naccount ") + kUser + " " + kPassword + "\n", word;
    while (in >> word) {
        if (word.back() == ':')
            out += "playlist " + word.substr(0, word.size() - 1) + "\n";
        else if (word != "|")
            out += "track tone 300 " + std::to_string(ms) + " X / " +
                   word.substr(0, word.find_first_of("!?")) +
                   (word.back() == '!'   ? "\nunavailable\n"
                    : word.back() == '?' ? "\nhold-metadata\n"
                                         : "\n");
    }
    return out;
}

class LiveEdit : public FolderTest {
protected:
    void SetUp() override {
        FolderTest::SetUp();
        splocal_set_watch_interval(0); // looks only when the test asks
        g_events = &events;
        callbacks.metadata_updated = [](sp_session *) { g_events->push_back("metadata"); };
        callbacks.log_message = [](sp_session *, const char *line) { g_logs.push_back(line); };
        g_logs.clear();
    }
    void touch(const std::string &name, const std::string &bytes) { write(name, bytes, ++writes_); }
    // A save that neither size nor time tells (times in whole seconds).
    void resave(const std::string &name, const std::string &bytes) {
        const fs::file_time_type time = fs::last_write_time(folder / name);
        write(name, bytes);
        fs::last_write_time(folder / name, time);
    }
    void start(const std::string &text, const std::string &name = "catalogue.txt") {
        touch(name, text);
        ASSERT_EQ(splocal_load_file((folder / name).string().c_str()), 0);
        log_in();
        sp_playlistcontainer_add_callbacks(sp_session_playlistcontainer(session), &kContainerCalls,
                                           nullptr);
        for (int i = 0;
             i < sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)); ++i)
            sp_playlist_add_callbacks(playlist_at(i), &kPlaylistCalls, nullptr);
    }
    // Writes the catalogue, looks once and delivers: the events, "; " apart.
    std::string edit(const std::string &text, int settled = 1, int expect = 1) {
        touch("catalogue.txt", text);
        return check(settled, expect);
    }
    std::string check(int settled = 1, int expect = 1) {
        events.clear();
        EXPECT_EQ(splocal_catalogue_check(settled), expect);
        pump();
        std::string out;
        for (const std::string &e : events)
            out += (out.empty() ? "" : "; ") + e;
        return out;
    }
    // The view in the catalogue's notation.
    std::string playlists() {
        std::string out;
        for (int i = 0;
             i < sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)); ++i) {
            sp_playlist *pl = playlist_at(i);
            out += (i ? " | " : "") + std::string(sp_playlist_name(pl)) + ":";
            for (int t = 0; t < sp_playlist_num_tracks(pl); ++t) {
                sp_track *track = sp_playlist_track(pl, t);
                out += " " + std::string(sp_track_name(track)) +
                       (sp_track_is_available(session, track) ? "" : "!");
            }
        }
        return out;
    }
    static inline std::vector<std::string> g_logs;
    std::vector<std::string> events;
    int writes_ = 0;
};

struct Change {
    const char *what, *before, *after, *events;
};

const Change kChanges[] = {
    {"TracksInsertedTogether", "Mix: a d", "Mix: a b c d", "Mix +b,c@1"},
    {"TwoMovedTogether", "Mix: a b c d e", "Mix: c d e a b", "Mix 0,1>5"},
    {"RemovedMovedAndAdded", "Mix: a b c d", "Mix: d b e", "Mix -0,2; Mix 1>0; Mix +e@2"},
    {"RepeatedTrackMoved", "Mix: a b a", "Mix: a a b", "Mix 2>1"},
    {"HeldTrackAddedAgain", "Mix: b a", "Mix: a b a", "Mix 1>0; Mix +a@2"},
    {"Reversed", "Mix: a b c d", "Mix: d c b a", "Mix 3>0; Mix 3>1; Mix 3>2"},
    {"FirstAndLastSwapped", "Mix: a b c d e f", "Mix: f b c d e a", "Mix 5>0; Mix 1>6"},
    {"TrackToAnotherPlaylist", "Mix: a b | Old: c", "Mix: a | Old: c b", "Mix -1; Old +b@1"},
    {"TrackMadeUnavailable", "Mix: a b", "Mix: a b!", "metadata"},
    {"MetadataReleased", "Mix: a b?", "Mix: a b", "metadata"},
    {"PlaylistAppended", "Mix: a", "Mix: a | New: b c", "added New@1; New +b,c@0"},
    {"PlaylistInFront", "Mix: a", "First: b | Mix: a", "added First@0; First +b@0"},
    {"PlaylistRemoved", "Mix: a | Old: b", "Mix: a", "removed Old@1"},
    {"RenamedKeepsItsIdentity", "Mix: a b | Old: c", "Road: a b | Old: c", "renamed Road"},
    {"RenamedAndExtended", "Mix: a b", "Road: a b c", "renamed Road; Road +c@2"},
    {"EmptyRenamedKeepsItsIdentity", "Mix: a | Empty:", "Mix: a | Later:", "renamed Later"},
    {"HalfKeptIsANewPlaylist", "Mix: a b c d", "Road: a b x",
     "removed Mix@0; added Road@0; Road +a,b,x@0"},
    {"TwoAsCloseIsANewPlaylist", "Mix: a b | Old: c d", "Road: a b c d",
     "removed Mix@0; removed Old@0; added Road@0; Road +a,b,c,d@0"},
    {"RewrittenUnchanged", "Mix: a b", "Mix: a b", ""},
};

class EachChangeGivesItsCallbacks : public LiveEdit,
                                    public ::testing::WithParamInterface<Change> {};

TEST_P(EachChangeGivesItsCallbacks, AndTheViewIsTheNewFile) {
    const Change &change = GetParam();
    start(catalogue(change.before));
    const auto tracks = [&] { // by name; a name is one source here
        std::map<std::string, sp_track *> out;
        for (int i = 0;
             i < sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)); ++i)
            for (int t = 0; t < sp_playlist_num_tracks(playlist_at(i)); ++t)
                out[sp_track_name(sp_playlist_track(playlist_at(i), t))] =
                    sp_playlist_track(playlist_at(i), t);
        return out;
    };
    const std::map<std::string, sp_track *> before = tracks();
    EXPECT_EQ(edit(catalogue(change.after) + "# edited\n"), change.events);
    EXPECT_EQ(playlists(), change.after);
    // A track that keeps its source is the same sp_track, wherever it goes.
    for (const auto &[name, track] : tracks())
        EXPECT_TRUE(!before.count(name) || before.at(name) == track) << name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EachChangeGivesItsCallbacks, ::testing::ValuesIn(kChanges),
                         [](const ::testing::TestParamInfo<Change> &p) {
                             return std::string(p.param.what);
                         });

using UnusableCatalogueChangesNothing = LiveEdit;

// A same-size save under the same time is seen by its bytes.
TEST_F(UnusableCatalogueChangesNothing, BadLineEmptyFileAndHalfWrittenFile) {
    start(catalogue("Mix: a b"));
    EXPECT_EQ(edit(catalogue("Mix: a b c") + "bogus\n", 1, -1), "");
    EXPECT_NE(log().find("catalogue.txt:7: unknown directive \"bogus\""), std::string::npos);
    EXPECT_THAT(g_logs, ::testing::Contains(
                            ::testing::HasSubstr("cannot be read; the catalogue stays as it was")));
    EXPECT_EQ(check(1, 0), ""); // told once
    EXPECT_EQ(edit("", 1, -1), "");
    // An editor's first half, then the whole: each is taken only once seen twice.
    EXPECT_EQ(edit(catalogue("Mix: a"), 0, 2), "");
    EXPECT_EQ(edit(catalogue("Mix: a b c d"), 0, 2), "");
    EXPECT_EQ(check(0, 1), "Mix +c,d@2");
    EXPECT_EQ(playlists(), "Mix: a b c d");
    EXPECT_EQ(log().find("bogus"), std::string::npos); // a good read starts a new log
    resave("catalogue.txt", catalogue("Mix: a b x d"));
    EXPECT_EQ(check(), "Mix -2; Mix +x@2");
}

// A switch that acts once is not taken again from an edited file.
TEST_F(LiveEdit, AnEditedPasswordCountsFromTheNextLogin) {
    std::string text = catalogue("Mix: a");
    start(text);
    text.replace(text.find(kPassword), sizeof kPassword - 1, "N3w");
    EXPECT_EQ(edit("fail-login 8\n" + text), "");
    splocal_session_release(std::exchange(session, nullptr));
    log_in(kUser, kPassword);
    log_in(kUser, "N3w");
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"0 playlists 1", "6", "0 playlists 1"}));
}

TEST_F(LiveEdit, AnAccountGoneFromTheFileLosesItsPlaylists) {
    start(catalogue("Mix: a | Old: b") + "account bob\n");
    EXPECT_EQ(edit("account bob\n"), "removed Mix@0; removed Old@0");
}

// Held loading follows the file; latency and chunk are taken from it.
TEST_F(LiveEdit, HeldLoadingLatencyAndChunkFollowTheFile) {
    start(catalogue("Mix: a"));
    EXPECT_EQ(edit(catalogue("Mix: a | New: b") + "hold-loading\nchunk 300\n"), "added New@1");
    EXPECT_EQ(edit(catalogue("Mix: a | New: b") + "chunk 300\n"), "New +b@0");
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 0)), SP_ERROR_OK);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 1; }));
    EXPECT_EQ(rec.offers.at(0).second, 300);
    const std::string slow = "latency 5000" + catalogue("Mix: a c | New: b").substr(9);
    EXPECT_EQ(edit(slow), "Mix +c@1"); // from the next change on
    touch("catalogue.txt", slow + "track tone 1 1000 X / d\n");
    events.clear();
    ASSERT_EQ(splocal_catalogue_check(1), 1);
    int timeout = -1;
    sp_session_process_events(session, &timeout);
    // Not due for 5 s, however slow the machine: nothing yet.
    EXPECT_TRUE(events.empty() && timeout > 1) << timeout;
}

using MusicFolderEditsArriveAsChanges = LiveEdit;

TEST_F(MusicFolderEditsArriveAsChanges, FilesPlaylistFilesAndFoldersThenOnTheTimer) {
    const std::string wav = music_test::wav_bytes({}, {0.1, 0.1});
    const auto tagged = [](const char *title) {
        return music_test::wav_bytes({.artist = "X", .title = title}, {0.1, 0.1});
    };
    touch("Music/Album/01 a.wav", tagged("a"));
    touch("Music/Album/02 b.wav", wav);
    touch("Music/Mix.m3u", "Album/02 b.wav\nAlbum/01 a.wav\n");
    // The log is written in the served folder: that is no edit.
    start(std::string("account ") + kUser + " " + kPassword + "\nmusic .\n", "Music/catalogue.txt");
    touch("Music/Album/03 c.wav", wav);
    EXPECT_EQ(check(), "Album +c@2");
    touch("Music/Mix.m3u", "Album/01 a.wav\nAlbum/02 b.wav\n");
    EXPECT_EQ(check(), "Mix 1>0");
    touch("Music/Live/x.wav", wav);
    EXPECT_EQ(check(), "added Live@1; Live +x@0");
    fs::remove(folder / "Music/Album/02 b.wav");
    touch("Music/Mix.m3u", "Album/01 a.wav\n");
    EXPECT_EQ(check(), "Album -1; Mix -1");
    EXPECT_EQ(playlists(), "Album: a c | Live: x | Mix: a");
    resave("Music/Mix.m3u", "Album/03 c.wav\n");
    EXPECT_EQ(check(), "Mix -0; Mix +c@0");
    touch("Music/Album/01 a.wav", tagged("z")); // retagged: the same size, a later time
    EXPECT_EQ(check(), "metadata");
    EXPECT_EQ(playlists(), "Album: z c | Live: x | Mix: c");

    events.clear();
    splocal_set_watch_interval(50); // the library's own thread notices
    touch("Music/Album/04 d.wav", wav);
    EXPECT_TRUE(wait_until([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"Album +d@2"});
    // Moves into and out of the served tree are told in one folder only.
    touch("Elsewhere/05 e.wav", wav);
    touch("Elsewhere/New/y.wav", wav);
    fs::rename(folder / "Elsewhere/05 e.wav", folder / "Music/Album/05 e.wav");
    fs::rename(folder / "Elsewhere/New", folder / "Music/New");
    fs::rename(folder / "Music/Live/x.wav", folder / "Elsewhere/x.wav");
    EXPECT_TRUE(wait_until([&] { return playlists() == "Album: z c d e | Mix: c | New: y"; }))
        << playlists();
    splocal_set_watch_interval(0);
    EXPECT_EQ(check(0, 0), "");
}

using FileTurningBadEndsItsTrack = LiveEdit;

TEST_F(FileTurningBadEndsItsTrack, WhatWasReadPlaysThenOneEndAndTheLogSaysWhy) {
    const std::string wav = music_test::wav_bytes({}, music_test::sine(44100, 2, 440, 0.5, 88200));
    write("song.wav", wav);
    start(std::string("account ") + kUser + " " + kPassword +
          "\nplaylist P\ntrack file song.wav\n");
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = [](int) { return 0; }; // the player waits with its first chunk
    }
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 0)), SP_ERROR_OK);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] {
        std::lock_guard<std::mutex> lock(rec.mutex);
        return !rec.offers.empty();
    }));
    std::error_code error;
    fs::resize_file(folder / "song.wav", 44 + 4 * 22050, error); // half a second left
    ASSERT_FALSE(error) << "a file being read could not be cut: " << error.message();
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = nullptr;
    }
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 1 && !g_logs.empty(); }));
    std::lock_guard<std::mutex> lock(rec.mutex);
    const size_t frames = rec.delivered.size() / 2;
    EXPECT_GE(frames, 22050u); // what was read before the cut may still come
    EXPECT_LT(frames, 88200u);
    EXPECT_TRUE(std::equal(rec.delivered.begin(), rec.delivered.end(),
                           reinterpret_cast<const int16_t *>(wav.data() + 44)));
    EXPECT_THAT(g_logs, ::testing::Contains(
                            ::testing::HasSubstr("song.wav: the file ends before its data")));
    EXPECT_NE(log().find("song.wav: the file ends before its data"), std::string::npos);
}

// The program's own session core, playing Mix, while its catalogue file is
// edited around the track that plays.
using PlayingSurvivesACatalogueEdit = SessionTest;

TEST_F(PlayingSurvivesACatalogueEdit, SameTrackSamePositionNewListInTheDialog) {
    splocal_set_watch_interval(0);
    const std::string file = write("catalogue.txt", catalogue("Mix: a b c d | Old: y", 30000), 1);
    ASSERT_EQ(splocal_load_file(file.c_str()), 0);
    ASSERT_TRUE(log_in());
    state.track_index = 1;
    session_select_playlist(&state, "Mix");
    const int playing = player_track();
    ASSERT_TRUE(pass_until([&] { return pcm_queue_frames(&queue) > 4096; }));
    const int position = splocal_player_position(state.session);
    write("catalogue.txt", catalogue("New: x | Mix: a b d c e | Older: y", 30000), 2);
    ASSERT_EQ(splocal_catalogue_check(1), 1);
    pass();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), playing);
    EXPECT_GE(splocal_player_position(state.session), position);
    EXPECT_TRUE(head_is_start_of(playing));
    EXPECT_EQ(listed(), (std::vector<std::string>{"New", "Mix", "Older"}));
}

} // namespace
} // namespace lib_test
