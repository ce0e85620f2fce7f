// Following the catalogue file; see catalogue_watch.h.
#include "loader/catalogue_watch.h"
#include "loader/catalogue_walk.h"
#include "loader/embedded_catalogue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

#include "base/file_io.h"
#include "base/fnv_hash.h"
#include "catalogue/catalogue_edit.h"
#include "folders/folder_cache.h"
#include "folders/folder_watcher.h"
#include "folders/music_folder.h"
#include "catalogue/library_log.h"

namespace music {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kLogName[] = "library.log"; // the library's own writes are no edit

// A change is looked at once no event has come for this long (or the
// watch interval, when shorter).
constexpr int kQuietMs = 200;

// How often the thread asks whether the catalogue was replaced (by the
// loader, or a load) while nothing else wakes it.
constexpr int kSourceCheckMs = 1000;

// What a catalogue depends on, as it was when read: a number per folder
// (its listing, and the bytes of its playlist files) and per file of
// interest (the catalogue, with its bytes; audio files outside the
// folders; music folders that are missing).
struct Prints {
    std::vector<std::string> directories;
    std::vector<std::string> files;
    struct Print {
        uint64_t value = 0;
        bool folder = false; // else a file of interest
    };
    std::unordered_map<std::string, Print> of; // folder or file -> its print
    std::unordered_map<std::string, std::vector<std::string>> files_in; // folder -> files
};

struct Watch {
    std::mutex control;
    int clients = 0;    // control
    std::thread thread; // control
    std::mutex wake_mutex;
    bool stopping = false;            // wake_mutex
    FolderWatcher *folders = nullptr; // wake_mutex: the thread's, while it runs
    std::mutex check_mutex;
    uint64_t pending = 0;      // check_mutex: a change seen once
    bool pending_seen = false; // check_mutex
    std::mutex prints_mutex;   // a leaf
    // prints_mutex: by CatalogueSource::fingerprint, the last few sources made
    std::map<uint64_t, std::shared_ptr<const Prints>> prints;
    std::atomic<uint64_t> next_token{1};
};

Watch &watch() {
    static Watch *const instance = new Watch();
    return *instance;
}

void wake_thread() {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.wake_mutex);
    if (w.folders)
        w.folders->wake();
}

std::shared_ptr<const Prints> prints_of(uint64_t token) {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.prints_mutex);
    const auto it = w.prints.find(token);
    return it == w.prints.end() ? nullptr : it->second;
}

uint64_t keep_prints(std::shared_ptr<const Prints> prints) {
    Watch &w = watch();
    const uint64_t token = w.next_token++;
    std::lock_guard<std::mutex> lock(w.prints_mutex);
    w.prints[token] = std::move(prints);
    while (w.prints.size() > 4)
        w.prints.erase(w.prints.begin()); // sources long replaced
    return token;
}

uint64_t mix(uint64_t hash, const std::string &text) {
    return fnv_mix(fnv_mix(hash, text.data(), text.size()), uint64_t{text.size()});
}

// Files that are read whole (the catalogue, playlist files) are small:
// their bytes count too, so that a save of the same size within the file
// system's time granularity (a second, or two, on some) is not missed. Of a
// bigger one only the start counts.
constexpr size_t kMaxHashedBytes = size_t{1} << 20;

uint64_t content_print(uint64_t hash, const std::string &path) {
    std::FILE *file = open_file(path, "rb");
    if (!file)
        return fnv_mix(hash, 1);
    unsigned char buffer[16384];
    size_t total = 0;
    for (size_t read;
         total < kMaxHashedBytes && (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;
         total += read)
        hash = fnv_mix(hash, buffer, read);
    std::fclose(file);
    return fnv_mix(hash, total);
}

uint64_t entry_print(uint64_t hash, const FolderEntry &entry) {
    hash = fnv_mix(hash, static_cast<uint64_t>(entry.kind));
    if (entry.kind != EntryKind::File)
        return hash; // a subfolder's own changes are its own
    return fnv_mix(fnv_mix(hash, entry.size), static_cast<uint64_t>(entry.time));
}

// A file of interest: its kind, size and time; with `whole`, its bytes.
uint64_t file_print(const std::string &path, bool whole) {
    const FolderEntry entry = file_stat(path);
    uint64_t hash = entry_print(mix(kFnvStart, path), entry);
    return whole && entry.kind == EntryKind::File ? content_print(hash, path) : hash;
}

// Whether an entry's name (UTF-8 already) is a playlist file's, without
// making a path of it: folders of many files print every entry.
bool is_playlist_name(const std::string &name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot);
    for (char &c : ext)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return ext == ".m3u" || ext == ".m3u8";
}

