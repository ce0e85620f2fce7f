// The session controller against the local streaming library: creation and
// login with their failures, the per-pass work, and the end-of-track path
// from the library's thread.

#include "session/session_controller.h"

#include "session/playlist_following.h"
#include "support/session/session_harness.h"

#include <thread>

namespace session_test {
namespace {

using SessionStartsOnConnect = SessionHarness;
using LoginFailureIsReportedOnce = SessionHarness;
using ContainerIsAttachedOnce = SessionHarness;
using AdvanceMovesOnePosition = SessionHarness;

TEST_F(SessionStartsOnConnect, NoSessionMeansNoWork) {
    EXPECT_EQ(session_process(&state), 0);
    EXPECT_EQ(state.session, nullptr);
    EXPECT_EQ(state.container, nullptr);
}

TEST_F(SessionStartsOnConnect, FailedCreationIsTriedAgain) {
    splocal_fail_next_create(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    EXPECT_EQ(state.session, nullptr);
    EXPECT_EQ(session_process(&state), 0);

    // The library accepts the program's configuration (version, key, agent).
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 1);
    ASSERT_NE(state.session, nullptr);
    EXPECT_EQ(sp_session_userdata(state.session), &state);
    pump();
    EXPECT_EQ(sp_session_connectionstate(state.session), SP_CONNECTION_STATE_LOGGED_IN);
}

TEST_F(SessionStartsOnConnect, PassReturnsTheLibrarysNonZeroTimeout) {
    ASSERT_TRUE(log_in());
    for (int i = 0; i < 5; ++i)
        EXPECT_GT(session_process(&state), 0);
}

TEST_F(LoginFailureIsReportedOnce, WrongPasswordSetsTheFlagOncePerAttempt) {
    ASSERT_EQ(session_connect(&state, kUser, "wrong"), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);

    // A second attempt reuses the session and is reported again.
    sp_session *first = state.session;
    ASSERT_EQ(session_connect(&state, kUser, "still wrong"), 1);
    pump();
    EXPECT_EQ(state.session, first);
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);

    ASSERT_TRUE(log_in());
    EXPECT_EQ(state.session, first);
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
}

TEST_F(LoginFailureIsReportedOnce, FailedOutcomeIsReportedThenRetried) {
    splocal_fail_next_login(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    ASSERT_EQ(session_connect(&state, kUser, kPassword), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);
    EXPECT_EQ(state.container, nullptr);
    EXPECT_TRUE(log_in());
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
}

TEST_F(LoginFailureIsReportedOnce, RefusedRequestFailsTheConnect) {
    splocal_refuse_next_login(SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    EXPECT_NE(state.session, nullptr); // created; only the login was refused
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0); // nothing was requested
    EXPECT_TRUE(log_in());
}

TEST_F(ContainerIsAttachedOnce, ManyPassesAttachItOnce) {
    // A handler attached twice would be called twice per event: each removal
    // before the position would then move the position back twice.
    ASSERT_TRUE(log_in());
    sp_playlistcontainer *container = state.container;
    ASSERT_NE(container, nullptr);
    for (int i = 0; i < 20; ++i)
        session_process(&state);
    EXPECT_EQ(state.container, container);

    const int late = add_playlist("Late", 4);
    pump();
    session_select_playlist(&state, "Late");
    state.track_index = 2;
    session_play_current(&state);
    ASSERT_EQ(player_track(), tracks_of(late)[2]);

    const int first = 0;
    splocal_playlist_remove_tracks(late, &first, 1);
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), tracks_of(late)[2]);
    EXPECT_EQ(take_flag(&SessionState::playlists_changed), 1);
}

TEST_F(ContainerIsAttachedOnce, PlaylistsPresentAtLoginGetTheirHandlers) {
    const int mix = add_playlist("Mix", 3);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    state.track_index = 1;
    session_play_current(&state);
    ASSERT_EQ(player_track(), tracks_of(mix)[1]);
    const int first = 0;
    splocal_playlist_remove_tracks(mix, &first, 1);
    pump();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), tracks_of(mix)[1]);
}

TEST_F(AdvanceMovesOnePosition, TwoRequestsBeforeAPassMoveOne) {
    const int mix = add_playlist("Mix", 4);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_EQ(player_track(), tracks_of(mix)[0]);

    state.advance_pending.store(1);
    state.advance_pending.store(1);
    session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), tracks_of(mix)[1]);
    EXPECT_EQ(current_track(), tracks_of(mix)[1]);
}

TEST_F(AdvanceMovesOnePosition, AdvanceKeepsQueuedAudio) {
    const int mix = add_playlist("Mix", 2);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 0; }));
    ASSERT_TRUE(head_is_start_of(tracks_of(mix)[0]));
    state.advance_pending.store(1);
    session_process(&state);
    EXPECT_EQ(player_track(), tracks_of(mix)[1]);
    EXPECT_TRUE(head_is_start_of(tracks_of(mix)[0])); // the previous track plays out
}

TEST_F(AdvanceMovesOnePosition, EndOfTrackDoesNotWaitForTheLock) {
    ASSERT_TRUE(log_in());
    WaitForSingleObject(state.lock, INFINITE); // the main thread is busy
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread library([&] {
        on_end_of_track(state.session);
        SetEvent(done);
    });
    // A handler that waited for the lock would never finish while it is held.
    const DWORD finished = WaitForSingleObject(done, 10000);
    ReleaseMutex(state.lock);
    library.join();
    CloseHandle(done);
    EXPECT_EQ(finished, WAIT_OBJECT_0);
    EXPECT_EQ(state.advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(wake, 0), WAIT_OBJECT_0);
}

TEST_F(AdvanceMovesOnePosition, LastTrackEndsThenAppendedTrackPlays) {
    const int mix = add_playlist("Mix", 1, kShortTrack);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    // The short track fits in the queue, so the player ends it by itself.
    ASSERT_TRUE(pump_until([&] { return state.track_index == 1u && !state.advance_pending; }));
    pump();
    EXPECT_EQ(state.current_track, nullptr);
    EXPECT_EQ(player_track(), -1);

    const int appended = add_track();
    splocal_playlist_add_tracks(mix, &appended, 1, -1);
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), appended);
}

} // namespace
} // namespace session_test
