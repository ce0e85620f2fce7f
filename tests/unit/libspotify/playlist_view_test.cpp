// Playlists as the program sees them: loading after login, and every change
// of the catalogue reaching the view only inside process_events, through
// the callbacks, with the view already changed when the callback runs.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using PlaylistsLoadThroughTracksAdded = LibraryTest;
using ChangesReachTheViewOnlyInsideProcessEvents = LibraryTest;

TEST_F(PlaylistsLoadThroughTracksAdded, AllTracksAtPositionZeroAndAHeldPlaylistOnRelease) {
    const int t0 = add_track("t0"), t1 = add_track("t1"), t2 = add_track("t2");
    add_playlist("Mix", {t0, t1, t2});
    add_playlist("Empty", {});
    const int held = add_playlist("Held", {t2, t0});
    splocal_playlist_hold_loading(held, 1);
    log_in(kUser, kPassword, true);
    EXPECT_EQ(take_events(), "logged_in 0 state 1 playlists 3 loaded 0; "
                             "tracks_added Mix [0,1,2] at 0 now 3 ud 0; "
                             "tracks_added Empty [] at 0 now 0 ud 0");
    EXPECT_EQ(view(), "Mix[0,1,2] Empty[] Held?[]");

    // Tracks added while it is held come with the load, once.
    const int t3 = add_track("t3");
    splocal_playlist_add_tracks(held, &t3, 1, 0);
    pump();
    splocal_playlist_hold_loading(held, 0);
    EXPECT_EQ(view(), "Mix[0,1,2] Empty[] Held?[]");
    pump();
    EXPECT_EQ(take_events(), "tracks_added Held [3,2,0] at 0 now 3 ud 0; container_loaded");
    EXPECT_EQ(view(), "Mix[0,1,2] Empty[] Held[3,2,0]");
    // One handle per track, whichever playlist it stands in.
    EXPECT_EQ(sp_playlist_track(playlist_at(0), 0), sp_playlist_track(playlist_at(2), 2));
    EXPECT_EQ(sp_playlist_track(playlist_at(0), 3), nullptr);
    EXPECT_EQ(sp_playlist_track(playlist_at(0), -1), nullptr);
}

TEST_F(ChangesReachTheViewOnlyInsideProcessEvents, EachChangeWithItsCallbackArguments) {
    for (int i = 0; i < 6; ++i)
        add_track("t");
    const int first = add_playlist("First", {0, 1, 2, 3}), second = add_playlist("Second", {});
    log_in(kUser, kPassword, true);
    take_events();
    sp_playlist *second_view = playlist_at(1);
    sp_track *removed_track = sp_playlist_track(playlist_at(0), 0);

    const int added[] = {4, 5}, removed[] = {5, 0, 2}, one[] = {0}, two[] = {1, 2};
    const int bad[] = {3}, twice[] = {1, 1}, unknown = 999;
    void *const seven = reinterpret_cast<void *>(7);
    const std::tuple<std::function<void()>, const char *, std::string> steps[] = {
        {[&] { splocal_playlist_add_tracks(first, added, 2, 1); },
         "tracks_added First [4,5] at 1 now 6 ud 0", "First[0,4,5,1,2,3] Second[]"},
        {[&] { splocal_playlist_remove_tracks(first, removed, 3); },
         "tracks_removed First [0,2,5] now 3", "First[4,1,2] Second[]"},
        {[&] { splocal_playlist_move_tracks(first, one, 1, 3); }, "tracks_moved First [0] to 3",
         "First[1,2,4] Second[]"},
        {[&] { splocal_playlist_move_tracks(first, two, 2, 0); }, "tracks_moved First [1,2] to 0",
         "First[2,4,1] Second[]"},
        {[&] { // invalid changes are ignored
             splocal_playlist_remove_tracks(first, bad, 1);
             splocal_playlist_remove_tracks(first, twice, 2);
             splocal_playlist_move_tracks(first, bad, 1, 0);
             splocal_playlist_add_tracks(first, &unknown, 1, 0);
         },
         "", "First[2,4,1] Second[]"},
        {[&] {
             splocal_playlist_add(kUser, "Middle", 1);
             splocal_playlist_add(kUser, "Last", -1);
         },
         "playlist_added Middle at 1 of 3; playlist_added Last at 3 of 4",
         "First[2,4,1] Middle[] Second[] Last[]"},
        {[&] { // a second pair of callbacks and userdata hears too
             sp_playlist_add_callbacks(playlist_at(0), &playlist_callbacks, seven);
             splocal_playlist_rename(first, "Caf\xC3\xA9");
         },
         "playlist_renamed Caf\xC3\xA9; playlist_renamed Caf\xC3\xA9",
         "Caf\xC3\xA9[2,4,1] Middle[] Second[] Last[]"},
        {[&] { splocal_playlist_remove(second); }, "playlist_removed Second at 2 of 3",
         "Caf\xC3\xA9[2,4,1] Middle[] Last[]"},
        {[&] { // removing a pair leaves the other
             sp_playlist_remove_callbacks(playlist_at(0), &playlist_callbacks, nullptr);
             splocal_playlist_add_tracks(first, bad, 1, -1);
         },
         "tracks_added Caf\xC3\xA9 [3] at 3 now 4 ud 7", "Caf\xC3\xA9[2,4,1,3] Middle[] Last[]"},
        {[&] { // unheard: a removed pair, a removed playlist, another account
             sp_playlist_remove_callbacks(playlist_at(0), &playlist_callbacks, seven);
             splocal_playlist_rename(first, "End");
             splocal_playlist_rename(second, "Ghost");
             splocal_account_add("bob", "pw");
             splocal_playlist_add("bob", "Bob's", -1);
         },
         "", "End[2,4,1,3] Middle[] Last[]"},
    };
    for (const auto &[change, events, after] : steps) {
        SCOPED_TRACE(after);
        const std::string before = view();
        const char *name = sp_playlist_name(playlist_at(0)); // valid until the program is told
        change();
        EXPECT_EQ(view(), before);
        EXPECT_EQ(before.rfind(name, 0), 0u);
        pump();
        EXPECT_EQ(take_events(), events);
        EXPECT_EQ(view(), after);
    }
    // Handles stay valid after their playlist or track was removed.
    EXPECT_STREQ(sp_playlist_name(second_view), "Second");
    EXPECT_TRUE(sp_playlist_is_loaded(second_view));
    EXPECT_STREQ(sp_track_name(removed_track), "t");
    EXPECT_EQ(splocal_track_id(removed_track), 0);
}

TEST_F(ChangesReachTheViewOnlyInsideProcessEvents, ManyQueuedChangesArriveInOrder) {
    const int pl = add_playlist("P", {});
    log_in(kUser, kPassword, true);
    take_events();
    splocal_set_latency(30);
    std::vector<int> expected;
    for (int i = 0; i < 20; ++i) {
        const int track = add_track("t"), front = 0;
        splocal_playlist_add_tracks(pl, &track, 1, i % 3 == 0 ? 0 : -1);
        expected.insert(i % 3 == 0 ? expected.begin() : expected.end(), track);
        if (i % 5 == 4) {
            splocal_playlist_remove_tracks(pl, &front, 1);
            expected.erase(expected.begin());
        }
    }
    EXPECT_EQ(view(), "P[]");
    ASSERT_TRUE(wait_until([&] { return !splocal_work_pending(session); }));
    EXPECT_EQ(view(), "P" + ints(expected.data(), static_cast<int>(expected.size())));
    EXPECT_EQ(rec.events.size(), 24u);
}

} // namespace
} // namespace libspotify_test
