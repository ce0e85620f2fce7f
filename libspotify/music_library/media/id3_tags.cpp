// ID3v2 artist and title; see id3_tags.h.
#include "media/id3_tags.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "base/text_lines.h"

namespace music {
namespace {

constexpr uint64_t kTagHeaderBytes = 10;
// A text frame larger than this holds no name.
constexpr uint32_t kMaxTextFrameBytes = 64 * 1024;
// Names longer than this are cut, at a character's start.
constexpr size_t kMaxNameBytes = 1024;
// A tag unsynchronised as a whole is undone in memory: at most this much.
constexpr uint64_t kMaxUnsyncTagBytes = 1 << 20;
// Frames stepped over before giving up.
constexpr int kMaxFrames = 4096;

// Bytes read at an offset: a buffer, or an open file.
class Bytes {
public:
    virtual ~Bytes() = default;
    uint64_t size() const { return size_; }
    // False when [at, at + n) is not all there.
    virtual bool read(uint64_t at, unsigned char *out, size_t n) = 0;

protected:
    uint64_t size_ = 0;
};

class MemoryBytes : public Bytes {
public:
    MemoryBytes(const unsigned char *data, size_t size) : data_(data) { size_ = size; }
    bool read(uint64_t at, unsigned char *out, size_t n) override {
        if (at > size_ || n > size_ - at)
            return false;
        if (n > 0)
            std::memcpy(out, data_ + at, n);
        return true;
    }

private:
    const unsigned char *data_;
};

class FileBytes : public Bytes {
public:
    explicit FileBytes(std::FILE *file) : file_(file) {
        const int64_t size = file_size(file);
        size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
    }
    bool read(uint64_t at, unsigned char *out, size_t n) override {
        if (at > size_ || n > size_ - at)
            return false;
        return seek_to(file_, static_cast<int64_t>(at)) && std::fread(out, 1, n, file_) == n;
    }

private:
    std::FILE *file_;
};

uint32_t be24(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}
uint32_t be32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) << 24 | be24(p + 1);
}
bool is_syncsafe(const unsigned char *p) {
    return ((p[0] | p[1] | p[2] | p[3]) & 0x80) == 0;
}
uint32_t syncsafe(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) << 21 | static_cast<uint32_t>(p[1]) << 14 |
           static_cast<uint32_t>(p[2]) << 7 | p[3];
}

// Undoes unsynchronisation: every 0xFF 0x00 was written for a 0xFF.
void undo_unsync(std::vector<unsigned char> &bytes) {
    size_t out = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[out++] = bytes[i];
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00)
            ++i;
    }
    bytes.resize(out);
}

// UTF-16 up to its first NUL; a byte-order mark at the start overrides
// `big_endian`. A surrogate without its partner becomes U+FFFD.
std::string utf16_text(const unsigned char *p, size_t n, bool big_endian) {
    if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
        big_endian = p[0] == 0xFE;
        p += 2;
        n -= 2;
    }
    std::string out;
    const size_t units = n / 2;
    auto unit = [&](size_t i) {
        const unsigned char *u = p + 2 * i;
        return static_cast<uint32_t>(big_endian ? u[0] << 8 | u[1] : u[1] << 8 | u[0]);
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c == 0)
            break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        append_utf8(out, c);
    }
    return out;
}

