// What the walks of the music folders have seen, kept between reads of the
// catalogue so that a read after an edit lists again only the folders that
// changed and reads the tags of only the files that changed.
//
// - A listing is kept per real folder (by the path it was walked under):
//   its entries in name order, each with its kind, and for files their size
//   and time. A kept listing is used as it is until it is invalidated: the
//   one who learns of a change (the watcher) says which folder changed.
// - What a file's header and tags gave is kept per path, with the size and
//   time the file had; a file whose size or time changed is read again.
//
// Thread rules: the cache has a mutex of its own, taken only inside these
// functions and never while the disk is touched or while another lock of
// the library is taken (it is a leaf). Any thread may call them.
#ifndef MUSIC_LIBRARY_FOLDERS_FOLDER_CACHE_H
#define MUSIC_LIBRARY_FOLDERS_FOLDER_CACHE_H

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace music {

// A real folder: its device and inode natively, its volume serial and file
// index on Windows.
struct FolderIdentity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const FolderIdentity &other) const {
        return device == other.device && index == other.index;
    }
};

enum class EntryKind : unsigned char {
    File,    // a regular file (through links too)
    Folder,  // a folder (through links and junctions too)
    Other,   // a pipe, a device, a socket: never opened
    Missing, // nothing there, or a link to nothing
};

struct FolderEntry {
    std::string name; // UTF-8; names that cannot be converted are not listed
    EntryKind kind = EntryKind::Other;
    uint64_t size = 0; // files
    int64_t time = 0;  // files: the last write, in the file system's ticks
    FolderIdentity id; // folders
};

struct FolderListing {
    bool readable = false;
    std::string error;                // why not, when not readable
    std::vector<FolderEntry> entries; // in byte order of their names
    std::vector<std::string> notes;   // entries skipped, and why
};

// The listing of `folder` (a UTF-8 path), from the cache or read now (and
// then kept). Never throws.
std::shared_ptr<const FolderListing> folder_listing(const std::string &folder);

// The identity of the folder at `path` (through links); false when it has
// none that can be read.
bool folder_identity(const std::string &path, FolderIdentity &out);

// Whether a name converts to UTF-8 (a lone surrogate on Windows, bytes that
// are not UTF-8 natively do not); never throws.
bool name_utf8(const std::filesystem::path &name, std::string &out);

// What reading a file's header and tags gave.
struct FileFacts {
    bool playable = false;
    std::string failure; // why not, when not playable
    std::string artist;  // never both empty when taken from the file
    std::string title;
    int duration_ms = 0; // 0 when the file does not tell
};

// The facts of the file at `path` with the given size and time, from the
// cache or read now (and then kept). `size` and `time` come from its
// folder's listing, or from file_stat().
FileFacts file_facts(const std::string &path, uint64_t size, int64_t time);

// The kind, size and time of one path (through links), without opening it.
FolderEntry file_stat(const std::string &path);

// For the watcher: forgets the listing of one folder (its path as the walk
// visited it, see CatalogueSource::directories), or every listing when
// `folder` is empty. Facts of files stay: they are checked against sizes
// and times when the folder is listed again.
void folder_cache_invalidate(const std::string &folder);

// Forgets everything (listings, facts and the counts below).
void folder_cache_clear();

// Tests: how often the listing of `folder` (every folder when empty) was
// read from the disk.
int folder_cache_reads(const std::string &folder);

} // namespace music

#endif
