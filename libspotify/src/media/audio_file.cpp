// Opening an audio file with the decoder its content calls for, and the
// names a file track takes when its tags say nothing.
#include "media/audio_file.h"

#include <climits>
#include <cstring>

#include "base/file_io.h"
#include "media/converter.h"
#include "media/synth.h"

namespace splocal {

std::unique_ptr<Decoder> open_decoder(const std::string &path, std::string &why) {
    std::FILE *file = open_file(path, "rb");
    if (!file) {
        why = "cannot open the file";
        return nullptr;
    }
    unsigned char magic[12] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file);
    if (got == sizeof magic && std::memcmp(magic, "RIFF", 4) == 0 &&
        std::memcmp(magic + 8, "WAVE", 4) == 0)
        return open_wav(file, why);
    if (got >= 4 && std::memcmp(magic, "OggS", 4) == 0)
        return open_ogg(file, why);
    std::fclose(file);
    if (got == 0) {
        why = "the file is empty";
        return nullptr;
    }
#ifdef _WIN32
    return open_system_decoder(path, why);
#else
    why = "not an audio format this library decodes";
    return nullptr;
#endif
}

bool seek_start(std::FILE *file) {
    return std::fseek(file, 0, SEEK_SET) == 0;
}

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The name without a leading track number: "01 ", "01. " or "01 - ".
std::string without_track_number(const std::string &name) {
    size_t i = 0;
    while (i < name.size() && is_digit(name[i]))
        ++i;
    if (i == 0 || i > 3)
        return name;
    for (const char *sep : {" - ", ". ", " "}) {
        const size_t n = std::strlen(sep);
        if (name.compare(i, n, sep) == 0 && name.size() > i + n)
            return name.substr(i + n);
    }
    return name;
}

} // namespace

FileTags names_from_path(const std::string &path) {
    const std::filesystem::path p = utf8_path(path);
    const std::string stem = without_track_number(path_utf8(p.stem()));
    FileTags names;
    const size_t dash = stem.find(" - ");
    if (dash != std::string::npos && dash > 0 && dash + 3 < stem.size()) {
        names.artist = stem.substr(0, dash);
        names.title = stem.substr(dash + 3);
        return names;
    }
    names.artist = path_utf8(p.parent_path().filename());
    names.title = stem;
    return names;
}

FileProbe probe_audio_file(const std::string &path) {
    FileProbe probe;
    const FileTags fallback = names_from_path(path);
    std::unique_ptr<Decoder> decoder = open_decoder(path, probe.failure);
    if (decoder) {
        probe.names = decoder->tags();
        probe.playable = true;
        const int64_t frames = delivered_frames(decoder->runs());
        const int64_t ms = frames > 0 ? frames * 1000 / kSampleRate : 0;
        probe.duration_ms = ms < INT_MAX ? static_cast<int>(ms) : INT_MAX;
    }
    if (probe.names.artist.empty())
        probe.names.artist = fallback.artist;
    if (probe.names.title.empty())
        probe.names.title = fallback.title;
    return probe;
}

bool is_audio_file_name(const std::string &name) {
    const std::string ext = path_utf8(utf8_path(name).extension());
    std::string lower;
    for (char c : ext)
        lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    for (const char *known : {".wav", ".wave", ".ogg", ".oga"}) {
        if (lower == known)
            return true;
    }
#ifdef _WIN32
    // The formats the system's decoders commonly read.
    for (const char *known : {".mp3", ".m4a", ".aac", ".flac", ".wma", ".mp4", ".aif", ".aiff"}) {
        if (lower == known)
            return true;
    }
#endif
    return false;
}

} // namespace splocal
