// The catalogue reader on any text, opening no file; a `music` folder that
// could reach the machine's real folders (absolute, "~", "..") is left out.
#include <cstdint>
#include <string>

#include "catalogue/catalogue_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (size_t at = text.find("music"); at != std::string::npos; at = text.find("music", at + 1)) {
        const size_t i = text.find_first_not_of(" \t\"", at + 5);
        if (i != std::string::npos &&
            (text[i] == '/' || text[i] == '~' || text.find("..") != std::string::npos))
            return -1; // not added to the corpus
    }
    music::read_catalogue_text(text, "/nonexistent-lorvane-fuzz/catalogue");
    return 0;
}
