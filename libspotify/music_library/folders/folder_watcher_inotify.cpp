// The folder watcher's notifier on Linux: one inotify watch per directory,
// and an eventfd that ends a wait. The thread sleeps in poll() while
// nothing happens. A directory on a network file system is not followed
// (inotify sees only this machine's own changes there), nor one past the
// system's watch limit: the watcher polls those.
#include "folders/folder_watcher.h"

#if !defined(_WIN32)

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace music {
namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                             IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// NFS, SMB/CIFS (both versions), AFS, Coda, 9p.
bool on_network(const std::string &directory) {
    struct statfs fs {};
    if (statfs(directory.c_str(), &fs) != 0)
        return false;
    switch (static_cast<uint64_t>(fs.f_type)) {
    case 0x6969:
    case 0x517B:
    case 0xFF534D42:
    case 0xFE534D42:
    case 0x5346414F:
    case 0x73757245:
    case 0x01021997:
        return true;
    default:
        return false;
    }
}

class InotifyNotifier : public FolderWatcher::Notifier {
public:
    InotifyNotifier(int inotify, int wake) : inotify_(inotify), wake_(wake) {}
    ~InotifyNotifier() override {
        close(inotify_);
        close(wake_);
    }
    bool add(int id, const std::string &directory) override {
        if (on_network(directory))
            return false;
        const int wd = inotify_add_watch(inotify_, directory.c_str(), kEvents);
        if (wd < 0)
            return false;
        // The same directory under two names shares one watch.
        auto &ids = ids_[wd];
        ids.push_back(id);
        wd_of_[id] = wd;
        return true;
    }
    void remove(int id) override {
        const auto it = wd_of_.find(id);
        if (it == wd_of_.end())
            return;
        const int wd = it->second;
        wd_of_.erase(it);
        auto &ids = ids_[wd];
        std::erase(ids, id);
        if (ids.empty()) {
            ids_.erase(wd);
            inotify_rm_watch(inotify_, wd);
        }
    }
    void wait(int timeout_ms, std::vector<FolderWatcher::RawEvent> &events) override {
        pollfd fds[2] = {{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 2, timeout_ms) <= 0)
            return;
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = read(wake_, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN)
            drain(events);
    }
    void wake() override {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = write(wake_, &one, sizeof one);
    }

private:
    void drain(std::vector<FolderWatcher::RawEvent> &events) {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t got = read(inotify_, buffer, sizeof buffer);
            if (got <= 0)
                return; // EAGAIN: all read
            for (ssize_t at = 0; at < got;) {
                inotify_event header;
                std::copy_n(buffer + at, sizeof header, reinterpret_cast<char *>(&header));
                const char *name = buffer + at + sizeof header;
                at += static_cast<ssize_t>(sizeof header + header.len);
                if (header.mask & IN_Q_OVERFLOW) {
                    FolderWatcher::RawEvent event;
                    event.overflow = true;
                    events.push_back(event);
                    continue;
                }
                const auto it = ids_.find(header.wd);
                if (it == ids_.end())
                    continue;
                const bool gone = (header.mask & IN_IGNORED) != 0;
                for (const int id : it->second) {
                    FolderWatcher::RawEvent event;
                    event.id = id;
                    event.gone = gone;
                    event.whole = (header.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0;
                    if (header.len > 0)
                        event.name.assign(name);
                    events.push_back(event);
                    if (gone)
                        wd_of_.erase(id);
                }
                if (gone)
                    ids_.erase(it);
            }
        }
    }

    const int inotify_;
    const int wake_;
    std::unordered_map<int, std::vector<int>> ids_; // watch -> ids
    std::unordered_map<int, int> wd_of_;            // id -> watch
};

} // namespace

std::unique_ptr<FolderWatcher::Notifier> make_system_notifier() {
    const int inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0)
        return nullptr;
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        close(inotify);
        return nullptr;
    }
    return std::make_unique<InotifyNotifier>(inotify, wake);
}

} // namespace music

#endif
