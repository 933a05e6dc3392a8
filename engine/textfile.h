// Writing whole text files safely.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// Writes the text to a new file beside the target and renames it over the target only when
// complete, so a failed save leaves the earlier file as it was. An existing target that is
// not writable is refused. False with a message naming the path on failure.
bool saveTextFileAtomically(const std::string& path, std::string_view text, std::string& error);

// Saves the run report: as above, but a report path that names a device or a FIFO is written
// to as it is, and one that is a symbolic link replaces the file it leads to, not the link.
bool saveReportFile(const std::string& path, std::string_view text, std::string& error);

// The lines joined, each ending with a carriage return and a line feed.
std::string joinLines(const std::vector<std::string>& lines);

} // namespace kelvora
