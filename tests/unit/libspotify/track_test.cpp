// Track metadata as the program sees it: loaded with the playlist, held
// back until released, unavailable, or failing for good.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using TrackMetadataFollowsTheCatalogue = LibraryTest;

TEST_F(TrackMetadataFollowsTheCatalogue, HeldUnavailableAndFailingTracks) {
    const int held = add_track("Late"), gone = add_track("Gone"), broken = add_track("Broken");
    splocal_track_hold_metadata(held, 1);
    splocal_track_set_available(gone, 0);
    splocal_track_set_error(broken, SP_ERROR_OTHER_PERMANENT);
    add_playlist("P", {held, gone, broken});
    log_in();
    take_events();
    // Loaded, error, available, player_load, artist / title. A track still
    // loading is available: the program waits for it, it does not skip it.
    const auto state = [&](int index) {
        sp_track *t = sp_playlist_track(playlist_at(0), index);
        return str(+sp_track_is_loaded(t), " ", sp_track_error(t), " ",
                   +sp_track_is_available(session, t), " ", sp_session_player_load(session, t), " ",
                   sp_artist_name(sp_track_artist(t, 0)), " / ", sp_track_name(t));
    };
    EXPECT_EQ(state(0), "0 17 1 17  / ");
    EXPECT_EQ(state(1), "1 0 0 3 Artist / Gone");
    EXPECT_EQ(state(2), "0 10 1 3  / ");
    EXPECT_EQ(sp_track_artist(sp_playlist_track(playlist_at(0), 1), 1), nullptr);
    EXPECT_EQ(splocal_player_track(session), -1);

    // Releases and availability reach the view through metadata_updated.
    splocal_track_hold_metadata(held, 0);
    splocal_track_set_available(gone, 1);
    EXPECT_EQ(state(0), "0 17 1 17  / "); // not before process_events
    EXPECT_EQ(state(1), "1 0 0 3 Artist / Gone");
    pump();
    EXPECT_EQ(take_events(), "metadata_updated; metadata_updated");
    EXPECT_EQ(state(0), "1 0 1 0 Artist / Late");
    EXPECT_EQ(state(1), "1 0 1 0 Artist / Gone");
    EXPECT_EQ(splocal_player_track(session), gone);
}

} // namespace
} // namespace libspotify_test
