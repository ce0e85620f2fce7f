// A session's creation checks its configuration; a session serves one
// account in rounds of work; the player delivers exact
// audio in order, from the first frame not taken, and one end_of_track; a
// seek goes on at the offset's frame; a track tells its length; no call
// waits for a file that does not open.
#include "../music_library/media/wav_file.h"
#include "libspotify/library_harness.h"
#include "player_seeking.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace lib_test {
namespace {

using SessionCreationChecksItsConfiguration = LibraryTest;
using SessionServesOneAccount = LibraryTest;
using SessionRunsRounds = LibraryTest;
using PlayerDeliversTheTracksAudio = LibraryTest;
using PlayerSeeks = SeekingTest<LibraryTest>;

TEST_F(SessionCreationChecksItsConfiguration, EachWrongPartIsRefused) {
    static const unsigned char key[322] = {};
    sp_session_callbacks missing[4] = {callbacks, callbacks, callbacks, callbacks};
    missing[0].logged_in = nullptr;
    missing[1].notify_main_thread = nullptr;
    missing[2].music_delivery = nullptr;
    missing[3].end_of_track = nullptr;
    const auto config = [&](int version, size_t key_size, const char *agent,
                            const sp_session_callbacks *table) {
        return sp_session_config{version, "x", "x", key, key_size, agent, table, this};
    };
    const int v = SPOTIFY_API_VERSION;
    const std::pair<sp_session_config, sp_error> cases[] = {
        {config(v - 1, 321, "t", &callbacks), SP_ERROR_BAD_API_VERSION},
        {config(v, 320, "t", &callbacks), SP_ERROR_BAD_APPLICATION_KEY},
        {config(v, 322, "t", &callbacks), SP_ERROR_BAD_APPLICATION_KEY},
        {config(v, 321, nullptr, &callbacks), SP_ERROR_BAD_USER_AGENT},
        {config(v, 321, "t", nullptr), SP_ERROR_MISSING_CALLBACK},
        {config(v, 321, "t", &missing[0]), SP_ERROR_MISSING_CALLBACK},
        {config(v, 321, "t", &missing[1]), SP_ERROR_MISSING_CALLBACK},
        {config(v, 321, "t", &missing[2]), SP_ERROR_MISSING_CALLBACK},
        {config(v, 321, "t", &missing[3]), SP_ERROR_MISSING_CALLBACK},
    };
    for (const auto &[wrong, error] : cases) {
        sp_session *made = nullptr;
        EXPECT_EQ(sp_session_create(&wrong, &made), error) << &wrong - &cases[0].first;
        splocal_session_release(made);
    }
}

// Each call runs one round: the work queued before it and due, 256 pieces at
// most; the loads a login causes wait for the next call. The time-out: 0
// while work from before is due, 1 for new work, else the wait for the next
// (1000 when none). container_loaded comes once, when the last one loads.
TEST_F(SessionRunsRounds, OneRoundPerCallItsTimeOutAndOneContainerLoaded) {
    const int p = add_playlist("P", {add_track()});
    const int held = add_playlist("H", {});
    splocal_playlist_hold_loading(held, 1);
    ASSERT_EQ(create(), SP_ERROR_OK);
    const auto round = [&] {
        int timeout = -1;
        sp_session_process_events(session, &timeout);
        return timeout;
    };
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    EXPECT_EQ(round(), 1);
    EXPECT_EQ(view(), "P?[] H?[]");
    int loaded = 0;
    sp_playlistcontainer_callbacks calls{};
    calls.container_loaded = [](sp_playlistcontainer *, void *count) {
        ++*static_cast<int *>(count);
    };
    sp_playlistcontainer_add_callbacks(sp_session_playlistcontainer(session), &calls, &loaded);
    EXPECT_EQ(round(), 1000);
    EXPECT_EQ(view(), "P[0] H?[]");
    EXPECT_EQ(loaded, 0);
    splocal_playlist_hold_loading(held, 0);
    pump();
    EXPECT_EQ(loaded, 1);
    splocal_playlist_add(kUser, "Q", -1);
    pump();
    EXPECT_EQ(view(), "P[0] H[] Q[]");
    EXPECT_EQ(loaded, 1);
    for (int i = 0; i < 300; ++i)
        splocal_playlist_rename(p, std::to_string(i).c_str());
    EXPECT_EQ(round(), 0);
    EXPECT_STREQ(sp_playlist_name(playlist_at(0)), "255");
    EXPECT_EQ(round(), 1000);
    EXPECT_STREQ(sp_playlist_name(playlist_at(0)), "299");
    splocal_set_latency(900);
    splocal_playlist_rename(p, "Later");
    const int timeout = round();
    EXPECT_STREQ(sp_playlist_name(playlist_at(0)), "299");
    EXPECT_TRUE(timeout > 1 && timeout <= 900) << timeout;
}

// A login needs a name; the same account again is answered 0, another is
// refused. Bad positions (out of range, repeated), unknown tracks and a
// removed playlist change nothing; the removed playlist's and track's
// handles still answer until the session is released.
TEST_F(SessionServesOneAccount, AnotherIsRefusedInvalidChangesIgnoredHandlesOutliveRemoval) {
    ASSERT_GE(splocal_account_add("bob", "pw"), 0);
    const int a = add_track(), b = add_track();
    const int p = add_playlist("P", {a, b});
    const int gone = add_playlist("Gone", {b});
    ASSERT_EQ(create(), SP_ERROR_OK);
    EXPECT_EQ(sp_session_login(session, nullptr, "x"), SP_ERROR_INVALID_INDATA);
    log_in();
    log_in("bob", "pw");
    log_in();
    EXPECT_EQ(rec.logins,
              (std::vector<std::string>{"0 playlists 2", "10 playlists 2", "0 playlists 2"}));
    sp_playlist *removed = playlist_at(1);
    sp_track *track = sp_playlist_track(removed, 0);
    splocal_playlist_remove(gone);
    const int one = 1;
    splocal_playlist_remove_tracks(p, &one, 1);
    pump();
    const int bad[][2] = {{0, 0}, {-1, 0}, {0, 1}};
    for (const auto &positions : bad) {
        splocal_playlist_remove_tracks(p, positions, 2);
        splocal_playlist_move_tracks(p, positions, 2, 0);
    }
    splocal_playlist_move_tracks(p, bad[0], 1, 2);
    const int unknown[] = {a, 99};
    splocal_playlist_add_tracks(p, unknown, 2, 0);
    splocal_playlist_add_tracks(gone, &a, 1, 0);
    splocal_playlist_rename(gone, "X");
    EXPECT_EQ(splocal_work_pending(session), 0);
    EXPECT_EQ(view(), "P[" + std::to_string(a) + "]");
    EXPECT_STREQ(sp_playlist_name(removed), "Gone");
    EXPECT_EQ(splocal_track_id(track), b);
    EXPECT_EQ(sp_track_duration(track), 30000);
}

// The program takes 640 frames of a ramp in chunks of 300, then refuses; a
// load replaces the ramp, and the drums arrive from their first frame, taken
// in parts: none, a third, one frame, all.
TEST_F(PlayerDeliversTheTracksAudio, EveryFrameTakenInOrderFromTheFirstNotTakenThenOneEnd) {
    splocal_set_chunk_frames(300);
    const int ramp = splocal_track_add("A", "Ramp", SPLOCAL_SOUND_RAMP, 0, 200000);
    const int drums = splocal_track_add("A", "Beat", SPLOCAL_SOUND_DRUMS, 140, 7000);
    add_playlist("P", {ramp, drums});
    log_in();
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 0)), 0);
    // Loaded, not playing: nothing comes within a wait that is longer than
    // the first delivery takes once playing starts (measured below; it has
    // taken up to 170 ms on a loaded machine).
    using Clock = std::chrono::steady_clock;
    const auto quiet = std::chrono::milliseconds(500);
    std::this_thread::sleep_for(quiet);
    std::unique_lock<std::mutex> lock(rec.mutex);
    EXPECT_TRUE(rec.offers.empty());
    rec.accept = [&](int offered) {
        return std::min(offered, 640 - int(rec.delivered.size() / 2));
    };
    lock.unlock();
    const auto offers = [&] {
        std::lock_guard<std::mutex> guard(rec.mutex);
        return rec.offers.size();
    };
    const Clock::time_point play = Clock::now();
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return offers() >= 1; }));
    EXPECT_LT(Clock::now() - play, quiet) << "the quiet wait above proves nothing";
    ASSERT_TRUE(wait_until([&] { return offers() >= 5; }))
        << "the refused chunk was not offered again";
    // Offered again after a wait of a few milliseconds, not in a spin: at
    // most one offer per 2 ms, however long the machine takes meanwhile.
    const size_t before = offers();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    lock.lock();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_LE(rec.offers.size() - before, static_cast<size_t>(elapsed / 2 + 2));
    const size_t refusals = rec.offers.size() - 3;
    rec.accept = [n = 0](int offered) mutable {
        return std::vector{0, offered / 3, 1, offered}[n++ % 4];
    };
    lock.unlock();
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 1)), 0);
    EXPECT_EQ(splocal_player_track(session), drums);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 1; }));
    lock.lock();
    std::vector<int16_t> expected(2 * 7640);
    splocal_track_pcm(ramp, expected.data(), 640);
    splocal_track_pcm(drums, expected.data() + 2 * 640, 7000);
    EXPECT_EQ(rec.delivered, expected); // a wrong first frame shows as a gap or a repeat
    for (size_t i = 3 + refusals; i < rec.offers.size(); ++i) // a full chunk or the rest
        EXPECT_EQ(rec.offers[i].second, std::min(300, 7640 - rec.offers[i].first)) << i;
    EXPECT_EQ(splocal_player_position(session), 7000);
    EXPECT_EQ(splocal_work_pending(session), 0); // no second end_of_track owed
}

