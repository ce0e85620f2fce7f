// Bounds on what an Ogg Vorbis file may make the decoder do. The bytes the
// decoder reads pass through here first, in the same order, and are made
// into pages and packets by libogg exactly as the decoder's own copy of them
// will be, so that no packet reaches it that breaks a bound:
// - a header packet larger than its cap (identification 4 KiB, comments
//   16 MiB, setup 2 MiB), an audio packet larger than 4 MiB, or a packet
//   that never ends;
// - an identification header with more than 32 channels or a rate outside
//   the decoder's limits (decoder.h);
// - a setup header with a codebook of more than kMaxBookEntries entries, or
//   whose codebooks hold more than kMaxCodebookEntries entries or
//   kMaxCodebookValues values in all: the decoder allocates and sorts memory
//   in proportion to them (about 30 bytes per entry and 12 per value, 12 per
//   entry of the largest book on the stack), independently of the packet's
//   size, so that a setup header of 3 KiB could otherwise take 2 GiB and
//   20 s before it is refused;
// - more than 16 logical streams starting together.
// It also tells at the end of the file whether the stream ended as it
// should (its last page flagged as the end) or was cut short.
//
// Thread rules: one object per decoder, used by the decoder's thread.
#ifndef MUSIC_LIBRARY_MEDIA_OGG_BOUNDS_H
#define MUSIC_LIBRARY_MEDIA_OGG_BOUNDS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ogg/ogg.h>

namespace music {

// The reference encoder's setups, at any quality, rate and channel count,
// have books of at most 6561 entries and at most 19 413 entries and 87 952
// values in all.
constexpr uint64_t kMaxBookEntries = uint64_t{1} << 15;
constexpr uint64_t kMaxCodebookEntries = uint64_t{1} << 19;
constexpr uint64_t kMaxCodebookValues = uint64_t{1} << 20;

// Checks the codebooks of a setup header packet (type 5) against the bounds
// above. False, saying why, when they break one or cannot be read. When
// `kept` is given, adds to it the bytes the decoder keeps for the codebooks
// as read from the header (their lengths and values), before decoding.
bool check_setup_header(const unsigned char *packet, size_t size, std::string &why,
                        uint64_t *kept = nullptr);

class OggBounds {
public:
    OggBounds();
    ~OggBounds();
    OggBounds(const OggBounds &) = delete;
    OggBounds &operator=(const OggBounds &) = delete;

    // Takes the next bytes read from the file. False when they break a
    // bound (then why() says which, and the bytes must not reach the
    // decoder).
    bool feed(const unsigned char *data, size_t size);
    const std::string &why() const { return why_; }
    // Once the file has ended: why it ends early, or empty when the stream
    // ended with its last page.
    std::string end_problem() const;
    // Gaps seen since the last call: pages missing from a Vorbis stream, or
    // bytes that are no page (damaged or foreign) after its start.
    int take_gaps() {
        const int gaps = gaps_;
        gaps_ = 0;
        return gaps;
    }

private:
    struct Stream {
        explicit Stream(int serial);
        ~Stream();
        Stream(const Stream &) = delete;
        Stream &operator=(const Stream &) = delete;
        ogg_stream_state packets; // the pages taken so far, made into packets
        int headers = 0;          // header packets complete (0 to 3)
        bool ended = false;       // its last page was seen
    };
    bool page(ogg_page &page);
    bool check_size(const Stream &stream, uint64_t bytes);
    bool packet_done(Stream &stream, const ogg_packet &packet);
    bool fail(const std::string &why);

    ogg_sync_state sync_;
    std::map<int, std::unique_ptr<Stream>> streams_; // the Vorbis streams of the current group
    bool last_was_bos_ = false;
    bool seen_vorbis_ = false;
    int gaps_ = 0;
    std::string why_;
};

} // namespace music

#endif
