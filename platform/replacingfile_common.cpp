// What the POSIX and the Windows ReplacingFile share.
#include "platform/replacingfile.h"

#include <cerrno>
#include <cstring>

namespace kelvora {

ReplacingFile::~ReplacingFile() {
    abandon();
}

bool ReplacingFile::takeTarget(const std::string& target, std::string& error) {
    abandon();
    target_ = target;
    error = unfitTarget(target);
    return error.empty();
}

bool ReplacingFile::commit(std::string& error) {
    if (fd_ < 0) {
        return fail(EBADF, error);
    }
    if (!syncAndClose(error)) {
        return false;
    }
    // Whatever was planted at the target since open is not written through: a folder or
    // device there is refused.
    if (error = unfitTarget(target_); !error.empty()) {
        abandon();
        return false;
    }
    if (!moveOverTarget(error)) {
        return false;
    }
    temporary_.clear();
    return true;
}

bool ReplacingFile::fail(int code, std::string& error) {
    error = std::strerror(code);
    abandon();
    return false;
}

} // namespace kelvora
