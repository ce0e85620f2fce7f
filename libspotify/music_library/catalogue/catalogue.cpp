// The server catalogue; see catalogue.h for its rules.
#include "catalogue/catalogue.h"

#include <algorithm>
#include <utility>

namespace music {

Catalogue &catalogue() {
    static Catalogue *const instance = new Catalogue();
    return *instance;
}

void catalogue_clear_locked(Catalogue &cat) {
    cat.tracks.clear();
    cat.playlists.clear();
    cat.accounts.clear();
    cat.source = CatalogueSource{};
    cat.music_unwalked = false;
    ++cat.version;
    ++cat.generation;
}

void catalogue_reset_settings(Catalogue &cat) {
    cat.fail_next_create = ErrorCode::Ok;
    cat.fail_next_login = ErrorCode::Ok;
    cat.refuse_next_login = ErrorCode::Ok;
    cat.latency_ms.store(20);
    cat.chunk_frames.store(1024);
    cat.watch_interval_ms.store(500);
}

bool catalogue_empty_locked(const Catalogue &cat) {
    return cat.accounts.empty() && cat.tracks.empty() && cat.playlists.empty();
}

int catalogue_find_account_locked(const Catalogue &cat, const std::string &name) {
    for (size_t i = 0; i < cat.accounts.size(); ++i) {
        if (cat.accounts[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

void catalogue_subscribe_locked(Catalogue &cat, CatalogueSubscriber *subscriber) {
    cat.subscribers.push_back(subscriber);
}

void catalogue_unsubscribe_locked(Catalogue &cat, CatalogueSubscriber *subscriber) {
    cat.subscribers.erase(std::remove(cat.subscribers.begin(), cat.subscribers.end(), subscriber),
                          cat.subscribers.end());
}

void catalogue_broadcast_locked(Catalogue &cat, CatalogueChange change) {
    change.version = ++cat.version;
    catalogue_publish_locked(cat, change);
}

void catalogue_publish_locked(const Catalogue &cat, const CatalogueChange &change) {
    for (CatalogueSubscriber *subscriber : cat.subscribers)
        subscriber->catalogue_changed(change);
}

int catalogue_add_account_locked(Catalogue &cat, const std::string &name,
                                 const std::string &password) {
    if (name.empty() || catalogue_find_account_locked(cat, name) >= 0)
        return -1;
    cat.accounts.push_back(CatalogueAccount{name, password, {}});
    ++cat.version;
    return static_cast<int>(cat.accounts.size() - 1);
}

int catalogue_add_track_locked(Catalogue &cat, const std::string &artist, const std::string &title,
                               SoundKind sound, int param, int frames) {
    if (frames < 0 || frames > kMaxTrackFrames || static_cast<int>(sound) < 0 ||
        static_cast<int>(sound) >= kSoundKinds)
        return -1;
    CatalogueTrack track;
    track.artist = artist;
    track.title = title;
    track.sound = SoundDesc{sound, param, frames};
    cat.tracks.push_back(std::move(track));
    ++cat.version;
    return static_cast<int>(cat.tracks.size() - 1);
}

int catalogue_add_playlist_locked(Catalogue &cat, int account, const std::string &name,
                                  int position) {
    if (account < 0 || account >= static_cast<int>(cat.accounts.size()))
        return -1;
    std::vector<int> &order = cat.accounts[static_cast<size_t>(account)].playlists;
    const int size = static_cast<int>(order.size());
    if (position < 0 || position > size)
        position = size;
    const int id = static_cast<int>(cat.playlists.size());
    cat.playlists.push_back(CataloguePlaylist{account, name, {}, false, false});
    order.insert(order.begin() + position, id);
    CatalogueChange change;
    change.kind = ChangeKind::PlaylistAdded;
    change.text = cat.accounts[static_cast<size_t>(account)].name;
    change.text2 = name;
    change.id = id;
    change.position = position;
    catalogue_broadcast_locked(cat, std::move(change));
    return id;
}

void catalogue_append_tracks_locked(Catalogue &cat, int playlist, const int *tracks, int count) {
    std::vector<int> &list = cat.playlists[static_cast<size_t>(playlist)].tracks;
    list.insert(list.end(), tracks, tracks + count);
    ++cat.version;
}

void catalogue_hold_loading_locked(Catalogue &cat, int playlist, bool hold) {
    CataloguePlaylist &pl = cat.playlists[static_cast<size_t>(playlist)];
    const bool was_held = pl.loading_held;
    pl.loading_held = hold;
    if (!was_held || hold)
        return;
    // The load is a request, not a change, so it carries no version.
    CatalogueChange change;
    change.kind = ChangeKind::LoadPlaylist;
    change.id = playlist;
    catalogue_publish_locked(cat, change);
}

void move_tracks(std::vector<int> &list, const std::vector<int> &positions, int new_position) {
    std::vector<int> moved;
    std::vector<int> rest;
    std::vector<bool> is_moved(list.size(), false);
    for (int p : positions)
        is_moved[static_cast<size_t>(p)] = true;
    int insert_at = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (is_moved[i]) {
            moved.push_back(list[i]);
        } else {
            rest.push_back(list[i]);
            if (static_cast<int>(i) < new_position)
                ++insert_at;
        }
    }
    rest.insert(rest.begin() + insert_at, moved.begin(), moved.end());
    list = rest;
}

} // namespace music
