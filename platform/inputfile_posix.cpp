#include "platform/inputfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

long long nanoseconds(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

} // namespace

InputFile::~InputFile() {
    close();
}

bool InputFile::open(const std::string& path, std::string& error) {
    close();
    // Without blocking, so that a pipe without a writer cannot hold the run.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<long long>(info.st_size);
    changedAt_ = nanoseconds(info.st_mtim);
    return true;
}

bool InputFile::isOpen() const {
    return fd_ >= 0;
}

bool InputFile::changedSinceOpened() const {
    struct stat info {};
    return ::fstat(fd_, &info) != 0 || static_cast<long long>(info.st_size) != size_ ||
           nanoseconds(info.st_mtim) != changedAt_;
}

long long InputFile::read(char* buffer, std::size_t count, std::string& error) {
    ssize_t got;
    do {
        got = ::read(fd_, buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        error = std::strerror(errno);
    }
    return got;
}

void InputFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = changedAt_ = 0;
}

} // namespace kelvora
