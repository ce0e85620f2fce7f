#include "support/session/session_harness.h"

#include "session/session_controller.h"

#include <cstdlib>

namespace session_test {

void SessionHarness::SetUp() {
    splocal_reset();
    splocal_set_latency(0);
    ASSERT_GE(splocal_account_add(kUser, kPassword), 0);
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
    ASSERT_TRUE(session_state_init(&state, wake, &queue));
}

void SessionHarness::TearDown() {
    if (state.session)
        splocal_session_release(state.session); // stops the player thread
    pcm_queue_flush(&queue);
    std::free(state.wanted_name);
    for (HANDLE handle : {state.lock, queue.mutex, queue.event, queue.lend_mutex, wake})
        CloseHandle(handle);
}

int SessionHarness::add_track(int frames) {
    next_tone_ += 50;
    return splocal_track_add("Artist", "Title", SPLOCAL_SOUND_TONE, next_tone_, frames);
}

Playlist SessionHarness::add_playlist(const char *name, int count, int frames) {
    Playlist playlist{splocal_playlist_add(kUser, name, -1), {}};
    EXPECT_GE(playlist.id, 0);
    for (int i = 0; i < count; ++i)
        playlist.tracks.push_back(add_track(frames));
    if (count > 0)
        splocal_playlist_add_tracks(playlist.id, playlist.tracks.data(), count, -1);
    return playlist;
}

bool SessionHarness::log_in() {
    if (session_connect(&state, kUser, kPassword) != 1)
        return false;
    pump();
    return sp_session_connectionstate(state.session) == SP_CONNECTION_STATE_LOGGED_IN;
}

void SessionHarness::pump() {
    for (int pass = 0; pass < 1000; ++pass) {
        session_process(&state);
        if (!splocal_work_pending(state.session) && !state.advance_pending.load() &&
            WaitForSingleObject(wake, 0) != WAIT_OBJECT_0)
            return;
    }
    ADD_FAILURE() << "the session kept having work after 1000 passes";
}

bool SessionHarness::pump_until(const std::function<bool()> &done) {
    for (int pass = 0; pass < 2000 && !done(); ++pass) {
        const int timeout = session_process(&state);
        if (!done())
            WaitForSingleObject(wake, timeout > 0 && timeout < 5 ? DWORD(timeout) : 5);
    }
    return done();
}

bool SessionHarness::head_is_start_of(int track) {
    constexpr int kFrames = 64;
    int16_t expected[2 * kFrames] = {};
    if (splocal_track_pcm(track, expected, kFrames) < kFrames)
        return false;
    WaitForSingleObject(queue.mutex, INFINITE);
    bool same = queue.head && queue.head->frame_count >= kFrames;
    for (int i = 0; same && i < 2 * kFrames; ++i)
        same = queue.head->samples()[i] == expected[i];
    ReleaseMutex(queue.mutex);
    return same;
}

int32_t SessionHarness::take_flag(int32_t SessionState::*flag) {
    WaitForSingleObject(state.lock, INFINITE);
    const int32_t value = state.*flag;
    state.*flag = 0;
    ReleaseMutex(state.lock);
    return value;
}

} // namespace session_test
