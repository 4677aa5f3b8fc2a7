#include "support/General.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/FileChooser.h"
#include "support/MemoryBlock.h"
#include "support/Messages.h"

namespace solvane {
namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

}  // namespace

void ReportGeneralError(std::uint32_t code) { ReportModuleError(Module::kGeneral, code); }

namespace {

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    std::size_t Read(std::uint8_t* to, std::size_t count) override { return std::fread(to, 1, count, file_); }
    bool Failed() const override { return std::ferror(file_) != 0; }

private:
    std::FILE* file_;
};

}  // namespace

int ReadWholeFile(const std::string& path, MemoryBlock& block, std::int32_t& size) {
    size = 0;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        ReportGeneralError(kGeneralCannotOpen);
        return 0;
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);  // the reads go straight into the block
    // A file whose size the system cannot tell (a pipe) gets a whole image.
    std::error_code unknown;
    const std::uintmax_t expected = std::filesystem::file_size(path, unknown);
    FileSource source(file.get());
    return ReadWholeImage(source, unknown ? -1 : static_cast<std::int64_t>(std::min<std::uintmax_t>(expected, kImageCapacity)),
                          block, size);
}

std::size_t MemorySource::Read(std::uint8_t* to, std::size_t count) {
    const std::size_t n = std::min(count, left_);
    if (n > 0) std::memcpy(to, bytes_, n);
    bytes_ += n;
    left_ -= n;
    return n;
}

int ReadWholeImage(ByteSource& source, std::int64_t expectedSize, MemoryBlock& block, std::int32_t& size) {
    constexpr auto kCapacity = static_cast<std::size_t>(kImageCapacity);
    constexpr std::size_t kHeader = 14;
    size = 0;
    // Room for one byte more than the source holds, so that the read ends
    // short at its end; one of unknown size gets a whole image, and so does
    // one that grew meanwhile.
    const std::size_t room = expectedSize < 0 ? kCapacity
                                              : std::clamp<std::size_t>(static_cast<std::size_t>(expectedSize) + 1,
                                                                        kHeader, kCapacity);
    block = MemoryBlock(room);
    if (block.empty()) return 0;  // reported as out of memory
    std::size_t read = source.Read(block.data(), room);
    if (read == room && room < kCapacity) {
        MemoryBlock whole(kCapacity);
        if (whole.empty()) return 0;
        std::memcpy(whole.data(), block.data(), read);
        block = std::move(whole);
        read += source.Read(block.data() + read, kCapacity - read);
    }
    std::uint32_t claimed = 0;
    if (const std::int32_t offset = FindRiffMidiData(block.data(), static_cast<std::int32_t>(read), claimed); offset > 0) {
        // Only the wrapped file is kept. The limit is the wrapped file's, so
        // what the wrapper pushed past the block is read on; zeros take the
        // place of the wrapper's bytes behind it, as behind any file read.
        std::uint8_t* bytes = block.data();
        const std::size_t wanted = std::min<std::size_t>(claimed, kCapacity);
        std::size_t kept = std::min(read - static_cast<std::size_t>(offset), wanted);
        std::memmove(bytes, bytes + offset, kept);
        if (kept < wanted && read == kCapacity) kept += source.Read(bytes + kept, wanted - kept);
        std::memset(bytes + kept, 0, read - std::min(read, kept));
        read = kept;
    }
    // A folder opens but cannot be read; to the user that is a file that did not open.
    if (source.Failed()) {
        block = MemoryBlock();
        ReportGeneralError(kGeneralCannotOpen);
        return 0;
    }
    size = static_cast<std::int32_t>(read);
    if (size == kImageCapacity) ReportGeneralError(kGeneralDataTooLarge);
    return 1;
}

void WriteWholeFile(const std::string& path, const std::uint8_t* block, std::int32_t size) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        ReportGeneralError(kGeneralCannotOpen);
        return;
    }
    const auto count = static_cast<std::size_t>(size > 0 ? size : 0);
    const bool written = count == 0 || std::fwrite(block, 1, count, file.get()) == count;
    // A full disk must not pass for a saved file.
    if (std::fclose(file.release()) != 0 || !written) ReportGeneralError(kGeneralCannotOpen);
}

int AskOpenFileName(std::string_view defaultExtension, std::string_view filter, std::string& path) {
    FileChooser* chooser = CurrentFileChooser();
    return chooser != nullptr && chooser->AskOpen(defaultExtension, filter, path) ? 1 : 0;
}

int AskSaveFileName(std::string& path, std::string_view defaultExtension, std::string_view filter) {
    FileChooser* chooser = CurrentFileChooser();
    return chooser != nullptr && chooser->AskSave(defaultExtension, filter, path) ? 1 : 0;
}

int StripMacBinaryHeader(std::uint8_t* image, const char* signature, std::int32_t& size) {
    constexpr std::int32_t kPrefix = 128;
    if (size < kPrefix) return 0;
    if (signature != nullptr && std::memcmp(image + kPrefix, signature, 4) != 0) return 0;
    std::memmove(image, image + kPrefix, static_cast<std::size_t>(size - kPrefix));
    size -= kPrefix;
    return 1;
}

std::int32_t FindRiffMidiData(const std::uint8_t* image, std::int32_t count, std::uint32_t& length) {
    const auto le32 = [image](std::int64_t at) {
        return static_cast<std::uint32_t>(image[at]) | static_cast<std::uint32_t>(image[at + 1]) << 8 |
               static_cast<std::uint32_t>(image[at + 2]) << 16 | static_cast<std::uint32_t>(image[at + 3]) << 24;
    };
    if (image == nullptr || count < 12 || std::memcmp(image, "RIFF", 4) != 0 ||
        std::memcmp(image + 8, "RMID", 4) != 0) {
        return 0;
    }
    // The chunks follow the form type, each padded to an even length; other
    // chunks (INFO lists, for example) may come before the data.
    std::int64_t at = 12;
    while (at + 8 <= count) {
        const std::uint32_t chunkLength = le32(at + 4);
        if (std::memcmp(image + at, "data", 4) == 0) {
            if (chunkLength < 4 || at + 12 > count || std::memcmp(image + at + 8, "MThd", 4) != 0) return 0;
            length = chunkLength;
            return static_cast<std::int32_t>(at + 8);
        }
        at += 8 + std::int64_t{chunkLength} + (chunkLength & 1);
    }
    return 0;
}

int EncodeVarLen(std::uint32_t value, std::uint8_t* out) {
    value = std::min(value, kMaxVarLen);
    int n = 1;
    while (n < 4 && (value >> (7 * n)) != 0) ++n;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t group = (value >> (7 * (n - 1 - i))) & 0x7F;
        out[i] = static_cast<std::uint8_t>(i + 1 < n ? group | 0x80 : group);  // every byte but the last has bit 7
    }
    return n;
}

}  // namespace solvane
