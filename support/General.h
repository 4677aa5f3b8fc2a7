#pragma once
// The module General: whole-file input (from a file, or from bytes already
// in memory) and output, the file dialogs, the
// MacBinary prefix and variable-length quantities. Free functions without
// state; failures go to ReportGeneralError and are never thrown.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include "support/ReportCodes.h"

namespace solvane {

class MemoryBlock;

// Every file image holds at most this many bytes; a longer file is cut.
inline constexpr std::int32_t kImageCapacity = 0x40000;

void ReportGeneralError(std::uint32_t code);

// Reads at most kImageCapacity bytes of the file into block, made here with
// room for the file (never less than a file header, so that the fields a
// short file lacks read as zeros; zeros follow whatever was read). Returns 1
// and the byte count in size, or 0 with size 0 when the file does not open.
// A file that fills a whole image is reported but still read. A RIFF "RMID"
// file is read as the Standard MIDI File it wraps: the block then holds that
// file alone, and the limit counts its bytes only.
int ReadWholeFile(const std::string& path, MemoryBlock& block, std::int32_t& size);

// Where a whole read takes its bytes: Read places up to count bytes and
// returns how many (fewer only at the end); Failed tells a source that broke
// off rather than ended.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t Read(std::uint8_t* to, std::size_t count) = 0;
    virtual bool Failed() const { return false; }
};

// Bytes already in memory, read as a file holding them would be.
class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* bytes, std::size_t count) : bytes_(bytes), left_(count) {}
    std::size_t Read(std::uint8_t* to, std::size_t count) override;

private:
    const std::uint8_t* bytes_;
    std::size_t left_;
};

// ReadWholeFile's reading, from any source: the same block, size, RIFF
// unwrapping and reports. expectedSize is what the source will give, or -1
// when that is not known.
int ReadWholeImage(ByteSource& source, std::int64_t expectedSize, MemoryBlock& block, std::int32_t& size);
void WriteWholeFile(const std::string& path, const std::uint8_t* block, std::int32_t size);

// filter is "description|pattern|" pairs. 1 when a file was chosen, 0 when cancelled.
int AskOpenFileName(std::string_view defaultExtension, std::string_view filter, std::string& path);
int AskSaveFileName(std::string& path, std::string_view defaultExtension, std::string_view filter);

// Drops a 128-byte prefix (a MacBinary header) in front of signature.
// With a signature, only when the image holds it at offset 128. Returns 1
// when it moved the image down and lowered size by 128. It reads the first
// max(size, kMacBinaryReach) bytes of image.
inline constexpr std::int32_t kMacBinaryReach = 128 + 4;
int StripMacBinaryHeader(std::uint8_t* image, const char* signature, std::int32_t& size);

// A RIFF file of form "RMID" (a MIDI file as Windows collections keep it)
// holds a Standard MIDI File in its "data" chunk. When image, the first count
// bytes of a file, is such a file and that chunk starts with "MThd", returns
// the offset of the chunk's content and sets length to the length its header
// claims, which may run past the file's end. Otherwise returns 0: every other
// RIFF file is read as it is, and is then not a MIDI file.
std::int32_t FindRiffMidiData(const std::uint8_t* image, std::int32_t count, std::uint32_t& length);

// Standard variable-length quantity, most significant group first. Writes 1
// to 4 bytes and returns how many. A file can carry at most kMaxVarLen;
// larger values are written as kMaxVarLen, so callers check them first.
inline constexpr std::uint32_t kMaxVarLen = 0x0FFFFFFF;
int EncodeVarLen(std::uint32_t value, std::uint8_t* out);

}  // namespace solvane
