// The catalogue file's reader; see catalogue_text.h for its rules and the
// library's README for the format.
#include "catalogue/catalogue_text.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "base/file_io.h"
#include "base/text_lines.h"
#include "media/audio_file.h"

namespace music {

void CatalogueDesc::add_note(std::string message) {
    if (note_count++ < kMaxProblemsKept)
        notes.push_back(std::move(message));
}

void CatalogueDesc::add_problem(int line, std::string message) {
    if (first_bad_line == 0)
        first_bad_line = line > 0 ? line : 1;
    if (problem_count++ < kMaxProblemsKept)
        problems.push_back(CatalogueProblem{line, std::move(message)});
}

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Walks the words of a line one at a time, so that a line of many words
// never has them all stored.
class Words {
public:
    explicit Words(std::string_view line) : line_(line) {}

    // The next word, or an empty view at the end of the line.
    std::string_view next() {
        skip_blanks();
        const size_t start = at_;
        while (at_ < line_.size() && !is_blank(line_[at_]))
            ++at_;
        return line_.substr(start, at_ - start);
    }
    // The rest of the line after the words taken, without leading blanks.
    std::string_view rest() {
        skip_blanks();
        return line_.substr(at_);
    }
    bool at_end() {
        skip_blanks();
        return at_ == line_.size();
    }
    // Skips `count` bytes after the blanks.
    void skip(size_t count) {
        skip_blanks();
        at_ = at_ + count < line_.size() ? at_ + count : line_.size();
    }

private:
    void skip_blanks() {
        while (at_ < line_.size() && is_blank(line_[at_]))
            ++at_;
    }
    std::string_view line_;
    size_t at_ = 0;
};

std::string quoted(std::string_view word) {
    std::string out;
    out.reserve(word.size() + 2);
    out.push_back('"');
    out.append(word.data(), word.size());
    out.push_back('"');
    return out;
}

// A decimal integer within [low, high]; no sign but '-', no blanks.
bool parse_int(std::string_view word, int low, int high, int &out) {
    if (word.empty() || word.size() > 11)
        return false;
    size_t i = 0;
    const bool negative = word[0] == '-';
    if (negative && word.size() == 1)
        return false;
    long long value = 0;
    for (i = negative ? 1 : 0; i < word.size(); ++i) {
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

bool parse_sound(std::string_view word, SoundKind &out) {
    static const char *const names[] = {"tone",  "chord",   "sweep", "drums",
                                        "noise", "silence", "ramp"};
    for (int i = 0; i < kSoundKinds; ++i) {
        if (word == names[i]) {
            out = static_cast<SoundKind>(i);
            return true;
        }
    }
    return false;
}

class Reader {
public:
    Reader(CatalogueDesc &desc, std::string folder) : desc_(desc), folder_(std::move(folder)) {}

    void line(const TextLine &line) {
        line_ = line.number;
        if (!line.problem.empty()) {
            fail(line.problem);
            return;
        }
        Words words(line.text);
        const std::string_view key = words.next();
        if (key.empty() || key[0] == '#')
            return;
        if (key == "account")
            account(words);
        else if (key == "playlist")
            playlist(words);
        else if (key == "track")
            track(words);
        else if (key == "music")
            music(words);
        else if (key == "hold-loading")
            hold_loading(words);
        else if (key == "unavailable" || key == "hold-metadata" || key == "error")
            track_flag(key, words);
        else if (key == "latency" || key == "chunk" || key == "fail-create" ||
                 key == "fail-login" || key == "refuse-login")
            setting(key, words);
        else
            fail("unknown directive " + quoted(key));
    }

private:
    void fail(std::string message) { desc_.add_problem(line_, std::move(message)); }

    // The directive takes no more words than it read.
    bool no_more(Words &words, std::string_view key) {
        if (words.at_end())
            return true;
        fail("too many words after " + std::string(key));
        return false;
    }

    void account(Words &words) {
        // Whatever follows belongs to this account, or to none when it is bad.
        account_ = playlist_ = track_ = -1;
        const std::string_view name = words.next();
        const std::string_view password = words.next();
        if (name.empty()) {
            fail("account without a name");
            return;
        }
        if (!no_more(words, "account NAME PASSWORD"))
            return;
        if (!names_.insert(std::string(name)).second) {
            fail("account " + quoted(name) + " appears twice");
            return;
        }
        desc_.accounts.push_back(DescAccount{std::string(name), std::string(password), {}});
        account_ = static_cast<int>(desc_.accounts.size() - 1);
    }

    void playlist(Words &words) {
        playlist_ = track_ = -1;
        if (account_ < 0) {
            fail("playlist without an account before it");
            return;
        }
        desc_.playlists.push_back(DescPlaylist{std::string(words.rest()), {}, false});
        playlist_ = static_cast<int>(desc_.playlists.size() - 1);
        desc_.accounts[static_cast<size_t>(account_)].playlists.push_back(playlist_);
    }

    void track(Words &words) {
        track_ = -1;
        if (playlist_ < 0) {
            fail("track without a playlist before it");
            return;
        }
        const std::string_view sound_word = words.next();
        if (sound_word == "file") {
            file(words);
            return;
        }
        const std::string_view param_word = words.next();
        const std::string_view ms_word = words.next();
        SoundKind sound;
        int param = 0;
        int ms = 0;
        if (!parse_sound(sound_word, sound)) {
            fail("unknown sound " + quoted(sound_word) +
                 " (tone, chord, sweep, drums, noise, silence or ramp)");
            return;
        }
        if (!parse_int(param_word, 0, kMaxSoundParam, param)) {
            fail("sound parameter " + quoted(param_word) + " is not a number from 0 to " +
                 std::to_string(kMaxSoundParam));
            return;
        }
        if (!parse_int(ms_word, 0, kMaxTrackMs, ms)) {
            fail("length " + quoted(ms_word) + " is not a number of milliseconds from 0 to " +
                 std::to_string(kMaxTrackMs));
            return;
        }
        const std::string_view names = words.rest();
        const size_t slash = names.find(" / ");
        if (slash == std::string_view::npos) {
            fail("track without \"ARTIST / TITLE\"");
            return;
        }
        DescTrack t;
        t.artist = std::string(names.substr(0, slash));
        t.title = std::string(names.substr(slash + 3));
        t.sound = SoundDesc{sound, param,
                            static_cast<int>(static_cast<long long>(ms) * kSampleRate / 1000)};
        add_track(std::move(t));
    }

    // A path: one word, or any text between double quotes.
    bool path(Words &words, std::string &out) {
        std::string_view rest = words.rest();
        if (!rest.empty() && rest[0] == '"') {
            const size_t close = rest.find('"', 1);
            if (close == std::string_view::npos) {
                fail("path without its closing quote");
                return false;
            }
            out = std::string(rest.substr(1, close - 1));
            words.skip(close + 1);
        } else {
            out = std::string(words.next());
        }
        if (out.empty()) {
            fail("missing path");
            return false;
        }
        return true;
    }

    // track file PATH [ARTIST / TITLE]
    void file(Words &words) {
        std::string where;
        if (!path(words, where))
            return;
        const std::string_view names = words.rest();
        const size_t slash = names.find(" / ");
        if (!names.empty() && slash == std::string_view::npos) {
            fail("track file PATH is followed by \"ARTIST / TITLE\" or nothing");
            return;
        }
        const std::string resolved = resolve_path(folder_, where);
        const bool network = is_network_path(resolved);
        DescTrack t;
        t.sound.file = resolved;
        if (network) {
            // Never looked at before it plays: its names come from its path.
            std::string forward = resolved;
            std::replace(forward.begin(), forward.end(), '\\', '/');
            const FileTags from_path = names_from_path(forward);
            t.artist = from_path.artist;
            t.title = from_path.title;
        } else {
            t.names_pending = true; // until the walk looks at the file
        }
        if (!names.empty()) {
            t.artist = std::string(names.substr(0, slash));
            t.title = std::string(names.substr(slash + 3));
            t.names_given = true;
        }
        add_track(std::move(t));
        if (!network) {
            NamedOnDisk named;
            named.track = track_;
            desc_.on_disk.push_back(named);
        }
    }

    // music FOLDER
    void music(Words &words) {
        playlist_ = track_ = -1;
        if (account_ < 0) {
            fail("music without an account before it");
            return;
        }
        std::string where;
        std::string_view rest = words.rest();
        if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
            rest = rest.substr(1, rest.size() - 2);
        where = std::string(rest);
        if (where.empty()) {
            fail("music without a folder");
            return;
        }
        desc_.folders.push_back(resolve_path(folder_, where));
        NamedOnDisk named;
        named.folder = static_cast<int>(desc_.folders.size() - 1);
        named.account = account_;
        named.playlists = desc_.playlists.size();
        named.tracks = desc_.tracks.size();
        named.account_playlists = desc_.accounts[static_cast<size_t>(account_)].playlists.size();
        desc_.on_disk.push_back(named);
    }

    void add_track(DescTrack t) {
        desc_.tracks.push_back(std::move(t));
        track_ = static_cast<int>(desc_.tracks.size() - 1);
        desc_.playlists[static_cast<size_t>(playlist_)].tracks.push_back(track_);
    }

    void hold_loading(Words &words) {
        if (playlist_ < 0) {
            fail("hold-loading without a playlist before it");
            return;
        }
        if (no_more(words, "hold-loading"))
            desc_.playlists[static_cast<size_t>(playlist_)].loading_held = true;
    }

    void track_flag(std::string_view key, Words &words) {
        if (track_ < 0) {
            fail(std::string(key) + " without a track before it");
            return;
        }
        DescTrack &t = desc_.tracks[static_cast<size_t>(track_)];
        if (key == "error") {
            int code = 0;
            const std::string_view word = words.next();
            if (!error_code(word, code) || !no_more(words, "error CODE"))
                return;
            t.error = static_cast<ErrorCode>(code);
            return;
        }
        if (!no_more(words, key))
            return;
        if (key == "unavailable")
            t.available = false;
        else
            t.metadata_held = true;
    }

    bool error_code(std::string_view word, int &code) {
        if (parse_int(word, 0, kMaxErrorCode, code))
            return true;
        fail("error code " + quoted(word) + " is not a number from 0 to " +
             std::to_string(kMaxErrorCode));
        return false;
    }

    void setting(std::string_view key, Words &words) {
        const std::string_view word = words.next();
        if (word.empty()) {
            fail(std::string(key) + " without a value");
            return;
        }
        if (!words.at_end()) {
            fail("too many words after " + std::string(key));
            return;
        }
        CatalogueSettings &s = desc_.settings;
        int value = 0;
        if (key == "latency") {
            if (parse_int(word, 0, kMaxLatencyMs, value))
                s.latency_ms = value;
            else
                fail("latency " + quoted(word) + " is not a number of milliseconds from 0 to " +
                     std::to_string(kMaxLatencyMs));
        } else if (key == "chunk") {
            if (parse_int(word, kMinChunkFrames, kMaxChunkFrames, value))
                s.chunk_frames = value;
            else
                fail("chunk " + quoted(word) + " is not a number of frames from " +
                     std::to_string(kMinChunkFrames) + " to " + std::to_string(kMaxChunkFrames));
        } else if (error_code(word, value)) {
            if (key == "fail-create")
                s.fail_create = value;
            else if (key == "fail-login")
                s.fail_login = value;
            else
                s.refuse_login = value;
        }
    }

    CatalogueDesc &desc_;
    std::string folder_;                    // relative paths start here
    std::unordered_set<std::string> names_; // account names seen
    int line_ = 0;
    int account_ = -1;
    int playlist_ = -1;
    int track_ = -1;
};

} // namespace

CatalogueDesc read_catalogue_file(const std::string &path) {
    CatalogueDesc desc;
    std::FILE *file = open_file(path, "rb");
    if (!file) {
        desc.add_problem(1, "cannot open the file");
        return desc;
    }
    Reader reader(desc, folder_of(path));
    const bool read = read_text_lines(file, [&](const TextLine &line) { reader.line(line); });
    std::fclose(file);
    if (!read)
        desc.add_problem(desc.first_bad_line ? desc.first_bad_line : 1, "cannot read the file");
    return desc;
}

CatalogueDesc read_catalogue_text(const std::string &text, const std::string &folder) {
    CatalogueDesc desc;
    Reader reader(desc, folder);
    split_text_lines(text, [&](const TextLine &line) { reader.line(line); });
    return desc;
}

} // namespace music
