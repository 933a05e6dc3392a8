#include "engine/textfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

bool saveTextFileAtomically(const std::string& path, std::string_view text, std::string& error) {
    auto fail = [&](const char* what) {
        error = "Cannot write '" + path + "': " + what;
        return false;
    };
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && ::access(path.c_str(), W_OK) != 0) {
        return fail(std::strerror(errno));
    }
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return fail(std::strerror(errno));
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? (info.st_mode & 07777) : (0666 & ~mask));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int code = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(std::strerror(code));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fail(std::strerror(code));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fail(std::strerror(code));
    }
    return true;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace kelvora
