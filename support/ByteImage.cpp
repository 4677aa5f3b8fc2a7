#include "support/ByteImage.h"

namespace solvane {
namespace {
const std::uint8_t kZeros[kImageCapacity] = {};
}

const std::uint8_t* ByteImage::ZeroImage() { return kZeros; }

std::uint8_t* ByteImage::MutableBytes() {
    if (block_.empty() && !tried_) {
        tried_ = true;  // report a failed allocation once, not at every write
        block_ = MemoryBlock(kImageCapacity);
    }
    return block_.data();
}

int ByteImage::LoadFromFile(const std::string& path) {
    std::uint8_t* bytes = MutableBytes();
    if (bytes == nullptr) {
        size = 0;
        return 0;
    }
    return ReadWholeFile(path, bytes, size);
}

void ByteImage::SaveWithDialog() {
    std::string path;
    if (AskSaveFileName(path, "mid", "midi files|*.mid|") == 0) return;
    WriteWholeFile(path, Bytes(), size);
}

void ByteImage::Release() {
    block_ = MemoryBlock();
    tried_ = false;
    size = 0;
    cursor = 0;
}

}  // namespace solvane
