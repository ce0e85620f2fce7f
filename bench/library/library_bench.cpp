// library_bench [FOLDER] [COUNT...]: serves generated music folders of COUNT
// small WAV files (default 1000 10000 100000; 100 per album folder) through
// a session, as the program would, and prints per size: the time from the
// login to a container with every playlist loaded, the time until every
// track's names are known, heap and resident memory per track above the
// idle figure, the CPU the process uses idle afterwards (the session's
// events run when the library asks, as the program's main loop runs them),
// and the time from writing one more file to its tracks_added through the
// library's own watcher. The first row is the embedded demo catalogue's
// idle CPU, the baseline.
#include <libspotify/api.h>
#include <libspotify/local.h>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int g_added = 0; // tracks_added calls after the load

std::string wav(uint32_t seed) {
    // 16-bit stereo 44.1 kHz, four frames.
    std::string out(
        "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0"
        "data\x10\0\0\0",
        44);
    out[4] = 36 + 16;
    for (int i = 0; i < 16; ++i)
        out.push_back(static_cast<char>((seed >> (i % 4 * 8)) & 0xFF));
    return out;
}

void generate(const fs::path &root, int count) {
    if (fs::exists(root / "done"))
        return;
    for (int i = 0; i < count; ++i) {
        const fs::path album = root / "lib" / ("Album " + std::to_string(i / 100));
        if (i % 100 == 0)
            fs::create_directories(album);
        std::ofstream(album / ("Artist - Song " + std::to_string(i) + ".wav"), std::ios::binary)
            << wav(static_cast<uint32_t>(i));
    }
    std::ofstream(root / "catalogue.txt") << "latency 0\naccount me\nmusic lib\n";
    std::ofstream(root / "done") << "";
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long rss_kib() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * 4;
}

// CPU seconds (user and system) of the whole process so far.
double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

size_t heap_bytes() {
    return mallinfo2().uordblks;
}

void run_events(sp_session *session) {
    int timeout = 0;
    sp_session_process_events(session, &timeout);
}

// The session left alone for `seconds`, its events run when the library
// asks for them (or at once when it says work is pending).
void idle(sp_session *session, double seconds) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        int timeout = 0;
        sp_session_process_events(session, &timeout);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        std::this_thread::sleep_for(std::min(std::chrono::milliseconds(timeout), left));
    }
}

// The cores the process uses over `seconds` of idle().
double idle_cores(sp_session *session, double seconds) {
    const double before = cpu_seconds();
    idle(session, seconds);
    return (cpu_seconds() - before) / seconds;
}

bool all_listed(sp_session *session, int playlists) {
    sp_playlistcontainer *pc = sp_session_playlistcontainer(session);
    if (!pc || sp_playlistcontainer_num_playlists(pc) != playlists)
        return false;
    for (int i = 0; i < playlists; ++i) {
        if (!sp_playlist_is_loaded(sp_playlistcontainer_playlist(pc, i)))
            return false;
    }
    return true;
}

int names_known(sp_session *session) {
    sp_playlistcontainer *pc = sp_session_playlistcontainer(session);
    int known = 0;
    for (int i = 0; i < sp_playlistcontainer_num_playlists(pc); ++i) {
        sp_playlist *pl = sp_playlistcontainer_playlist(pc, i);
        for (int t = 0; t < sp_playlist_num_tracks(pl); ++t)
            known += sp_track_is_loaded(sp_playlist_track(pl, t)) ? 1 : 0;
    }
    return known;
}

struct Figures {
    double list_s = 0, names_s = 0, added_s = 0;
    double heap_per_track = 0, rss_per_track = 0;
    double idle_cores = 0;
};

constexpr double kIdleSeconds = 10;

