// The directory of a finished compound file. libgsf, and wine's structured storage, leave the
// unused entries of the last directory sector all zero, which makes their sibling and child ids
// point at the root entry; a free entry's ids must say "no entry" (some readers follow them).
#pragma once

#include <cstdint>
#include <vector>

namespace kelvora {

// Finds the directory through the header and the sector allocation table and sets the sibling
// and child ids of its free entries to "no entry". Leaves a file it cannot follow as it is.
void MarkFreeDirectoryEntries(std::vector<std::uint8_t>& file);

} // namespace kelvora
