// Reading block inserts from the text form of DXF drawings: a line reader, the file scan
// and the two insert readers (one for runs, one for the template import).
#pragma once

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvora {

// Reads one file as 8-bit text, line by line, through a 1 MiB buffer. A line ends at a line
// feed; a carriage return before it is dropped, and so is a carriage return anywhere else
// (the line goes on). A Ctrl-Z byte ends the file. After the end every read yields an empty
// line. Memory is bounded by the longest line.
class DxfLineReader {
public:
    DxfLineReader() = default;
    ~DxfLineReader();
    DxfLineReader(const DxfLineReader&) = delete;
    DxfLineReader& operator=(const DxfLineReader&) = delete;

    // Opens the file for reading only; false (and errorMessage()) when it cannot be opened.
    bool open(const std::string& path);
    // Reads from memory instead of a file (the bytes must outlive the reader).
    void openMemory(std::string_view bytes);
    void close();
    const std::string& errorMessage() const { return error_; }

    // The next line; the view stays valid until the next read. A line that has to be put
    // together may be cut to its first `keep` bytes: a caller that only compares lines with
    // short texts keeps memory small on a file of one huge line.
    std::string_view readLine(std::size_t keep = std::string::npos) {
        if (plainLineEnds_ && data_ < end_) {
            // Every carriage return of the block stands before a line feed.
            const auto* lf = findLineFeed();
            if (lf != nullptr) {
                std::string_view line(data_, static_cast<std::size_t>(lf - data_));
                if (!line.empty() && line.back() == '\r') {
                    line.remove_suffix(1);
                }
                data_ = lf + 1;
                return line;
            }
        }
        return readLineSlowly(keep);
    }
    // A group-code line and a value line, both trimmed of bytes of code 32 or less. The value
    // stays valid until the next read, the code until the next call of any member.
    struct Pair {
        std::string_view code;
        std::string_view value;
    };
    Pair readPair();
    bool atEnd() { return data_ >= end_ && !fill(); }

    // Bytes fetched from the file so far and the file's size, for progress displays.
    long long position() const { return fetched_; }
    long long size() const { return size_; }

private:
    bool fill();
    // The next line feed in the block, or null. DXF lines are mostly short: the line feeds of
    // sixteen bytes are found at once and handed out one by one, which saves a library call
    // and a load on every line.
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
    std::string_view readLineSlowly(std::size_t keep);

    std::FILE* file_ = nullptr;
    std::string error_;
    std::vector<char> buffers_[2];
    int current_ = 0;
    const char* data_ = nullptr; // unread bytes [data_, end_)
    const char* end_ = nullptr;
    // Line feeds found ahead: bit i stands for chunk_[i]; the lowest is the next one after
    // data_. Cleared whenever data_ moves by other means than the fast path.
    const char* chunk_ = nullptr;
    unsigned lineFeeds_ = 0;
    bool sawCtrlZ_ = false;
    bool plainLineEnds_ = false; // the block holds carriage returns only before line feeds
    bool memory_ = false;
    long long fetched_ = 0;
    long long size_ = 0;
    std::string line_;      // a line that spans buffers or holds stray carriage returns
    std::string codeStore_; // keeps a pair's code line while its value line is read
};

// Reads single lines up to the line "ENTITIES"; then calls onInsert after every line
// "INSERT" (onInsert goes on reading from the next line) until the end of the file.
// beforeLine runs before every line read in both phases and stops the scan by returning false.
// Returns false when the scan was stopped that way. A template, so that a run's per-line work
// is compiled into the loop.
template <class OnInsert, class BeforeLine>
bool scanForInserts(DxfLineReader& reader, OnInsert&& onInsert, BeforeLine&& beforeLine) {
    constexpr std::size_t keep = 16; // longer than "ENTITIES" and "INSERT"
    for (;;) {
        if (!beforeLine()) {
            return false;
        }
        if (reader.readLine(keep) == "ENTITIES") {
            break;
        }
        if (reader.atEnd()) {
            return true;
        }
    }
    do {
        if (!beforeLine()) {
            return false;
        }
        if (reader.readLine(keep) == "INSERT") {
            onInsert();
        }
    } while (!reader.atEnd());
    return true;
}

template <class OnInsert> bool scanForInserts(DxfLineReader& reader, OnInsert&& onInsert) {
    return scanForInserts(reader, onInsert, [] { return true; });
}

// What the header of an insert holds when its block name is reached.
struct InsertHeader {
    std::string blockName;
    std::string layer;
    std::string space = "Model Space";
    bool hasAttributes = false;
};

// The block name followed by every attribute tag, as read; hasAttributes from group 66.
struct TemplateInsert {
    std::vector<std::string> names;
    bool hasAttributes = false;
};

// Reads an insert for the template import, called right after the line "INSERT". Nothing when
// the file ends before the block name.
std::optional<TemplateInsert> readTemplateInsert(DxfLineReader& reader);

// Upper-cases ASCII letters only; every other byte stays as it is.
std::string asciiUpper(std::string_view text);
// Removes leading and trailing bytes of code 32 or less.
inline std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace kelvora