sp_session *start(const std::string &folder, const char *user, const char *password) {
    sp_session_callbacks callbacks{};
    callbacks.logged_in = [](sp_session *, sp_error) {};
    callbacks.notify_main_thread = [](sp_session *) {};
    callbacks.music_delivery = [](sp_session *, const sp_audioformat *, const void *, int n) {
        return n;
    };
    callbacks.end_of_track = [](sp_session *) {};
    static const unsigned char key[321] = {1};
    const sp_session_config config{SPOTIFY_API_VERSION, folder.c_str(), folder.c_str(), key,
                                   sizeof key,          "bench",        &callbacks,     nullptr};
    sp_session *session = nullptr;
    if (sp_session_create(&config, &session) != SP_ERROR_OK ||
        sp_session_login(session, user, password) != SP_ERROR_OK) {
        std::fprintf(stderr, "no session\n");
        std::exit(1);
    }
    return session;
}

// The embedded catalogue (no catalogue file; the account me's Music folder
// empty): the idle baseline.
double demo_idle_cores(const fs::path &base) {
    const fs::path empty = base / "demo" / "Music";
    fs::create_directories(empty);
    setenv("XDG_MUSIC_DIR", empty.c_str(), 1);
    splocal_reset();
    sp_session *session = start((base / "demo").string(), "demo", "demo");
    idle(session, 2);
    const double cores = idle_cores(session, kIdleSeconds);
    splocal_session_release(session);
    return cores;
}

Figures measure(const fs::path &root, int count, bool warm_run) {
    splocal_reset();
    splocal_set_watch_interval(0);
    malloc_trim(0);
    const size_t heap_idle = heap_bytes();
    const long rss_idle = rss_kib();
    Figures f;
    const Clock::time_point start_time = Clock::now();
    sp_session *session = start(root.string(), "me", "");
    const int playlists = (count + 99) / 100;
    while (!all_listed(session, playlists))
        run_events(session);
    f.list_s = seconds_since(start_time);
    for (int round = 0; names_known(session) < count; ++round) {
        splocal_catalogue_wait_idle();
        while (splocal_work_pending(session))
            run_events(session);
    }
    f.names_s = seconds_since(start_time);
    f.heap_per_track = (static_cast<double>(heap_bytes()) - static_cast<double>(heap_idle)) / count;
    f.rss_per_track = (static_cast<double>(rss_kib() - rss_idle)) * 1024.0 / count;
    if (warm_run) {
        // The watcher as the program has it. Its first look at the folders
        // it now follows is over before the idle figure is taken.
        splocal_set_watch_interval(500);
        idle(session, 3);
        f.idle_cores = idle_cores(session, kIdleSeconds);
        static sp_playlist_callbacks calls{};
        calls.tracks_added = [](sp_playlist *, sp_track *const *, int, int, void *) { ++g_added; };
        sp_playlist *first =
            sp_playlistcontainer_playlist(sp_session_playlistcontainer(session), 0);
        sp_playlist_add_callbacks(first, &calls, nullptr);
        g_added = 0;
        const fs::path added = root / "lib" / "Album 0" / "Artist - Song added.wav";
        const Clock::time_point edit = Clock::now();
        std::ofstream(added, std::ios::binary) << wav(7);
        while (g_added == 0)
            idle(session, 0.001);
        f.added_s = seconds_since(edit);
        fs::remove(added);
    }
    splocal_session_release(session);
    return f;
}

} // namespace

int main(int argc, char **argv) {
    const fs::path base =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "lorvane-library-bench";
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {1000, 10000, 100000};
    std::printf("| files | listed (s) | all names (s) | heap per track (B) | RSS per track (B) | "
                "idle (cores) | one added file (s) |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
    std::printf("| demo | | | | | %.4f | |\n", demo_idle_cores(base));
    std::fflush(stdout);
    for (int count : counts) {
        const fs::path root = base / std::to_string(count);
        generate(root, count);
        measure(root, count, false); // warms the system's cache
        const Figures f = measure(root, count, true);
        std::printf("| %d | %.3f | %.3f | %.0f | %.0f | %.4f | %.3f |\n", count, f.list_s,
                    f.names_s, f.heap_per_track, f.rss_per_track, f.idle_cores, f.added_s);
        std::fflush(stdout);
    }
    return 0;
}
