// A catalogue file loaded whole into the process's catalogue, and the
// replacing of the catalogue with a description, which every load ends in.
#ifndef MUSIC_LIBRARY_LOADER_CATALOGUE_FILE_H
#define MUSIC_LIBRARY_LOADER_CATALOGUE_FILE_H

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_text.h"

namespace music {

// Replaces the catalogue and the settings it names with a catalogue file,
// all or nothing: 0, or the 1-based number of the first line that cannot be
// read (1 also when the file cannot be opened), and then nothing changes.
// Takes the mutex; call without it. Writes the log beside the file.
int catalogue_load_file(Catalogue &cat, const std::string &path);

// With the mutex held: replaces the catalogue with a description read
// leniently (bad lines skipped), with its source.
void catalogue_replace_locked(Catalogue &cat, const CatalogueDesc &desc, CatalogueSource source);

} // namespace music

#endif
