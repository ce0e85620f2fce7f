// The library's loader: a thread of the library that reads what the
// catalogue is made of, so that no call the program makes on its main
// thread, and nothing under the catalogue mutex, waits for the disk.
//
// At start-up (a client found the catalogue empty) it reads the catalogue
// file in the settings folder, or takes the embedded catalogue when there
// is none, and publishes CatalogueReady (Catalogue::file_pending is clear
// from then on). It then walks the music folders (the embedded catalogue's
// only once someone logs in to `me`): their playlists reach the subscribers
// as changes (PlaylistAdded, TracksAdded), each track's names not yet known.
// Last it reads the files' headers and tags, in batches, and each batch
// reaches the subscribers as one TrackChanged; a file that cannot be
// decoded fails its track and gets its log line.
//
// Thread rules: the loader's mutex is taken after the catalogue mutex (a
// request may be made with the catalogue mutex held), never the other way round:
// the loader thread lets it go before it takes the catalogue mutex, and
// touches the disk holding neither.
#ifndef MUSIC_LIBRARY_LOADER_LIBRARY_LOADER_H
#define MUSIC_LIBRARY_LOADER_LIBRARY_LOADER_H

#include <string>

#include "catalogue/catalogue.h"

namespace music {

// Asks for the start-up read from `settings_folder`; Catalogue::file_pending
// is set by the caller (under the catalogue mutex, which it may hold).
void loader_request_startup(const std::string &settings_folder);

// Asks for the tags of every track whose names are pending to be read.
void loader_request_tags();

// With the catalogue mutex held: someone logged in to `account`. The
// embedded catalogue's `me` has the user's Music folder walked then, once,
// and never for a login to another account; the outcome does not wait.
void loader_account_logged_in_locked(const Catalogue &cat, int account);

// Stops the loader and waits for its thread (call without the library's
// locks); what it had still to do is dropped (a later request asks again).
void loader_stop();

// Waits until the loader has nothing to do (or is held).
void loader_wait_idle();

// Holds the loader before it walks any folder or reads any tags, until
// released (a test hook).
void loader_hold(bool hold);

} // namespace music

#endif
