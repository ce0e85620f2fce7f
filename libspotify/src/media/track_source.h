// The audio of one track as the player renders it: synthesized, or an
// audio file decoded and converted as it plays (opened at the first
// render, so on the player thread). A file that cannot be opened, or that
// turns bad, ends its track where it stops.
#ifndef LIBSPOTIFY_SRC_MEDIA_TRACK_SOURCE_H
#define LIBSPOTIFY_SRC_MEDIA_TRACK_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/converter.h"
#include "media/synth.h"

namespace splocal {

class TrackSource {
public:
    explicit TrackSource(SoundDesc sound) : sound_(std::move(sound)) {}
    // Writes up to `frames` stereo frames; fewer only at the end.
    int render(int16_t *out, int frames);
    // True once render has given the last frame.
    bool finished() const { return finished_; }
    // Why a file track stopped early or never started; empty otherwise.
    const std::string &failure() const { return failure_; }
    // The file's notes that did not stop it (decoder.h), each given once.
    std::vector<std::string> take_notes() {
        return converter_ ? converter_->decoder().take_notes() : std::vector<std::string>{};
    }

private:
    SoundDesc sound_;
    int next_ = 0;
    bool opened_ = false;
    bool finished_ = false;
    std::unique_ptr<Converter> converter_;
    std::string failure_;
};

} // namespace splocal

#endif
