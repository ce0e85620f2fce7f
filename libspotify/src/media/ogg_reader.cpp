// The Ogg Vorbis decoder, over stb_vorbis: it decodes as it plays, a few
// thousand frames at a time. Channels come in Vorbis order and leave in
// WAV order (front left, front right, centre, low frequency, back, side),
// so that the converter maps them like WAV channels. Artist and title come
// from the ARTIST and TITLE comments (vorbis_comments.h).
#include <cstring>
#include <vector>

#include "media/decoder.h"
#include "media/vorbis_comments.h"
#include "media/vorbis_memory.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace splocal {
namespace {

// For each WAV-order channel, the Vorbis channel it takes, by channel count.
const int kVorbisOrder[9][8] = {
    {},
    {0},
    {0, 1},
    {0, 2, 1},                // L C R
    {0, 1, 2, 3},             // L R BL BR
    {0, 2, 1, 3, 4},          // L C R BL BR
    {0, 2, 1, 5, 3, 4},       // L C R BL BR LFE
    {0, 2, 1, 6, 5, 3, 4},    // L C R SL SR BC LFE
    {0, 2, 1, 7, 5, 6, 3, 4}, // L C R SL SR BL BR LFE
};

class OggDecoder : public Decoder {
public:
    ~OggDecoder() override {
        if (vorbis_)
            stb_vorbis_close(vorbis_);
    }

    bool open(std::FILE *file, std::string &why) {
        // The headers are checked here first: stb_vorbis trusts the
        // lengths in the comment header.
        if (!read_vorbis_comments(file, tags_, why) || !seek_start(file)) {
            if (why.empty())
                why = "cannot read the file";
            std::fclose(file);
            return false;
        }
        int error = 0;
        VorbisOpening opening;
        vorbis_ = stb_vorbis_open_file(file, 1, &error, nullptr);
        if (!vorbis_) {
            opening.free_left(); // what a failed setup header left behind
            // stb_vorbis has closed the file already.
            why = "not a readable Ogg Vorbis stream (error " + std::to_string(error) + ")";
            return false;
        }
        const stb_vorbis_info info = stb_vorbis_get_info(vorbis_);
        if (info.channels < 1 || info.channels > kMaxFileChannels ||
            info.sample_rate < static_cast<unsigned>(kMinFileRate) ||
            info.sample_rate > static_cast<unsigned>(kMaxFileRate)) {
            why = "Ogg Vorbis stream with " + std::to_string(info.channels) + " channels at " +
                  std::to_string(info.sample_rate) + " Hz";
            return false;
        }
        channels_ = info.channels;
        rate_ = static_cast<int>(info.sample_rate);
        mask_ = default_channel_mask(channels_);
        return true;
    }

    int read(double *out, int frames) override {
        if (frames <= 0 || ended_)
            return 0;
        const size_t channels = static_cast<size_t>(channels_);
        floats_.resize(static_cast<size_t>(frames) * channels);
        int done = 0;
        while (done < frames) {
            const int got = stb_vorbis_get_samples_float_interleaved(
                vorbis_, channels_, floats_.data() + static_cast<size_t>(done) * channels,
                static_cast<int>((static_cast<size_t>(frames - done)) * channels));
            if (got <= 0) {
                ended_ = true;
                if (stb_vorbis_get_error(vorbis_) != VORBIS__no_error &&
                    stb_vorbis_get_error(vorbis_) != VORBIS_unexpected_eof)
                    failure_ = "the Ogg Vorbis stream turned bad";
                break;
            }
            done += got;
        }
        const int *order = channels_ <= 8 ? kVorbisOrder[channels_] : nullptr;
        for (size_t f = 0; f < static_cast<size_t>(done); ++f) {
            for (size_t c = 0; c < channels; ++c) {
                const size_t from = order ? static_cast<size_t>(order[c]) : c;
                out[f * channels + c] = floats_[f * channels + from];
            }
        }
        return done;
    }

private:
    stb_vorbis *vorbis_ = nullptr;
    bool ended_ = false;
    std::vector<float> floats_;
};

} // namespace

std::unique_ptr<Decoder> open_ogg(std::FILE *file, std::string &why) {
    if (!seek_start(file)) {
        std::fclose(file);
        why = "cannot read the file";
        return nullptr;
    }
    auto decoder = std::make_unique<OggDecoder>();
    if (!decoder->open(file, why))
        return nullptr;
    return decoder;
}

} // namespace splocal
