// A decoder reads an audio file as it plays: a few thousand frames at a
// time, never the whole file. It gives samples as doubles in [-1, 1]
// (interleaved, at the file's own rate and channel count); conversion to the
// delivery format is the converter's (converter.h).
//
// Thread rules: a decoder belongs to one thread at a time (the player's,
// or the catalogue reader's while it looks at the file's header and tags).
#ifndef MUSIC_LIBRARY_MEDIA_DECODER_H
#define MUSIC_LIBRARY_MEDIA_DECODER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace music {

// Speaker positions, as the bits of a WAVE_FORMAT_EXTENSIBLE channel mask.
enum Speaker : uint32_t {
    kFrontLeft = 0x1,
    kFrontRight = 0x2,
    kFrontCenter = 0x4,
    kLowFrequency = 0x8,
    kBackLeft = 0x10,
    kBackRight = 0x20,
    kFrontLeftOfCenter = 0x40,
    kFrontRightOfCenter = 0x80,
    kBackCenter = 0x100,
    kSideLeft = 0x200,
    kSideRight = 0x400,
};

// The usual positions for a channel count, when a file does not say.
uint32_t default_channel_mask(int channels);

struct FileTags {
    std::string artist; // UTF-8; empty when the file does not say
    std::string title;
};

// A run of frames at one rate: the whole file, or one link of a chained Ogg
// stream.
struct FileRun {
    int64_t frames = 0;
    int rate = 0;
};

// Asked between the steps of a seek that reads on to its frame (a few
// thousand frames each), on the seeking thread: true once the seek is no
// longer wanted (the player has moved on).
using SeekCancel = std::function<bool()>;

class Decoder {
public:
    virtual ~Decoder() = default;
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // One bit per channel in file order (Speaker); 0 for positions unknown.
    uint32_t channel_mask() const { return mask_; }
    const FileTags &tags() const { return tags_; }
    // The frames the file holds, where its header says (WAV); else -1.
    int64_t length() const { return length_; }
    // Reads up to `frames` frames into out (frames * channels() doubles).
    // Returns the frames read: fewer than asked only at the end of the
    // audio, when the file turned bad (then failure() says why), or when the
    // frames that follow come in another format (then format_pending()).
    virtual int read(double *out, int frames) = 0;
    const std::string &failure() const { return failure_; }
    // The next frames have another rate or channel count (the next link of
    // a chained Ogg stream): next_format() takes it up, and read goes on.
    bool format_pending() const { return format_pending_; }
    int pending_rate() const { return pending_rate_; }
    virtual void next_format() { format_pending_ = false; }
    // The file's runs of frames in order, where it tells (a WAV header, the
    // Ogg stream's pages, the system decoder's duration); empty otherwise.
    // May read the file (the Ogg decoder looks at every link's last page).
    virtual std::vector<FileRun> runs() {
        return length_ >= 0 ? std::vector<FileRun>{{length_, rate_}} : std::vector<FileRun>{};
    }
    // Goes to `frame`, counted from the file's start over all its runs, so
    // that read() gives that frame next, in the format of the run it falls
    // in (no format_pending()). False where the file cannot be sought (then
    // failure() may say why); the position is then unknown.
    virtual bool seek(int64_t frame) {
        (void)frame;
        return false;
    }
    // seek(), asking `cancel` between its steps: once it says so the seek
    // stops where it is and returns false with abandoned() and no failure;
    // what read() gives then is unspecified until the next seek.
    bool seek(int64_t frame, const SeekCancel &cancel) {
        cancel_ = &cancel;
        abandoned_ = false;
        const bool done = seek(frame);
        cancel_ = nullptr;
        return done;
    }
    bool abandoned() const { return abandoned_; }
    // Things worth a line in the log that do not stop the file (a header
    // with placeholder sizes, a gap in the stream), each given once.
    std::vector<std::string> take_notes() {
        std::vector<std::string> notes;
        notes.swap(notes_);
        return notes;
    }

protected:
    // For seek(): true from the moment the seek in progress is no longer
    // wanted.
    bool cancelled() {
        if (!abandoned_ && cancel_ && *cancel_ && (*cancel_)())
            abandoned_ = true;
        return abandoned_;
    }

    int rate_ = 0;
    int channels_ = 0;
    uint32_t mask_ = 0;
    FileTags tags_;
    int64_t length_ = -1;
    std::string failure_;
    bool format_pending_ = false;
    int pending_rate_ = 0;
    std::vector<std::string> notes_;

private:
    const SeekCancel *cancel_ = nullptr; // during seek(frame, cancel)
    bool abandoned_ = false;
};

// Highest channel count and rate accepted from a file.
constexpr int kMaxFileChannels = 32;
constexpr int kMaxFileRate = 768000;
constexpr int kMinFileRate = 1000;

// Opens the audio file at `path` (UTF-8) with the decoder its content calls
// for. On failure returns null and says why in `why`.
std::unique_ptr<Decoder> open_decoder(const std::string &path, std::string &why);

// The decoders over an open file, which they take over (and close, also on
// failure): WAV (wav_reader.cpp) and Ogg Vorbis (ogg_reader.cpp).
std::unique_ptr<Decoder> open_wav(std::FILE *file, std::string &why);
std::unique_ptr<Decoder> open_ogg(std::FILE *file, std::string &why);

#ifdef _WIN32
// The system's decoder for the other formats (mf_reader.cpp), by path.
std::unique_ptr<Decoder> open_system_decoder(const std::string &path, std::string &why);
#endif

// Back to the start of an open file.
bool seek_start(std::FILE *file);

} // namespace music

#endif
