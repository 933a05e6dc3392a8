// Reading DXF drawings as group-code/value pairs, in their text and their binary form.
#pragma once

#include "platform/inputfile.h"
#include "text/ascii.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvora {

// What the first bytes of a file say it is.
enum class DxfForm {
    Text,   // lines of group codes and values (anything that is not recognisably binary)
    Binary, // starts with the binary DXF sentinel
    Dwg,    // a DWG drawing: "AC10" or "AC1." followed by binary bytes
    Other,  // binary bytes of another kind: an archive, a PDF, an image...
};

// Yields the (group code, value) pairs of one drawing through one buffer, reused from file to
// file. Text form: a line ends at a line feed; carriage returns are dropped wherever they stand;
// a Ctrl-Z byte ends the file; codes and values lose leading and trailing bytes of code 32 or
// less. Binary form: codes of one byte (before R13; 255 introduces a two-byte code) or two bytes,
// values typed by the code's range; numbers are handed out as the text form writes them.
//
// A value is only read when asked for: values that nobody looks at are skipped without being
// kept, so memory is bounded by the longest value asked for, whatever the file's size.
class DxfPairReader {
public:
    DxfPairReader() = default;
    DxfPairReader(const DxfPairReader&) = delete;
    DxfPairReader& operator=(const DxfPairReader&) = delete;
    ~DxfPairReader();

    // Opens a regular file for reading only, without blocking; false (and errorMessage()) when it
    // cannot be opened. The form is known from then on.
    bool open(const std::string& path);
    // Reads from memory instead of a file (the bytes must outlive the reader).
    void openMemory(std::string_view bytes);
    void close();
    const std::string& errorMessage() const { return error_; }
    DxfForm form() const { return form_; }
    // Whether the file was cut, grown or rewritten since it was opened: its size or time of
    // change differs, or its end came before the size it had. Asked before close().
    bool changedWhileRead() const;

    // Moves to the next pair; false at the end of the file. The value of the pair before is
    // skipped unless value() was asked for.
    bool next() {
        if (!valueTaken_) {
            if (const char* lf = form_ == DxfForm::Binary ? nullptr : findLineFeed()) {
                data_ = lf + 1; // the value line lies in the buffer
            } else {
                skipValue();
            }
        }
        valueTaken_ = false;
        code_ = form_ == DxfForm::Binary ? readBinaryCode() : nextTextCode();
        return code_ != kNoCode;
    }
    // The current pair's group code; a code line that is no integer gives kBadCode.
    int code() const { return code_; }
    // The current pair's value, trimmed. It stays valid until the next call of next().
    std::string_view value() { return trimBlanks(untrimmedValue()); }
    // The value with its blanks: pieces of a long text that are joined (MTEXT) keep the blanks
    // at their borders. Carriage returns are dropped all the same.
    std::string_view untrimmedValue() {
        if (!valueTaken_) {
            valueTaken_ = true;
            value_ = form_ == DxfForm::Binary ? readBinaryValue() : readTextValue();
        }
        return value_;
    }

    // Bytes fetched from the file so far and the file's size, for progress displays.
    long long position() const { return fetched_; }
    long long size() const { return size_; }

    static constexpr int kNoCode = -1000000;
    // Longer code lines are no group codes; they are skipped without being kept.
    static constexpr std::ptrdiff_t kLongestCodeLine = 64;
    static constexpr int kBadCode = -1000001;

private:
    // Text form. The common case, a code line whole in the buffer holding digits between
    // blanks, is handled here; everything else by the functions behind it.
    int nextTextCode() {
        const char* lf = findLineFeed();
        if (lf == nullptr) {
            return readTextCode();
        }
        const char* begin = data_;
        data_ = lf + 1;
        const char* p = begin;
        while (p < lf && static_cast<unsigned char>(*p) <= 32) {
            ++p;
        }
        const char* digits = p;
        int code = 0;
        while (p < lf && *p >= '0' && *p <= '9' && p - digits < 9) {
            code = code * 10 + (*p++ - '0');
        }
        const bool number = p > digits;
        while (p < lf && static_cast<unsigned char>(*p) <= 32 && *p != '\r') {
            ++p;
        }
        if (number && lf - begin <= kLongestCodeLine && (p == lf || (*p == '\r' && p + 1 == lf))) {
            return code;
        }
        return codeOfLine(begin, lf);
    }
    int readTextCode();
    int codeOfLine(const char* begin, const char* end);
    std::string_view readTextValue();
    // The next line feed at or after data_, or null when the buffer holds none. DXF lines are
    // mostly short: the line feeds of sixteen bytes are found at once and handed out one by one,
    // which saves a library call and a load on most lines.
    const char* findLineFeed() {
#if defined(__SSE2__)
        if (lineFeeds_ == 0 && end_ - data_ >= 16) {
            chunk_ = data_;
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_));
            lineFeeds_ = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
        }
        if (lineFeeds_ != 0) {
            const char* lf = chunk_ + __builtin_ctz(lineFeeds_);
            lineFeeds_ &= lineFeeds_ - 1;
            return lf;
        }
#endif
        return static_cast<const char*>(
            std::memchr(data_, '\n', static_cast<std::size_t>(end_ - data_)));
    }
    // The line at data_, whole in the buffer (refilling as needed); data_ then stands after its
    // line feed. A line longer than `longest` is skipped without being kept.
    enum class Line { Whole, TooLong, None };
    Line takeLine(const char*& begin, const char*& end, std::size_t longest);

    // Binary form.
    int readBinaryCode();
    std::string_view readBinaryValue();
    void skipBinaryValue();
    // At least n unread bytes in the buffer, unless the file ends first.
    bool ensure(std::size_t n);

    void skipValue();
    void startForm();
    // Moves the unread bytes to the front of the buffer, grows it when it is full, and appends
    // what the file gives. False when nothing more could be read.
    bool refill();
    void dropCarriageReturns(const char* begin, const char* end);

    InputFile file_;
    bool memory_ = false;
    std::string error_;
    DxfForm form_ = DxfForm::Text;
    bool wideCodes_ = true; // binary: two-byte group codes (R13 on)
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    const char* data_ = nullptr; // unread bytes [data_, end_)
    const char* end_ = nullptr;
    bool eof_ = false; // nothing more comes from the file (its end or a Ctrl-Z)
    // Line feeds found ahead: bit i stands for chunk_[i]. Cleared whenever the buffer moves.
    const char* chunk_ = nullptr;
    unsigned lineFeeds_ = 0;
    int code_ = kNoCode;
    bool valueTaken_ = true;
    std::string_view value_;
    std::string store_; // a value that had to be put together: numbers, carriage returns
    long long fetched_ = 0;
    long long size_ = 0;
    bool endReached_ = false; // a read found the end of the file
};
} // namespace kelvora
