// The control API of local.h: builds and changes the server catalogue from
// any thread; each session hears of the changes through its subscriber.
#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "loader/catalogue_watch.h"
#include "folders/folder_cache.h"
#include "loader/catalogue_file.h"
#include "loader/embedded_catalogue.h"
#include "loader/library_loader.h"
#include "catalogue_types.h"
#include "session.h"
#include "media/file_opening.h"
#include "media/track_source.h"

using namespace splocal;

namespace {

std::string text(const char *s) {
    return s ? std::string(s) : std::string();
}

bool valid_playlist(const Catalogue &cat, int playlist) {
    return playlist >= 0 && playlist < static_cast<int>(cat.playlists.size()) &&
           !cat.playlists[static_cast<size_t>(playlist)].removed;
}

bool valid_track(const Catalogue &cat, int track) {
    return track >= 0 && track < static_cast<int>(cat.tracks.size());
}

// Distinct positions within [0, size), ascending; empty when any is bad.
std::vector<int> checked_positions(const int *positions, int count, int size) {
    if (!positions || count <= 0)
        return {};
    std::vector<int> out(positions, positions + count);
    std::sort(out.begin(), out.end());
    if (out.front() < 0 || out.back() >= size ||
        std::adjacent_find(out.begin(), out.end()) != out.end())
        return {};
    return out;
}

void broadcast_track_change(Catalogue &cat, int track) {
    CatalogueChange change;
    change.kind = ChangeKind::TrackChanged;
    change.id = track;
    catalogue_broadcast_locked(cat, std::move(change));
}

} // namespace

extern "C" {

void splocal_reset(void) {
    loader_stop();
    folder_cache_clear();
    file_opening_hold(false);
    file_opening_set_timeout(0);
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    catalogue_clear_locked(cat);
    catalogue_reset_settings(cat);
}

void splocal_load_demo(void) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    catalogue_load_demo_locked(cat);
}

int splocal_load_file(const char *path) {
    return path ? catalogue_load_file(catalogue(), path) : 1;
}

int splocal_account_add(const char *username, const char *password) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    return catalogue_add_account_locked(cat, text(username), text(password));
}

int splocal_track_add(const char *artist, const char *title, splocal_sound sound, int param,
                      int frames) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    return catalogue_add_track_locked(cat, text(artist), text(title), to_sound_kind(sound), param,
                                      frames);
}

int splocal_track_pcm(int track, int16_t *out, int max_frames) {
    SoundDesc sound;
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (!valid_track(cat, track))
            return 0;
        sound = cat.tracks[static_cast<size_t>(track)].sound;
    }
    if (sound.file.empty()) {
        if (out && max_frames > 0)
            synth_render(sound, 0, std::min(max_frames, sound.frames), out);
        return sound.frames;
    }
    // A file track: decoded as the player would, to its end.
    TrackSource source(sound);
    std::vector<int16_t> scratch(4096 * 2);
    int total = 0;
    for (;;) {
        const int room = out ? std::max(0, max_frames - total) : 0;
        int16_t *into = room > 0 ? out + 2 * static_cast<size_t>(total) : scratch.data();
        const int want = room > 0 ? std::min(room, 4096) : 4096;
        const int got = source.render(into, want);
        if (got > std::numeric_limits<int>::max() - total)
            break;
        total += got;
        if (got < want)
            return total;
    }
    return total;
}

int splocal_playlist_add(const char *username, const char *name, int position) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    const int account = catalogue_find_account_locked(cat, text(username));
    return catalogue_add_playlist_locked(cat, account, text(name), position);
}

void splocal_playlist_remove(int playlist) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_playlist(cat, playlist))
        return;
    CataloguePlaylist &pl = cat.playlists[static_cast<size_t>(playlist)];
    pl.removed = true;
    std::vector<int> &order = cat.accounts[static_cast<size_t>(pl.account)].playlists;
    order.erase(std::remove(order.begin(), order.end(), playlist), order.end());
    CatalogueChange change;
    change.kind = ChangeKind::PlaylistRemoved;
    change.id = playlist;
    catalogue_broadcast_locked(cat, std::move(change));
}

void splocal_playlist_rename(int playlist, const char *name) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_playlist(cat, playlist))
        return;
    cat.playlists[static_cast<size_t>(playlist)].name = text(name);
    CatalogueChange change;
    change.kind = ChangeKind::PlaylistRenamed;
    change.id = playlist;
    change.text = text(name);
    catalogue_broadcast_locked(cat, std::move(change));
}

