#include "tests/support/SmfBuilder.h"

#include <cstring>
#include <utility>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace solvane::test {

SmfBuilder& SmfBuilder::Header(int format, int tracks, int division) {
    const solvane::test::Bytes header = {'M', 'T', 'h', 'd', 0, 0, 0, 6,
                                         static_cast<std::uint8_t>(format >> 8), static_cast<std::uint8_t>(format),
                                         static_cast<std::uint8_t>(tracks >> 8), static_cast<std::uint8_t>(tracks),
                                         static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division)};
    return Raw(header);
}

SmfBuilder& SmfBuilder::Track(const solvane::test::Bytes& events) {
    return Chunk("MTrk", static_cast<std::uint32_t>(events.size()), events);
}

SmfBuilder& SmfBuilder::Chunk(const char id[4], std::uint32_t length, const solvane::test::Bytes& body) {
    bytes_.insert(bytes_.end(), id, id + 4);
    bytes_.push_back(static_cast<std::uint8_t>(length >> 24));
    bytes_.push_back(static_cast<std::uint8_t>(length >> 16));
    bytes_.push_back(static_cast<std::uint8_t>(length >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(length));
    return Raw(body);
}

SmfBuilder& SmfBuilder::Raw(const solvane::test::Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes VarLen(std::uint32_t value) {
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
    while ((value >>= 7) != 0) out.insert(out.begin(), static_cast<std::uint8_t>((value & 0x7F) | 0x80));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes RiffFile(const char form[4], const std::vector<RiffChunk>& chunks) {
    const auto le32 = [](Bytes& out, std::size_t value) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
    };
    Bytes body(form, form + 4);
    for (const RiffChunk& chunk : chunks) {
        body.insert(body.end(), chunk.id, chunk.id + 4);
        le32(body, chunk.claimed.value_or(static_cast<std::uint32_t>(chunk.body.size())));
        body.insert(body.end(), chunk.body.begin(), chunk.body.end());
        if (chunk.body.size() % 2 != 0) body.push_back(0);
    }
    Bytes file = {'R', 'I', 'F', 'F'};
    le32(file, body.size());
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Bytes SquareWaveSoundFont() {
    Bytes out;
    const auto le = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const auto name = [&out](const char* text) {
        for (std::size_t i = 0; i < 20; ++i) out.push_back(i < std::strlen(text) ? static_cast<std::uint8_t>(text[i]) : 0);
    };
    const auto take = [&out] { return std::exchange(out, Bytes{}); };
    // A list chunk's body: its type and its chunks (RiffFile's without "RIFF" and the size).
    const auto list = [](const char type[4], const std::vector<RiffChunk>& chunks) {
        Bytes file = RiffFile(type, chunks);
        return Bytes(file.begin() + 8, file.end());
    };
    constexpr std::uint32_t kPeriod = 100;  // 441 Hz at 44.1 kHz
    constexpr std::uint32_t kLength = 44 * kPeriod;
    for (std::uint32_t i = 0; i < kLength; ++i) le(i % kPeriod < kPeriod / 2 ? 0x7FFFu : 0x8001u, 2);
    for (int i = 0; i < 46; ++i) le(0, 2);  // the zeros every sample ends with
    const Bytes samples = take();
    le(2, 2), le(1, 2);
    const Bytes version = take();
    name("Square"), le(0, 2), le(0, 2), le(0, 2), le(0, 4), le(0, 4), le(0, 4);
    name("EOP"), le(0, 2), le(0, 2), le(1, 2), le(0, 4), le(0, 4), le(0, 4);
    const Bytes presets = take();
    le(0, 2), le(0, 2), le(1, 2), le(0, 2);
    const Bytes presetBags = take();
    for (int i = 0; i < 10; ++i) out.push_back(0);
    const Bytes noModulators = take();
    le(41, 2), le(0, 2), le(0, 2), le(0, 2);  // instrument 0
    const Bytes presetGenerators = take();
    name("Square"), le(0, 2), name("EOI"), le(1, 2);
    const Bytes instruments = take();
    le(0, 2), le(0, 2), le(2, 2), le(0, 2);
    const Bytes instrumentBags = take();
    le(54, 2), le(1, 2), le(53, 2), le(0, 2), le(0, 2), le(0, 2);  // looped, sample 0
    const Bytes instrumentGenerators = take();
    name("Square"), le(0, 4), le(kLength, 4), le(kPeriod, 4), le(kLength - kPeriod, 4), le(44100, 4);
    out.push_back(60), out.push_back(0), le(0, 2), le(1, 2);
    name("EOS"), le(0, 4), le(0, 4), le(0, 4), le(0, 4), le(0, 4), out.push_back(0), out.push_back(0), le(0, 2), le(0, 2);
    const Bytes headers = take();
    return RiffFile("sfbk", {{"LIST", list("INFO", {{"ifil", version}, {"INAM", {'S', 'q', 0, 0}}})},
                             {"LIST", list("sdta", {{"smpl", samples}})},
                             {"LIST", list("pdta", {{"phdr", presets},
                                                    {"pbag", presetBags},
                                                    {"pmod", noModulators},
                                                    {"pgen", presetGenerators},
                                                    {"inst", instruments},
                                                    {"ibag", instrumentBags},
                                                    {"imod", noModulators},
                                                    {"igen", instrumentGenerators},
                                                    {"shdr", headers}})}});
}

Bytes NoteBytes(int channel, int key, std::uint32_t length) {
    return Concat({{0x00, static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key), 100},
                   VarLen(length),
                   {static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0}});
}

Bytes Format0(const Bytes& body) { return SmfBuilder().Header(0, 1, 96).Track(Concat({body, kEnd})).Bytes(); }

namespace {
std::filesystem::path MakeTempDir() {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               ("solvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    return dir;
}
}  // namespace

TempFile::TempFile(const solvane::test::Bytes& content, const std::string& name) : TempFile(name) {
    WriteFileBytes(path_, content);
}

TempFile::TempFile(const std::string& name) : dir_(MakeTempDir()), path_((dir_ / name).string()) {}

TempFile::~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

Bytes TempFile::Read() const { return ReadFileBytes(path_); }

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

std::filesystem::path CorpusDir() {
    const std::filesystem::path dir = std::filesystem::path(SOLVANE_SOURCE_DIR) / ".." / "shared" / "corpus";
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

std::vector<std::filesystem::path> FilesUnder(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && ext != ".md" && ext != ".txt") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace solvane::test
