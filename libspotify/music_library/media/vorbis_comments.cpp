// Ogg Vorbis headers and comments; see vorbis_comments.h.
#include "media/vorbis_comments.h"

#include <cstdint>
#include <cstring>

#include "base/text_lines.h"

namespace music {
namespace {

// A comment header larger than this (cover pictures included) is refused.
constexpr uint64_t kMaxCommentPacket = 64ull << 20;
constexpr uint32_t kMaxComments = 65536;
constexpr size_t kMaxValueBytes = 1024;

uint32_t le32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The bytes of one packet at a time, over the pages that carry it.
class OggPacket {
public:
    explicit OggPacket(std::FILE *file) : file_(file) {}

    // Starts a packet at the start of the next page: the first page of the
    // stream when `first`, which holds only that packet.
    bool start(bool first) {
        ended_ = false;
        size_ = 0;
        if (!next_page(first ? 0x02 : 0x00))
            return false;
        return !first || (segments_ == 1 && lacing_[0] == 30);
    }

    // Reads n bytes of the packet; false when it ends first.
    bool read(unsigned char *out, size_t n) { return take(out, n); }
    bool skip(uint64_t n) { return take(nullptr, n); }
    uint64_t size() const { return size_; }

private:
    // Reads the header of the stream's next page; `flags` are its begin,
    // end and continuation bits as expected (0x02: the stream's first). The
    // pages of other streams carried with it (video, an index) are passed
    // over, and so are their first pages before the Vorbis stream's.
    bool next_page(unsigned flags) {
        while (true) {
            unsigned char h[27];
            if (std::fread(h, 1, 27, file_) != 27 || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0)
                return false;
            segments_ = h[26];
            segment_ = 0;
            left_ = 0;
            if (std::fread(lacing_, 1, segments_, file_) != segments_)
                return false;
            const uint32_t serial = le32(h + 14);
            const bool other = flags == 0x02 ? (h[5] & 0x02) && !vorbis_first() : serial != serial_;
            if (!other) {
                serial_ = serial;
                return (h[5] & 0x07) == flags;
            }
            long body = 0;
            for (unsigned i = 0; i < segments_; ++i)
                body += lacing_[i];
            if (std::fseek(file_, body, SEEK_CUR) != 0)
                return false;
        }
    }

    // Whether the page whose body is next starts a Vorbis stream.
    bool vorbis_first() {
        unsigned char start[7];
        const bool read = segments_ > 0 && lacing_[0] >= 7 && std::fread(start, 1, 7, file_) == 7;
        if (read && std::fseek(file_, -7, SEEK_CUR) != 0)
            return false;
        return read && start[0] == 1 && std::memcmp(start + 1, "vorbis", 6) == 0;
    }

    bool take(unsigned char *out, uint64_t n) {
        while (n > 0) {
            if (left_ == 0) {
                if (ended_)
                    return false;
                if (segment_ == segments_ && !next_page(0x01))
                    return false; // the packet goes on, on a page that continues it
                if (segment_ == segments_)
                    continue;
                left_ = lacing_[segment_];
                ended_ = lacing_[segment_++] < 255;
                size_ += left_;
                if (size_ > kMaxCommentPacket)
                    return false;
                continue;
            }
            const size_t step = n < left_ ? static_cast<size_t>(n) : left_;
            if (out ? std::fread(out, 1, step, file_) != step
                    : std::fseek(file_, static_cast<long>(step), SEEK_CUR) != 0)
                return false;
            if (out)
                out += step;
            left_ -= step;
            n -= step;
        }
        return true;
    }

    std::FILE *file_;
    unsigned char lacing_[255] = {};
    unsigned segments_ = 0;
    unsigned segment_ = 0;
    size_t left_ = 0;     // bytes of the current segment not yet read
    uint32_t serial_ = 0; // the Vorbis stream's
    bool ended_ = false;
    uint64_t size_ = 0;
};

bool key_is(const std::string &comment, const char *key) {
    const size_t n = std::strlen(key);
    if (comment.size() <= n || comment[n] != '=')
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = comment[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != key[i])
            return false;
    }
    return true;
}

bool identification(OggPacket &packet, std::string &why) {
    unsigned char h[30];
    if (!packet.start(true) || !packet.read(h, 30) || h[0] != 1 ||
        std::memcmp(h + 1, "vorbis", 6) != 0) {
        why = "not a readable Ogg Vorbis stream";
        return false;
    }
    const unsigned small = h[28] & 15;
    const unsigned large = h[28] >> 4;
    if (le32(h + 7) != 0 || h[11] == 0 || le32(h + 12) == 0 || small < 6 || large > 13 ||
        small > large || !(h[29] & 1)) {
        why = "not a readable Ogg Vorbis stream: its identification header is not valid";
        return false;
    }
    return true;
}

} // namespace

bool read_vorbis_comments(std::FILE *file, FileTags &tags, std::string &why) {
    OggPacket packet(file);
    if (!identification(packet, why))
        return false;
    why = "not a readable Ogg Vorbis stream: its comment header is not valid";
    unsigned char h[11];
    if (!packet.start(false) || !packet.read(h, 11) || h[0] != 3 ||
        std::memcmp(h + 1, "vorbis", 6) != 0 || !packet.skip(le32(h + 7)))
        return false;
    unsigned char word[4];
    if (!packet.read(word, 4) || le32(word) > kMaxComments)
        return false;
    const uint32_t count = le32(word);
    for (uint32_t i = 0; i < count; ++i) {
        if (!packet.read(word, 4))
            return false;
        const uint32_t length = le32(word);
        // Only the start of a comment is kept: enough for "TITLE=" and the
        // longest value taken.
        std::string comment(length < kMaxValueBytes + 8 ? length : kMaxValueBytes + 8, '\0');
        if (!packet.read(reinterpret_cast<unsigned char *>(comment.data()), comment.size()) ||
            !packet.skip(length - comment.size()))
            return false;
        const bool artist = key_is(comment, "ARTIST");
        if (!artist && !key_is(comment, "TITLE"))
            continue;
        // A name given twice: the first that can be used stands, as other
        // players show it.
        std::string &name = artist ? tags.artist : tags.title;
        const std::string value = comment.substr(artist ? 7 : 6);
        if (name.empty() && !value.empty() && length - (artist ? 7 : 6) <= kMaxValueBytes &&
            utf8_invalid_at(value) == std::string::npos)
            name = value;
    }
    unsigned char framing = 0;
    if (!packet.read(&framing, 1) || !(framing & 1))
        return false;
    why.clear();
    return true;
}

} // namespace music
