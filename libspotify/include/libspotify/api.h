/*
 * libspotify, interface version 6: the operations and callback records that a
 * client program uses.
 *
 * Handles are opaque. Strings that the library returns are zero-terminated
 * UTF-8 and belong to the library: a caller copies what it keeps. Booleans are
 * one byte. An sp_error of 0 is success.
 *
 * Threads: every operation is called from the client's main thread. The
 * library calls notify_main_thread, music_delivery and end_of_track from its
 * own threads; every other callback runs on the main thread, inside
 * sp_session_process_events.
 */
#ifndef LIBSPOTIFY_API_H
#define LIBSPOTIFY_API_H

#include <stddef.h>

#ifdef _WIN32
#ifdef LIBSPOTIFY_BUILDING
#define SP_LIBEXPORT(type) __declspec(dllexport) type
#else
#define SP_LIBEXPORT(type) __declspec(dllimport) type
#endif
#else
#define SP_LIBEXPORT(type) __attribute__((visibility("default"))) type
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define SPOTIFY_API_VERSION 6

typedef unsigned char sp_bool;
typedef unsigned char sp_byte;

typedef struct sp_session sp_session;
typedef struct sp_track sp_track;
typedef struct sp_artist sp_artist;
typedef struct sp_user sp_user;
typedef struct sp_playlist sp_playlist;
typedef struct sp_playlistcontainer sp_playlistcontainer;

typedef enum sp_error {
    SP_ERROR_OK = 0,
    SP_ERROR_BAD_API_VERSION = 1,
    SP_ERROR_API_INITIALIZATION_FAILED = 2,
    SP_ERROR_TRACK_NOT_PLAYABLE = 3,
    SP_ERROR_BAD_APPLICATION_KEY = 5,
    SP_ERROR_BAD_USERNAME_OR_PASSWORD = 6,
    SP_ERROR_USER_BANNED = 7,
    SP_ERROR_UNABLE_TO_CONTACT_SERVER = 8,
    SP_ERROR_CLIENT_TOO_OLD = 9,
    SP_ERROR_OTHER_PERMANENT = 10,
    SP_ERROR_BAD_USER_AGENT = 11,
    SP_ERROR_MISSING_CALLBACK = 12,
    SP_ERROR_INVALID_INDATA = 13,
    SP_ERROR_INDEX_OUT_OF_RANGE = 14,
    SP_ERROR_USER_NEEDS_PREMIUM = 15,
    SP_ERROR_OTHER_TRANSIENT = 16,
    SP_ERROR_IS_LOADING = 17
} sp_error;

typedef enum sp_connectionstate {
    SP_CONNECTION_STATE_LOGGED_OUT = 0,
    SP_CONNECTION_STATE_LOGGED_IN = 1,
    SP_CONNECTION_STATE_DISCONNECTED = 2,
    SP_CONNECTION_STATE_UNDEFINED = 3
} sp_connectionstate;

typedef enum sp_sampletype { SP_SAMPLETYPE_INT16_NATIVE_ENDIAN = 0 } sp_sampletype;

typedef struct sp_audioformat {
    sp_sampletype sample_type;
    int sample_rate;
    int channels;
} sp_audioformat;

typedef struct sp_audio_buffer_stats {
    int samples;
    int stutter;
} sp_audio_buffer_stats;

/* Session callbacks: 15 slots, in this order. */
typedef struct sp_session_callbacks {
    void (*logged_in)(sp_session *session, sp_error error);
    void (*logged_out)(sp_session *session);
    void (*metadata_updated)(sp_session *session);
    void (*connection_error)(sp_session *session, sp_error error);
    void (*message_to_user)(sp_session *session, const char *message);
    void (*notify_main_thread)(sp_session *session);
    int (*music_delivery)(sp_session *session, const sp_audioformat *format, const void *frames,
                          int num_frames);
    void (*play_token_lost)(sp_session *session);
    void (*log_message)(sp_session *session, const char *data);
    void (*end_of_track)(sp_session *session);
    void (*streaming_error)(sp_session *session, sp_error error);
    void (*userinfo_updated)(sp_session *session);
    void (*start_playback)(sp_session *session);
    void (*stop_playback)(sp_session *session);
    void (*get_audio_buffer_stats)(sp_session *session, sp_audio_buffer_stats *stats);
} sp_session_callbacks;

