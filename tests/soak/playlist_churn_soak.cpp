// Playlist churn while playing: every 100 ms the followed playlist changes
// (tracks added, removed, moved, made unavailable and available again, another
// playlist renamed, the key N) while the output thread plays on the in-memory
// device in real time; under TSan a field touched outside its lock shows as a
// race. What is played must be runs of the catalogue's tracks, each from its
// first frame; a removed track is never heard past the audio at the device and
// queued when its removal was processed; the sound goes on while an available
// track stands at or after the position.
// LORVANE_SOAK_SECONDS sets the length (default 40 s; scripts/soak: ten minutes).

#include "audio/audio_output.h"
#include "audio/pcm_queue.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>
#include <posix_wave_out.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr size_t kFrame = 4;
constexpr size_t kAtTheDevice = 9 * 1024 * kFrame; // eight buffers, a block on its way

std::vector<uint32_t> pcm_of(int track) {
    std::vector<uint32_t> frames(static_cast<size_t>(splocal_track_pcm(track, nullptr, 0)));
    splocal_track_pcm(track, reinterpret_cast<int16_t *>(frames.data()),
                      static_cast<int>(frames.size()));
    return frames;
}

struct Entry {
    int track;
    bool available;
};

TEST(PlaylistChurnWhilePlaying, RemovedTracksStaySilentAndTheSoundGoesOn) {
    const char *setting = std::getenv("LORVANE_SOAK_SECONDS");
    const int seconds = setting ? std::atoi(setting) : 40;
    splocal_reset();
    splocal_set_latency(0);
    splocal_account_add("churn", "pcm");
    posix_wave_out_reset();
    posix_wave_out_set_pace(POSIX_WAVE_OUT_REAL_TIME);

    std::mt19937 random(2024);
    std::vector<int> all; // every track made, in order
    std::vector<Entry> model;
    const int playlist = splocal_playlist_add("churn", "Churn", -1);
    const int other = splocal_playlist_add("churn", "Other", -1);
    const auto add = [&](size_t where) {
        const int frames = kRate * (2 + static_cast<int>(random() % 5));
        const int track = all.emplace_back(splocal_track_add(
            "Churn", "Track", SPLOCAL_SOUND_NOISE, static_cast<int>(all.size()) + 1, frames));
        splocal_playlist_add_tracks(playlist, &track, 1, static_cast<int>(where));
        model.insert(model.begin() + static_cast<long>(where), {track, true});
    };
    for (size_t i = 0; i < 6; ++i)
        add(i);

    static HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    static PcmQueue queue;
    static SessionState state;
    ASSERT_TRUE(session_state_init(&state, wake, &queue));
    ASSERT_TRUE(audio_output_start(&queue, nullptr));
    ASSERT_EQ(session_connect(&state, "churn", "pcm"), 1);
    const auto pump_for = [&](Clock::duration time) {
        for (const auto end = Clock::now() + time; Clock::now() < end;) {
            const int wait = session_process(&state);
            WaitForSingleObject(wake, wait > 0 && wait < 5 ? static_cast<DWORD>(wait) : 5);
        }
    };
    pump_for(std::chrono::milliseconds(200));
    session_select_playlist(&state, "Churn");

    std::map<int, size_t> removed; // track: the played bytes it must end before
    size_t last_played = 0;
    auto last_growth = Clock::now();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (int change = 0; Clock::now() < end; ++change) {
        const int size = static_cast<int>(model.size());
        const int kind = static_cast<int>(random() % 10);
        const int at = static_cast<int>(random() % static_cast<unsigned>(size));
        if (size < 3 || (kind < 3 && size < 12)) {
            add(random() % static_cast<unsigned>(size + 1));
        } else if (kind < 6) {
            const int track = model[static_cast<size_t>(at)].track;
            // The track in the player stops and the queue is emptied; any
            // other can only have audio queued already (up to a second).
            const bool in_player = splocal_player_track(state.session) == track;
            const size_t queued = in_player ? 0 : pcm_queue_frames(&queue) * kFrame;
            splocal_playlist_remove_tracks(playlist, &at, 1);
            model.erase(model.begin() + at);
            do
                session_process(&state);
            while (splocal_work_pending(state.session));
            removed[track] = posix_wave_out_played(nullptr, 0) + kAtTheDevice + queued;
        } else if (kind < 8) {
            const int to = static_cast<int>(random() % static_cast<unsigned>(size + 1));
            splocal_playlist_move_tracks(playlist, &at, 1, to);
            const Entry moved = model[static_cast<size_t>(at)];
            model.erase(model.begin() + at);
            model.insert(model.begin() + (to > at ? to - 1 : to), moved);
        } else if (kind < 9) {
            Entry &entry = model[static_cast<size_t>(at)];
            entry.available = !entry.available;
            splocal_track_set_available(entry.track, entry.available);
        } else if (change % 3) {
            splocal_playlist_rename(other, change % 2 ? "Other" : "Elsewhere");
        } else {
            session_skip(&state); // the key N
        }
        pump_for(std::chrono::milliseconds(100));

        // Once a second the device must have played something, unless no
        // available track is left at or after the position.
        const size_t played = posix_wave_out_played(nullptr, 0);
        WaitForSingleObject(state.lock.get(), INFINITE);
        const size_t index = std::min<size_t>(state.track_index, model.size());
        ReleaseMutex(state.lock.get());
        if (played != last_played || std::none_of(model.begin() + static_cast<long>(index),
                                                  model.end(), [](Entry e) { return e.available; }))
            last_played = played, last_growth = Clock::now();
        ASSERT_LT(Clock::now() - last_growth, std::chrono::seconds(1))
            << "the sound stopped with playable tracks at change " << change;
        if (index + 2 >= model.size()) // keep the playlist from running out
            add(model.size());
    }
    posix_wave_out_halt();

    // Split what was played into runs of tracks, each from its first frame.
    // A track fades in from silence: a run is known by its first two frames
    // with sound (faint, so several tracks may share them: the one that goes
    // on longest with what was played is taken); silence belongs to no track.
    std::vector<uint32_t> played(posix_wave_out_played(nullptr, 0) / kFrame);
    posix_wave_out_played(played.data(), played.size() * kFrame);
    std::multimap<uint64_t, std::pair<int, size_t>> starts; // first sound: track, its frame
    for (int track : all) {
        const std::vector<uint32_t> pcm = pcm_of(track);
        size_t f = 0;
        while (f + 1 < pcm.size() && pcm[f] == 0)
            ++f;
        starts.insert({pcm[f] | uint64_t{pcm[f + 1]} << 32, {track, f}});
    }
    const auto allowed = [&](int track, size_t p) {
        const auto gone = removed.find(track);
        return gone == removed.end() || p * kFrame < gone->second;
    };
    std::vector<uint32_t> pcm; // the run's track
    int track = -1, runs = 0;
    for (size_t p = 0, offset = 0; p < played.size(); ++p, ++offset) {
        if (track >= 0 && offset < pcm.size() && played[p] == pcm[offset])
            ;
        else if (played[p] == 0)
            track = -1;
        else {
            const uint64_t next = p + 1 < played.size() ? played[p + 1] : 0;
            const auto [first, last] = starts.equal_range(played[p] | next << 32);
            ASSERT_NE(first, last) << "frame " << p << " is no track's audio";
            size_t longest = 0;
            for (auto candidate = first; candidate != last; ++candidate) {
                const auto [id, at] = candidate->second;
                std::vector<uint32_t> sound = pcm_of(id);
                size_t same = 0;
                while (p + same < played.size() && at + same < sound.size() && same < 4096 &&
                       played[p + same] == sound[at + same])
                    ++same;
                // Equal runs cannot tell the tracks apart: one still allowed wins.
                if (same > longest || (same == longest && allowed(id, p)))
                    longest = same, track = id, offset = at, pcm = std::move(sound);
            }
            ++runs;
        }
        ASSERT_TRUE(allowed(track, p))
            << "track " << track << " heard at byte " << p * kFrame << " after its removal";
    }
    std::printf("%zu s of audio in %d runs; %zu tracks removed\n", played.size() / kRate, runs,
                removed.size());
    EXPECT_GT(removed.size(), 0u);
}

} // namespace
