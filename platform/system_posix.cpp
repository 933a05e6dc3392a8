#include "platform/system.h"

#include <climits>
#include <csignal>
#include <unistd.h>

namespace kelvora {

namespace {

void (*stopCall)() = nullptr;

extern "C" void onStopSignal(int) {
    stopCall();
}

} // namespace

std::tm localTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

std::string programFile() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

bool writableFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error) && ::access(path.c_str(), W_OK) == 0;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool standardErrorIsTerminal() {
    return ::isatty(2) != 0;
}

void onStopRequest(void (*stop)()) {
    stopCall = stop;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace kelvora