// Before play, while the program refuses, after 3000 frames taken (back to
// 2 ms), twice in a row: the audio goes on at floor(ms * 44.1), bit for bit,
// and the position counts from there. A refused seek changes nothing. At or
// past the end the track ends once, and a seek back plays the rest again.
// The length is floor(frames * 1000 / 44100), once the track is loaded.
TEST_F(PlayerSeeks, GoesOnAtTheOffsetsFrameAndDurationIsTheLength) {
    const int sweep = splocal_track_add("A", "Sweep", SPLOCAL_SOUND_SWEEP, 0, 3 * 44100);
    const int odd = add_track(44100 * 3 + 1000);
    const int held = add_track(44099);
    splocal_track_hold_metadata(held, 1);
    add_playlist("P", {sweep, odd, held});
    log_in();
    EXPECT_EQ(sp_track_duration(sp_playlist_track(playlist_at(0), 1)), 3022);
    EXPECT_EQ(sp_track_duration(sp_playlist_track(playlist_at(0), 2)), 0);
    EXPECT_EQ(sp_track_duration(nullptr), 0);
    splocal_track_hold_metadata(held, 0);
    pump();
    EXPECT_EQ(sp_track_duration(sp_playlist_track(playlist_at(0), 2)), 999);
    sp_track *track = sp_playlist_track(playlist_at(0), 0);
    std::vector<int16_t> whole(2 * 3 * 44100);
    splocal_track_pcm(sweep, whole.data(), 3 * 44100);
    EXPECT_EQ(sp_session_player_seek(session, 0), SP_ERROR_INVALID_INDATA); // nothing loaded
    const struct {
        int taken;
        std::vector<int> offsets;
    } cases[] = {{-1, {1234}},  {0, {500}},  {3000, {2}}, {-1, {100, 7}},
                 {700, {2999}}, {0, {3000}}, {0, {60000}}};
    for (const auto &c : cases) {
        const std::vector<int16_t> got = play_seeking(track, c.taken, [&] {
            for (int ms : c.offsets)
                EXPECT_EQ(sp_session_player_seek(session, ms), SP_ERROR_OK);
            EXPECT_EQ(sp_session_player_seek(session, -1), SP_ERROR_INVALID_INDATA);
            EXPECT_EQ(splocal_player_position(session),
                      std::min(c.offsets.back() * 441 / 10, 3 * 44100));
        });
        const int64_t frame = int64_t{c.offsets.back()} * 44100 / 1000;
        EXPECT_EQ(got, spliced(whole, c.taken, frame)) << c.offsets.back();
        EXPECT_EQ(splocal_player_position(session), 3 * 44100);
    }
    EXPECT_EQ(rec.end_of_track.load(), 7);
    EXPECT_EQ(sp_session_player_seek(session, 2990), SP_ERROR_OK);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 8; }));
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(rec.delivered, spliced(whole, 0, 131859));
    EXPECT_EQ(splocal_work_pending(session), 0); // no further end owed
}

