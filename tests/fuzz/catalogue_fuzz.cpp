// The catalogue reader on any text. Files are not opened; a `music` folder
// that could reach the machine's real folders (absolute, "~" or "..") is
// left out, so that every input reads the same everywhere.
#include <cstdint>
#include <string>

#include "catalogue_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (size_t at = text.find("music"); at != std::string::npos; at = text.find("music", at + 1)) {
        size_t i = at + 5;
        while (i < size && (static_cast<unsigned char>(text[i]) <= ' ' || text[i] == '"'))
            ++i;
        if (i < size && (text[i] == '/' || text[i] == '~' || text.find("..") != std::string::npos))
            return -1; // not added to the corpus
    }
    splocal::read_catalogue_text(text, "/nonexistent-lorvane-fuzz/catalogue", false);
    return 0;
}
