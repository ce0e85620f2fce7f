// Loading a catalogue file into the process's catalogue: the file is read
// into a description first (catalogue_text.cpp), then applied whole. Every
// read starts the library's log beside the file.
#include "loader/catalogue_file.h"

#include <utility>
#include <vector>

#include "catalogue/library_log.h"
#include "folders/folder_cache.h"
#include "loader/catalogue_walk.h"
#include "loader/catalogue_watch.h"

namespace music {

// With the mutex held: the catalogue and the settings the file sets become
// those of the description.
void catalogue_replace_locked(Catalogue &cat, const CatalogueDesc &desc, CatalogueSource source) {
    catalogue_clear_locked(cat);
    cat.tracks.reserve(desc.tracks.size());
    for (const DescTrack &t : desc.tracks) {
        CatalogueTrack track = t;
        if (!t.file_playable && track.error == ErrorCode::Ok)
            track.error = ErrorCode::TrackNotPlayable;
        cat.tracks.push_back(std::move(track));
    }
    cat.accounts.reserve(desc.accounts.size());
    for (size_t a = 0; a < desc.accounts.size(); ++a) {
        const DescAccount &src = desc.accounts[a];
        cat.accounts.push_back(CatalogueAccount{src.name, src.password, src.playlists});
        for (int p : src.playlists) {
            const DescPlaylist &pl = desc.playlists[static_cast<size_t>(p)];
            if (cat.playlists.size() <= static_cast<size_t>(p))
                cat.playlists.resize(static_cast<size_t>(p) + 1);
            cat.playlists[static_cast<size_t>(p)] =
                CataloguePlaylist{static_cast<int>(a), pl.name, pl.tracks, false, pl.loading_held};
        }
    }
    ++cat.version;
    const CatalogueSettings &s = desc.settings;
    if (s.latency_ms >= 0)
        cat.latency_ms.store(s.latency_ms);
    if (s.chunk_frames >= 0)
        cat.chunk_frames.store(s.chunk_frames);
    if (s.fail_create >= 0)
        cat.fail_next_create = static_cast<ErrorCode>(s.fail_create);
    if (s.fail_login >= 0)
        cat.fail_next_login = static_cast<ErrorCode>(s.fail_login);
    if (s.refuse_login >= 0)
        cat.refuse_next_login = static_cast<ErrorCode>(s.refuse_login);
    cat.source = std::move(source);
}

int catalogue_load_file(Catalogue &cat, const std::string &path) {
    folder_cache_invalidate(std::string()); // a load looks at every folder afresh
    const CatalogueDesc desc = read_catalogue(path);
    log_catalogue_read(path, catalogue_problem_lines(path, desc));
    if (desc.first_bad_line != 0)
        return desc.first_bad_line;
    CatalogueSource source = catalogue_source_of(path, desc);
    std::lock_guard<std::mutex> lock(cat.mutex);
    catalogue_replace_locked(cat, desc, std::move(source));
    return 0;
}

} // namespace music
