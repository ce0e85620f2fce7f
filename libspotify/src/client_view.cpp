// The client view of a session: applies each piece of queued work to the
// handles the program holds and calls the callback that announces it.
#include <algorithm>
#include <utility>

#include "base/text_lines.h"
#include "catalogue/catalogue.h"
#include "catalogue_types.h"
#include "loader/library_loader.h"
#include "session.h"

namespace splocal {
namespace {

// The track's state as the catalogue has it now, keeping loaded metadata:
// metadata once loaded is not lost by a later hold.
void snapshot_track_locked(const Catalogue &cat, sp_track &track) {
    const CatalogueTrack &src = cat.tracks[static_cast<size_t>(track.id)];
    track.available = src.available;
    track.version = cat.version;
    if (src.error != ErrorCode::Ok && src.error != ErrorCode::IsLoading) {
        track.loaded = false;
        track.error = to_sp_error(src.error);
        track.title.clear();
        track.artist.name.clear();
        track.duration_ms = 0;
    } else if (src.names_pending) {
        // Its file is still to be read: names shown before stay until then.
        if (!track.loaded)
            track.error = SP_ERROR_IS_LOADING;
    } else if (track.loaded || !src.metadata_held) {
        track.loaded = true;
        track.error = SP_ERROR_OK;
        track.title = src.title;
        track.artist.name = src.artist;
        track.duration_ms = src.sound.file.empty()
                                ? static_cast<int>(int64_t{src.sound.frames} * 1000 / kSampleRate)
                                : src.duration_ms;
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
        if (cat.file_pending) {
            // Answered once the catalogue file is read (CatalogueReady).
            session->waiting_logins.push_back(std::move(work));
            return;
        }
        if (work.position == kLoginTakesForcedOutcome) {
            // Asked for before the file was read: a failure it sets counts.
            outcome = to_sp_error(std::exchange(cat.fail_next_login, ErrorCode::Ok));
            work.position = 0;
        }
    }
    if (outcome == SP_ERROR_OK) {
        std::lock_guard<std::mutex> lock(cat.mutex);
        account = work.text.empty() ? -1 : catalogue_find_account_locked(cat, work.text);
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
            loader_account_logged_in_locked(cat, account);
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

// One track, or a batch of them (the loader's tags): one take of the
// catalogue mutex and one metadata_updated for the batch.
void apply_track_changed(sp_session *session, const Work &work) {
    bool changed = false;
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        const auto one = [&](int id) {
            auto found = session->tracks.find(id);
            if (found == session->tracks.end() || work.version <= found->second->version ||
                id >= static_cast<int>(cat.tracks.size()))
                return;
            snapshot_track_locked(cat, *found->second);
            changed = true;
        };
        if (work.items.empty())
            one(work.id);
        for (int id : work.items)
            one(id);
    }
    if (changed && session->callbacks.metadata_updated)
        session->callbacks.metadata_updated(session);
}

void apply_catalogue_ready(sp_session *session) {
    std::vector<Work> waiting = std::move(session->waiting_logins);
    session->waiting_logins.clear();
    for (Work &login : waiting)
        apply_login(session, login);
}

} // namespace

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
    case WorkKind::CatalogueReady:
        apply_catalogue_ready(session);
        break;
    case WorkKind::PlayTokenLost:
        if (session->callbacks.play_token_lost)
            session->callbacks.play_token_lost(session);
        break;
    case WorkKind::Log:
        if (session->callbacks.log_message)
            session->callbacks.log_message(session, one_log_line(work.text).c_str());
        break;
    }
}

} // namespace splocal
