// The few things the batch program and the engine ask of the operating system beyond standard
// C++: paths as UTF-8, the local time, the program's own file, the console and stop requests.
#pragma once

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvora {

// Paths are UTF-8 texts throughout the program; these convert to and from the standard
// library's paths (UTF-16 on Windows, the bytes themselves elsewhere).
inline std::filesystem::path pathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.generic_u8string(); // '/' between folders
#else
    const std::u8string text = path.u8string();
#endif
    return std::string(text.begin(), text.end());
}

// The path with '/' between folders: Windows takes either separator, the program splits paths
// at '/' only. Unchanged elsewhere.
inline std::string genericPath(std::string utf8) {
#ifdef _WIN32
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
#endif
    return utf8;
}

// The broken-down local time of t.
std::tm localTime(std::time_t t);

// The full path of the running program, with '/' between folders; empty when unknown.
std::string programFile();

// Whether the folder exists and new files can be made in it.
bool writableFolder(const std::string& path);

// The program's arguments as UTF-8 (on Windows argv holds them in the ANSI code page, which
// cannot hold every character).
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Whether standard error is a terminal (a console window on Windows), and makes it show UTF-8.
bool standardErrorIsTerminal();

// Calls stop (from another thread on Windows, from a signal handler elsewhere) on the first
// Ctrl-C, and on the stop that service managers and closed terminals send; a second one ends
// the program at once. Writes to a pipe whose reader has gone fail instead of ending the
// program.
void onStopRequest(void (*stop)());

} // namespace kelvora
