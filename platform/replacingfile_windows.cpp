// The replacing file on Windows: the C runtime's descriptors on a wide-character path, and
// MoveFileExW to put the finished file in place.
#include "platform/replacingfile.h"

#include "platform/system.h"
#include "platform/windows.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

namespace kelvora {

namespace {

// Writes all bytes to the open descriptor; false with the reason.
bool writeAll(int fd, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = ::_write(fd, bytes.data(), chunk);
        if (n <= 0) {
            error = std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

std::string unfitTarget(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::symlink_status(pathFromUtf8(path), error);
    if (std::filesystem::is_symlink(status)) {
        return "it is a symbolic link";
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return "it is not a regular file";
    }
    return {};
}

bool isStreamFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(pathFromUtf8(path), error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

bool writeToStreamFile(const std::string& path, std::string_view bytes, std::string& error) {
    int fd = -1;
    if (const int code = ::_wsopen_s(&fd, windows::widen(path).c_str(),
                                     _O_WRONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0);
        code != 0) {
        error = std::strerror(code);
        return false;
    }
    bool written = writeAll(fd, bytes, error);
    if (::_close(fd) != 0 && written) {
        error = std::strerror(errno);
        written = false;
    }
    return written;
}

bool ReplacingFile::open(const std::string& target, std::string& error) {
    if (!takeTarget(target, error)) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(windows::widen(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return fail(EACCES, error);
    }
    // A short name of its own beside the target: the process id and a counter, tried until
    // one is free.
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    static unsigned counter = 0;
    int code = EEXIST;
    for (int tries = 0; tries < 100 && code == EEXIST; ++tries) {
        temporary_ = folder + ".kelvora-" + std::to_string(::GetCurrentProcessId()) + "-" +
                     std::to_string(++counter);
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
    if (!writeAll(fd_, bytes, error)) {
        abandon();
        return false;
    }
    return true;
}

bool ReplacingFile::syncAndClose(std::string& error) {
    if (::_commit(fd_) != 0) {
        return fail(errno, error);
    }
    const int closed = ::_close(fd_);
    fd_ = -1;
    return closed == 0 || fail(errno, error);
}

bool ReplacingFile::moveOverTarget(std::string& error) {
    if (!::MoveFileExW(windows::widen(temporary_).c_str(), windows::widen(target_).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = windows::systemMessage(::GetLastError());
        abandon();
        return false;
    }
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