// A folder as the cache lists it: its entries, and the bytes of its
// playlist files, in any order. With `fresh` the folder is listed again
// from the disk (and the cache keeps that listing for the next read).
uint64_t folder_print(const std::string &folder, bool fresh) {
    if (fresh)
        folder_cache_invalidate(folder);
    const std::shared_ptr<const FolderListing> listing = folder_listing(folder);
    if (!listing->readable)
        return mix(kFnvStart, listing->error);
    uint64_t sum = 0;
    for (const FolderEntry &entry : listing->entries) {
        if (entry.name == kLogName)
            continue;
        uint64_t hash = entry_print(mix(kFnvStart, entry.name), entry);
        if (entry.kind == EntryKind::File && is_playlist_name(entry.name))
            hash = content_print(hash, path_utf8(utf8_path(folder) / utf8_path(entry.name)));
        sum += hash;
    }
    return sum;
}

// The folder without its trailing separators, for inside().
std::string trimmed_folder(std::string folder) {
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    return folder;
}

// Whether `path` lies below `base` (a trimmed_folder).
bool inside(const std::string &path, const std::string &base) {
    return path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           (path[base.size()] == '/' || path[base.size()] == '\\');
}

// The prints of `key` (a folder or a file of interest) as it is now.
uint64_t print_now(const Prints &prints, const std::string &key, const std::string &catalogue) {
    const auto it = prints.of.find(key);
    return it != prints.of.end() && it->second.folder ? folder_print(key, true)
                                                      : file_print(key, key == catalogue);
}

// With the mutex held: the lines go to the log beside the catalogue (a new
// log when `fresh`) and to every subscriber.
void report_locked(Catalogue &cat, const std::string &path, const std::vector<std::string> &lines,
                   bool fresh) {
    // The embedded catalogue (no path) has no file to log beside.
    if (!path.empty() && fresh)
        log_catalogue_read(path, lines);
    else if (!path.empty())
        log_append(path, lines);
    for (const std::string &line : lines) {
        CatalogueChange change;
        change.kind = ChangeKind::Log;
        change.text = line;
        catalogue_publish_locked(cat, change);
    }
}

// The keys a look at `dirty` folders covers (every key when null).
std::vector<std::string> keys_of(const Prints &prints, const std::set<std::string> *dirty) {
    std::vector<std::string> keys;
    if (!dirty) {
        keys = prints.directories;
        keys.insert(keys.end(), prints.files.begin(), prints.files.end());
        return keys;
    }
    for (const std::string &folder : *dirty) {
        const auto it = prints.of.find(folder);
        if (it != prints.of.end() && it->second.folder)
            keys.push_back(folder);
        const auto files = prints.files_in.find(folder);
        if (files != prints.files_in.end())
            keys.insert(keys.end(), files->second.begin(), files->second.end());
    }
    return keys;
}

// The keys a look found changed, with their prints now, sorted.
using ChangedPrints = std::vector<std::pair<std::string, uint64_t>>;

// catalogue_source_of, taking the prints of what did not change from the
// prints before (the changed keys' from `changed`): after an edit only
// those are printed again, not every folder of the library.
CatalogueSource source_reusing(const std::string &path, const CatalogueDesc &desc,
                               const Prints *before, const ChangedPrints *changed);

