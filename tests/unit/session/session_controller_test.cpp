// The session controller: creation and login, the key N, the end of a track.
#include "session/player_controls.h"
#include "support/libspotify/library_harness.h"

namespace lib_test {
namespace {

using SessionStartsOnConnect = SessionTest;
using SkipStopsThePlayerThenEmptiesTheQueue = SessionTest;

TEST_F(SessionStartsOnConnect, FailedCreationIsRetriedAndEachFailedLoginReportedOnce) {
    EXPECT_EQ(session_process(&state), 0); // no session: no work
    splocal_fail_next_create(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    EXPECT_EQ(state.session, nullptr);

    ASSERT_EQ(session_connect(&state, kUser, "wrong"), 1);
    sp_session *first = session = state.session;
    pass();
    EXPECT_EQ(std::exchange(state.login_failed, 0), 1);
    EXPECT_EQ(state.container, nullptr);
    // A refused request fails the connect itself: no outcome, no flag.
    splocal_refuse_next_login(SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    pass();
    EXPECT_EQ(state.login_failed, 0);
    splocal_fail_next_login(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    ASSERT_EQ(session_connect(&state, kUser, kPassword), 1);
    pass();
    EXPECT_EQ(std::exchange(state.login_failed, 0), 1);
    // The library accepts the program's configuration (version, key, agent).
    ASSERT_TRUE(log_in());
    EXPECT_EQ(state.session, first); // later attempts reuse the session
    EXPECT_EQ(state.login_failed, 0);
    EXPECT_GT(session_process(&state), 0); // the library's time-out, never 0
}

// The key N comes while the library holds the player inside a delivery:
// only a queue emptied after the unload (which waits for it) is free of it.
TEST_F(SkipStopsThePlayerThenEmptiesTheQueue, ADeliveryInProgressIsNotHeard) {
    ASSERT_TRUE(start());
    splocal_hold_delivery(state.session, 1);
    ASSERT_TRUE(pass_until([&] { return splocal_delivery_held(state.session) != 0; }));
    pcm_queue_flush(&queue); // the sound card took the rest: the delivery will be taken
    session_skip(&state);
    // Whatever the delivery took is in the queue once it is over.
    for (int ms = 0; ms < 20000 && splocal_delivery_running(state.session); ++ms)
        Sleep(1);
    ASSERT_EQ(pcm_queue_frames(&queue), 0);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(woken());
    session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_TRUE(pass_until([&] { return head_is_start_of(mix[1]); }));
    pass();
    // The library ends the track on its own thread while the main thread holds
    // the lock: the handler must not wait for it.
    WaitForSingleObject(state.lock.get(), INFINITE);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread library([&] {
        on_end_of_track(state.session);
        SetEvent(done);
    });
    const DWORD finished = WaitForSingleObject(done, 10000);
    ReleaseMutex(state.lock.get());
    library.join();
    CloseHandle(done);
    EXPECT_EQ(finished, WAIT_OBJECT_0);
    EXPECT_TRUE(woken());
    state.advance_pending.store(1); // and the key N asks again before a pass
    session_process(&state);
    EXPECT_EQ(state.track_index, 2u);
    EXPECT_EQ(player_track(), mix[2]);
    EXPECT_TRUE(head_is_start_of(mix[1])); // the previous track plays out
}

} // namespace
} // namespace lib_test
