// The 8-bit code pages of drawings: their DXF names and their conversion to UTF-8 through
// iconv (on Windows through the system's own code page conversion).
#pragma once

#include <array>
#include <cstdint>
#ifndef _WIN32
#include <iconv.h>
#endif
#include <string>
#include <string_view>

namespace kelvora {

// One open conversion from a code page, named as iconv names it, to UTF-8; closed when
// destroyed. Not thread-safe: one conversion at a time.
class Iconv {
public:
    Iconv() = default; // closed
    // Closed when iconv does not know the code page.
    explicit Iconv(const char* codePage);
    Iconv(Iconv&& other) noexcept;
    Iconv& operator=(Iconv&& other) noexcept;
    ~Iconv();

#ifdef _WIN32
    bool isOpen() const {
        return codePage_ != 0;
    }
#else
    bool isOpen() const {
        return cd_ != nullptr;
    }
#endif
    // Appends the UTF-8 of bytes to out. A byte that starts no character of the code page is
    // taken as Windows-1252, so nothing is lost; false when that happened.
    bool appendUtf8(std::string_view bytes, std::string& out) const;

private:
#ifdef _WIN32
    unsigned codePage_ = 0; // the Windows code page number
#else
    iconv_t cd_ = nullptr;
#endif
};

// The code page a drawing's $DWGCODEPAGE names. Code pages of single bytes are turned into a
// table once; those with double-byte characters keep their iconv conversion.
class CodePage {
public:
    CodePage(); // Windows-1252
    // Windows-1252 for a name not known.
    explicit CodePage(std::string_view dxfName);

    // The iconv name: "CP1251", "ISO-8859-5", "MACINTOSH".
    std::string_view name() const { return name_; }
    // True for a code page whose characters may take two bytes (932, 936, 949, 950, 1361).
    bool doubleByte() const { return doubleByte_.isOpen(); }
    // Whether byte b starts a two-byte character in a double-byte code page.
    bool leadByte(unsigned char b) const {
        if (name_ == "CP932") {
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        }
        return b >= 0x81 && b <= 0xFE;
    }
    // Appends the UTF-8 of bytes to out; ASCII stays ASCII and a byte that starts no character
    // is taken as Windows-1252.
    void appendUtf8(std::string_view bytes, std::string& out) const;

private:
    struct HighByte {
        std::array<char, 4> utf8;
        std::uint8_t size;
    };

    static void setHigh(std::array<HighByte, 128>& table, unsigned byte, std::string_view utf8);

    std::string name_ = "CP1252";
    std::array<HighByte, 128> high_; // bytes 0x80..0xFF of a code page of single bytes
    Iconv doubleByte_;               // open for a code page with double-byte characters
    // What iconv makes of the byte 0x5C when that is not the backslash (glibc's Johab gives
    // the won sign; Windows and the escapes of drawings read a backslash).
    std::string backslashAs_;
};

} // namespace kelvora
