// Conversion to S16 stereo 44 100 Hz; see converter.h.
#include "media/converter.h"

#include <cmath>
#include <cstdint>

#include "media/synth.h"

namespace music {
namespace {

constexpr int kBlock = 2048;
constexpr double kSideGain = 0.7071067811865476; // -3 dB

// How much of a channel at `speaker` goes left and right.
void speaker_gains(uint32_t speaker, double &left, double &right) {
    switch (speaker) {
    case kFrontLeft:
    case kFrontLeftOfCenter:
        left = 1.0, right = 0.0;
        break;
    case kFrontRight:
    case kFrontRightOfCenter:
        left = 0.0, right = 1.0;
        break;
    case kFrontCenter:
        left = right = kSideGain;
        break;
    case kLowFrequency:
        left = right = 0.0;
        break;
    case kBackLeft:
    case kSideLeft:
        left = kSideGain, right = 0.0;
        break;
    case kBackRight:
    case kSideRight:
        left = 0.0, right = kSideGain;
        break;
    default: // back centre, overhead and unnamed positions
        left = right = 0.5;
        break;
    }
}

} // namespace

uint32_t default_channel_mask(int channels) {
    switch (channels) {
    case 1:
        return kFrontCenter;
    case 2:
        return kFrontLeft | kFrontRight;
    case 3:
        return kFrontLeft | kFrontRight | kFrontCenter;
    case 4:
        return kFrontLeft | kFrontRight | kBackLeft | kBackRight;
    case 5:
        return kFrontLeft | kFrontRight | kFrontCenter | kBackLeft | kBackRight;
    case 6:
        return kFrontLeft | kFrontRight | kFrontCenter | kLowFrequency | kBackLeft | kBackRight;
    case 7:
        return kFrontLeft | kFrontRight | kFrontCenter | kLowFrequency | kBackCenter | kSideLeft |
               kSideRight;
    case 8:
        return kFrontLeft | kFrontRight | kFrontCenter | kLowFrequency | kBackLeft | kBackRight |
               kSideLeft | kSideRight;
    default:
        return 0;
    }
}

int16_t to_s16(double sample) {
    const double v = std::floor(sample * 32768.0 + 0.5);
    if (!(v == v))
        return 0;
    if (v >= 32767.0)
        return 32767;
    if (v <= -32768.0)
        return -32768;
    return static_cast<int16_t>(v);
}

int64_t delivered_frames(const std::vector<FileRun> &runs) {
    if (runs.empty())
        return -1;
    int64_t total = 0;
    for (const FileRun &run : runs) {
        if (run.rate <= 0 || run.frames < 0)
            return -1;
        // The resampler's output of N input frames: ceil(N * 44100 / rate).
        total += run.rate == kSampleRate ? run.frames
                                         : (run.frames * kSampleRate + run.rate - 1) / run.rate;
    }
    return total;
}

Converter::Seek Converter::seek(int64_t frame, const SeekCancel &cancel) {
    ended_ = false;
    std::vector<FileRun> runs = decoder_->runs();
    if (runs.empty()) // lengths unknown: one run at the current rate
        runs.push_back(FileRun{INT64_MAX / kMaxFileRate, decoder_->rate()});
    int64_t in_start = 0;
    int64_t out_start = 0;
    for (const FileRun &run : runs) {
        const int64_t out = delivered_frames({run});
        if (frame >= out_start + out) {
            in_start += run.frames;
            out_start += out;
            continue;
        }
        const int64_t local = frame - out_start;
        if (run.rate != kSampleRate && (!resampler_ || rate_ != run.rate)) {
            rate_ = run.rate;
            resampler_ =
                std::make_unique<Resampler>(rate_, kSampleRate, [this](double *stereo, int frames) {
                    return read_stereo(stereo, frames);
                });
        }
        const int64_t first = run.rate == kSampleRate ? local : resampler_->first_input(local);
        const bool done = decoder_->seek(in_start + first, cancel);
        if (decoder_->abandoned()) {
            ended_ = true;
            return Seek::kAbandoned;
        }
        if (!done || decoder_->rate() != run.rate)
            return Seek::kFailed;
        take_gains();
        rate_ = run.rate;
        if (rate_ == kSampleRate)
            resampler_.reset();
        else
            resampler_->restart(local);
        return Seek::kDone;
    }
    ended_ = true;
    return Seek::kPastEnd;
}

Converter::Converter(std::unique_ptr<Decoder> decoder) : decoder_(std::move(decoder)) {
    take_format();
}

void Converter::take_format() {
    take_gains();
    rate_ = decoder_->rate();
    resampler_.reset();
    if (rate_ != kSampleRate) {
        resampler_ =
            std::make_unique<Resampler>(rate_, kSampleRate, [this](double *stereo, int frames) {
                return read_stereo(stereo, frames);
            });
    }
}

void Converter::take_gains() {
    const int channels = decoder_->channels();
    channels_ = channels;
    left_gain_.assign(static_cast<size_t>(channels), 0.5);
    right_gain_.assign(static_cast<size_t>(channels), 0.5);
    if (channels == 1) {
        left_gain_[0] = right_gain_[0] = 1.0;
    } else if (channels == 2) {
        left_gain_ = {1.0, 0.0};
        right_gain_ = {0.0, 1.0};
    } else {
        // The channels in file order take the mask's speakers in bit order.
        uint32_t mask = decoder_->channel_mask();
        for (int c = 0; c < channels && mask; ++c) {
            const uint32_t speaker = mask & ~(mask - 1);
            mask &= mask - 1;
            speaker_gains(speaker, left_gain_[static_cast<size_t>(c)],
                          right_gain_[static_cast<size_t>(c)]);
        }
    }
}

int Converter::read_stereo(double *out, int frames) {
    int done = 0;
    while (done < frames) {
        const auto channels = static_cast<size_t>(channels_);
        raw_.resize(static_cast<size_t>(frames - done) * channels);
        const int got = decoder_->read(raw_.data(), frames - done);
        for (int f = 0; f < got; ++f) {
            const double *in = raw_.data() + static_cast<size_t>(f) * channels;
            double left = 0.0;
            double right = 0.0;
            for (size_t c = 0; c < channels; ++c) {
                left += left_gain_[c] * in[c];
                right += right_gain_[c] * in[c];
            }
            out[2 * (done + f)] = left;
            out[2 * (done + f) + 1] = right;
        }
        done += got;
        if (done == frames || !decoder_->format_pending())
            break;
        // Another channel count at the same rate is mapped from here on;
        // another rate ends this input, and read() starts the next.
        if (decoder_->pending_rate() != rate_)
            break;
        decoder_->next_format();
        take_gains();
    }
    return done;
}

int Converter::read(int16_t *out, int frames) {
    if (ended_)
        return 0;
    int done = 0;
    while (done < frames) {
        const int want = frames - done < kBlock ? frames - done : kBlock;
        stereo_.resize(static_cast<size_t>(want) * 2);
        const int got =
            resampler_ ? resampler_->read(stereo_.data(), want) : read_stereo(stereo_.data(), want);
        for (int i = 0; i < 2 * got; ++i)
            out[2 * done + i] = to_s16(stereo_[static_cast<size_t>(i)]);
        done += got;
        if (got < want) {
            // The input at this rate ended: the next link, at its own rate,
            // follows straight on, or this is the end.
            if (!decoder_->format_pending())
                break;
            decoder_->next_format();
            take_format();
        }
    }
    return done;
}

} // namespace music
