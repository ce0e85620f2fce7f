// Playlist following and track sequencing against the local streaming
// library: which playlist is followed as the container changes, which track
// plays as the playlist changes under it, how unplayable tracks are passed,
// and the names offered to the dialog.

#include "session/playlist_following.h"

#include "session/session_controller.h"
#include "support/session/session_harness.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace session_test {
namespace {

// Logged in, following "Mix" of four long tracks from position index, with
// some of that track's audio queued.
class FollowingMix : public SessionHarness {
protected:
    void start(int index) {
        mix = add_playlist("Mix", 4);
        ASSERT_TRUE(log_in());
        state.track_index = static_cast<uint32_t>(index);
        session_select_playlist(&state, "Mix");
        ASSERT_EQ(player_track(), track(index));
        ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 4096; }));
    }
    int track(int index) { return mix.tracks[static_cast<size_t>(index)]; }
    Playlist mix;
};

using SelectionFollowsTheName = SessionHarness;
using SelectionFollowsTheContainer = FollowingMix;
using PositionSurvivesPlaylistEdits = FollowingMix;
using UnplayableTracksArePassed = SessionHarness;
using PlaylistListOffersLoadedNames = SessionHarness;

TEST_F(SelectionFollowsTheName, LaterPlaylistOfTheSameNameWins) {
    add_playlist("Mix", 2);
    add_playlist("mix", 2); // names are case-sensitive
    const Playlist later = add_playlist("Mix", 2);
    const Playlist unnamed = add_playlist("", 1);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(selected_playlist(), later.id);
    EXPECT_EQ(player_track(), later.tracks[0]);
    session_select_playlist(&state, ""); // the empty name is a name
    EXPECT_EQ(selected_playlist(), unnamed.id);
    EXPECT_EQ(player_track(), unnamed.tracks[0]);
}

TEST_F(SelectionFollowsTheName, WaitingNameIsTakenByAnAddedPlaylistAtThePosition) {
    ASSERT_TRUE(log_in());
    state.track_index = 1;
    session_select_playlist(&state, "Later");
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(player_track(), -1);
    take_flag(&SessionState::playlists_changed);

    const Playlist later = add_playlist("Later", 3);
    pump();
    EXPECT_EQ(selected_playlist(), later.id);
    EXPECT_EQ(player_track(), later.tracks[1]);
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);
}

TEST_F(SelectionFollowsTheName, WaitingNameIsTakenByARenamedPlaylistFromTheStart) {
    const Playlist old = add_playlist("Old", 3);
    ASSERT_TRUE(log_in());
    state.track_index = 2;
    session_select_playlist(&state, "Later");
    splocal_playlist_rename(old.id, "Later");
    pump();
    EXPECT_EQ(selected_playlist(), old.id);
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), old.tracks[0]);
}

TEST_F(SelectionFollowsTheContainer, RenameAwayStopsThePlayerButKeepsQueuedAudio) {
    start(1);
    splocal_playlist_rename(mix.id, "Elsewhere");
    pump();
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(state.current_track, nullptr);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(head_is_start_of(track(1)));

    splocal_playlist_rename(mix.id, "Mix"); // followed again, from the start
    pump();
    EXPECT_EQ(selected_playlist(), mix.id);
    EXPECT_EQ(player_track(), track(0));
    state.track_index = 2;
    splocal_playlist_rename(mix.id, "Mix"); // a rename to the same name restarts too
    pump();
    EXPECT_EQ(state.track_index, 0u);
}

TEST_F(SelectionFollowsTheContainer, AnotherPlaylistRenamedToTheNameTakesOver) {
    start(0);
    const Playlist other = add_playlist("Other", 2);
    pump();
    splocal_playlist_rename(other.id, "Mix");
    pump();
    EXPECT_EQ(selected_playlist(), other.id);
    EXPECT_EQ(player_track(), other.tracks[0]);
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(other.tracks[0]); }));
}

TEST_F(SelectionFollowsTheContainer, RemovedSelectedPlaylistClearsTheSelection) {
    start(1);
    splocal_playlist_remove(mix.id);
    pump();
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(head_is_start_of(track(1))); // queued audio plays out
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);
    state.advance_pending.store(1); // nothing left to advance in
    pump();
    EXPECT_EQ(player_track(), -1);

    const Playlist again = add_playlist("Mix", 5); // the name is still wanted
    pump();
    EXPECT_EQ(selected_playlist(), again.id);
}

TEST_F(PositionSurvivesPlaylistEdits, RemovingBeforeTheCurrentTrackKeepsItPlaying) {
    start(2);
    const int position = splocal_player_position(state.session);
    const int removed[] = {0, 1};
    splocal_playlist_remove_tracks(mix.id, removed, 2);
    pump();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), track(2));
    EXPECT_GE(splocal_player_position(state.session), position); // not reloaded
    EXPECT_TRUE(head_is_start_of(track(2)));                     // nothing dropped
}

