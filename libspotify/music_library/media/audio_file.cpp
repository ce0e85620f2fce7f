// Opening an audio file with the decoder its content calls for, and the
// names a file track takes when its tags say nothing.
#include "media/audio_file.h"

#include <climits>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/file_io.h"
#include "media/converter.h"
#include "media/synth.h"

namespace music {
namespace {

#ifdef _WIN32
// \\.\ names a device; \\?\ reaches them too, except as the long form of a
// drive's path (\\?\C:\) or a share's (\\?\UNC\).
bool names_device(const std::string &path) {
    const auto slash = [&](size_t i) { return path[i] == '\\' || path[i] == '/'; };
    if (path.size() < 4 || !slash(0) || !slash(1) || !slash(3))
        return false;
    if (path[2] == '.')
        return true;
    if (path[2] != '?')
        return false;
    const bool drive = path.size() >= 7 && path[5] == ':' && slash(6);
    const bool unc = path.size() >= 8 && _strnicmp(path.c_str() + 4, "UNC", 3) == 0 && slash(7);
    return !drive && !unc;
}
#endif

// Opens `path` for reading when it is a regular file, else says why not.
// Nothing else is ever opened for play or for tags: opening a pipe waits
// for a writer, and reading a device may never end.
std::FILE *open_regular_file(const std::string &path, std::string &why) {
    const auto refuse = [&why](const char *reason) -> std::FILE * {
        why = reason;
        return nullptr;
    };
#ifdef _WIN32
    if (names_device(path))
        return refuse("is not a regular file");
    const DWORD attributes = GetFileAttributesW(utf8_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return refuse("cannot open the file");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return refuse("is a folder");
    std::FILE *file = open_file(path, "rb");
    if (!file)
        return refuse("cannot open the file");
    // A share's pipe (\\server\pipe\x) opens like a file: only the handle tells.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        return refuse("is not a regular file");
    }
    return file;
#else
    // Without O_NONBLOCK a pipe's open waits for a writer, for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refuse("cannot open the file");
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(!known                ? "cannot open the file"
                      : S_ISDIR(st.st_mode) ? "is a folder"
                                            : "is not a regular file");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE *file = flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1
                          ? nullptr
                          : ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        return refuse("cannot open the file");
    }
    return file;
#endif
}

} // namespace

std::unique_ptr<Decoder> open_decoder(const std::string &path, std::string &why) {
    std::FILE *file = open_regular_file(path, why);
    if (!file)
        return nullptr;
    unsigned char magic[12] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file);
    // RF64 and BW64 are WAV files with 64-bit sizes.
    const bool riff = std::memcmp(magic, "RIFF", 4) == 0 || std::memcmp(magic, "RF64", 4) == 0 ||
                      std::memcmp(magic, "BW64", 4) == 0;
    if (got == sizeof magic && riff && std::memcmp(magic + 8, "WAVE", 4) == 0)
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

namespace {

std::string lower_extension_of(const std::string &name) {
    const std::string ext = path_utf8(utf8_path(name).extension());
    std::string lower;
    for (char c : ext)
        lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return lower;
}

} // namespace

bool is_system_format_name(const std::string &name) {
    const std::string lower = lower_extension_of(name);
    // The formats the system's decoders commonly read.
    for (const char *known : {".mp3", ".m4a", ".aac", ".flac", ".wma", ".mp4", ".aif", ".aiff"}) {
        if (lower == known)
            return true;
    }
    return false;
}

bool is_audio_file_name(const std::string &name) {
    const std::string lower = lower_extension_of(name);
    for (const char *known : {".wav", ".wave", ".ogg", ".oga"}) {
        if (lower == known)
            return true;
    }
#ifdef _WIN32
    return is_system_format_name(name);
#else
    return false;
#endif
}

} // namespace music
