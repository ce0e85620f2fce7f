// Following folders; see folder_watcher.h. The platform's notifier tells
// which handle saw which entry; this part maps handles to directories,
// filters the names and polls the directories that cannot be followed.
#include "folders/folder_watcher.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "base/file_io.h"
#include "base/fnv_hash.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace music {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The listing of a polled directory: names, types, sizes and times of its
// entries (of `names` only, when given), in any order.
uint64_t listing_print(const std::string &directory, const std::set<std::string> *names,
                       const std::vector<std::string> &ignored) {
    std::error_code error;
    fs::directory_iterator it(utf8_path(directory), error), end;
    if (error)
        return fnv_mix(kFnvStart, static_cast<uint64_t>(error.value()) + 1);
    uint64_t sum = 0;
    for (; !error && it != end; it.increment(error)) {
        const std::string name = path_utf8(it->path().filename());
        if ((names && !names->count(name)) ||
            std::find(ignored.begin(), ignored.end(), name) != ignored.end())
            continue;
        uint64_t hash = fnv_mix(kFnvStart, name.data(), name.size());
        std::error_code ignore;
        const fs::file_status status = it->status(ignore);
        hash = fnv_mix(hash, static_cast<uint64_t>(status.type()));
        if (fs::is_regular_file(status)) {
            hash = fnv_mix(hash, static_cast<uint64_t>(it->file_size(ignore)));
            hash = fnv_mix(hash, static_cast<uint64_t>(
                                     it->last_write_time(ignore).time_since_epoch().count()));
        }
        sum += hash;
    }
    return sum;
}

// Where the system has no notifications: waits on a condition only.
class SleepingNotifier : public FolderWatcher::Notifier {
public:
    bool add(int, const std::string &) override { return false; }
    void remove(int) override {}
    void wait(int timeout_ms, std::vector<FolderWatcher::RawEvent> &) override {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto woken = [&] { return woken_; };
        if (timeout_ms < 0)
            wake_.wait(lock, woken);
        else
            wake_.wait_for(lock, std::chrono::milliseconds(timeout_ms), woken);
        woken_ = false;
    }
    void wake() override {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
        wake_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false; // mutex_
};

// Whether the directory can still be opened: on Windows one that was
// removed while a handle (the watch's own) was open on it stays, its delete
// pending, until that handle is closed, but cannot be opened again.
bool still_there(const std::string &directory) {
#ifdef _WIN32
    const HANDLE handle = CreateFileW(utf8_path(directory).c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
#else
    std::error_code error;
    return fs::is_directory(utf8_path(directory), error);
#endif
}

// A path in one spelling (separators, "." and ".." taken out).
std::string normal(const std::string &path) {
    return path_utf8(utf8_path(path).lexically_normal());
}

std::string seconds(std::chrono::milliseconds period) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(period.count()) / 1000.0);
    return text;
}

} // namespace

struct FolderWatcher::State {
    struct Followed {
        int id = 0;
        bool whole = false;          // every entry counts, else only `names`
        std::set<std::string> names; // files of interest in it
        bool polled = false;
        uint64_t print = 0; // polled: the listing last seen
    };
    FolderWatchOptions options;
    std::unique_ptr<Notifier> notifier;
    // The rest belongs to the thread that calls follow() and wait().
    std::map<std::string, Followed> followed;
    std::unordered_map<int, std::string> by_id;
    // normal(directory) -> directory, for the directories not already
    // spelled normally (the others are found in `followed` itself): a
    // library of many folders keeps no second copy of each name.
    std::unordered_map<std::string, std::string> by_normal;
    std::set<std::string> noted; // directories the log was told are polled
    std::vector<std::string> notes;
    int next_id = 1;
    Clock::time_point next_poll = Clock::now();
    bool any_polled = false;

