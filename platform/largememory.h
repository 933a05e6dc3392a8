// Memory for the large tables of one drawing. Fresh memory costs a page fault for every page
// first touched; where the system offers large pages (2 MB on Linux, for memory that asks for
// them), blocks of that size or more are placed and marked so that it may use them.
#pragma once

#include <cstddef>
#include <memory>

namespace kelvora {

struct LargeBlockFree {
    void operator()(std::byte* block) const;
};
using LargeBlock = std::unique_ptr<std::byte, LargeBlockFree>;

// A block of at least the given size, filled with zeros when zeroed is set; throws
// std::bad_alloc when there is no memory.
LargeBlock allocateLarge(std::size_t bytes, bool zeroed);

} // namespace kelvora
