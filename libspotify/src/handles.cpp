// The operations on the handles of a session's client view: container,
// playlists, tracks and artists. A null or out-of-range argument gives an
// empty answer, never a crash.
#include <algorithm>

#include "libspotify/local.h"
#include "session.h"

extern "C" {

int sp_playlistcontainer_num_playlists(sp_playlistcontainer *pc) {
    return pc ? static_cast<int>(pc->playlists.size()) : 0;
}

sp_playlist *sp_playlistcontainer_playlist(sp_playlistcontainer *pc, int index) {
    if (!pc || index < 0 || index >= static_cast<int>(pc->playlists.size()))
        return nullptr;
    return pc->playlists[static_cast<size_t>(index)];
}

void sp_playlistcontainer_add_callbacks(sp_playlistcontainer *pc,
                                        const sp_playlistcontainer_callbacks *callbacks,
                                        void *userdata) {
    if (!pc || !callbacks)
        return;
    pc->callbacks.push_back(ContainerCallbackEntry{*callbacks, userdata});
}

void sp_playlist_add_callbacks(sp_playlist *playlist, const sp_playlist_callbacks *callbacks,
                               void *userdata) {
    if (!playlist || !callbacks)
        return;
    playlist->callbacks.push_back(PlaylistCallbackEntry{callbacks, *callbacks, userdata});
}

void sp_playlist_remove_callbacks(sp_playlist *playlist, const sp_playlist_callbacks *callbacks,
                                  void *userdata) {
    if (!playlist)
        return;
    auto &list = playlist->callbacks;
    auto match = std::find_if(list.begin(), list.end(), [&](const PlaylistCallbackEntry &e) {
        return e.key == callbacks && e.userdata == userdata;
    });
    if (match != list.end())
        list.erase(match);
}

const char *sp_playlist_name(sp_playlist *playlist) {
    return playlist ? playlist->name.c_str() : "";
}

sp_bool sp_playlist_is_loaded(sp_playlist *playlist) {
    return playlist && playlist->loaded ? 1 : 0;
}

int sp_playlist_num_tracks(sp_playlist *playlist) {
    return playlist ? static_cast<int>(playlist->tracks.size()) : 0;
}

sp_track *sp_playlist_track(sp_playlist *playlist, int index) {
    if (!playlist || index < 0 || index >= static_cast<int>(playlist->tracks.size()))
        return nullptr;
    return playlist->tracks[static_cast<size_t>(index)];
}

sp_bool sp_track_is_available(sp_session *, sp_track *track) {
    return track && track->available ? 1 : 0;
}

sp_bool sp_track_is_loaded(sp_track *track) {
    return track && track->loaded ? 1 : 0;
}

sp_error sp_track_error(sp_track *track) {
    return track ? track->error : SP_ERROR_INVALID_INDATA;
}

const char *sp_track_name(sp_track *track) {
    return track && track->loaded ? track->title.c_str() : "";
}

int sp_track_duration(sp_track *track) {
    return track && track->loaded ? track->duration_ms : 0;
}

sp_artist *sp_track_artist(sp_track *track, int index) {
    if (!track || !track->loaded || index != 0)
        return nullptr;
    return &track->artist;
}

const char *sp_artist_name(sp_artist *artist) {
    return artist ? artist->name.c_str() : "";
}

int splocal_track_id(sp_track *track) {
    return track ? track->id : -1;
}

int splocal_playlist_id(sp_playlist *playlist) {
    return playlist ? playlist->id : -1;
}

} // extern "C"