    bool ignored(const std::string &name) const {
        const auto &names = options.ignored_names;
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    uint64_t print(const Followed &f, const std::string &directory) const {
        return listing_print(directory, f.whole ? nullptr : &f.names, options.ignored_names);
    }
};

FolderWatcher::FolderWatcher(FolderWatchOptions options) : state_(std::make_unique<State>()) {
    state_->options = std::move(options);
    state_->notifier = make_system_notifier();
    if (!state_->notifier)
        state_->notifier = std::make_unique<SleepingNotifier>();
}

FolderWatcher::~FolderWatcher() {
    for (const auto &[directory, f] : state_->followed)
        if (!f.polled)
            state_->notifier->remove(f.id);
}

std::vector<std::string> FolderWatcher::follow(const std::vector<std::string> &directories,
                                               const std::vector<std::string> &files) {
    State &s = *state_;
    std::map<std::string, State::Followed> wanted;
    for (const std::string &directory : directories)
        wanted[directory].whole = true;
    for (const std::string &file : files) {
        const fs::path path = utf8_path(file);
        wanted[folder_of(file)].names.insert(path_utf8(path.filename()));
    }
    for (auto it = s.followed.begin(); it != s.followed.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        if (!it->second.polled)
            s.notifier->remove(it->second.id);
        s.by_id.erase(it->second.id);
        it = s.followed.erase(it);
    }
    std::vector<std::string> fresh;
    s.any_polled = false;
    for (auto &[directory, want] : wanted) {
        auto it = s.followed.find(directory);
        if (it == s.followed.end()) {
            want.id = s.next_id++;
            want.polled = (s.options.can_notify && !s.options.can_notify(directory)) ||
                          !s.notifier->add(want.id, directory);
            s.by_id[want.id] = directory;
            it = s.followed.emplace(directory, std::move(want)).first;
            fresh.push_back(directory);
        } else {
            it->second.whole = want.whole;
            it->second.names = std::move(want.names);
        }
        State::Followed &f = it->second;
        if (f.polled) {
            f.print = s.print(f, directory);
            s.any_polled = true;
            if (s.noted.insert(directory).second)
                s.notes.push_back(directory + ": no change notifications here; looked at every " +
                                  seconds(s.options.poll_period) + " s");
        }
    }
    if (s.any_polled)
        s.next_poll = Clock::now() + s.options.poll_period;
    s.by_normal.clear();
    for (const auto &[directory, f] : s.followed)
        if (std::string spelled = normal(directory); spelled != directory)
            s.by_normal.emplace(std::move(spelled), directory);
    return fresh;
}

FolderChanges FolderWatcher::wait(int timeout_ms) {
    State &s = *state_;
    FolderChanges changes;
    changes.notes = std::move(s.notes);
    s.notes.clear();
    std::set<std::string> changed;
    int wait_ms = changes.notes.empty() ? timeout_ms : 0;
    if (s.any_polled) {
        const auto until_poll =
            std::chrono::duration_cast<std::chrono::milliseconds>(s.next_poll - Clock::now())
                .count();
        const int poll_ms = static_cast<int>(std::max<long long>(0, until_poll) + 1);
        wait_ms = wait_ms < 0 ? poll_ms : std::min(wait_ms, poll_ms);
    }
    std::vector<RawEvent> events;
    s.notifier->wait(wait_ms, events);
    for (const RawEvent &event : events) {
        if (event.overflow) {
            changes.everything = true;
            continue;
        }
        const auto id = s.by_id.find(event.id);
        if (id == s.by_id.end())
            continue; // a directory no longer followed
        const std::string directory = id->second;
        State::Followed &f = s.followed[directory];
        if (event.gone) {
            // Followed no more: a later follow() of the same path starts anew.
            s.by_id.erase(id);
            s.followed.erase(directory);
            changed.insert(directory);
        } else if (event.whole ||
                   (!s.ignored(event.name) && (f.whole || f.names.count(event.name)))) {
            changed.insert(directory);
        }
    }
    // A followed directory that is no longer there: not every system ends
    // its watch when it goes (Wine's ReadDirectoryChangesW goes on), so its
    // own events, and its parent's naming it, are checked against the disk.
    std::set<std::string> gone;
    for (const RawEvent &event : events) {
        const auto id = s.by_id.find(event.id);
        if (id == s.by_id.end())
            continue;
        if (!event.name.empty()) {
            const std::string child =
                normal(path_utf8(utf8_path(id->second) / utf8_path(event.name)));
            const auto spelled = s.by_normal.find(child);
            if (spelled != s.by_normal.end())
                gone.insert(spelled->second);
            else if (s.followed.count(child))
                gone.insert(child);
        }
        gone.insert(id->second);
    }
    for (const std::string &directory : gone) {
        const auto it = s.followed.find(directory);
        if (it == s.followed.end() || it->second.polled || still_there(directory))
            continue;
        s.notifier->remove(it->second.id);
        s.by_id.erase(it->second.id);
        s.followed.erase(it);
        changed.insert(directory);
    }
    if (s.any_polled && Clock::now() >= s.next_poll) {
        for (auto &[directory, f] : s.followed) {
            if (!f.polled)
                continue;
            const uint64_t now = s.print(f, directory);
            if (now != f.print)
                changed.insert(directory);
            f.print = now;
        }
        s.next_poll = Clock::now() + s.options.poll_period;
    }
    changes.directories.assign(changed.begin(), changed.end());
    return changes;
}

void FolderWatcher::wake() {
    state_->notifier->wake();
}

} // namespace music
