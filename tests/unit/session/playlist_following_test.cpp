// Playlist following: which playlist is followed as the container changes,
// which track plays as the playlist changes, the names offered to the dialog.

#include "support/libspotify/library_harness.h"

namespace lib_test {
namespace {

using SelectionFollowsTheName = SessionTest;
using SelectionFollowsTheContainer = SessionTest;
using TrackSequenceRunsThroughThePlaylist = SessionTest;
using PlaylistListOffersLoadedNames = SessionTest;
using EditAfterAnAdvanceRequestKeepsTheNewTrack = SessionTest;

TEST_F(SelectionFollowsTheName, LaterOfTheSameNameWinsAWaitingNameIsTakenLater) {
    new_playlist("Mix", 2);
    new_playlist("mix", 2); // names are case-sensitive
    const Playlist later = new_playlist("Mix", 2), unnamed = new_playlist("", 1);
    const Playlist old = new_playlist("Old", 3);
    ASSERT_TRUE(log_in());
    state.track_index = 2;
    session_select_playlist(&state, "Wanted");
    EXPECT_EQ(state.playlist, nullptr);
    splocal_playlist_rename(old.id, "Wanted"); // followed from the start
    pass();
    EXPECT_EQ(player_track(), old[0]);
    session_select_playlist(&state, "Mix");
    EXPECT_EQ(player_track(), later[0]);
    session_select_playlist(&state, ""); // the empty name is a name
    EXPECT_EQ(player_track(), unnamed[0]);

    state.track_index = 2;
    session_select_playlist(&state, "Added");
    state.playlists_changed = 0;
    const Playlist added = new_playlist("Added", 3); // followed at the position
    pass();
    EXPECT_EQ(player_track(), added[2]);
    EXPECT_EQ(std::exchange(state.playlists_changed, 0), 1);
    // Its handlers were attached once: one removal before the position moves it back by one.
    const int front = 0;
    splocal_playlist_remove_tracks(added.id, &front, 1);
    pass();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), added[2]);
}

TEST_F(SelectionFollowsTheContainer, RenamedOrRemovedPlaylistMovesTheSelection) {
    ASSERT_TRUE(start(1));
    state.playlists_changed = 0;
    splocal_playlist_rename(mix.id, "Elsewhere"); // the player stops, queued audio stays
    pass();
    EXPECT_EQ(state.playlists_changed, 1); // the dialog must not offer the old name
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(state.current_track, nullptr);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(head_is_start_of(mix[1]));
    state.track_index = 2;
    splocal_playlist_rename(mix.id, "Mix"); // followed again, from the start
    pass();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), mix[0]);

    const Playlist other = new_playlist("Other", 2);
    pass();
    splocal_playlist_rename(other.id, "Mix"); // takes over, with none of mix's audio first
    pass();
    EXPECT_EQ(splocal_playlist_id(state.playlist), other.id);
    EXPECT_TRUE(pass_until([&] { return head_is_start_of(other[0]); }));
    state.playlists_changed = 0;
    splocal_playlist_remove(other.id); // the selection goes, queued audio plays out
    pass();
    EXPECT_EQ(state.playlist, nullptr);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(head_is_start_of(other[0]));
    EXPECT_EQ(state.playlists_changed, 1);
    state.advance_pending.store(1); // nothing left to advance in
    pass();
    EXPECT_EQ(player_track(), -1);
}

// An edit of the followed playlist while mix[start] plays: 'r' removes
// positions, 'i' inserts a new track at at, 'm' moves positions before at.
// Afterwards: the position, the mix track playing, the mix track after one
// advance (-1: none).
struct Edit {
    const char *name;
    int start;
    char kind;
    std::vector<int> positions;
    int at;
    uint32_t index;
    int plays, next;
};

const Edit kEdits[] = {
    {"RemovedBefore", 3, 'r', {0, 1}, 0, 1, 3, -1},
    {"RemovedAtPosition", 1, 'r', {1, 3}, 0, 1, 2, -1},
    {"RemovedAtLastPosition", 3, 'r', {3}, 0, 3, -1, -1},
    {"InsertedBefore", 1, 'i', {}, 0, 1, 0, 1},
    {"AppendedAfter", 0, 'i', {}, -1, 0, 0, 1},
    {"MovedFromBefore", 1, 'm', {0}, 3, 1, 2, 0},
};

class PositionSurvivesPlaylistEdits : public SessionTest,
                                      public ::testing::WithParamInterface<Edit> {};

