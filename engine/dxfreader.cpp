#include "engine/dxfreader.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace kelvora {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::size_t kSmallestBuffer = 64 << 10;
constexpr char kCtrlZ = 26;
constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};
// How much of the file's start decides whether it is text.
constexpr std::size_t kSniffSize = 4096;

// How a binary drawing stores the value of a group code.
enum class ValueType { String, Bool, Int16, Int32, Int64, Double, Chunk };

constexpr ValueType valueTypeOfCode(int code) {
    auto in = [code](int first, int last) { return code >= first && code <= last; };
    if (in(10, 59) || in(110, 149) || in(210, 239) || in(460, 469) || in(1010, 1059)) {
        return ValueType::Double;
    }
    if (in(60, 79) || in(170, 179) || in(270, 289) || in(370, 389) || in(400, 409) ||
        in(1060, 1070)) {
        return ValueType::Int16;
    }
    if (in(90, 99) || in(420, 459) || code == 1071) {
        return ValueType::Int32;
    }
    if (in(160, 169)) {
        return ValueType::Int64;
    }
    if (in(290, 299)) {
        return ValueType::Bool;
    }
    if (in(310, 319) || code == 1004) {
        return ValueType::Chunk;
    }
    return ValueType::String;
}

// Looked up for every pair of a binary drawing: a table over the codes in use.
constexpr int kTypedCodes = 1072;
constexpr auto kValueTypes = [] {
    std::array<ValueType, kTypedCodes> types{};
    for (int code = 0; code < kTypedCodes; ++code) {
        types[static_cast<std::size_t>(code)] = valueTypeOfCode(code);
    }
    return types;
}();

ValueType binaryValueType(int code) {
    return code >= 0 && code < kTypedCodes ? kValueTypes[static_cast<std::size_t>(code)]
                                           : ValueType::String;
}

std::size_t fixedSize(ValueType type) {
    switch (type) {
    case ValueType::Bool:
        return 1;
    case ValueType::Int16:
        return 2;
    case ValueType::Int32:
        return 4;
    case ValueType::Int64:
    case ValueType::Double:
        return 8;
    case ValueType::String:
    case ValueType::Chunk:
        break;
    }
    return 0;
}

template <class T> T readLittleEndian(const char* bytes) {
    std::make_unsigned_t<T> value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) {
        value = static_cast<std::make_unsigned_t<T>>((value << 8) |
                                                     static_cast<unsigned char>(bytes[i]));
    }
    return static_cast<T>(value);
}

// A group code line: an optional minus and decimal digits, nothing else.
int parseCode(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 9) {
        return DxfPairReader::kBadCode;
    }
    int code = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return DxfPairReader::kBadCode;
        }
        code = code * 10 + (c - '0');
    }
    return negative ? -code : code;
}

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// The form of a drawing from its first bytes. Text is whatever holds no control bytes up to its
// first Ctrl-Z (or the end of the sample) and carries no signature of another format.
DxfForm sniffForm(std::string_view head) {
    if (startsWith(head, kBinarySentinel)) {
        return DxfForm::Binary;
    }
    static constexpr std::array<std::string_view, 9> kOtherSignatures{"\x89PNG",
                                                                      "PK\x03\x04",
                                                                      "PK\x05\x06",
                                                                      "%PDF-",
                                                                      "GIF8",
                                                                      "\xFF\xD8\xFF",
                                                                      "Rar!\x1A",
                                                                      std::string_view("II*\0", 4),
                                                                      std::string_view("MM\0*", 4)};
    for (std::string_view signature : kOtherSignatures) {
        if (startsWith(head, signature)) {
            return DxfForm::Other;
        }
    }
    const std::string_view sample = head.substr(0, std::min(head.find(kCtrlZ), kSniffSize));
    const bool binaryBytes = std::any_of(sample.begin(), sample.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 32 && b != '\t' && b != '\n' && b != '\v' && b != '\f' && b != '\r' && b != 27;
    });
    if (!binaryBytes) {
        return DxfForm::Text;
    }
    const bool dwg = startsWith(head, "AC10") || startsWith(head, "AC1.") ||
                     startsWith(head, "AC2.") || startsWith(head, "MC0.");
    return dwg ? DxfForm::Dwg : DxfForm::Other;
}

} // namespace

DxfPairReader::~DxfPairReader() {
    close();
}

bool DxfPairReader::open(const std::string& path) {
    close();
    if (!file_.open(path, error_)) {
        return false;
    }
    size_ = file_.size();
    // Small drawings get a small buffer; nothing is cleared, only the bytes read are touched.
    const std::size_t wanted =
        std::clamp(static_cast<std::size_t>(size_) + 16, kSmallestBuffer, kBlockSize);
    if (capacity_ != wanted) {
        buffer_ = std::make_unique_for_overwrite<char[]>(wanted);
        capacity_ = wanted;
    }
    data_ = end_ = buffer_.get();
    form_ = DxfForm::Binary; // no Ctrl-Z rule until the form is known
    while (static_cast<std::size_t>(end_ - data_) < kSniffSize && refill()) {
    }
    form_ = sniffForm(std::string_view(data_, static_cast<std::size_t>(end_ - data_)));
    startForm();
    return true;
}

