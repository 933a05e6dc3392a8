// Texts of drawings as outside data: decode and decodeMtext under several headers, and the
// rules for texts without a code page, always give valid UTF-8.
#include "text/drawingtext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace kelvora;

// One decoder per header, kept from one input to the next as a run keeps one per drawing.
std::vector<DrawingText> decoders() {
    static const char* const kHeaders[][2] = {{"AC1015", "ANSI_1251"}, {"AC1015", "ANSI_932"},
                                              {"AC1018", "ANSI_950"},  {"AC1015", "ANSI_1361"},
                                              {"AC1009", "DOS850"},    {"AC1024", "ANSI_1253"},
                                              {"AC1015", "ANSI_1255"}, {"AC1015", "nonsense"}};
    std::vector<DrawingText> list(1); // the first without a header
    for (const auto& [acadver, codepage] : kHeaders) {
        list.emplace_back().setHeader(acadver, codepage);
    }
    return list;
}

void requireUtf8(std::string_view text) {
    if (!isValidUtf8(text)) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    static const std::vector<DrawingText> texts = decoders();
    static std::string out;
    for (const DrawingText& text : texts) {
        text.decode(raw, out);
        requireUtf8(out);
        requireUtf8(text.decodeMtext(raw));
    }
    const std::string ansi = utf8FromAnsi(raw);
    requireUtf8(ansi);
    // Valid UTF-8 is kept as it is, and stays valid without its MTEXT formatting.
    if (isValidUtf8(raw)) {
        if (ansi != raw) {
            __builtin_trap();
        }
        requireUtf8(plainMtextAsRead(raw));
    }
    std::u16string wide;
    utf16FromAnsi(raw, wide);
    if (wide.size() > raw.size()) {
        __builtin_trap();
    }
    return 0;
}
