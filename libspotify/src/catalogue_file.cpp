// Reading a catalogue file; the format is described in the library's
// README. One directive per line, UTF-8, '#' starts a comment line.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue.h"

namespace splocal {
namespace {

std::vector<std::string> split_words(const std::string &line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t')
            ++j;
        if (j > i)
            words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

// The rest of the line after `count` words, without leading blanks.
std::string rest_after(const std::string &line, int count) {
    size_t i = 0;
    for (int w = 0; w < count; ++w) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    return line.substr(i);
}

bool parse_int(const std::string &word, int low, int high, int &out) {
    if (word.empty() || word.size() > 10)
        return false;
    long long value = 0;
    size_t i = 0;
    bool negative = false;
    if (word[0] == '-') {
        negative = true;
        i = 1;
        if (word.size() == 1)
            return false;
    }
    for (; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9')
            return false;
        value = value * 10 + (word[i] - '0');
    }
    if (negative)
        value = -value;
    if (value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

bool parse_sound(const std::string &word, splocal_sound &out) {
    static const char *const names[] = {"tone",  "chord",   "sweep", "drums",
                                        "noise", "silence", "ramp"};
    for (int i = 0; i < 7; ++i) {
        if (word == names[i]) {
            out = static_cast<splocal_sound>(i);
            return true;
        }
    }
    return false;
}

bool parse_error(const std::string &word, sp_error &out) {
    int code = 0;
    if (!parse_int(word, 0, SP_ERROR_IS_LOADING, code))
        return false;
    out = static_cast<sp_error>(code);
    return true;
}

struct Reader {
    Catalogue &cat;
    int account = -1;
    int playlist = -1;
    int track = -1;

    // One line; false when it cannot be read.
    bool line(const std::string &raw) {
        const std::vector<std::string> w = split_words(raw);
        if (w.empty() || w[0][0] == '#')
            return true;
        const std::string &key = w[0];
        if (key == "account") {
            if (w.size() < 2 || w.size() > 3)
                return false;
            account = catalogue_add_account_locked(cat, w[1], w.size() == 3 ? w[2] : "");
            playlist = -1;
            return account >= 0;
        }
        if (key == "playlist") {
            if (account < 0)
                return false;
            playlist = catalogue_add_playlist_locked(cat, account, rest_after(raw, 1), -1);
            return playlist >= 0;
        }
        if (key == "track") {
            splocal_sound sound;
            int param = 0;
            int ms = 0;
            if (playlist < 0 || w.size() < 5 || !parse_sound(w[1], sound) ||
                !parse_int(w[2], 0, 1000000, param) ||
                !parse_int(w[3], 0, kMaxTrackFrames / kSampleRate * 1000, ms))
                return false;
            const std::string names = rest_after(raw, 4);
            const size_t slash = names.find(" / ");
            if (slash == std::string::npos)
                return false;
            const int frames = static_cast<int>(static_cast<long long>(ms) * kSampleRate / 1000);
            track = catalogue_add_track_locked(cat, names.substr(0, slash), names.substr(slash + 3),
                                               sound, param, frames);
            if (track < 0)
                return false;
            catalogue_append_tracks_locked(cat, playlist, &track, 1);
            return true;
        }
        if (key == "hold-loading") {
            if (playlist < 0 || w.size() != 1)
                return false;
            cat.playlists[static_cast<size_t>(playlist)].loading_held = true;
            return true;
        }
        if (key == "unavailable" || key == "hold-metadata") {
            if (track < 0 || w.size() != 1)
                return false;
            CatalogueTrack &t = cat.tracks[static_cast<size_t>(track)];
            if (key == "unavailable")
                t.available = false;
            else
                t.metadata_held = true;
            return true;
        }
        if (w.size() != 2)
            return false;
        int value = 0;
        sp_error error = SP_ERROR_OK;
        if (key == "error") {
            if (track < 0 || !parse_error(w[1], error))
                return false;
            cat.tracks[static_cast<size_t>(track)].error = error;
            return true;
        }
        if (key == "latency" && parse_int(w[1], 0, 60000, value)) {
            cat.latency_ms.store(value);
            return true;
        }
        if (key == "chunk" && parse_int(w[1], 1, 8192, value)) {
            cat.chunk_frames.store(value);
            return true;
        }
        if (key == "fail-create" && parse_error(w[1], error)) {
            cat.fail_next_create = error;
            return true;
        }
        if (key == "fail-login" && parse_error(w[1], error)) {
            cat.fail_next_login = error;
            return true;
        }
        if (key == "refuse-login" && parse_error(w[1], error)) {
            cat.refuse_next_login = error;
            return true;
        }
        return false;
    }
};

} // namespace

int catalogue_load_file_locked(Catalogue &cat, const char *path) {
    catalogue_clear_locked(cat);
    if (!path)
        return 1;
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return 1;
    Reader reader{cat};
    std::string line;
    int number = 1;
    int bad = 0;
    int c;
    bool at_start = true;
    for (;;) {
        c = std::fgetc(file);
        if (c == EOF || c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (at_start && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
                line.erase(0, 3); // byte order mark
            at_start = false;
            if (!reader.line(line)) {
                bad = number;
                break;
            }
            if (c == EOF)
                break;
            line.clear();
            ++number;
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    std::fclose(file);
    if (bad != 0)
        catalogue_clear_locked(cat);
    return bad;
}

} // namespace splocal
