// The session controller against the local streaming library: creation and
// login with their failures, the per-pass work, and advancing, also from the
// library's thread.

#include "session/session_controller.h"

#include "session/playlist_following.h"
#include "support/session/session_harness.h"

#include <thread>

namespace session_test {
namespace {

using SessionStartsOnConnect = SessionHarness;
using LoginFailureIsReportedOnce = SessionHarness;
using AdvanceMovesOnePosition = SessionHarness;

TEST_F(SessionStartsOnConnect, FailedCreationIsTriedAgain) {
    EXPECT_EQ(session_process(&state), 0); // no session: no work

    splocal_fail_next_create(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    EXPECT_EQ(state.session, nullptr);
    EXPECT_EQ(session_process(&state), 0);

    // The library accepts the program's configuration (version, key, agent).
    ASSERT_TRUE(log_in());
    EXPECT_EQ(sp_session_userdata(state.session), &state);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(session_process(&state), 0); // the library's time-out, never 0
}

TEST_F(SessionStartsOnConnect, ContainerIsAttachedOnce) {
    const Playlist early = add_playlist("Early", 3);
    ASSERT_TRUE(log_in());
    sp_playlistcontainer *container = state.container;
    ASSERT_NE(container, nullptr);
    for (int i = 0; i < 20; ++i)
        session_process(&state);
    EXPECT_EQ(state.container, container);

    // Playlists present at login and added later each have the handlers
    // once: a removal before the position moves it back by exactly one.
    const Playlist late = add_playlist("Late", 3);
    pump();
    for (const Playlist *playlist : {&early, &late}) {
        state.track_index = 2;
        session_select_playlist(&state, playlist == &early ? "Early" : "Late");
        ASSERT_EQ(player_track(), playlist->tracks[2]);
        const int first = 0;
        splocal_playlist_remove_tracks(playlist->id, &first, 1);
        pump();
        EXPECT_EQ(state.track_index, 1u);
        EXPECT_EQ(player_track(), playlist->tracks[2]);
    }
}

TEST_F(LoginFailureIsReportedOnce, EachFailedOutcomeSetsTheFlagOnce) {
    ASSERT_EQ(session_connect(&state, kUser, "wrong"), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
    EXPECT_EQ(state.container, nullptr);

    // Later attempts reuse the session.
    sp_session *first = state.session;
    splocal_fail_next_login(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    ASSERT_EQ(session_connect(&state, kUser, kPassword), 1);
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 1);
    ASSERT_TRUE(log_in());
    EXPECT_EQ(state.session, first);
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
}

TEST_F(LoginFailureIsReportedOnce, RefusedRequestFailsTheConnect) {
    splocal_refuse_next_login(SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(session_connect(&state, kUser, kPassword), 0);
    EXPECT_NE(state.session, nullptr); // created; only the login was refused
    pump();
    EXPECT_EQ(take_flag(&SessionState::login_failed), 0);
    EXPECT_TRUE(log_in());
}

TEST_F(AdvanceMovesOnePosition, TwoRequestsBeforeAPassMoveOne) {
    const Playlist mix = add_playlist("Mix", 4);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 0; }));

    state.advance_pending.store(1);
    state.advance_pending.store(1);
    session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(state.advance_pending.load(), 0);
    EXPECT_EQ(player_track(), mix.tracks[1]);
    EXPECT_EQ(splocal_track_id(state.current_track), mix.tracks[1]);
    EXPECT_TRUE(head_is_start_of(mix.tracks[0])); // the previous track plays out
}

TEST_F(AdvanceMovesOnePosition, SkipLeavesNoAudioOfTheSkippedTrack) {
    const Playlist mix = add_playlist("Mix", 3);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_TRUE(pump_until([&] { return pcm_queue_frames(&queue) > 4096; }));

    session_skip(&state);
    EXPECT_EQ(player_track(), -1);
    EXPECT_EQ(WaitForSingleObject(wake, 0), WAIT_OBJECT_0);
    // The player thread had been held back by the full queue: it must not
    // refill it with the skipped track before the pass moves on.
    WaitForSingleObject(wake, 50);
    EXPECT_EQ(pcm_queue_frames(&queue), 0);
    session_process(&state);
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), mix.tracks[1]);
    EXPECT_TRUE(pump_until([&] { return head_is_start_of(mix.tracks[1]); }));
}

TEST_F(AdvanceMovesOnePosition, EndOfTrackDoesNotWaitForTheLock) {
    ASSERT_TRUE(log_in());
    WaitForSingleObject(state.lock, INFINITE); // the main thread is busy
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread library([&] {
        on_end_of_track(state.session);
        SetEvent(done);
    });
    // A handler that waited for the lock could not finish while it is held.
    const DWORD finished = WaitForSingleObject(done, 10000);
    ReleaseMutex(state.lock);
    library.join();
    CloseHandle(done);
    EXPECT_EQ(finished, WAIT_OBJECT_0);
    EXPECT_EQ(state.advance_pending.load(), 1);
    EXPECT_EQ(WaitForSingleObject(wake, 0), WAIT_OBJECT_0);
}

TEST_F(AdvanceMovesOnePosition, LastTrackEndsThenAppendedTrackPlays) {
    const Playlist mix = add_playlist("Mix", 1, kShortTrack);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_TRUE(pump_until([&] { return state.track_index == 1u; }));
    pump();
    EXPECT_EQ(state.current_track, nullptr);
    EXPECT_EQ(player_track(), -1);

    const int appended = add_track();
    splocal_playlist_add_tracks(mix.id, &appended, 1, -1);
    pump();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), appended);
}

} // namespace
} // namespace session_test
