// The first two headers of an Ogg Vorbis stream, read and checked before
// the decoder is given the file: the identification header (one packet
// alone on the first page) and the comment header (starting the second
// page, going on over as many pages as it needs), passing over the pages
// of other streams carried in the file. Every length in the
// comment header is checked against the packet as it is read, so the
// decoder is never handed a vendor string or a comment that runs past its
// packet, nor more comments than the packet can hold. Artist and title
// come from the ARTIST and TITLE comments (any case; the first one counts;
// a value that is not UTF-8 or is longer than 1024 bytes is left out).
#ifndef MUSIC_LIBRARY_MEDIA_VORBIS_COMMENTS_H
#define MUSIC_LIBRARY_MEDIA_VORBIS_COMMENTS_H

#include <cstdio>
#include <string>

#include "media/decoder.h"

namespace music {

// Reads the headers from the file's current position (its start). Returns
// false, saying why, when they are not well formed; `tags` then holds what
// was read before the fault. Leaves the position after the comment header.
bool read_vorbis_comments(std::FILE *file, FileTags &tags, std::string &why);

} // namespace music

#endif
