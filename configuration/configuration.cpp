#include "configuration/configuration.h"

#include "platform/filepaths.h"
#include "platform/system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace kelvora {

std::string getconf(const RuleSet& rules) {
    std::vector<std::string> lines;
    lines.push_back(std::to_string(rules.columns.size()));
    lines.insert(lines.end(), rules.columns.begin(), rules.columns.end());
    lines.push_back(std::to_string(rules.blockRules.size()));
    for (const BlockRule& rule : rules.blockRules) {
        lines.push_back(rule.blockPattern);
        lines.push_back(std::to_string(rule.attributes.size()));
        lines.push_back(rule.layerPattern);
        lines.push_back(rule.space);
        for (const AttributeRule& attribute : rule.attributes) {
            lines.push_back(attribute.namePattern);
            lines.push_back(attribute.column);
        }
    }
    return joinLines(lines);
}

namespace {

// Hands out the lines of a configuration text one by one; a carriage return with a line feed,
// a line feed alone or a carriage return alone ends a line.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : rest_(text) {}

    bool next(std::string_view& line) {
        if (rest_.empty()) {
            return false;
        }
        const std::size_t end = rest_.find_first_of("\r\n");
        line = rest_.substr(0, end);
        if (end == std::string_view::npos) {
            rest_ = {};
        } else {
            const bool crlf =
                rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
            rest_.remove_prefix(end + (crlf ? 2 : 1));
        }
        ++number_;
        return true;
    }
    int number() const { return number_; }

private:
    std::string_view rest_;
    int number_ = 0;
};

struct FormatError {
    std::string message;
};

class ConfigurationParser {
public:
    ConfigurationParser(std::string_view text, const std::string& name)
        : lines_(text), name_(name) {}

    RuleSet parse() {
        RuleSet rules;
        const int columns = count("the number of column titles");
        for (int i = 0; i < columns; ++i) {
            rules.columns.push_back(text("a column title"));
        }
        const int blocks = count("the number of block rules");
        for (int b = 0; b < blocks; ++b) {
            BlockRule rule;
            rule.blockPattern = text("a block pattern");
            const int attributes = count("the number of attribute rules");
            rule.layerPattern = text("a layer pattern");
            rule.space = text("a space");
            for (int a = 0; a < attributes; ++a) {
                AttributeRule attribute;
                attribute.namePattern = text("an attribute name pattern");
                attribute.column = text("an attribute column");
                rule.attributes.push_back(std::move(attribute));
            }
            rules.blockRules.push_back(std::move(rule));
        }
        return rules;
    }

private:
    std::string where(int line) const {
        return "Configuration file '" + name_ + "', line " + std::to_string(line) + ": ";
    }

    std::string_view line(const char* expected) {
        std::string_view result;
        if (!lines_.next(result)) {
            throw FormatError{where(lines_.number() + 1) + "the file ends where " + expected +
                              " was expected"};
        }
        return result;
    }

    std::string text(const char* expected) { return std::string(line(expected)); }

    int count(const char* expected) {
        const std::string_view value = line(expected);
        const std::optional<int> number = parseColumnNumber(value);
        if (!number || *number < 0) {
            throw FormatError{where(lines_.number()) + "'" + std::string(value) +
                              "' is not a valid count (" + expected + ")"};
        }
        return *number;
    }

    LineCursor lines_;
    const std::string& name_;
};

} // namespace

LoadedConfiguration parseConfiguration(std::string_view text, const std::string& name) {
    // Editors on Windows put a UTF-8 byte-order mark before the first line.
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    try {
        return {ConfigurationParser(text, name).parse(), {}};
    } catch (const FormatError& error) {
        return {std::nullopt, error.message};
    }
}

LoadedConfiguration loadconf(const std::string& path) {
    std::error_code statusError;
    const auto status = std::filesystem::status(pathFromUtf8(path), statusError);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return {std::nullopt, "Configuration file '" + path + "' cannot be read: it is not a file"};
    }
    std::ifstream file(pathFromUtf8(path), std::ios::binary);
    if (!file) {
        return {std::nullopt,
                "Configuration file '" + path + "' cannot be read: " + std::strerror(errno)};
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        return {std::nullopt, "Configuration file '" + path + "' cannot be read."};
    }
    return parseConfiguration(content.str(), path);
}

