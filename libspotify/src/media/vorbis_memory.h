// The heap blocks stb_vorbis takes, counted while a stream is opened: a
// stream whose setup header fails part way leaves blocks that stb_vorbis
// never frees, and the opener frees them (stb_vorbis_impl.c routes its
// malloc and free here).
//
// Thread rules: the count is the opening thread's own; blocks taken on
// other threads, or outside an opening, are not counted.
#ifndef LIBSPOTIFY_SRC_MEDIA_VORBIS_MEMORY_H
#define LIBSPOTIFY_SRC_MEDIA_VORBIS_MEMORY_H

#include <cstddef>
#include <unordered_set>

extern "C" void *lorvane_vorbis_malloc(size_t size);
extern "C" void lorvane_vorbis_free(void *block);

namespace splocal {

// Counts the blocks taken on this thread while it lives.
class VorbisOpening {
public:
    VorbisOpening();
    ~VorbisOpening();
    VorbisOpening(const VorbisOpening &) = delete;
    VorbisOpening &operator=(const VorbisOpening &) = delete;
    // Frees the blocks taken since the start and not freed since: for an
    // opening that failed.
    void free_left();
    // The opening under way on this thread, or null.
    static VorbisOpening *current();
    void taken(void *block) { blocks_.insert(block); }
    void given_back(void *block) { blocks_.erase(block); }

private:
    std::unordered_set<void *> blocks_;
    VorbisOpening *outer_;
};

} // namespace splocal

#endif
