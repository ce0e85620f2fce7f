// A catalogue read again, applied as changes; see catalogue_edit.h.
#include "catalogue/catalogue_edit.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "catalogue/list_diff.h"

namespace music {
namespace {

// A track's identity: its file, or the line that synthesizes it.
std::string track_key(const CatalogueTrack &t) {
    if (!t.sound.file.empty())
        return "file\n" + t.sound.file;
    return "sound\n" + std::to_string(static_cast<int>(t.sound.sound)) + "\n" +
           std::to_string(t.sound.param) + "\n" + std::to_string(t.sound.frames) + "\n" + t.artist +
           "\n" + t.title;
}

// Whether two tracks have one source (their track_key is the same), without
// making the keys: an edit compares every track of a large library.
bool same_source(const CatalogueTrack &a, const CatalogueTrack &b) {
    if (!a.sound.file.empty() || !b.sound.file.empty())
        return a.sound.file == b.sound.file;
    return a.sound.sound == b.sound.sound && a.sound.param == b.sound.param &&
           a.sound.frames == b.sound.frames && a.artist == b.artist && a.title == b.title;
}

uint64_t mix_text(uint64_t hash, const std::string &text) {
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash * 31 + text.size();
}

// A hash of the track's source, equal for tracks of one source.
uint64_t source_hash(const CatalogueTrack &t) {
    constexpr uint64_t start = 14695981039346656037ull;
    if (!t.sound.file.empty())
        return mix_text(start, t.sound.file);
    uint64_t hash = mix_text(start + 1, t.artist);
    hash = mix_text(hash, t.title);
    return (hash * 31 + static_cast<uint64_t>(t.sound.sound)) * 31 +
           static_cast<uint64_t>(static_cast<uint32_t>(t.sound.param)) * 65537 +
           static_cast<uint64_t>(static_cast<uint32_t>(t.sound.frames));
}

// The track as the catalogue holds it: a file that cannot be decoded fails.
CatalogueTrack catalogue_form(const DescTrack &t) {
    CatalogueTrack track = t;
    if (!t.file_playable && track.error == ErrorCode::Ok)
        track.error = ErrorCode::TrackNotPlayable;
    return track;
}

// A list of keys as one key (keys hold no NUL byte).
std::string joined(const std::vector<std::string> &keys) {
    std::string out;
    for (const std::string &key : keys) {
        out += key;
        out.push_back('\0');
    }
    return out;
}

void broadcast(Catalogue &cat, ChangeKind kind, int id, int position = 0,
               std::vector<int> items = {}, std::string text = {}) {
    CatalogueChange change;
    change.kind = kind;
    change.id = id;
    change.position = position;
    change.items = std::move(items);
    change.text = std::move(text);
    catalogue_broadcast_locked(cat, std::move(change));
}

class Editor {
public:
    // Keys and the index of sources are made only where a playlist changed.
    Editor(Catalogue &cat, const CatalogueDesc &desc)
        : cat_(cat), desc_(desc), track_ids_(desc.tracks.size(), -1),
          new_keys_(desc.tracks.size()) {}

    void run() {
        std::vector<bool> kept(cat_.accounts.size(), false);
        for (const DescAccount &account : desc_.accounts) {
            int a = catalogue_find_account_locked(cat_, account.name);
            if (a < 0) {
                a = catalogue_add_account_locked(cat_, account.name, account.password);
                kept.push_back(false);
            }
            if (a < 0)
                continue;
            kept[static_cast<size_t>(a)] = true;
            cat_.accounts[static_cast<size_t>(a)].password = account.password;
            edit_container(a, account);
        }
        // An account gone from the file loses its playlists; whoever is logged
        // in to it stays, with an empty container.
        for (size_t a = 0; a < kept.size(); ++a) {
            if (kept[a])
                continue;
            const std::vector<int> order = cat_.accounts[a].playlists;
            for (int id : order)
                remove_playlist(static_cast<int>(a), id);
        }
        update_tracks();
        const CatalogueSettings &s = desc_.settings;
        if (s.latency_ms >= 0)
            cat_.latency_ms.store(s.latency_ms);
        if (s.chunk_frames >= 0)
            cat_.chunk_frames.store(s.chunk_frames);
    }

private:
    std::vector<std::string> old_keys(int playlist) const {
        std::vector<std::string> keys;
        for (int id : cat_.playlists[static_cast<size_t>(playlist)].tracks)
            keys.push_back(track_key(cat_.tracks[static_cast<size_t>(id)]));
        return keys;
    }
    std::vector<std::string> new_keys(const DescPlaylist &pl) {
        std::vector<std::string> keys;
        for (int t : pl.tracks) {
            std::string &key = new_keys_[static_cast<size_t>(t)];
            if (key.empty()) // a key is never empty
                key = track_key(desc_.tracks[static_cast<size_t>(t)]);
            keys.push_back(key);
        }
        return keys;
    }