// A lost play token is told; the player goes on to the track's end.
TEST_F(PlayerDeliversTheTracksAudio, APlayTokenLostIsToldAndPlayingGoesOn) {
    static std::atomic<int> lost;
    lost = 0;
    callbacks.play_token_lost = [](sp_session *) { ++lost; };
    rec.accept = [](int offered) { return lost ? offered : 0; }; // nothing taken before
    const int track = add_track(44100);
    add_playlist("P", {track});
    log_in();
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 0)), 0);
    sp_session_player_play(session, 1);
    splocal_lose_play_token();
    ASSERT_TRUE(wait_until([&] { return lost == 1 && rec.end_of_track.load() == 1; }));
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(rec.delivered, pcm(track));
}

// Track 0 a file, a.wav (a second of noise: every position sounds
// different), track 1 a tone; natively track 2 a pipe named as a share's
// file is (//server/share/x), which nothing opens before it plays.
class PlayerNeverWaitsForAFile : public SeekingTest<LibraryTest> {
protected:
    void SetUp() override {
        SeekingTest<LibraryTest>::SetUp();
        std::vector<double> noise(2 * 44100);
        uint32_t x = 1;
        for (double &sample : noise)
            sample = static_cast<int32_t>(x = x * 1664525u + 1013904223u) / 4294967296.0;
        write("a.wav", music_test::wav_bytes({}, noise));
        std::string lines = "account me\nplaylist P\ntrack file a.wav\ntrack tone 0 500 T / T\n";
#ifndef _WIN32
        const std::string pipe = std::filesystem::absolute(folder / "pipe.wav").string();
        std::filesystem::remove(pipe); // left by a run that was stopped
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        lines += "track file \"/" + pipe + "\"\n";
#endif
        ASSERT_EQ(splocal_load_file(write("catalogue.txt", lines).c_str()), 0);
        log_in("me", "");
    }
    sp_track *track(int i) {
        return sp_playlist_track(playlist_at(0), i);
    }
    std::vector<int16_t> whole(int i) {
        return pcm(splocal_track_id(track(i)), 1);
    }
    // Starts track 0 with its open held.
    void start_held() {
        splocal_hold_open(1);
        EXPECT_EQ(sp_session_player_load(session, track(0)), SP_ERROR_OK);
        sp_session_player_play(session, 1);
        EXPECT_TRUE(wait_until([] { return splocal_open_held() == 1; }));
    }
    void release_open() {
        splocal_hold_open(0);
        EXPECT_TRUE(wait_until([] { return splocal_opens_running() == 0; }));
    }
};

