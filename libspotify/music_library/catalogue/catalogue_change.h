// A change of the catalogue as its subscribers receive it, and the one
// interface through which they receive it.
//
// Thread rules: the catalogue calls every subscriber with its mutex held
// (catalogue.h), in the order of the changes' versions, so that every
// subscriber sees the same changes in the same order. A subscriber only
// records the change and never calls back into the catalogue; it may take a
// lock of its own, which comes after the catalogue mutex: nothing takes the
// catalogue mutex while holding such a lock.
#ifndef MUSIC_LIBRARY_CATALOGUE_CATALOGUE_CHANGE_H
#define MUSIC_LIBRARY_CATALOGUE_CATALOGUE_CHANGE_H

#include <cstdint>
#include <string>
#include <vector>

namespace music {

enum class ChangeKind {
    LoadPlaylist,    // id: playlist (a request: its loading was released)
    PlaylistAdded,   // text: account, id: playlist, position, text2: name
    PlaylistRemoved, // id: playlist
    PlaylistRenamed, // id: playlist, text: new name
    TracksAdded,     // id: playlist, items: track ids, position
    TracksRemoved,   // id: playlist, items: positions (ascending)
    TracksMoved,     // id: playlist, items: positions (ascending), position: new position
    TrackChanged,    // id: track, or items: tracks (availability, error, metadata)
    CatalogueReady,  // the catalogue file is read
    Log,             // text: one line about what was read
};

struct CatalogueChange {
    ChangeKind kind = ChangeKind::Log;
    uint64_t version = 0; // the catalogue's version after the change; 0 for requests and lines
    int id = -1;
    int position = 0;
    std::string text;
    std::string text2;
    std::vector<int> items;
};

class CatalogueSubscriber {
public:
    // Called with the catalogue mutex held.
    virtual void catalogue_changed(const CatalogueChange &change) = 0;

protected:
    ~CatalogueSubscriber() = default;
};

} // namespace music

#endif
