#include "engine/textfile.h"

#include "platform/replacingfile.h"
#include "platform/system.h"

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
    const std::filesystem::path asGiven = pathFromUtf8(path);
    const bool link = std::filesystem::is_symlink(std::filesystem::symlink_status(asGiven, failed));
    failed.clear(); // a report that does not exist yet is no link
    const std::filesystem::path target =
        link ? std::filesystem::canonical(asGiven, failed) : asGiven;
    if (failed) {
        error = "Cannot write '" + path + "': " + failed.message();
        return false;
    }
    return saveTextFileAtomically(link ? utf8FromPath(target) : path, text, error);
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
