#pragma once
// The bytes of a Standard MIDI File (or of one chunk): a fixed image of
// kImageCapacity bytes, the number of valid bytes and a read/write position.
// The base of the song, the multi-track form and the track. The block is taken
// on first write; until then the image reads as zeros, like a fresh block.

#include <cstdint>
#include <string>

#include "support/General.h"
#include "support/MemoryBlock.h"

namespace solvane {

class ByteImage {
public:
    ByteImage() = default;
    ByteImage(const ByteImage&) = delete;
    ByteImage& operator=(const ByteImage&) = delete;

    // kImageCapacity readable bytes: the file bytes, zeros behind them.
    const std::uint8_t* Bytes() const { return block_.empty() ? ZeroImage() : block_.data(); }
    // The same bytes for writing; nullptr only when no memory could be had.
    std::uint8_t* MutableBytes();
    // Byte at offset, or 0 outside the image.
    std::uint8_t At(std::int64_t offset) const {
        return offset >= 0 && offset < kImageCapacity ? Bytes()[offset] : 0;
    }

    // Reads the whole file; 1, or 0 with size 0 when it does not open.
    int LoadFromFile(const std::string& path);
    // Asks for a name and writes the first size bytes; cancelling writes nothing.
    void SaveWithDialog();
    void Release();

    std::int32_t size = 0;
    std::int32_t cursor = 0;

private:
    static const std::uint8_t* ZeroImage();

    MemoryBlock block_;
    bool tried_ = false;
};

}  // namespace solvane
