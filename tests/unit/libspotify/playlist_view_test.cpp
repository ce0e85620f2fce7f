// Playlists as the program sees them: loading after login, and every change
// of the catalogue reaching the view only inside process_events, through
// the callbacks, with the view already changed when the callback runs.
#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

using ChangesReachTheViewOnlyInsideProcessEvents = LibraryTest;

TEST_F(ChangesReachTheViewOnlyInsideProcessEvents, EachChangeWithItsCallbackArguments) {
    for (int i = 0; i < 6; ++i)
        add_track();
    const int first = add_playlist("First", {0, 1, 2, 3}), second = add_playlist("Second", {0});
    const int held = add_playlist("Held", {});
    splocal_playlist_hold_loading(held, 1);
    log_in(kUser, kPassword, true);
    EXPECT_EQ(take_events(), "logged_in 0 state 1 playlists 3; tracks_added First [0,1,2,3] at 0 "
                             "ud 0; tracks_added Second [0] at 0 ud 0");
    sp_playlist *second_view = playlist_at(1);
    sp_track *removed_track = sp_playlist_track(playlist_at(0), 0);
    EXPECT_EQ(removed_track, sp_playlist_track(playlist_at(1), 0)); // one handle per track

    const int added[] = {4, 5}, removed[] = {5, 0, 2}, one[] = {0}, two[] = {1, 2}, bad[] = {3};
    const int twice[] = {1, 1}, unknown = 999;
    void *const seven = reinterpret_cast<void *>(7);
    const std::tuple<std::function<void()>, const char *, std::string> steps[] = {
        {[&] { splocal_playlist_hold_loading(held, 0); },
         "tracks_added Held [] at 0 ud 0; "
         "container_loaded",
         "First[0,1,2,3] Second[0] Held[]"},
        {[&] { splocal_playlist_add_tracks(first, added, 2, 1); },
         "tracks_added First [4,5] at 1 ud 0", "First[0,4,5,1,2,3] Second[0] Held[]"},
        {[&] { splocal_playlist_remove_tracks(first, removed, 3); }, "tracks_removed First [0,2,5]",
         "First[4,1,2] Second[0] Held[]"},
        {[&] { splocal_playlist_move_tracks(first, one, 1, 3); }, "tracks_moved First [0] to 3",
         "First[1,2,4] Second[0] Held[]"},
        {[&] { splocal_playlist_move_tracks(first, two, 2, 0); }, "tracks_moved First [1,2] to 0",
         "First[2,4,1] Second[0] Held[]"},
        {[&] { // invalid changes are ignored
             splocal_playlist_remove_tracks(first, bad, 1);
             splocal_playlist_remove_tracks(first, twice, 2);
             splocal_playlist_move_tracks(first, bad, 1, 0);
             splocal_playlist_add_tracks(first, &unknown, 1, 0);
         },
         "", "First[2,4,1] Second[0] Held[]"},
        {[&] {
             splocal_playlist_remove(held);
             splocal_playlist_add(kUser, "Middle", 1);
             splocal_playlist_add(kUser, "Last", -1);
         },
         "playlist_removed Held at 2; playlist_added Middle at 1; playlist_added Last at 3",
         "First[2,4,1] Middle[] Second[0] Last[]"},
        {[&] { // a second pair of callbacks and userdata hears too
             sp_playlist_add_callbacks(playlist_at(0), &playlist_callbacks, seven);
             splocal_playlist_rename(first, "Caf\xC3\xA9");
         },
         "playlist_renamed Caf\xC3\xA9; playlist_renamed Caf\xC3\xA9",
         "Caf\xC3\xA9[2,4,1] Middle[] Second[0] Last[]"},
        {[&] { // removing a pair leaves the other
             splocal_playlist_remove(second);
             sp_playlist_remove_callbacks(playlist_at(0), &playlist_callbacks, nullptr);
             splocal_playlist_add_tracks(first, bad, 1, -1);
         },
         "playlist_removed Second at 2; tracks_added Caf\xC3\xA9 [3] at 3 ud 7",
         "Caf\xC3\xA9[2,4,1,3] Middle[] Last[]"},
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
        change();
        EXPECT_EQ(view(), before);
        pump();
        EXPECT_EQ(take_events(), events);
        EXPECT_EQ(view(), after);
    }
    // Handles stay valid after their playlist or track was removed.
    EXPECT_STREQ(sp_playlist_name(second_view), "Second");
    EXPECT_STREQ(sp_track_name(removed_track), "t");
}

} // namespace
} // namespace lib_test
