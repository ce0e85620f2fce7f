// The WAV decoder: RIFF/WAVE, and RF64 or BW64 (whose "ds64" chunk holds the
// 64-bit sizes), with a PCM, IEEE float, A-law, mu-law or
// WAVE_FORMAT_EXTENSIBLE format: integer samples of 8, 16, 24 or 32 bits (24
// also in 4-byte containers), float samples of 32 or 64 bits, G.711 samples
// of 8 bits, any channel count and rate within the decoder's limits. Every
// chunk's length and offset is checked against the file before it is used;
// the sample data is read as it plays. Artist and title come from a
// LIST/INFO chunk (IART, INAM) when there is one, else from an ID3v2 tag in
// an "id3 " chunk.
#include <algorithm>
#include <cstring>
#include <vector>

#include "media/decoder.h"
#include "base/file_io.h"
#include "media/id3_tags.h"
#include "base/text_lines.h"

namespace music {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatALaw = 6;
constexpr uint16_t kFormatMuLaw = 7;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The tail of the KSDATAFORMAT_SUBTYPE GUIDs, after the format tag.
constexpr unsigned char kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint32_t kMaxTagBytes = 1024;
constexpr uint32_t kMaxInfoBytes = 64 * 1024;
constexpr uint32_t kMaxId3Bytes = 1024 * 1024;
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFFu; // an RF64 size field: see the ds64 chunk

// Looking for the chunks reads at most this much of the file (headers, tags
// and runs of zeros): 64 MiB take well under a second even from a slow disk
// (0.4 s at 150 MB/s), and are far more than real files hold around their
// samples (padding, broadcast metadata, pictures). A file that shows no
// samples by then is space that a recorder set aside and never filled.
constexpr int64_t kScanBudget = int64_t{64} << 20;
constexpr size_t kHeaderBlock = 4096;  // read around a chunk header
constexpr size_t kZeroBlock = 1 << 20; // read through a run of zeros

uint16_t le16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t le64(const unsigned char *p) {
    return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32;
}

bool read_exact(std::FILE *file, void *out, size_t size) {
    return std::fread(out, 1, size, file) == size;
}

// G.711, as 16-bit linear values.
int alaw_value(unsigned char code) {
    const int a = code ^ 0x55;
    const int mantissa = (a & 0x0F) << 4;
    const int exponent = (a >> 4) & 7;
    const int magnitude = exponent == 0 ? mantissa + 8 : (mantissa + 0x108) << (exponent - 1);
    return (a & 0x80) ? magnitude : -magnitude;
}
int mulaw_value(unsigned char code) {
    const int u = ~code & 0xFF;
    const int magnitude = (((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 7);
    return (u & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
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

// The file as the chunk walk reads it: a header within the block read last
// costs no read, a chunk's body is passed over without reading it, and a run
// of zero bytes is read through in large blocks. Everything read counts
// against kScanBudget; once that is spent, nothing more is read (spent()).
class ChunkReader {
public:
    ChunkReader(std::FILE *file, int64_t size) : file_(file), size_(size) {}

    // The n bytes at `at` (n at most kHeaderBlock); null where the file
    // ends before them, a read fails or the budget is spent.
    const unsigned char *bytes(int64_t at, size_t n) {
        if (!holds(at, n) && (!fill(at, kHeaderBlock) || !holds(at, n)))
            return nullptr;
        return block_.data() + (at - block_at_);
    }
    bool read(int64_t at, unsigned char *out, size_t n) {
        return charge(n) && seek_to(file_, at) && read_exact(file_, out, n);
    }
    // The offset of the first byte from `at` on that is not zero; `end` when
    // there is none before it, -1 when a read fails or the budget is spent.
    int64_t skip_zeros(int64_t at, int64_t end) {
        static const unsigned char zeros[4096] = {};
        while (at < end) {
            if (!holds(at, 1) && !fill(at, kZeroBlock))
                return -1;
            const int64_t stop = std::min(end, block_at_ + static_cast<int64_t>(block_.size()));
            const unsigned char *p = block_.data() + (at - block_at_);
            const size_t n = static_cast<size_t>(stop - at);
            size_t i = 0;
            while (n - i >= sizeof zeros && std::memcmp(p + i, zeros, sizeof zeros) == 0)
                i += sizeof zeros;
            while (i < n && p[i] == 0)
                ++i;
            if (i < n)
                return at + static_cast<int64_t>(i);
            at = stop;
        }
        return end;
    }
    bool spent() const { return spent_; }

private:
    bool holds(int64_t at, size_t n) const {
        return at >= block_at_ &&
               at + static_cast<int64_t>(n) <= block_at_ + static_cast<int64_t>(block_.size());
    }
    bool charge(size_t n) {
        if (used_ + static_cast<int64_t>(n) > kScanBudget) {
            spent_ = true;
            return false;
        }
        used_ += static_cast<int64_t>(n);
        return true;
    }
    bool fill(int64_t at, size_t want) {
        const int64_t left = size_ - at;
        const size_t n = left < static_cast<int64_t>(want) ? static_cast<size_t>(left) : want;
        if (left <= 0 || !charge(n) || !seek_to(file_, at))
            return false;
        block_.resize(n);
        block_.resize(std::fread(block_.data(), 1, n, file_));
        block_at_ = at;
        return !block_.empty();
    }

    std::FILE *file_;
    int64_t size_;
    std::vector<unsigned char> block_;
    int64_t block_at_ = 0; // the file offset of block_[0]
    int64_t used_ = 0;
    bool spent_ = false;
};

// What an RF64 or BW64 file's "ds64" chunk says: the sizes that do not fit
// the 32-bit fields, which then hold kSizeInDs64.
struct Ds64 {
    bool found = false;
    uint64_t riff = 0;
    uint64_t data = 0;
    std::vector<unsigned char> table; // 12 bytes each: a chunk id, its size

    // The size of the chunk with this header: its own, else the ds64's.
    uint64_t chunk_size(const unsigned char *head) const {
        const uint32_t own = le32(head + 4);
        if (!found || own != kSizeInDs64)
            return own;
        if (std::memcmp(head, "data", 4) == 0)
            return data;
        if (std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0)
            return riff;
        for (size_t i = 0; i + 12 <= table.size(); i += 12) {
            if (std::memcmp(table.data() + i, head, 4) == 0)
                return le64(table.data() + i + 4);
        }
        return own;
    }
};

// The ds64 chunk, which comes first in an RF64 or BW64 file.
Ds64 read_ds64(ChunkReader &chunks, int64_t size) {
    Ds64 ds64;
    const unsigned char *head = size >= 20 + 28 ? chunks.bytes(12, 8 + 28) : nullptr;
    if (!head || std::memcmp(head, "ds64", 4) != 0 || le32(head + 4) < 28)
        return ds64;
    ds64.found = true;
    ds64.riff = le64(head + 8);
    ds64.data = le64(head + 16);
    // The table's entries that the chunk and the header block hold.
    const uint64_t room = std::min<uint64_t>(le32(head + 4) - 28, kHeaderBlock - 8 - 28);
    const uint64_t entries = std::min<uint64_t>(le32(head + 32), room / 12);
    const unsigned char *table = chunks.bytes(12 + 8 + 28, static_cast<size_t>(entries * 12));
    if (table)
        ds64.table.assign(table, table + entries * 12);
    return ds64;
}

bool all_zero(const unsigned char *p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i])
            return false;
    }
    return true;
}

// How the samples are stored.
enum class Coding { Unsigned8, Int16, Int24, Int32, Float32, Float64, ALaw, MuLaw };

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
            (std::memcmp(riff, "RIFF", 4) != 0 && std::memcmp(riff, "RF64", 4) != 0 &&
             std::memcmp(riff, "BW64", 4) != 0) ||
            std::memcmp(riff + 8, "WAVE", 4) != 0) {
            why = "not a RIFF WAVE file";
            return false;
        }
        ChunkReader chunks(file_, size);
        const Ds64 ds64 = std::memcmp(riff, "RIFF", 4) != 0 ? read_ds64(chunks, size) : Ds64{};
        // The RIFF size may not be trusted beyond the file itself; 0 and
        // 0xFFFFFFFF are placeholders (a recorder that stopped before it
        // wrote the sizes): the chunks go on to the end of the file.
        const uint64_t riff_size = ds64.chunk_size(riff);
        const bool riff_placeholder = riff_size == 0 || (!ds64.found && riff_size == kSizeInDs64);
        int64_t end = size;
        if (!riff_placeholder && riff_size < static_cast<uint64_t>(size - 8))
            end = 8 + static_cast<int64_t>(riff_size);
        bool riff_short = false;
        FileTags id3;
        bool have_format = false;
        int64_t data_at = -1;
        int64_t data_size = 0;
        for (int64_t at = 12;;) {
            if (at + 8 > end) {
                // A RIFF size smaller than the chunks the file holds (writers
                // that leave 0 or 8 there): what is missing may come after it.
                if (end == size || (have_format && data_at >= 0))
                    break;
                end = size;
                riff_short = true;
                continue;
            }
            const unsigned char *head = chunks.bytes(at, 8);
            if (head && all_zero(head, 8)) {
                // Room set aside between chunks: the next one starts at the
                // next byte that is not zero.
                at = chunks.skip_zeros(at + 8, end);
                if (at >= 0)
                    continue;
            }
            if (!head || at < 0) {
                if (chunks.spent())
                    break;
                why = "cannot read a chunk header";
                return false;
            }
            const uint64_t claimed = ds64.chunk_size(head);
            const int64_t body = at + 8;
            // Sizes past the file's end all lead past it.
            const int64_t chunk =
                claimed < static_cast<uint64_t>(size) ? static_cast<int64_t>(claimed) : size;
            if (chunk > end - body && end < size) {
                end = size; // a chunk that goes on past the RIFF size
                riff_short = true;
            }
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
                if (chunk < 16 || chunk > 1024) {
                    why = "format chunk of " + std::to_string(chunk) + " bytes";
                    return false;
                }
                const unsigned char *f = chunks.bytes(body, static_cast<size_t>(chunk));
                if (!f) {
                    why = "cannot read the format chunk";
                    return false;
                }
                if (!format(f, chunk, why))
                    return false;
                have_format = true;
            } else if (std::memcmp(head, "data", 4) == 0 && data_at < 0) {
                data_at = body;
                const bool in_ds64 = ds64.found && le32(head + 4) == kSizeInDs64;
                if ((claimed == 0 || (claimed == 0xFFFFFFFF && !in_ds64)) && size > body) {
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
                                     std::to_string(claimed) +
                                     " bytes of samples are there (a partial download?)");
            } else if (std::memcmp(head, "LIST", 4) == 0 && chunk <= room &&
                       chunk <= kMaxInfoBytes) {
                std::vector<unsigned char> list(static_cast<size_t>(chunk));
                if (chunks.read(body, list.data(), list.size()))
                    read_info(list, tags_);
            } else if ((std::memcmp(head, "id3 ", 4) == 0 || std::memcmp(head, "ID3 ", 4) == 0) &&
                       chunk <= room && chunk <= kMaxId3Bytes) {
                std::vector<unsigned char> tag(static_cast<size_t>(chunk));
                if (chunks.read(body, tag.data(), tag.size()))
                    read_id3_tags(tag.data(), tag.size(), id3);
            }
            at = body + chunk + (chunk & 1);
        }
        if (tags_.artist.empty())
            tags_.artist = id3.artist;
        if (tags_.title.empty())
            tags_.title = id3.title;
        if (!have_format || data_at < 0) {
            why = have_format ? "no data chunk" : "no format chunk";
            if (chunks.spent())
                why += " found in " + std::to_string(kScanBudget >> 20) +
                       " MiB of reading (space a recorder set aside but never filled?); the "
                       "rest of the file was not read";
            return false;
        }
        if (riff_short)
            notes_.push_back("the header's RIFF size (" + std::to_string(riff_size) +
                             " bytes) is smaller than the chunks the file holds: read to "
                             "the end of the file");
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
        for (size_t i = 0; i < samples; ++i, p += stride_)
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
    bool format(const unsigned char *f, int64_t chunk, std::string &why) {
        uint16_t tag = le16(f);
        channels_ = le16(f + 2);
        const uint32_t rate = le32(f + 4);
        block_ = le16(f + 12);
        const int bits = le16(f + 14);
        const bool extensible = tag == kFormatExtensible;
        if (extensible) {
            if (chunk < 40 || le16(f + 16) < 22 || std::memcmp(f + 26, kSubtypeTail, 14) != 0) {
                why = "unknown extensible format";
                return false;
            }
            mask_ = le32(f + 20);
            tag = le16(f + 24);
        }
        stride_ = bits / 8;
        if (tag == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
            const Coding codings[] = {Coding::Unsigned8, Coding::Int16, Coding::Int24,
                                      Coding::Int32};
            coding_ = codings[bits / 8 - 1];
            // 24-bit samples in 4-byte words, the sample in the low three
            // bytes (as ALSA's S24_LE): only the block size tells.
            if (bits == 24 && !extensible && block_ == channels_ * 4)
                stride_ = 4;
        } else if (tag == kFormatFloat && (bits == 32 || bits == 64)) {
            coding_ = bits == 32 ? Coding::Float32 : Coding::Float64;
        } else if ((tag == kFormatALaw || tag == kFormatMuLaw) && bits == 8) {
            coding_ = tag == kFormatALaw ? Coding::ALaw : Coding::MuLaw;
        } else {
            why = "sample format " + std::to_string(tag) + " with " + std::to_string(bits) +
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
        if (block_ != channels_ * stride_) {
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
        switch (coding_) {
        case Coding::Unsigned8:
            return (static_cast<int>(p[0]) - 128) / 128.0;
        case Coding::Int16:
            return static_cast<int16_t>(le16(p)) / 32768.0;
        case Coding::Int24:
            return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                        static_cast<uint32_t>(p[1]) << 16 |
                                        static_cast<uint32_t>(p[2]) << 24) /
                   2147483648.0;
        case Coding::Int32:
            return static_cast<int32_t>(le32(p)) / 2147483648.0;
        case Coding::Float32: {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        case Coding::Float64: {
            double d;
            std::memcpy(&d, p, 8);
            return d;
        }
        case Coding::ALaw:
            return alaw_value(p[0]) / 32768.0;
        case Coding::MuLaw:
            return mulaw_value(p[0]) / 32768.0;
        }
        return 0.0;
    }

    std::FILE *file_ = nullptr;
    int block_ = 0;
    int stride_ = 0; // bytes from one sample to the next
    Coding coding_ = Coding::Int16;
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

} // namespace music
