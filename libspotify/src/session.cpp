// Sessions: creation, the work queue with its notifier thread, event
// processing (the view itself: client_view.cpp) and release. See session.h
// for the thread rules.
#include "session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "catalogue/catalogue.h"
#include "loader/catalogue_watch.h"
#include "loader/library_loader.h"
#include "catalogue_types.h"

namespace splocal {
namespace {

constexpr size_t kApplicationKeySize = 321;
constexpr int kIdleTimeoutMs = 1000;
constexpr int kRoundLimit = 256;

// The live sessions, from creation to release.
struct LiveSessions {
    std::mutex mutex;
    std::vector<sp_session *> sessions; // mutex
};

LiveSessions &live_sessions() {
    static LiveSessions *const instance = new LiveSessions();
    return *instance;
}

WorkKind work_kind(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::LoadPlaylist:
        return WorkKind::LoadPlaylist;
    case ChangeKind::PlaylistAdded:
        return WorkKind::PlaylistAdded;
    case ChangeKind::PlaylistRemoved:
        return WorkKind::PlaylistRemoved;
    case ChangeKind::PlaylistRenamed:
        return WorkKind::PlaylistRenamed;
    case ChangeKind::TracksAdded:
        return WorkKind::TracksAdded;
    case ChangeKind::TracksRemoved:
        return WorkKind::TracksRemoved;
    case ChangeKind::TracksMoved:
        return WorkKind::TracksMoved;
    case ChangeKind::TrackChanged:
        return WorkKind::TrackChanged;
    case ChangeKind::CatalogueReady:
        return WorkKind::CatalogueReady;
    case ChangeKind::Log:
        break;
    }
    return WorkKind::Log;
}

// Calls notify_main_thread once for every piece of work as it becomes due.
void notifier_main(sp_session *session) {
    std::unique_lock<std::mutex> lock(session->queue_mutex);
    while (!session->stopping) {
        const Clock::time_point now = Clock::now();
        uint64_t due_seq = 0;
        // A copy: the queue may change while the thread waits.
        bool wait_for_due = false;
        Clock::time_point next_due{};
        for (const Work &work : session->queue) {
            if (work.due <= now) {
                due_seq = work.seq;
            } else {
                wait_for_due = work.seq > session->notified_seq;
                next_due = work.due;
                break;
            }
        }
        if (due_seq > session->notified_seq) {
            session->notified_seq = due_seq;
            lock.unlock();
            session->callbacks.notify_main_thread(session);
            lock.lock();
            continue;
        }
        if (wait_for_due)
            session->queue_cv.wait_until(lock, next_due);
        else
            session->queue_cv.wait(lock);
    }
}

sp_error check_config(const sp_session_config *config) {
    if (!config)
        return SP_ERROR_INVALID_INDATA;
    if (config->api_version != SPOTIFY_API_VERSION)
        return SP_ERROR_BAD_API_VERSION;
    if (!config->application_key || config->application_key_size != kApplicationKeySize)
        return SP_ERROR_BAD_APPLICATION_KEY;
    if (!config->user_agent || !config->user_agent[0])
        return SP_ERROR_BAD_USER_AGENT;
    const sp_session_callbacks *cb = config->callbacks;
    if (!cb || !cb->logged_in || !cb->notify_main_thread || !cb->music_delivery ||
        !cb->end_of_track)
        return SP_ERROR_MISSING_CALLBACK;
    return SP_ERROR_OK;
}

// With the catalogue mutex held: whether an empty catalogue is to be
// filled, by the loader, from the settings location's catalogue.txt if
// there is one, else from the embedded catalogue. Logins wait for it.
bool catalogue_wanted_locked(Catalogue &cat) {
    if (!catalogue_empty_locked(cat) || cat.file_pending)
        return false;
    cat.file_pending = true;
    return true;
}

} // namespace

void sessions_enqueue_all(const Work &work) {
    LiveSessions &live = live_sessions();
    std::lock_guard<std::mutex> lock(live.mutex);
    for (sp_session *session : live.sessions)
        session_enqueue(session, work);
}

