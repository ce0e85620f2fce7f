// Following the catalogue file while the library is in use. A thread of the library
// follows the file, the real folders its music folders' walks listed and
// the audio files it names through the system's change notifications
// (folder_watcher.h), and sleeps while nothing changes. A folder that
// changed is looked at once no change has come for a moment (its listing
// read again, through the folder cache; the bytes of the catalogue and of
// playlist files count too), and again a moment later while it looks
// different from the look before, so that a file an editor is still writing
// is not taken; then the catalogue is read with the strict reader (every
// other folder from the cache) and applied as changes (catalogue_edit.h).
// A file that cannot be read, or that names no account, leaves the
// catalogue as it is; why goes to the log beside it and to every
// subscriber.
//
// Thread rules: one look at a time (the watcher's check mutex, taken before
// the catalogue mutex); the files are read without the catalogue mutex,
// which is taken only to compare and apply. The watcher's thread is started
// and stopped under its control mutex, which nothing holds while taking
// the catalogue mutex, so joining the thread cannot wait on a thread that
// waits on it; the thread is woken through its wake mutex, a leaf.
#ifndef MUSIC_LIBRARY_LOADER_CATALOGUE_WATCH_H
#define MUSIC_LIBRARY_LOADER_CATALOGUE_WATCH_H

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_text.h"

namespace music {

// What a read of the catalogue file at `path` (empty: the embedded
// catalogue) depends on, with its prints as the walk listed its folders
// (`fingerprint` names them).
CatalogueSource catalogue_source_of(const std::string &path, const CatalogueDesc &desc);

// The watcher runs while at least one client has started it and not ended
// it. Call without the catalogue mutex.
void watcher_client_started();
void watcher_client_ended();

// Wakes the watcher to follow a catalogue source that was just set.
void watcher_wake();

// Stops the watcher whatever clients hold it (the process is ending); a
// client started later starts it again.
void watcher_stop();

// How often the catalogue file is looked at without a change notification
// (0: only when asked); wakes the watcher.
void watcher_set_interval(int milliseconds);

// Looks at the catalogue file and everything it depends on now (`settled`:
// a change is read at once, without a second look): 0 nothing changed, 1
// applied, 2 a change waits for a second look, -1 the changed file cannot
// be used.
int watcher_check(bool settled);

} // namespace music

#endif
