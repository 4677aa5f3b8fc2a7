#pragma once
// Builds Standard MIDI Files as bytes in code, and writes them to temporary files.
//   auto file = SmfBuilder().Header(0, 1, 96).Track({0x00, 0x90, 60, 100, ...}).Bytes();

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace solvane::test {

using Bytes = std::vector<std::uint8_t>;

class SmfBuilder {
public:
    SmfBuilder& Header(int format, int tracks, int division);
    // An "MTrk" chunk whose length field is the number of bytes given.
    SmfBuilder& Track(const solvane::test::Bytes& events);
    SmfBuilder& Track(std::initializer_list<std::uint8_t> events) { return Track(solvane::test::Bytes(events)); }
    // A chunk with any id and length field, for damaged files.
    SmfBuilder& Chunk(const char id[4], std::uint32_t length, const solvane::test::Bytes& body);
    SmfBuilder& Raw(const solvane::test::Bytes& bytes);
    const solvane::test::Bytes& Bytes() const { return bytes_; }

private:
    solvane::test::Bytes bytes_;
};

// The bytes of one variable-length quantity.
Bytes VarLen(std::uint32_t value);
// A and B one after the other.
Bytes Concat(std::initializer_list<Bytes> parts);

// One chunk of a RIFF file: its id, its body and the length its header
// claims (the body's own unless given).
struct RiffChunk {
    const char* id;
    solvane::test::Bytes body;
    std::optional<std::uint32_t> claimed = std::nullopt;
};
// "RIFF", the length, the form type and the chunks, each padded to an even length.
Bytes RiffFile(const char form[4], const std::vector<RiffChunk>& chunks);
// A soundfont with one preset (bank 0, program 0) whose looped square wave
// starts at full scale on its first frame, on every key: sound that begins
// exactly where its note does.
Bytes SquareWaveSoundFont();

// An End of Track at delta 0.
inline const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

// A note of length ticks on channel, with explicit statuses.
Bytes NoteBytes(int channel, int key, std::uint32_t length);

// A format-0 file at 96 ticks a quarter: body and an End of Track.
Bytes Format0(const Bytes& body);

// A file in a fresh temporary folder, removed with the object.
class TempFile {
public:
    explicit TempFile(const solvane::test::Bytes& content, const std::string& name = "test.mid");
    explicit TempFile(const std::string& name = "test.mid");  // no file yet
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    solvane::test::Bytes Read() const;

private:
    std::filesystem::path dir_;
    std::string path_;
};

solvane::test::Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const solvane::test::Bytes& content);

// The third-party corpus beside the repository, or empty when it is absent.
std::filesystem::path CorpusDir();

// Every file under dir but the notes that describe them (.md, .txt), sorted.
std::vector<std::filesystem::path> FilesUnder(const std::filesystem::path& dir);

}  // namespace solvane::test
