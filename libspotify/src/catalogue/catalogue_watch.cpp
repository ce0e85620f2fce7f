// Following the catalogue file; see catalogue_watch.h.
#include "catalogue/catalogue_watch.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "catalogue/catalogue_edit.h"
#include "base/file_io.h"
#include "library_log.h"
#include "catalogue/music_folder.h"
#include "session.h"

namespace splocal {
namespace {

namespace fs = std::filesystem;

// Entries of one served folder that are looked at; a bigger tree is looked
// at in part (its changes beyond this may go unnoticed until another one).
constexpr int kMaxWatchedEntries = 100000;
constexpr int kMaxFolderDepth = 8;

struct Watch {
    std::mutex control;
    int sessions = 0;   // control
    std::thread thread; // control
    std::mutex wake_mutex;
    std::condition_variable wake;
    bool stopping = false; // wake_mutex
    std::mutex check_mutex;
    uint64_t pending = 0;      // check_mutex: a change seen once
    bool pending_seen = false; // check_mutex
};

Watch &watch() {
    static Watch *const instance = new Watch();
    return *instance;
}

// FNV-1a over bytes.
uint64_t mix_bytes(uint64_t hash, const unsigned char *bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

uint64_t mix(uint64_t hash, uint64_t value) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    return mix_bytes(hash, bytes, sizeof bytes);
}

uint64_t mix(uint64_t hash, const std::string &text) {
    hash = mix_bytes(hash, reinterpret_cast<const unsigned char *>(text.data()), text.size());
    return mix(hash, text.size());
}

constexpr uint64_t kHashStart = 14695981039346656037ull;

// Files that are read whole (the catalogue, playlist files) are small:
// their bytes count too, so that a save of the same size within the file
// system's time granularity (a second, or two, on some) is not missed. Of a
// bigger one only the start counts.
constexpr size_t kMaxHashedBytes = size_t{1} << 20;

uint64_t content_print(uint64_t hash, const fs::path &path) {
    std::FILE *file = open_file(path_utf8(path), "rb");
    if (!file)
        return mix(hash, 1);
    unsigned char buffer[16384];
    size_t total = 0;
    for (size_t read;
         total < kMaxHashedBytes && (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;
         total += read)
        hash = mix_bytes(hash, buffer, read);
    std::fclose(file);
    return mix(hash, total);
}

// Whether the entry exists, its size and its time; with `whole`, also the
// bytes of a file.
uint64_t entry_print(uint64_t hash, const fs::path &path, bool whole = false) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status))
        return mix(hash, 0);
    hash = mix(hash, static_cast<uint64_t>(status.type()));
    if (fs::is_regular_file(status)) {
        const uintmax_t size = fs::file_size(path, error);
        hash = mix(hash, error ? 0 : static_cast<uint64_t>(size));
        if (whole)
            hash = content_print(hash, path);
    }
    const fs::file_time_type time = fs::last_write_time(path, error);
    return mix(hash, error ? 0 : static_cast<uint64_t>(time.time_since_epoch().count()));
}

// Every entry below the folder, in whatever order the system lists them.
uint64_t folder_print(const std::string &folder) {
    uint64_t sum = 0;
    std::error_code error;
    int seen = 0;
    fs::recursive_directory_iterator it(utf8_path(folder),
                                        fs::directory_options::skip_permission_denied |
                                            fs::directory_options::follow_directory_symlink,
                                        error);
    if (error)
        return mix(kHashStart, error.value());
    for (; !error && it != fs::recursive_directory_iterator() && seen < kMaxWatchedEntries;
         it.increment(error), ++seen) {
        if (it.depth() >= kMaxFolderDepth)
            it.disable_recursion_pending();
        if (it->path().filename() == "library.log")
            continue; // the library's own writes are no edit
        sum += entry_print(mix(kHashStart, path_utf8(it->path())), it->path(),
                           is_playlist_file(it->path()));
    }
    return sum;
}

uint64_t fingerprint(const CatalogueSource &source) {
    uint64_t hash = entry_print(mix(kHashStart, source.path), utf8_path(source.path), true);
    for (const std::string &folder : source.folders)
        hash = mix(mix(hash, folder), folder_print(folder));
    for (const std::string &file : source.files)
        hash = entry_print(mix(hash, file), utf8_path(file));
    return hash;
}

bool inside(const std::string &path, const std::string &folder) {
    std::string base = folder;
    while (!base.empty() && (base.back() == '/' || base.back() == '\\'))
        base.pop_back();
    return path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           (path[base.size()] == '/' || path[base.size()] == '\\');
}

