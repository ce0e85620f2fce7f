// The Ogg Vorbis decoder, over libvorbisfile: it decodes as it plays, a
// few thousand frames at a time, every link of a chained stream in order.
// The file is read as a stream (no seeking), so only the current link's
// headers are held, and every byte passes the bounds of ogg_bounds.h before
// the decoder sees it. A seek (and a question about the stream's length)
// opens the file again for seeking: libvorbisfile then reads the last page
// and every link's headers, and each run of bytes it reads after moving in
// the file passes a fresh set of bounds. Channels come in Vorbis order and leave in WAV
// order (front left, front right, centre, low frequency, back, side), so
// that the converter maps them like WAV channels. Artist and title come
// from the first link's ARTIST and TITLE comments (vorbis_comments.h).
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/file_io.h"
#include "media/decoder.h"
#include "media/ogg_bounds.h"
#include "media/vorbis_comments.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

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

std::string vorbis_error(int code) {
    switch (code) {
    case OV_EREAD:
        return "cannot read the file";
    case OV_ENOTVORBIS:
        return "not a readable Ogg Vorbis stream";
    case OV_EBADHEADER:
        return "not a readable Ogg Vorbis stream: a header is not valid";
    case OV_EVERSION:
        return "an Ogg Vorbis stream of an unknown version";
    default:
        return "not a readable Ogg Vorbis stream (error " + std::to_string(code) + ")";
    }
}

class OggDecoder : public Decoder {
public:
    explicit OggDecoder(std::FILE *file) : file_(file) {}
    ~OggDecoder() override {
        if (opened_)
            ov_clear(&vf_);
        std::fclose(file_);
    }

    bool open(std::string &why) {
        // The tags are read first, by the bounded comment reader.
        if (!read_vorbis_comments(file_, tags_, why) || !seek_start(file_)) {
            if (why.empty())
                why = "cannot read the file";
            return false;
        }
        const ov_callbacks callbacks{&OggDecoder::read_bytes, nullptr, nullptr, nullptr};
        const int result = ov_open_callbacks(this, &vf_, nullptr, 0, callbacks);
        if (result != 0) {
            why = !bounds_->why().empty() ? bounds_->why()
                  : !read_error_.empty()  ? read_error_
                                          : vorbis_error(result);
            return false;
        }
        opened_ = true;
        take_format();
        return true;
    }

    int read(double *out, int frames) override {
        if (frames <= 0 || format_pending_)
            return 0;
        int done = 0;
        while (done < frames && !ended_) {
            if (held_at_ < held_frames_) {
                const int n = held_frames_ - held_at_ < frames - done ? held_frames_ - held_at_
                                                                      : frames - done;
                copy_out(held_, held_at_, n, out + static_cast<size_t>(done) * channels());
                held_at_ += n;
                done += n;
                continue;
            }
            int link = 0;
            float **pcm = nullptr;
            const long got = ov_read_float(&vf_, &pcm, frames - done, &link);
            if (bounds_->take_gaps() > 0)
                notes_.push_back("a gap in the Ogg Vorbis stream (pages are missing or damaged)");
            if (got == OV_HOLE)
                continue; // also where one link ends and the next starts
            if (got <= 0) {
                ended_ = true;
                finish(got);
                break;
            }
            const vorbis_info *info = ov_info(&vf_, -1);
            if (link != link_ && (info->channels != channels_ || info->rate != rate_)) {
                // The next link has another format: its first frames wait
                // until next_format().
                link_ = link;
                if (!acceptable(info))
                    break;
                hold(pcm, static_cast<int>(got), info->channels);
                format_pending_ = true;
                pending_rate_ = static_cast<int>(info->rate);
                break;
            }
            link_ = link;
            copy_planes(pcm, static_cast<int>(got), out + static_cast<size_t>(done) * channels());
            done += static_cast<int>(got);
        }
        return done;
    }

    void next_format() override {
        if (!format_pending_)
            return;
        format_pending_ = false;
        take_format();
    }

    std::vector<FileRun> runs() override {
        std::vector<FileRun> runs;
        if (!seekable())
            return runs;
        for (int link = 0; link < ov_streams(&vf_); ++link) {
            const ogg_int64_t frames = ov_pcm_total(&vf_, link);
            const vorbis_info *info = ov_info(&vf_, link);
            if (frames < 0 || !info)
                return {};
            runs.push_back(FileRun{frames, static_cast<int>(info->rate)});
        }
        return runs;
    }

    bool seek(int64_t frame) override {
        if (frame < 0 || !seekable())
            return false;
        held_frames_ = held_at_ = 0;
        format_pending_ = false;
        ended_ = false;
        at_end_ = false;
        if (frame >= ov_pcm_total(&vf_, -1)) {
            ended_ = true; // nothing left to read
            return true;
        }
        const int result = ov_pcm_seek(&vf_, frame);
        if (result != 0) {
            failure_ = "cannot seek in the Ogg Vorbis stream: " +
                       (!bounds_->why().empty() ? bounds_->why() : vorbis_error(result));
            ended_ = true;
            return false;
        }
        link_ = vf_.current_link;
        take_format();
        return true;
    }

private:
    // libvorbisfile's reads: every byte through the bounds first.
    static size_t read_bytes(void *out, size_t size, size_t count, void *self) {
        auto *d = static_cast<OggDecoder *>(self);
        if (!d->bounds_->why().empty() || !d->read_error_.empty()) {
            errno = EIO;
            return 0;
        }
        const size_t got = std::fread(out, 1, size * count, d->file_);
        if (got == 0 && std::ferror(d->file_)) {
            d->read_error_ = std::string("cannot read the file: ") + std::strerror(errno);
            errno = EIO;
            return 0;
        }
        if (got > 0 && !d->bounds_->feed(static_cast<unsigned char *>(out), got)) {
            errno = EIO;
            return 0;
        }
        d->pos_ += static_cast<int64_t>(got);
        if (got == 0)
            d->at_end_ = true;
        errno = 0;
        return size ? got / size : 0;
    }

