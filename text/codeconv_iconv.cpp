// The code page conversion on POSIX systems: iconv.
#include "text/codepage.h"

#include "text/unicode.h"

#include <cerrno>
#include <utility>

namespace kelvora {

namespace {

// Whether the two bytes at pair are refused only after both were read: glibc's CP949 does so
// with A2 E8, and its error then stands after the character instead of at it.
bool refusedAfterReading(iconv_t cd, const char* pair) {
    char* in = const_cast<char*>(pair);
    std::size_t inLeft = 2;
    char buffer[16];
    char* to = buffer;
    std::size_t room = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const bool refused = ::iconv(cd, &in, &inLeft, &to, &room) == static_cast<std::size_t>(-1) &&
                         errno == EILSEQ && inLeft == 0;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return refused;
}

} // namespace

Iconv::Iconv(const char* codePage) : cd_(::iconv_open("UTF-8", codePage)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        cd_ = nullptr;
    }
}

Iconv::Iconv(Iconv&& other) noexcept : cd_(std::exchange(other.cd_, nullptr)) {}

Iconv& Iconv::operator=(Iconv&& other) noexcept {
    if (this != &other) {
        if (cd_ != nullptr) {
            ::iconv_close(cd_);
        }
        cd_ = std::exchange(other.cd_, nullptr);
    }
    return *this;
}

Iconv::~Iconv() {
    if (cd_ != nullptr) {
        ::iconv_close(cd_);
    }
}

bool Iconv::appendUtf8(std::string_view bytes, std::string& out) const {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    bool clean = true;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t used = out.size();
    // Room for every character iconv may still hold back, then for the rest of the input.
    auto makeRoom = [&] { out.resize(used + 3 * inLeft + 16); };
    makeRoom();
    for (;;) {
        char* to = out.data() + used;
        std::size_t room = out.size() - used;
        const bool flushing = inLeft == 0;
        const std::size_t done = flushing ? ::iconv(cd_, nullptr, nullptr, &to, &room)
                                          : ::iconv(cd_, &in, &inLeft, &to, &room);
        const int error = errno;
        used = static_cast<std::size_t>(to - out.data());
        if (done != static_cast<std::size_t>(-1)) {
            if (flushing) {
                break;
            }
        } else if (error == E2BIG) {
            out.resize(out.size() * 2);
        } else if (flushing) {
            break; // nothing held back could be written: nothing is left to read either
        } else {
            // The byte at in starts no character, or one the text does not finish: the
            // characters iconv holds back go first, then the byte as Windows-1252.
            makeRoom();
            to = out.data() + used;
            room = out.size() - used;
            ::iconv(cd_, nullptr, nullptr, &to, &room);
            out.resize(static_cast<std::size_t>(to - out.data()));
            if (in - bytes.data() >= 2 && refusedAfterReading(cd_, in - 2)) {
                in -= 2;
                inLeft += 2;
            }
            unicode::appendUtf8(out, unicode::fromWindows1252(static_cast<unsigned char>(*in)));
            used = out.size();
            ++in;
            --inLeft;
            makeRoom();
            clean = false;
        }
    }
    out.resize(used);
    return clean;
}

} // namespace kelvora
