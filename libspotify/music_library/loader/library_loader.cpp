// The library's loader; see library_loader.h.
#include "loader/library_loader.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/file_io.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_edit.h"
#include "catalogue/catalogue_text.h"
#include "loader/catalogue_file.h"
#include "loader/catalogue_walk.h"
#include "loader/catalogue_watch.h"
#include "loader/embedded_catalogue.h"
#include "folders/folder_cache.h"
#include "folders/music_folder.h"
#include "catalogue/library_log.h"

namespace music {
namespace {

// Tags read between two takes of the catalogue mutex, at most; a batch
// also ends after kBatchTime so that names arrive steadily.
constexpr size_t kBatchTracks = 2048;
constexpr auto kBatchTime = std::chrono::milliseconds(100);

struct Loader {
    std::mutex mutex;
    std::condition_variable wake; // work, a release, a stop
    std::condition_variable idle; // the loader has nothing to do
    std::thread thread;           // mutex
    bool running = false;         // mutex
    bool stopping = false;        // mutex
    bool startup = false;         // mutex: a start-up read is wanted
    std::string settings_folder;  // mutex
    bool tags = false;            // mutex: pending tags are to be read
    bool music = false;           // mutex: the embedded `me` logged in (walk_user_music)
    bool busy = false;            // mutex
    bool held = false;            // mutex
    bool waiting = false;         // mutex: held, and waiting for the release
};

Loader &loader() {
    static Loader *const instance = new Loader();
    return *instance;
}

// False once the loader is to stop; waits while it is held.
bool may_go_on() {
    Loader &l = loader();
    std::unique_lock<std::mutex> lock(l.mutex);
    l.waiting = true;
    l.idle.notify_all(); // a held loader counts as idle
    l.wake.wait(lock, [&] { return l.stopping || !l.held; });
    l.waiting = false;
    return !l.stopping;
}

// With the catalogue mutex held: lines to every subscriber.
void tell_subscribers_locked(Catalogue &cat, const std::vector<std::string> &lines) {
    for (const std::string &line : lines) {
        CatalogueChange change;
        change.kind = ChangeKind::Log;
        change.text = line;
        catalogue_publish_locked(cat, change);
    }
}

// With the catalogue mutex held: the catalogue is there; logins waiting
// for it are answered.
void catalogue_ready_locked(Catalogue &cat) {
    cat.file_pending = false;
    CatalogueChange change;
    change.kind = ChangeKind::CatalogueReady;
    catalogue_publish_locked(cat, change);
}

// The embedded catalogue; its account `me` serves nothing until someone
// logs in to it (walk_user_music).
void start_embedded() {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (!cat.file_pending)
        return;
    catalogue_load_demo_locked(cat);
    catalogue_ready_locked(cat);
}

// The user's Music folder for the embedded `me`: its playlists reach the
// subscribers as changes, and the folder is followed from then on. A walk cut
// short by a stop is dropped, and the next login to `me` asks again.
void walk_user_music() {
    Catalogue &cat = catalogue();
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (!cat.music_unwalked)
            return;
        generation = cat.generation;
    }
    if (!may_go_on())
        return;
    const CatalogueDesc desc = embedded_catalogue(user_music_folder(), ReadOptions{true, false});
    if (!may_go_on())
        return;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.generation != generation || !cat.music_unwalked)
            return;
        catalogue_apply_edit_locked(cat, desc);
        cat.music_unwalked = false;
        tell_subscribers_locked(cat, desc.notes);
    }
    CatalogueSource source = catalogue_source_of(std::string(), desc);
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.generation != generation)
            return;
        cat.source = std::move(source);
    }
    watcher_wake();
}

// The catalogue file: its lines first (logins wait for these), then its
// folders.
void start_from_file(const std::string &path) {
    Catalogue &cat = catalogue();
    folder_cache_invalidate(std::string());
    const CatalogueDesc lines_only = read_catalogue_file(path);
    const std::vector<std::string> problems = catalogue_problem_lines(path, lines_only);
    log_catalogue_read(path, problems);
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (!cat.file_pending)
            return;
        catalogue_replace_locked(cat, lines_only, CatalogueSource{});
        catalogue_ready_locked(cat);
        tell_subscribers_locked(cat, problems);
        generation = cat.generation;
    }
    if (!may_go_on())
        return;
    const CatalogueDesc whole = read_catalogue(path, ReadOptions{true, false});
    log_append(path, whole.notes);
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.generation != generation)
            return;
        catalogue_apply_edit_locked(cat, whole);
        tell_subscribers_locked(cat, whole.notes);
    }
    // Followed from now on (the playlists are out first: the source's
    // fingerprint looks at every entry again).
    CatalogueSource source = catalogue_source_of(path, whole);
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (cat.generation == generation)
        cat.source = std::move(source);
}

