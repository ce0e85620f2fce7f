// The session controller's record: what the program keeps about its
// streaming session, the playlist it follows and the track in the player.
//
// Threads: every field is used on the main thread only, except
//  - advance_pending: set from any thread without the lock (end of track on
//    the library's thread, the key N), cleared under lock by the main loop's
//    pass and by the play step when it starts another track;
//  - queue: its target is shared with the audio threads under its own mutex;
//  - wake_event: signalled from any thread.
// track_index is written and read on the main thread only: written under lock
// where it changes together with current_track (advance, previous, a playlist
// switch or rename), without it in on_tracks_removed, and read without it. No
// other thread may read it, with or without the lock.
// lock is recursive. Lock order: lock before the queue's mutex.
// session_state_init runs once on the main thread, before the library or any
// other thread knows the record.
#pragma once

#include <windows.h>

#include "platform/win32_owners.h"
#include "session/play_order.h"
#include "session/track_timing.h"

#include <libspotify/api.h>

#include <atomic>
#include <cstdint>

struct BlockLending;
struct PcmQueue;

// Why the next pass moves on, as advance_pending holds it: repeat of one
// track plays a track that ended again, but passes one skipped or unplayable.
enum AdvanceReason : int32_t {
    kAdvanceSkipped = 1,
    kAdvanceEnded = 2,
    kAdvanceUnplayable = 3,
};

struct SessionState {
    HANDLE wake_event;                    // the main loop's auto-reset wake event (not owned)
    HandleOwner lock;                     // the session mutex, recursive
    PcmQueue *queue;                      // the process's audio queue
    sp_session *session;                  // null until sp_session_create succeeds
    sp_playlistcontainer *container;      // set once, on the first logged-in pass
    sp_playlist *playlist;                // the followed playlist, or null
    char *wanted_name;                    // under lock: the chosen name (malloc'd) or null
    sp_track *current_track;              // under lock: the track in the player, or null
    uint32_t track_index;                 // main thread only (see above): position in playlist
    bool player_held;                     // main thread only: told to wait while paused
    uint32_t current_mark;                // main thread only: the queue's mark of current_track
    uint32_t start_at_ms;                 // main thread only: where the next load starts (a seek)
    bool start_joined;                    // main thread only: the next load follows an ended track
    TrackTimings timings;                 // main thread only: the last few starts in the player
    PlayOrder order;                      // main thread only: shuffle and repeat
    int32_t volume_percent;               // main thread only: 0 to 100, 100 at the start
    bool muted;                           // main thread only: the device is silenced
    std::atomic<int32_t> advance_pending; // 0, or why to move on at the next pass (AdvanceReason)
    int32_t playlists_changed;            // under lock: the dialog's list is stale
    int32_t login_failed;                 // under lock: the last login failed
    sp_playlist_callbacks playlist_callbacks;
    sp_playlistcontainer_callbacks container_callbacks;
    sp_session_callbacks session_callbacks;
};

// Fills a freshly allocated record: no session, nothing selected, the three
// callback tables filled, lock created (closed with the record). Returns
// false if the mutex cannot be created. wake_event stays its maker's, who
// keeps it open for as long as the session may call back: the library's
// threads set it.
bool session_state_init(SessionState *state, HANDLE wake_event, PcmQueue *queue);

// The queue's loan of the playing block to the window, or null when the
// record has no queue.
BlockLending *session_block_lending(SessionState *state);
