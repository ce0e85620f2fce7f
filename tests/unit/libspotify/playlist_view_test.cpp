// Playlists as the program sees them: loading after login, and every change
// of the catalogue reaching the view only inside process_events, through
// the callbacks, with the arguments of the callback records.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using PlaylistsLoadThroughTracksAdded = LibraryTest;
using ChangesReachTheViewOnlyInsideProcessEvents = LibraryTest;
using PlaylistCallbacksAreRegisteredPerPair = LibraryTest;

using Events = std::vector<std::string>;

TEST_F(PlaylistsLoadThroughTracksAdded, EachPlaylistLoadsWithAllItsTracksAtPositionZero) {
    const int t0 = add_tone_track("t0");
    const int t1 = add_tone_track("t1");
    const int t2 = add_tone_track("t2");
    add_playlist("Mix", {t0, t1, t2});
    add_playlist("Empty", {});
    add_playlist("Again", {t2, t0});
    log_in_watching();
    EXPECT_EQ(take_events(),
              (Events{"logged_in 0 state 1 container", "tracks_added Mix [0,1,2] at 0 now 3 ud 0",
                      "tracks_added Empty [] at 0 now 0 ud 0",
                      "tracks_added Again [2,0] at 0 now 2 ud 0", "container_loaded"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(sp_playlist_is_loaded(playlist_at(i)));
    // One handle per track, whichever playlist it stands in.
    EXPECT_EQ(sp_playlist_track(playlist_at(0), 0), sp_playlist_track(playlist_at(2), 1));
    EXPECT_EQ(sp_playlist_track(playlist_at(0), 3), nullptr);
    EXPECT_EQ(sp_playlist_track(playlist_at(0), -1), nullptr);
}

TEST_F(PlaylistsLoadThroughTracksAdded, AHeldPlaylistLoadsOnlyWhenReleased) {
    const int t0 = add_tone_track("t0");
    const int held = add_playlist("Held", {t0});
    add_playlist("Free", {t0});
    splocal_playlist_hold_loading(held, 1);
    log_in_watching();
    EXPECT_EQ(take_events(),
              (Events{"logged_in 0 state 1 container", "tracks_added Free [0] at 0 now 1 ud 0"}));
    EXPECT_FALSE(sp_playlist_is_loaded(playlist_of(held)));
    EXPECT_EQ(sp_playlist_num_tracks(playlist_of(held)), 0);

    // Tracks added while it is held come with the load, once.
    const int t1 = add_tone_track("t1");
    splocal_playlist_add_tracks(held, &t1, 1, 0);
    pump();
    EXPECT_TRUE(take_events().empty());

    splocal_playlist_hold_loading(held, 0);
    EXPECT_FALSE(sp_playlist_is_loaded(playlist_of(held)));
    pump();
    EXPECT_EQ(take_events(),
              (Events{"tracks_added Held [1,0] at 0 now 2 ud 0", "container_loaded"}));
    EXPECT_TRUE(sp_playlist_is_loaded(playlist_of(held)));
}

TEST_F(ChangesReachTheViewOnlyInsideProcessEvents, PlaylistsAddedRemovedAndRenamed) {
    const int t0 = add_tone_track("t0");
    const int first = add_playlist("First", {t0});
    const int second = add_playlist("Second", {});
    log_in_watching();
    take_events();

    const int middle = splocal_playlist_add(kUser, "Middle", 1);
    splocal_playlist_add(kUser, "Last", -1);
    EXPECT_EQ(sp_playlistcontainer_num_playlists(container()), 2); // old state
    pump();
    // The view has changed when the callback runs; the playlist then loads.
    EXPECT_EQ(take_events(),
              (Events{"playlist_added Middle at 1 of 3", "playlist_added Last at 3 of 4"}));
    EXPECT_EQ(splocal_playlist_id(playlist_at(1)), middle);
    EXPECT_TRUE(sp_playlist_is_loaded(playlist_at(1)));

    sp_playlist *renamed = playlist_of(first);
    const char *old_name = sp_playlist_name(renamed);
    splocal_playlist_rename(first, "Premi\xC3\xA8re");
    EXPECT_STREQ(old_name, "First"); // still valid until the program is told
    pump();
    EXPECT_EQ(take_events(), (Events{"playlist_renamed Premi\xC3\xA8re"}));

    sp_playlist *gone = playlist_of(second);
    splocal_playlist_remove(second);
    EXPECT_EQ(playlist_of(second), gone);
    pump();
    EXPECT_EQ(take_events(), (Events{"playlist_removed Second at 2 of 3"}));
    EXPECT_EQ(playlist_of(second), nullptr);
    // The handle stays usable after its removal.
    EXPECT_STREQ(sp_playlist_name(gone), "Second");
    EXPECT_TRUE(sp_playlist_is_loaded(gone));

    // Changes to a removed playlist are refused; other accounts are unseen.
    splocal_playlist_rename(second, "Ghost");
    ASSERT_GE(splocal_account_add("bob", "pw"), 0);
    splocal_playlist_add("bob", "Bob's", -1);
    pump();
    EXPECT_TRUE(take_events().empty());
    EXPECT_EQ(sp_playlistcontainer_num_playlists(container()), 3);
}

TEST_F(ChangesReachTheViewOnlyInsideProcessEvents, TracksAddedRemovedAndMovedWithTheirPositions) {
    std::vector<int> t;
    for (int i = 0; i < 6; ++i)
        t.push_back(add_tone_track("t"));
    const int pl = add_playlist("P", {t[0], t[1], t[2], t[3]});
    log_in_watching();
    take_events();
    sp_playlist *view = playlist_of(pl);

    const int added[] = {t[4], t[5]};
    splocal_playlist_add_tracks(pl, added, 2, 1);
    EXPECT_EQ(track_ids(view), (std::vector<int>{0, 1, 2, 3}));
    pump();
    EXPECT_EQ(take_events(), (Events{"tracks_added P [4,5] at 1 now 6 ud 0"}));
    EXPECT_EQ(track_ids(view), (std::vector<int>{0, 4, 5, 1, 2, 3}));

    const int removed[] = {5, 0, 2}; // any order; reported ascending
    splocal_playlist_remove_tracks(pl, removed, 3);
    EXPECT_EQ(sp_playlist_num_tracks(view), 6);
    pump();
    EXPECT_EQ(take_events(), (Events{"tracks_removed P [0,2,5] now 3"}));
    EXPECT_EQ(track_ids(view), (std::vector<int>{4, 1, 2}));

    const int moved[] = {0};
    splocal_playlist_move_tracks(pl, moved, 1, 3); // to the end
    pump();
    EXPECT_EQ(take_events(), (Events{"tracks_moved P [0] to 3"}));
    EXPECT_EQ(track_ids(view), (std::vector<int>{1, 2, 4}));

    const int back[] = {1, 2};
    splocal_playlist_move_tracks(pl, back, 2, 0);
    pump();
    EXPECT_EQ(take_events(), (Events{"tracks_moved P [1,2] to 0"}));
    EXPECT_EQ(track_ids(view), (std::vector<int>{2, 4, 1}));

    // Bad positions change nothing and announce nothing.
    const int bad[] = {3};
    const int twice[] = {1, 1};
    splocal_playlist_remove_tracks(pl, bad, 1);
    splocal_playlist_remove_tracks(pl, twice, 2);
    splocal_playlist_move_tracks(pl, bad, 1, 0);
    const int unknown_track = 999;
    splocal_playlist_add_tracks(pl, &unknown_track, 1, 0);
    pump();
    EXPECT_TRUE(take_events().empty());
    EXPECT_EQ(track_ids(view), (std::vector<int>{2, 4, 1}));
}

TEST_F(ChangesReachTheViewOnlyInsideProcessEvents, ManyChangesArriveInOrder) {
    // With a latency, changes queue up and are all applied in order later.
    const int pl = add_playlist("P", {});
    log_in_watching();
    take_events();
    splocal_set_latency(30);
    std::vector<int> expected;
    for (int i = 0; i < 20; ++i) {
        const int track = add_tone_track("t");
        splocal_playlist_add_tracks(pl, &track, 1, i % 3 == 0 ? 0 : -1);
        expected.insert(i % 3 == 0 ? expected.begin() : expected.end(), track);
        if (i % 5 == 4) {
            const int first = 0;
            splocal_playlist_remove_tracks(pl, &first, 1);
            expected.erase(expected.begin());
        }
    }
    EXPECT_EQ(sp_playlist_num_tracks(playlist_of(pl)), 0);
    ASSERT_TRUE(wait_until([&] { return !splocal_work_pending(session); }));
    EXPECT_EQ(track_ids(playlist_of(pl)), expected);
    EXPECT_EQ(take_events().size(), 24u);
}

TEST_F(PlaylistCallbacksAreRegisteredPerPair, TwoRegistrationsHearTwiceAndRemovalTakesOnePair) {
    const int pl = add_playlist("P", {});
    log_in_watching();
    take_events();
    sp_playlist *view = playlist_of(pl);
    void *const other = reinterpret_cast<void *>(7);
    sp_playlist_add_callbacks(view, &playlist_callbacks, other);

    splocal_playlist_rename(pl, "Q");
    pump();
    EXPECT_EQ(take_events().size(), 2u);

    sp_playlist_remove_callbacks(view, &playlist_callbacks, nullptr);
    const int track = add_tone_track("t");
    splocal_playlist_add_tracks(pl, &track, 1, -1);
    pump();
    EXPECT_EQ(take_events(), (Events{"tracks_added Q [0] at 0 now 1 ud 7"}));

    sp_playlist_remove_callbacks(view, &playlist_callbacks, other);
    splocal_playlist_rename(pl, "R");
    pump();
    EXPECT_TRUE(take_events().empty());
    EXPECT_STREQ(sp_playlist_name(view), "R");
}

} // namespace
} // namespace libspotify_test
