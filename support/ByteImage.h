#pragma once
// The bytes of a Standard MIDI File (or of one chunk): a fixed image of
// kImageCapacity bytes, the number of valid bytes and a read/write position.
// The base of the song, the multi-track form and the track. A block holds
// only what the image needs (the file read, the chunk a track reads, the file
// a song writes); everything past it reads as zeros, like a fresh image, and
// asking for more room later grows the block.

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

    // The file bytes, zeros behind them: kImageCapacity readable bytes, or
    // as many as MutableBytes(room) took.
    const std::uint8_t* Bytes() const { return block_.empty() ? ZeroImage() : block_.data(); }
    // The whole image for writing; nullptr only when no memory could be had.
    std::uint8_t* MutableBytes() { return MutableBytes(kImageCapacity); }
    // At least the first room bytes of the image for writing.
    std::uint8_t* MutableBytes(std::int32_t room);
    // Byte at offset, or 0 outside the image.
    std::uint8_t At(std::int64_t offset) const {
        // One unsigned comparison takes both ends: a negative offset is huge.
        return static_cast<std::uint64_t>(offset) < static_cast<std::uint64_t>(Readable()) ? Bytes()[offset] : 0;
    }

    // Reads the whole file into a block of its size; 1, or 0 with size 0
    // when it does not open.
    int LoadFromFile(const std::string& path);
    // Takes the block and size of a whole-file read made elsewhere, as if
    // LoadFromFile had read them itself (a full image is reported as that
    // read reports it); 1, or 0 with size 0 when the block is empty.
    int LoadFromImage(MemoryBlock image, std::int32_t imageSize);
    // Asks for a name and writes the first size bytes; cancelling writes nothing.
    void SaveWithDialog();
    void Release();

    std::int32_t size = 0;
    std::int32_t cursor = 0;

private:
    static const std::uint8_t* ZeroImage();
    std::int64_t Readable() const {
        return block_.empty() ? kImageCapacity : static_cast<std::int64_t>(block_.size());
    }

    MemoryBlock block_;
    bool tried_ = false;
};

}  // namespace solvane
