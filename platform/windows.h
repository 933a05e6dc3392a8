// What the Windows build needs of the system besides the standard library: texts in the
// system's UTF-16 and its own messages. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace kelvora::windows {

// UTF-8 to UTF-16 (paths for the wide-character file functions), and back.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The system's text for an error code (GetLastError) or an HRESULT, without the line break it
// ends with.
std::string systemMessage(unsigned long code);

} // namespace kelvora::windows
