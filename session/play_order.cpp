// The order in which a playlist's tracks are played (see play_order.h).

#include "session/play_order.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

// splitmix64: small, fast and the same on every compiler.
uint64_t next_random(PlayOrder *order) {
    uint64_t z = (order->random_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A uniform draw below bound (> 0): draws from the uneven top of the range
// are thrown away, so that every value is equally likely.
uint64_t random_below(PlayOrder *order, uint64_t bound) {
    const uint64_t threshold = (0 - bound) % bound; // 2^64 mod bound
    for (;;) {
        const uint64_t value = next_random(order);
        if (value >= threshold)
            return value % bound;
    }
}

// Fisher-Yates over entries [first, end).
void shuffle_range(PlayOrder *order, size_t first, size_t end) {
    for (size_t i = end; i > first + 1; --i)
        std::swap(order->entries[i - 1], order->entries[first + random_below(order, i - first)]);
}

bool reserve_entries(PlayOrder *order, size_t size) {
    try {
        order->entries.reserve(size);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void drop_entries(PlayOrder *order) {
    std::vector<uint32_t>().swap(order->entries); // gives the memory back
    order->round_start = 0;
    order->position = 0;
}

// The playlist's own order: the next index, past the last the first or none.
uint32_t next_in_playlist(uint32_t current, uint32_t track_count, bool wrap) {
    if (static_cast<uint64_t>(current) + 1 < track_count)
        return current + 1;
    return wrap ? 0 : kPlayOrderNone;
}

// Ends the previous round and begins a new one after the current: the
// previous is given up, the current becomes the previous. The new round does
// not begin with the track that ended the last. Short of memory, the history
// goes first, then shuffle itself. Returns the new round's first track.
uint32_t begin_round(PlayOrder *order, uint32_t track_count) {
    const uint32_t last = order->entries.empty() ? kPlayOrderNone : order->entries.back();
    auto &entries = order->entries;
    entries.erase(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(order->round_start));
    if (!reserve_entries(order, entries.size() + track_count)) {
        entries.clear();
        if (!reserve_entries(order, track_count)) {
            drop_entries(order);
            order->shuffle = false;
            return next_in_playlist(last, track_count, true);
        }
    }
    const size_t first = entries.size();
    for (uint32_t i = 0; i < track_count; ++i)
        entries.push_back(i);
    shuffle_range(order, first, entries.size());
    // A draw that puts last first trades places with one of the others:
    // uniform over the rounds that do not begin with last.
    if (track_count >= 2 && entries[first] == last)
        std::swap(entries[first], entries[first + 1 + random_below(order, track_count - 1)]);
    order->round_start = first;
    order->position = first;
    return entries[first];
}

// How many of the ascending indices are below index: by how much an edit
// that takes them out moves the track at index back.
uint32_t count_below(const int *indices, int count, uint32_t index) {
    return static_cast<uint32_t>(std::lower_bound(indices, indices + count,
                                                  static_cast<int64_t>(index),
                                                  [](int a, int64_t b) { return a < b; }) -
                                 indices);
}

bool is_listed(const int *indices, int count, uint32_t index) {
    const uint32_t below = count_below(indices, count, index);
    return below < static_cast<uint32_t>(count) && static_cast<uint32_t>(indices[below]) == index;
}

} // namespace

void play_order_seed(PlayOrder *order, uint64_t seed) {
    order->random_state = seed;
}

RepeatMode play_order_cycle_repeat(PlayOrder *order) {
    switch (order->repeat) {
    case RepeatMode::Off:
        order->repeat = RepeatMode::All;
        break;
    case RepeatMode::All:
        order->repeat = RepeatMode::One;
        break;
    case RepeatMode::One:
        order->repeat = RepeatMode::Off;
        break;
    }
    return order->repeat;
}

bool play_order_set_shuffle(PlayOrder *order, bool on, uint32_t playing, uint32_t track_count) {
    drop_entries(order);
    order->shuffle = false;
    if (!on)
        return true;
    // Room for this round and the next, so that N seldom needs memory.
    if (!reserve_entries(order, 2 * static_cast<size_t>(track_count)) &&
        !reserve_entries(order, track_count))
        return false;
    order->shuffle = true;
    for (uint32_t i = 0; i < track_count; ++i)
        order->entries.push_back(i);
    const bool from_playing = playing < track_count;
    if (from_playing)
        std::swap(order->entries[0], order->entries[playing]);
    shuffle_range(order, from_playing ? 1 : 0, track_count);
    return true;
}

uint32_t play_order_current(const PlayOrder *order) {
    if (!order->shuffle || order->position >= order->entries.size())
        return kPlayOrderNone;
    return order->entries[order->position];
}

uint32_t play_order_next(PlayOrder *order, uint32_t current, uint32_t track_count,
                         NextReason reason) {
    if (track_count == 0)
        return kPlayOrderNone;
    if (reason == NextReason::Unplayable) {
        const uint64_t tries =
            order->shuffle ? 2 * static_cast<uint64_t>(track_count) - 1 : track_count;
        if (++order->unplayable_in_row >= tries)
            return kPlayOrderNone;
    }
    if (order->shuffle)
        current = play_order_current(order);
    if (order->repeat == RepeatMode::One && reason == NextReason::Ended && current < track_count)
        return current;
    // Past the end, repeat One wraps as All does: N moves on.
    const bool wrap = order->repeat != RepeatMode::Off;
    if (!order->shuffle)
        return next_in_playlist(current, track_count, wrap);
    if (order->position + 1 < order->entries.size())
        return order->entries[++order->position];
    return wrap ? begin_round(order, track_count) : kPlayOrderNone;
}

uint32_t play_order_previous(PlayOrder *order, uint32_t current, uint32_t track_count) {
    if (!order->shuffle) {
        if (track_count == 0)
            return kPlayOrderNone;
        return current == 0 ? 0 : std::min(current - 1, track_count - 1);
    }
    if (order->entries.empty())
        return kPlayOrderNone;
    if (order->position > 0)
        --order->position;
    return order->entries[order->position];
}

void play_order_track_started(PlayOrder *order) {
    order->unplayable_in_row = 0;
}

bool play_order_tracks_added(PlayOrder *order, uint32_t position, uint32_t count) {
    if (!order->shuffle || count == 0)
        return true;
    auto &entries = order->entries;
    for (uint32_t &index : entries) {
        if (index >= position)
            index += count;
    }
    if (!reserve_entries(order, entries.size() + count))
        return false;
    // The unheard part: after the playing entry, and never in the previous
    // round. With no entry playing, the first track added becomes current.
    const size_t unheard = order->position < entries.size()
                               ? std::max(order->position + 1, order->round_start)
                               : entries.size();
    for (uint32_t i = 0; i < count; ++i) {
        const size_t slot = unheard + random_below(order, entries.size() - unheard + 1);
        entries.insert(entries.begin() + static_cast<ptrdiff_t>(slot), position + i);
    }
    return true;
}

void play_order_tracks_removed(PlayOrder *order, const int *indices, int count) {
    if (!order->shuffle || count <= 0)
        return;
    auto &entries = order->entries;
    size_t kept = 0, position = entries.size(), round_start = entries.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        // A removed current entry hands over to the next one kept.
        if (i == order->position)
            position = kept;
        if (i == order->round_start)
            round_start = kept;
        if (!is_listed(indices, count, entries[i]))
            entries[kept++] = entries[i] - count_below(indices, count, entries[i]);
    }
    entries.erase(entries.begin() + static_cast<ptrdiff_t>(kept), entries.end());
    order->position = std::min(position, kept);
    order->round_start = std::min(round_start, kept);
}

void play_order_tracks_moved(PlayOrder *order, const int *indices, int count, int new_position) {
    if (!order->shuffle || count <= 0 || new_position < 0)
        return;
    // The tracks that stay keep their order; the moved go in between them,
    // after those that stood before new_position.
    const uint32_t to = static_cast<uint32_t>(new_position);
    const uint32_t insert_at = to - count_below(indices, count, to);
    for (uint32_t &index : order->entries) {
        const uint32_t below = count_below(indices, count, index);
        if (is_listed(indices, count, index)) {
            index = insert_at + below;
        } else {
            const uint32_t rest = index - below;
            index = rest < insert_at ? rest : rest + static_cast<uint32_t>(count);
        }
    }
}
