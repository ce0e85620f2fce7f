// Reading a catalogue file into a description of the catalogue, without
// touching the process's catalogue: the caller decides whether to apply it
// (catalogue_file.cpp). The reader is strict and bounded: every line is
// checked (line ends, NUL bytes, UTF-8, length, each directive's words and
// ranges), memory grows with what the file describes and not with what it
// merely contains, and no step compares an entry with all the ones before
// it. A bad line is recorded as a problem and skipped; an `account` or
// `playlist` line that is bad also forgets the account or playlist before
// it, so that what follows is not filed under the wrong one.
#ifndef MUSIC_LIBRARY_CATALOGUE_CATALOGUE_TEXT_H
#define MUSIC_LIBRARY_CATALOGUE_CATALOGUE_TEXT_H

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "media/synth.h"

namespace music {

// Ranges of the catalogue's numbers.
constexpr int kMaxLatencyMs = 60000;
constexpr int kMinChunkFrames = 1;
constexpr int kMaxChunkFrames = 8192;
constexpr int kMaxTrackMs = kMaxTrackFrames / kSampleRate * 1000;
constexpr int kMaxSoundParam = 1000000;
// Problems kept with their text; beyond these only their number.
constexpr int kMaxProblemsKept = 100;
// Audio files one `music` folder or one playlist file may give: no
// collection comes near it; it bounds what a link farm can make.
constexpr int kMaxFolderTracks = 4000000;

struct CatalogueSettings {
    // -1 where the file does not set it.
    int latency_ms = -1;
    int chunk_frames = -1;
    int fail_create = -1;
    int fail_login = -1;
    int refuse_login = -1;
};

// A track as the catalogue will hold it, and whether its file could be
// decoded (a file track that cannot fails unless a line says how).
struct DescTrack : CatalogueTrack {
    bool file_playable = true;
};

struct DescPlaylist {
    std::string name;
    std::vector<int> tracks; // indices into CatalogueDesc::tracks
    bool loading_held = false;
};

struct DescAccount {
    std::string name;
    std::string password;
    std::vector<int> playlists; // indices into CatalogueDesc::playlists
};

struct CatalogueProblem {
    int line = 0; // 0: the file as a whole
    std::string message;
};

// A file or folder the text names, in the order of its lines, for the walk
// (loader/catalogue_walk.h): a file track to look at, or a music folder
// whose playlists and tracks go where its line stands.
struct NamedOnDisk {
    int track = -1;               // a file track: an index into tracks
    int folder = -1;              // or a music folder: an index into folders,
    int account = -1;             // of this account,
    size_t playlists = 0;         // its playlists before this index of playlists,
    size_t tracks = 0;            // its tracks before this index of tracks,
    size_t account_playlists = 0; // and before this place in the account's list
};

struct CatalogueDesc {
    CatalogueSettings settings;
    std::vector<DescAccount> accounts;
    std::vector<DescPlaylist> playlists;
    std::vector<DescTrack> tracks;
    std::vector<std::string> folders;        // the music folders it serves
    std::vector<NamedOnDisk> on_disk;        // what its lines name on disk
    std::vector<std::string> directories;    // every real folder their walks listed
    std::vector<std::string> playlist_files; // the playlist files read
    std::vector<CatalogueProblem> problems;  // the first kMaxProblemsKept
    int problem_count = 0;                   // all of them
    int first_bad_line = 0;                  // 0 when every line was read
    // Files and folders that could not be used (missing, not decodable, a
    // bad line of a playlist file): logged, but the catalogue is good.
    std::vector<std::string> notes; // the first kMaxProblemsKept
    int note_count = 0;

    void add_problem(int line, std::string message);
    void add_note(std::string message);
};

// Reads the catalogue file at `path` (UTF-8): what its text says, opening
// no other file (loader/catalogue_walk.h looks at what it names). A file
// that cannot be opened or read is one problem at line 1. Paths in it are
// relative to its folder.
CatalogueDesc read_catalogue_file(const std::string &path);

// Reads catalogue text held in memory (the fuzz target's entry): paths are
// relative to `folder`.
CatalogueDesc read_catalogue_text(const std::string &text, const std::string &folder);

} // namespace music

#endif