// With the mutex held: the lines go to the log beside the catalogue (a new
// log when `fresh`) and to every session.
void report_locked(Catalogue &cat, const std::string &path, const std::vector<std::string> &lines,
                   bool fresh) {
    if (fresh)
        log_catalogue_read(path, lines);
    else
        log_append(path, lines);
    for (const std::string &line : lines) {
        Work work;
        work.kind = WorkKind::Log;
        work.text = line;
        for (sp_session *session : cat.sessions)
            session_enqueue(session, work);
    }
}

// One look: 0 nothing changed, 1 applied, 2 a change waits for a second
// look, -1 the changed file cannot be used.
int check(bool settled) {
    Watch &w = watch();
    Catalogue &cat = catalogue();
    std::lock_guard<std::mutex> check_lock(w.check_mutex);
    CatalogueSource source;
    {
        std::lock_guard<std::mutex> lock(cat.mutex);
        source = cat.source;
    }
    if (source.path.empty())
        return 0;
    const uint64_t now = fingerprint(source);
    if (now == source.fingerprint) {
        w.pending_seen = false;
        return 0;
    }
    if (!settled && !(w.pending_seen && w.pending == now)) {
        w.pending = now;
        w.pending_seen = true;
        return 2;
    }
    w.pending_seen = false;
    const CatalogueDesc desc = read_catalogue_file(source.path);
    std::vector<std::string> lines = catalogue_problem_lines(source.path, desc);
    const bool usable = desc.first_bad_line == 0 && !desc.accounts.empty();
    CatalogueSource next;
    if (usable)
        next = catalogue_source_of(source.path, desc);
    std::lock_guard<std::mutex> lock(cat.mutex);
    if (cat.source.path != source.path || cat.source.fingerprint != source.fingerprint)
        return 0; // another catalogue was loaded meanwhile
    if (!usable) {
        lines.insert(lines.begin(), source.path + ": changed, but " +
                                        (desc.first_bad_line ? std::string("cannot be read")
                                                             : std::string("names no account")) +
                                        "; the catalogue stays as it was");
        cat.source.fingerprint = now; // told once, until it changes again
        report_locked(cat, source.path, lines, false);
        return -1;
    }
    catalogue_apply_edit_locked(cat, desc);
    cat.source = std::move(next);
    report_locked(cat, source.path, lines, true);
    return 1;
}

void watcher_main() {
    Watch &w = watch();
    Catalogue &cat = catalogue();
    std::unique_lock<std::mutex> lock(w.wake_mutex);
    while (!w.stopping) {
        const int interval = cat.watch_interval_ms.load();
        w.wake.wait_for(lock, std::chrono::milliseconds(interval > 0 ? interval : 1000));
        if (w.stopping || cat.watch_interval_ms.load() <= 0)
            continue;
        lock.unlock();
        check(false);
        lock.lock();
    }
}

} // namespace

CatalogueSource catalogue_source_of(const std::string &path, const CatalogueDesc &desc) {
    CatalogueSource source;
    source.path = path;
    source.folders = desc.folders;
    for (const DescTrack &t : desc.tracks) {
        if (t.sound.file.empty() || source.files.size() >= static_cast<size_t>(kMaxFolderTracks))
            continue;
        bool served = false;
        for (const std::string &folder : desc.folders)
            served = served || inside(t.sound.file, folder);
        if (!served)
            source.files.push_back(t.sound.file);
    }
    source.fingerprint = fingerprint(source);
    return source;
}

void watcher_session_started() {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.control);
    if (++w.sessions > 1)
        return;
    {
        std::lock_guard<std::mutex> wake_lock(w.wake_mutex);
        w.stopping = false;
    }
    w.thread = std::thread(watcher_main);
}

void watcher_session_ended() {
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.control);
    if (w.sessions == 0 || --w.sessions > 0)
        return;
    {
        std::lock_guard<std::mutex> wake_lock(w.wake_mutex);
        w.stopping = true;
        w.wake.notify_all();
    }
    if (w.thread.joinable())
        w.thread.join();
}

} // namespace splocal

using namespace splocal;

extern "C" {

void splocal_set_watch_interval(int milliseconds) {
    catalogue().watch_interval_ms.store(milliseconds < 0 ? 0 : milliseconds);
    Watch &w = watch();
    std::lock_guard<std::mutex> lock(w.wake_mutex);
    w.wake.notify_all();
}

int splocal_catalogue_check(int settled) {
    return check(settled != 0);
}

} // extern "C"
