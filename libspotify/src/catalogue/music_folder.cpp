// Music folders and playlist files; see music_folder.h.
#include "catalogue/music_folder.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "media/audio_file.h"
#include "base/file_io.h"
#include "base/text_lines.h"

namespace splocal {
namespace {

namespace fs = std::filesystem;

std::string lower_extension(const fs::path &path) {
    std::string ext = path_utf8(path.extension());
    for (char &c : ext)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return ext;
}

// The folder's entries in name order (bytes of their UTF-8 names).
std::vector<fs::directory_entry> sorted_entries(const fs::path &folder, std::error_code &error) {
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return path_utf8(a.path().filename()) < path_utf8(b.path().filename());
    });
    return entries;
}

// The audio files under `folder` and its subfolders, in name order of their
// paths below it, at most `room` of them.
void collect_audio_files(const fs::path &folder, int depth, size_t room,
                         std::vector<std::string> &files) {
    std::error_code error;
    for (const fs::directory_entry &entry : sorted_entries(folder, error)) {
        if (files.size() >= room)
            return;
        std::error_code ignored;
        if (entry.is_directory(ignored)) {
            if (depth < 8)
                collect_audio_files(entry.path(), depth + 1, room, files);
        } else if (is_audio_file_name(path_utf8(entry.path().filename()))) {
            files.push_back(path_utf8(entry.path()));
        }
    }
}

std::string latin1_to_utf8(const std::string &text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void add_playlist(CatalogueDesc &desc, int account, const std::string &name,
                  const std::vector<std::string> &files, bool probe) {
    DescPlaylist playlist;
    playlist.name = name;
    for (const std::string &file : files) {
        desc.tracks.push_back(file_track(desc, file, probe));
        playlist.tracks.push_back(static_cast<int>(desc.tracks.size() - 1));
    }
    desc.playlists.push_back(std::move(playlist));
    desc.accounts[static_cast<size_t>(account)].playlists.push_back(
        static_cast<int>(desc.playlists.size() - 1));
}

} // namespace

bool is_playlist_file(const fs::path &path) {
    const std::string ext = lower_extension(path);
    return ext == ".m3u" || ext == ".m3u8";
}

std::string resolve_path(const std::string &folder, const std::string &path) {
#ifndef _WIN32
    if (path.rfind("~/", 0) == 0) {
        if (const char *home = std::getenv("HOME"))
            return path_utf8((fs::path(home) / path.substr(2)).lexically_normal());
    }
#endif
    const fs::path p = utf8_path(path);
    if (p.is_absolute())
        return path_utf8(p.lexically_normal());
    return path_utf8((utf8_path(folder) / p).lexically_normal());
}

DescTrack file_track(CatalogueDesc &desc, const std::string &path, bool probe) {
    DescTrack track;
    track.sound.file = path;
    if (!probe) {
        const FileTags names = names_from_path(path);
        track.artist = names.artist;
        track.title = names.title;
        return track;
    }
    const FileProbe found = probe_audio_file(path);
    track.artist = found.names.artist;
    track.title = found.names.title;
    track.file_playable = found.playable;
    if (!found.playable)
        desc.add_note(path + ": " + found.failure);
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
        if (!line.problem.empty()) {
            if (utf8 || line.problem.rfind("invalid UTF-8", 0) != 0) {
                desc.add_note(path + ":" + std::to_string(line.number) + ": " + line.problem);
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
        if (text.find("://") != std::string::npos) {
            desc.add_note(path + ":" + std::to_string(line.number) + ": not a local file");
            return;
        }
        if (files.size() < static_cast<size_t>(kMaxFolderTracks))
            files.push_back(resolve_path(folder, text));
    });
    std::fclose(file);
    return files;
}

void add_music_folder(CatalogueDesc &desc, int account, const std::string &folder, bool probe) {
    const fs::path root = utf8_path(folder);
    std::error_code error;
    const std::vector<fs::directory_entry> entries = sorted_entries(root, error);
    if (error) {
        desc.add_note(folder + ": cannot read the folder (" + error.message() + ")");
        return;
    }
    const size_t room = static_cast<size_t>(kMaxFolderTracks);
    std::vector<std::string> loose;
    std::vector<std::pair<std::string, std::vector<std::string>>> lists;
    size_t total = 0;
    for (const fs::directory_entry &entry : entries) {
        std::error_code ignored;
        const std::string name = path_utf8(entry.path().filename());
        if (total >= room)
            break;
        if (entry.is_directory(ignored)) {
            std::vector<std::string> files;
            collect_audio_files(entry.path(), 1, room - total, files);
            if (!files.empty()) {
                total += files.size();
                lists.emplace_back(name, std::move(files));
            }
            continue;
        }
        if (is_playlist_file(entry.path())) {
            const bool utf8 = lower_extension(entry.path()) == ".m3u8";
            std::vector<std::string> files =
                read_playlist_file(desc, path_utf8(entry.path()), utf8);
            if (files.size() > room - total)
                files.resize(room - total);
            total += files.size();
            lists.emplace_back(path_utf8(entry.path().stem()), std::move(files));
        } else if (is_audio_file_name(name)) {
            loose.push_back(path_utf8(entry.path()));
            ++total;
        }
    }
    if (total >= room)
        desc.add_note(folder + ": only the first " + std::to_string(room) + " files are served");
    fs::path named = root.lexically_normal();
    if (!named.has_filename())
        named = named.parent_path(); // "music/"
    if (!loose.empty())
        add_playlist(desc, account, path_utf8(named.filename()), loose, probe);
    for (const auto &[name, files] : lists)
        add_playlist(desc, account, name, files, probe);
}

} // namespace splocal