TEST_F(PositionSurvivesPlaylistEdits, RemovingTheCurrentTrackPlaysTheNextAtOnce) {
    start(1);
    const int removed[] = {1, 3};
    splocal_playlist_remove_tracks(mix.id, removed, 2);
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), track(2));
    // None of the removed track's audio is left before the new track's.
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(track(2)); }));
}

TEST_F(PositionSurvivesPlaylistEdits, RemovingTheLastTrackWhilePlayingLetsItPlayOn) {
    start(3);
    const int removed = 3;
    splocal_playlist_remove_tracks(mix.id, &removed, 1);
    pump();
    EXPECT_EQ(state.track_index, 3u);
    EXPECT_EQ(player_track(), track(3));
    EXPECT_TRUE(head_is_start_of(track(3)));
    state.advance_pending.store(1); // it ends: nothing follows
    pump();
    EXPECT_EQ(player_track(), -1);
}

TEST_F(PositionSurvivesPlaylistEdits, TrackNowAtThePositionReplacesThePlayingOne) {
    start(1);
    const int inserted = add_track();
    splocal_playlist_add_tracks(mix.id, &inserted, 1, 0); // [X, 0, 1, 2, 3]
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), track(0));
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(track(0)); }));

    const int moved = 0;
    splocal_playlist_move_tracks(mix.id, &moved, 1, 3); // [0, 1, X, 2, 3]
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), track(1));
}

TEST_F(UnplayableTracksArePassed, OnePerPassUntilAPlayableOne) {
    const Playlist mix = add_playlist("Mix", 4);
    splocal_track_set_available(mix.tracks[0], 0);
    splocal_track_set_available(mix.tracks[1], 0);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(state.advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(wake, 0), WAIT_OBJECT_0);
    for (uint32_t pass = 1; pass <= 2; ++pass) {
        EXPECT_EQ(player_track(), -1);
        session_process(&state);
        EXPECT_EQ(state.track_index, pass);
    }
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), mix.tracks[2]);
}

TEST_F(UnplayableTracksArePassed, FailingTrackIsSkippedLoadingTrackIsAwaited) {
    const Playlist mix = add_playlist("Mix", 3);
    splocal_track_set_error(mix.tracks[0], SP_ERROR_OTHER_PERMANENT);
    splocal_track_hold_metadata(mix.tracks[1], 1);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(state.advance_pending.load(), 1);
    pump();
    for (int i = 0; i < 5; ++i)
        session_process(&state);
    EXPECT_EQ(state.track_index, 1u); // held at the loading track
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), -1);

    splocal_track_hold_metadata(mix.tracks[1], 0); // metadata_updated starts it
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), mix.tracks[1]);
}

TEST_F(UnplayableTracksArePassed, RepeatedEventForThePlayingTrackChangesNothing) {
    const Playlist mix = add_playlist("Mix", 2);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 4096; }));
    const int position = splocal_player_position(state.session);
    const int appended = add_track();
    splocal_playlist_add_tracks(mix.id, &appended, 1, -1);
    pump();
    on_metadata_updated(state.session);
    EXPECT_EQ(player_track(), mix.tracks[0]);
    EXPECT_GE(splocal_player_position(state.session), position);
    EXPECT_TRUE(head_is_start_of(mix.tracks[0]));
}

// The names as the dialog receives them; releases them as it does.
std::vector<std::string> take_names(char **names, int count) {
    std::vector<std::string> result(names, names + count);
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    delete[] names;
    return result;
}

TEST_F(PlaylistListOffersLoadedNames, NothingBeforeTheContainerEmptyWhileLoading) {
    char **names = &state.wanted_name; // any non-null value
    EXPECT_EQ(session_list_playlists(&state, &names), 0);
    EXPECT_EQ(names, nullptr);

    splocal_playlist_hold_loading(add_playlist("A", 1).id, 1);
    splocal_playlist_hold_loading(add_playlist("B", 1).id, 1);
    ASSERT_TRUE(log_in());
    EXPECT_EQ(session_list_playlists(&state, &names), 0);
    EXPECT_NE(names, nullptr);
    take_names(names, 0);
}

TEST_F(PlaylistListOffersLoadedNames, LoadedOnlyInContainerOrderAsOwnCopies) {
    add_playlist("First", 1);
    const Playlist held = add_playlist("Held", 1);
    add_playlist("Third", 0);
    splocal_playlist_hold_loading(held.id, 1);
    ASSERT_TRUE(log_in());

    char **names = nullptr;
    const int count = session_list_playlists(&state, &names);
    ASSERT_EQ(count, 2);
    names[0][0] = 'X'; // a copy: the library's name is untouched
    EXPECT_STREQ(sp_playlist_name(sp_playlistcontainer_playlist(state.container, 0)), "First");
    EXPECT_EQ(take_names(names, count), (std::vector<std::string>{"Xirst", "Third"}));

    take_flag(&SessionState::playlists_changed);
    splocal_playlist_hold_loading(held.id, 0);
    pump();
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);
    const int all = session_list_playlists(&state, &names);
    EXPECT_EQ(take_names(names, all), (std::vector<std::string>{"First", "Held", "Third"}));
}

} // namespace
} // namespace session_test