void splocal_playlist_hold_loading(int playlist, int hold) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_playlist(cat, playlist))
        return;
    catalogue_hold_loading_locked(cat, playlist, hold != 0);
}

void splocal_playlist_add_tracks(int playlist, const int *tracks, int count, int position) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_playlist(cat, playlist) || !tracks || count <= 0)
        return;
    for (int i = 0; i < count; ++i) {
        if (!valid_track(cat, tracks[i]))
            return;
    }
    std::vector<int> &list = cat.playlists[static_cast<size_t>(playlist)].tracks;
    const int size = static_cast<int>(list.size());
    if (position < 0 || position > size)
        position = size;
    list.insert(list.begin() + position, tracks, tracks + count);
    CatalogueChange change;
    change.kind = ChangeKind::TracksAdded;
    change.id = playlist;
    change.position = position;
    change.items.assign(tracks, tracks + count);
    catalogue_broadcast_locked(cat, std::move(change));
}

void splocal_playlist_remove_tracks(int playlist, const int *positions, int count) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_playlist(cat, playlist))
        return;
    std::vector<int> &list = cat.playlists[static_cast<size_t>(playlist)].tracks;
    std::vector<int> sorted = checked_positions(positions, count, static_cast<int>(list.size()));
    if (sorted.empty())
        return;
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
        list.erase(list.begin() + *it);
    CatalogueChange change;
    change.kind = ChangeKind::TracksRemoved;
    change.id = playlist;
    change.items = std::move(sorted);
    catalogue_broadcast_locked(cat, std::move(change));
}

void splocal_playlist_move_tracks(int playlist, const int *positions, int count, int new_position) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_playlist(cat, playlist))
        return;
    std::vector<int> &list = cat.playlists[static_cast<size_t>(playlist)].tracks;
    const int size = static_cast<int>(list.size());
    std::vector<int> sorted = checked_positions(positions, count, size);
    if (sorted.empty() || new_position < 0 || new_position > size)
        return;
    move_tracks(list, sorted, new_position);
    CatalogueChange change;
    change.kind = ChangeKind::TracksMoved;
    change.id = playlist;
    change.position = new_position;
    change.items = std::move(sorted);
    catalogue_broadcast_locked(cat, std::move(change));
}

void splocal_track_set_available(int track, int available) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_track(cat, track))
        return;
    cat.tracks[static_cast<size_t>(track)].available = available != 0;
    broadcast_track_change(cat, track);
}

void splocal_track_set_error(int track, sp_error error) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_track(cat, track))
        return;
    cat.tracks[static_cast<size_t>(track)].error = to_error_code(error);
    broadcast_track_change(cat, track);
}

void splocal_track_hold_metadata(int track, int hold) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!valid_track(cat, track))
        return;
    CatalogueTrack &t = cat.tracks[static_cast<size_t>(track)];
    const bool was_held = t.metadata_held;
    t.metadata_held = hold != 0;
    if (was_held && !t.metadata_held)
        broadcast_track_change(cat, track);
}

void splocal_lose_play_token(void) {
    Work work;
    work.kind = WorkKind::PlayTokenLost;
    sessions_enqueue_all(work);
}

void splocal_fail_next_create(sp_error error) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    cat.fail_next_create = to_error_code(error);
}

void splocal_fail_next_login(sp_error error) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    cat.fail_next_login = to_error_code(error);
}

void splocal_refuse_next_login(sp_error error) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    cat.refuse_next_login = to_error_code(error);
}

void splocal_catalogue_wait_idle(void) {
    loader_wait_idle();
}

void splocal_catalogue_hold_loader(int hold) {
    loader_hold(hold != 0);
}

void splocal_hold_open(int hold) {
    file_opening_hold(hold != 0);
}

int splocal_open_held(void) {
    return file_opening_held();
}

int splocal_opens_running(void) {
    return FileOpening::running();
}

void splocal_set_open_timeout(int milliseconds) {
    file_opening_set_timeout(milliseconds);
}

void splocal_set_latency(int milliseconds) {
    catalogue().latency_ms.store(milliseconds < 0 ? 0 : milliseconds);
}

void splocal_set_chunk_frames(int frames) {
    catalogue().chunk_frames.store(frames < 1 ? 1 : (frames > 8192 ? 8192 : frames));
}

void splocal_set_watch_interval(int milliseconds) {
    watcher_set_interval(milliseconds);
}

int splocal_catalogue_check(int settled) {
    return watcher_check(settled != 0);
}

int splocal_folder_reads(const char *folder) {
    return folder_cache_reads(folder ? folder : "");
}

} // extern "C"
