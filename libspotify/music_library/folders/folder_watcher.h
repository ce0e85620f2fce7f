// Learning from the system which folders changed, so that nothing is walked
// while nothing happens. The watcher follows a set of directories (each on
// its own, not their subfolders: a tree is followed as the list of its
// directories) and files of interest (their directory followed for their
// names only). It reports which of those directories changed: an entry
// added, removed, renamed, written, closed after writing or given new
// attributes, or the directory itself removed or moved; or that anything
// may have changed, when the system lost events. Natively through inotify;
// on Windows through ReadDirectoryChangesW. A directory the system cannot
// follow (a network share, or the system refused the watch) is looked at
// every poll period instead, its listing's names, sizes and times, and a
// note says so once.
//
// Thread rules: one thread calls follow() and wait(); wake() may be called
// from any thread while the watcher lives, and ends the wait in progress
// (or the next one) at once.
#ifndef MUSIC_LIBRARY_FOLDERS_FOLDER_WATCHER_H
#define MUSIC_LIBRARY_FOLDERS_FOLDER_WATCHER_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace music {

struct FolderChanges {
    std::vector<std::string> directories; // each once, as they were given
    bool everything = false;              // events were lost: any may have changed
    std::vector<std::string> notes;       // lines for the log
};

struct FolderWatchOptions {
    std::chrono::milliseconds poll_period{10000};
    // Entries with these names change nothing (the library's own log).
    std::vector<std::string> ignored_names;
    // Tests: a directory for which this says false is polled.
    std::function<bool(const std::string &directory)> can_notify;
};

class FolderWatcher {
public:
    explicit FolderWatcher(FolderWatchOptions options = {});
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher &) = delete;
    FolderWatcher &operator=(const FolderWatcher &) = delete;

    // Follows exactly these (UTF-8 paths). Returns the directories that were
    // not followed before: what happened in them until now is not known.
    std::vector<std::string> follow(const std::vector<std::string> &directories,
                                    const std::vector<std::string> &files);

    // Waits up to `timeout_ms` (negative: as long as it takes) for a change,
    // a poll that finds one, or wake(). Returns what changed (maybe nothing).
    FolderChanges wait(int timeout_ms);

    void wake();

    // The platform's notifications, one handle per directory (id > 0).
    struct RawEvent {
        int id = 0;
        std::string name;      // the entry, UTF-8 ("" when not told)
        bool whole = false;    // the directory itself, or its events were lost
        bool overflow = false; // every directory's events were lost
        bool gone = false;     // the watch ended (the directory went away)
    };
    class Notifier {
    public:
        virtual ~Notifier() = default;
        virtual bool add(int id, const std::string &directory) = 0; // false: cannot
        virtual void remove(int id) = 0;
        // Appends events; returns after the first batch, a wake or the time-out.
        virtual void wait(int timeout_ms, std::vector<RawEvent> &events) = 0;
        virtual void wake() = 0;
    };

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The platform's notifier (null when the system offers none: then every
// directory is polled).
std::unique_ptr<FolderWatcher::Notifier> make_system_notifier();

} // namespace music

#endif
