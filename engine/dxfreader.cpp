#include "engine/dxfreader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
constexpr char kCtrlZ = 26;

void appendWithoutCarriageReturns(std::string& out, std::string_view text) {
    for (;;) {
        const std::size_t cr = text.find('\r');
        out.append(text.substr(0, cr));
        if (cr == std::string_view::npos) {
            return;
        }
        text.remove_prefix(cr + 1);
    }
}

// True when a carriage return in the block is not directly followed by a line feed. One at the
// block's end does not count: the last line of a block always takes the slow way. Sixteen bytes at
// a time where the processor allows, as this runs over every byte read.
bool hasStrayCarriageReturn(const char* begin, const char* end) {
    const auto n = static_cast<std::size_t>(end - begin);
    bool stray = false;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    __m128i found = _mm_setzero_si128();
    for (; i + 17 <= n; i += 16) {
        // Byte j of the second load is the byte after byte j of the first.
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i + 1));
        found = _mm_or_si128(found,
                             _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(here, cr)));
    }
    stray = _mm_movemask_epi8(found) != 0;
#endif
    for (; i + 1 < n; ++i) {
        stray = stray || (begin[i] == '\r' && begin[i + 1] != '\n');
    }
    return stray;
}

} // namespace

std::string asciiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

DxfLineReader::~DxfLineReader() {
    close();
}

bool DxfLineReader::open(const std::string& path) {
    close();
    // Without blocking, so that a pipe without a writer cannot hold the run; only regular
    // files are read (a device could deliver bytes without end).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error_ = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
        ::close(fd);
        return false;
    }
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) {
        error_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    size_ = static_cast<long long>(info.st_size);
    for (std::vector<char>& buffer : buffers_) {
        buffer.resize(kBlockSize);
    }
    return true;
}

void DxfLineReader::openMemory(std::string_view bytes) {
    close();
    memory_ = true;
    const void* ctrlZ = std::memchr(bytes.data(), kCtrlZ, bytes.size());
    data_ = bytes.data();
    end_ = ctrlZ != nullptr ? static_cast<const char*>(ctrlZ) : bytes.data() + bytes.size();
    plainLineEnds_ = !hasStrayCarriageReturn(data_, end_);
    size_ = static_cast<long long>(bytes.size());
    fetched_ = size_;
}

void DxfLineReader::close() {
    lineFeeds_ = 0;
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    data_ = end_ = nullptr;
    sawCtrlZ_ = false;
    memory_ = false;
    fetched_ = size_ = 0;
}

// Reads the next block into the buffer not holding the previous one, so that a line handed
// out from the previous block stays valid across one refill.
bool DxfLineReader::fill() {
    lineFeeds_ = 0;
    if (memory_ || file_ == nullptr || sawCtrlZ_) {
        return false;
    }
    current_ = 1 - current_;
    char* buffer = buffers_[current_].data();
    const std::size_t got = std::fread(buffer, 1, kBlockSize, file_);
    if (got == 0) {
        return false;
    }
    fetched_ += static_cast<long long>(got);
    const void* ctrlZ = std::memchr(buffer, kCtrlZ, got);
    data_ = buffer;
    end_ = buffer + got;
    if (ctrlZ != nullptr) {
        sawCtrlZ_ = true;
        end_ = static_cast<const char*>(ctrlZ);
    }
    plainLineEnds_ = !hasStrayCarriageReturn(data_, end_);
    return data_ < end_;
}

std::string_view DxfLineReader::readLineSlowly(std::size_t keep) {
    lineFeeds_ = 0;
    // Otherwise: the line lies in the buffer and ends in LF or CR LF. Lines are short, so
    // one pass looking for both bytes beats a library search per byte kind.
    const char* p = data_;
    while (p < end_ && *p != '\n' && *p != '\r') {
        ++p;
    }
    if (p < end_) {
        const std::size_t ending = *p == '\n' ? 1 : (end_ - p > 1 && p[1] == '\n' ? 2 : 0);
        if (ending > 0) {
            const std::string_view line(data_, static_cast<std::size_t>(p - data_));
            data_ = p + ending;
            return line;
        }
    }
    // The line goes past the buffer, holds a stray carriage return, or is the last one.
    line_.clear();
    for (;;) {
        if (data_ < end_) {
            const auto* lf = static_cast<const char*>(
                std::memchr(data_, '\n', static_cast<std::size_t>(end_ - data_)));
            const char* stop = lf != nullptr ? lf : end_;
            appendWithoutCarriageReturns(
                line_, std::string_view(data_, static_cast<std::size_t>(stop - data_)));
            if (line_.size() > keep) {
                line_.resize(keep);
            }
            data_ = lf != nullptr ? lf + 1 : end_;
            if (lf != nullptr) {
                return line_;
            }
        }
        if (!fill()) {
            return line_;
        }
    }
}

DxfLineReader::Pair DxfLineReader::readPair() {
    std::string_view code = trimBlanks(readLine());
    // A code line in the buffer survives the value's read (a refill uses the other buffer);
    // one assembled in line_ must be kept apart.
    if (code.data() >= line_.data() && code.data() <= line_.data() + line_.size()) {
        codeStore_.assign(code);
        code = codeStore_;
    }
    const std::string_view value = trimBlanks(readLine());
    return {code, value};
}

std::optional<TemplateInsert> readTemplateInsert(DxfLineReader& reader) {
    TemplateInsert insert;
    for (;;) {
        const DxfLineReader::Pair pair = reader.readPair();
        if (pair.code == "66" && pair.value == "1") {
            insert.hasAttributes = true;
        } else if (pair.code == "2") {
            insert.names.emplace_back(pair.value);
        }
        if ((pair.code == "30" && !insert.hasAttributes) ||
            (pair.value == "SEQEND" && insert.hasAttributes) || reader.atEnd()) {
            break;
        }
    }
    // Without a block name (the file ended first, or group 30 came before it) there is
    // nothing to import.
    if (insert.names.empty()) {
        return std::nullopt;
    }
    return insert;
}

} // namespace kelvora
