// The Ogg Vorbis decoder, over libvorbisfile: it decodes as it plays, a
// few thousand frames at a time, every link of a chained stream in order.
// In each link it plays the first Vorbis stream of those that start
// together and passes over the pages of the others (video, an index),
// whether it plays, seeks or counts the link's length.
// The file is read as a stream (no seeking), so only the current link's
// headers are held, and every byte passes the bounds of ogg_bounds.h before
// the decoder sees it. A seek in a file of one link (and a question about
// its length) opens it again for seeking: libvorbisfile then reads the last
// page and the headers, and each run of bytes it reads after moving in the
// file passes a fresh set of bounds. A chained stream's length comes from
// its pages, walked through once (which also finds where each link
// starts), and a seek in it opens the stream at the first page of the link
// that holds the frame and plays that link on to it, in steps that stop
// once the seek is no longer wanted. Channels come in Vorbis order and leave
// in WAV order (front left, front right, centre, low frequency, back, side),
// so that the converter maps them like WAV channels. Artist and title come
// from the first link's ARTIST and TITLE comments (vorbis_comments.h).
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "base/file_io.h"
#include "media/decoder.h"
#include "media/ogg_bounds.h"
#include "media/vorbis_comments.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace music {
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

// What the walk through a chained stream's links reads and decodes: each
// link's headers go through the decoder's own reading of them, one link at a
// time. Chained radio recordings run to hundreds of links, each of a few KiB
// of headers.
constexpr size_t kMaxLinks = 1024;
constexpr uint64_t kMaxChainHeaders = 64ull << 20;
constexpr uint64_t kLinkOverhead = 8192; // the decoder's setup per link
constexpr int64_t kTailBytes = 65536;    // where the last page is looked for
// The most frames a link may claim (over 16 days at the highest rate): what
// its pages say beyond that is no length, and is left unknown.
constexpr int64_t kMaxLinkFrames = int64_t{1} << 40;

// Pages of an open file from `from` on, to `to` (the end when -1), each
// given to `take` with its byte offset until it returns false. Bytes that
// are no page are passed over. False when the file cannot be read.
template <typename Take> bool each_page(std::FILE *file, int64_t from, int64_t to, Take take) {
    if (!seek_to(file, from))
        return false;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    bool ok = true;
    bool going = true;
    int64_t at = from;
    int64_t page_at = from; // where the next page (or what is passed over) starts
    while (going && (to < 0 || at < to)) {
        const long want = to < 0 || to - at > 65536 ? 65536 : static_cast<long>(to - at);
        char *buffer = ogg_sync_buffer(&sync, want);
        const size_t got = buffer ? std::fread(buffer, 1, static_cast<size_t>(want), file) : 0;
        if (got == 0) {
            ok = buffer && !std::ferror(file);
            break;
        }
        ogg_sync_wrote(&sync, static_cast<long>(got));
        at += static_cast<int64_t>(got);
        ogg_page page;
        long result;
        while (going && (result = ogg_sync_pageseek(&sync, &page)) != 0) {
            if (result > 0)
                going = take(page, static_cast<const unsigned char *>(page.header),
                             static_cast<size_t>(page.header_len + page.body_len), page_at);
            page_at += result > 0 ? result : -result; // a page, or bytes passed over
        }
    }
    ogg_sync_clear(&sync);
    return ok;
}

bool is_vorbis_start(const ogg_page &page) {
    return ogg_page_bos(&page) && page.body_len >= 7 && page.body[0] == 1 &&
           std::memcmp(page.body + 1, "vorbis", 6) == 0;
}

// What check_links() finds.
struct Links {
    std::string why;             // why the file cannot be sought; empty when it can
    bool chained = false;        // two links or more
    std::vector<FileRun> runs;   // a chain's links; empty when their lengths are unknown
    std::vector<int64_t> starts; // for each of runs, the byte offset of its link's first page
};

