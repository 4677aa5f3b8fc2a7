#include "support/General.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/FileChooser.h"
#include "support/Messages.h"

namespace solvane {
namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

}  // namespace

void ReportGeneralError(std::uint32_t code) { ReportModuleError(Module::kGeneral, code); }

int ReadWholeFile(const std::string& path, std::uint8_t* block, std::int32_t& size) {
    size = 0;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file || block == nullptr) {
        ReportGeneralError(kGeneralCannotOpen);
        return 0;
    }
    const std::size_t read = std::fread(block, 1, kImageCapacity, file.get());
    // A folder opens but cannot be read; to the user that is a file that did not open.
    if (std::ferror(file.get())) {
        std::memset(block, 0, read);
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

int EncodeVarLen(std::uint32_t value, std::uint8_t* out) {
    if (value > kMaxVarLen) value = kMaxVarLen;
    if (value < 0x80) {
        out[0] = static_cast<std::uint8_t>(value);
        return 1;
    }
    if (value < 0x4000) {
        out[0] = static_cast<std::uint8_t>((value >> 7) | 0x80);
        out[1] = static_cast<std::uint8_t>(value & 0x7F);
        return 2;
    }
    if (value < 0x200000) {
        out[0] = static_cast<std::uint8_t>((value >> 14) | 0x80);
        out[1] = static_cast<std::uint8_t>(((value >> 7) & 0x7F) | 0x80);
        out[2] = static_cast<std::uint8_t>(value & 0x7F);
        return 3;
    }
    out[0] = static_cast<std::uint8_t>((value >> 21) | 0x80);
    out[1] = static_cast<std::uint8_t>(((value >> 14) & 0x7F) | 0x80);
    out[2] = static_cast<std::uint8_t>(((value >> 7) & 0x7F) | 0x80);
    out[3] = static_cast<std::uint8_t>(value & 0x7F);
    return 4;
}

}  // namespace solvane
