// The library's log; see library_log.h.
#include "catalogue/library_log.h"

#include <cstdio>

#include "catalogue/catalogue.h"
#include "base/file_io.h"
#include "base/text_lines.h"

namespace music {
namespace {

void write_lines(const std::string &catalogue_path, const char *mode, const std::string &header,
                 const std::vector<std::string> &lines) {
    const std::string log_path = path_utf8(utf8_path(folder_of(catalogue_path)) / "library.log");
    std::FILE *file = open_file(log_path, mode);
    if (!file)
        return; // nowhere to write: the problems still reach log_message
    if (!header.empty())
        std::fprintf(file, "%s\n", one_log_line(header).c_str());
    for (const std::string &line : lines)
        std::fprintf(file, "%s\n", one_log_line(line).c_str());
    std::fclose(file);
}

} // namespace

std::vector<std::string> catalogue_problem_lines(const std::string &path,
                                                 const CatalogueDesc &desc) {
    std::vector<std::string> lines;
    for (const CatalogueProblem &p : desc.problems)
        lines.push_back(path + ":" + std::to_string(p.line) + ": " + p.message);
    lines.insert(lines.end(), desc.notes.begin(), desc.notes.end());
    if (desc.note_count > static_cast<int>(desc.notes.size()))
        lines.push_back(std::to_string(desc.note_count - static_cast<int>(desc.notes.size())) +
                        " more files not listed");
    if (desc.problem_count > static_cast<int>(desc.problems.size()))
        lines.push_back(
            path + ": " +
            std::to_string(desc.problem_count - static_cast<int>(desc.problems.size())) +
            " more problems not listed");
    return lines;
}

void log_catalogue_read(const std::string &catalogue_path, const std::vector<std::string> &lines) {
    const std::string header =
        "catalogue " + catalogue_path + ": " +
        (lines.empty() ? std::string("read without problems")
                       : std::string("read; what could not be used follows"));
    write_lines(catalogue_path, "wb", header, lines);
}

std::string log_file_failure(const std::string &file, const std::string &why) {
    const std::string line = file + ": " + why;
    std::string catalogue_path;
    {
        Catalogue &cat = catalogue();
        std::lock_guard<std::mutex> lock(cat.mutex);
        catalogue_path = cat.source.path;
    }
    if (!catalogue_path.empty())
        log_append(catalogue_path, {line});
    return line;
}

void log_append(const std::string &catalogue_path, const std::vector<std::string> &lines) {
    if (!lines.empty())
        write_lines(catalogue_path, "ab", std::string(), lines);
}

} // namespace music