// A text frame's first string, in UTF-8: controls become blanks, blanks
// at either end go, and a name too long is cut. Empty when the text cannot
// be read (an unknown encoding, UTF-8 that is not).
std::string frame_text(const unsigned char *p, size_t n) {
    if (n == 0)
        return {};
    const unsigned encoding = p[0];
    ++p;
    --n;
    std::string text;
    if (encoding == 0 || encoding == 3) {
        const auto *nul = static_cast<const unsigned char *>(std::memchr(p, 0, n));
        const size_t length = nul ? static_cast<size_t>(nul - p) : n;
        if (encoding == 0) {
            for (size_t i = 0; i < length; ++i)
                append_utf8(text, p[i]);
        } else {
            text.assign(reinterpret_cast<const char *>(p), length);
            if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
                text.erase(0, 3);
            if (utf8_invalid_at(text) != std::string::npos)
                return {};
        }
    } else if (encoding == 1 || encoding == 2) {
        // A UTF-16 string without its byte-order mark is taken as little
        // endian, as the writers that leave it out write it.
        text = utf16_text(p, n, encoding == 2);
    } else {
        return {};
    }
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    size_t end = text.size();
    while (end > start && text[end - 1] == ' ')
        --end;
    if (end - start > kMaxNameBytes) {
        end = start + kMaxNameBytes;
        while (end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
    }
    return text.substr(start, end - start);
}

// Walks the frames of one tag's body.
class FrameReader {
public:
    FrameReader(Bytes &bytes, int version, bool unsync_all)
        : bytes_(bytes), version_(version), unsync_all_(unsync_all) {}

    // Reads the frames in [at, end) into tags.
    void read(uint64_t at, uint64_t end, FileTags &tags) {
        const uint64_t header = version_ == 2 ? 6 : 10;
        bool have_artist = false;
        bool have_title = false;
        for (int count = 0; count < kMaxFrames && !(have_artist && have_title); ++count) {
            unsigned char h[10];
            if (end < header || at > end - header || !bytes_.read(at, h, header) || !is_frame_id(h))
                return; // the end, padding, or something that is not a frame
            const uint64_t body = at + header;
            uint64_t size = frame_size(h, body, end);
            if (size > end - body)
                return;
            const char *artist_id = version_ == 2 ? "TP1" : "TPE1";
            const char *title_id = version_ == 2 ? "TT2" : "TIT2";
            const size_t id_length = version_ == 2 ? 3 : 4;
            const bool artist = !have_artist && std::memcmp(h, artist_id, id_length) == 0;
            const bool title = !have_title && std::memcmp(h, title_id, id_length) == 0;
            if ((artist || title) && size <= kMaxTextFrameBytes) {
                std::string text = text_of(h, body, static_cast<size_t>(size));
                if (!text.empty()) {
                    (artist ? tags.artist : tags.title) = std::move(text);
                    (artist ? have_artist : have_title) = true;
                }
            }
            at = body + size;
        }
    }

private:
    bool is_frame_id(const unsigned char *h) const {
        const int length = version_ == 2 ? 3 : 4;
        for (int i = 0; i < length; ++i) {
            if (!((h[i] >= 'A' && h[i] <= 'Z') || (h[i] >= '0' && h[i] <= '9')))
                return false;
        }
        return true;
    }

    // A frame header's size. Some 2.4 writers store it as a plain number,
    // not syncsafe: where the two differ, the one that lands on another
    // frame (or on the end, or on padding) wins.
    uint64_t frame_size(const unsigned char *h, uint64_t body, uint64_t end) {
        if (version_ == 2)
            return be24(h + 3);
        const uint32_t plain = be32(h + 4);
        if (version_ == 3 || !is_syncsafe(h + 4))
            return plain;
        const uint32_t safe = syncsafe(h + 4);
        if (safe != plain && !lands_on_frame(body, safe, end) && lands_on_frame(body, plain, end))
            return plain;
        return safe;
    }

    bool lands_on_frame(uint64_t body, uint64_t size, uint64_t end) {
        if (size > end - body)
            return false;
        const uint64_t next = body + size;
        unsigned char h[4];
        if (end - next < 4 || !bytes_.read(next, h, 4))
            return true;
        return h[0] == 0 || is_frame_id(h);
    }

    // The text of a wanted frame; empty when it is compressed, encrypted or
    // cannot be read.
    std::string text_of(const unsigned char *h, uint64_t body, size_t size) {
        size_t skip = 0;
        bool unsync = unsync_all_;
        if (version_ == 3) {
            if (h[9] & 0xC0)
                return {}; // compressed or encrypted
            if (h[9] & 0x20)
                skip += 1; // group
        } else if (version_ == 4) {
            if (h[9] & 0x0C)
                return {};
            if (h[9] & 0x40)
                skip += 1;
            if (h[9] & 0x01)
                skip += 4; // data length
            unsync = unsync || (h[9] & 0x02) != 0;
        }
        if (skip > size)
            return {};
        std::vector<unsigned char> data(size - skip);
        if (!bytes_.read(body + skip, data.data(), data.size()))
            return {};
        if (unsync)
            undo_unsync(data);
        return frame_text(data.data(), data.size());
    }

    Bytes &bytes_;
    int version_;
    bool unsync_all_;
};

bool read_tag(Bytes &bytes, FileTags &tags) {
    unsigned char h[kTagHeaderBytes];
    if (!bytes.read(0, h, sizeof h) || std::memcmp(h, "ID3", 3) != 0)
        return false;
    const int version = h[3];
    const unsigned flags = h[5];
    if (version < 2 || version > 4 || h[4] == 0xFF || !is_syncsafe(h + 6))
        return false;
    if (version == 2 && (flags & 0x40))
        return false; // a compressed 2.2 tag: no scheme was ever defined
    // A tag that claims more than the file holds is read as far as it goes.
    uint64_t end = kTagHeaderBytes + syncsafe(h + 6);
    if (end > bytes.size())
        end = bytes.size();

    FileTags found;
    if ((flags & 0x80) && version < 4) {
        // Unsynchronised as a whole: frame sizes count the bytes as they
        // were before, so the whole body is undone first.
        const uint64_t length = std::min(end - kTagHeaderBytes, kMaxUnsyncTagBytes);
        std::vector<unsigned char> body(static_cast<size_t>(length));
        if (!bytes.read(kTagHeaderBytes, body.data(), body.size()))
            return false;
        undo_unsync(body);
        MemoryBytes plain(body.data(), body.size());
        uint64_t at = 0;
        if (version == 3 && (flags & 0x40)) {
            if (body.size() < 4)
                return false;
            at = 4 + static_cast<uint64_t>(be32(body.data()));
        }
        if (at <= body.size())
            FrameReader(plain, version, false).read(at, body.size(), found);
    } else {
        uint64_t at = kTagHeaderBytes;
        if (flags & 0x40) {
            // The extended header: its size excludes its own four bytes in
            // 2.3 and includes them (syncsafe) in 2.4.
            unsigned char e[4];
            if (!bytes.read(at, e, 4))
                return false;
            if (version == 3)
                at += 4 + static_cast<uint64_t>(be32(e));
            else if (is_syncsafe(e) && syncsafe(e) >= 6)
                at += syncsafe(e);
            else
                return false;
        }
        if (at <= end)
            FrameReader(bytes, version, (flags & 0x80) != 0).read(at, end, found);
    }
    // A name an earlier tag gave (a file with two) stands.
    if (tags.artist.empty())
        tags.artist = std::move(found.artist);
    if (tags.title.empty())
        tags.title = std::move(found.title);
    return true;
}

} // namespace

bool read_id3_tags(const unsigned char *data, size_t size, FileTags &tags) {
    if (!data)
        return false;
    MemoryBytes bytes(data, size);
    return read_tag(bytes, tags);
}

bool read_id3_tags(std::FILE *file, FileTags &tags) {
    if (!file)
        return false;
    FileBytes bytes(file);
    return read_tag(bytes, tags);
}

} // namespace music
