// What a catalogue names on disk, looked at in the order of its lines; see
// catalogue_walk.h.
#include "loader/catalogue_walk.h"

#include <iterator>
#include <utility>
#include <vector>

#include "folders/music_folder.h"

namespace music {
namespace {

// A `track file` line's file, looked at now; what the catalogue's lines
// said of the track (its names, availability, held metadata, error) stays.
void probe_file_track(CatalogueDesc &desc, DescTrack &track) {
    DescTrack probed = file_track(desc, track.sound.file, true);
    if (track.names_given) {
        probed.artist = std::move(track.artist);
        probed.title = std::move(track.title);
        probed.names_given = true;
    }
    probed.available = track.available;
    probed.metadata_held = track.metadata_held;
    probed.error = track.error;
    track = std::move(probed);
}

// A folder whose line has playlists or tracks after it: walked on its own,
// then put in their place, the indices after it moved up.
void insert_music_folder(CatalogueDesc &desc, int account, const std::string &folder, bool probe,
                         size_t playlists_at, size_t tracks_at, size_t account_at) {
    CatalogueDesc walked;
    walked.accounts.resize(1);
    add_music_folder(walked, 0, folder, probe);
    const int new_playlists = static_cast<int>(walked.playlists.size());
    const int new_tracks = static_cast<int>(walked.tracks.size());
    for (DescPlaylist &pl : desc.playlists) {
        for (int &t : pl.tracks) {
            if (t >= static_cast<int>(tracks_at))
                t += new_tracks;
        }
    }
    for (DescAccount &a : desc.accounts) {
        for (int &p : a.playlists) {
            if (p >= static_cast<int>(playlists_at))
                p += new_playlists;
        }
    }
    for (DescPlaylist &pl : walked.playlists) {
        for (int &t : pl.tracks)
            t += static_cast<int>(tracks_at);
    }
    desc.tracks.insert(desc.tracks.begin() + static_cast<std::ptrdiff_t>(tracks_at),
                       std::make_move_iterator(walked.tracks.begin()),
                       std::make_move_iterator(walked.tracks.end()));
    desc.playlists.insert(desc.playlists.begin() + static_cast<std::ptrdiff_t>(playlists_at),
                          std::make_move_iterator(walked.playlists.begin()),
                          std::make_move_iterator(walked.playlists.end()));
    std::vector<int> &order = desc.accounts[static_cast<size_t>(account)].playlists;
    std::vector<int> added = walked.accounts[0].playlists;
    for (int &p : added)
        p += static_cast<int>(playlists_at);
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(account_at), added.begin(),
                 added.end());
    desc.directories.insert(desc.directories.end(), walked.directories.begin(),
                            walked.directories.end());
    desc.playlist_files.insert(desc.playlist_files.end(), walked.playlist_files.begin(),
                               walked.playlist_files.end());
    // As if each note had been added to `desc` in turn: the same ones kept.
    for (int i = 0; i < walked.note_count; ++i) {
        if (desc.note_count++ < kMaxProblemsKept)
            desc.notes.push_back(std::move(walked.notes[static_cast<size_t>(i)]));
    }
}

} // namespace

void walk_catalogue(CatalogueDesc &desc, ReadOptions options) {
    size_t added_playlists = 0;
    size_t added_tracks = 0;
    std::vector<size_t> added_to_account(desc.accounts.size(), 0);
    for (const NamedOnDisk &named : desc.on_disk) {
        if (named.track >= 0) {
            if (options.probe)
                probe_file_track(desc,
                                 desc.tracks[static_cast<size_t>(named.track) + added_tracks]);
            continue;
        }
        if (!options.walk)
            continue;
        const std::string folder = desc.folders[static_cast<size_t>(named.folder)];
        const size_t playlists_at = named.playlists + added_playlists;
        const size_t tracks_at = named.tracks + added_tracks;
        const size_t account_at =
            named.account_playlists + added_to_account[static_cast<size_t>(named.account)];
        const size_t playlists_before = desc.playlists.size();
        const size_t tracks_before = desc.tracks.size();
        if (playlists_at == playlists_before && tracks_at == tracks_before)
            add_music_folder(desc, named.account, folder, options.probe); // nothing after it
        else
            insert_music_folder(desc, named.account, folder, options.probe, playlists_at, tracks_at,
                                account_at);
        const size_t playlists_added = desc.playlists.size() - playlists_before;
        added_playlists += playlists_added;
        added_tracks += desc.tracks.size() - tracks_before;
        added_to_account[static_cast<size_t>(named.account)] += playlists_added;
    }
}

CatalogueDesc read_catalogue(const std::string &path, ReadOptions options) {
    CatalogueDesc desc = read_catalogue_file(path);
    walk_catalogue(desc, options);
    return desc;
}

} // namespace music