void session_enqueue(sp_session *session, Work work) {
    const int latency = catalogue().latency_ms.load();
    std::lock_guard<std::mutex> lock(session->queue_mutex);
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(latency);
    if (due < session->last_due)
        due = session->last_due; // keep the queue in order
    session->last_due = due;
    work.due = due;
    work.seq = session->next_seq++;
    session->queue.push_back(std::move(work));
    session->queue_cv.notify_all();
}

} // namespace splocal

using namespace splocal;

void SessionSubscriber::catalogue_changed(const CatalogueChange &change) {
    Work work;
    work.kind = work_kind(change.kind);
    work.version = change.version;
    work.id = change.id;
    work.position = change.position;
    work.text = change.text;
    work.text2 = change.text2;
    work.items = change.items;
    session_enqueue(session, std::move(work));
}

extern "C" {

sp_error sp_session_create(const sp_session_config *config, sp_session **sess) {
    if (!sess)
        return SP_ERROR_INVALID_INDATA;
    *sess = nullptr;
    const sp_error bad = check_config(config);
    if (bad != SP_ERROR_OK)
        return bad;
    Catalogue &cat = catalogue();
    sp_session *session = nullptr;
    bool wanted = false;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.fail_next_create != ErrorCode::Ok)
            return to_sp_error(std::exchange(cat.fail_next_create, ErrorCode::Ok));
        wanted = catalogue_wanted_locked(cat);
        session = new sp_session();
        session->callbacks = *config->callbacks;
        session->userdata = config->userdata;
        session->container.session = session;
        session->subscriber.session = session;
        session->notifier = std::thread(notifier_main, session);
        player_start(session);
        catalogue_subscribe_locked(cat, &session->subscriber);
        {
            LiveSessions &live = live_sessions();
            std::lock_guard<std::mutex> live_lock(live.mutex);
            live.sessions.push_back(session);
        }
        if (wanted) {
            const char *folder = config->settings_location;
            loader_request_startup(folder && folder[0] ? folder : ".");
        }
    }
    // The catalogue file is followed while a session runs (taken after the
    // catalogue mutex is let go: the watcher's control comes first).
    watcher_client_started();
    *sess = session;
    return SP_ERROR_OK;
}

sp_error sp_session_login(sp_session *session, const char *username, const char *password) {
    // An empty name is a login that fails like a wrong one, answered through
    // logged_in as a server answers it; only a missing one is bad input.
    if (!session || !username)
        return SP_ERROR_INVALID_INDATA;
    Work work;
    work.kind = WorkKind::Login;
    work.text = username;
    work.text2 = password ? password : "";
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.refuse_next_login != ErrorCode::Ok)
            return to_sp_error(std::exchange(cat.refuse_next_login, ErrorCode::Ok));
        if (cat.file_pending) {
            work.position = kLoginTakesForcedOutcome;
        } else {
            work.error = to_sp_error(std::exchange(cat.fail_next_login, ErrorCode::Ok));
        }
    }
    session_enqueue(session, std::move(work));
    return SP_ERROR_OK;
}

void *sp_session_userdata(sp_session *session) {
    return session ? session->userdata : nullptr;
}

sp_connectionstate sp_session_connectionstate(sp_session *session) {
    if (!session)
        return SP_CONNECTION_STATE_UNDEFINED;
    return static_cast<sp_connectionstate>(session->connection.load());
}

sp_error sp_session_process_events(sp_session *session, int *next_timeout) {
    if (!session) {
        if (next_timeout)
            *next_timeout = kIdleTimeoutMs;
        return SP_ERROR_INVALID_INDATA;
    }
    // One call runs one round: the work that was queued before it began
    // and is due, at most kRoundLimit pieces. Work that the round itself
    // causes (the loads after a login, say) or that other threads queue
    // meanwhile is left for the next call: the time-out is then 1 ms (and
    // the notifier thread wakes the program for it). A time-out of 0 means
    // that work from before the call is still due.
    uint64_t last_seq;
    {
        std::lock_guard<std::mutex> lock(session->queue_mutex);
        last_seq = session->next_seq - 1;
    }
    for (int done = 0; done < kRoundLimit; ++done) {
        Work work;
        {
            std::lock_guard<std::mutex> lock(session->queue_mutex);
            if (session->queue.empty())
                break;
            Work &front = session->queue.front();
            if (front.seq > last_seq || front.due > Clock::now())
                break;
            work = std::move(front);
            session->queue.pop_front();
        }
        session_apply(session, work);
    }
    int timeout = kIdleTimeoutMs;
    {
        std::lock_guard<std::mutex> lock(session->queue_mutex);
        if (!session->queue.empty()) {
            const Work &front = session->queue.front();
            const auto wait = front.due - Clock::now();
            if (wait <= Clock::duration::zero()) {
                timeout = front.seq <= last_seq ? 0 : 1;
            } else {
                const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
                timeout =
                    ms < 1 ? 1 : (ms > kIdleTimeoutMs ? kIdleTimeoutMs : static_cast<int>(ms));
            }
        }
    }
    if (next_timeout)
        *next_timeout = timeout;
    return SP_ERROR_OK;
}

