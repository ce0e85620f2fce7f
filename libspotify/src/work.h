// One piece of asynchronous work queued in a session: a login outcome, a
// playlist load, or a change of the server catalogue on its way to the
// session's client view. Applied on the thread that calls
// sp_session_process_events.
#ifndef LIBSPOTIFY_SRC_WORK_H
#define LIBSPOTIFY_SRC_WORK_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "libspotify/api.h"

namespace splocal {

using Clock = std::chrono::steady_clock;

enum class WorkKind {
    Login,           // text: user name, text2: password, error: forced outcome
    LoadPlaylist,    // id: playlist
    PlaylistAdded,   // text: account, id: playlist, position, text2: name
    PlaylistRemoved, // id: playlist
    PlaylistRenamed, // id: playlist, text: new name
    TracksAdded,     // id: playlist, items: track ids, position
    TracksRemoved,   // id: playlist, items: positions (ascending)
    TracksMoved,     // id: playlist, items: positions (ascending), position: new position
    TrackChanged,    // id: track, or items: tracks (availability, error, metadata)
    PlayTokenLost,
    CatalogueReady, // the catalogue file is read: logins that waited are answered
    Log,            // text: one line for log_message
};

// A Login's position: its forced outcome is taken when it is answered.
constexpr int kLoginTakesForcedOutcome = 1;

struct Work {
    WorkKind kind = WorkKind::PlayTokenLost;
    uint64_t version = 0; // catalogue version of a change; 0 for requests
    int id = -1;
    int position = 0;
    sp_error error = SP_ERROR_OK;
    std::string text;
    std::string text2;
    std::vector<int> items;
    // Set by the session's queue.
    Clock::time_point due{};
    uint64_t seq = 0;
};

} // namespace splocal

#endif