TEST_P(PositionSurvivesPlaylistEdits, TrackNowAtThePositionPlays) {
    const Edit &edit = GetParam();
    ASSERT_TRUE(start(edit.start));
    const int position = splocal_player_position(state.session);
    const int count = int(edit.positions.size()), track = add_track();
    if (edit.kind == 'r')
        splocal_playlist_remove_tracks(mix.id, edit.positions.data(), count);
    else if (edit.kind == 'm')
        splocal_playlist_move_tracks(mix.id, edit.positions.data(), count, edit.at);
    else
        splocal_playlist_add_tracks(mix.id, &track, 1, edit.at);
    pass();
    on_metadata_updated(state.session); // a repeated event changes nothing
    EXPECT_EQ(state.track_index, edit.index);
    EXPECT_EQ(player_track(), edit.plays < 0 ? -1 : mix[edit.plays]);
    if (edit.plays < 0) { // the removed track stopped, none of its audio left
        EXPECT_EQ(pcm_queue_frames(&queue), 0);
    } else if (edit.plays == edit.start) { // not reloaded, nothing dropped
        EXPECT_GE(splocal_player_position(state.session), position);
        EXPECT_TRUE(head_is_start_of(mix[edit.start]));
    } else { // none of the replaced track's audio is left before the new one's
        EXPECT_TRUE(pass_until([&] { return head_is_start_of(mix[edit.plays]); }));
    }
    state.advance_pending.store(1);
    pass();
    EXPECT_EQ(player_track(), edit.next < 0 ? -1 : mix[edit.next]);
}

INSTANTIATE_TEST_SUITE_P(Edits, PositionSurvivesPlaylistEdits, ::testing::ValuesIn(kEdits),
                         [](const auto &param) { return std::string(param.param.name); });

// An unplayable track asks for an advance; an edit that removes it before the
// next pass puts another track at the position, which the request must not pass.
TEST_F(EditAfterAnAdvanceRequestKeepsTheNewTrack, UnplayableTrackRemovedBeforeThePass) {
    mix = new_playlist("Mix", 3);
    splocal_track_set_available(mix[0], 0);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_EQ(state.advance_pending.load(), kAdvanceUnplayable);
    const int first = 0;
    splocal_playlist_remove_tracks(mix.id, &first, 1);
    int timeout = 0;
    sp_session_process_events(state.session, &timeout); // the removal, without a pass
    pass();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), mix[1]) << "the old track's advance moved past the new one";
}

TEST_F(TrackSequenceRunsThroughThePlaylist, UnplayablePassedOneAPassLoadingAwaitedEndWaits) {
    mix = new_playlist("Mix", 3, 2048); // short: the player ends each by itself
    splocal_track_set_available(mix[0], 0);
    splocal_track_set_error(mix[1], SP_ERROR_OTHER_PERMANENT); // never loads
    splocal_track_hold_metadata(mix[2], 1);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    EXPECT_TRUE(woken());
    for (uint32_t pass = 1; pass <= 2; ++pass) { // one unplayable track a pass
        session_process(&state);
        EXPECT_EQ(state.track_index, pass);
    }
    pass();
    EXPECT_EQ(state.track_index, 2u); // held at the loading track
    EXPECT_EQ(player_track(), -1);

    splocal_track_hold_metadata(mix[2], 0);                           // metadata_updated starts it
    ASSERT_TRUE(pass_until([&] { return state.track_index == 3u; })); // and it ends
    pass();
    EXPECT_TRUE(head_is_start_of(mix[2]));
    EXPECT_EQ(player_track(), -1);
    const int appended = add_track();
    splocal_playlist_add_tracks(mix.id, &appended, 1, -1); // picked up at the end
    pass();
    EXPECT_EQ(state.track_index, 3u);
    EXPECT_EQ(player_track(), appended);
}

TEST_F(PlaylistListOffersLoadedNames, LoadedOnlyInContainerOrderAsOwnCopies) {
    char **names = &state.wanted_name; // any non-null value: no container yet gives null
    EXPECT_EQ(session_list_playlists(&state, &names) + (names != nullptr), 0);
    const int ids[] = {new_playlist("First", 1).id, new_playlist("Held", 1).id,
                       new_playlist("Third", 0).id};
    for (int id : ids)
        splocal_playlist_hold_loading(id, 1);
    ASSERT_TRUE(log_in());
    EXPECT_EQ(listed(), std::vector<std::string>{}); // all loading
    for (int id : {ids[0], ids[2]})
        splocal_playlist_hold_loading(id, 0);
    pass();
    EXPECT_EQ(listed(), (std::vector<std::string>{"First", "Third"}));
    state.playlists_changed = 0;
    splocal_playlist_hold_loading(ids[1], 0);
    pass();
    EXPECT_EQ(state.playlists_changed, 1);
    EXPECT_EQ(listed(), (std::vector<std::string>{"First", "Held", "Third"}));
}

} // namespace
} // namespace lib_test
