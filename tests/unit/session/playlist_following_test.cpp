// Playlist following and track sequencing against the local streaming
// library: which playlist is followed as the container changes, which track
// plays as the playlist changes under it, how unplayable tracks are passed,
// and the list of names offered to the dialog.

#include "session/playlist_following.h"

#include "session/session_controller.h"
#include "support/session/session_harness.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace session_test {
namespace {

// Logged in, following "Mix" of four long tracks, at position index.
class FollowingMix : public SessionHarness {
protected:
    void start(int index = 0) {
        mix = add_playlist("Mix", 4);
        ASSERT_TRUE(log_in());
        state.track_index = static_cast<uint32_t>(index);
        session_select_playlist(&state, "Mix");
        ASSERT_EQ(selected_playlist(), mix);
        ASSERT_EQ(player_track(), track(index));
        // Let some audio of the track queue up.
        ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 4096; }));
    }
    int track(int index) { return tracks_of(mix)[static_cast<size_t>(index)]; }
    int mix = -1;
};

using SelectionFollowsTheName = SessionHarness;
using SelectionFollowsTheContainer = FollowingMix;
using PositionSurvivesPlaylistEdits = FollowingMix;
using UnplayableTracksArePassed = SessionHarness;
using PlaylistListOffersLoadedNames = SessionHarness;

TEST_F(SelectionFollowsTheName, LaterPlaylistOfTheSameNameWins) {
    add_playlist("Mix", 2);
    add_playlist("Other", 2);
    const int later = add_playlist("Mix", 2);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(selected_playlist(), later);
    EXPECT_EQ(player_track(), tracks_of(later)[0]);
    EXPECT_STREQ(state.wanted_name, "Mix");
}

TEST_F(SelectionFollowsTheName, NamesAreCaseSensitiveAndEmptyIsAName) {
    add_playlist("mix", 1);
    const int unnamed = add_playlist("", 1);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(player_track(), -1);
    session_select_playlist(&state, "");
    EXPECT_EQ(selected_playlist(), unnamed);
}

TEST_F(SelectionFollowsTheName, WaitingNameIsTakenByAnAddedPlaylist) {
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Later");
    EXPECT_EQ(state.playlist, nullptr);
    take_flag(&SessionState::playlists_changed);

    const int later = add_playlist("Later", 3);
    pump();
    EXPECT_EQ(selected_playlist(), later);
    EXPECT_EQ(player_track(), tracks_of(later)[0]);
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);
}

TEST_F(SelectionFollowsTheName, AddedPlaylistStartsAtTheCurrentPosition) {
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Later");
    state.track_index = 2;
    const int later = add_playlist("Later", 3);
    pump();
    EXPECT_EQ(player_track(), tracks_of(later)[2]);
}

TEST_F(SelectionFollowsTheName, WaitingNameIsTakenByARenamedPlaylistFromTheStart) {
    const int old = add_playlist("Old", 3);
    ASSERT_TRUE(log_in());
    state.track_index = 2;
    session_select_playlist(&state, "Later");
    EXPECT_EQ(state.playlist, nullptr);
    splocal_playlist_rename(old, "Later");
    pump();
    EXPECT_EQ(selected_playlist(), old);
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), tracks_of(old)[0]);
}

TEST_F(SelectionFollowsTheContainer, RenameAwayStopsThePlayerButKeepsQueuedAudio) {
    start(1);
    splocal_playlist_rename(mix, "Elsewhere");
    pump();
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(state.current_track, nullptr);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(head_is_start_of(track(1)));

    // Renamed back, it is followed again from its first track.
    splocal_playlist_rename(mix, "Mix");
    pump();
    EXPECT_EQ(selected_playlist(), mix);
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), track(0));
}

TEST_F(SelectionFollowsTheContainer, RenameToTheSameNameRestartsFromTheStart) {
    start(2);
    splocal_playlist_rename(mix, "Mix");
    pump();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), track(0));
}

