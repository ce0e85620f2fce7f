#include "libspotify/library_harness.h"

#include <chrono>
#include <sstream>

namespace libspotify_test {

const char kUser[] = "ann";
const char kPassword[] = "S3cret!";

namespace {

Recorder *g_recorder = nullptr;
const unsigned char kKey[321] = {1, 2, 3};

void on_main(const std::string &event) {
    Recorder &r = recorder();
    if (std::this_thread::get_id() != r.main_thread)
        r.wrong_thread.fetch_add(1);
    r.events.push_back(event);
}

std::string ids_of(sp_track *const *tracks, int count) {
    std::ostringstream out;
    for (int i = 0; i < count; ++i)
        out << (i ? "," : "") << splocal_track_id(tracks[i]);
    return out.str();
}

std::string ints(const int *values, int count) {
    std::ostringstream out;
    for (int i = 0; i < count; ++i)
        out << (i ? "," : "") << values[i];
    return out.str();
}

void logged_in(sp_session *session, sp_error error) {
    const sp_playlistcontainer *pc = sp_session_playlistcontainer(session);
    on_main("logged_in " + std::to_string(error) + " state " +
            std::to_string(sp_session_connectionstate(session)) +
            (pc ? " container" : " no-container"));
}
void metadata_updated(sp_session *) {
    on_main("metadata_updated");
}
void play_token_lost(sp_session *) {
    on_main("play_token_lost");
}
void notify_main_thread(sp_session *) {
    recorder().notifications.fetch_add(1);
}

int music_delivery(sp_session *, const sp_audioformat *format, const void *frames, int num_frames) {
    Recorder &r = recorder();
    if (std::this_thread::get_id() == r.main_thread)
        r.delivery_on_main.fetch_add(1);
    if (format->sample_rate != 44100 || format->channels != 2 ||
        format->sample_type != SP_SAMPLETYPE_INT16_NATIVE_ENDIAN || num_frames <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(r.mutex);
    int taken = r.accept ? r.accept(num_frames) : num_frames;
    if (taken > num_frames)
        taken = num_frames;
    r.offers.push_back(num_frames);
    r.offer_starts.push_back(static_cast<int>(r.delivered.size() / 2));
    const auto *samples = static_cast<const int16_t *>(frames);
    r.delivered.insert(r.delivered.end(), samples, samples + 2 * taken);
    return taken;
}

void end_of_track(sp_session *) {
    Recorder &r = recorder();
    if (std::this_thread::get_id() == r.main_thread)
        r.end_of_track_on_main.fetch_add(1);
    r.end_of_track.fetch_add(1);
}

void tracks_added(sp_playlist *pl, sp_track *const *tracks, int num_tracks, int position,
                  void *userdata) {
    on_main("tracks_added " + std::string(sp_playlist_name(pl)) + " [" +
            ids_of(tracks, num_tracks) + "] at " + std::to_string(position) + " now " +
            std::to_string(sp_playlist_num_tracks(pl)) + " ud " +
            std::to_string(reinterpret_cast<intptr_t>(userdata)));
}
void tracks_removed(sp_playlist *pl, const int *tracks, int num_tracks, void *) {
    on_main("tracks_removed " + std::string(sp_playlist_name(pl)) + " [" +
            ints(tracks, num_tracks) + "] now " + std::to_string(sp_playlist_num_tracks(pl)));
}
void tracks_moved(sp_playlist *pl, const int *tracks, int num_tracks, int new_position, void *) {
    on_main("tracks_moved " + std::string(sp_playlist_name(pl)) + " [" + ints(tracks, num_tracks) +
            "] to " + std::to_string(new_position));
}
void playlist_renamed(sp_playlist *pl, void *) {
    on_main("playlist_renamed " + std::string(sp_playlist_name(pl)));
}
void playlist_added(sp_playlistcontainer *pc, sp_playlist *pl, int position, void *) {
    on_main("playlist_added " + std::string(sp_playlist_name(pl)) + " at " +
            std::to_string(position) + " of " +
            std::to_string(sp_playlistcontainer_num_playlists(pc)));
}
void playlist_removed(sp_playlistcontainer *pc, sp_playlist *pl, int position, void *) {
    on_main("playlist_removed " + std::string(sp_playlist_name(pl)) + " at " +
            std::to_string(position) + " of " +
            std::to_string(sp_playlistcontainer_num_playlists(pc)));
}
void container_loaded(sp_playlistcontainer *, void *) {
    on_main("container_loaded");
}

} // namespace

Recorder &recorder() {
    return *g_recorder;
}

void LibraryTest::SetUp() {
    g_recorder = &rec;
    rec.main_thread = std::this_thread::get_id();
    splocal_reset();
    splocal_set_latency(0);
    ASSERT_GE(splocal_account_add(kUser, kPassword), 0);
    callbacks.logged_in = logged_in;
    callbacks.metadata_updated = metadata_updated;
    callbacks.notify_main_thread = notify_main_thread;
    callbacks.music_delivery = music_delivery;
    callbacks.play_token_lost = play_token_lost;
    callbacks.end_of_track = end_of_track;
    playlist_callbacks.tracks_added = tracks_added;
    playlist_callbacks.tracks_removed = tracks_removed;
    playlist_callbacks.tracks_moved = tracks_moved;
    playlist_callbacks.playlist_renamed = playlist_renamed;
    container_callbacks.playlist_added = playlist_added;
    container_callbacks.playlist_removed = playlist_removed;
    container_callbacks.container_loaded = container_loaded;
}

void LibraryTest::TearDown() {
    splocal_session_release(session); // joins the library's threads
    session = nullptr;
    EXPECT_EQ(rec.wrong_thread.load(), 0) << "a main-thread callback ran on a library thread";
    EXPECT_EQ(rec.end_of_track_on_main.load(), 0);
    EXPECT_EQ(rec.delivery_on_main.load(), 0);
    splocal_reset();
    g_recorder = nullptr;
}

sp_error LibraryTest::create(const char *settings_location) {
    sp_session_config config{};
    config.api_version = SPOTIFY_API_VERSION;
    config.cache_location = settings_location;
    config.settings_location = settings_location;
    config.application_key = kKey;
    config.application_key_size = sizeof kKey;
    config.user_agent = "lorvane-tests";
    config.callbacks = &callbacks;
    config.userdata = this;
    return sp_session_create(&config, &session);
}

void LibraryTest::log_in(const char *user, const char *password) {
    if (!session) {
        ASSERT_EQ(create(), SP_ERROR_OK);
    }
    ASSERT_EQ(sp_session_login(session, user, password), SP_ERROR_OK);
    pump();
}

void LibraryTest::log_in_watching() {
    if (!session) {
        ASSERT_EQ(create(), SP_ERROR_OK);
    }
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    int timeout = 0;
    sp_session_process_events(session, &timeout); // the round with logged_in
    ASSERT_NE(container(), nullptr);
    watch_container();
    watch_all_playlists();
    pump();
}

void LibraryTest::pump() {
    for (int call = 0; call < 1000; ++call) {
        int timeout = -1;
        ASSERT_EQ(sp_session_process_events(session, &timeout), SP_ERROR_OK);
        ASSERT_GE(timeout, 0);
        if (!splocal_work_pending(session))
            return;
    }
    ADD_FAILURE() << "the library kept having work";
}

bool LibraryTest::wait_until(const std::function<bool()> &done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < limit) {
        if (done())
            return true;
        int timeout = 0;
        sp_session_process_events(session, &timeout);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

sp_playlist *LibraryTest::playlist_of(int id) {
    for (int i = 0; i < sp_playlistcontainer_num_playlists(container()); ++i) {
        if (splocal_playlist_id(playlist_at(i)) == id)
            return playlist_at(i);
    }
    return nullptr;
}

std::vector<int> LibraryTest::track_ids(sp_playlist *pl) {
    std::vector<int> ids;
    for (int i = 0; i < sp_playlist_num_tracks(pl); ++i)
        ids.push_back(splocal_track_id(sp_playlist_track(pl, i)));
    return ids;
}

void LibraryTest::watch_all_playlists() {
    for (int i = 0; i < sp_playlistcontainer_num_playlists(container()); ++i)
        sp_playlist_add_callbacks(playlist_at(i), &playlist_callbacks, nullptr);
}

void LibraryTest::watch_container() {
    sp_playlistcontainer_add_callbacks(container(), &container_callbacks, nullptr);
}

std::vector<std::string> LibraryTest::take_events() {
    std::vector<std::string> out;
    out.swap(rec.events);
    return out;
}

int LibraryTest::add_tone_track(const char *title, int frames) {
    return splocal_track_add("Artist", title, SPLOCAL_SOUND_TONE, 440, frames);
}

int LibraryTest::add_playlist(const char *name, const std::vector<int> &tracks) {
    const int id = splocal_playlist_add(kUser, name, -1);
    EXPECT_GE(id, 0);
    if (!tracks.empty())
        splocal_playlist_add_tracks(id, tracks.data(), static_cast<int>(tracks.size()), -1);
    return id;
}

} // namespace libspotify_test
