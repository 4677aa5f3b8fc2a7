#pragma once
// A zero-filled block of fixed size, owned by whoever asked for it. Move-only.
// A block that cannot be had reports "out of memory" and stays empty; users
// treat an empty block as one of size 0.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace solvane {

class MemoryBlock {
public:
    MemoryBlock() = default;
    explicit MemoryBlock(std::size_t bytes);
    // A block of the same size with the same bytes; empty (reported) when
    // no memory could be had. Copies are asked for, never made in passing.
    MemoryBlock Copy() const;

    std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return bytes_ ? size_ : 0; }
    bool empty() const { return !bytes_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t[], Free> bytes_;
    std::size_t size_ = 0;
};

}  // namespace solvane
