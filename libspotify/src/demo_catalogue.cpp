// The embedded demo catalogue: account "demo" (password "demo") with four
// playlists of synthesized pieces by invented artists.
#include "catalogue.h"

#include <cstdlib>
#include <exception>

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

#include "base/file_io.h"

namespace splocal {
namespace {

struct DemoTrack {
    const char *artist;
    const char *title;
    splocal_sound sound;
    int param;
    int seconds;
};

struct DemoPlaylist {
    const char *name;
    DemoTrack tracks[4];
    int count;
};

const DemoPlaylist kDemo[] = {
    {"Morning Light",
     {{"S\xC3\xB3lveig \xC3\x98rn", "Dawn over the Fjord", SPLOCAL_SOUND_CHORD, 262, 32},
      {"Caf\xC3\xA9 Lumi\xC3\xA8re", "Petit Matin", SPLOCAL_SOUND_CHORD, 294, 28},
      {"The Brass Lanterns", "Slow Walk", SPLOCAL_SOUND_DRUMS, 92, 36}},
     3},
    {"R\xC3\xAAveries",
     {{"Mir\xC3\xB3 Kov\xC3\xA1\xC4\x8D", "Glass Harbour", SPLOCAL_SOUND_CHORD, 220, 40},
      {"Ana\xC3\xAFs Dubreuil", "Une Note Seule", SPLOCAL_SOUND_TONE, 392, 24},
      {"S\xC3\xB3lveig \xC3\x98rn", "Blue Hour", SPLOCAL_SOUND_CHORD, 196, 45}},
     3},
    {"Night Drive",
     {{"Neon Meridian", "Ignition", SPLOCAL_SOUND_SWEEP, 2400, 22},
      {"Neon Meridian", "Overpass", SPLOCAL_SOUND_DRUMS, 124, 48},
      {"Tove Halvorsen", "Tail Lights", SPLOCAL_SOUND_CHORD, 247, 30},
      {"The Brass Lanterns", "Last Exit", SPLOCAL_SOUND_DRUMS, 104, 26}},
     4},
    {"Quiet Hours",
     {{"Hana Kure", "Soft Rain", SPLOCAL_SOUND_NOISE, 7, 20},
      {"Jonah Ellery", "Candle", SPLOCAL_SOUND_TONE, 330, 25},
      {"Caf\xC3\xA9 Lumi\xC3\xA8re",
       "Fin de Soir\xC3\xA9"
       "e",
       SPLOCAL_SOUND_CHORD, 175, 55}},
     3},
};

} // namespace

void catalogue_load_demo_locked(Catalogue &cat) {
    catalogue_clear_locked(cat);
    const int account = catalogue_add_account_locked(cat, "demo", "demo");
    for (const DemoPlaylist &pl : kDemo) {
        const int playlist = catalogue_add_playlist_locked(cat, account, pl.name, -1);
        for (int i = 0; i < pl.count; ++i) {
            const DemoTrack &t = pl.tracks[i];
            const int track = catalogue_add_track_locked(cat, t.artist, t.title, t.sound, t.param,
                                                         t.seconds * kSampleRate);
            catalogue_append_tracks_locked(cat, playlist, &track, 1);
        }
    }
    catalogue_add_account_locked(cat, "me", "");
}

std::string user_music_folder() {
    try {
#ifdef _WIN32
        PWSTR wide = nullptr;
        std::string out;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Music, 0, nullptr, &wide)) && wide)
            out = path_utf8(std::filesystem::path(wide));
        CoTaskMemFree(wide);
        return out;
#else
        if (const char *xdg = std::getenv("XDG_MUSIC_DIR"); xdg && xdg[0])
            return xdg;
        if (const char *home = std::getenv("HOME"); home && home[0])
            return path_utf8(std::filesystem::path(home) / "Music");
        return {};
#endif
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace splocal
