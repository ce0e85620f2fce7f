// ID3v2 artist and title: every version's frames and text encodings reach
// UTF-8; damaged or hostile tags give what they validly hold, never more.
#include <gtest/gtest.h>

#include <string>

#include "media/id3_tags.h"

namespace {

using namespace std::string_literals;

std::string be(uint32_t value, int bytes, bool safe) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>(safe ? value >> (7 * i) & 0x7F : value >> (8 * i) & 0xFF));
    return out;
}

// One frame of a tag of `version`: id, size, (flags), body.
std::string frame(int version, const std::string &id, const std::string &body, int flags = 0) {
    if (version == 2)
        return id + be(static_cast<uint32_t>(body.size()), 3, false) + body;
    return id + be(static_cast<uint32_t>(body.size()), 4, version == 4) + '\0' +
           static_cast<char>(flags) + body;
}

std::string tag(int version, const std::string &frames, int flags = 0) {
    return std::string("ID3") + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
           be(static_cast<uint32_t>(frames.size()), 4, true) + frames;
}

const std::string kText = "\0T"s; // Latin-1 "T"

music::FileTags read(const std::string &bytes, bool expect_found = true) {
    music::FileTags tags;
    EXPECT_EQ(music::read_id3_tags(reinterpret_cast<const unsigned char *>(bytes.data()),
                                   bytes.size(), tags),
              expect_found);
    return tags;
}

TEST(Id3TagsGiveArtistAndTitleInUtf8, InEveryVersionAndEncodingAndOnlyWhatIsValid) {
    const std::string title = frame(3, "TIT2", kText);
    const std::string whole = tag(3, title + frame(3, "TPE1", "\0Artist"s));
    const struct {
        const char *what;
        std::string bytes;
        const char *artist, *title;
    } cases[] = {
        {"2.2 Latin-1, controls and blanks",
         tag(2, frame(2, "TP1", "\0Caf\xE9"s) + frame(2, "TT2", "\0 a\tb\x0A "s)), "Café", "a b"},
        {"2.3 UTF-16 with either mark",
         tag(3, frame(3, "TPE1",
                      "\x01\xFF\xFE"
                      "A\0\xF8\0"s) +
                    frame(3, "TIT2", "\x01\xFE\xFF\0B\0\xE9\0\0\0Z"s)),
         "Aø", "Bé"},
        {"2.4 UTF-16BE with a pair, UTF-8 with a mark, first string",
         tag(4, frame(4, "TIT2", "\x02\xD8\x34\xDD\x1E\0!"s) +
                    frame(4, "TPE1", "\x03\xEF\xBB\xBFJos\xC3\xA9\0Ana"s)),
         "José", "\xF0\x9D\x84\x9E!"},
        {"2.3 extended header",
         tag(3, be(6, 4, false) + std::string(6, '\0') + frame(3, "TIT2", kText), 0x40), "", "T"},
        {"2.4 extended header", tag(4, be(6, 4, true) + "\x01\0"s + frame(4, "TIT2", kText), 0x40),
         "", "T"},
        {"2.3 whole tag unsynchronised",
         tag(3, "TPE1"s + be(4, 4, false) + "\0\0\0\xFF\0\xFF\0x"s, 0x80), "ÿÿx", ""},
        {"2.4 frame unsynchronised, data length",
         tag(4, frame(4, "TPE1", "\0\0\0\x03\0\xFF\0y"s, 0x03)), "ÿy", ""},
        {"2.4 size written as a plain number",
         tag(4, frame(3, "PRIV", std::string(256, '\x01')) + frame(4, "TIT2", kText)), "", "T"},
        {"a large frame stepped over",
         tag(4, frame(4, "APIC", std::string(300000, '\xFF')) + frame(4, "TIT2", kText)), "", "T"},
        {"tag cut short", whole.substr(0, whole.size() - 3), "", "T"},
        {"frame past the tag", tag(3, title + "TPE1" + be(100, 4, false) + "\0\0\0A"s), "", "T"},
        {"garbage ends the frames", tag(3, title + "\x01\x02\x03\x04" + frame(3, "TPE1", "\0A"s)),
         "", "T"},
        {"encrypted, compressed, unknown encoding, bad UTF-8",
         tag(3, frame(3, "TPE1", "\0A"s, 0x40) + frame(3, "TPE1", "\0A"s, 0x80) +
                    frame(3, "TIT2", "\x07T"s) + frame(3, "TIT2", "\x03\xC3("s)),
         "", ""},
        {"UTF-16 lone surrogate, odd length", tag(4, frame(4, "TIT2", "\x02\xD8\0\0a\0"s)), "",
         "\xEF\xBF\xBD"
         "a"},
        {"a name given twice: the first", tag(3, title + frame(3, "TIT2", "\0Second"s)), "", "T"},
    };
    for (const auto &c : cases) {
        const music::FileTags tags = read(c.bytes);
        EXPECT_EQ(tags.artist + " / " + tags.title, c.artist + " / "s + c.title) << c.what;
    }
    // A second tag (a file with two) leaves the names of the first.
    music::FileTags first{"Ann", ""};
    music::read_id3_tags(reinterpret_cast<const unsigned char *>(whole.data()), whole.size(),
                         first);
    EXPECT_EQ(first.artist + " / " + first.title, "Ann / T");

    std::string cut = "a"; // 1024 bytes at most, at a character's start
    for (int i = 0; i < 511; ++i)
        cut += "é";
    EXPECT_EQ(read(tag(3, frame(3, "TIT2", "\0a"s + std::string(2000, '\xE9')))).title, cut);
    // Not a tag (none, cut, unknown version, bad size, compressed 2.2).
    for (const std::string &bad :
         {""s, "ID3"s, "ID3\x05\0\0\0\0\0\0"s, "ID3\x03\0\0\0\0\x80\0"s, "ID3\x02\0\x40\0\0\0\0"s})
        EXPECT_EQ(read(bad, false).title, "");
}

} // namespace
