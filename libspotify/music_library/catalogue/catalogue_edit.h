// A catalogue file read again while the library runs becomes the changes a
// server would send: playlists added, removed and renamed, tracks added,
// removed and moved, tracks whose names or state changed. A playlist is the
// same playlist while it keeps its name, or under a new name its content or
// most of its tracks (renamed and edited in one save); a track is the same
// track while it keeps its source (its file, or its synthesized line).
// Playlists that stay keep their place in the container.
#ifndef MUSIC_LIBRARY_CATALOGUE_CATALOGUE_EDIT_H
#define MUSIC_LIBRARY_CATALOGUE_CATALOGUE_EDIT_H

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_text.h"

namespace music {

// With the mutex held: changes the catalogue into the one `desc` describes,
// one change at a time, each published to every subscriber. The settings
// that act once (fail-create, fail-login, refuse-login) are not taken.
void catalogue_apply_edit_locked(Catalogue &cat, const CatalogueDesc &desc);

} // namespace music

#endif
