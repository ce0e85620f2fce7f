// FNV-1a, the hash of the library's prints of folders and files: any byte
// changed changes the print, and equal contents give equal prints in every
// run and on every system.
#ifndef MUSIC_LIBRARY_BASE_FNV_HASH_H
#define MUSIC_LIBRARY_BASE_FNV_HASH_H

#include <cstddef>
#include <cstdint>

namespace music {

constexpr uint64_t kFnvStart = 14695981039346656037ull;

inline uint64_t fnv_mix(uint64_t hash, const void *data, size_t count) {
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

// A number's eight bytes, lowest first, so that the print does not depend
// on the machine's byte order.
inline uint64_t fnv_mix(uint64_t hash, uint64_t value) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    return fnv_mix(hash, bytes, sizeof bytes);
}

} // namespace music

#endif
