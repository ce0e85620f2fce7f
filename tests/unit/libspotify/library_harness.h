// Drives the local streaming library directly through its interface and its
// control API: a callbacks table that records what the library calls, on
// which thread, and what the program would see at that moment.
#ifndef TESTS_UNIT_LIBSPOTIFY_LIBRARY_HARNESS_H
#define TESTS_UNIT_LIBSPOTIFY_LIBRARY_HARNESS_H

#include <gtest/gtest.h>
#include <libspotify/api.h>
#include <libspotify/local.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace libspotify_test {

extern const char kUser[];
extern const char kPassword[];

// What the callbacks saw. Main-thread events are appended to `events`;
// the player's deliveries to `delivered` (frames taken) and `offers`.
struct Recorder {
    std::thread::id main_thread;
    std::vector<std::string> events; // main thread only
    std::atomic<int> notifications{0};
    std::atomic<int> wrong_thread{0}; // a main-thread callback off the main thread
    std::atomic<int> end_of_track{0};
    std::atomic<int> end_of_track_on_main{0};
    std::atomic<int> delivery_on_main{0};

    std::mutex mutex;
    std::vector<int16_t> delivered; // mutex: samples taken, in order
    std::vector<int> offers;        // mutex: frame count of each offer
    std::vector<int> offer_starts;  // mutex: taken frames before each offer
    // How many of `offered` frames to take (any thread; default: all).
    std::function<int(int offered)> accept; // mutex
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the session (kept in `session`); returns the create result.
    sp_error create(const char *settings_location = "no-such-folder");
    // Requests a login and runs the library until its work is done.
    void log_in(const char *user = kUser, const char *password = kPassword);
    // Logs in, and registers the recording callbacks on the container and
    // every playlist inside the round that delivers logged_in (before any
    // playlist loads), then runs the library until its work is done.
    void log_in_watching();
    // Calls sp_session_process_events until no work is pending.
    void pump();
    // Waits (a few seconds at most) until done() holds, processing events.
    bool wait_until(const std::function<bool()> &done);

    sp_playlistcontainer *container() { return sp_session_playlistcontainer(session); }
    sp_playlist *playlist_at(int index) {
        return sp_playlistcontainer_playlist(container(), index);
    }
    // The view's playlist of a catalogue id, or null.
    sp_playlist *playlist_of(int id);
    // The catalogue ids of a playlist's tracks as the program sees them.
    std::vector<int> track_ids(sp_playlist *pl);
    // Registers the recording playlist callbacks on every playlist.
    void watch_all_playlists();
    void watch_container();
    std::vector<std::string> take_events();

    int add_tone_track(const char *title, int frames = 4410);
    int add_playlist(const char *name, const std::vector<int> &tracks);

    Recorder rec;
    sp_session *session = nullptr;
    sp_session_callbacks callbacks{};
    sp_playlist_callbacks playlist_callbacks{};
    sp_playlistcontainer_callbacks container_callbacks{};
};

// The recorder of the running test (callbacks are plain functions).
Recorder &recorder();

} // namespace libspotify_test

#endif
