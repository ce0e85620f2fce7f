// Counting stb_vorbis's heap blocks; see vorbis_memory.h.
#include "media/vorbis_memory.h"

#include <cstdlib>

namespace splocal {
namespace {

thread_local VorbisOpening *opening = nullptr;

} // namespace

VorbisOpening::VorbisOpening() : outer_(opening) {
    opening = this;
}

VorbisOpening::~VorbisOpening() {
    opening = outer_;
}

VorbisOpening *VorbisOpening::current() {
    return opening;
}

void VorbisOpening::free_left() {
    for (void *block : blocks_)
        std::free(block);
    blocks_.clear();
}

} // namespace splocal

extern "C" void *lorvane_vorbis_malloc(size_t size) {
    void *block = std::malloc(size);
    splocal::VorbisOpening *current = splocal::VorbisOpening::current();
    if (block && current) {
        try {
            current->taken(block);
        } catch (...) {
            std::free(block); // no exception crosses into C
            return nullptr;
        }
    }
    return block;
}

extern "C" void lorvane_vorbis_free(void *block) {
    if (splocal::VorbisOpening *current = splocal::VorbisOpening::current())
        current->given_back(block);
    std::free(block);
}