    // The first catalogue track with the source of `track`, or -1. An edit
    // that adds a file or two looks through the tracks; the index of every
    // track is made only once an edit adds more.
    int find_track(const CatalogueTrack &track) {
        if (!indexed_ && scans_left_ > 0) {
            --scans_left_;
            for (size_t i = 0; i < cat_.tracks.size(); ++i) {
                if (same_source(cat_.tracks[i], track))
                    return static_cast<int>(i);
            }
            return -1;
        }
        if (!indexed_) {
            indexed_ = true;
            track_by_source_.reserve(cat_.tracks.size());
            for (size_t i = 0; i < cat_.tracks.size(); ++i)
                track_by_source_.emplace(source_hash(cat_.tracks[i]), static_cast<int>(i));
        }
        int first = -1;
        const auto [begin, end] = track_by_source_.equal_range(source_hash(track));
        for (auto it = begin; it != end; ++it) {
            if ((first < 0 || it->second < first) &&
                same_source(cat_.tracks[static_cast<size_t>(it->second)], track))
                first = it->second;
        }
        return first;
    }

    // Whether the playlist holds the tracks the description gives it, in
    // its order; then each described track is the one in its place.
    bool unchanged(int id, const DescPlaylist &pl) {
        const std::vector<int> &list = cat_.playlists[static_cast<size_t>(id)].tracks;
        if (list.size() != pl.tracks.size())
            return false;
        for (size_t j = 0; j < list.size(); ++j) {
            if (!same_source(cat_.tracks[static_cast<size_t>(list[j])],
                             desc_.tracks[static_cast<size_t>(pl.tracks[j])]))
                return false;
        }
        for (size_t j = 0; j < list.size(); ++j)
            track_ids_[static_cast<size_t>(pl.tracks[j])] = list[j];
        return true;
    }

    // The catalogue track for a track of the description: the one with its
    // source, else a new one.
    int track_for(int desc_track) {
        int &id = track_ids_[static_cast<size_t>(desc_track)];
        if (id >= 0)
            return id;
        const DescTrack &track = desc_.tracks[static_cast<size_t>(desc_track)];
        id = find_track(track);
        if (id >= 0)
            return id;
        cat_.tracks.push_back(catalogue_form(track));
        ++cat_.version;
        id = static_cast<int>(cat_.tracks.size() - 1);
        track_by_source_.emplace(source_hash(track), id);
        return id;
    }

    void remove_playlist(int account, int id) {
        CataloguePlaylist &pl = cat_.playlists[static_cast<size_t>(id)];
        pl.removed = true;
        std::vector<int> &order = cat_.accounts[static_cast<size_t>(account)].playlists;
        order.erase(std::remove(order.begin(), order.end(), id), order.end());
        broadcast(cat_, ChangeKind::PlaylistRemoved, id);
    }

