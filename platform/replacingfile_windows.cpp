// The replacing file on Windows: the C runtime's descriptors on a wide-character path, and
// MoveFileExW to put the finished file in place.
#include "platform/replacingfile.h"

#include "platform/windows.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

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
    const DWORD attributes = ::GetFileAttributesW(windows::widen(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return fail(EACCES, error);
    }
    // A name nobody else uses: the process id and a counter, tried until one is free.
    static unsigned counter = 0;
    int code = EEXIST;
    for (int tries = 0; tries < 100 && code == EEXIST; ++tries) {
        temporary_ = target + "." + std::to_string(::GetCurrentProcessId()) + "-" +
                     std::to_string(++counter) + ".tmp";
        code = ::_wsopen_s(&fd_, windows::widen(temporary_).c_str(),
                           _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                           _S_IREAD | _S_IWRITE);
    }
    if (code != 0) {
        fd_ = -1;
        temporary_.clear();
        return fail(code, error);
    }
    return true;
}

bool ReplacingFile::write(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = ::_write(fd_, bytes.data(), chunk);
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
    if (::_commit(fd_) != 0) {
        return fail(errno, error);
    }
    const int closed = ::_close(fd_);
    fd_ = -1;
    if (closed != 0) {
        return fail(errno, error);
    }
    if (!::MoveFileExW(windows::widen(temporary_).c_str(), windows::widen(target_).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = windows::systemMessage(::GetLastError());
        abandon();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::abandon() {
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::DeleteFileW(windows::widen(temporary_).c_str());
        temporary_.clear();
    }
}

} // namespace kelvora