bool DxfPairReader::changedWhileRead() const {
    if (!file_.isOpen()) {
        return false;
    }
    return (endReached_ && fetched_ != size_) || file_.changedSinceOpened();
}

void DxfPairReader::openMemory(std::string_view bytes) {
    close();
    memory_ = true;
    eof_ = true;
    data_ = bytes.data();
    end_ = bytes.data() + bytes.size();
    form_ = sniffForm(bytes);
    startForm();
    size_ = fetched_ = static_cast<long long>(bytes.size());
}

// Once the form is known: a text drawing ends at a Ctrl-Z, and what opens the file before its
// first pair is stepped over (the binary sentinel, or the byte-order mark that some programs put
// before a text drawing saved as UTF-8).
void DxfPairReader::startForm() {
    const std::string_view head(data_, static_cast<std::size_t>(end_ - data_));
    if (form_ == DxfForm::Binary) {
        data_ += kBinarySentinel.size();
        wideCodes_ = end_ - data_ < 2 || data_[1] == 0; // the first code is 0 ("SECTION")
        return;
    }
    if (const std::size_t ctrlZ = head.find(kCtrlZ); ctrlZ != std::string_view::npos) {
        end_ = data_ + ctrlZ;
        eof_ = true;
    }
    if (startsWith(head.substr(0, static_cast<std::size_t>(end_ - data_)), "\xEF\xBB\xBF")) {
        data_ += 3;
    }
}

void DxfPairReader::close() {
    file_.close();
    memory_ = false;
    eof_ = false;
    error_.clear();
    form_ = DxfForm::Text;
    data_ = end_ = nullptr;
    lineFeeds_ = 0;
    code_ = kNoCode;
    valueTaken_ = true;
    value_ = {};
    fetched_ = size_ = 0;
    endReached_ = false;
}

bool DxfPairReader::refill() {
    lineFeeds_ = 0;
    if (memory_ || eof_ || !file_.isOpen()) {
        eof_ = true;
        return false;
    }
    const std::size_t kept = static_cast<std::size_t>(end_ - data_);
    if (kept == capacity_) {
        // One line or value fills the buffer: only then does it grow.
        auto larger = std::make_unique_for_overwrite<char[]>(capacity_ * 2);
        std::memcpy(larger.get(), data_, kept);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    } else if (kept > 0 && data_ != buffer_.get()) {
        std::memmove(buffer_.get(), data_, kept);
    }
    char* start = buffer_.get();
    data_ = start;
    end_ = start + kept;
    const long long got = file_.read(start + kept, capacity_ - kept, error_);
    if (got <= 0) {
        endReached_ = got == 0;
        eof_ = true;
        return false;
    }
    fetched_ += got;
    char* fresh = start + kept;
    end_ = fresh + got;
    if (form_ == DxfForm::Text) {
        if (const void* ctrlZ = std::memchr(fresh, kCtrlZ, static_cast<std::size_t>(got))) {
            end_ = static_cast<const char*>(ctrlZ);
            eof_ = true;
            return end_ > fresh;
        }
    }
    return true;
}

// ---- Text form ----

DxfPairReader::Line DxfPairReader::takeLine(const char*& begin, const char*& end,
                                            std::size_t longest) {
    for (;;) {
        if (const char* lf = findLineFeed()) {
            begin = data_;
            end = lf;
            data_ = lf + 1;
            return static_cast<std::size_t>(end - begin) <= longest ? Line::Whole : Line::TooLong;
        }
        if (static_cast<std::size_t>(end_ - data_) > longest) {
            skipValue(); // the rest of the line goes unread
            return Line::TooLong;
        }
        if (!refill()) {
            // The last line of the file, without a line feed.
            begin = data_;
            end = end_;
            data_ = end_;
            return begin != end ? Line::Whole : Line::None;
        }
    }
}

int DxfPairReader::readTextCode() {
    const char* begin = nullptr;
    const char* end = nullptr;
    switch (takeLine(begin, end, static_cast<std::size_t>(kLongestCodeLine))) {
    case Line::None:
        return kNoCode;
    case Line::TooLong:
        return kBadCode;
    case Line::Whole:
        break;
    }
    return codeOfLine(begin, end);
}

int DxfPairReader::codeOfLine(const char* begin, const char* end) {
    if (end - begin > kLongestCodeLine) {
        return kBadCode;
    }
    const std::string_view line =
        trimBlanks(std::string_view(begin, static_cast<std::size_t>(end - begin)));
    int code = parseCode(line);
    if (code == kBadCode && line.find('\r') != std::string_view::npos) {
        dropCarriageReturns(line.data(), line.data() + line.size());
        code = parseCode(store_);
    }
    return code;
}

