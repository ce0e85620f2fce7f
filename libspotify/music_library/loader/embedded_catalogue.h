// The catalogue the library serves when the settings folder has none:
// account "demo" with synthesized playlists, and account "me" serving the
// user's Music folder.
#ifndef MUSIC_LIBRARY_LOADER_EMBEDDED_CATALOGUE_H
#define MUSIC_LIBRARY_LOADER_EMBEDDED_CATALOGUE_H

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_text.h"
#include "loader/catalogue_walk.h"

namespace music {

// Replaces the catalogue with the embedded one (mutex held): the demo, and
// the account `me` (no password) whose playlists the loader adds from the
// user's Music folder once someone logs in to it (music_unwalked).
void catalogue_load_demo_locked(Catalogue &cat);

// The embedded catalogue as a description; with options.walk, `me` serves
// the folder `music` (a note when it is empty: the folder is not known).
CatalogueDesc embedded_catalogue(const std::string &music, ReadOptions options);

// The user's Music folder: the Music known folder on Windows; natively
// $XDG_MUSIC_DIR, else ~/Music. Empty when it cannot be told.
std::string user_music_folder();

} // namespace music

#endif
