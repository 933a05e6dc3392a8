#include "platform/system.h"

#include "platform/windows.h"

#include <algorithm>
#include <atomic>
#include <io.h>
#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs

namespace kelvora {

namespace {

void (*stopCall)() = nullptr;
std::atomic<bool> stopAsked = false;

// Runs on a thread of its own. The first Ctrl-C, Ctrl-Break or closed console window asks the
// run to stop; the next one gets the default, which ends the program.
BOOL WINAPI onConsoleEvent(DWORD) {
    if (stopAsked.exchange(true)) {
        return FALSE;
    }
    stopCall();
    return TRUE;
}

} // namespace

std::tm localTime(std::time_t t) {
    std::tm local{};
    localtime_s(&local, &t);
    return local;
}

std::string programFile() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return windows::narrow(path);
}

bool writableFolder(const std::string& path) {
    // A folder's read-only attribute does not keep files from being made in it.
    const DWORD attributes = ::GetFileAttributesW(windows::widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> utf8Arguments(int, char**) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(windows::narrow(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

bool standardErrorIsTerminal() {
    if (_isatty(2) == 0) {
        return false;
    }
    // UTF-8 texts, and the escape that clears the rest of the progress line.
    ::SetConsoleOutputCP(CP_UTF8);
    HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(console, &mode)) {
        ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    return true;
}

void onStopRequest(void (*stop)()) {
    stopCall = stop;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

} // namespace kelvora
