// Files named by UTF-8 paths, in both builds: on Windows the path is
// widened so that names outside the ANSI code page open too.
#ifndef MUSIC_LIBRARY_BASE_FILE_IO_H
#define MUSIC_LIBRARY_BASE_FILE_IO_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace music {

std::filesystem::path utf8_path(const std::string &path);
std::string path_utf8(const std::filesystem::path &path);

// fopen for a UTF-8 path; null when it cannot be opened.
std::FILE *open_file(const std::string &path, const char *mode);

// 64-bit positions in an open file: false (or -1) on failure.
bool seek_to(std::FILE *file, int64_t offset);
int64_t file_size(std::FILE *file);

// The folder that holds the file at `path` ("." for a bare name).
std::string folder_of(const std::string &path);

// Whether the path names a file on another machine (\\server\share\...,
// //server/share/...), which is opened only when it plays.
bool is_network_path(const std::string &path);

// A device path (\\.\, \\?\ with a device): never a file of music.
bool is_device_path(const std::string &path);

// `path` taken from `folder` unless it is absolute or a network path; "~/"
// is the home folder except on Windows.
std::string resolve_path(const std::string &folder, const std::string &path);

} // namespace music

#endif
