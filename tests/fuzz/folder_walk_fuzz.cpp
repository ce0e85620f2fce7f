// The music folder walk on any tree: the input builds folders, audio and
// playlist files, links (up, sideways, to themselves, dangling), a pipe and
// names that are not text in a scratch folder, which is then served. Each
// real folder is listed at most once, whatever the links.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "folders/folder_cache.h"
#include "folders/music_folder.h"

namespace fs = std::filesystem;

namespace {

// A short name from the input: letters, or (rarely) a byte that is not text.
std::string name_of(const uint8_t *&data, const uint8_t *end) {
    static const char *const kinds[] = {"", ".wav", ".ogg", ".m3u", ".m3u8", ".mp3"};
    std::string name = "n";
    const size_t length = data < end ? (*data++ % 4) : 0;
    for (size_t i = 0; i < length && data < end; ++i, ++data)
        name += (*data == 0xFF) ? '\xFF' : static_cast<char>('a' + *data % 6);
    if (data < end)
        name += kinds[*data++ % 6];
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const fs::path root = "/tmp/lorvane-fuzz-walk-" + std::to_string(getpid());
    std::error_code error;
    fs::remove_all(root, error);
    fs::create_directories(root / "Music", error);
    std::vector<fs::path> folders = {root / "Music"};
    const uint8_t *const end = data + (size > 256 ? 256 : size);
    while (data < end) {
        const uint8_t op = *data++;
        const fs::path &in = folders[(op >> 3) % folders.size()];
        const fs::path path = in / name_of(data, end);
        switch (op & 7) {
        case 0:
        case 1:
            if (fs::create_directory(path, error))
                folders.push_back(path);
            break;
        case 2: { // an audio or playlist file, its bytes the next few of the input
            // Never through a pipe made before under the same name: opening
            // one to write would wait for a reader that never comes.
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            std::FILE *file = fd < 0 ? nullptr : fdopen(fd, "wb");
            if (!file) {
                if (fd >= 0)
                    close(fd);
                break;
            }
            const size_t count = data < end ? *data++ % 24 : 0;
            for (size_t i = 0; i < count && data < end; ++i, ++data)
                std::fputc(*data % 3 == 0 ? '\n' : "../n.wav"[*data % 8], file);
            std::fclose(file);
            break;
        }
        case 3: // a link to a folder made so far: up, sideways or itself
            fs::create_directory_symlink(folders[(data < end ? *data++ : 0) % folders.size()], path,
                                         error);
            break;
        case 4:
            fs::create_symlink(root / "gone", path, error);
            break;
        case 5:
            mkfifo(path.c_str(), 0600);
            break;
        default:
            break;
        }
    }
    music::folder_cache_clear();
    music::CatalogueDesc desc;
    desc.accounts.push_back(music::DescAccount{"me", "", {}});
    music::add_music_folder(desc, 0, (root / "Music").string(), false);
    std::set<fs::path> real;
    for (const std::string &directory : desc.directories) {
        const fs::path canonical = fs::canonical(directory, error);
        if (!error && !real.insert(canonical).second)
            __builtin_trap(); // a real folder listed twice
    }
    fs::remove_all(root, error);
    return 0;
}
