// Configuration files (.kvx): the serialised rule set, which is also the run snapshot and the
// reference for change detection; the last-configuration file and the program's folders.
#pragma once

#include "engine/rules.h"
#include "engine/textfile.h"

#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// The rule set as configuration text: N, the titles, M, then per block rule its pattern,
// attribute count, layer, space and (name pattern, column) pairs; every line ends in CR LF.
std::string getconf(const RuleSet& rules);

struct LoadedConfiguration {
    std::optional<RuleSet> rules; // set on success
    std::string error;            // otherwise: a message naming the file and the line
};
// Parses configuration text; name is used in error messages.
LoadedConfiguration parseConfiguration(std::string_view text, const std::string& name);
// Reads a configuration file.
LoadedConfiguration loadconf(const std::string& path);

// True when either serialisation is absent or both hold the same bytes.
bool sameConfiguration(const std::optional<std::string>& a, const std::optional<std::string>& b);

// Saves a configuration file (getconf of the rules) through saveTextFileAtomically.
bool saveConfiguration(const std::string& path, const RuleSet& rules, std::string& error);

// Folders and files of the program. A program run where it was built (or unpacked) keeps
// everything beside itself. One installed under a prefix (the program in PREFIX/bin, its files
// in PREFIX/share/kelvora) cannot write there: it reads the files it comes with from
// PREFIX/share/kelvora and keeps the user's files in the user folder, DATA/kelvora, DATA being
// $XDG_DATA_HOME or else $HOME/.local/share.
struct ProgramPaths {
    std::string programFolder;         // the files it comes with (samples, help); ends in "/"
    std::string configurationsFolder;  // user folder + "configurations"
    std::string lastConfigurationFile; // user folder + "kelvora.ini"
    std::string reportFile;            // user folder + "KelvoraLog.txt"
    std::string helpFile;              // program folder + "help_kelvora.html"

    // Everything beside the program: the user folder is the program folder.
    static ProgramPaths forFolder(std::string programFolder);
    // The paths of a program in programFolder, with the user's environment variables (null when
    // unset). Installed, the user folder is made at its first use and given the configurations
    // and "kelvora.ini" that come with the program.
    static ProgramPaths forProgram(const std::string& programFolder, const char* xdgDataHome,
                                   const char* home);
    // The paths of the running program (/proc/self/exe).
    static ProgramPaths current();
};

// The first line of "kelvora.ini", or nothing when the file is missing or its line is empty.
std::optional<std::string> readLastConfiguration(const ProgramPaths& paths);
// Writes the configuration's file name (without folder) into "kelvora.ini".
bool rememberLastConfiguration(const ProgramPaths& paths, const std::string& fileName,
                               std::string& error);

// The configuration to use at start: the one named in "kelvora.ini", looked up in the
// configurations folder.
struct StartupConfiguration {
    std::optional<RuleSet> rules; // set when it was loaded
    std::string fileName;         // its name as shown, or "None"
    std::string message;          // information for the user when nothing was loaded
};
StartupConfiguration loadStartupConfiguration(const ProgramPaths& paths);

} // namespace kelvora
