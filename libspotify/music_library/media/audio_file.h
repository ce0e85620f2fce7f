// What the catalogue needs to know of an audio file before it is played:
// whether it can be decoded, and its artist and title (from its tags, else
// from its name: "Artist - Title", a leading track number such as "01 ",
// "01. " or "01 - " left out, else the folder's name and the file's).
#ifndef MUSIC_LIBRARY_MEDIA_AUDIO_FILE_H
#define MUSIC_LIBRARY_MEDIA_AUDIO_FILE_H

#include <string>

#include "media/decoder.h"

namespace music {

struct FileProbe {
    bool playable = false;
    std::string failure; // why not, when not playable
    FileTags names;      // never empty
    int duration_ms = 0; // the audio's length as delivered, where the file tells
};

// Opens the file, reads its header and tags, and closes it again.
FileProbe probe_audio_file(const std::string &path);

// The names the file's path gives it.
FileTags names_from_path(const std::string &path);

// True for the extensions of audio files a folder may hold.
bool is_audio_file_name(const std::string &name);

// True for the extensions of the formats only the system's decoders read
// (MP3, AAC, FLAC...): audio files on Windows, never played natively.
bool is_system_format_name(const std::string &name);

} // namespace music

#endif
