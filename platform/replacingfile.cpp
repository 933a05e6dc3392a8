#include "platform/replacingfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

std::string unfitTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return {};
    }
    if (S_ISLNK(info.st_mode)) {
        return "it is a symbolic link";
    }
    if (!S_ISREG(info.st_mode)) {
        return "it is not a regular file";
    }
    return {};
}

bool isStreamFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool writeToStreamFile(const std::string& path, std::string_view bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool written = true;
    while (written && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            error = std::strerror(n < 0 ? errno : EIO);
            written = false;
        }
    }
    if (::close(fd) != 0 && written) {
        error = std::strerror(errno);
        written = false;
    }
    return written;
}

bool ReplacingFile::open(const std::string& target, std::string& error) {
    if (!takeTarget(target, error)) {
        return false;
    }
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        return fail(errno, error);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = exists ? (info.st_mode & 07777) : (0666 & ~mask);
    // A short name of its own, so that a target whose name is as long as a name may be still
    // gets one; mkstemp creates it exclusively with mode 0600.
    const std::size_t slash = target.rfind('/');
    temporary_ = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                 ".kelvora-XXXXXX";
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
        const int code = errno;
        temporary_.clear();
        return fail(code, error);
    }
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

bool ReplacingFile::syncAndClose(std::string& error) {
    if (::fchmod(fd_, mode_) != 0 || ::fsync(fd_) != 0) {
        return fail(errno, error);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    return closed == 0 || fail(errno, error);
}

// rename replaces a link at the target itself, never what it leads to.
bool ReplacingFile::moveOverTarget(std::string& error) {
    return ::rename(temporary_.c_str(), target_.c_str()) == 0 || fail(errno, error);
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
