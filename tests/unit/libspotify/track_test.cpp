// Track metadata as the program sees it: loaded with the playlist, held
// back until released, unavailable, or failing for good.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using TrackMetadataFollowsTheCatalogue = LibraryTest;

TEST_F(TrackMetadataFollowsTheCatalogue, HeldUnavailableAndFailingTracks) {
    const int ok = splocal_track_add("S\xC3\xB3lveig", "Caf\xC3\xA9", SPLOCAL_SOUND_CHORD, 0, 100);
    const int held = add_track("Late"), gone = add_track("Gone"), broken = add_track("Broken");
    splocal_track_hold_metadata(held, 1);
    splocal_track_set_available(gone, 0);
    splocal_track_set_error(broken, SP_ERROR_OTHER_PERMANENT);
    add_playlist("P", {ok, held, gone, broken});
    log_in();
    take_events();
    // Per track: loaded, error, available, player_load. A track still
    // loading is available: the program waits for it, it does not skip it.
    const auto state = [&](int index) {
        sp_track *track = sp_playlist_track(playlist_at(0), index);
        return std::to_string(sp_track_is_loaded(track)) + " " +
               std::to_string(sp_track_error(track)) + " " +
               std::to_string(sp_track_is_available(session, track)) + " " +
               std::to_string(sp_session_player_load(session, track));
    };
    sp_track *late = sp_playlist_track(playlist_at(0), 1);
    EXPECT_EQ(state(1), "0 17 1 17");
    EXPECT_EQ(state(2), "1 0 0 3");
    EXPECT_EQ(state(3), "0 10 1 3");
    EXPECT_EQ(splocal_player_track(session), -1);
    EXPECT_STREQ(sp_track_name(late), "");
    EXPECT_EQ(sp_track_artist(late, 0), nullptr);
    EXPECT_STREQ(sp_artist_name(nullptr), "");
    sp_track *cafe = sp_playlist_track(playlist_at(0), 0);
    EXPECT_STREQ(sp_track_name(cafe), "Caf\xC3\xA9");
    EXPECT_STREQ(sp_artist_name(sp_track_artist(cafe, 0)), "S\xC3\xB3lveig");
    EXPECT_EQ(sp_track_artist(cafe, 1), nullptr);
    EXPECT_EQ(state(0), "1 0 1 0");

    // Releases and availability reach the view through metadata_updated.
    splocal_track_hold_metadata(held, 0);
    splocal_track_set_available(gone, 1);
    EXPECT_EQ(state(1), "0 17 1 17"); // not before process_events
    EXPECT_EQ(state(2), "1 0 0 3");
    pump();
    EXPECT_EQ(take_events(), "metadata_updated; metadata_updated");
    EXPECT_STREQ(sp_track_name(late), "Late");
    EXPECT_EQ(state(1), "1 0 1 0");
    EXPECT_EQ(state(2), "1 0 1 0");
    EXPECT_EQ(splocal_player_track(session), gone);
}

} // namespace
} // namespace libspotify_test
