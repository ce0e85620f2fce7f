#include "visual/title_text.h"

#include "support/libspotify/library_harness.h"

namespace {

using TitleTextJoinsArtistAndName = lib_test::SessionTest;

// Artist " - " name from UTF-8, also for an empty artist; no session, no
// track, or a track whose metadata has not arrived gives an empty line.
TEST_F(TitleTextJoinsArtistAndName, OfTheCurrentTrack) {
    const int late = add_track(1024, "Pending", "Later");
    splocal_track_hold_metadata(late, 1);
    add_playlist("P", {add_track(1024, "Sigur R\xC3\xB3s", "Hopp\xC3\xADpolla"),
                       add_track(1024, "", "Untitled"), late});
    ASSERT_TRUE(log_in());
    const auto title_of = [&](int index) {
        state.current_track = index < 0 ? nullptr : sp_playlist_track(playlist_at(0), index);
        return title_text(&state);
    };
    EXPECT_EQ(title_of(0), L"Sigur R\u00F3s - Hopp\u00EDpolla");
    EXPECT_EQ(title_of(1), L" - Untitled");
    EXPECT_EQ(title_of(2), L"");
    EXPECT_EQ(title_of(-1), L"");
    EXPECT_EQ(title_text(nullptr), L"");
}

} // namespace
