// Track metadata as the program sees it: loaded with the playlist, held
// back until released, unavailable, or failing for good.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using TrackMetadataFollowsTheCatalogue = LibraryTest;
using Events = std::vector<std::string>;

TEST_F(TrackMetadataFollowsTheCatalogue, ArtistAndTitleArriveWithThePlaylistInUtf8) {
    const int t = splocal_track_add("S\xC3\xB3lveig \xC3\x98rn", "Caf\xC3\xA9 Lumi\xC3\xA8re",
                                    SPLOCAL_SOUND_CHORD, 0, 1000);
    add_playlist("P", {t});
    log_in();
    sp_track *track = sp_playlist_track(playlist_at(0), 0);
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(sp_track_is_loaded(track));
    EXPECT_EQ(sp_track_error(track), SP_ERROR_OK);
    EXPECT_TRUE(sp_track_is_available(session, track));
    EXPECT_STREQ(sp_track_name(track), "Caf\xC3\xA9 Lumi\xC3\xA8re");
    EXPECT_STREQ(sp_artist_name(sp_track_artist(track, 0)), "S\xC3\xB3lveig \xC3\x98rn");
    EXPECT_EQ(sp_track_artist(track, 1), nullptr);
    EXPECT_STREQ(sp_artist_name(nullptr), "");
}

TEST_F(TrackMetadataFollowsTheCatalogue, AHeldTrackLoadsOnReleaseWithMetadataUpdated) {
    const int t = add_tone_track("Late");
    splocal_track_hold_metadata(t, 1);
    add_playlist("P", {t});
    log_in();
    take_events();
    sp_track *track = sp_playlist_track(playlist_at(0), 0);
    EXPECT_FALSE(sp_track_is_loaded(track));
    EXPECT_EQ(sp_track_error(track), SP_ERROR_IS_LOADING);
    EXPECT_TRUE(sp_track_is_available(session, track)); // wait for it, do not skip it
    EXPECT_STREQ(sp_track_name(track), "");
    EXPECT_EQ(sp_track_artist(track, 0), nullptr);
    EXPECT_EQ(sp_session_player_load(session, track), SP_ERROR_IS_LOADING);

    splocal_track_hold_metadata(t, 0);
    EXPECT_FALSE(sp_track_is_loaded(track)); // not before process_events
    pump();
    EXPECT_EQ(take_events(), (Events{"metadata_updated"}));
    EXPECT_TRUE(sp_track_is_loaded(track));
    EXPECT_STREQ(sp_track_name(track), "Late");
    EXPECT_EQ(sp_session_player_load(session, track), SP_ERROR_OK);
}

TEST_F(TrackMetadataFollowsTheCatalogue, UnavailableAndFailingTracksCannotBeLoaded) {
    const int gone = add_tone_track("Gone");
    const int broken = add_tone_track("Broken");
    splocal_track_set_available(gone, 0);
    splocal_track_set_error(broken, SP_ERROR_OTHER_PERMANENT);
    add_playlist("P", {gone, broken});
    log_in();
    sp_track *unavailable = sp_playlist_track(playlist_at(0), 0);
    sp_track *failing = sp_playlist_track(playlist_at(0), 1);
    EXPECT_FALSE(sp_track_is_available(session, unavailable));
    EXPECT_TRUE(sp_track_is_loaded(unavailable));
    EXPECT_EQ(sp_session_player_load(session, unavailable), SP_ERROR_TRACK_NOT_PLAYABLE);
    EXPECT_FALSE(sp_track_is_loaded(failing));
    EXPECT_EQ(sp_track_error(failing), SP_ERROR_OTHER_PERMANENT);
    EXPECT_EQ(sp_session_player_load(session, failing), SP_ERROR_TRACK_NOT_PLAYABLE);
    EXPECT_EQ(splocal_player_track(session), -1);

    // Changes reach the view through metadata_updated.
    take_events();
    splocal_track_set_available(gone, 1);
    EXPECT_FALSE(sp_track_is_available(session, unavailable));
    pump();
    EXPECT_EQ(take_events(), (Events{"metadata_updated"}));
    EXPECT_TRUE(sp_track_is_available(session, unavailable));
    EXPECT_EQ(sp_session_player_load(session, unavailable), SP_ERROR_OK);
    EXPECT_EQ(splocal_player_track(session), gone);
}

TEST_F(TrackMetadataFollowsTheCatalogue, HandlesOutliveTheirPlaylistUntilRelease) {
    const int t = add_tone_track("Kept");
    const int pl = add_playlist("P", {t});
    log_in();
    sp_playlist *view = playlist_at(0);
    sp_track *track = sp_playlist_track(view, 0);
    const int first = 0;
    splocal_playlist_remove_tracks(pl, &first, 1);
    splocal_playlist_remove(pl);
    pump();
    EXPECT_EQ(sp_playlistcontainer_num_playlists(container()), 0);
    EXPECT_EQ(sp_playlist_num_tracks(view), 0);
    EXPECT_STREQ(sp_track_name(track), "Kept");
    EXPECT_EQ(splocal_track_id(track), t);
}

} // namespace
} // namespace libspotify_test
