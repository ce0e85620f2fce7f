// Conversion of a decoder's output to the one delivery format, S16 stereo
// at 44 100 Hz: channels mapped to two (mono to both, more than two down-
// mixed with the usual coefficients, the low-frequency channel left out),
// other rates through a band-limited resampler (resampler.h), and samples
// rounded to 16 bits with clipping. 16-bit stereo at 44 100 Hz passes
// bit for bit. A stream whose format changes (the links of a chained Ogg
// stream) goes on without a gap: another channel count is mapped from its
// first frame on; another rate ends the resampler's input there (its last
// frames rendered as at the end of a track) and the next link's rate
// starts from its first frame on the next output frame.
//
// A seek lands on the output frame the file would have given there had it
// played from the start: at 44 100 Hz the file's own frame; at other rates
// the decoder goes to the first input frame the resampler's filter reads
// for that output frame, and the resampler restarts there, so that (the
// decoder's frames being the same) the output is the same bit for bit. In a
// chained stream the runs before count with the output frames they give.
#ifndef MUSIC_LIBRARY_MEDIA_CONVERTER_H
#define MUSIC_LIBRARY_MEDIA_CONVERTER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "media/decoder.h"
#include "media/resampler.h"

namespace music {

// One sample in [-1, 1] to 16 bits: rounded to nearest, clipped; NaN is 0.
int16_t to_s16(double sample);

// The output frames of a file's runs (decoder.h); -1 when they are not known.
int64_t delivered_frames(const std::vector<FileRun> &runs);

class Converter {
public:
    explicit Converter(std::unique_ptr<Decoder> decoder);
    // Writes up to `frames` stereo frames to out; fewer only at the end.
    int read(int16_t *out, int frames);
    enum class Seek { kDone, kPastEnd, kFailed, kAbandoned };
    // Goes to output frame `frame`: read() gives it next (kDone), nothing
    // more when it is at or past the end (kPastEnd); kFailed when the file
    // cannot be sought (the decoder's failure() may say why); kAbandoned
    // when `cancel` (decoder.h) stopped it, and then read() gives nothing
    // until the next seek.
    Seek seek(int64_t frame, const SeekCancel &cancel = {});
    const Decoder &decoder() const { return *decoder_; }
    Decoder &decoder() { return *decoder_; }

private:
    // Reads up to `frames` frames from the decoder as stereo.
    int read_stereo(double *out, int frames);
    // The decoder's current format: channel gains, and a resampler for
    // another rate (a new one: a new rate starts a new input).
    void take_format();
    void take_gains();

    std::unique_ptr<Decoder> decoder_;
    bool ended_ = false; // sought to the end
    int channels_ = 0;
    int rate_ = 0;
    std::unique_ptr<Resampler> resampler_; // null at 44 100 Hz
    std::vector<double> left_gain_;        // per file channel
    std::vector<double> right_gain_;
    std::vector<double> raw_;
    std::vector<double> stereo_;
};

} // namespace music

#endif
