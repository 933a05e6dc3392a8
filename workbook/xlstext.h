// 8-bit texts handed to the workbook become UTF-16: UTF-8 when the bytes are valid UTF-8,
// else Windows-1252 (older drawings use the Windows code page, newer ones UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace kelvora {

std::u16string DecodeAnsiText(std::string_view text);
// The same into out, reusing its storage.
void DecodeAnsiText(std::string_view text, std::u16string& out);

} // namespace kelvora
