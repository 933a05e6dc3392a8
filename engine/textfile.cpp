#include "engine/textfile.h"

#include "platform/replacingfile.h"

namespace kelvora {

bool saveTextFileAtomically(const std::string& path, std::string_view text, std::string& error) {
    ReplacingFile file;
    if (file.open(path, error) && file.write(text, error) && file.commit(error)) {
        return true;
    }
    error = "Cannot write '" + path + "': " + error;
    return false;
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