bool sameConfiguration(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return !a || !b || *a == *b;
}

bool saveConfiguration(const std::string& path, const RuleSet& rules, std::string& error) {
    return saveTextFileAtomically(path, getconf(rules), error);
}

ProgramPaths ProgramPaths::forFolder(std::string programFolder) {
    programFolder = withSeparator(std::move(programFolder));
    ProgramPaths paths;
    paths.programFolder = programFolder;
    paths.configurationsFolder = programFolder + "configurations";
    paths.lastConfigurationFile = programFolder + "kelvora.ini";
    paths.reportFile = programFolder + "KelvoraLog.txt";
    paths.helpFile = programFolder + "help_kelvora.html";
    return paths;
}

namespace {

// The user folder of an installed program. The XDG base directory rules ignore a relative
// $XDG_DATA_HOME; without $HOME the current folder stands for it.
std::string userFolder(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
        return withSeparator(xdgDataHome) + "kelvora/";
    }
    const std::string homeFolder = home != nullptr && home[0] != '\0' ? home : ".";
    return withSeparator(homeFolder) + ".local/share/kelvora/";
}

// Makes the user folder when it is missing and copies the configurations and "kelvora.ini"
// that come with the program into it, so that a first start has the sample configuration. A
// folder that cannot be made shows when its files are written, with their names.
void makeUserFolder(const ProgramPaths& paths, const std::string& shared) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path configurations = pathFromUtf8(paths.configurationsFolder);
    if (fs::exists(configurations, error) || !fs::create_directories(configurations, error)) {
        return;
    }
    for (const fs::directory_entry& entry :
         fs::directory_iterator(pathFromUtf8(shared + "configurations"), error)) {
        if (entry.path().extension() == ".kvx") {
            fs::copy_file(entry.path(), configurations / entry.path().filename(), error);
        }
    }
    fs::copy_file(pathFromUtf8(shared + "kelvora.ini"), pathFromUtf8(paths.lastConfigurationFile),
                  error);
}

} // namespace

ProgramPaths ProgramPaths::forProgram(const std::string& programFolder, const char* xdgDataHome,
                                      const char* home) {
    const std::string shared = withSeparator(programFolder) + "../share/kelvora/";
    std::error_code error;
    if (!std::filesystem::is_directory(pathFromUtf8(shared), error)) {
        return forFolder(programFolder);
    }
    const std::string user = userFolder(xdgDataHome, home);
    ProgramPaths paths = forFolder(user);
    paths.programFolder = utf8FromPath(pathFromUtf8(shared).lexically_normal());
    paths.helpFile = paths.programFolder + "help_kelvora.html";
    makeUserFolder(paths, paths.programFolder);
    return paths;
}

ProgramPaths ProgramPaths::current() {
    const std::string program = programFile();
    const std::size_t slash = program.rfind('/');
    return forProgram(slash == std::string::npos ? "./" : program.substr(0, slash + 1),
                      std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

std::optional<std::string> readLastConfiguration(const ProgramPaths& paths) {
    std::ifstream file(pathFromUtf8(paths.lastConfigurationFile), std::ios::binary);
    std::string line;
    if (!file || !std::getline(file, line)) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        return std::nullopt;
    }
    return line;
}

bool rememberLastConfiguration(const ProgramPaths& paths, const std::string& fileName,
                               std::string& error) {
    return saveTextFileAtomically(paths.lastConfigurationFile, fileName + "\r\n", error);
}

StartupConfiguration loadStartupConfiguration(const ProgramPaths& paths) {
    StartupConfiguration startup;
    startup.fileName = "None";
    const std::optional<std::string> name = readLastConfiguration(paths);
    if (!name) {
        return startup;
    }
    const std::string path = paths.configurationsFolder + "/" + *name;
    std::error_code error;
    if (!std::filesystem::exists(pathFromUtf8(path), error)) {
        startup.message =
            "Configuration file \"" + path + "\" not found, default values used instead";
        return startup;
    }
    LoadedConfiguration loaded = loadconf(path);
    if (!loaded.rules) {
        startup.message = loaded.error;
        return startup;
    }
    startup.rules = std::move(loaded.rules);
    startup.fileName = *name;
    return startup;
}

} // namespace kelvora
