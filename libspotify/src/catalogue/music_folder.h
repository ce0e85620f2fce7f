// Serving a folder of the user's music: each subfolder that holds audio
// files becomes a playlist named after it, each .m3u / .m3u8 file a
// playlist named after its file name, and the audio files in the folder
// itself one playlist named after the folder; files in name order.
#ifndef LIBSPOTIFY_SRC_CATALOGUE_MUSIC_FOLDER_H
#define LIBSPOTIFY_SRC_CATALOGUE_MUSIC_FOLDER_H

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue_text.h"

namespace splocal {

// The track for one audio file: its names from its tags or its path, and
// whether it can be played (a note says why not). With probe false the
// file is not opened.
DescTrack file_track(CatalogueDesc &desc, const std::string &path, bool probe);

// Adds the folder's playlists to the account (an index into desc.accounts).
void add_music_folder(CatalogueDesc &desc, int account, const std::string &folder, bool probe);

// The audio files a playlist file names, in its order, as paths (relative
// ones taken from the playlist file's folder). Lines that cannot be used
// become notes. `utf8` is false for .m3u: its lines that are not UTF-8 are
// read as Latin-1.
std::vector<std::string> read_playlist_file(CatalogueDesc &desc, const std::string &path,
                                            bool utf8);

// Whether the file is a playlist file: .m3u or .m3u8, in any case.
bool is_playlist_file(const std::filesystem::path &path);

// `path` taken from `folder` unless it is absolute; "~/" is the home
// folder except on Windows.
std::string resolve_path(const std::string &folder, const std::string &path);

} // namespace splocal

#endif