// Whether the file is a chain, and for a chain, its links as playing reads
// them: no more than kMaxLinks, headers that pass the bounds and that the
// decoder takes, kMaxChainHeaders in all. A link's frames are its last
// granule position less where its first audio page starts (as libvorbisfile
// counts a single link's). A stream of one link (its last page in the first
// link) is not read through; a single link is sought through libvorbisfile,
// which takes positions as long, 32 bits on Windows.
Links check_links(std::FILE *file) {
    Links found;
    const int64_t size = file_size(file);
    if (size < 0) {
        found.why = "cannot read the file";
        return found;
    }
    std::vector<int> first; // the serials of the first link's streams
    int last = 0;
    bool any = false;
    if (!each_page(file, 0, -1,
                   [&](const ogg_page &page, const unsigned char *, size_t, int64_t) {
                       if (!ogg_page_bos(&page))
                           return false;
                       first.push_back(ogg_page_serialno(&page));
                       return first.size() <= 64;
                   }) ||
        !each_page(file, size > kTailBytes ? size - kTailBytes : 0, size,
                   [&](const ogg_page &page, const unsigned char *, size_t, int64_t) {
                       last = ogg_page_serialno(&page);
                       any = true;
                       return true;
                   })) {
        found.why = "cannot read the file";
        return found;
    }
    if (any && std::find(first.begin(), first.end(), last) != first.end()) {
        if (static_cast<uint64_t>(size) > static_cast<uint64_t>(LONG_MAX))
            found.why = "an Ogg file of " + std::to_string(size >> 20) +
                        " MiB, larger than the Ogg Vorbis decoder can seek in on this system";
        return found;
    }
    found.chained = true;

    struct Link {
        Link() {
            vorbis_info_init(&info);
            vorbis_comment_init(&comments);
        }
        ~Link() {
            if (following)
                ogg_stream_clear(&packets);
            vorbis_comment_clear(&comments);
            vorbis_info_clear(&info);
        }
        Link(const Link &) = delete;
        Link &operator=(const Link &) = delete;
        std::vector<int> serials;
        bool following = false; // its Vorbis stream found
        ogg_stream_state packets{};
        int headers = 0;
        vorbis_info info;
        vorbis_comment comments;
        int64_t start = -1;  // the granule position of its first frame, once known
        int64_t counted = 0; // the frames of the audio packets before that
        long last_block = -1;
        int64_t end = 0;    // its last granule position
        int64_t offset = 0; // where its first page starts
    };
    OggBounds bounds;
    std::unique_ptr<Link> link;
    size_t links = 0;
    uint64_t kept = 0;
    bool last_was_bos = false;
    bool lengths = true; // every link's within kMaxLinkFrames
    std::string &why = found.why;
    const auto link_done = [&] {
        if (!link)
            return true;
        if (link->headers < 3) {
            why = "a link of the chained Ogg stream (link " + std::to_string(links) +
                  ") has no complete Ogg Vorbis headers";
            return false;
        }
        const int64_t frames = link->end - std::max<int64_t>(link->start, 0);
        lengths = lengths && link->end <= kMaxLinkFrames;
        found.runs.push_back(
            FileRun{std::max<int64_t>(frames, 0), static_cast<int>(link->info.rate)});
        found.starts.push_back(link->offset);
        return true;
    };
    const bool read = each_page(
        file, 0, -1,
        [&](ogg_page &page, const unsigned char *bytes, size_t length, int64_t offset) {
            if (!bounds.feed(bytes, length)) {
                why = bounds.why();
                return false;
            }
            const int serial = ogg_page_serialno(&page);
            if (ogg_page_bos(&page)) {
                if (!last_was_bos) {
                    if (!link_done())
                        return false;
                    if (++links > kMaxLinks) {
                        why = "a chained Ogg stream of more than " + std::to_string(kMaxLinks) +
                              " links";
                        return false;
                    }
                    link = std::make_unique<Link>();
                    link->offset = offset;
                }
                last_was_bos = true;
                if (std::find(link->serials.begin(), link->serials.end(), serial) !=
                    link->serials.end()) {
                    why = "not a readable Ogg Vorbis stream: two of its streams start with the "
                          "same serial number";
                    return false;
                }
                link->serials.push_back(serial);
                if (!link->following && is_vorbis_start(page)) {
                    link->following = true;
                    ogg_stream_init(&link->packets, serial);
                }
            } else {
                last_was_bos = false;
            }
            if (!link || !link->following || serial != link->packets.serialno)
                return true;
            const bool headers_before = link->headers == 3;
            if (headers_before && ogg_page_granulepos(&page) >= 0)
                link->end = ogg_page_granulepos(&page);
            if (link->start >= 0)
                return true;
            ogg_stream_pagein(&link->packets, &page);
            ogg_packet packet;
            int got;
            while ((got = ogg_stream_packetout(&link->packets, &packet)) != 0) {
                if (link->headers == 3) { // audio: its frames, as the decoder will count them
                    const long block = got > 0 ? vorbis_packet_blocksize(&link->info, &packet) : -1;
                    if (block >= 0 && link->last_block >= 0)
                        link->counted += (link->last_block + block) / 4;
                    if (block >= 0)
                        link->last_block = block;
                    continue;
                }
                if (got < 0 || vorbis_synthesis_headerin(&link->info, &link->comments, &packet)) {
                    why = vorbis_error(OV_EBADHEADER) + " (link " + std::to_string(links) + ")";
                    return false;
                }
                kept += static_cast<uint64_t>(packet.bytes);
                if (link->headers == 2)
                    check_setup_header(packet.packet, static_cast<size_t>(packet.bytes), why,
                                       &kept);
                why.clear(); // the bounds have checked it already
                if (++link->headers == 3)
                    kept += kLinkOverhead;
            }
            if (headers_before && ogg_page_granulepos(&page) >= 0)
                link->start = std::max<int64_t>(ogg_page_granulepos(&page) - link->counted, 0);
            if (kept > kMaxChainHeaders) {
                why = "a chained Ogg stream whose headers take more than " +
                      std::to_string(kMaxChainHeaders >> 20) + " MiB in all (" +
                      std::to_string(links) + " links so far)";
                return false;
            }
            return true;
        });
    if (why.empty() && !read)
        why = "cannot read the file";
    if (why.empty())
        link_done();
    if (!why.empty() || !lengths) {
        found.runs.clear();
        found.starts.clear();
    }
    return found;
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
        if (!read_vorbis_comments(file_, tags_, why)) {
            if (why.empty())
                why = "cannot read the file";
            return false;
        }
        return open_stream(0, 0, why);
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
            float **pcm = nullptr;
            bool other = false;
            const int got = next_frames(pcm, frames - done, other);
            if (got == 0)
                break;
            if (other) {
                // The next link has another format: its first frames wait
                // until next_format().
                const vorbis_info *info = ov_info(&vf_, -1);
                hold(pcm, got, info->channels);
                format_pending_ = true;
                pending_rate_ = static_cast<int>(info->rate);
                break;
            }
            copy_planes(pcm, got, out + static_cast<size_t>(done) * channels());
            done += got;
        }
        frame_ += done;
        reached_ = std::max(reached_, frame_);
        return done;
    }

    void next_format() override {
        if (!format_pending_)
            return;
        format_pending_ = false;
        take_format();
    }

    std::vector<FileRun> runs() override {
        const Links &found = links();
        if (!found.why.empty())
            return {};
        if (found.chained)
            return found.runs;
        if (!seekable())
            return {};
        const ogg_int64_t frames = ov_pcm_total(&vf_, -1);
        const vorbis_info *info = ov_info(&vf_, 0);
        if (frames < 0 || frames > kMaxLinkFrames || !info)
            return {};
        return {FileRun{frames, static_cast<int>(info->rate)}};
    }

    bool seek(int64_t frame) override {
        if (frame < 0)
            return false;
        const Links &found = links();
        if (!found.why.empty()) {
            failure_ = "cannot seek in the Ogg Vorbis stream: " + found.why;
            ended_ = true;
            return false;
        }
        return found.chained ? seek_in_chain(found, frame) : seek_in_link(frame);
    }

