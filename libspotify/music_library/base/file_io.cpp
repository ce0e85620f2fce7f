// UTF-8 paths; see file_io.h.
#include "base/file_io.h"

#include <cstdlib>

namespace music {

std::filesystem::path utf8_path(const std::string &path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string path_utf8(const std::filesystem::path &path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE *open_file(const std::string &path, const char *mode) {
#ifdef _WIN32
    const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
    std::FILE *file = nullptr;
    if (_wfopen_s(&file, utf8_path(path).c_str(), wide_mode.c_str()) != 0)
        return nullptr;
    return file;
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool seek_to(std::FILE *file, int64_t offset) {
    if (offset < 0)
        return false;
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

int64_t file_size(std::FILE *file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    return _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    return static_cast<int64_t>(ftello(file));
#endif
}

std::string folder_of(const std::string &path) {
    const std::filesystem::path parent = utf8_path(path).parent_path();
    return parent.empty() ? std::string(".") : path_utf8(parent);
}

bool is_network_path(const std::string &path) {
    return path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
           (path[1] == '\\' || path[1] == '/') && path[2] != '.' && path[2] != '?' &&
           path[2] != '\\' && path[2] != '/';
}

bool is_device_path(const std::string &path) {
    return path.size() > 3 && (path[0] == '\\' || path[0] == '/') &&
           (path[1] == '\\' || path[1] == '/') && path[2] == '.' &&
           (path[3] == '\\' || path[3] == '/');
}

std::string resolve_path(const std::string &folder, const std::string &path) {
    if (is_network_path(path) || is_device_path(path))
        return path;
#ifndef _WIN32
    if (path.rfind("~/", 0) == 0) {
        if (const char *home = std::getenv("HOME"))
            return path_utf8((std::filesystem::path(home) / path.substr(2)).lexically_normal());
    }
#endif
    const std::filesystem::path p = utf8_path(path);
    if (p.is_absolute())
        return path_utf8(p.lexically_normal());
    return path_utf8((utf8_path(folder) / p).lexically_normal());
}

} // namespace music
