// The WAV decoder: RIFF/WAVE with a PCM, IEEE float or
// WAVE_FORMAT_EXTENSIBLE format, integer samples of 8, 16, 24 or 32 bits and
// float samples of 32 or 64 bits, any channel count and rate within the
// decoder's limits. Every chunk's length and offset is checked against the
// file before it is used; the sample data is read as it plays. Artist and
// title come from a LIST/INFO chunk (IART, INAM) when there is one, else
// from an ID3v2 tag in an "id3 " chunk.
#include <cstring>
#include <vector>

#include "media/decoder.h"
#include "base/file_io.h"
#include "media/id3_tags.h"
#include "base/text_lines.h"

namespace splocal {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The tail of the KSDATAFORMAT_SUBTYPE GUIDs, after the format tag.
constexpr unsigned char kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint32_t kMaxTagBytes = 1024;
constexpr uint32_t kMaxInfoBytes = 64 * 1024;
constexpr uint32_t kMaxId3Bytes = 1024 * 1024;

uint16_t le16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool read_exact(std::FILE *file, void *out, size_t size) {
    return std::fread(out, 1, size, file) == size;
}

// An INFO text: up to its first NUL, kept only when it is UTF-8.
std::string info_text(const unsigned char *p, uint32_t size) {
    std::string text(reinterpret_cast<const char *>(p), size);
    text.resize(std::strlen(text.c_str()));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return utf8_invalid_at(text) == std::string::npos ? text : std::string();
}

void read_info(const std::vector<unsigned char> &list, FileTags &tags) {
    if (list.size() < 4 || std::memcmp(list.data(), "INFO", 4) != 0)
        return;
    size_t at = 4;
    while (at + 8 <= list.size()) {
        const unsigned char *head = list.data() + at;
        const uint32_t size = le32(head + 4);
        if (size > list.size() - at - 8)
            return;
        if (size <= kMaxTagBytes) {
            if (std::memcmp(head, "IART", 4) == 0)
                tags.artist = info_text(head + 8, size);
            else if (std::memcmp(head, "INAM", 4) == 0)
                tags.title = info_text(head + 8, size);
        }
        at += 8 + size + (size & 1);
    }
}

class WavDecoder : public Decoder {
public:
    ~WavDecoder() override {
        if (file_)
            std::fclose(file_);
    }

    bool open(std::FILE *file, std::string &why) {
        file_ = file;
        const int64_t size = file_size(file_);
        unsigned char riff[12];
        if (size < 12 || !seek_to(file_, 0) || !read_exact(file_, riff, 12) ||
            std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
            why = "not a RIFF WAVE file";
            return false;
        }
        // The RIFF size may not be trusted beyond the file itself; 0 and
        // 0xFFFFFFFF are placeholders (a recorder that stopped before it
        // wrote the sizes): the chunks go on to the end of the file.
        const uint32_t riff_size = le32(riff + 4);
        const bool riff_placeholder = riff_size == 0 || riff_size == 0xFFFFFFFFu;
        int64_t end = riff_placeholder ? size : 8 + static_cast<int64_t>(riff_size);
        if (end > size)
            end = size;
        FileTags id3;
        bool have_format = false;
        int64_t data_at = -1;
        int64_t data_size = 0;
        for (int64_t at = 12; at + 8 <= end;) {
            unsigned char head[8];
            if (!seek_to(file_, at) || !read_exact(file_, head, 8)) {
                why = "cannot read a chunk header";
                return false;
            }
            const int64_t chunk = le32(head + 4);
            const int64_t body = at + 8;
            const int64_t room = end - body;
            if (std::memcmp(head, "fmt ", 4) == 0) {
                if (have_format) {
                    why = "two format chunks";
                    return false;
                }
                if (chunk > room) {
                    why = "format chunk runs past the end";
                    return false;
                }
                if (!format(chunk, why))
                    return false;
                have_format = true;
            } else if (std::memcmp(head, "data", 4) == 0 && data_at < 0) {
                data_at = body;
                if ((chunk == 0 || chunk == 0xFFFFFFFF) && size > body) {
                    // A placeholder size: the samples go on to the end of
                    // the file, and nothing after them is a chunk.
                    data_size = size - body;
                    notes_.push_back("the header's data size is a placeholder (a recording "
                                     "that was not finished?): played to the end of the file");
                    break;
                }
                // A data chunk longer than the file (a recording or a
                // download cut short) holds what the file holds.
                data_size = chunk < room ? chunk : room;
                if (chunk > room)
                    notes_.push_back("the file ends early: " + std::to_string(room) + " of its " +
                                     std::to_string(chunk) +
                                     " bytes of samples are there (a partial download?)");
            } else if (std::memcmp(head, "LIST", 4) == 0 && chunk <= room &&
                       chunk <= kMaxInfoBytes) {
                std::vector<unsigned char> list(static_cast<size_t>(chunk));
                if (read_exact(file_, list.data(), list.size()))
                    read_info(list, tags_);
            } else if ((std::memcmp(head, "id3 ", 4) == 0 || std::memcmp(head, "ID3 ", 4) == 0) &&
                       chunk <= room && chunk <= kMaxId3Bytes) {
                std::vector<unsigned char> tag(static_cast<size_t>(chunk));
                if (read_exact(file_, tag.data(), tag.size()))
                    read_id3_tags(tag.data(), tag.size(), id3);
            }
            at = body + chunk + (chunk & 1);
        }
        if (tags_.artist.empty())
            tags_.artist = id3.artist;
        if (tags_.title.empty())
            tags_.title = id3.title;
        if (!have_format) {
            why = "no format chunk";
            return false;
        }
        if (data_at < 0) {
            why = "no data chunk";
            return false;
        }
        if (riff_placeholder && notes_.empty())
            notes_.push_back(
                "the header's RIFF size is a placeholder: read to the end of the file");
        frames_left_ = data_size / block_;
        length_ = frames_left_;
        data_at_ = data_at;
        if (!seek_to(file_, data_at)) {
            why = "cannot reach the data";
            return false;
        }
        return true;
    }

