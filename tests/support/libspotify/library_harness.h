// Fixtures on the local streaming library (fresh catalogue, one account, no
// latency): LibraryTest records its calls and their threads; SessionTest runs
// the session controller into a real PcmQueue on this thread, as the main loop.
#pragma once

#include "audio/pcm_queue.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lib_test {

inline constexpr char kUser[] = "ann";
inline constexpr char kPassword[] = "S3cret!";

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        splocal_reset();
        splocal_set_latency(0);
        ASSERT_GE(splocal_account_add(kUser, kPassword), 0);
    }
    void TearDown() override {
        splocal_session_release(session); // joins the library's threads
        splocal_reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    // A tone of its own, so that audio tells tracks apart; 30 s by default.
    // A tone repeats every whole second: tests that tell positions apart
    // set sound_ to noise.
    int add_track(int frames = 44100 * 30, const char *artist = "A", const char *title = "t") {
        return splocal_track_add(artist, title, sound_, 200 + 50 * tracks_++, frames);
    }
    int add_playlist(const char *name, const std::vector<int> &tracks) {
        const int id = splocal_playlist_add(kUser, name, -1);
        splocal_playlist_add_tracks(id, tracks.data(), static_cast<int>(tracks.size()), -1);
        return id;
    }
    sp_playlist *playlist_at(int i) {
        return sp_playlistcontainer_playlist(sp_session_playlistcontainer(session), i);
    }
    // Writes a file at a UTF-8 path in the case's folder, `later` seconds on
    // (as an editor's write would be) when not 0; its whole path.
    std::string write(const std::string &path, const std::string &bytes, int later = 0) {
        namespace fs = std::filesystem;
        const fs::path where = folder / fs::path(std::u8string(path.begin(), path.end()));
        fs::create_directories(where.parent_path());
        std::ofstream(where, std::ios::binary) << bytes;
        if (later)
            fs::last_write_time(where,
                                fs::file_time_type::clock::now() + std::chrono::seconds(later));
        return where.string();
    }
    // The track's audio, at most `seconds` long, decoded once.
    static std::vector<int16_t> pcm(int track, int seconds = 3) {
        std::vector<int16_t> out(2 * static_cast<size_t>(seconds) * 44100);
        out.resize(2 * static_cast<size_t>(splocal_track_pcm(track, out.data(), seconds * 44100)));
        return out;
    }
    std::string log() {
        std::ifstream in(folder / "library.log", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    sp_session *session = nullptr;
    int tracks_ = 0;
    splocal_sound sound_ = SPLOCAL_SOUND_TONE;
    // A folder of the case's own (ctest runs cases side by side), removed after.
    const std::filesystem::path folder = [] {
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "-" + test->name();
        std::replace(name.begin(), name.end(), '/', '-');
        return name;
    }();
};

struct Recorder {
    std::thread::id main_thread = std::this_thread::get_id();
    std::vector<std::string> logins; // logged_in: its error and the playlists
    std::atomic<int> end_of_track{0}, wrong_thread{0};
    std::mutex mutex;
    std::vector<int16_t> delivered;          // mutex: samples taken, in order
    std::vector<std::pair<int, int>> offers; // mutex: frames taken before, frames offered
    std::function<int(int offered)> accept;  // mutex: frames to take (default all)
};
inline Recorder *g_recorder = nullptr;

inline void on_thread(bool main) {
    g_recorder->wrong_thread += (std::this_thread::get_id() == g_recorder->main_thread) != main;
}

class LibraryTest : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        g_recorder = &rec;
        callbacks.logged_in = [](sp_session *s, sp_error error) {
            on_thread(true);
            sp_playlistcontainer *pc = sp_session_playlistcontainer(s);
            g_recorder->logins.push_back(
                std::to_string(error) + (pc ? " playlists " : "") +
                (pc ? std::to_string(sp_playlistcontainer_num_playlists(pc)) : ""));
        };
        callbacks.notify_main_thread = [](sp_session *) {};
        callbacks.music_delivery = [](sp_session *, const sp_audioformat *format, const void *pcm,
                                      int count) {
            on_thread(false);
            if (format->sample_rate != 44100 || format->channels != 2 || count <= 0)
                return 0;
            std::lock_guard<std::mutex> lock(g_recorder->mutex);
            Recorder &r = *g_recorder;
            const int taken = std::min(count, r.accept ? r.accept(count) : count);
            r.offers.emplace_back(static_cast<int>(r.delivered.size() / 2), count);
            const auto *samples = static_cast<const int16_t *>(pcm);
            r.delivered.insert(r.delivered.end(), samples, samples + 2 * taken);
            return taken;
        };
        callbacks.end_of_track = [](sp_session *) {
            on_thread(false);
            g_recorder->end_of_track++;
        };
    }
    void TearDown() override {
        CatalogueTest::TearDown();
        EXPECT_EQ(rec.wrong_thread.load(), 0) << "a callback ran on the wrong thread";
    }

    sp_error create(const char *settings = "no-such-folder") {
        static const unsigned char key[321] = {1, 2, 3};
        const sp_session_config config{SPOTIFY_API_VERSION, settings, settings,   key,
                                       sizeof key,          "tests",  &callbacks, this};
        return sp_session_create(&config, &session);
    }
    // Creates the session if needed, logs in and runs the library's work.
    void log_in(const char *user = kUser, const char *password = kPassword) {
        ASSERT_TRUE(session || create() == SP_ERROR_OK);
        ASSERT_EQ(sp_session_login(session, user, password), SP_ERROR_OK);
        splocal_catalogue_wait_idle(); // the catalogue file, folders and tags read
        pump();
    }
    void pump() {
        for (int call = 0; call < 1000 && (call == 0 || splocal_work_pending(session)); ++call) {
            int timeout = -1;
            sp_session_process_events(session, &timeout);
            ASSERT_GE(timeout, 0);
            // Work queued before a catalogue file set its latency is due later.
            if (timeout > 1 && splocal_work_pending(session))
                std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
        }
        EXPECT_FALSE(splocal_work_pending(session));
    }
    // Processes events until done() holds (20 s at most).
    bool wait_until(const std::function<bool()> &done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int timeout = 0; !done() && std::chrono::steady_clock::now() < limit;) {
            sp_session_process_events(session, &timeout);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    // "Name[track ids]" per playlist, "Name?[]" while not loaded.
    std::string view() {
        std::string out;
        for (int i = 0;
             i < sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)); ++i) {
            sp_playlist *pl = playlist_at(i);
            out += (i ? " " : "") + std::string(sp_playlist_name(pl)) +
                   (sp_playlist_is_loaded(pl) ? "[" : "?[");
            for (int t = 0; t < sp_playlist_num_tracks(pl); ++t)
                out += (t ? "," : "") + std::to_string(splocal_track_id(sp_playlist_track(pl, t)));
            out += "]";
        }
        return out;
    }

    Recorder rec;
    sp_session_callbacks callbacks{};
};

