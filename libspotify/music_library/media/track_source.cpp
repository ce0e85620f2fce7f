// A track's audio for the player; see track_source.h.
#include "media/track_source.h"

namespace music {

void TrackSource::seek(int64_t frame) {
    finished_ = false;
    if (sound_.file.empty()) {
        next_ = frame < sound_.frames ? static_cast<int>(frame) : sound_.frames;
        finished_ = next_ >= sound_.frames;
        return;
    }
    start_ = frame;
    if (converter_)
        seek_file();
    else if (opened_) // the file could not be opened
        finished_ = true;
}

void TrackSource::seek_file() {
    switch (converter_->seek(start_, cancel_)) {
    case Converter::Seek::kDone:
        break;
    case Converter::Seek::kPastEnd:
    case Converter::Seek::kAbandoned: // no longer wanted: nothing until the next seek
        finished_ = true;
        break;
    case Converter::Seek::kFailed:
        finished_ = true;
        if (failure_.empty())
            failure_ = converter_->decoder().failure().empty() ? "cannot seek in the file"
                                                               : converter_->decoder().failure();
        break;
    }
}

void TrackSource::opened(std::unique_ptr<Decoder> decoder, const std::string &why) {
    opened_ = true;
    if (!decoder) {
        failure_ = why;
        finished_ = true;
        return;
    }
    converter_ = std::make_unique<Converter>(std::move(decoder));
    if (start_ != 0)
        seek_file();
}

int TrackSource::render(int16_t *out, int frames) {
    if (finished_ || frames <= 0)
        return 0;
    int count = 0;
    if (sound_.file.empty()) {
        const int left = sound_.frames - next_;
        count = left < frames ? left : frames;
        synth_render(sound_, next_, count, out);
        next_ += count;
        finished_ = next_ >= sound_.frames;
        return count;
    }
    if (!opened_) {
        std::string why;
        std::unique_ptr<Decoder> decoder = open_decoder(sound_.file, why);
        opened(std::move(decoder), why);
    }
    if (finished_)
        return 0;
    if (converter_) {
        count = converter_->read(out, frames);
        if (failure_.empty())
            failure_ = converter_->decoder().failure();
    }
    finished_ = count < frames;
    return count;
}

} // namespace music