sp_playlistcontainer *sp_session_playlistcontainer(sp_session *session) {
    if (!session || session->account < 0)
        return nullptr;
    return &session->container;
}

sp_error sp_session_player_load(sp_session *session, sp_track *track) {
    if (!session || !track)
        return SP_ERROR_INVALID_INDATA;
    if (!track->loaded)
        return track->error == SP_ERROR_IS_LOADING ? SP_ERROR_IS_LOADING
                                                   : SP_ERROR_TRACK_NOT_PLAYABLE;
    if (!track->available)
        return SP_ERROR_TRACK_NOT_PLAYABLE;
    SoundDesc sound;
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (track->id < 0 || track->id >= static_cast<int>(cat.tracks.size()))
            return SP_ERROR_TRACK_NOT_PLAYABLE;
        sound = cat.tracks[static_cast<size_t>(track->id)].sound;
    }
    player_load(session, track->id, sound);
    return SP_ERROR_OK;
}

sp_error sp_session_player_play(sp_session *session, sp_bool play) {
    if (!session)
        return SP_ERROR_INVALID_INDATA;
    player_play(session, play != 0);
    return SP_ERROR_OK;
}

void sp_session_player_unload(sp_session *session) {
    if (session)
        player_unload(session);
}

void splocal_session_release(sp_session *session) {
    if (!session)
        return;
    bool last = false;
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        catalogue_unsubscribe_locked(cat, &session->subscriber);
        LiveSessions &live = live_sessions();
        std::lock_guard<std::mutex> live_lock(live.mutex);
        live.sessions.erase(std::remove(live.sessions.begin(), live.sessions.end(), session),
                            live.sessions.end());
        last = live.sessions.empty();
    }
    watcher_client_ended();
    if (last)
        loader_stop();
    {
        std::lock_guard<std::mutex> lock(session->queue_mutex);
        session->stopping = true;
        session->queue_cv.notify_all();
    }
    if (session->notifier.joinable())
        session->notifier.join();
    player_stop(session);
    delete session;
}

int splocal_work_pending(sp_session *session) {
    if (!session)
        return 0;
    {
        std::lock_guard<std::mutex> lock(session->queue_mutex);
        if (!session->queue.empty())
            return 1;
    }
    if (!session->waiting_logins.empty())
        return 1;
    return player_pending(session) ? 1 : 0;
}

int splocal_player_track(sp_session *session) {
    if (!session)
        return -1;
    std::lock_guard<std::mutex> lock(session->player.mutex);
    return session->player.loaded ? session->player.track_id : -1;
}

int splocal_player_playing(sp_session *session) {
    if (!session)
        return 0;
    std::lock_guard<std::mutex> lock(session->player.mutex);
    return session->player.loaded && session->player.playing ? 1 : 0;
}

int splocal_player_position(sp_session *session) {
    const int64_t frames = session ? splocal::player_position(session) : 0;
    return frames > INT32_MAX ? INT32_MAX : static_cast<int>(frames);
}

void splocal_hold_delivery(sp_session *session, int hold) {
    if (session)
        player_hold_delivery(session, hold != 0);
}

int splocal_delivery_held(sp_session *session) {
    if (!session)
        return 0;
    std::lock_guard<std::mutex> lock(session->player.mutex);
    return session->player.held ? 1 : 0;
}

int splocal_delivery_running(sp_session *session) {
    if (!session)
        return 0;
    std::lock_guard<std::mutex> lock(session->player.mutex);
    return session->player.in_callback ? 1 : 0;
}

} // extern "C"
