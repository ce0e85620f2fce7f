// The order in which a playlist's tracks are played: the playlist's own order
// or shuffled, with repeat off, of the whole playlist or of one track.
//
// Pure and deterministic: it works on playlist indices and a track count and
// draws from its own seeded generator. Main thread only. No function throws:
// those that need memory say what they do without it.
//
// Shuffled, every track plays once before any plays twice. A round is a
// random permutation of the playlist's indices; the order keeps the round
// being played and the one before it, so that P can go back through the
// tracks as they were heard and N then forward again through the same ones.
// Unshuffled, nothing is kept per track: the caller's position is the truth
// and the functions below only step it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class RepeatMode : uint8_t {
    Off, // the player stops after the last track
    All, // the whole playlist again (shuffled: a new round)
    One, // the current track again when it ends
};

enum class NextReason : uint8_t {
    Ended,      // the track played to its end
    Skipped,    // the user asked for the next track (N)
    Unplayable, // the track could not be played
};

// No track: the player stays idle.
inline constexpr uint32_t kPlayOrderNone = UINT32_MAX;

struct PlayOrder {
    bool shuffle = false;
    RepeatMode repeat = RepeatMode::Off;
    uint64_t random_state = 0; // the generator's state (splitmix64)
    // Shuffled only (empty otherwise): the previous round, then the current
    // one, as playlist indices. Every index names the same track across edits.
    std::vector<uint32_t> entries;
    size_t round_start = 0; // where the current round begins in entries
    // The entry playing. entries.size() when there is none: the playing track
    // was removed and nothing came after it in the order.
    size_t position = 0;
    // Next calls for unplayable tracks since a track last really started:
    // past a full pass over the playlist, Next gives none rather than loop.
    uint32_t unplayable_in_row = 0;
};

// Seeds the generator: the tests with fixed numbers, the program once from
// the clock. The same seed and calls give the same order on every build.
void play_order_seed(PlayOrder *order, uint64_t seed);

// The key R: Off -> All -> One -> Off. Returns the new mode.
RepeatMode play_order_cycle_repeat(PlayOrder *order);

// Turns shuffle on or off while playing (the playlist index playing, or
// kPlayOrderNone) plays. On, a new round starts with playing and goes on in
// random order; with nothing playing the whole round is random and its first
// track is play_order_current, for the caller to play. Also the way to start
// afresh on another playlist. Off, play goes on in playlist order from the
// caller's position. Returns false when memory is short: shuffle is then off.
bool play_order_set_shuffle(PlayOrder *order, bool on, uint32_t playing, uint32_t track_count);

// Shuffled: the playlist index of the entry playing, which edits keep up to
// date. kPlayOrderNone unshuffled, or when no entry is current.
uint32_t play_order_current(const PlayOrder *order);

// The playlist index to play after current (the caller's position; ignored
// when shuffled, where the order knows its own), or kPlayOrderNone when play
// stops there. Repeat One plays a track that ended again; a skip or an
// unplayable track moves on as if repeat were All. Shuffled, the end of a
// round begins a new one with repeat on. Unplayable tracks in a row (since
// play_order_track_started) end in none once every track has been tried:
// after track_count of them, or twice that less one when shuffled, as a run
// may begin in the middle of a round.
uint32_t play_order_next(PlayOrder *order, uint32_t current, uint32_t track_count,
                         NextReason reason);

// The playlist index to play for P once the caller has decided it is not a
// restart of the current track: the one heard before current (unshuffled:
// current - 1, at the first the first again; shuffled: the entry before, back
// into the previous round; at the very first entry, the same track again).
// kPlayOrderNone for an empty playlist.
uint32_t play_order_previous(PlayOrder *order, uint32_t current, uint32_t track_count);

// A track really started: the run of unplayable tracks is over.
void play_order_track_started(PlayOrder *order);

// Playlist edits, as the library reports them. They change the order only
// when shuffled; the caller then plays play_order_current, which stays the
// playing track or, when that was removed, becomes the track that would have
// come after it.
//
// count tracks inserted at position: they join the part of the current round
// not yet heard, at random places. Returns false when memory is short: they
// are left out of this round and join the next one.
bool play_order_tracks_added(PlayOrder *order, uint32_t position, uint32_t count);
// The tracks at indices (ascending, as they were before the removal) are
// gone: they leave the order, heard and unheard.
void play_order_tracks_removed(PlayOrder *order, const int *indices, int count);
// The tracks at indices (ascending, before the move) now stand together
// before the track that was at new_position (0 to the track count: at the
// end), in their old order.
void play_order_tracks_moved(PlayOrder *order, const int *indices, int count, int new_position);
