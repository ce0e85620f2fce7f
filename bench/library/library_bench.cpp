// library_bench [FOLDER] [SHAPE...]: serves generated music folders of small
// WAV files through a session, as the program would. A SHAPE is COUNT (100
// files per album folder), wide:COUNT (two files per album folder, 100
// albums per artist folder: COUNT / 2 folders) or flat:COUNT (every file in
// one folder); the default is 1000 10000 100000 wide:200000 flat:200000
// 1000000. The folders are made under FOLDER (default the system's
// temporary folder) once and kept. It prints per shape: the time from the
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
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
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

enum class Layout { Albums, Wide, Flat };

struct Shape {
    std::string name; // the generated folder's
    Layout layout = Layout::Albums;
    int count = 0;
};

Shape parse_shape(const std::string &text) {
    Shape shape;
    shape.name = text;
    std::string number = text;
    if (text.rfind("wide:", 0) == 0) {
        shape.layout = Layout::Wide;
        number = text.substr(5);
    } else if (text.rfind("flat:", 0) == 0) {
        shape.layout = Layout::Flat;
        number = text.substr(5);
    }
    shape.count = std::atoi(number.c_str());
    if (shape.count <= 0) {
        std::fprintf(stderr, "not a shape: %s\n", text.c_str());
        std::exit(2);
    }
    if (shape.layout != Layout::Albums)
        shape.name = text.substr(0, 4) + "-" + number; // a folder's name
    return shape;
}

// The folder (under the served one) of the shape's file i; the first
// component is the playlist.
fs::path folder_of_file(const Shape &shape, int i) {
    switch (shape.layout) {
    case Layout::Wide: {
        const int album = i / 2;
        return fs::path("Artist " + std::to_string(album / 100)) /
               ("Album " + std::to_string(album % 100));
    }
    case Layout::Flat:
        return "All";
    case Layout::Albums:
        break;
    }
    return "Album " + std::to_string(i / 100);
}

int playlists_of(const Shape &shape) {
    switch (shape.layout) {
    case Layout::Wide:
        return (shape.count / 2 + 99) / 100;
    case Layout::Flat:
        return 1;
    case Layout::Albums:
        break;
    }
    return (shape.count + 99) / 100;
}

void generate(const fs::path &root, const Shape &shape) {
    if (fs::exists(root / "done"))
        return;
    fs::path folder;
    for (int i = 0; i < shape.count; ++i) {
        const fs::path next = root / "lib" / folder_of_file(shape, i);
        if (next != folder) {
            folder = next;
            fs::create_directories(folder);
        }
        std::ofstream(folder / ("Artist - Song " + std::to_string(i) + ".wav"), std::ios::binary)
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

// notify_main_thread, as the program's main loop hears it.
std::mutex g_notify_mutex;
std::condition_variable g_notify;
bool g_notified = false; // g_notify_mutex

void notify_main_thread(sp_session *) {
    std::lock_guard<std::mutex> lock(g_notify_mutex);
    g_notified = true;
    g_notify.notify_all();
}

// Sleeps up to `most`, or until the library says events wait.
void wait_notified(std::chrono::milliseconds most) {
    std::unique_lock<std::mutex> lock(g_notify_mutex);
    g_notify.wait_for(lock, most, [] { return g_notified; });
    g_notified = false;
}

// One turn of the program's main loop: a sleep until the library asks (or
// its last time-out), then the events; never a spin beside the library's
// threads. The caller looks at what the events did before the next sleep.
int g_timeout_ms = 0; // what the library last asked for

void run_events(sp_session *session, std::chrono::milliseconds most = std::chrono::seconds(1)) {
    if (!splocal_work_pending(session))
        wait_notified(std::min(std::chrono::milliseconds(g_timeout_ms), most));
    sp_session_process_events(session, &g_timeout_ms);
}

// The session left alone for `seconds`, its events run when the library
// asks for them.
void idle(sp_session *session, double seconds) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    while (Clock::now() < end)
        run_events(session,
                   std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
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
    callbacks.notify_main_thread = notify_main_thread;
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

Figures measure(const fs::path &root, const Shape &shape, bool warm_run) {
    const int count = shape.count;
    splocal_reset();
    splocal_set_watch_interval(0);
    malloc_trim(0);
    const size_t heap_idle = heap_bytes();
    const long rss_idle = rss_kib();
    Figures f;
    const Clock::time_point start_time = Clock::now();
    sp_session *session = start(root.string(), "me", "");
    const int playlists = playlists_of(shape);
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
        // it now follows (every folder listed again, twice) is over before
        // the idle figure is taken: it takes longer the larger the library.
        splocal_set_watch_interval(500);
        idle(session, 3 + count / 50000.0);
        f.idle_cores = idle_cores(session, kIdleSeconds);
        static sp_playlist_callbacks calls{};
        calls.tracks_added = [](sp_playlist *, sp_track *const *, int, int, void *) { ++g_added; };
        sp_playlist *first =
            sp_playlistcontainer_playlist(sp_session_playlistcontainer(session), 0);
        sp_playlist_add_callbacks(first, &calls, nullptr);
        g_added = 0;
        const fs::path added = root / "lib" / folder_of_file(shape, 0) / "Artist - Song added.wav";
        const Clock::time_point edit = Clock::now();
        std::ofstream(added, std::ios::binary) << wav(7);
        while (g_added == 0)
            run_events(session);
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
    std::vector<Shape> shapes;
    for (int i = 2; i < argc; ++i)
        shapes.push_back(parse_shape(argv[i]));
    if (shapes.empty()) {
        for (const char *shape :
             {"1000", "10000", "100000", "wide:200000", "flat:200000", "1000000"})
            shapes.push_back(parse_shape(shape));
    }
    std::printf(
        "| shape | files | listed (s) | all names (s) | heap per track (B) | RSS per track (B) | "
        "idle (cores) | one added file (s) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    std::printf("| demo | | | | | | %.4f | |\n", demo_idle_cores(base));
    std::fflush(stdout);
    for (const Shape &shape : shapes) {
        const fs::path root = base / shape.name;
        generate(root, shape);
        measure(root, shape, false); // warms the system's cache
        const Figures f = measure(root, shape, true);
        const char *kind = shape.layout == Layout::Wide   ? "wide"
                           : shape.layout == Layout::Flat ? "flat"
                                                          : "albums";
        std::printf("| %s | %d | %.3f | %.3f | %.0f | %.0f | %.4f | %.3f |\n", kind, shape.count,
                    f.list_s, f.names_s, f.heap_per_track, f.rss_per_track, f.idle_cores,
                    f.added_s);
        std::fflush(stdout);
    }
    return 0;
}
