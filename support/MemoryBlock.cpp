#include "support/MemoryBlock.h"

#include <cstring>

#include "support/General.h"

namespace solvane {

MemoryBlock::MemoryBlock(std::size_t bytes) : size_(bytes) {
    // calloc hands large blocks out as fresh zero pages, so an image that is
    // never written costs no page faults.
    bytes_.reset(static_cast<std::uint8_t*>(std::calloc(bytes == 0 ? 1 : bytes, 1)));
    if (!bytes_) ReportGeneralError(kGeneralOutOfMemory);
}

MemoryBlock MemoryBlock::Copy() const {
    if (empty()) return MemoryBlock();
    MemoryBlock copy(size_);
    if (!copy.empty()) std::memcpy(copy.data(), data(), size_);
    return copy;
}

}  // namespace solvane