// One look at the folders in `dirty` (null: at everything): 0 nothing
// changed, 1 applied, 2 a change waits for a second look, -1 the changed
// file cannot be used.
int look(const std::set<std::string> *dirty, bool settled) {
    Watch &w = watch();
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> check_lock(w.check_mutex);
    CatalogueSource source;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        source = cat.source;
    }
    const std::shared_ptr<const Prints> before = prints_of(source.fingerprint);
    if (!before)
        return 0;
    ChangedPrints changed;
    for (const std::string &key : keys_of(*before, dirty)) {
        const uint64_t now = print_now(*before, key, source.path);
        const auto was = before->of.find(key);
        if (was == before->of.end() || was->second.value != now)
            changed.emplace_back(key, now);
    }
    if (changed.empty()) {
        w.pending_seen = false;
        return 0;
    }
    std::sort(changed.begin(), changed.end());
    uint64_t seen = kFnvStart;
    for (const auto &[key, print] : changed)
        seen = fnv_mix(mix(seen, key), print);
    if (!settled && !(w.pending_seen && w.pending == seen)) {
        w.pending = seen;
        w.pending_seen = true;
        return 2;
    }
    w.pending_seen = false;
    // The changed folders were listed again just now; the read takes every
    // other folder from the cache.
    const CatalogueDesc desc =
        !source.path.empty()
            ? read_catalogue(source.path)
            : embedded_catalogue(source.folders.empty() ? std::string() : source.folders.front(),
                                 ReadOptions{});
    std::vector<std::string> lines = catalogue_problem_lines(source.path, desc);
    const bool usable = desc.first_bad_line == 0 && !desc.accounts.empty();
    CatalogueSource next;
    if (usable) {
        next = source_reusing(source.path, desc, before.get(), &changed);
    } else {
        // Told once, until it changes again.
        auto told = std::make_shared<Prints>(*before);
        for (const auto &[key, print] : changed)
            told->of[key].value = print;
        next = source;
        next.fingerprint = keep_prints(std::move(told));
    }
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        if (cat.source.path != source.path || cat.source.fingerprint != source.fingerprint)
            return 0; // another catalogue was loaded meanwhile
        if (!usable) {
            lines.insert(lines.begin(),
                         source.path + ": changed, but " +
                             (desc.first_bad_line ? std::string("cannot be read")
                                                  : std::string("names no account")) +
                             "; the catalogue stays as it was");
            cat.source = std::move(next);
            report_locked(cat, source.path, lines, false);
        } else {
            catalogue_apply_edit_locked(cat, desc);
            cat.source = std::move(next);
            report_locked(cat, source.path, lines, true);
        }
    }
    wake_thread(); // to follow what the catalogue now depends on
    return usable ? 1 : -1;
}

std::string current_catalogue(uint64_t &token) {
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    token = cat.source.fingerprint;
    return cat.source.path;
}

void log_notes(const std::vector<std::string> &notes) {
    if (notes.empty())
        return;
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (cat.source.fingerprint)
        report_locked(cat, cat.source.path, notes, false);
}

// The thread: follows what the catalogue depends on, sleeping until the
// system reports a change; once the changed folders have been quiet for a
// moment it looks at them (twice, the second look a moment after a first
// one that found a change).
void watcher_main(FolderWatcher &folders) {
    Watch &w = watch();
    Catalogue &cat = catalogue();
    uint64_t followed = 0;
    std::set<std::string> dirty;
    bool everything = false;
    Clock::time_point due = Clock::now();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(w.wake_mutex);
            if (w.stopping)
                return;
        }
        uint64_t token = 0;
        current_catalogue(token);
        if (token != followed) {
            followed = token;
            const std::shared_ptr<const Prints> prints = prints_of(token);
            const std::vector<std::string> fresh =
                prints ? folders.follow(prints->directories, prints->files)
                       : folders.follow({}, {});
            // What happened in a folder before it was followed is not known.
            dirty.insert(fresh.begin(), fresh.end());
            if (!fresh.empty())
                due = Clock::now() + std::chrono::milliseconds(kQuietMs);
        }
        const int interval = cat.watch_interval_ms.load();
        const int quiet = std::min(interval, kQuietMs);
        int timeout = kSourceCheckMs;
        if (interval > 0 && (everything || !dirty.empty())) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, kSourceCheckMs));
        }
        if (timeout > 0) {
            const FolderChanges changes = folders.wait(timeout);
            log_notes(changes.notes);
            if (changes.everything || !changes.directories.empty()) {
                everything = everything || changes.everything;
                dirty.insert(changes.directories.begin(), changes.directories.end());
                due = Clock::now() + std::chrono::milliseconds(quiet);
            }
            continue;
        }
        const int result = look(everything ? nullptr : &dirty, false);
        if (result == 2) {
            due = Clock::now() + std::chrono::milliseconds(quiet);
        } else {
            dirty.clear();
            everything = false;
        }
    }
}

