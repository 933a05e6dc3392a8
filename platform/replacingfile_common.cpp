// What the POSIX and the Windows ReplacingFile share.
#include "platform/replacingfile.h"

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

bool ReplacingFile::fail(int code, std::string& error) {
    error = std::strerror(code);
    abandon();
    return false;
}

} // namespace kelvora
