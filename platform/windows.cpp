#include "platform/windows.h"

#include <cstdio>
#include <windows.h>

namespace kelvora::windows {

std::wstring widen(std::string_view utf8) {
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(
        static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
        L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(),
                          static_cast<int>(wide.size()));
    return wide;
}

std::string narrow(std::wstring_view utf16) {
    const int size = static_cast<int>(utf16.size());
    std::string utf8(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size,
                                                                    nullptr, 0, nullptr, nullptr)),
                     '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, utf8.data(),
                          static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8;
}

std::string systemMessage(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = length > 0 ? narrow({text, length}) : std::string();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "system error 0x%08lX", code);
        message = number;
    }
    return message;
}

} // namespace kelvora::windows
