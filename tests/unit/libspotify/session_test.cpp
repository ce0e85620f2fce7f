// The library's wake-up contract: work runs only inside process_events, on
// the caller's thread; the library's own thread says when it is due; the
// time-out says when to call again.
#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

using LibraryWakesTheProgramForDueWork = LibraryTest;

TEST_F(LibraryWakesTheProgramForDueWork, NotifiesFromItsThreadAndRunsWorkOnlyInProcessEvents) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    int timeout = -1;
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(timeout, 1000); // nothing queued
    splocal_set_latency(200);
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    sp_session_process_events(session, &timeout);
    EXPECT_TRUE(rec.events.empty()); // not due yet
    EXPECT_GE(timeout, 1);
    EXPECT_LE(timeout, 200);
    // This thread only sleeps: the library's thread notifies.
    for (int ms = 0; rec.notifications.load() == 0 && ms < 20000; ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(rec.events.empty());
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(take_events(), "logged_in 0 state 1 playlists 0");

    splocal_set_latency(0);
    // One round runs at most 256 pieces and asks to be called again at once.
    for (int i = 0; i < 300; ++i)
        std::thread([] { splocal_lose_play_token(); }).join();
    for (size_t expected : {256, 44}) {
        sp_session_process_events(session, &timeout);
        EXPECT_EQ(std::exchange(rec.events, {}).size(), expected);
        EXPECT_EQ(timeout, expected == 256 ? 0 : 1000);
    }
}

} // namespace
} // namespace lib_test
