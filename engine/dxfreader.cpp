#include "engine/dxfreader.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) {
        text.remove_suffix(1);
    }
    return text;
}

DxfLineReader::~DxfLineReader() {
    close();
}

bool DxfLineReader::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode)) {
        error_ = S_ISDIR(info.st_mode) ? "it is a folder" : std::strerror(errno);
        close();
        return false;
    }
    size_ = S_ISREG(info.st_mode) ? static_cast<long long>(info.st_size) : 0;
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
    size_ = static_cast<long long>(bytes.size());
    fetched_ = size_;
}

void DxfLineReader::close() {
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
    return data_ < end_;
}

std::string_view DxfLineReader::readLine() {
    bool spans = false;
    line_.clear();
    for (;;) {
        if (data_ < end_) {
            const auto* lf = static_cast<const char*>(
                std::memchr(data_, '\n', static_cast<std::size_t>(end_ - data_)));
            const char* stop = lf != nullptr ? lf : end_;
            const std::string_view piece(data_, static_cast<std::size_t>(stop - data_));
            data_ = lf != nullptr ? lf + 1 : end_;
            if (lf != nullptr && !spans && piece.find('\r') == std::string_view::npos) {
                return piece;
            }
            appendWithoutCarriageReturns(line_, piece);
            spans = true;
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
    codeStore_.assign(trimBlanks(readLine()));
    const std::string_view value = trimBlanks(readLine());
    return {codeStore_, value};
}

bool DxfLineReader::atEnd() {
    return data_ >= end_ && !fill();
}

bool scanForInserts(DxfLineReader& reader, const std::function<void()>& onInsert,
                    const std::function<bool()>& beforeLine) {
    for (;;) {
        if (beforeLine && !beforeLine()) {
            return false;
        }
        if (reader.readLine() == "ENTITIES") {
            break;
        }
        if (reader.atEnd()) {
            return true;
        }
    }
    do {
        if (beforeLine && !beforeLine()) {
            return false;
        }
        if (reader.readLine() == "INSERT") {
            onInsert();
        }
    } while (!reader.atEnd());
    return true;
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
