// Following the catalogue file while sessions run. A thread of the library
// looks at the file, the music folders it serves and the audio files it
// names (sizes, times and folder listings; the bytes of the catalogue and
// of playlist files too) every watch interval; a change that looks the same
// twice in a row (so that a file an editor is still writing is not taken)
// is read with the strict reader and applied as changes (catalogue_edit.h).
// A file that cannot be read, or that names no account, leaves the
// catalogue as it is; why goes to the log beside it and to every session's
// log_message.
//
// Thread rules: one look at a time (the watcher's check mutex, taken before
// the catalogue mutex); the files are read without the catalogue mutex,
// which is taken only to compare and apply. The watcher's thread is started
// and stopped under its control mutex, which nothing holds while taking
// the catalogue mutex, so joining the thread cannot wait on a thread that
// waits on it.
#ifndef LIBSPOTIFY_SRC_CATALOGUE_CATALOGUE_WATCH_H
#define LIBSPOTIFY_SRC_CATALOGUE_CATALOGUE_WATCH_H

#include <string>

#include "catalogue.h"
#include "catalogue/catalogue_text.h"

namespace splocal {

// What a read of the catalogue file at `path` depends on, with its
// fingerprint as the files are now.
CatalogueSource catalogue_source_of(const std::string &path, const CatalogueDesc &desc);

// The watcher runs while at least one session lives. Call without the
// catalogue mutex.
void watcher_session_started();
void watcher_session_ended();

} // namespace splocal

#endif
