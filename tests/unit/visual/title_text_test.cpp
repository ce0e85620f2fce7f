#include "visual/title_text.h"

#include "support/libspotify/library_harness.h"

#include <future>

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

    // Both names are copied under one hold of the session lock, never two,
    // between which the track could change: with the lock standing in for an
    // event that lets one wait through, a second hold waits until released.
    title_of(0);
    const HANDLE lock = state.lock.release();
    state.lock.reset(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    auto title = std::async(std::launch::async, [&] { return title_text(&state); });
    const bool done = title.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(done) << "the session lock was held twice";
    EXPECT_EQ(WaitForSingleObject(state.lock.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the names were copied without the lock";
    SetEvent(state.lock.get()); // lets a second hold through
    EXPECT_EQ(title.get(), L"Sigur R\u00F3s - Hopp\u00EDpolla");
    state.lock.reset(lock);
}

} // namespace
