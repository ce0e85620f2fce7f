// Which playlist the program follows and which of its tracks is in the player.
//
// Threads: everything here runs on the main thread: the dialog's calls, the
// play step, and the playlist and container handlers, which the library
// calls inside sp_session_process_events. The session mutex is taken where
// the display (which reads current_track under it) or the main loop (which
// reads and clears playlists_changed under it) could otherwise see a
// half-made change; it is recursive, so session_select_playlist and
// on_playlist_renamed hold it across the play step, which takes it again.
// The play step empties the queue while holding it; the queue's mutex is
// never held when it is taken.
#pragma once

#include <libspotify/api.h>

#include <cstdint>

struct SessionState;

// Remembers name and selects the last playlist of that name in the container.
void session_select_playlist(SessionState *state, const char *name);

// "Start playing" after the first: stops the player and empties the queue
// as the key N does, then follows the playlist called name from its first
// track.
void session_switch_playlist(SessionState *state, const char *name);

// The play step: loads and starts the track at track_index, or waits for it,
// or asks for an advance past it.
void session_play_current(SessionState *state);

// Stops the player and drops the audio it delivered: unloads the player, then
// empties the queue, in that order (see docs/ARCHITECTURE.md, "Deliberate
// behaviours"). Every control that leaves the track in the player goes
// through it, as does the play step when another track stands at the
// position. It holds the session mutex across the unload and the flush: the
// session mutex is taken before the queue's, never after.
void session_stop_player(SessionState *state);

// The followed playlist's track count as the library tells it now; 0 with
// no playlist.
uint32_t session_track_count(const SessionState *state);

// Names of the loaded playlists in container order. *names gets an array from
// new[] (null when there is no container, or when memory is short) of
// malloc'd copies; the caller frees each string with free and the array with
// delete[].
int session_list_playlists(SessionState *state, char ***names);

void on_tracks_added(sp_playlist *playlist, sp_track *const *tracks, int count, int position,
                     void *state);
void on_tracks_removed(sp_playlist *playlist, const int *indices, int count, void *state);
void on_tracks_moved(sp_playlist *playlist, const int *indices, int count, int new_position,
                     void *state);
void on_playlist_renamed(sp_playlist *playlist, void *state);
void on_playlist_added(sp_playlistcontainer *container, sp_playlist *playlist, int position,
                       void *state);
void on_playlist_removed(sp_playlistcontainer *container, sp_playlist *playlist, int position,
                         void *state);