    void edit_container(int account, const DescAccount &wanted) {
        const std::vector<int> old_order = cat_.accounts[static_cast<size_t>(account)].playlists;
        const size_t count = wanted.playlists.size();
        std::vector<int> matched(count, -1); // catalogue playlist of each wanted one
        std::vector<bool> taken(old_order.size(), false);
        // The same name is the same playlist (equal names in their order).
        std::unordered_map<std::string, std::vector<size_t>> by_name;
        for (size_t i = old_order.size(); i-- > 0;)
            by_name[cat_.playlists[static_cast<size_t>(old_order[i])].name].push_back(i);
        for (size_t j = 0; j < count; ++j) {
            auto found =
                by_name.find(desc_.playlists[static_cast<size_t>(wanted.playlists[j])].name);
            if (found == by_name.end() || found->second.empty())
                continue;
            taken[found->second.back()] = true;
            matched[j] = old_order[found->second.back()];
            found->second.pop_back();
        }
        // Else the same content under another name: a rename.
        std::unordered_map<std::string, std::vector<size_t>> by_content;
        for (size_t i = old_order.size(); i-- > 0;) {
            if (!taken[i])
                by_content[joined(old_keys(old_order[i]))].push_back(i);
        }
        std::vector<bool> renamed(count, false);
        for (size_t j = 0; j < count && !by_content.empty(); ++j) {
            if (matched[j] >= 0)
                continue;
            auto found = by_content.find(
                joined(new_keys(desc_.playlists[static_cast<size_t>(wanted.playlists[j])])));
            if (found == by_content.end() || found->second.empty())
                continue;
            taken[found->second.back()] = true;
            matched[j] = old_order[found->second.back()];
            renamed[j] = true;
            found->second.pop_back();
        }
        pair_by_overlap(wanted, old_order, taken, matched, renamed);
        for (size_t i = 0; i < old_order.size(); ++i) {
            if (!taken[i])
                remove_playlist(account, old_order[i]);
        }
        for (size_t j = 0; j < count; ++j) {
            const DescPlaylist &pl = desc_.playlists[static_cast<size_t>(wanted.playlists[j])];
            if (matched[j] < 0) {
                matched[j] = add_playlist(account, pl, matched, j);
                continue;
            }
            if (renamed[j]) {
                cat_.playlists[static_cast<size_t>(matched[j])].name = pl.name;
                broadcast(cat_, ChangeKind::PlaylistRenamed, matched[j], 0, {}, pl.name);
            }
            edit_tracks(matched[j], pl);
        }
    }

    // The tracks a list holds, each with how often it stands there.
    static std::unordered_map<std::string, int> counted(const std::vector<std::string> &keys) {
        std::unordered_map<std::string, int> counts;
        for (const std::string &key : keys)
            ++counts[key];
        return counts;
    }

    // A playlist whose name is gone and a new name that keeps more than half
    // of its tracks are one playlist, renamed and edited, when each is the
    // other's only best match: no other gone playlist shares as many tracks
    // with the new one, and no other new one as many with the gone one. Any
    // other gone playlist is removed and any other new one added.
    void pair_by_overlap(const DescAccount &wanted, const std::vector<int> &old_order,
                         std::vector<bool> &taken, std::vector<int> &matched,
                         std::vector<bool> &renamed) {
        struct Best {
            int shared = 0;
            size_t other = 0;
            bool tied = false;
            void offer(int count, size_t candidate) {
                if (count == shared)
                    tied = true;
                if (count > shared) {
                    shared = count;
                    other = candidate;
                    tied = false;
                }
            }
        };
        // Which gone playlists hold each track, and how often.
        std::unordered_map<std::string, std::vector<std::pair<size_t, int>>> holders;
        std::vector<size_t> sizes(old_order.size(), 0);
        for (size_t i = 0; i < old_order.size(); ++i) {
            if (taken[i])
                continue;
            const std::vector<std::string> keys = old_keys(old_order[i]);
            sizes[i] = keys.size();
            for (const auto &[key, count] : counted(keys))
                holders[key].emplace_back(i, count);
        }
        if (holders.empty())
            return;
        std::vector<Best> best_new(old_order.size()); // for each gone playlist
        std::vector<Best> best_old(matched.size());   // for each new one
        for (size_t j = 0; j < matched.size(); ++j) {
            if (matched[j] >= 0)
                continue;
            std::unordered_map<size_t, int> shared;
            const DescPlaylist &pl = desc_.playlists[static_cast<size_t>(wanted.playlists[j])];
            for (const auto &[key, count] : counted(new_keys(pl))) {
                auto found = holders.find(key);
                if (found == holders.end())
                    continue;
                for (const auto &[i, held] : found->second)
                    shared[i] += std::min(count, held);
            }
            for (const auto &[i, count] : shared) {
                best_old[j].offer(count, i);
                best_new[i].offer(count, j);
            }
        }
        for (size_t j = 0; j < matched.size(); ++j) {
            const Best &mine = best_old[j];
            if (matched[j] >= 0 || mine.shared == 0 || mine.tied)
                continue;
            const Best &theirs = best_new[mine.other];
            if (theirs.tied || theirs.other != j ||
                2 * static_cast<size_t>(mine.shared) <= sizes[mine.other])
                continue;
            taken[mine.other] = true;
            matched[j] = old_order[mine.other];
            renamed[j] = true;
        }
    }

