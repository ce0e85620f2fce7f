// The play order: shuffle rounds, going back and forth through what was
// heard, playlist edits while shuffled, the repeat modes at the ends, and
// the stop after a playlist of tracks that cannot be played.
#include "session/play_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <vector>

namespace {

constexpr auto kEnded = NextReason::Ended;
constexpr auto kSkipped = NextReason::Skipped;
constexpr auto kUnplayable = NextReason::Unplayable;

PlayOrder shuffled(uint64_t seed, uint32_t count, uint32_t playing,
                   RepeatMode repeat = RepeatMode::All) {
    PlayOrder order;
    play_order_seed(&order, seed);
    order.repeat = repeat;
    EXPECT_TRUE(play_order_set_shuffle(&order, true, playing, count));
    return order;
}

// The current track, then the next steps ones, as tracks that end.
std::vector<uint32_t> play(PlayOrder *order, uint32_t count, size_t steps) {
    std::vector<uint32_t> heard{play_order_current(order)};
    for (size_t i = 0; i < steps; ++i)
        heard.push_back(play_order_next(order, heard.back(), count, kEnded));
    return heard;
}

bool is_permutation_of(std::vector<uint32_t> tracks, uint32_t count) {
    std::vector<uint32_t> all(count);
    std::iota(all.begin(), all.end(), 0u);
    std::sort(tracks.begin(), tracks.end());
    return tracks == all;
}

// A playlist of named tracks, to see that an edited order names the same ones.
std::vector<int> names_of(const PlayOrder &order, const std::vector<int> &playlist) {
    std::vector<int> names;
    for (uint32_t index : order.entries)
        names.push_back(index < playlist.size() ? playlist[index] : -1);
    return names;
}

TEST(ShuffleRounds, EveryTrackOnceBeforeAnyTwiceAndTheFirstIsThePlayingTrack) {
    for (uint32_t count : {1u, 2u, 3u, 7u, 20u}) {
        for (uint64_t seed = 0; seed < 200; ++seed) {
            const uint32_t playing = static_cast<uint32_t>(seed % count);
            PlayOrder order = shuffled(seed, count, playing);
            const std::vector<uint32_t> heard = play(&order, count, 4 * count - 1);
            EXPECT_EQ(heard[0], playing);
            for (size_t round = 0; round < 4; ++round) {
                const auto first = heard.begin() + static_cast<ptrdiff_t>(round * count);
                ASSERT_TRUE(is_permutation_of({first, first + count}, count)) << seed;
                if (round > 0 && count >= 2) {
                    EXPECT_NE(*first, *(first - 1)) << "a round began with the last one";
                }
            }
        }
    }
    // Nothing playing: a whole random round, whose first track is current;
    // the same seed gives the same order, another seed another.
    PlayOrder order = shuffled(42, 8, kPlayOrderNone), again = shuffled(42, 8, kPlayOrderNone);
    PlayOrder other = shuffled(43, 8, kPlayOrderNone);
    const std::vector<uint32_t> heard = play(&order, 8, 15);
    EXPECT_TRUE(is_permutation_of({heard.begin(), heard.begin() + 8}, 8));
    EXPECT_EQ(play(&again, 8, 15), heard);
    EXPECT_NE(play(&other, 8, 15), heard);
}

TEST(ShuffleRounds, RoundsAreUniformApartFromTheirFirstTrack) {
    std::map<std::vector<uint32_t>, int> first_rounds;
    for (uint64_t seed = 0; seed < 30000; ++seed) {
        PlayOrder order = shuffled(seed, 3, kPlayOrderNone);
        ++first_rounds[play(&order, 3, 2)];
    }
    ASSERT_EQ(first_rounds.size(), 6u);
    for (const auto &[round, times] : first_rounds)
        EXPECT_NEAR(times, 5000, 300);

    // Each later round by the last track before it: 12 pairs, equally often.
    std::map<std::vector<uint32_t>, int> later_rounds;
    PlayOrder order = shuffled(7, 3, 0);
    std::vector<uint32_t> heard = play(&order, 3, 2);
    for (int round = 0; round < 36000; ++round) {
        std::vector<uint32_t> key{heard.back()};
        heard = play(&order, 3, 3);
        key.insert(key.end(), heard.begin() + 1, heard.end());
        ++later_rounds[key];
    }
    ASSERT_EQ(later_rounds.size(), 12u);
    for (const auto &[round, times] : later_rounds)
        EXPECT_NEAR(times, 3000, 250);
}

TEST(ShuffleHistory, PreviousGoesBackAcrossARoundAndNextReplaysTheSameOrder) {
    PlayOrder order = shuffled(11, 4, 2);
    const std::vector<uint32_t> heard = play(&order, 4, 6); // into the second round
    for (size_t i = heard.size() - 1; i > 0; --i)
        EXPECT_EQ(play_order_previous(&order, heard[i], 4), heard[i - 1]);
    EXPECT_EQ(play_order_previous(&order, heard[0], 4), heard[0]); // the very first
    for (size_t i = 1; i < heard.size(); ++i)
        EXPECT_EQ(play_order_next(&order, heard[i - 1], 4, kSkipped), heard[i]);
    PlayOrder plain; // unshuffled and empty (P in a playlist: the session tests)
    EXPECT_EQ(play_order_previous(&plain, 0, 0), kPlayOrderNone);
}

TEST(ShuffleEdits, AddedTracksJoinTheUnheardPartAtRandomPlaces) {
    std::set<size_t> places;
    for (uint64_t seed = 0; seed < 50; ++seed) {
        PlayOrder order = shuffled(seed, 8, 0);
        const std::vector<uint32_t> before = play(&order, 8, 3);
        ASSERT_TRUE(play_order_tracks_added(&order, 2, 3)); // 2, 3, 4 are new
        auto renumbered = [](uint32_t i) { return i >= 2 ? i + 3 : i; };
        for (size_t i = 0; i < before.size(); ++i) // heard: in place, renumbered
            EXPECT_EQ(order.entries[i], renumbered(before[i]));
        std::vector<uint32_t> rest = play(&order, 11, 7);
        EXPECT_TRUE(is_permutation_of(order.entries, 11));
        for (uint32_t added : {2u, 3u, 4u})
            places.insert(
                static_cast<size_t>(std::find(rest.begin(), rest.end(), added) - rest.begin()));
    }
    EXPECT_EQ(places.size(), 7u); // every unheard place, never the playing one

    // Shuffle on before the playlist has loaded: its tracks make the round.
    PlayOrder order = shuffled(3, 0, kPlayOrderNone);
    EXPECT_EQ(play_order_current(&order), kPlayOrderNone);
    ASSERT_TRUE(play_order_tracks_added(&order, 0, 5));
    EXPECT_TRUE(is_permutation_of(play(&order, 5, 4), 5));
}

TEST(ShuffleEdits, RemovedLeaveAndMovedKeepTheirPlaceInTheOrder) {
    std::vector<int> playlist{10, 11, 12, 13, 14, 15, 16, 17};
    PlayOrder order = shuffled(21, 8, 3);
    play(&order, 8, 10); // into the second round
    const int playing = playlist[play_order_current(&order)];
    std::vector<int> names = names_of(order, playlist);

    // Moved forward, backward and to the end: every entry names its track.
    const std::vector<std::pair<std::vector<int>, int>> moves{
        {{0, 2}, 6}, {{5, 6, 7}, 1}, {{1}, 8}, {{0, 7}, 0}};
    for (const auto &[moved, to] : moves) {
        std::vector<int> rest, taken;
        int insert_at = 0;
        for (int i = 0; i < 8; ++i) {
            const bool is_moved = std::count(moved.begin(), moved.end(), i) > 0;
            (is_moved ? taken : rest).push_back(playlist[static_cast<size_t>(i)]);
            insert_at += !is_moved && i < to;
        }
        rest.insert(rest.begin() + insert_at, taken.begin(), taken.end());
        playlist = rest;
        play_order_tracks_moved(&order, moved.data(), static_cast<int>(moved.size()), to);
        EXPECT_EQ(names_of(order, playlist), names) << "moved before " << to;
        EXPECT_EQ(playlist[play_order_current(&order)], playing);
    }

    // Removed, the playing track among them: gone from the past and the
    // future, and what would have come after it is current.
    const int playing_index = static_cast<int>(play_order_current(&order));
    ASSERT_TRUE(playing_index > 0 && playing_index < 7);
    const std::vector<int> removed{0, playing_index, 7};
    const size_t at = order.position;
    std::vector<int> left = names;
    std::erase_if(left, [&](int name) {
        return std::count_if(removed.begin(), removed.end(),
                             [&](int i) { return playlist[static_cast<size_t>(i)] == name; });
    });
    const auto after =
        std::find_if(names.begin() + static_cast<ptrdiff_t>(at) + 1, names.end(),
                     [&](int name) { return std::count(left.begin(), left.end(), name) > 0; });
    ASSERT_NE(after, names.end());
    for (auto it = removed.rbegin(); it != removed.rend(); ++it)
        playlist.erase(playlist.begin() + *it);
    play_order_tracks_removed(&order, removed.data(), 3);
    EXPECT_EQ(names_of(order, playlist), left);
    EXPECT_EQ(playlist[play_order_current(&order)], *after);

    // The last entry of the order removed while playing: nothing is current;
    // Next stops there with repeat off, and begins a new round with it on.
    order = shuffled(4, 3, 1, RepeatMode::Off);
    const std::vector<uint32_t> round = play(&order, 3, 2);
    const int last[] = {static_cast<int>(round[2])};
    play_order_tracks_removed(&order, last, 1);
    EXPECT_EQ(play_order_current(&order), kPlayOrderNone);
    EXPECT_EQ(play_order_next(&order, kPlayOrderNone, 2, kEnded), kPlayOrderNone);
    order.repeat = RepeatMode::All;
    const uint32_t first = play_order_next(&order, kPlayOrderNone, 2, kEnded);
    EXPECT_TRUE(is_permutation_of({first, play_order_next(&order, first, 2, kEnded)}, 2));
}

TEST(RepeatModes, AtTheEndOfThePlaylistByReason) {
    PlayOrder order;
    EXPECT_EQ(play_order_next(&order, 1, 3, kEnded), 2u);
    EXPECT_EQ(play_order_next(&order, 2, 3, kEnded), kPlayOrderNone);
    EXPECT_EQ(play_order_next(&order, 2, 3, kSkipped), kPlayOrderNone);
    EXPECT_EQ(play_order_cycle_repeat(&order), RepeatMode::All);
    EXPECT_EQ(play_order_next(&order, 2, 3, kEnded), 0u);
    EXPECT_EQ(play_order_cycle_repeat(&order), RepeatMode::One);
    EXPECT_EQ(play_order_next(&order, 1, 3, kEnded), 1u);
    EXPECT_EQ(play_order_next(&order, 1, 3, kSkipped), 2u);
    EXPECT_EQ(play_order_next(&order, 2, 3, kSkipped), 0u);
    EXPECT_EQ(play_order_next(&order, 2, 3, kUnplayable), 0u);
    EXPECT_EQ(play_order_cycle_repeat(&order), RepeatMode::Off);

    // Shuffled: the end of the round stops with repeat off; One repeats an
    // ended track and moves on for a skip, across the end of the round too.
    order = shuffled(9, 4, 1, RepeatMode::Off);
    const std::vector<uint32_t> round = play(&order, 4, 3);
    EXPECT_EQ(play_order_next(&order, round[3], 4, kEnded), kPlayOrderNone);
    order.repeat = RepeatMode::One;
    EXPECT_EQ(play_order_next(&order, round[3], 4, kEnded), round[3]);
    const uint32_t next = play_order_next(&order, round[3], 4, kSkipped);
    EXPECT_NE(next, round[3]);
    EXPECT_EQ(play_order_current(&order), next);
}

TEST(ShuffleOff, ContinuesInPlaylistOrderFromThePlayingTrack) {
    PlayOrder order = shuffled(13, 10, 4);
    const uint32_t playing = play(&order, 10, 3).back();
    ASSERT_TRUE(play_order_set_shuffle(&order, false, playing, 10));
    EXPECT_TRUE(order.entries.empty());
    EXPECT_EQ(play_order_next(&order, playing, 10, kEnded), (playing + 1) % 10);
    ASSERT_TRUE(play_order_set_shuffle(&order, true, 6, 10)); // on again: from 6
    EXPECT_TRUE(is_permutation_of(play(&order, 10, 9), 10));
    EXPECT_EQ(order.entries[0], 6u);
}

TEST(NeverLoopsForever, StopsOnceEveryTrackFailedAndStartsCountAfresh) {
    PlayOrder order;
    order.repeat = RepeatMode::All;
    EXPECT_EQ(play_order_next(&order, 1, 4, kUnplayable), 2u);
    EXPECT_EQ(play_order_next(&order, 2, 4, kUnplayable), 3u);
    EXPECT_EQ(play_order_next(&order, 3, 4, kUnplayable), 0u);
    EXPECT_EQ(play_order_next(&order, 0, 4, kUnplayable), kPlayOrderNone);
    play_order_track_started(&order);
    EXPECT_EQ(play_order_next(&order, 0, 4, kUnplayable), 1u);
    for (int i = 0; i < 20; ++i) // skips by the user are no failures
        EXPECT_NE(play_order_next(&order, 1, 4, kSkipped), kPlayOrderNone);

    // Shuffled, a run of failures that begins anywhere in a round reaches
    // the one track that plays before it stops.
    for (uint64_t seed = 0; seed < 300; ++seed) {
        PlayOrder mixed = shuffled(seed, 5, 0);
        play(&mixed, 5, seed % 7);
        uint32_t track = play_order_current(&mixed);
        while (track != 0) {
            track = play_order_next(&mixed, track, 5, kUnplayable);
            ASSERT_NE(track, kPlayOrderNone) << seed;
        }
        // Nothing plays: every track is offered before the stop, which comes
        // within two rounds.
        PlayOrder none_plays = shuffled(seed, 5, 0);
        std::set<uint32_t> offered{0};
        size_t tries = 0;
        for (uint32_t next = 0; next != kPlayOrderNone; ++tries) {
            next = play_order_next(&none_plays, next, 5, kUnplayable);
            offered.insert(next);
        }
        EXPECT_EQ(offered.size(), 6u) << seed; // with kPlayOrderNone
        EXPECT_LE(tries, 9u);
    }
}

} // namespace
