// First version: every operation exists and is exported; behaviour follows.
#include "libspotify/api.h"
#include "libspotify/local.h"

extern "C" {

sp_error sp_session_create(const sp_session_config *, sp_session **sess) {
    if (sess)
        *sess = nullptr;
    return SP_ERROR_API_INITIALIZATION_FAILED;
}
sp_error sp_session_login(sp_session *, const char *, const char *) {
    return SP_ERROR_OTHER_PERMANENT;
}
void *sp_session_userdata(sp_session *) {
    return nullptr;
}
sp_connectionstate sp_session_connectionstate(sp_session *) {
    return SP_CONNECTION_STATE_LOGGED_OUT;
}
sp_error sp_session_process_events(sp_session *, int *next_timeout) {
    if (next_timeout)
        *next_timeout = 1000;
    return SP_ERROR_OK;
}
sp_playlistcontainer *sp_session_playlistcontainer(sp_session *) {
    return nullptr;
}
sp_error sp_session_player_load(sp_session *, sp_track *) {
    return SP_ERROR_TRACK_NOT_PLAYABLE;
}
sp_error sp_session_player_play(sp_session *, sp_bool) {
    return SP_ERROR_OK;
}
void sp_session_player_unload(sp_session *) {}
int sp_playlistcontainer_num_playlists(sp_playlistcontainer *) {
    return 0;
}
sp_playlist *sp_playlistcontainer_playlist(sp_playlistcontainer *, int) {
    return nullptr;
}
void sp_playlistcontainer_add_callbacks(sp_playlistcontainer *,
                                        const sp_playlistcontainer_callbacks *, void *) {}
void sp_playlist_add_callbacks(sp_playlist *, const sp_playlist_callbacks *, void *) {}
void sp_playlist_remove_callbacks(sp_playlist *, const sp_playlist_callbacks *, void *) {}
const char *sp_playlist_name(sp_playlist *) {
    return "";
}
sp_bool sp_playlist_is_loaded(sp_playlist *) {
    return 0;
}
int sp_playlist_num_tracks(sp_playlist *) {
    return 0;
}
sp_track *sp_playlist_track(sp_playlist *, int) {
    return nullptr;
}
sp_bool sp_track_is_available(sp_session *, sp_track *) {
    return 0;
}
sp_bool sp_track_is_loaded(sp_track *) {
    return 0;
}
sp_error sp_track_error(sp_track *) {
    return SP_ERROR_IS_LOADING;
}
const char *sp_track_name(sp_track *) {
    return "";
}
sp_artist *sp_track_artist(sp_track *, int) {
    return nullptr;
}
const char *sp_artist_name(sp_artist *) {
    return "";
}

void splocal_reset(void) {}
void splocal_load_demo(void) {}
int splocal_load_file(const char *) {
    return 1;
}
int splocal_account_add(const char *, const char *) {
    return -1;
}
int splocal_track_add(const char *, const char *, splocal_sound, int, int) {
    return -1;
}
int splocal_track_pcm(int, int16_t *, int) {
    return 0;
}
int splocal_playlist_add(const char *, const char *, int) {
    return -1;
}
void splocal_playlist_remove(int) {}
void splocal_playlist_rename(int, const char *) {}
void splocal_playlist_hold_loading(int, int) {}
void splocal_playlist_add_tracks(int, const int *, int, int) {}
void splocal_playlist_remove_tracks(int, const int *, int) {}
void splocal_playlist_move_tracks(int, const int *, int, int) {}
void splocal_track_set_available(int, int) {}
void splocal_track_set_error(int, sp_error) {}
void splocal_track_hold_metadata(int, int) {}
void splocal_lose_play_token(void) {}
void splocal_fail_next_create(sp_error) {}
void splocal_fail_next_login(sp_error) {}
void splocal_set_latency(int) {}
void splocal_set_chunk_frames(int) {}
int splocal_work_pending(sp_session *) {
    return 0;
}
int splocal_track_id(sp_track *) {
    return -1;
}
int splocal_playlist_id(sp_playlist *) {
    return -1;
}
int splocal_player_track(sp_session *) {
    return -1;
}
int splocal_player_position(sp_session *) {
    return 0;
}
void splocal_session_release(sp_session *) {}
}
