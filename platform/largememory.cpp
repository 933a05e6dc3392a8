#include "platform/largememory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kelvora {

void LargeBlockFree::operator()(std::byte* block) const {
    std::free(block);
}

LargeBlock allocateLarge(std::size_t bytes, bool zeroed) {
    void* block = nullptr;
#ifdef __linux__
    constexpr std::size_t kLargePage = std::size_t(2) << 20;
    if (bytes >= kLargePage) {
        bytes = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        if (::posix_memalign(&block, kLargePage, bytes) != 0) {
            throw std::bad_alloc();
        }
        ::madvise(block, bytes, MADV_HUGEPAGE); // only advice: refused, small pages do
        if (zeroed) {
            std::memset(block, 0, bytes);
        }
        return LargeBlock(static_cast<std::byte*>(block));
    }
#endif
    block = zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
    if (!block) {
        throw std::bad_alloc();
    }
    return LargeBlock(static_cast<std::byte*>(block));
}

} // namespace kelvora
