#include "support/ByteImage.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace solvane {
namespace {
const std::uint8_t kZeros[kImageCapacity] = {};
}

const std::uint8_t* ByteImage::ZeroImage() { return kZeros; }

std::uint8_t* ByteImage::MutableBytes(std::int32_t room) {
    const auto wanted = static_cast<std::size_t>(std::clamp(room, 1, kImageCapacity));
    if (!block_.empty() && block_.size() < wanted) {
        MemoryBlock grown(wanted);
        if (grown.empty()) return nullptr;
        std::memcpy(grown.data(), block_.data(), block_.size());
        block_ = std::move(grown);
    }
    if (block_.empty() && !tried_) {
        tried_ = true;  // report a failed allocation once, not at every write
        block_ = MemoryBlock(wanted);
    }
    return block_.data();
}

int ByteImage::LoadFromFile(const std::string& path) {
    tried_ = true;  // a failed allocation is reported by the read
    return ReadWholeFile(path, block_, size);
}

int ByteImage::LoadFromImage(MemoryBlock image, std::int32_t imageSize) {
    tried_ = true;
    block_ = std::move(image);
    size = block_.empty() ? 0 : imageSize;
    if (block_.empty()) return 0;
    if (size == kImageCapacity) ReportGeneralError(kGeneralDataTooLarge);
    return 1;
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
