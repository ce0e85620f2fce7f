// Music folders and playlist files; see music_folder.h.
#include "folders/music_folder.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <unordered_set>

#include "base/file_io.h"
#include "base/text_lines.h"
#include "media/audio_file.h"

namespace music {
namespace {

// Set while the loader stops: a walk in progress ends where it is.
std::atomic<bool> g_walks_stop{false};

namespace fs = std::filesystem;

std::string lower(std::string text) {
    for (char &c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string lower_extension(const std::string &name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : lower(name.substr(dot));
}

// Whether `c` separates the parts of a path on this system.
bool is_separator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// `name` (one entry of a listing) inside `folder`, as path's operator/
// would join them. A walk joins every entry of the library, so the common
// case (a folder ending in a name) is joined as text; an empty folder, a
// drive or a server alone, or a name with a separator or a drive in it, go
// through path.
std::string joined_path(const std::string &folder, const std::string &name) {
    bool plain = !folder.empty() && !name.empty() && !is_separator(folder.back());
#ifdef _WIN32
    plain = plain && folder.back() != ':' &&
            !(folder.size() > 1 && is_separator(folder[0]) && is_separator(folder[1]));
    plain = plain && name.find_first_of("/\\:") == std::string::npos;
    constexpr char kSeparator = '\\';
#else
    plain = plain && name.find('/') == std::string::npos;
    constexpr char kSeparator = '/';
#endif
    if (!plain)
        return path_utf8(utf8_path(folder) / utf8_path(name));
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += kSeparator;
    path += name;
    return path;
}

// A URL: a scheme of letters, digits, '+', '-' or '.', then "://".
bool is_url(const std::string &text, std::string &scheme) {
    const size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0)
        return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    scheme = lower(text.substr(0, colon));
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Undoes a URL's %XX escapes; false, saying why, when an escape is not two
// hex digits or the bytes it gives are not text.
bool percent_decoded(std::string &text, std::string &why) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int high = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            why = "with a bad escape";
            return false;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (out.find('\0') != std::string::npos) {
        why = "that decodes to a NUL byte";
        return false;
    }
    if (utf8_invalid_at(out) != std::string::npos) {
        why = "that is not UTF-8 once decoded";
        return false;
    }
    text = std::move(out);
    return true;
}

// The path a file URL names, as players write them: file:///path and
// file://localhost/path are this machine's (file:///C:/x is C:/x on
// Windows), file://server/share/x another machine's share. False, saying
// why, when it cannot be decoded.
bool file_url_path(const std::string &url, std::string &out, std::string &why) {
    const std::string rest = url.substr(7); // after "file://"
    const size_t slash = rest.find('/');
    std::string host = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
    if (!percent_decoded(host, why) || !percent_decoded(path, why))
        return false;
    if (path.size() < 2) {
        why = "that names no file";
        return false;
    }
    if (host.empty() || lower(host) == "localhost") {
#ifdef _WIN32
        const bool drive =
            path.size() > 2 && path[2] == ':' &&
            ((path[1] >= 'a' && path[1] <= 'z') || (path[1] >= 'A' && path[1] <= 'Z'));
        if (drive)
            path.erase(0, 1); // /C:/Music/x.mp3
#endif
        out = path;
        return true;
    }
    out = "//" + host + path;
#ifdef _WIN32
    std::replace(out.begin(), out.end(), '/', '\\');
#endif
    return true;
}

std::string latin1_to_utf8(const std::string &text) {
    std::string out;
    for (char ch : text)
        append_utf8(out, static_cast<unsigned char>(ch));
    return out;
}

// The audio files of one folder in formats only the system's decoders read,
// which this build (natively) cannot play: said once per folder.
class UnplayableFiles {
public:
    void add(const std::string &name) {
        ++count_;
        std::string kind = lower_extension(name).substr(1);
        for (char &c : kind)
            c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if ((", " + kinds_ + ",").find(", " + kind + ",") == std::string::npos)
            kinds_ += (kinds_.empty() ? "" : ", ") + kind;
    }
    void report(CatalogueDesc &desc, const std::string &folder) const {
        if (count_ > 0)
            desc.add_note(folder + ": " + std::to_string(count_) +
                          (count_ == 1 ? " file" : " files") +
                          " in a format this build cannot play (" + kinds_ + "), skipped");
    }

private:
    int count_ = 0;
    std::string kinds_; // "MP3, FLAC"
};

struct FoundFile {
    std::string path;
    uint64_t size = 0;
    int64_t time = 0;
};

DescTrack listed_track(CatalogueDesc &desc, const FoundFile &file, bool probe) {
    DescTrack track;
    track.sound.file = file.path;
    if (!probe) {
        track.names_pending = true;
        return track;
    }
    const FileFacts facts = file_facts(file.path, file.size, file.time);
    apply_file_facts(track, facts);
    track.file_playable = facts.playable;
    track.error = ErrorCode::Ok;
    if (!facts.playable)
        desc.add_note(file.path + ": " + facts.failure);
    return track;
}

void add_playlist(CatalogueDesc &desc, int account, const std::string &name,
                  std::vector<DescTrack> tracks) {
    DescPlaylist playlist;
    playlist.name = name;
    playlist.tracks.reserve(tracks.size());
    for (DescTrack &t : tracks) {
        desc.tracks.push_back(std::move(t));
        playlist.tracks.push_back(static_cast<int>(desc.tracks.size() - 1));
    }
    desc.playlists.push_back(std::move(playlist));
    desc.accounts[static_cast<size_t>(account)].playlists.push_back(
        static_cast<int>(desc.playlists.size() - 1));
}

struct FolderIdentityHash {
    size_t operator()(const FolderIdentity &id) const {
        return std::hash<uint64_t>()(id.index * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

// One walk of a served folder: the real folders listed so far.
class Walk {
public:
    Walk(CatalogueDesc &desc, size_t room) : desc_(desc), room_(room) {}

    // Lists a folder once per real folder: null when it was listed before
    // (a note says so) or cannot be read.
    std::shared_ptr<const FolderListing> enter(const std::string &path, const FolderIdentity &id) {
        if (!seen_.insert(id).second) {
            desc_.add_note(path + ": a link to a folder already served, not followed again");
            return nullptr;
        }
        std::shared_ptr<const FolderListing> listing = folder_listing(path);
        if (!listing->readable) {
            desc_.add_note(path + ": cannot read the folder (" + listing->error + ")");
            return nullptr;
        }
        desc_.directories.push_back(path);
        for (const std::string &note : listing->notes)
            desc_.add_note(note);
        return listing;
    }

    // The audio files below `folder`, depth first in name order.
    void collect(const std::string &folder, const FolderIdentity &id,
                 std::vector<FoundFile> &files) {
        struct Frame {
            std::string path;
            std::shared_ptr<const FolderListing> listing;
            size_t next = 0;
            UnplayableFiles unplayable;
        };
        std::vector<Frame> stack;
        if (auto listing = enter(folder, id))
            stack.push_back(Frame{folder, std::move(listing), 0, {}});
        while (!stack.empty() && total_ < room_ && !g_walks_stop.load()) {
            Frame &top = stack.back();
            if (top.next >= top.listing->entries.size()) {
                top.unplayable.report(desc_, top.path);
                stack.pop_back();
                continue;
            }
            const FolderEntry &entry = top.listing->entries[top.next++];
            const std::string path = joined_path(top.path, entry.name);
            if (entry.kind == EntryKind::Folder) {
                if (auto listing = enter(path, entry.id))
                    stack.push_back(Frame{path, std::move(listing), 0, {}});
            } else if (is_audio_file_name(entry.name)) {
                take(entry, path, files);
            } else if (entry.kind == EntryKind::File && is_system_format_name(entry.name)) {
                top.unplayable.add(entry.name);
            }
        }
    }

    // A file entry of a folder: listed when it is a regular file.
    void take(const FolderEntry &entry, const std::string &path, std::vector<FoundFile> &files) {
        if (entry.kind == EntryKind::File) {
            files.push_back(FoundFile{path, entry.size, entry.time});
            ++total_;
        } else if (entry.kind == EntryKind::Other) {
            desc_.add_note(path + ": is not a regular file, skipped");
        }
    }

    size_t total_ = 0;

private:
    CatalogueDesc &desc_;
    size_t room_;
    // A set, not a list: a library of many folders looks each one up.
    std::unordered_set<FolderIdentity, FolderIdentityHash> seen_;
};

void walk_music_folder(CatalogueDesc &desc, int account, const std::string &folder, bool probe) {
    FolderIdentity root_id;
    if (!folder_identity(folder, root_id)) {
        desc.add_note(
            folder + ": cannot read the folder (" +
            (file_stat(folder).kind == EntryKind::Missing ? "no such folder" : "not a folder") +
            ")");
        return;
    }
    const size_t room = static_cast<size_t>(kMaxFolderTracks);
    Walk walk(desc, room);
    const std::shared_ptr<const FolderListing> root = walk.enter(folder, root_id);
    if (!root)
        return;
    std::vector<FoundFile> loose;
    struct List {
        std::string name;
        std::vector<FoundFile> files;     // a subfolder's
        std::vector<std::string> entries; // a playlist file's
    };
    std::vector<List> lists;
    UnplayableFiles unplayable;
    for (const FolderEntry &entry : root->entries) {
        if (walk.total_ >= room)
            break;
        const std::string path = joined_path(folder, entry.name);
        if (entry.kind == EntryKind::Folder) {
            std::vector<FoundFile> files;
            walk.collect(path, entry.id, files);
            if (!files.empty())
                lists.push_back(List{entry.name, std::move(files), {}});
            continue;
        }
        const std::string ext = lower_extension(entry.name);
        const bool playlist_file = ext == ".m3u" || ext == ".m3u8";
        if (entry.kind == EntryKind::File && playlist_file) {
            std::vector<std::string> files = read_playlist_file(desc, path, ext == ".m3u8");
            if (files.size() > room - walk.total_)
                files.resize(room - walk.total_);
            walk.total_ += files.size();
            desc.playlist_files.push_back(path);
            lists.push_back(
                List{entry.name.substr(0, entry.name.size() - ext.size()), {}, std::move(files)});
        } else if (playlist_file || is_audio_file_name(entry.name)) {
            walk.take(entry, path, loose); // a pipe or a device is noted, never opened
        } else if (entry.kind == EntryKind::File && is_system_format_name(entry.name)) {
            unplayable.add(entry.name);
        }
    }
    unplayable.report(desc, folder);
    if (walk.total_ >= room)
        desc.add_note(folder + ": only the first " + std::to_string(room) + " files are served");
    fs::path named = utf8_path(folder).lexically_normal();
    if (!named.has_filename())
        named = named.parent_path(); // "music/"
    std::string name;
    if (!loose.empty() && name_utf8(named.filename(), name)) {
        std::vector<DescTrack> tracks;
        tracks.reserve(loose.size());
        for (const FoundFile &f : loose)
            tracks.push_back(listed_track(desc, f, probe));
        add_playlist(desc, account, name, std::move(tracks));
    }
    for (List &list : lists) {
        std::vector<DescTrack> tracks;
        tracks.reserve(list.files.size() + list.entries.size());
        for (const std::string &entry : list.entries)
            tracks.push_back(file_track(desc, entry, probe));
        for (const FoundFile &f : list.files)
            tracks.push_back(listed_track(desc, f, probe));
        std::vector<FoundFile>().swap(list.files);
        add_playlist(desc, account, list.name, std::move(tracks));
    }
}

} // namespace

bool is_playlist_file(const fs::path &path) {
    std::string name;
    if (!name_utf8(path.filename(), name))
        return false;
    const std::string ext = lower_extension(name);
    return ext == ".m3u" || ext == ".m3u8";
}

FileFacts probe_path(const std::string &path) {
    FileFacts facts;
    const FolderEntry entry = is_device_path(path) ? FolderEntry{} : file_stat(path);
    if (entry.kind == EntryKind::File && !is_device_path(path))
        return file_facts(path, entry.size, entry.time);
    facts.failure = entry.kind == EntryKind::Folder    ? "is a folder"
                    : entry.kind == EntryKind::Missing ? "cannot open the file"
                                                       : "is not a regular file";
    return facts;
}

void apply_file_facts(CatalogueTrack &track, const FileFacts &facts) {
    track.names_pending = false;
    track.duration_ms = facts.duration_ms;
    if (!track.names_given) {
        FileTags fallback;
        if (facts.artist.empty() || facts.title.empty())
            fallback = names_from_path(track.sound.file);
        track.artist = facts.artist.empty() ? fallback.artist : facts.artist;
        track.title = facts.title.empty() ? fallback.title : facts.title;
    }
    if (!facts.playable && track.error == ErrorCode::Ok)
        track.error = ErrorCode::TrackNotPlayable;
}

DescTrack file_track(CatalogueDesc &desc, const std::string &path, bool probe) {
    DescTrack track;
    track.sound.file = path;
    if (is_network_path(path)) {
        std::string forward = path;
        std::replace(forward.begin(), forward.end(), '\\', '/');
        const FileTags names = names_from_path(forward);
        track.artist = names.artist;
        track.title = names.title;
        return track;
    }
    if (!probe) {
        track.names_pending = true;
        return track;
    }
    const FileFacts facts = probe_path(path);
    apply_file_facts(track, facts);
    track.error = ErrorCode::Ok;
    track.file_playable = facts.playable;
    if (!facts.playable)
        desc.add_note(path + ": " + facts.failure);
    return track;
}

std::vector<std::string> read_playlist_file(CatalogueDesc &desc, const std::string &path,
                                            bool utf8) {
    std::vector<std::string> files;
    std::FILE *file = open_file(path, "rb");
    if (!file) {
        desc.add_note(path + ": cannot open the playlist file");
        return files;
    }
    const std::string folder = folder_of(path);
    read_text_lines(file, [&](const TextLine &line) {
        std::string text = line.text;
        const std::string where = path + ":" + std::to_string(line.number) + ": ";
        if (!line.problem.empty()) {
            if (utf8 || line.problem.rfind("invalid UTF-8", 0) != 0) {
                desc.add_note(where + line.problem);
                return;
            }
            text = latin1_to_utf8(text); // a legacy .m3u
        }
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.pop_back();
        size_t start = 0;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
            ++start;
        text.erase(0, start);
        if (text.empty() || text[0] == '#')
            return; // blank, a comment or #EXTINF
        std::string scheme;
        if (is_url(text, scheme)) {
            if (scheme != "file") {
                desc.add_note(where + "a URL, not a local file; not served");
                return;
            }
            std::string named, why;
            if (!file_url_path(text, named, why)) {
                desc.add_note(where + "a file URL " + why + "; not served");
                return;
            }
            text = std::move(named);
        }
        if (is_device_path(text)) {
            desc.add_note(where + text + " is not a regular file; not served");
            return;
        }
        if (files.size() < static_cast<size_t>(kMaxFolderTracks))
            files.push_back(resolve_path(folder, text));
    });
    std::fclose(file);
    return files;
}

void music_walks_stop(bool stop) {
    g_walks_stop.store(stop);
}

void add_music_folder(CatalogueDesc &desc, int account, const std::string &folder, bool probe) {
    try {
        walk_music_folder(desc, account, folder, probe);
    } catch (const std::exception &e) {
        desc.add_note(folder + ": the walk stopped (" + e.what() + ")");
    }
}

} // namespace music