    // libvorbisfile's moves, once opened for seeking: what is read from the
    // new place on passes bounds of its own.
    static int seek_bytes(void *self, ogg_int64_t offset, int whence) {
        auto *d = static_cast<OggDecoder *>(self);
        int64_t to = offset;
        if (whence == SEEK_CUR)
            to += d->pos_;
        else if (whence == SEEK_END)
            to += file_size(d->file_);
        if (to < 0 || !seek_to(d->file_, to))
            return -1;
        d->pos_ = to;
        d->bounds_ = std::make_unique<OggBounds>();
        d->at_end_ = false;
        return 0;
    }

    static long tell_bytes(void *self) {
        return static_cast<long>(static_cast<OggDecoder *>(self)->pos_);
    }

    // Opens the file again for seeking, once; false when it cannot be
    // (then the stream is gone and failure() says why).
    bool seekable() {
        if (seekable_ || tried_seeking_)
            return seekable_;
        tried_seeking_ = true;
        if (opened_)
            ov_clear(&vf_);
        opened_ = false;
        read_error_.clear();
        const ov_callbacks callbacks{&OggDecoder::read_bytes, &OggDecoder::seek_bytes, nullptr,
                                     &OggDecoder::tell_bytes};
        int result = seek_bytes(this, 0, SEEK_SET) == 0
                         ? ov_open_callbacks(this, &vf_, nullptr, 0, callbacks)
                         : OV_EREAD;
        opened_ = result == 0;
        if (opened_ && !ov_seekable(&vf_))
            result = OV_EREAD;
        if (result != 0) {
            failure_ = "cannot seek in the Ogg Vorbis stream: " +
                       (!bounds_->why().empty() ? bounds_->why()
                        : !read_error_.empty()  ? read_error_
                                                : vorbis_error(result));
            ended_ = true;
            return false;
        }
        seekable_ = true;
        link_ = 0;
        take_format();
        return true;
    }

    bool acceptable(const vorbis_info *info) {
        if (info->channels >= 1 && info->channels <= kMaxFileChannels &&
            info->rate >= kMinFileRate && info->rate <= kMaxFileRate)
            return true;
        failure_ = "Ogg Vorbis stream with " + std::to_string(info->channels) + " channels at " +
                   std::to_string(info->rate) + " Hz";
        ended_ = true;
        return false;
    }

    void take_format() {
        const vorbis_info *info = ov_info(&vf_, -1);
        channels_ = info->channels;
        rate_ = static_cast<int>(info->rate);
        mask_ = default_channel_mask(channels_);
    }

    // Why the stream stopped, when it did not simply end.
    void finish(long result) {
        if (!bounds_->why().empty())
            failure_ = bounds_->why();
        else if (!read_error_.empty())
            failure_ = read_error_;
        else if (result < 0)
            failure_ = vorbis_error(static_cast<int>(result));
        else if (at_end_)
            failure_ = bounds_->end_problem();
    }

    // Planar floats to interleaved doubles in WAV order.
    void copy_planes(float **pcm, int frames, double *out) const {
        const int channels = channels_;
        const int *order = channels <= 8 ? kVorbisOrder[channels] : nullptr;
        for (int c = 0; c < channels; ++c) {
            const float *plane = pcm[order ? order[c] : c];
            for (int f = 0; f < frames; ++f)
                out[static_cast<size_t>(f) * static_cast<size_t>(channels) +
                    static_cast<size_t>(c)] = plane[f];
        }
    }

    void hold(float **pcm, int frames, int channels) {
        held_.assign(static_cast<size_t>(frames) * static_cast<size_t>(channels), 0.0);
        held_channels_ = channels;
        const int *order = channels <= 8 ? kVorbisOrder[channels] : nullptr;
        for (int c = 0; c < channels; ++c) {
            const float *plane = pcm[order ? order[c] : c];
            for (int f = 0; f < frames; ++f)
                held_[static_cast<size_t>(f) * static_cast<size_t>(channels) +
                      static_cast<size_t>(c)] = plane[f];
        }
        held_frames_ = frames;
        held_at_ = 0;
    }

    void copy_out(const std::vector<double> &from, int at, int frames, double *out) const {
        const auto channels = static_cast<size_t>(held_channels_);
        std::memcpy(out, from.data() + static_cast<size_t>(at) * channels,
                    static_cast<size_t>(frames) * channels * sizeof(double));
    }

    std::FILE *file_;
    OggVorbis_File vf_{};
    bool opened_ = false;
    std::unique_ptr<OggBounds> bounds_ = std::make_unique<OggBounds>();
    int64_t pos_ = 0;       // the file's read position
    bool seekable_ = false; // opened for seeking (after the first seek)
    bool tried_seeking_ = false;
    std::string read_error_;
    bool at_end_ = false;
    bool ended_ = false;
    int link_ = 0;
    std::vector<double> held_; // the first frames of a link in a new format
    int held_channels_ = 0;
    int held_frames_ = 0;
    int held_at_ = 0;
};

} // namespace

std::unique_ptr<Decoder> open_ogg(std::FILE *file, std::string &why) {
    auto decoder = std::make_unique<OggDecoder>(file);
    if (!seek_start(file)) {
        why = "cannot read the file";
        return nullptr;
    }
    if (!decoder->open(why))
        return nullptr;
    return decoder;
}

} // namespace splocal
