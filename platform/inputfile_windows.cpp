#include "platform/inputfile.h"

#include "platform/windows.h"

#include <algorithm>
#include <windows.h>

namespace kelvora {

namespace {

// The size and the time of the last write of an open file; false when it cannot be asked.
bool sizeAndChange(HANDLE handle, long long& size, long long& changedAt) {
    LARGE_INTEGER bytes{};
    FILETIME written{};
    if (!::GetFileSizeEx(handle, &bytes) || !::GetFileTime(handle, nullptr, nullptr, &written)) {
        return false;
    }
    size = bytes.QuadPart;
    changedAt = static_cast<long long>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    return true;
}

} // namespace

InputFile::~InputFile() {
    close();
}

bool InputFile::open(const std::string& path, std::string& error) {
    close();
    const std::wstring wide = windows::widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "it is a folder";
        return false;
    }
    // Others may go on reading, writing, renaming and deleting the drawing meanwhile, as on
    // POSIX systems.
    HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = windows::systemMessage(::GetLastError());
        return false;
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK || !sizeAndChange(handle, size_, changedAt_)) {
        error = "it is not a regular file";
        ::CloseHandle(handle);
        size_ = changedAt_ = 0;
        return false;
    }
    handle_ = handle;
    return true;
}

bool InputFile::isOpen() const {
    return handle_ != nullptr;
}

bool InputFile::changedSinceOpened() const {
    long long size = 0;
    long long changedAt = 0;
    return !sizeAndChange(static_cast<HANDLE>(handle_), size, changedAt) || size != size_ ||
           changedAt != changedAt_;
}

long long InputFile::read(char* buffer, std::size_t count, std::string& error) {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!::ReadFile(static_cast<HANDLE>(handle_), buffer, chunk, &got, nullptr)) {
        error = windows::systemMessage(::GetLastError());
        return -1;
    }
    return got;
}

void InputFile::close() {
    if (handle_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    size_ = changedAt_ = 0;
}

} // namespace kelvora
