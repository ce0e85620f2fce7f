// The session controller against the local streaming library: creation and
// login with their failures, the per-pass work, and advancing, also from the
// library's thread.

#include "support/session/session_harness.h"

#include <thread>

namespace session_test {
namespace {

using SessionStartsOnConnect = SessionHarness;
using AdvanceMovesOnePosition = SessionHarness;

TEST_F(SessionStartsOnConnect, FailedCreationIsRetriedAndEachFailedLoginReportedOnce) {
    EXPECT_EQ(session_process(&state), 0); // no session: no work
    splocal_fail_next_create(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    EXPECT_EQ(state.session, nullptr);
    EXPECT_EQ(session_process(&state), 0);

    ASSERT_EQ(session_connect(&state, kUser, "wrong"), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
    EXPECT_EQ(state.container, nullptr);
    // A refused request fails the connect itself: no outcome, no flag.
    sp_session *first = state.session;
    splocal_refuse_next_login(SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
    splocal_fail_next_login(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    ASSERT_EQ(session_connect(&state, kUser, kPassword), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);

    // The library accepts the program's configuration (version, key, agent).
    ASSERT_TRUE(log_in());
    EXPECT_EQ(state.session, first); // later attempts reuse the session
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(session_process(&state), 0); // the library's time-out, never 0
}

TEST_F(AdvanceMovesOnePosition, SkipThenEndOfTrackAndAnotherRequestBeforeAPass) {
    ASSERT_TRUE(start());
    // The key is pressed while the player refills the room just made.
    pcm_queue_flush(&queue);
    for (int spin = 0; spin < 1000000 && pcm_queue_frames(&queue) < 4096; ++spin)
        std::this_thread::yield();
    session_skip(&state);
    EXPECT_EQ(player_track(), -1);
    EXPECT_TRUE(woken());
    // The player must not refill the queue with the skipped track before the
    // pass moves on.
    WaitForSingleObject(wake, 50);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), mix[1]);
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(mix[1]); }));

    // The library ends the track on its own thread while the main thread
    // holds the lock; a handler that waited for the lock could not finish.
    pump();
    WaitForSingleObject(state.lock, INFINITE);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread library([&] {
        on_end_of_track(state.session);
        SetEvent(done);
    });
    const DWORD finished = WaitForSingleObject(done, 10000);
    ReleaseMutex(state.lock);
    library.join();
    CloseHandle(done);
    EXPECT_EQ(finished, WAIT_OBJECT_0);
    EXPECT_EQ(state.advance_pending.load(), 1);
    EXPECT_TRUE(woken());
    state.advance_pending.store(1); // and the key N asks again
    session_process(&state);
    EXPECT_EQ(state.track_index, 2u);
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), mix[2]);
    EXPECT_EQ(splocal_track_id(state.current_track), mix[2]);
    EXPECT_TRUE(head_is_start_of(mix[1])); // the previous track plays out
}

} // namespace
} // namespace session_test