    int read(double *out, int frames) override {
        if (frames <= 0 || frames_left_ <= 0)
            return 0;
        if (frames > frames_left_)
            frames = static_cast<int>(frames_left_);
        raw_.resize(static_cast<size_t>(frames) * block_);
        const size_t got = std::fread(raw_.data(), 1, raw_.size(), file_);
        const int whole = static_cast<int>(got / block_);
        if (whole < frames) {
            failure_ = "the file ends before its data";
            frames_left_ = 0;
        } else {
            frames_left_ -= whole;
        }
        const size_t samples = static_cast<size_t>(whole) * static_cast<size_t>(channels_);
        const unsigned char *p = raw_.data();
        const int bytes = bits_ / 8;
        for (size_t i = 0; i < samples; ++i, p += bytes)
            out[i] = sample(p);
        return whole;
    }

    bool seek(int64_t frame) override {
        if (frame < 0)
            return false;
        if (frame > length_)
            frame = length_;
        if (!seek_to(file_, data_at_ + frame * block_)) {
            failure_ = "cannot seek in the file";
            frames_left_ = 0;
            return false;
        }
        frames_left_ = length_ - frame;
        return true;
    }

private:
    bool format(int64_t chunk, std::string &why) {
        if (chunk < 16 || chunk > 1024) {
            why = "format chunk of " + std::to_string(chunk) + " bytes";
            return false;
        }
        unsigned char f[1024];
        if (!read_exact(file_, f, static_cast<size_t>(chunk))) {
            why = "cannot read the format chunk";
            return false;
        }
        uint16_t tag = le16(f);
        channels_ = le16(f + 2);
        const uint32_t rate = le32(f + 4);
        block_ = le16(f + 12);
        bits_ = le16(f + 14);
        if (tag == kFormatExtensible) {
            if (chunk < 40 || le16(f + 16) < 22 || std::memcmp(f + 26, kSubtypeTail, 14) != 0) {
                why = "unknown extensible format";
                return false;
            }
            mask_ = le32(f + 20);
            tag = le16(f + 24);
        }
        if (tag == kFormatPcm && (bits_ == 8 || bits_ == 16 || bits_ == 24 || bits_ == 32)) {
            float_ = false;
        } else if (tag == kFormatFloat && (bits_ == 32 || bits_ == 64)) {
            float_ = true;
        } else {
            why = "sample format " + std::to_string(tag) + " with " + std::to_string(bits_) +
                  " bits is not supported";
            return false;
        }
        if (channels_ < 1 || channels_ > kMaxFileChannels) {
            why = std::to_string(channels_) + " channels";
            return false;
        }
        if (rate < static_cast<uint32_t>(kMinFileRate) ||
            rate > static_cast<uint32_t>(kMaxFileRate)) {
            why = "sample rate " + std::to_string(rate);
            return false;
        }
        rate_ = static_cast<int>(rate);
        if (block_ != channels_ * bits_ / 8) {
            why = "block size " + std::to_string(block_) + " does not match the format";
            return false;
        }
        // A mask that names fewer or more speakers than there are channels
        // says nothing useful.
        int named = 0;
        for (uint32_t m = mask_; m; m &= m - 1)
            ++named;
        if (named != channels_)
            mask_ = default_channel_mask(channels_);
        return true;
    }

    double sample(const unsigned char *p) const {
        switch (bits_) {
        case 8:
            return (static_cast<int>(p[0]) - 128) / 128.0;
        case 16:
            return static_cast<int16_t>(le16(p)) / 32768.0;
        case 24:
            return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                        static_cast<uint32_t>(p[1]) << 16 |
                                        static_cast<uint32_t>(p[2]) << 24) /
                   2147483648.0;
        case 32:
            if (float_) {
                float f;
                std::memcpy(&f, p, 4);
                return f;
            }
            return static_cast<int32_t>(le32(p)) / 2147483648.0;
        default: {
            double d;
            std::memcpy(&d, p, 8);
            return d;
        }
        }
    }

    std::FILE *file_ = nullptr;
    int block_ = 0;
    int bits_ = 0;
    bool float_ = false;
    int64_t frames_left_ = 0;
    int64_t data_at_ = 0; // the first sample's offset in the file
    std::vector<unsigned char> raw_;
};

} // namespace

std::unique_ptr<Decoder> open_wav(std::FILE *file, std::string &why) {
    auto decoder = std::make_unique<WavDecoder>();
    if (!decoder->open(file, why))
        return nullptr;
    return decoder;
}

} // namespace splocal
