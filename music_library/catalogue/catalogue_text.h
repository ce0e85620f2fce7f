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

struct CatalogueDesc {
    CatalogueSettings settings;
    std::vector<DescAccount> accounts;
    std::vector<DescPlaylist> playlists;
    std::vector<DescTrack> tracks;
    std::vector<std::string> folders;        // the music folders it serves
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

// How much of the disk a read looks at besides the catalogue file.
struct ReadOptions {
    bool walk = true;  // the music folders are walked, playlist files read
    bool probe = true; // audio files' headers and tags are read (through
                       // the folder cache); else their tracks' names wait
};

// What the reader makes of the paths, audio files and music folders a
// catalogue names. The reader itself reads only the catalogue's text; the
// caller gives it the walk of the folders (folders/music_folder.h).
class CatalogueFiles {
public:
    // `path` as written in the catalogue, taken from the catalogue's folder.
    virtual std::string resolve_path(const std::string &folder, const std::string &path) const = 0;
    // The track for one audio file; with probe, looked at now.
    virtual DescTrack file_track(CatalogueDesc &desc, const std::string &path,
                                 bool probe) const = 0;
    // Adds the folder's playlists to the account (an index into desc.accounts).
    virtual void add_music_folder(CatalogueDesc &desc, int account, const std::string &folder,
                                  bool probe) const = 0;

protected:
    ~CatalogueFiles() = default;
};

// Reads the catalogue file at `path` (UTF-8). A file that cannot be opened
// or read is one problem at line 1. Paths in it are relative to its folder.
CatalogueDesc read_catalogue_file(const std::string &path, const CatalogueFiles &files,
                                  ReadOptions options = {});

// Reads catalogue text held in memory (the fuzz target's entry): paths are
// relative to `folder`; with probe_files false no file is opened.
CatalogueDesc read_catalogue_text(const std::string &text, const std::string &folder,
                                  const CatalogueFiles &files, bool probe_files);

} // namespace music

#endif
