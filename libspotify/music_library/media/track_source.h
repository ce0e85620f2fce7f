// The audio of one track as the player renders it: synthesized, or an
// audio file decoded and converted as it plays. A file is opened at the
// first render, or, where the open must not hold up the renderer (the
// player), by the caller elsewhere and handed over with opened(). A file
// that cannot be opened, or that turns bad, ends its track where it stops.
// A seek that reads on through the file asks `cancel` (decoder.h) between
// its steps, and once it says so stops there: the source then renders
// nothing until the next seek.
#ifndef MUSIC_LIBRARY_MEDIA_TRACK_SOURCE_H
#define MUSIC_LIBRARY_MEDIA_TRACK_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/converter.h"
#include "media/synth.h"

namespace music {

class TrackSource {
public:
    explicit TrackSource(SoundDesc sound, SeekCancel cancel = {})
        : sound_(std::move(sound)), cancel_(std::move(cancel)) {}
    // Writes up to `frames` stereo frames; fewer only at the end.
    int render(int16_t *out, int frames);
    // Goes on at `frame` (0 is the start): the next render gives the track's
    // frames from there, as rendering from the start would have given them;
    // at or past the end, none (finished). A file not open yet is sought
    // once it opens; one that cannot be sought ends, with a failure.
    void seek(int64_t frame);
    // A file track not opened yet: its open may be done elsewhere and its
    // outcome given to opened() (a null decoder and why it failed).
    bool needs_open() const { return !sound_.file.empty() && !opened_; }
    void opened(std::unique_ptr<Decoder> decoder, const std::string &why);
    // True once render has given the last frame.
    bool finished() const { return finished_; }
    // Why a file track stopped early or never started; empty otherwise.
    const std::string &failure() const { return failure_; }
    // The file's notes that did not stop it (decoder.h), each given once.
    std::vector<std::string> take_notes() {
        return converter_ ? converter_->decoder().take_notes() : std::vector<std::string>{};
    }

private:
    void seek_file();

    SoundDesc sound_;
    SeekCancel cancel_;
    int next_ = 0;
    int64_t start_ = 0; // where a file opens
    bool opened_ = false;
    bool finished_ = false;
    std::unique_ptr<Converter> converter_;
    std::string failure_;
};

} // namespace music

#endif