void read_pending_tags() {
    Catalogue &cat = catalogue();
    std::vector<std::pair<int, std::string>> pending;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        generation = cat.generation;
        for (size_t i = 0; i < cat.tracks.size(); ++i) {
            if (cat.tracks[i].names_pending)
                pending.emplace_back(static_cast<int>(i), cat.tracks[i].sound.file);
        }
    }
    std::vector<FileFacts> facts;
    for (size_t next = 0; next < pending.size();) {
        if (!may_go_on())
            return;
        const auto started = std::chrono::steady_clock::now();
        const size_t first = next;
        facts.clear();
        while (next < pending.size() && next - first < kBatchTracks &&
               std::chrono::steady_clock::now() - started < kBatchTime)
            facts.push_back(probe_path(pending[next++].second));
        std::vector<std::string> failures;
        std::string log_path;
        {
            std::lock_guard<std::mutex> lock(cat.mutex);
            if (cat.generation != generation)
                return;
            CatalogueChange change;
            change.kind = ChangeKind::TrackChanged;
            for (size_t k = first; k < next; ++k) {
                const auto &[id, path] = pending[k];
                CatalogueTrack &t = cat.tracks[static_cast<size_t>(id)];
                if (!t.names_pending || t.sound.file != path)
                    continue;
                const FileFacts &f = facts[k - first];
                apply_file_facts(t, f);
                if (!f.playable)
                    failures.push_back(path + ": " + f.failure);
                change.items.push_back(id);
            }
            if (!change.items.empty())
                catalogue_broadcast_locked(cat, std::move(change));
            tell_subscribers_locked(cat, failures);
            log_path = cat.source.path;
        }
        if (!log_path.empty())
            log_append(log_path, failures);
    }
}

void loader_main() {
    Loader &l = loader();
    std::unique_lock<std::mutex> lock(l.mutex);
    for (;;) {
        l.busy = false;
        l.idle.notify_all();
        l.wake.wait(lock, [&] { return l.stopping || l.startup || l.tags || l.music; });
        if (l.stopping)
            return;
        l.busy = true;
        const bool startup = std::exchange(l.startup, false);
        const bool music = std::exchange(l.music, false);
        const std::string folder = l.settings_folder;
        l.tags = false;
        lock.unlock();
        try {
            if (startup) {
                const std::string path = path_utf8(utf8_path(folder) / "catalogue.txt");
                if (file_stat(path).kind == EntryKind::File)
                    start_from_file(path);
                else
                    start_embedded();
            }
            if (music)
                walk_user_music();
            read_pending_tags();
        } catch (const std::exception &) {
            // Out of memory, most likely: what was read so far stays.
        }
        lock.lock();
    }
}

// With the loader's mutex held.
void ensure_running(Loader &l) {
    if (l.running)
        return;
    l.stopping = false;
    l.running = true;
    l.thread = std::thread(loader_main);
}

} // namespace

void loader_request_startup(const std::string &settings_folder) {
    Loader &l = loader();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.startup = true;
    l.settings_folder = settings_folder;
    ensure_running(l);
    l.wake.notify_all();
}

void loader_request_tags() {
    Loader &l = loader();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.tags = true;
    ensure_running(l);
    l.wake.notify_all();
}

void loader_account_logged_in_locked(const Catalogue &cat, int account) {
    if (!cat.music_unwalked || cat.accounts[static_cast<size_t>(account)].name != "me")
        return;
    Loader &l = loader();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.music = true;
    ensure_running(l);
    l.wake.notify_all();
}

void loader_stop() {
    Loader &l = loader();
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        if (!l.running)
            return;
        l.stopping = true;
        l.running = false;
        l.startup = l.tags = l.music = false;
        l.wake.notify_all();
        thread = std::move(l.thread);
    }
    music_walks_stop(true); // a walk of a large folder ends at once
    thread.join();
    music_walks_stop(false);
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        l.busy = false;
        l.idle.notify_all();
    }
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    cat.file_pending = false; // the next request reads it again
}

void loader_wait_idle() {
    Loader &l = loader();
    std::unique_lock<std::mutex> lock(l.mutex);
    l.idle.wait(lock, [&] {
        return !l.running || l.waiting || (!l.busy && !l.startup && !l.tags && !l.music);
    });
}

void loader_hold(bool hold) {
    Loader &l = loader();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.held = hold;
    if (!hold)
        l.waiting = false; // busy again from now on, for loader_wait_idle
    l.wake.notify_all();
}

} // namespace music