    // Inserted after the nearest playlist before it in the file that is in
    // the container (at the front when there is none).
    int add_playlist(int account, const DescPlaylist &pl, const std::vector<int> &matched,
                     size_t index) {
        const std::vector<int> &order = cat_.accounts[static_cast<size_t>(account)].playlists;
        int position = 0;
        for (size_t k = index; k-- > 0;) {
            auto at = std::find(order.begin(), order.end(), matched[k]);
            if (matched[k] >= 0 && at != order.end()) {
                position = static_cast<int>(at - order.begin()) + 1;
                break;
            }
        }
        std::vector<int> tracks;
        for (int t : pl.tracks)
            tracks.push_back(track_for(t));
        const int id = catalogue_add_playlist_locked(cat_, account, pl.name, position);
        if (id < 0)
            return -1;
        // Subscribers load it later, with the tracks it has by then.
        CataloguePlaylist &added = cat_.playlists[static_cast<size_t>(id)];
        added.loading_held = pl.loading_held;
        if (!tracks.empty())
            catalogue_append_tracks_locked(cat_, id, tracks.data(),
                                           static_cast<int>(tracks.size()));
        return id;
    }

    // A folder that gained a file or two: the described list is the old one
    // with a few tracks of sources the list does not hold put in. Then the
    // edit is those insertions alone (what diff_lists would find), made
    // without a key for every track of the list. False for any other change.
    bool only_added(int id, const DescPlaylist &pl, ListEdit &edit) const {
        constexpr size_t kMostAdded = 8;
        const std::vector<int> &list = cat_.playlists[static_cast<size_t>(id)].tracks;
        if (pl.tracks.size() <= list.size() || pl.tracks.size() - list.size() > kMostAdded)
            return false;
        const auto described = [&](size_t j) -> const CatalogueTrack & {
            return desc_.tracks[static_cast<size_t>(pl.tracks[j])];
        };
        edit.old_of_new.assign(pl.tracks.size(), -1);
        std::vector<size_t> added;
        size_t i = 0;
        for (size_t j = 0; j < pl.tracks.size(); ++j) {
            if (i < list.size() &&
                same_source(cat_.tracks[static_cast<size_t>(list[i])], described(j))) {
                edit.old_of_new[j] = static_cast<int>(i++);
            } else if (added.size() < kMostAdded) {
                added.push_back(j);
            } else {
                return false;
            }
        }
        if (i != list.size())
            return false;
        // An added source the list already holds would be matched to it.
        for (const size_t j : added) {
            for (const int old : list) {
                if (same_source(cat_.tracks[static_cast<size_t>(old)], described(j)))
                    return false;
            }
        }
        for (size_t k = 0; k < added.size();) {
            size_t end = k + 1;
            while (end < added.size() && added[end] == added[end - 1] + 1)
                ++end;
            edit.inserts.push_back(
                ListInsert{static_cast<int>(added[k]), static_cast<int>(end - k)});
            k = end;
        }
        return true;
    }

