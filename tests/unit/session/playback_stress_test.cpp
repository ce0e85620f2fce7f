// The audio path under churn, for ThreadSanitizer: the library's player thread
// delivers into the real queue and ends tracks, a consumer pops blocks like the
// audio output thread, and the main thread selects, skips, flushes and edits
// between passes. A field touched outside its lock shows as a race.

#include "support/libspotify/library_harness.h"

#include <numeric>

namespace lib_test {
namespace {

using PlaybackSurvivesConcurrentChanges = SessionTest;

// The list reached from head and the frame total agree.
bool queue_is_consistent(PcmQueue *queue) {
    WaitForSingleObject(queue->mutex, INFINITE);
    int64_t frames = 0;
    const PcmBlock *last = nullptr;
    for (const PcmBlock *block = queue->head; block; block = (last = block)->next)
        frames += block->frame_count;
    const bool consistent = frames == queue->queued_frames && (!last || last == queue->tail);
    ReleaseMutex(queue->mutex);
    return consistent;
}

TEST_F(PlaybackSurvivesConcurrentChanges, SelectSkipAndEditWhileAudioFlows) {
    splocal_set_chunk_frames(256);
    const Playlist a = new_playlist("A", 6, 6000);
    const Playlist b = new_playlist("B", 6, 20000);
    int c = new_playlist("C", 3, 3000).id;
    ASSERT_TRUE(log_in());

    std::atomic<bool> stop{false};
    std::atomic<int64_t> consumed{0}, checksum{0};
    std::thread consumer([&] {
        while (!stop.load()) {
            if (PcmBlock *block = pcm_queue_pop(&queue)) { // read every sample, as the device does
                checksum +=
                    std::accumulate(block->samples(), block->samples() + 2 * block->frame_count, 0);
                consumed += block->frame_count;
                std::free(block);
            } else {
                WaitForSingleObject(queue.event, 2);
            }
        }
    });

    // One step of the main thread's churn for each i % 10.
    const int first_two[] = {0, 1};
    const std::function<void(int)> steps[] = {
        [&](int round) { session_select_playlist(&state, round % 2 ? "B" : "A"); },
        [&](int) { session_skip(&state); }, // the key N
        [&](int round) {
            const int track = add_track(4000);
            splocal_playlist_add_tracks(a.id, &track, 1, round % 3);
        },
        [&](int) { splocal_playlist_remove_tracks(a.id, first_two, 1); },
        [&](int round) { splocal_playlist_rename(b.id, round % 2 ? "A" : "B"); },
        [&](int) { splocal_playlist_move_tracks(b.id, first_two, 2, 4); },
        [&](int) { // an emptied queue and an advance without the player stopped first
            pcm_queue_flush(&queue);
            state.advance_pending.store(1);
        },
        [&](int) { c = c >= 0 ? (splocal_playlist_remove(c), -1) : new_playlist("A", 2, 3000).id; },
        [&](int) { state.track_index %= 5; }, // keep the sequence inside the playlists
        [&](int) { splocal_lose_play_token(); },
    };
    for (int i = 0; i < 400; ++i) {
        steps[i % 10](i / 10);
        WaitForSingleObject(wake, std::clamp(session_process(&state), 1, 2));
        session_process(&state);
        ASSERT_TRUE(queue_is_consistent(&queue));
    }

    new_playlist("Final", 2); // still working: its audio reaches the consumer
    pass();
    state.track_index = 0;
    session_select_playlist(&state, "Final");
    const int64_t before = consumed.load();
    EXPECT_TRUE(pass_until([&] { return consumed.load() > before + 4096; }));

    splocal_session_release(std::exchange(state.session, nullptr)); // stops the player
    stop.store(true);
    consumer.join();
    EXPECT_TRUE(queue_is_consistent(&queue));
}

} // namespace
} // namespace lib_test