#ifndef _WIN32
// A pipe at play: its open neither waits for a writer nor reads the pipe;
// the track fails with its reason, and the next plays.
TEST_F(PlayerNeverWaitsForAFile, APipeFailsItsTrackAtOnceTheNextPlays) {
    EXPECT_EQ(play_seeking(track(2), -1, [] {}), std::vector<int16_t>{});
    EXPECT_EQ(play_seeking(track(1), -1, [] {}), whole(1));
    EXPECT_NE(log().find("pipe.wav: is not a regular file"), std::string::npos) << log();
}
#endif

// While the file's open is held (a share that does not answer), unload,
// load, play and seek return at once and the next track plays; the opens
// let go deliver nothing, later either. An open held past the timeout fails
// its track with its line; a seek while the open is held is kept once it
// opens.
TEST_F(PlayerNeverWaitsForAFile, CallsReturnWhileTheOpenIsHeldItTimesOutOrIsSought) {
    splocal_set_open_timeout(24 * 3600 * 1000);
    std::atomic<bool> returned{false};
    std::thread watchdog([&] { // a call that waits for the open fails, not hangs
        for (int i = 0; i < 2000 && !returned; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!returned)
            splocal_hold_open(0);
    });
    start_held();
    sp_session_player_unload(session);
    const std::vector<int16_t> tone = play_seeking(
        track(1), -1, [&] { EXPECT_EQ(sp_session_player_seek(session, 100), SP_ERROR_OK); });
    EXPECT_EQ(splocal_open_held(), 1) << "a call waited for the open";
    returned = true;
    watchdog.join();
    EXPECT_EQ(tone, spliced(whole(1), 0, 4410));
    release_open();
    pump();
    EXPECT_EQ(rec.end_of_track.load(), 1);
    EXPECT_EQ(log().find("a.wav"), std::string::npos) << log();

    splocal_set_open_timeout(50);
    start_held();
    EXPECT_TRUE(wait_until([&] { return rec.end_of_track.load() == 2; }));
    EXPECT_NE(log().find("a.wav: did not open within 50 ms"), std::string::npos) << log();
    release_open();
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        EXPECT_EQ(rec.delivered, tone); // nothing of the file let go or timed out
        rec.delivered.clear();
    }

    splocal_set_open_timeout(0);
    start_held();
    EXPECT_EQ(sp_session_player_seek(session, 500), SP_ERROR_OK);
    release_open();
    EXPECT_TRUE(wait_until([&] { return rec.end_of_track.load() == 3; }));
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(rec.delivered, spliced(whole(0), 0, 22050));
}

} // namespace
} // namespace lib_test
