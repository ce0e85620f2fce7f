// Sessions: creation, the work queue with its notifier thread, event
// processing and release. See session.h for the thread rules.
#include "session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "catalogue.h"

namespace splocal {
namespace {

constexpr size_t kApplicationKeySize = 321;
constexpr int kIdleTimeoutMs = 1000;
constexpr int kRoundLimit = 256;

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

// With the catalogue mutex held: an empty catalogue is filled from the
// settings location's catalogue.txt if there is one, else from the demo.
sp_error ensure_catalogue_locked(Catalogue &cat, const char *settings_location) {
    if (!catalogue_empty_locked(cat))
        return SP_ERROR_OK;
    std::string path = settings_location && settings_location[0] ? settings_location : ".";
    path += "/catalogue.txt";
    if (FILE *probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
        if (catalogue_load_file_locked(cat, path.c_str()) != 0)
            return SP_ERROR_API_INITIALIZATION_FAILED;
        return SP_ERROR_OK;
    }
    catalogue_load_demo_locked(cat);
    return SP_ERROR_OK;
}

// The track's state as the catalogue has it now, keeping loaded metadata:
// metadata once loaded is not lost by a later hold.
void snapshot_track_locked(const Catalogue &cat, sp_track &track) {
    const CatalogueTrack &src = cat.tracks[static_cast<size_t>(track.id)];
    track.available = src.available;
    track.sound = src.sound;
    track.version = cat.version;
    if (src.error != SP_ERROR_OK && src.error != SP_ERROR_IS_LOADING) {
        track.loaded = false;
        track.error = src.error;
        track.title.clear();
        track.artist.name.clear();
    } else if (track.loaded || !src.metadata_held) {
        track.loaded = true;
        track.error = SP_ERROR_OK;
        track.title = src.title;
        track.artist.name = src.artist;
    } else {
        track.error = SP_ERROR_IS_LOADING;
    }
}

sp_track *track_locked(sp_session *session, const Catalogue &cat, int id) {
    auto found = session->tracks.find(id);
    if (found != session->tracks.end())
        return found->second.get();
    auto track = std::make_unique<sp_track>();
    track->id = id;
    snapshot_track_locked(cat, *track);
    sp_track *raw = track.get();
    session->tracks.emplace(id, std::move(track));
    return raw;
}

sp_playlist *view_playlist(sp_session *session, int id) {
    auto found = session->playlists.find(id);
    return found == session->playlists.end() ? nullptr : found->second.get();
}

sp_playlist *make_playlist(sp_session *session, int id, const std::string &name, uint64_t version) {
    sp_playlist *pl = view_playlist(session, id);
    if (!pl) {
        auto fresh = std::make_unique<sp_playlist>();
        pl = fresh.get();
        session->playlists.emplace(id, std::move(fresh));
    }
    pl->session = session;
    pl->id = id;
    pl->name = name;
    pl->loaded = false;
    pl->in_container = true;
    pl->tracks.clear();
    pl->name_version = version;
    pl->tracks_version = version;
    return pl;
}

void queue_load(sp_session *session, int playlist) {
    Work work;
    work.kind = WorkKind::LoadPlaylist;
    work.id = playlist;
    session_enqueue(session, std::move(work));
}

// Copies of the callback lists: a callback may add or remove callbacks.
template <class Fn> void each_playlist_callback(sp_playlist *pl, Fn fn) {
    const std::vector<PlaylistCallbackEntry> entries = pl->callbacks;
    for (const PlaylistCallbackEntry &e : entries)
        fn(e.table, e.userdata);
}

template <class Fn> void each_container_callback(sp_session *session, Fn fn) {
    const std::vector<ContainerCallbackEntry> entries = session->container.callbacks;
    for (const ContainerCallbackEntry &e : entries)
        fn(e.table, e.userdata);
}

void announce_container_loaded(sp_session *session) {
    sp_playlistcontainer &pc = session->container;
    if (pc.loaded_announced || pc.callbacks.empty())
        return;
    for (const sp_playlist *pl : pc.playlists) {
        if (!pl->loaded)
            return;
    }
    pc.loaded_announced = true;
    each_container_callback(session, [&](const sp_playlistcontainer_callbacks &t, void *ud) {
        if (t.container_loaded)
            t.container_loaded(&pc, ud);
    });
}

void apply_login(sp_session *session, Work &work) {
    sp_error outcome = work.error;
    Catalogue &cat = catalogue();
    std::vector<std::pair<int, std::string>> snapshot;
    uint64_t version = 0;
    int account = -1;
    if (outcome == SP_ERROR_OK) {
        std::lock_guard<std::mutex> lock(cat.mutex);
        account = catalogue_find_account_locked(cat, work.text);
        if (account < 0 || cat.accounts[static_cast<size_t>(account)].password != work.text2) {
            outcome = SP_ERROR_BAD_USERNAME_OR_PASSWORD;
        } else if (session->account >= 0) {
            // A session serves one account; logging in again to it changes
            // nothing, another account is refused.
            if (session->account_name != work.text)
                outcome = SP_ERROR_OTHER_PERMANENT;
            account = -1;
        } else {
            for (int id : cat.accounts[static_cast<size_t>(account)].playlists)
                snapshot.emplace_back(id, cat.playlists[static_cast<size_t>(id)].name);
            version = cat.version;
        }
    }
    // The password is not kept beyond this point.
    std::fill(work.text2.begin(), work.text2.end(), '\0');
    if (outcome == SP_ERROR_OK && account >= 0) {
        session->account = account;
        session->account_name = work.text;
        sp_playlistcontainer &pc = session->container;
        pc.session = session;
        pc.version = version;
        pc.playlists.clear();
        for (const auto &entry : snapshot) {
            pc.playlists.push_back(make_playlist(session, entry.first, entry.second, version));
            queue_load(session, entry.first);
        }
        session->connection.store(SP_CONNECTION_STATE_LOGGED_IN);
    }
    session->callbacks.logged_in(session, outcome);
}

void apply_load(sp_session *session, const Work &work) {
    sp_playlist *pl = view_playlist(session, work.id);
    if (!pl || pl->loaded || !pl->in_container)
        return;
    Catalogue &cat = catalogue();
    std::vector<sp_track *> tracks;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (work.id >= static_cast<int>(cat.playlists.size()))
            return;
        const CataloguePlaylist &src = cat.playlists[static_cast<size_t>(work.id)];
        if (src.removed || src.loading_held)
            return; // a release of the hold queues the load again
        for (int id : src.tracks)
            tracks.push_back(track_locked(session, cat, id));
        pl->tracks_version = cat.version;
    }
    pl->loaded = true;
    pl->tracks = tracks;
    each_playlist_callback(pl, [&](const sp_playlist_callbacks &t, void *ud) {
        if (t.playlist_state_changed)
            t.playlist_state_changed(pl, ud);
    });
    // Also for an empty playlist, so that the program hears that it loaded.
    each_playlist_callback(pl, [&](const sp_playlist_callbacks &t, void *ud) {
        if (t.tracks_added)
            t.tracks_added(pl, pl->tracks.data(), static_cast<int>(pl->tracks.size()), 0, ud);
    });
    announce_container_loaded(session);
}

void apply_playlist_added(sp_session *session, const Work &work) {
    sp_playlistcontainer &pc = session->container;
    if (session->account < 0 || work.text != session->account_name || work.version <= pc.version)
        return;
    sp_playlist *pl = make_playlist(session, work.id, work.text2, work.version);
    const int size = static_cast<int>(pc.playlists.size());
    const int position = work.position < 0 || work.position > size ? size : work.position;
    pc.playlists.insert(pc.playlists.begin() + position, pl);
    pc.version = work.version;
    queue_load(session, work.id);
    each_container_callback(session, [&](const sp_playlistcontainer_callbacks &t, void *ud) {
        if (t.playlist_added)
            t.playlist_added(&pc, pl, position, ud);
    });
}

void apply_playlist_removed(sp_session *session, const Work &work) {
    sp_playlistcontainer &pc = session->container;
    if (work.version <= pc.version)
        return;
    auto at = std::find_if(pc.playlists.begin(), pc.playlists.end(),
                           [&](const sp_playlist *p) { return p->id == work.id; });
    if (at == pc.playlists.end())
        return;
    sp_playlist *pl = *at;
    const int position = static_cast<int>(at - pc.playlists.begin());
    pc.playlists.erase(at);
    pc.version = work.version;
    pl->in_container = false;
    each_container_callback(session, [&](const sp_playlistcontainer_callbacks &t, void *ud) {
        if (t.playlist_removed)
            t.playlist_removed(&pc, pl, position, ud);
    });
}

void apply_playlist_renamed(sp_session *session, const Work &work) {
    sp_playlist *pl = view_playlist(session, work.id);
    if (!pl || !pl->in_container || work.version <= pl->name_version)
        return;
    pl->name = work.text;
    pl->name_version = work.version;
    each_playlist_callback(pl, [&](const sp_playlist_callbacks &t, void *ud) {
        if (t.playlist_renamed)
            t.playlist_renamed(pl, ud);
    });
}

// The playlist, if a change of its tracks at this version is news to the
// view: a playlist still loading gets every track when it loads.
sp_playlist *tracks_target(sp_session *session, const Work &work) {
    sp_playlist *pl = view_playlist(session, work.id);
    if (!pl || !pl->loaded || !pl->in_container || work.version <= pl->tracks_version)
        return nullptr;
    return pl;
}

void apply_tracks_added(sp_session *session, const Work &work) {
    sp_playlist *pl = tracks_target(session, work);
    if (!pl)
        return;
    std::vector<sp_track *> added;
    for (int id : work.items)
        added.push_back(session_track(session, id));
    const int size = static_cast<int>(pl->tracks.size());
    const int position = work.position < 0 || work.position > size ? size : work.position;
    pl->tracks.insert(pl->tracks.begin() + position, added.begin(), added.end());
    pl->tracks_version = work.version;
    each_playlist_callback(pl, [&](const sp_playlist_callbacks &t, void *ud) {
        if (t.tracks_added)
            t.tracks_added(pl, added.data(), static_cast<int>(added.size()), position, ud);
    });
}

void apply_tracks_removed(sp_session *session, const Work &work) {
    sp_playlist *pl = tracks_target(session, work);
    if (!pl)
        return;
    // Positions are ascending and in range (checked when the change was made).
    for (auto it = work.items.rbegin(); it != work.items.rend(); ++it)
        pl->tracks.erase(pl->tracks.begin() + *it);
    pl->tracks_version = work.version;
    each_playlist_callback(pl, [&](const sp_playlist_callbacks &t, void *ud) {
        if (t.tracks_removed)
            t.tracks_removed(pl, work.items.data(), static_cast<int>(work.items.size()), ud);
    });
}

void apply_tracks_moved(sp_session *session, const Work &work) {
    sp_playlist *pl = tracks_target(session, work);
    if (!pl)
        return;
    std::vector<int> order(pl->tracks.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    move_tracks(order, work.items, work.position);
    std::vector<sp_track *> moved(pl->tracks.size());
    for (size_t i = 0; i < order.size(); ++i)
        moved[i] = pl->tracks[static_cast<size_t>(order[i])];
    pl->tracks = moved;
    pl->tracks_version = work.version;
    each_playlist_callback(pl, [&](const sp_playlist_callbacks &t, void *ud) {
        if (t.tracks_moved)
            t.tracks_moved(pl, work.items.data(), static_cast<int>(work.items.size()),
                           work.position, ud);
    });
}

void apply_track_changed(sp_session *session, const Work &work) {
    auto found = session->tracks.find(work.id);
    if (found == session->tracks.end() || work.version <= found->second->version)
        return;
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (work.id >= static_cast<int>(cat.tracks.size()))
            return;
        snapshot_track_locked(cat, *found->second);
    }
    if (session->callbacks.metadata_updated)
        session->callbacks.metadata_updated(session);
}

} // namespace

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

