/* stb_vorbis, the Ogg Vorbis decoder from Debian's libstb-dev, compiled
 * once into the library (third-party code: built without the project's
 * warnings). Its heap blocks are counted (vorbis_memory.h): the headers it
 * needs come first, so that only its own calls take the names below. */
#include <assert.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#if defined(_MSC_VER) || defined(__MINGW32__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <alloca.h>
#endif

void *lorvane_vorbis_malloc(size_t size);
void lorvane_vorbis_free(void *block);
#define malloc(size) lorvane_vorbis_malloc(size)
#define free(block) lorvane_vorbis_free(block)

#include <stb_vorbis.h>
