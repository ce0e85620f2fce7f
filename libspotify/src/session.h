// A session: its work queue with the thread that wakes the program, its
// client view of the catalogue (the handles the program holds), and its
// player.
//
// Thread rules:
// - The client view (view, container, every sp_playlist, sp_track and
//   sp_artist of the session) is read and changed only on the program's
//   main thread: by the sp_ operations and inside sp_session_process_events,
//   immediately before the callback that announces each change. It needs no
//   lock, and no lock of the library is held while the program is called.
// - The work queue is guarded by queue_mutex; the catalogue's changes reach
//   it through the session's subscriber from any thread (under the
//   catalogue mutex, which comes first), the notifier thread and
//   sp_session_process_events read it.
// - The list of live sessions has its own mutex, taken after the catalogue
//   mutex and before any session's queue mutex.
// - The player has its own mutex (see player.h).
// - The notifier thread calls only notify_main_thread, never holding a lock.
#ifndef LIBSPOTIFY_SRC_SESSION_H
#define LIBSPOTIFY_SRC_SESSION_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue_types.h"
#include "libspotify/api.h"
#include "player.h"
#include "work.h"

struct sp_artist {
    std::string name;
};

struct sp_track {
    int id = -1;
    bool loaded = false;
    bool available = true;
    sp_error error = SP_ERROR_IS_LOADING;
    std::string title;
    int duration_ms = 0; // while loaded
    sp_artist artist;
    uint64_t version = 0; // catalogue version of the state shown
};

struct PlaylistCallbackEntry {
    const sp_playlist_callbacks *key = nullptr;
    sp_playlist_callbacks table{};
    void *userdata = nullptr;
};

struct sp_playlist {
    sp_session *session = nullptr;
    int id = -1;
    std::string name;
    bool loaded = false;
    bool in_container = true;
    std::vector<sp_track *> tracks;
    std::vector<PlaylistCallbackEntry> callbacks;
    uint64_t name_version = 0;   // catalogue version of the name shown
    uint64_t tracks_version = 0; // catalogue version of the tracks shown
};

struct ContainerCallbackEntry {
    sp_playlistcontainer_callbacks table{};
    void *userdata = nullptr;
};

struct sp_playlistcontainer {
    sp_session *session = nullptr;
    std::vector<sp_playlist *> playlists;
    std::vector<ContainerCallbackEntry> callbacks;
    uint64_t version = 0; // catalogue version of the container snapshot
    bool loaded_announced = false;
};

// Queues each change of the catalogue in its session, as work.
struct SessionSubscriber final : music::CatalogueSubscriber {
    sp_session *session = nullptr;
    void catalogue_changed(const music::CatalogueChange &change) override;
};

struct sp_session {
    sp_session_callbacks callbacks{};
    void *userdata = nullptr;

    // Work queue (queue_mutex). Due times never decrease along the queue.
    std::mutex queue_mutex;
    std::condition_variable queue_cv;
    std::deque<splocal::Work> queue;
    uint64_t next_seq = 1;
    uint64_t notified_seq = 0;
    splocal::Clock::time_point last_due{};
    bool stopping = false;
    std::thread notifier;

    // Client view (main thread only).
    std::atomic<int> connection{SP_CONNECTION_STATE_LOGGED_OUT};
    int account = -1;
    std::string account_name;
    sp_playlistcontainer container;
    std::map<int, std::unique_ptr<sp_playlist>> playlists; // by catalogue id
    std::map<int, std::unique_ptr<sp_track>> tracks;       // by catalogue id
    std::vector<splocal::Work> waiting_logins; // outcomes waiting for the catalogue file

    splocal::Player player;
    SessionSubscriber subscriber; // subscribed from creation to release
};

namespace splocal {

// Queues work due after the current latency (queue_mutex taken inside).
void session_enqueue(sp_session *session, Work work);
// Queues work in every live session.
void sessions_enqueue_all(const Work &work);
// Applies one piece of work to the client view and calls its callbacks
// (client_view.cpp).
void session_apply(sp_session *session, Work &work);
// The track handle for a catalogue track, made on first use from the
// catalogue (takes the catalogue mutex; call without it).
sp_track *session_track(sp_session *session, int id);

} // namespace splocal

#endif
