#include "engine/textfile.h"

#include "platform/replacingfile.h"

#include <filesystem>

namespace kelvora {

bool saveTextFileAtomically(const std::string& path, std::string_view text, std::string& error) {
    ReplacingFile file;
    if (file.open(path, error) && file.write(text, error) && file.commit(error)) {
        return true;
    }
    error = "Cannot write '" + path + "': " + error;
    return false;
}

bool saveReportFile(const std::string& path, std::string_view text, std::string& error) {
    if (isStreamFile(path)) {
        if (writeToStreamFile(path, text, error)) {
            return true;
        }
        error = "Cannot write '" + path + "': " + error;
        return false;
    }
    std::error_code failed;
    const bool link = std::filesystem::is_symlink(std::filesystem::symlink_status(path, failed));
    failed.clear(); // a report that does not exist yet is no link
    const std::filesystem::path target =
        link ? std::filesystem::canonical(path, failed) : std::filesystem::path(path);
    if (failed) {
        error = "Cannot write '" + path + "': " + failed.message();
        return false;
    }
    return saveTextFileAtomically(target.string(), text, error);
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace kelvora
