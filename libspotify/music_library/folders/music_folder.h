// Serving a folder of the user's music: each subfolder that holds audio
// files becomes a playlist named after it, each .m3u / .m3u8 file a
// playlist named after its file name, and the audio files in the folder
// itself one playlist named after the folder; files in name order.
//
// Folders as they are: the walk keeps its own stack (any depth); links and
// junctions are followed, but each real folder is listed at most once per
// served folder (a link back up, or many links to one place, is cut with a
// note); only regular files are ever opened (a pipe or a device is listed
// as skipped, never opened); a name that cannot be converted to UTF-8 is
// skipped with a note, and so is every entry that cannot be looked at; the
// files only the system's decoders read are counted in one note per folder
// where this build has none (natively). Listings and file facts go through
// the folder cache.
#ifndef MUSIC_LIBRARY_FOLDERS_MUSIC_FOLDER_H
#define MUSIC_LIBRARY_FOLDERS_MUSIC_FOLDER_H

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue_text.h"
#include "folders/folder_cache.h"

namespace music {

// The track for one audio file. With probe, its names from its tags or its
// path and whether it can be played (a note says why not); without, its
// names wait (names_pending) and the file is not looked at. A network path
// (\\server\share\x, //server/share/x) is never looked at before it plays:
// its names come from its path.
DescTrack file_track(CatalogueDesc &desc, const std::string &path, bool probe);

// What the file at `path` is, looked at now: its facts through the folder
// cache when it is a regular file, else why it cannot be played ("is a
// folder", "is not a regular file", "cannot open the file").
FileFacts probe_path(const std::string &path);

// A track's names and state from the facts of its file (the names stay
// when they were given on its line).
void apply_file_facts(CatalogueTrack &track, const FileFacts &facts);

// While stop is set (by a thread that waits for the loader to end), walks
// in progress end where they are and list no more.
void music_walks_stop(bool stop);

// Adds the folder's playlists to the account (an index into desc.accounts).
void add_music_folder(CatalogueDesc &desc, int account, const std::string &folder, bool probe);

// The audio files a playlist file names, in its order, as paths (relative
// ones taken from the playlist file's folder; file: URLs decoded). Lines
// that cannot be used (other URLs among them) become notes. A file that
// starts with a UTF-16 byte-order mark is UTF-16; else `utf8` is false for
// .m3u: its lines that are not UTF-8 are read as Latin-1.
std::vector<std::string> read_playlist_file(CatalogueDesc &desc, const std::string &path,
                                            bool utf8);

// Whether the file is a playlist file: .m3u or .m3u8, in any case.
bool is_playlist_file(const std::filesystem::path &path);

} // namespace music

#endif
