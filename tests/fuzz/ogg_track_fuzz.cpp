// Any file as the library plays a track from it: opened by its path (the
// content picks the decoder), decoded and converted to the delivery format
// to its end, its notes taken as the player takes them. Then as the loader
// looks at it (its tags and length, for which an Ogg stream of one link is
// opened for seeking, and a chain's links are walked through), and as a seek
// plays it: to a frame its last bytes pick, then a few seconds from there,
// and back to the start. The checksums of
// the Ogg pages in the input are made right first, so that what a change
// does reaches the decoder instead of a page refused for its checksum.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <ogg/ogg.h>

#include "media/audio_file.h"
#include "media/track_source.h"

namespace {

void set_checksums(std::vector<unsigned char> &bytes) {
    for (size_t at = 0; at + 27 <= bytes.size(); ++at) {
        unsigned char *h = bytes.data() + at;
        if (h[0] != 'O' || h[1] != 'g' || h[2] != 'g' || h[3] != 'S' ||
            at + 27 + h[26] > bytes.size())
            continue;
        ogg_page page{h, 27 + h[26], h + 27 + h[26], 0};
        for (int i = 0; i < h[26]; ++i)
            page.body_len += h[27 + i];
        if (at + static_cast<size_t>(page.header_len + page.body_len) <= bytes.size())
            ogg_page_checksum_set(&page);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("ogg_track_fuzz_" + std::to_string(getpid()) + ".ogg"))
                                        .string();
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::vector<unsigned char> bytes(data, data + size);
    set_checksums(bytes);
    const bool written = std::fwrite(bytes.data(), 1, size, file) == size;
    if (std::fclose(file) != 0 || !written)
        return 0;
    music::SoundDesc sound;
    sound.file = path;
    static int16_t out[2 * 4096];
    {
        music::TrackSource source(sound);
        while (source.render(out, 4096) == 4096)
            source.take_notes();
        source.take_notes();
    }
    const music::FileProbe probe = music::probe_audio_file(path);
    // Mostly within the length the loader read, sometimes past it.
    uint32_t pick = 0;
    for (size_t i = size >= 4 ? size - 4 : 0; i < size; ++i)
        pick = pick << 8 | data[i];
    const int64_t length = int64_t{probe.duration_ms} * 441 / 10;
    const int64_t frame = static_cast<int64_t>(pick) % (length + length / 8 + 4096);
    {
        music::TrackSource source(sound);
        source.seek(frame);
        for (int i = 0; i < 32 && source.render(out, 4096) == 4096; ++i)
            source.take_notes();
        source.take_notes();
        // And again while playing, back to the start.
        source.seek(0);
        source.render(out, 4096);
    }
    std::remove(path.c_str());
    return 0;
}
