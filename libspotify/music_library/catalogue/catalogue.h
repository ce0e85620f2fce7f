// The server catalogue: one per process, guarded by one mutex.
//
// Thread rules: every field of Catalogue is guarded by Catalogue::mutex
// except the atomics, which any thread reads freely. Changes are made under
// the mutex, from any thread, and published under it to the subscribers
// (catalogue_change.h: in what order, and what a subscriber may do).
#ifndef MUSIC_LIBRARY_CATALOGUE_CATALOGUE_H
#define MUSIC_LIBRARY_CATALOGUE_CATALOGUE_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/catalogue_change.h"
#include "media/synth.h"

namespace music {

// The streaming interface's error numbers, as catalogue files write them:
// a track's error and the switches that fail the next session or login
// (the catalogue file sets them; the library serving it acts on them).
enum class ErrorCode : int {
    Ok = 0,
    TrackNotPlayable = 3,
    IsLoading = 17,
};
constexpr int kMaxErrorCode = 17;

struct CatalogueTrack {
    std::string artist;
    std::string title;
    SoundDesc sound;
    bool available = true;
    ErrorCode error = ErrorCode::Ok;
    bool metadata_held = false;
    // A file track whose header and tags are still to be read (in the
    // background): its names are not known yet, nor whether it plays.
    bool names_pending = false;
    // The names come from the catalogue line, not from the file's tags.
    bool names_given = false;
    // A file track's length in ms, read with its tags (0: not known);
    // synthesized tracks have theirs in `sound`.
    int duration_ms = 0;
};

struct CataloguePlaylist {
    int account = -1;
    std::string name;
    std::vector<int> tracks;
    bool removed = false;
    bool loading_held = false;
};

struct CatalogueAccount {
    std::string name;
    std::string password;
    std::vector<int> playlists; // container order
};

// What a catalogue file read: the file, the music folders it serves and
// the audio files it names outside them, with a fingerprint of all of them
// (sizes, times, folder listings) as they were when read. What the
// catalogue depends on, for a watcher: `path`, every real folder the walk
// listed (`directories`, each once, the names folder_cache_invalidate
// takes), the playlist files read and the audio files named outside the
// folders. Network paths are in none of them: they are never looked at in
// the background.
struct CatalogueSource {
    // Empty: the catalogue does not come from a file; it is the embedded
    // one when `fingerprint` is set (its Music folder in `folders`).
    std::string path;
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<std::string> directories;
    std::vector<std::string> playlist_files;
    uint64_t fingerprint = 0;
};

struct Catalogue {
    std::mutex mutex;
    std::vector<CatalogueTrack> tracks;             // mutex; index = track id
    std::vector<CataloguePlaylist> playlists;       // mutex; index = playlist id
    std::vector<CatalogueAccount> accounts;         // mutex
    uint64_t version = 1;                           // mutex; grows with every change
    ErrorCode fail_next_create = ErrorCode::Ok;     // mutex
    ErrorCode fail_next_login = ErrorCode::Ok;      // mutex
    ErrorCode refuse_next_login = ErrorCode::Ok;    // mutex
    std::vector<CatalogueSubscriber *> subscribers; // mutex
    CatalogueSource source;                         // mutex; followed while the watcher runs
    // The catalogue file is being read by the loader (library_loader.h),
    // which publishes CatalogueReady once it is.
    bool file_pending = false; // mutex
    uint64_t generation = 1;   // mutex; grows whenever the catalogue is replaced
    // The embedded catalogue's `me` has not had the user's Music folder
    // walked yet: the first login to it asks the loader (library_loader.h).
    bool music_unwalked = false; // mutex
    std::atomic<int> latency_ms{20};
    std::atomic<int> chunk_frames{1024};
    std::atomic<int> watch_interval_ms{500}; // 0: the file is looked at only when asked
};

// The process's catalogue (never destroyed, so that subscribers never
// released may outlive static destruction safely).
Catalogue &catalogue();

// With the mutex held: empties the catalogue (subscribers stay).
void catalogue_clear_locked(Catalogue &cat);
void catalogue_reset_settings(Catalogue &cat);
int catalogue_find_account_locked(const Catalogue &cat, const std::string &name);
bool catalogue_empty_locked(const Catalogue &cat);

// With the mutex held: adds or removes a subscriber; from then on it
// receives every change published, until it is removed.
void catalogue_subscribe_locked(Catalogue &cat, CatalogueSubscriber *subscriber);
void catalogue_unsubscribe_locked(Catalogue &cat, CatalogueSubscriber *subscriber);

// With the mutex held: stamps the change with the next version and
// publishes it to every subscriber.
void catalogue_broadcast_locked(Catalogue &cat, CatalogueChange change);
// With the mutex held: publishes what is not a change of the catalogue (a
// request, a line for the log) as it is, with no version.
void catalogue_publish_locked(const Catalogue &cat, const CatalogueChange &change);

// With the mutex held: adds to the catalogue; -1 on bad arguments.
int catalogue_add_account_locked(Catalogue &cat, const std::string &name,
                                 const std::string &password);
int catalogue_add_track_locked(Catalogue &cat, const std::string &artist, const std::string &title,
                               SoundKind sound, int param, int frames);
int catalogue_add_playlist_locked(Catalogue &cat, int account, const std::string &name,
                                  int position);
void catalogue_append_tracks_locked(Catalogue &cat, int playlist, const int *tracks, int count);

// With the mutex held: holds or releases the loading of a valid playlist.
// Sessions that saw it while it was held load it when it is released.
void catalogue_hold_loading_locked(Catalogue &cat, int playlist, bool hold);

// Moves the entries at `positions` (ascending, distinct, in range) before
// `new_position`; both count positions as they were before the move.
void move_tracks(std::vector<int> &list, const std::vector<int> &positions, int new_position);

} // namespace music

#endif