    void edit_tracks(int id, const DescPlaylist &pl) {
        if (unchanged(id, pl)) {
            catalogue_hold_loading_locked(cat_, id, pl.loading_held);
            return;
        }
        ListEdit edit;
        if (!only_added(id, pl, edit))
            edit = diff_lists(old_keys(id), new_keys(pl));
        std::vector<int> &list = cat_.playlists[static_cast<size_t>(id)].tracks;
        for (size_t j = 0; j < pl.tracks.size(); ++j) {
            const int old = edit.old_of_new[j];
            if (old >= 0)
                track_ids_[static_cast<size_t>(pl.tracks[j])] = list[static_cast<size_t>(old)];
        }
        if (!edit.removed.empty()) {
            for (auto it = edit.removed.rbegin(); it != edit.removed.rend(); ++it)
                list.erase(list.begin() + *it);
            broadcast(cat_, ChangeKind::TracksRemoved, id, 0, edit.removed);
        }
        for (const ListMove &move : edit.moves) {
            move_tracks(list, move.positions, move.new_position);
            broadcast(cat_, ChangeKind::TracksMoved, id, move.new_position, move.positions);
        }
        for (const ListInsert &insert : edit.inserts) {
            std::vector<int> tracks;
            for (int k = 0; k < insert.count; ++k)
                tracks.push_back(track_for(pl.tracks[static_cast<size_t>(insert.position + k)]));
            list.insert(list.begin() + insert.position, tracks.begin(), tracks.end());
            broadcast(cat_, ChangeKind::TracksAdded, id, insert.position, tracks);
        }
        catalogue_hold_loading_locked(cat_, id, pl.loading_held);
    }

    // Names, availability, errors and metadata holds as the file now says.
    void update_tracks() {
        for (size_t i = 0; i < desc_.tracks.size(); ++i) {
            const int id = track_ids_[i];
            if (id < 0)
                continue;
            const DescTrack &d = desc_.tracks[i];
            CatalogueTrack &t = cat_.tracks[static_cast<size_t>(id)];
            // The track as the file now gives it, compared before anything is
            // copied: most tracks of a large library stay as they are.
            ErrorCode error = !d.file_playable && d.error == ErrorCode::Ok
                                  ? ErrorCode::TrackNotPlayable
                                  : d.error;
            const std::string *artist = &d.artist;
            const std::string *title = &d.title;
            int duration_ms = d.duration_ms;
            bool names_pending = d.names_pending;
            if (names_pending && !t.names_pending) {
                // Read without its tags (the loader's walk): what its file
                // gave stays.
                if (!d.names_given) {
                    artist = &t.artist;
                    title = &t.title;
                }
                if (error == ErrorCode::Ok)
                    error = t.error;
                duration_ms = t.duration_ms;
                names_pending = false;
            }
            const bool released = t.metadata_held && !d.metadata_held;
            const bool changed = t.artist != *artist || t.title != *title ||
                                 t.duration_ms != duration_ms || t.available != d.available ||
                                 t.error != error;
            if (changed || t.metadata_held != d.metadata_held || t.names_pending != names_pending ||
                t.names_given != d.names_given || t.sound.sound != d.sound.sound ||
                t.sound.param != d.sound.param || t.sound.frames != d.sound.frames ||
                t.sound.file != d.sound.file) {
                CatalogueTrack wanted = d;
                wanted.artist = *artist;
                wanted.title = *title;
                wanted.error = error;
                wanted.duration_ms = duration_ms;
                wanted.names_pending = names_pending;
                t = std::move(wanted);
            }
            if (changed || released)
                broadcast(cat_, ChangeKind::TrackChanged, id);
        }
    }

    Catalogue &cat_;
    const CatalogueDesc &desc_;
    std::vector<int> track_ids_;        // catalogue track of each described track, or -1
    std::vector<std::string> new_keys_; // track_key of each described track, made when needed
    bool indexed_ = false;              // track_by_source_ holds every catalogue track
    int scans_left_ = 4;                // lookups made without the index, before it is made
    std::unordered_multimap<uint64_t, int> track_by_source_; // source_hash -> track
};

} // namespace

void catalogue_apply_edit_locked(Catalogue &cat, const CatalogueDesc &desc) {
    Editor(cat, desc).run();
}

} // namespace music