using FolderTest = LibraryTest;

class SessionTest : public CatalogueTest {
protected:
    struct Playlist : std::vector<int> { // its track ids
        int id = -1;
    };

    void SetUp() override {
        CatalogueTest::SetUp();
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        ASSERT_TRUE(session_state_init(&state, wake, &queue));
    }
    void TearDown() override {
        session = state.session;
        CatalogueTest::TearDown(); // stops the player thread
        pcm_queue_flush(&queue);
        std::free(state.wanted_name);
        for (HANDLE handle : {queue.mutex, queue.event, queue.lending.mutex, wake})
            CloseHandle(handle);
    }
    Playlist new_playlist(const char *name, int count, int frames = 44100 * 30) {
        Playlist playlist;
        for (int i = 0; i < count; ++i)
            playlist.push_back(add_track(frames));
        playlist.id = add_playlist(name, playlist);
        return playlist;
    }
    bool log_in() {
        if (session_connect(&state, kUser, kPassword) != 1)
            return false;
        pass();
        return sp_session_connectionstate(session = state.session) == SP_CONNECTION_STATE_LOGGED_IN;
    }
    // Logged in, following mix ("Mix", four long tracks) from position index,
    // with some of that track's audio queued.
    bool start(int index = 0) {
        mix = new_playlist("Mix", 4);
        if (!log_in())
            return false;
        state.track_index = static_cast<uint32_t>(index);
        session_select_playlist(&state, "Mix");
        return player_track() == mix[index] &&
               pass_until([&] { return pcm_queue_frames(&queue) > 4096; });
    }
    // Main loop passes until no library work, no advance and no wake are pending.
    void pass() {
        for (int pass = 0; pass < 1000; ++pass) {
            session_process(&state);
            if (!splocal_work_pending(state.session) && !state.advance_pending.load() && !woken())
                return;
        }
        ADD_FAILURE() << "the session kept having work after 1000 passes";
    }
    // Passes, waiting on the wake event, until done() holds (20 s at most).
    bool pass_until(const std::function<bool()> &done) {
        for (int pass = 0; pass < 4000 && !done(); ++pass)
            WaitForSingleObject(wake, std::clamp(session_process(&state), 1, 5));
        return done();
    }
    bool woken() { return WaitForSingleObject(wake, 0) == WAIT_OBJECT_0; }
    int player_track() { return splocal_player_track(state.session); }
    // The names as the dialog gets them, released as it does (own copies, or ASan objects).
    std::vector<std::string> listed() {
        char **names = nullptr;
        const int count = session_list_playlists(&state, &names);
        EXPECT_NE(names, nullptr); // an array, also when it is empty
        std::vector<std::string> result(names, names + count);
        for (int i = 0; i < count; ++i)
            std::free(names[i]);
        delete[] names;
        return result;
    }
    // True when the oldest queued block starts with the track's first frames.
    bool head_is_start_of(int track) {
        int16_t expected[128] = {};
        splocal_track_pcm(track, expected, 64);
        WaitForSingleObject(queue.mutex, INFINITE);
        const bool same = queue.head && queue.head->frame_count >= 64 &&
                          std::equal(expected, expected + 128, queue.head->samples());
        ReleaseMutex(queue.mutex);
        return same;
    }

    SessionState state{};
    PcmQueue queue{};
    HANDLE wake = nullptr;
    Playlist mix;
};

} // namespace lib_test