void watcher_thread() {
    Watch &w = watch();
    FolderWatchOptions options;
    options.ignored_names = {kLogName};
    FolderWatcher folders(std::move(options));
    {
        std::lock_guard<std::mutex> lock(w.wake_mutex);
        w.folders = &folders;
    }
    watcher_main(folders);
    std::lock_guard<std::mutex> lock(w.wake_mutex);
    w.folders = nullptr;
}

} // namespace

void watcher_wake() {
    wake_thread();
}

namespace {

CatalogueSource source_reusing(const std::string &path, const CatalogueDesc &desc,
                               const Prints *before, const ChangedPrints *changed) {
    // A key's print as it was, if it was printed as the same kind.
    const auto reused = [&](const std::string &key, bool folder, uint64_t &print) {
        if (!before)
            return false;
        const auto was = before->of.find(key);
        if (was == before->of.end() || was->second.folder != folder)
            return false;
        const auto now = std::lower_bound(changed->begin(), changed->end(),
                                          std::pair<std::string, uint64_t>(key, 0));
        if (now != changed->end() && now->first == key) {
            print = now->second;
            return true;
        }
        print = was->second.value;
        return true;
    };
    CatalogueSource source;
    source.path = path;
    source.folders = desc.folders;
    source.directories = desc.directories;
    source.playlist_files = desc.playlist_files;
    std::vector<std::string> bases;
    for (const std::string &folder : desc.folders)
        bases.push_back(trimmed_folder(folder));
    for (const DescTrack &t : desc.tracks) {
        // A file on another machine is never looked at in the background.
        if (t.sound.file.empty() || is_network_path(t.sound.file) ||
            source.files.size() >= static_cast<size_t>(kMaxFolderTracks))
            continue;
        bool served = false;
        for (const std::string &base : bases)
            served = served || inside(t.sound.file, base);
        if (!served)
            source.files.push_back(t.sound.file);
    }
    auto prints = std::make_shared<Prints>();
    prints->of.reserve(desc.directories.size() + source.files.size() + desc.folders.size() + 1);
    prints->directories.reserve(desc.directories.size());
    for (const std::string &folder : desc.directories) {
        uint64_t print = 0;
        if (!reused(folder, true, print))
            print = folder_print(folder, false);
        if (prints->of.emplace(folder, Prints::Print{print, true}).second) {
            prints->directories.push_back(folder);
        }
    }
    std::vector<std::string> files = source.files;
    if (!path.empty())
        files.push_back(path);
    // A served folder that is not there yet: its parent is followed for it.
    for (const std::string &folder : desc.folders)
        if (!is_network_path(folder) && !prints->of.count(folder))
            files.push_back(folder);
    for (const std::string &file : files) {
        uint64_t print = 0;
        if (!reused(file, false, print))
            print = file_print(file, file == path);
        if (!prints->of.emplace(file, Prints::Print{print, false}).second)
            continue;
        prints->files.push_back(file);
        prints->files_in[folder_of(file)].push_back(file);
    }
    source.fingerprint = keep_prints(std::move(prints));
    return source;
}

} // namespace

CatalogueSource catalogue_source_of(const std::string &path, const CatalogueDesc &desc) {
    return source_reusing(path, desc, nullptr, nullptr);
}

void watcher_client_started() {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.control);
    if (++w.clients > 1)
        return;
    {
        std::lock_guard<std::mutex> wake_lock(w.wake_mutex);
        w.stopping = false;
    }
    w.thread = std::thread(watcher_thread);
}

namespace {

// With the control mutex held.
void stop_thread(Watch &w) {
    {
        std::lock_guard<std::mutex> wake_lock(w.wake_mutex);
        w.stopping = true;
        if (w.folders)
            w.folders->wake();
    }
    if (w.thread.joinable())
        w.thread.join();
}

} // namespace

void watcher_client_ended() {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.control);
    if (w.clients == 0 || --w.clients > 0)
        return;
    stop_thread(w);
}

void watcher_stop() {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.control);
    w.clients = 0;
    stop_thread(w);
}

void watcher_set_interval(int milliseconds) {
    catalogue().watch_interval_ms.store(milliseconds < 0 ? 0 : milliseconds);
    wake_thread();
}

int watcher_check(bool settled) {
    return look(nullptr, settled);
}

} // namespace music