TEST_F(SelectionFollowsTheContainer, AnotherPlaylistRenamedToTheNameTakesOver) {
    start(0);
    const int other = add_playlist("Other", 2);
    pump();
    splocal_playlist_rename(other, "Mix");
    pump();
    EXPECT_EQ(selected_playlist(), other);
    EXPECT_EQ(player_track(), tracks_of(other)[0]);
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(tracks_of(other)[0]); }));
}

TEST_F(SelectionFollowsTheContainer, RemovedSelectedPlaylistClearsTheSelection) {
    start(1);
    splocal_playlist_remove(mix);
    pump();
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(state.current_track, nullptr);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(head_is_start_of(track(1))); // queued audio plays out
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);

    // An advance or a metadata update finds nothing to play.
    state.advance_pending.store(1);
    pump();
    EXPECT_EQ(player_track(), -1);

    // The name is still wanted.
    const int again = add_playlist("Mix", 5);
    pump();
    EXPECT_EQ(selected_playlist(), again);
}

TEST_F(SelectionFollowsTheContainer, RemovingAnotherPlaylistChangesNothing) {
    const int other = splocal_playlist_add(kUser, "Other", -1);
    start(1);
    splocal_playlist_remove(other);
    pump();
    EXPECT_EQ(selected_playlist(), mix);
    EXPECT_EQ(player_track(), track(1));
    EXPECT_TRUE(head_is_start_of(track(1)));
}

TEST_F(PositionSurvivesPlaylistEdits, RemovingBeforeTheCurrentTrackKeepsItPlaying) {
    start(2);
    const int position = splocal_player_position(state.session);
    const int removed[] = {0, 1};
    splocal_playlist_remove_tracks(mix, removed, 2);
    pump();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), track(2));
    EXPECT_GE(splocal_player_position(state.session), position); // not reloaded
    EXPECT_TRUE(head_is_start_of(track(2)));                     // nothing dropped
}

TEST_F(PositionSurvivesPlaylistEdits, RemovingTheCurrentTrackPlaysTheNextAtOnce) {
    start(1);
    const int removed[] = {1, 3};
    splocal_playlist_remove_tracks(mix, removed, 2);
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), track(2));
    // The removed track's queued audio is gone: the queue starts with the new track.
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(track(2)); }));
}

TEST_F(PositionSurvivesPlaylistEdits, RemovingTheLastTrackWhilePlayingLetsItPlayOn) {
    start(3);
    const int removed = 3;
    splocal_playlist_remove_tracks(mix, &removed, 1);
    pump();
    EXPECT_EQ(state.track_index, 3u);
    EXPECT_EQ(player_track(), track(3));
    EXPECT_TRUE(head_is_start_of(track(3)));

    // When it ends, nothing follows.
    state.advance_pending.store(1);
    pump();
    EXPECT_EQ(state.track_index, 4u);
    EXPECT_EQ(player_track(), -1);
}

TEST_F(PositionSurvivesPlaylistEdits, InsertingBeforeTheCurrentTrackSwitches) {
    start(1);
    const int inserted = add_track();
    splocal_playlist_add_tracks(mix, &inserted, 1, 0);
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), track(0)); // now at position 1
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(track(0)); }));
}

TEST_F(PositionSurvivesPlaylistEdits, AppendingAfterTheCurrentTrackChangesNothing) {
    start(1);
    const int position = splocal_player_position(state.session);
    const int appended = add_track();
    splocal_playlist_add_tracks(mix, &appended, 1, -1);
    pump();
    EXPECT_EQ(player_track(), track(1));
    EXPECT_GE(splocal_player_position(state.session), position);
    EXPECT_TRUE(head_is_start_of(track(1)));
}

TEST_F(PositionSurvivesPlaylistEdits, MovingAnotherTrackToThePositionSwitches) {
    start(1);
    const int moved = 3;
    splocal_playlist_move_tracks(mix, &moved, 1, 0); // [3, 0, 1, 2]
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), track(0));
}

