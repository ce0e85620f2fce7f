// Artist and title from the ID3v2 tag at the start of a file (MP3 and
// others that carry one): versions 2.2 (TP1, TT2), 2.3 and 2.4 (TPE1, TIT2),
// with syncsafe sizes, an extended header skipped, unsynchronisation undone
// and the four text encodings (ISO-8859-1, UTF-16 with a byte-order mark,
// UTF-16BE, UTF-8) converted to UTF-8. Every size is checked against the
// bytes there are; frames that are neither wanted nor small are stepped
// over, never read, so a large cover picture costs nothing.
#ifndef MUSIC_LIBRARY_MEDIA_ID3_TAGS_H
#define MUSIC_LIBRARY_MEDIA_ID3_TAGS_H

#include <cstddef>
#include <cstdio>

#include "media/decoder.h"

namespace music {

// Reads the tag at the start of the `size` bytes at `data` (a whole file, or
// its first part). Returns true when they start with an ID3v2 tag this
// reader understands; `tags` then holds the artist and title it gives
// (either may be empty), a name given twice as it was first given, and a
// name `tags` held before as it was. Returns false, with `tags` untouched,
// otherwise.
bool read_id3_tags(const unsigned char *data, size_t size, FileTags &tags);

// The same for the tag at the start of an open file (binary mode): reads
// what it needs from the start, moves the file position, does not close it.
bool read_id3_tags(std::FILE *file, FileTags &tags);

} // namespace music

#endif
