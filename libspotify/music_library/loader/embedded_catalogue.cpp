// The embedded catalogue: account "demo" (password "demo") with four
// playlists of synthesized pieces by invented artists, and account "me" (no
// password) serving the user's Music folder.
#include "loader/embedded_catalogue.h"

#include <cstdlib>
#include <exception>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

#include "base/file_io.h"
#include "catalogue/catalogue_text.h"
#include "folders/music_folder.h"
#include "loader/catalogue_file.h"

namespace music {
namespace {

struct DemoTrack {
    const char *artist;
    const char *title;
    SoundKind sound;
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
     {{"S\xC3\xB3lveig \xC3\x98rn", "Dawn over the Fjord", SoundKind::Chord, 262, 32},
      {"Caf\xC3\xA9 Lumi\xC3\xA8re", "Petit Matin", SoundKind::Chord, 294, 28},
      {"The Brass Lanterns", "Slow Walk", SoundKind::Drums, 92, 36}},
     3},
    {"R\xC3\xAAveries",
     {{"Mir\xC3\xB3 Kov\xC3\xA1\xC4\x8D", "Glass Harbour", SoundKind::Chord, 220, 40},
      {"Ana\xC3\xAFs Dubreuil", "Une Note Seule", SoundKind::Tone, 392, 24},
      {"S\xC3\xB3lveig \xC3\x98rn", "Blue Hour", SoundKind::Chord, 196, 45}},
     3},
    {"Night Drive",
     {{"Neon Meridian", "Ignition", SoundKind::Sweep, 2400, 22},
      {"Neon Meridian", "Overpass", SoundKind::Drums, 124, 48},
      {"Tove Halvorsen", "Tail Lights", SoundKind::Chord, 247, 30},
      {"The Brass Lanterns", "Last Exit", SoundKind::Drums, 104, 26}},
     4},
    {"Quiet Hours",
     {{"Hana Kure", "Soft Rain", SoundKind::Noise, 7, 20},
      {"Jonah Ellery", "Candle", SoundKind::Tone, 330, 25},
      {"Caf\xC3\xA9 Lumi\xC3\xA8re",
       "Fin de Soir\xC3\xA9"
       "e",
       SoundKind::Chord, 175, 55}},
     3},
};

} // namespace

CatalogueDesc embedded_catalogue(const std::string &music, ReadOptions options) {
    CatalogueDesc desc;
    desc.accounts.push_back(DescAccount{"demo", "demo", {}});
    for (const DemoPlaylist &pl : kDemo) {
        desc.accounts[0].playlists.push_back(static_cast<int>(desc.playlists.size()));
        desc.playlists.push_back(DescPlaylist{pl.name, {}, false});
        for (int i = 0; i < pl.count; ++i) {
            const DemoTrack &t = pl.tracks[i];
            DescTrack track;
            track.artist = t.artist;
            track.title = t.title;
            track.sound = SoundDesc{t.sound, t.param, t.seconds * kSampleRate};
            desc.playlists.back().tracks.push_back(static_cast<int>(desc.tracks.size()));
            desc.tracks.push_back(std::move(track));
        }
    }
    desc.accounts.push_back(DescAccount{"me", "", {}});
    if (!options.walk)
        return desc;
    if (music.empty()) {
        desc.add_note("the user's Music folder is not known; the account me serves nothing");
    } else {
        desc.folders.push_back(music);
        add_music_folder(desc, 1, music, options.probe);
    }
    return desc;
}

void catalogue_load_demo_locked(Catalogue &cat) {
    catalogue_replace_locked(cat, embedded_catalogue(std::string(), ReadOptions{false, false}),
                             CatalogueSource{});
    cat.music_unwalked = true;
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

} // namespace music