sp_track *session_track(sp_session *session, int id) {
    auto found = session->tracks.find(id);
    if (found != session->tracks.end())
        return found->second.get();
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    return track_locked(session, cat, id);
}

void session_apply(sp_session *session, Work &work) {
    switch (work.kind) {
    case WorkKind::Login:
        apply_login(session, work);
        break;
    case WorkKind::LoadPlaylist:
        apply_load(session, work);
        break;
    case WorkKind::PlaylistAdded:
        apply_playlist_added(session, work);
        break;
    case WorkKind::PlaylistRemoved:
        apply_playlist_removed(session, work);
        break;
    case WorkKind::PlaylistRenamed:
        apply_playlist_renamed(session, work);
        break;
    case WorkKind::TracksAdded:
        apply_tracks_added(session, work);
        break;
    case WorkKind::TracksRemoved:
        apply_tracks_removed(session, work);
        break;
    case WorkKind::TracksMoved:
        apply_tracks_moved(session, work);
        break;
    case WorkKind::TrackChanged:
        apply_track_changed(session, work);
        break;
    case WorkKind::PlayTokenLost:
        if (session->callbacks.play_token_lost)
            session->callbacks.play_token_lost(session);
        break;
    }
}

} // namespace splocal

using namespace splocal;

extern "C" {

sp_error sp_session_create(const sp_session_config *config, sp_session **sess) {
    if (!sess)
        return SP_ERROR_INVALID_INDATA;
    *sess = nullptr;
    const sp_error bad = check_config(config);
    if (bad != SP_ERROR_OK)
        return bad;
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    const sp_error loaded = ensure_catalogue_locked(cat, config->settings_location);
    if (loaded != SP_ERROR_OK)
        return loaded;
    if (cat.fail_next_create != SP_ERROR_OK) {
        const sp_error forced = cat.fail_next_create;
        cat.fail_next_create = SP_ERROR_OK;
        return forced;
    }
    auto *session = new sp_session();
    session->callbacks = *config->callbacks;
    session->userdata = config->userdata;
    session->container.session = session;
    session->notifier = std::thread(notifier_main, session);
    player_start(session);
    cat.sessions.push_back(session);
    *sess = session;
    return SP_ERROR_OK;
}

sp_error sp_session_login(sp_session *session, const char *username, const char *password) {
    if (!session || !username || !username[0])
        return SP_ERROR_INVALID_INDATA;
    Work work;
    work.kind = WorkKind::Login;
    work.text = username;
    work.text2 = password ? password : "";
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.refuse_next_login != SP_ERROR_OK) {
            const sp_error refused = cat.refuse_next_login;
            cat.refuse_next_login = SP_ERROR_OK;
            return refused;
        }
        work.error = cat.fail_next_login;
        cat.fail_next_login = SP_ERROR_OK;
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
    player_load(session, track->id, track->sound);
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
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        cat.sessions.erase(std::remove(cat.sessions.begin(), cat.sessions.end(), session),
                           cat.sessions.end());
    }
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
    return player_pending(session) ? 1 : 0;
}

int splocal_player_track(sp_session *session) {
    if (!session)
        return -1;
    std::lock_guard<std::mutex> lock(session->player.mutex);
    return session->player.loaded ? session->player.track_id : -1;
}

int splocal_player_position(sp_session *session) {
    return session ? session->player.position.load() : 0;
}

} // extern "C"
