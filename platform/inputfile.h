// A regular file open for reading, through the operating system's own calls: the drawings are
// read in large blocks, and only regular files are read (a device or a pipe could deliver bytes
// without end, or none).
#pragma once

#include <cstddef>
#include <string>

namespace kelvora {

class InputFile {
public:
    InputFile() = default;
    ~InputFile(); // closes
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens the file at path (UTF-8) without waiting for a writer; false with the reason when it
    // cannot be opened or is not a regular file ("it is a folder").
    bool open(const std::string& path, std::string& error);
    bool isOpen() const;
    // The size when opened.
    long long size() const { return size_; }
    // Whether the file's size or time of change differs from when it was opened (or it can no
    // longer be asked).
    bool changedSinceOpened() const;
    // Reads up to count bytes into buffer: the number read, 0 at the end of the file, or -1 with
    // the reason.
    long long read(char* buffer, std::size_t count, std::string& error);
    void close();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    long long size_ = 0;
    long long changedAt_ = 0; // the time of change when opened, in the system's units
};

} // namespace kelvora
