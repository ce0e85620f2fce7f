// Looking at what a catalogue's text names on disk: the audio files of its
// `track file` lines and the music folders of its `music` lines, in the
// order of its lines, so that notes come in that order and every playlist
// and track takes the place (and index) its line gives it.
#ifndef MUSIC_LIBRARY_LOADER_CATALOGUE_WALK_H
#define MUSIC_LIBRARY_LOADER_CATALOGUE_WALK_H

#include <string>

#include "catalogue/catalogue_text.h"

namespace music {

// How much of the disk a read looks at besides the catalogue file.
struct ReadOptions {
    bool walk = true;  // the music folders are walked, playlist files read
    bool probe = true; // audio files' headers and tags are read (through
                       // the folder cache); else their tracks' names wait
};

// Walks and probes what `desc` (as read_catalogue_file left it) names, as
// `options` say; what cannot be used becomes a note.
void walk_catalogue(CatalogueDesc &desc, ReadOptions options);

// read_catalogue_file, then walk_catalogue.
CatalogueDesc read_catalogue(const std::string &path, ReadOptions options = {});

} // namespace music

#endif
