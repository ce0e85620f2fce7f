// The folder watcher's notifier on Windows: one directory handle per
// directory with an overlapped ReadDirectoryChangesW always pending, all on
// one I/O completion port, so the thread sleeps in the kernel while nothing
// happens; a packet without an overlapped ends a wait. A directory on a
// network drive is not followed (change notifications there send the
// server a request that stays open, and not every server answers them):
// the watcher polls it.
#include "folders/folder_watcher.h"

#if defined(_WIN32)

#include <windows.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/file_io.h"

namespace music {
namespace {

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                          FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;

struct Entry {
    int id = 0;
    HANDLE directory = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    bool closing = false; // its handle is closed; freed when its last packet comes
    alignas(DWORD) unsigned char buffer[16384];
};

std::string narrow(const wchar_t *text, int count) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, count, out.data(), size, nullptr, nullptr);
    return out;
}

bool on_network(const std::wstring &directory) {
    wchar_t volume[MAX_PATH + 1];
    if (!GetVolumePathNameW(directory.c_str(), volume, MAX_PATH + 1))
        return directory.rfind(L"\\\\", 0) == 0;
    return GetDriveTypeW(volume) == DRIVE_REMOTE;
}

class DirectoryChangesNotifier : public FolderWatcher::Notifier {
public:
    explicit DirectoryChangesNotifier(HANDLE port) : port_(port) {}
    ~DirectoryChangesNotifier() override {
        for (auto &[id, entry] : entries_)
            close(std::move(entry));
        entries_.clear();
        // The cancelled reads each come back once; their buffers live until then.
        while (!closing_.empty()) {
            std::vector<FolderWatcher::RawEvent> ignored;
            if (!next(1000, ignored))
                break;
        }
        if (!closing_.empty()) {
            // A read that never came back may still write its buffer: keep it.
            for (auto &entry : closing_)
                entry.release();
        }
        CloseHandle(port_);
    }
    bool add(int id, const std::string &directory) override {
        const std::wstring wide = utf8_path(directory).wstring();
        if (on_network(wide))
            return false;
        auto entry = std::make_unique<Entry>();
        entry->id = id;
        entry->directory =
            CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (entry->directory == INVALID_HANDLE_VALUE)
            return false;
        if (!CreateIoCompletionPort(entry->directory, port_,
                                    reinterpret_cast<ULONG_PTR>(entry.get()), 0) ||
            !arm(*entry)) {
            CloseHandle(entry->directory);
            return false;
        }
        entries_[id] = std::move(entry);
        return true;
    }
    void remove(int id) override {
        const auto it = entries_.find(id);
        if (it == entries_.end())
            return;
        close(std::move(it->second));
        entries_.erase(it);
    }
    void wait(int timeout_ms, std::vector<FolderWatcher::RawEvent> &events) override {
        if (!next(timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms), events))
            return;
        while (next(0, events)) {
        }
    }
    void wake() override { PostQueuedCompletionStatus(port_, 0, 0, nullptr); }

private:
    bool arm(Entry &entry) {
        entry.overlapped = OVERLAPPED{};
        return ReadDirectoryChangesW(entry.directory, entry.buffer, sizeof entry.buffer, FALSE,
                                     kFilter, nullptr, &entry.overlapped, nullptr) != 0;
    }
    void close(std::unique_ptr<Entry> entry) {
        entry->closing = true;
        CancelIoEx(entry->directory, &entry->overlapped);
        CloseHandle(entry->directory);
        closing_.push_back(std::move(entry));
    }
    // One packet: false when none came in time.
    bool next(DWORD timeout_ms, std::vector<FolderWatcher::RawEvent> &events) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED *overlapped = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, timeout_ms);
        if (!overlapped)
            return ok != 0; // a wake; or nothing in time
        auto *entry = reinterpret_cast<Entry *>(key);
        if (entry->closing) {
            closing_.remove_if([&](const std::unique_ptr<Entry> &e) { return e.get() == entry; });
            return true;
        }
        FolderWatcher::RawEvent event;
        event.id = entry->id;
        if (!ok || bytes == 0) {
            // Lost events (more than the buffer holds), or the directory went away.
            event.whole = true;
            events.push_back(event);
        } else {
            for (DWORD at = 0;;) {
                const auto *info =
                    reinterpret_cast<const FILE_NOTIFY_INFORMATION *>(entry->buffer + at);
                event.name = narrow(info->FileName,
                                    static_cast<int>(info->FileNameLength / sizeof(wchar_t)));
                events.push_back(event);
                if (info->NextEntryOffset == 0 || at + info->NextEntryOffset >= bytes)
                    break;
                at += info->NextEntryOffset;
            }
        }
        if (!arm(*entry)) {
            event = FolderWatcher::RawEvent{};
            event.id = entry->id;
            event.gone = true;
            events.push_back(event);
            const auto it = entries_.find(entry->id);
            CloseHandle(entry->directory);
            entries_.erase(it);
        }
        return true;
    }

    const HANDLE port_;
    std::unordered_map<int, std::unique_ptr<Entry>> entries_;
    std::list<std::unique_ptr<Entry>> closing_;
};

} // namespace

std::unique_ptr<FolderWatcher::Notifier> make_system_notifier() {
    const HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (!port)
        return nullptr;
    return std::make_unique<DirectoryChangesNotifier>(port);
}

} // namespace music

#endif
