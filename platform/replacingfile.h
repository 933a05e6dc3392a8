// A file that replaces its target only when it is complete: written under a temporary name
// beside the target and renamed over it on commit, so that a failed or abandoned write leaves
// an earlier file of that name as it was.
#pragma once

#include <string>
#include <string_view>

namespace kelvora {

// Why nothing may be written at path: it is a symbolic link (which would lead the write
// elsewhere) or an existing file that is not a regular one (a device, a FIFO, a folder).
// Empty when path is free or a regular file.
std::string unfitTarget(const std::string& path);

// Whether path, links followed, names an existing file that is neither a regular file nor a
// folder: a device or a FIFO, which is written to as it is and never replaced.
bool isStreamFile(const std::string& path);
// Writes the bytes to such a file without creating, cutting or replacing it; false with the
// reason on failure.
bool writeToStreamFile(const std::string& path, std::string_view bytes, std::string& error);

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile(); // abandons an uncommitted file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file beside target, readable by its owner only until commit. A
    // target that is unfit (see unfitTarget) or an existing one that is not writable is
    // refused. False with the reason on failure.
    bool open(const std::string& target, std::string& error);
    // The temporary file, for writers that open it by name themselves; empty before open.
    const std::string& temporaryPath() const { return temporary_; }
    // Appends bytes; false with the reason on failure.
    bool write(std::string_view bytes, std::string& error);
    // Makes the file durable, gives it the earlier file's permissions (or those of a new
    // file) and renames it over the target; false with the reason (the target then stays as
    // it was).
    bool commit(std::string& error);
    // Removes the temporary file; the target stays as it was.
    void abandon();

private:
    // Forgets any earlier file and takes the target; false with the reason when it is unfit.
    bool takeTarget(const std::string& target, std::string& error);
    // The platform's part of commit: the bytes onto the disk and the file closed; then the
    // temporary file moved over the target.
    bool syncAndClose(std::string& error);
    bool moveOverTarget(std::string& error);
    bool fail(int code, std::string& error);

    std::string target_;
    std::string temporary_;
    unsigned mode_ = 0;
    int fd_ = -1;
};

} // namespace kelvora
