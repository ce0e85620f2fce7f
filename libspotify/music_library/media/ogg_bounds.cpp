// Bounds on Ogg Vorbis files; see ogg_bounds.h.
#include "media/ogg_bounds.h"

#include <cmath>
#include <cstring>

#include "media/decoder.h"

namespace music {
namespace {

constexpr uint64_t kMaxIdentification = 4096;
constexpr uint64_t kMaxComments = 16ull << 20;
constexpr uint64_t kMaxSetup = 2ull << 20;
constexpr uint64_t kMaxAudioPacket = 4ull << 20;
constexpr size_t kMaxStreams = 16;

const char *const kNotValid = "not a readable Ogg Vorbis stream: its setup header is not valid";

uint32_t le32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int bit_length(uint64_t v) {
    int n = 0;
    for (; v; v >>= 1)
        ++n;
    return n;
}

// True when v^dim <= limit.
bool power_within(uint64_t v, uint64_t dim, uint64_t limit) {
    uint64_t acc = 1;
    for (uint64_t i = 0; i < dim; ++i) {
        if (v != 0 && acc > limit / v)
            return false;
        acc *= v;
    }
    return acc <= limit;
}

// The values a lattice codebook (map type 1) holds: the largest v with
// v^dim <= entries.
uint64_t lattice_values(uint64_t entries, uint64_t dim) {
    if (dim == 0 || entries == 0)
        return 0;
    auto v = static_cast<uint64_t>(
        std::floor(std::pow(static_cast<double>(entries), 1.0 / static_cast<double>(dim))));
    if (v < 1)
        v = 1;
    while (v > 1 && !power_within(v, dim, entries))
        --v;
    while (power_within(v + 1, dim, entries))
        ++v;
    return v;
}

// Reads the bit-packed setup header as the decoder does.
class Bits {
public:
    Bits(const unsigned char *data, size_t size) : size_(size) {
        oggpack_readinit(&pack_, const_cast<unsigned char *>(data), static_cast<int>(size));
    }
    // -1 past the end.
    long read(int bits) { return oggpack_read(&pack_, bits); }
    bool skip(uint64_t bits) {
        const uint64_t left =
            static_cast<uint64_t>(size_) * 8 - static_cast<uint64_t>(oggpack_bits(&pack_));
        if (bits > left)
            return false;
        while (bits > 0) {
            const int step = bits > (1u << 20) ? (1 << 20) : static_cast<int>(bits);
            oggpack_adv(&pack_, step);
            bits -= static_cast<uint64_t>(step);
        }
        return true;
    }

private:
    oggpack_buffer pack_{};
    size_t size_;
};

} // namespace

bool check_setup_header(const unsigned char *packet, size_t size, std::string &why,
                        uint64_t *kept) {
    if (size < 8 || packet[0] != 5 || std::memcmp(packet + 1, "vorbis", 6) != 0) {
        why = kNotValid;
        return false;
    }
    Bits bits(packet + 7, size - 7);
    const long books = bits.read(8);
    if (books < 0) {
        why = kNotValid;
        return false;
    }
    uint64_t entries_total = 0;
    uint64_t values_total = 0;
    for (long book = 0; book <= books; ++book) {
        const long sync = bits.read(24);
        const long dim = bits.read(16);
        const long entries = bits.read(24);
        if (sync != 0x564342 || dim < 0 || entries < 0 ||
            bit_length(static_cast<uint64_t>(dim)) + bit_length(static_cast<uint64_t>(entries)) >
                24) {
            why = kNotValid;
            return false;
        }
        entries_total += static_cast<uint64_t>(entries);
        values_total += static_cast<uint64_t>(entries) * static_cast<uint64_t>(dim);
        if (static_cast<uint64_t>(entries) > kMaxBookEntries ||
            entries_total > kMaxCodebookEntries || values_total > kMaxCodebookValues) {
            why = "the Ogg Vorbis setup header asks for codebooks larger than this library "
                  "accepts (" +
                  std::to_string(books + 1) + " codebooks, one of " + std::to_string(entries) +
                  " entries; at most " + std::to_string(kMaxBookEntries) + " entries each, " +
                  std::to_string(kMaxCodebookEntries) + " entries and " +
                  std::to_string(kMaxCodebookValues) + " values in all): refused";
            return false;
        }
        if (kept)
            *kept += static_cast<uint64_t>(entries) + 64;
        const long ordered = bits.read(1);
        if (ordered == 0) {
            const long sparse = bits.read(1);
            if (sparse < 0) {
                why = kNotValid;
                return false;
            }
            for (long i = 0; i < entries; ++i) {
                const long used = sparse ? bits.read(1) : 1;
                if (used < 0 || (used && bits.read(5) < 0)) {
                    why = kNotValid;
                    return false;
                }
            }
        } else if (ordered == 1) {
            long length = bits.read(5) + 1;
            if (length == 0) {
                why = kNotValid;
                return false;
            }
            for (long i = 0; i < entries; ++length) {
                const long n = bits.read(bit_length(static_cast<uint64_t>(entries - i)));
                if (n < 0 || length > 32 || n > entries - i) {
                    why = kNotValid;
                    return false;
                }
                i += n;
            }
        } else {
            why = kNotValid;
            return false;
        }
        const long map = bits.read(4);
        if (map == 1 || map == 2) {
            bits.read(32); // minimum
            bits.read(32); // delta
            const long quant = bits.read(4) + 1;
            if (bits.read(1) < 0) {
                why = kNotValid;
                return false;
            }
            const uint64_t values =
                map == 1
                    ? lattice_values(static_cast<uint64_t>(entries), static_cast<uint64_t>(dim))
                    : static_cast<uint64_t>(entries) * static_cast<uint64_t>(dim);
            if (!bits.skip(values * static_cast<uint64_t>(quant))) {
                why = kNotValid;
                return false;
            }
            if (kept)
                *kept += values * sizeof(long);
        } else if (map != 0) {
            why = kNotValid;
            return false;
        }
    }
    return true;
}

OggBounds::OggBounds() {
    ogg_sync_init(&sync_);
}

OggBounds::~OggBounds() {
    ogg_sync_clear(&sync_);
}

bool OggBounds::fail(const std::string &why) {
    why_ = why;
    return false;
}

bool OggBounds::feed(const unsigned char *data, size_t size) {
    if (!why_.empty())
        return false;
    while (size > 0) {
        const size_t step = size < 65536 ? size : 65536;
        char *buffer = ogg_sync_buffer(&sync_, static_cast<long>(step));
        if (!buffer)
            return fail("out of memory reading the Ogg stream");
        std::memcpy(buffer, data, step);
        ogg_sync_wrote(&sync_, static_cast<long>(step));
        data += step;
        size -= step;
        ogg_page page_in;
        int got;
        while ((got = ogg_sync_pageout(&sync_, &page_in)) != 0) {
            if (got < 0 && seen_vorbis_)
                ++gaps_;
            if (got > 0 && !page(page_in))
                return false;
        }
    }
    return true;
}

OggBounds::Stream::Stream(int serial) {
    ogg_stream_init(&packets, serial);
}

OggBounds::Stream::~Stream() {
    ogg_stream_clear(&packets);
}

bool OggBounds::page(ogg_page &og) {
    const int serial = ogg_page_serialno(&og);
    const bool bos = ogg_page_bos(&og) != 0;
    if (bos) {
        // A new link of a chained stream starts. A stream whose headers
        // are not all in stays followed: the decoder goes on looking for
        // them past the other link's first page.
        if (!last_was_bos_)
            std::erase_if(streams_, [](const auto &stream) { return stream.second->headers == 3; });
        last_was_bos_ = true;
        // Only Vorbis streams are followed; the decoder drops the others.
        if (og.body_len < 7 || og.body[0] != 1 || std::memcmp(og.body + 1, "vorbis", 6) != 0)
            return true;
        if (streams_.size() >= kMaxStreams)
            return fail("an Ogg file with more than " + std::to_string(kMaxStreams) +
                        " streams at once");
        streams_[serial] = std::make_unique<Stream>(serial);
        seen_vorbis_ = true;
    } else {
        last_was_bos_ = false;
    }
    const auto found = streams_.find(serial);
    if (found == streams_.end())
        return true;
    Stream &s = *found->second;
    // The page goes through libogg as the decoder's own copy of it will, so
    // the packets checked are the packets decoded, whatever the pages do
    // (a continued page with nothing to continue, a page of another
    // version, pages missing).
    if (ogg_stream_pagein(&s.packets, &og) != 0)
        return true;
    if (ogg_page_eos(&og))
        s.ended = true;
    ogg_packet packet;
    int got;
    while ((got = ogg_stream_packetout(&s.packets, &packet)) != 0) {
        if (got < 0) {
            if (s.headers < 3)
                return fail("not a readable Ogg Vorbis stream: pages of its headers are missing");
            ++gaps_;
            continue;
        }
        if (!check_size(s, static_cast<uint64_t>(packet.bytes)) || !packet_done(s, packet))
            return false;
    }
    // What is left is the packet in progress.
    return check_size(s, static_cast<uint64_t>(s.packets.body_fill - s.packets.body_returned));
}

bool OggBounds::check_size(const Stream &s, uint64_t bytes) {
    const uint64_t cap = s.headers == 0   ? kMaxIdentification
                         : s.headers == 1 ? kMaxComments
                         : s.headers == 2 ? kMaxSetup
                                          : kMaxAudioPacket;
    if (bytes <= cap)
        return true;
    const char *what = s.headers == 0   ? "identification header"
                       : s.headers == 1 ? "comment header"
                       : s.headers == 2 ? "setup header"
                                        : "audio packet";
    return fail(std::string("an Ogg Vorbis ") + what + " larger than " + std::to_string(cap >> 10) +
                " KiB: refused");
}

bool OggBounds::packet_done(Stream &s, const ogg_packet &packet) {
    const unsigned char *h = packet.packet;
    const auto size = static_cast<size_t>(packet.bytes);
    if (s.headers == 0) {
        if (size < 30 || h[0] != 1 || std::memcmp(h + 1, "vorbis", 6) != 0)
            return fail("not a readable Ogg Vorbis stream");
        const unsigned channels = h[11];
        const uint32_t rate = le32(h + 12);
        if (channels < 1 || channels > static_cast<unsigned>(kMaxFileChannels) ||
            rate < static_cast<uint32_t>(kMinFileRate) ||
            rate > static_cast<uint32_t>(kMaxFileRate))
            return fail("Ogg Vorbis stream with " + std::to_string(channels) + " channels at " +
                        std::to_string(rate) + " Hz");
    } else if (s.headers == 2) {
        std::string why;
        if (!check_setup_header(h, size, why))
            return fail(why);
    }
    if (s.headers < 3)
        ++s.headers;
    return true;
}

std::string OggBounds::end_problem() const {
    if (!seen_vorbis_)
        return {};
    for (const auto &[serial, s] : streams_) {
        if (s->headers < 3)
            return "the file ends inside the Ogg Vorbis stream's headers";
        if (!s->ended)
            return "the file ends early: the Ogg Vorbis stream stops without its last page "
                   "(a partial download?)";
    }
    return {};
}

} // namespace music