private:
    // A single link: through libvorbisfile.
    bool seek_in_link(int64_t frame) {
        if (failed_) {
            // Not asked again after an error: it would take up a link whose
            // decoder setup failed as if it had not, with codebooks half made.
            seekable_ = tried_seeking_ = failed_ = false;
        }
        if (!seekable())
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
            failed_ = true;
            return false;
        }
        link_ = vf_.current_link;
        take_format();
        return true;
    }

    // A chain: libvorbisfile's seeks across links neither land exactly nor
    // keep clear of a link whose decoder setup failed. So the stream opens
    // afresh at the first page of the link that holds the frame, as playing
    // takes up each link afresh, and plays that link on to the frame (from
    // where it is, when that is in the link and not past the frame): it gives
    // there what playing from the start gives. Where the links' lengths are
    // unknown, it plays on from the stream's start. It plays on in steps of a
    // few thousand frames, and stops between them once the seek is no longer
    // wanted (cancelled()).
    bool seek_in_chain(const Links &found, int64_t frame) {
        int64_t link_frame = 0; // the link's first frame, counted from the file's start
        int64_t link_offset = 0;
        size_t k = 0;
        for (; k < found.runs.size() && frame >= link_frame + found.runs[k].frames; ++k)
            link_frame += found.runs[k].frames;
        if (!found.runs.empty() && k == found.runs.size()) {
            held_frames_ = held_at_ = 0;
            format_pending_ = false;
            ended_ = true; // past the last link: nothing left to read
            return true;
        }
        if (!found.runs.empty())
            link_offset = found.starts[k];
        const int64_t heard = reached_;
        if (failed_ || !opened_ || frame < frame_ || frame_ < link_frame) {
            std::string why;
            if (!open_stream(link_offset, link_frame, why)) {
                failure_ = "cannot seek in the Ogg Vorbis stream: " + why;
                ended_ = true;
                return false;
            }
        }
        std::vector<double> skipped;
        while (frame_ < frame && !ended_) {
            if (cancelled())
                return false; // where it stopped is where the next seek starts from
            if (format_pending_) {
                next_format();
                continue;
            }
            const int want = static_cast<int>(std::min<int64_t>(frame - frame_, 4096));
            skipped.resize(static_cast<size_t>(want) * static_cast<size_t>(channels_));
            const size_t notes = notes_.size();
            read(skipped.data(), want);
            if (frame_ <= heard)
                notes_.resize(notes); // given once already
        }
        // A link that starts at the frame is taken up now.
        if (!ended_ && !format_pending_ && held_at_ >= held_frames_) {
            float **pcm = nullptr;
            bool other = false;
            const int got = next_frames(pcm, 4096, other);
            if (got > 0) {
                hold(pcm, got, ov_info(&vf_, -1)->channels);
                if (other)
                    take_format();
            }
        }
        next_format();
        return failure_.empty();
    }

    // Opens the file as a stream at the page at `offset` (the first page of
    // a link), whose first frame is `frame` of the file.
    bool open_stream(int64_t offset, int64_t frame, std::string &why) {
        if (opened_)
            ov_clear(&vf_);
        opened_ = false;
        bounds_ = std::make_unique<OggBounds>();
        read_error_.clear();
        failure_.clear();
        pos_ = offset;
        frame_ = frame;
        link_ = 0;
        held_frames_ = held_at_ = 0;
        format_pending_ = ended_ = at_end_ = failed_ = false;
        if (!seek_to(file_, offset)) {
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

    // What check_links() finds, looked for once; the stream being played
    // reads on from where it was.
    const Links &links() {
        if (!walked_) {
            walked_ = true;
            links_ = check_links(file_);
            if (!seek_to(file_, pos_) && links_.why.empty())
                links_.why = "cannot read the file";
        }
        return links_;
    }

    // The next frames from libvorbisfile, up to `frames`, as its planes:
    // their count, with `other` when they start a link in another format;
    // 0 when the stream has ended or turned bad, or the link's format is
    // refused (then ended_).
    int next_frames(float **&pcm, int frames, bool &other) {
        while (true) {
            int link = 0;
            const long got = ov_read_float(&vf_, &pcm, frames, &link);
            if (bounds_->take_gaps() > 0)
                notes_.push_back("a gap in the Ogg Vorbis stream (pages are missing or damaged)");
            if (got == OV_HOLE)
                continue; // also where one link ends and the next starts
            if (got <= 0) {
                ended_ = true;
                finish(got);
                failed_ = got < 0 || !failure_.empty();
                return 0;
            }
            const vorbis_info *info = ov_info(&vf_, -1);
            other = link != link_ && (info->channels != channels_ || info->rate != rate_);
            link_ = link;
            if (other && !acceptable(info))
                return 0;
            return static_cast<int>(got);
        }
    }

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

    // libvorbisfile takes positions as long: 32 bits on Windows, so that
    // check_links() refuses larger files before it is asked.
    static long tell_bytes(void *self) {
        const int64_t pos = static_cast<OggDecoder *>(self)->pos_;
        return pos <= LONG_MAX ? static_cast<long>(pos) : -1;
    }

    // Opens a single link again for seeking, once; false when it cannot be
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
    bool seekable_ = false; // a single link opened for seeking (after the first seek)
    bool tried_seeking_ = false;
    bool failed_ = false; // libvorbisfile gave an error: it is not asked again
    bool walked_ = false;
    Links links_;
    int64_t frame_ = 0;   // the frames read since the stream was opened
    int64_t reached_ = 0; // the most frames read
    std::string read_error_;
    bool at_end_ = false;
    bool ended_ = false;
    int link_ = 0;
    std::vector<double> held_; // frames read ahead (a link in a new format, or after a seek)
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

} // namespace music
