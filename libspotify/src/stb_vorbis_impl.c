/* stb_vorbis, the Ogg Vorbis decoder from Debian's libstb-dev, compiled
 * once into the library (third-party code: built without the project's
 * warnings). */
#include <stb_vorbis.h>
