// Paths as texts: "/" separates folders.
#pragma once

#include <string>
#include <string_view>

namespace kelvora {

// The file name of a path, without its folder.
inline std::string fileNameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The folder of a path, ending in "/"; empty for a file name without folder.
inline std::string folderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view()
                                                       : path.substr(0, slash + 1));
}

// The folder with a "/" appended unless it already ends in one.
inline std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

} // namespace kelvora
