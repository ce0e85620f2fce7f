// The library's log, beside the catalogue (library.log in the catalogue's
// folder): what went wrong reading the catalogue, and files that could not
// be decoded. Each catalogue read starts a new log; later problems are
// appended. Writing the log never fails the caller: a log that cannot be
// written is skipped. Every line is written as one line, whatever the names
// in it hold (see one_log_line; log_message gets its lines the same way).
#ifndef MUSIC_LIBRARY_CATALOGUE_LIBRARY_LOG_H
#define MUSIC_LIBRARY_CATALOGUE_LIBRARY_LOG_H

#include <string>
#include <vector>

#include "catalogue/catalogue_text.h"

namespace music {

// The log's lines for a catalogue read: "PATH:LINE: message", one per
// problem kept, and a count of the others.
std::vector<std::string> catalogue_problem_lines(const std::string &path,
                                                 const CatalogueDesc &desc);

// Starts the log beside the catalogue at `catalogue_path` with a line that
// says what was read and then `lines`.
void log_catalogue_read(const std::string &catalogue_path, const std::vector<std::string> &lines);

// Adds lines to the log beside the catalogue at `catalogue_path`.
void log_append(const std::string &catalogue_path, const std::vector<std::string> &lines);

// An audio file that stopped early or could not be opened as its track
// played: "PATH: why" in the log beside the catalogue (when the catalogue
// comes from a file); returns that line. Any thread; call without the
// catalogue mutex.
std::string log_file_failure(const std::string &file, const std::string &why);

} // namespace music

#endif
