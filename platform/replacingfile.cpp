#include "platform/replacingfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

ReplacingFile::~ReplacingFile() {
    abandon();
}

bool ReplacingFile::fail(int code, std::string& error) {
    error = std::strerror(code);
    abandon();
    return false;
}

bool ReplacingFile::open(const std::string& target, std::string& error) {
    abandon();
    target_ = target;
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        return fail(errno, error);
    }
    temporary_ = target + ".XXXXXX";
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
        const int code = errno;
        temporary_.clear();
        return fail(code, error);
    }
    // The new file takes the earlier one's permissions, or those a new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, exists ? (info.st_mode & 07777) : (0666 & ~mask));
    return true;
}

bool ReplacingFile::write(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail(n < 0 ? errno : EIO, error);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReplacingFile::commit(std::string& error) {
    if (fd_ < 0) {
        return fail(EBADF, error);
    }
    if (::fsync(fd_) != 0) {
        return fail(errno, error);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        return fail(errno, error);
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

} // namespace kelvora