/* Playlist callbacks: 11 slots, in this order. */
typedef struct sp_playlist_callbacks {
    void (*tracks_added)(sp_playlist *pl, sp_track *const *tracks, int num_tracks, int position,
                         void *userdata);
    void (*tracks_removed)(sp_playlist *pl, const int *tracks, int num_tracks, void *userdata);
    void (*tracks_moved)(sp_playlist *pl, const int *tracks, int num_tracks, int new_position,
                         void *userdata);
    void (*playlist_renamed)(sp_playlist *pl, void *userdata);
    void (*playlist_state_changed)(sp_playlist *pl, void *userdata);
    void (*playlist_update_in_progress)(sp_playlist *pl, sp_bool done, void *userdata);
    void (*playlist_metadata_updated)(sp_playlist *pl, void *userdata);
    void (*track_created_changed)(sp_playlist *pl, int position, sp_user *user, int when,
                                  void *userdata);
    void (*track_seen_changed)(sp_playlist *pl, int position, sp_bool seen, void *userdata);
    void (*description_changed)(sp_playlist *pl, const char *desc, void *userdata);
    void (*image_changed)(sp_playlist *pl, const sp_byte *image, void *userdata);
} sp_playlist_callbacks;

/* Playlist container callbacks: 4 slots, in this order. */
typedef struct sp_playlistcontainer_callbacks {
    void (*playlist_added)(sp_playlistcontainer *pc, sp_playlist *playlist, int position,
                           void *userdata);
    void (*playlist_removed)(sp_playlistcontainer *pc, sp_playlist *playlist, int position,
                             void *userdata);
    void (*playlist_moved)(sp_playlistcontainer *pc, sp_playlist *playlist, int position,
                           int new_position, void *userdata);
    void (*container_loaded)(sp_playlistcontainer *pc, void *userdata);
} sp_playlistcontainer_callbacks;

typedef struct sp_session_config {
    int api_version;
    const char *cache_location;
    const char *settings_location;
    const void *application_key;
    size_t application_key_size;
    const char *user_agent;
    const sp_session_callbacks *callbacks;
    void *userdata;
} sp_session_config;

/* Session */
SP_LIBEXPORT(sp_error) sp_session_create(const sp_session_config *config, sp_session **sess);
SP_LIBEXPORT(sp_error)
sp_session_login(sp_session *session, const char *username, const char *password);
SP_LIBEXPORT(void *) sp_session_userdata(sp_session *session);
SP_LIBEXPORT(sp_connectionstate) sp_session_connectionstate(sp_session *session);
SP_LIBEXPORT(sp_error) sp_session_process_events(sp_session *session, int *next_timeout);
SP_LIBEXPORT(sp_playlistcontainer *) sp_session_playlistcontainer(sp_session *session);
SP_LIBEXPORT(sp_error) sp_session_player_load(sp_session *session, sp_track *track);
SP_LIBEXPORT(sp_error) sp_session_player_play(sp_session *session, sp_bool play);
SP_LIBEXPORT(void) sp_session_player_unload(sp_session *session);
/* Moves the loaded track to offset milliseconds from its start: the next frame
 * delivered is frame offset * rate / 1000 (rounded down) of the track, before
 * or after play was asked. An offset at or past the track's end ends it
 * (end_of_track). SP_ERROR_INVALID_INDATA for a negative offset or no track
 * loaded. */
SP_LIBEXPORT(sp_error) sp_session_player_seek(sp_session *session, int offset);

/* Playlist container */
SP_LIBEXPORT(int) sp_playlistcontainer_num_playlists(sp_playlistcontainer *pc);
SP_LIBEXPORT(sp_playlist *) sp_playlistcontainer_playlist(sp_playlistcontainer *pc, int index);
SP_LIBEXPORT(void)
sp_playlistcontainer_add_callbacks(sp_playlistcontainer *pc,
                                   const sp_playlistcontainer_callbacks *callbacks, void *userdata);

/* Playlist */
SP_LIBEXPORT(void)
sp_playlist_add_callbacks(sp_playlist *playlist, const sp_playlist_callbacks *callbacks,
                          void *userdata);
SP_LIBEXPORT(void)
sp_playlist_remove_callbacks(sp_playlist *playlist, const sp_playlist_callbacks *callbacks,
                             void *userdata);
SP_LIBEXPORT(const char *) sp_playlist_name(sp_playlist *playlist);
SP_LIBEXPORT(sp_bool) sp_playlist_is_loaded(sp_playlist *playlist);
SP_LIBEXPORT(int) sp_playlist_num_tracks(sp_playlist *playlist);
SP_LIBEXPORT(sp_track *) sp_playlist_track(sp_playlist *playlist, int index);

/* Track and artist */
SP_LIBEXPORT(sp_bool) sp_track_is_available(sp_session *session, sp_track *track);
SP_LIBEXPORT(sp_bool) sp_track_is_loaded(sp_track *track);
SP_LIBEXPORT(sp_error) sp_track_error(sp_track *track);
SP_LIBEXPORT(const char *) sp_track_name(sp_track *track);
/* The track's length in milliseconds (rounded down), known once the track is
 * loaded; 0 while it is not, or where the track's source does not tell. */
SP_LIBEXPORT(int) sp_track_duration(sp_track *track);
SP_LIBEXPORT(sp_artist *) sp_track_artist(sp_track *track, int index);
SP_LIBEXPORT(const char *) sp_artist_name(sp_artist *artist);

#ifdef __cplusplus
}
#endif

#endif /* LIBSPOTIFY_API_H */