TEST_F(UnplayableTracksArePassed, OnePerPassUntilAPlayableOne) {
    const int mix = add_playlist("Mix", 4);
    splocal_track_set_available(tracks_of(mix)[0], 0);
    splocal_track_set_available(tracks_of(mix)[1], 0);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(player_track(), -1);
    EXPECT_EQ(state.advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(wake, 0), WAIT_OBJECT_0);

    session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(state.advance_pending.load(), 1);
    EXPECT_EQ(player_track(), -1);

    session_process(&state);
    EXPECT_EQ(state.track_index, 2u);
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), tracks_of(mix)[2]);
}

TEST_F(UnplayableTracksArePassed, UnplayableToTheEndLeavesThePlayerIdle) {
    const int mix = add_playlist("Mix", 2);
    for (int track : tracks_of(mix))
        splocal_track_set_available(track, 0);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    pump();
    EXPECT_EQ(state.track_index, 2u);
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), -1);
}

TEST_F(UnplayableTracksArePassed, FailingTrackIsSkippedLoadingTrackIsAwaited) {
    const int mix = add_playlist("Mix", 3);
    splocal_track_set_error(tracks_of(mix)[0], SP_ERROR_OTHER_PERMANENT);
    splocal_track_hold_metadata(tracks_of(mix)[1], 1);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(state.advance_pending.load(), 1);

    pump();
    EXPECT_EQ(state.track_index, 1u); // held at the loading track
    for (int i = 0; i < 5; ++i)
        session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), -1);

    splocal_track_hold_metadata(tracks_of(mix)[1], 0); // metadata_updated starts it
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), tracks_of(mix)[1]);
}

TEST_F(UnplayableTracksArePassed, RepeatedEventForThePlayingTrackChangesNothing) {
    const int mix = add_playlist("Mix", 2);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 4096; }));
    const int position = splocal_player_position(state.session);
    session_play_current(&state);
    on_metadata_updated(state.session);
    EXPECT_EQ(player_track(), tracks_of(mix)[0]);
    EXPECT_GE(splocal_player_position(state.session), position);
    EXPECT_TRUE(head_is_start_of(tracks_of(mix)[0]));
}

// The names as the dialog receives them; frees the copies as it would.
std::vector<std::string> take_names(char **names, int count) {
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) {
        result.emplace_back(names[i]);
        std::free(names[i]);
    }
    delete[] names;
    return result;
}

TEST_F(PlaylistListOffersLoadedNames, NoContainerGivesNothing) {
    char **names = reinterpret_cast<char **>(&names);
    EXPECT_EQ(session_list_playlists(&state, &names), 0);
    EXPECT_EQ(names, nullptr);
}

TEST_F(PlaylistListOffersLoadedNames, AllLoadingGivesAnEmptyArray) {
    splocal_playlist_hold_loading(add_playlist("A", 1), 1);
    splocal_playlist_hold_loading(add_playlist("B", 1), 1);
    ASSERT_TRUE(log_in());
    char **names = nullptr;
    EXPECT_EQ(session_list_playlists(&state, &names), 0);
    EXPECT_NE(names, nullptr);
    take_names(names, 0);
}

TEST_F(PlaylistListOffersLoadedNames, LoadedOnlyInContainerOrderAsOwnCopies) {
    add_playlist("First", 1);
    const int held = add_playlist("Held", 1);
    add_playlist("Third", 0);
    splocal_playlist_hold_loading(held, 1);
    ASSERT_TRUE(log_in());

    char **names = nullptr;
    const int count = session_list_playlists(&state, &names);
    ASSERT_EQ(count, 2);
    // Copies: the library's own strings are untouched by the caller.
    EXPECT_NE(names[0], sp_playlist_name(sp_playlistcontainer_playlist(state.container, 0)));
    names[0][0] = 'X';
    EXPECT_STREQ(sp_playlist_name(sp_playlistcontainer_playlist(state.container, 0)), "First");
    EXPECT_EQ(take_names(names, count), (std::vector<std::string>{"Xirst", "Third"}));

    take_flag(&SessionState::playlists_changed);
    splocal_playlist_hold_loading(held, 0);
    pump();
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);
    const int all = session_list_playlists(&state, &names);
    EXPECT_EQ(take_names(names, all), (std::vector<std::string>{"First", "Held", "Third"}));
}

} // namespace
} // namespace session_test
