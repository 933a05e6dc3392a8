// A file that replaces its target only when it is complete: written under a temporary name
// beside the target and renamed over it on commit, so that a failed or abandoned write leaves
// an earlier file of that name as it was.
#pragma once

#include <string>
#include <string_view>

namespace kelvora {

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile(); // abandons an uncommitted file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file beside target. An existing target that is not writable is
    // refused. False with the reason on failure.
    bool open(const std::string& target, std::string& error);
    // The temporary file, for writers that open it by name themselves; empty before open.
    const std::string& temporaryPath() const { return temporary_; }
    // Appends bytes; false with the reason on failure.
    bool write(std::string_view bytes, std::string& error);
    // Makes the file durable and renames it over the target; false with the reason (the target
    // then stays as it was).
    bool commit(std::string& error);
    // Removes the temporary file; the target stays as it was.
    void abandon();

private:
    bool fail(int code, std::string& error);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

} // namespace kelvora