std::string_view DxfPairReader::readTextValue() {
    const char* begin = nullptr;
    const char* end = nullptr;
    if (takeLine(begin, end, std::string_view::npos) != Line::Whole) {
        return {};
    }
    std::string_view line(begin, static_cast<std::size_t>(end - begin));
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.find('\r') == std::string_view::npos) {
        return line;
    }
    // A carriage return inside the line is dropped and the line goes on.
    dropCarriageReturns(line.data(), line.data() + line.size());
    return store_;
}

void DxfPairReader::dropCarriageReturns(const char* begin, const char* end) {
    store_.clear();
    std::copy_if(begin, end, std::back_inserter(store_), [](char c) { return c != '\r'; });
}

void DxfPairReader::skipValue() {
    if (form_ == DxfForm::Binary) {
        skipBinaryValue();
        return;
    }
    // Up to the next line feed, letting go of everything before it.
    for (;;) {
        if (const char* lf = findLineFeed()) {
            data_ = lf + 1;
            return;
        }
        data_ = end_;
        if (!refill()) {
            return;
        }
    }
}

// ---- Binary form ----

bool DxfPairReader::ensure(std::size_t n) {
    while (static_cast<std::size_t>(end_ - data_) < n) {
        if (!refill()) {
            return false;
        }
    }
    return true;
}

int DxfPairReader::readBinaryCode() {
    if (!ensure(1)) {
        return kNoCode;
    }
    if (!wideCodes_) {
        const auto first = static_cast<unsigned char>(*data_++);
        if (first != 255) {
            return first;
        }
        // 255: a two-byte code follows.
    }
    if (!ensure(2)) {
        data_ = end_;
        return kNoCode;
    }
    const int code = readLittleEndian<std::uint16_t>(data_);
    data_ += 2;
    return code;
}

std::string_view DxfPairReader::readBinaryValue() {
    const ValueType type = binaryValueType(code_);
    if (type == ValueType::String) {
        for (std::size_t searched = 0;;) {
            const std::size_t unread = static_cast<std::size_t>(end_ - data_);
            if (const void* nul = std::memchr(data_ + searched, 0, unread - searched)) {
                const std::string_view text(
                    data_, static_cast<std::size_t>(static_cast<const char*>(nul) - data_));
                data_ += text.size() + 1;
                return text;
            }
            searched = unread;
            if (!refill()) {
                const std::string_view text(data_, unread);
                data_ = end_;
                return text;
            }
        }
    }
    store_.clear();
    if (type == ValueType::Chunk) {
        if (!ensure(1)) {
            return {};
        }
        const auto length = static_cast<unsigned char>(*data_++);
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (std::size_t i = 0; i < length && ensure(1); ++i) {
            const auto b = static_cast<unsigned char>(*data_++);
            store_ += kHex[b >> 4];
            store_ += kHex[b & 15];
        }
        return store_;
    }
    const std::size_t size = fixedSize(type);
    if (!ensure(size)) {
        data_ = end_;
        return {};
    }
    char text[32];
    std::to_chars_result written{};
    switch (type) {
    case ValueType::Bool:
        written = std::to_chars(text, text + sizeof text, static_cast<unsigned char>(*data_));
        break;
    case ValueType::Int16:
        written = std::to_chars(text, text + sizeof text, readLittleEndian<std::int16_t>(data_));
        break;
    case ValueType::Int32:
        written = std::to_chars(text, text + sizeof text, readLittleEndian<std::int32_t>(data_));
        break;
    case ValueType::Int64:
        written = std::to_chars(text, text + sizeof text, readLittleEndian<std::int64_t>(data_));
        break;
    default: {
        const auto bits = readLittleEndian<std::uint64_t>(data_);
        double number;
        std::memcpy(&number, &bits, sizeof number);
        written = std::to_chars(text, text + sizeof text, number);
        break;
    }
    }
    data_ += size;
    store_.assign(text, written.ptr);
    return store_;
}

void DxfPairReader::skipBinaryValue() {
    if (code_ == kNoCode) {
        return;
    }
    const ValueType type = binaryValueType(code_);
    if (type == ValueType::String) {
        for (;;) {
            if (const void* nul = std::memchr(data_, 0, static_cast<std::size_t>(end_ - data_))) {
                data_ = static_cast<const char*>(nul) + 1;
                return;
            }
            data_ = end_;
            if (!refill()) {
                return;
            }
        }
    }
    std::size_t size = fixedSize(type);
    if (type == ValueType::Chunk) {
        if (!ensure(1)) {
            return;
        }
        size = static_cast<unsigned char>(*data_++);
    }
    if (!ensure(size)) {
        data_ = end_;
        return;
    }
    data_ += size;
}

} // namespace kelvora
