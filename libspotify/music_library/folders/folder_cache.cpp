// The folder cache; see folder_cache.h.
#include "folders/folder_cache.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "base/file_io.h"
#include "base/text_lines.h"
#include "media/audio_file.h"

namespace music {
namespace {

namespace fs = std::filesystem;

struct CachedFacts {
    uint64_t size = 0;
    int64_t time = 0;
    FileFacts facts;
};

struct Cache {
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<const FolderListing>> listings; // mutex
    std::unordered_map<std::string, CachedFacts> facts;                             // mutex
    std::unordered_map<std::string, int> reads; // mutex: listings read from the disk, per folder
};

Cache &cache() {
    static Cache *const instance = new Cache();
    return *instance;
}

// One look at the path (through links), without opening it. Returns why
// the path could not be looked at (a link to nothing, no permission, a path
// longer than the system allows), or nothing when it could or is simply not
// there.
std::string stat_into(const fs::path &path, FolderEntry &entry) {
#ifdef _WIN32
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        entry.kind = EntryKind::Missing;
        std::error_code ignored;
        if (fs::is_symlink(fs::symlink_status(path, ignored)))
            return "a link to nothing";
        if (path.native().size() >= MAX_PATH || error == std::errc::filename_too_long)
            return "the path is longer than the system allows";
        if (!error || error == std::errc::no_such_file_or_directory)
            return {};
        return error == std::errc::permission_denied
                   ? "cannot be read (permission denied)"
                   : "cannot be looked at (" + error.message() + ")";
    }
    if (fs::is_regular_file(status)) {
        entry.kind = EntryKind::File;
        const uintmax_t size = fs::file_size(path, error);
        entry.size = error ? 0 : static_cast<uint64_t>(size);
        const fs::file_time_type time = fs::last_write_time(path, error);
        entry.time = error ? 0 : static_cast<int64_t>(time.time_since_epoch().count());
    } else if (fs::is_directory(status)) {
        if (folder_identity(path_utf8(path), entry.id)) {
            entry.kind = EntryKind::Folder;
        } else {
            entry.kind = EntryKind::Missing;
            return "cannot read the folder";
        }
    } else {
        entry.kind = EntryKind::Other;
    }
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        entry.kind = EntryKind::Missing;
        struct stat link {};
        if (error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return "a link to nothing";
        if (error == ENAMETOOLONG)
            return "the path is longer than the system allows";
        if (error == EACCES)
            return "cannot be read (permission denied)";
        if (error == ENOENT || error == ENOTDIR)
            return {}; // gone since the listing
        return "cannot be looked at (" + std::generic_category().message(error) + ")";
    }
    if (S_ISREG(st.st_mode)) {
        entry.kind = EntryKind::File;
        entry.size = static_cast<uint64_t>(st.st_size);
        entry.time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    } else if (S_ISDIR(st.st_mode)) {
        entry.kind = EntryKind::Folder;
        entry.id =
            FolderIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    } else {
        entry.kind = EntryKind::Other;
    }
#endif
    return {};
}

// The folder's entries. A folder that cannot be read is an error (never
// an empty listing); an entry that cannot be looked at is left out with a
// note.
std::shared_ptr<const FolderListing> read_listing(const std::string &folder) {
    auto listing = std::make_shared<FolderListing>();
    const fs::path root = utf8_path(folder);
    std::error_code error;
    fs::directory_iterator it(root, error);
    if (error) {
        listing->error = error.message();
        return listing;
    }
    listing->readable = true;
    int unnamed = 0;
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        FolderEntry entry;
        if (!name_utf8(it->path().filename(), entry.name)) {
            ++unnamed;
            continue;
        }
        const std::string problem = stat_into(it->path(), entry);
        if (!problem.empty())
            listing->notes.push_back(path_utf8(it->path()) + ": " + problem + ", skipped");
        listing->entries.push_back(std::move(entry));
    }
    std::sort(listing->notes.begin(), listing->notes.end()); // not in the system's order
    if (error)
        listing->notes.push_back(folder + ": the listing stopped part way (" + error.message() +
                                 ")");
    if (unnamed > 0)
        listing->notes.push_back(
            folder + ": " + std::to_string(unnamed) +
            (unnamed == 1 ? " entry whose name is" : " entries whose names are") +
            " not valid text, skipped");
    std::sort(listing->entries.begin(), listing->entries.end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    return listing;
}

} // namespace

bool name_utf8(const fs::path &name, std::string &out) {
    try {
        out = path_utf8(name);
    } catch (const std::exception &) {
        return false; // a lone surrogate on Windows
    }
    return utf8_invalid_at(out) == std::string::npos;
}

bool folder_identity(const std::string &path, FolderIdentity &out) {
#ifdef _WIN32
    HANDLE handle = CreateFileW(utf8_path(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool got = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!got)
        return false;
    out.device = info.dwVolumeSerialNumber;
    out.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    out = FolderIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
#endif
}

std::shared_ptr<const FolderListing> folder_listing(const std::string &folder) {
    Cache &c = cache();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        auto found = c.listings.find(folder);
        if (found != c.listings.end())
            return found->second;
    }
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        ++c.reads[folder];
    }
    std::shared_ptr<const FolderListing> listing;
    try {
        listing = read_listing(folder);
    } catch (const std::exception &e) {
        auto failed = std::make_shared<FolderListing>();
        failed->error = e.what();
        return failed;
    }
    if (listing->readable) {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.listings[folder] = listing;
    }
    return listing;
}

FolderEntry file_stat(const std::string &path) {
    FolderEntry entry;
    stat_into(utf8_path(path), entry);
    return entry;
}

FileFacts file_facts(const std::string &path, uint64_t size, int64_t time) {
    Cache &c = cache();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        auto found = c.facts.find(path);
        if (found != c.facts.end() && found->second.size == size && found->second.time == time)
            return found->second.facts;
    }
    FileFacts facts;
    const FileProbe probe = probe_audio_file(path);
    facts.playable = probe.playable;
    facts.failure = probe.failure;
    facts.artist = probe.names.artist;
    facts.title = probe.names.title;
    facts.duration_ms = probe.duration_ms;
    std::lock_guard<std::mutex> lock(c.mutex);
    c.facts[path] = CachedFacts{size, time, facts};
    return facts;
}

void folder_cache_invalidate(const std::string &folder) {
    Cache &c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (folder.empty())
        c.listings.clear();
    else
        c.listings.erase(folder);
}

void folder_cache_clear() {
    Cache &c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.listings.clear();
    c.facts.clear();
    c.reads.clear();
}

int folder_cache_reads(const std::string &folder) {
    Cache &c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    int total = 0;
    for (const auto &[path, count] : c.reads)
        total += folder.empty() || path == folder ? count : 0;
    return total;
}

} // namespace music
