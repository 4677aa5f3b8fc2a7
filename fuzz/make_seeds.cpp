// Writes the generated seed files of the fuzz targets into a folder: small
// Standard MIDI Files that between them reach every branch of the reader and
// the transformations, some of them damaged on purpose, and a few pairs of
// files in a row.
// Usage: solvane_make_seeds FOLDER

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/SmfBuilder.h"

namespace {

using solvane::test::Bytes;
using solvane::test::Concat;
using solvane::test::SmfBuilder;
using solvane::test::VarLen;

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

Bytes Format0(const Bytes& body, int division = 96) {
    return SmfBuilder().Header(0, 1, division).Track(Concat({body, kEnd})).Bytes();
}

Bytes Format1(const std::vector<Bytes>& bodies, int declared = -1, int division = 96) {
    SmfBuilder file;
    file.Header(1, declared < 0 ? static_cast<int>(bodies.size()) : declared, division);
    for (const Bytes& body : bodies) file.Track(Concat({body, kEnd}));
    return file.Bytes();
}

Bytes Notes(int channel, int firstKey, int count, std::uint32_t step) {
    Bytes body;
    const auto on = static_cast<std::uint8_t>(0x90 | channel);
    const auto off = static_cast<std::uint8_t>(0x80 | channel);
    for (int i = 0; i < count; ++i) {
        const auto key = static_cast<std::uint8_t>(firstKey + (i * 5) % 24);
        body = Concat({body, {0x00, on, key, 100}, VarLen(step), {off, key, 64}});
    }
    return body;
}

Bytes Text(std::uint8_t type, std::size_t length) {
    Bytes payload(length);
    for (std::size_t i = 0; i < length; ++i) payload[i] = static_cast<std::uint8_t>('a' + i % 26);
    return Concat({{0x00, 0xFF, type}, VarLen(static_cast<std::uint32_t>(length)), payload});
}

Bytes SysEx(std::size_t length) {
    Bytes payload(length, 0x11);
    payload.push_back(0xF7);
    return Concat({{0x00, 0xF0}, VarLen(static_cast<std::uint32_t>(payload.size())), payload});
}

Bytes MacBinary(const Bytes& file) {
    Bytes prefix(128, 0);
    prefix[1] = 9;
    for (int i = 0; i < 9; ++i) prefix[2 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>("piece.mid"[i]);
    return Concat({prefix, file});
}

std::vector<std::pair<std::string, Bytes>> Seeds() {
    const Bytes song = Concat({{0x00, 0xC0, 5, 0x00, 0xB0, 7, 100, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
                                0x00, 0xFF, 0x58, 0x04, 4, 2, 24, 8},
                               Notes(0, 60, 8, 48)});
    const Bytes runningStatus = {0x00, 0x90, 60, 100, 0x30, 62, 100, 0x30, 60, 0, 0x00, 62, 0,
                                 0x00, 0xFF, 0x01, 0x02, 'h', 'i', 0x10, 64, 90, 0x30, 64, 0};
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"empty-track", Format0({})},
        {"format0-song", Format0(song)},
        {"running-status", Format0(runningStatus)},
        {"running-status-at-start", Format0({0x00, 60, 100, 0x60, 60, 0})},
        {"note-on-velocity-0", Format0({0x00, 0x91, 48, 80, 0x60, 0x91, 48, 0})},
        {"format1-three-tracks",
         Format1({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x03, 0x03, 'a', 'b', 'c'},
                  Notes(0, 60, 6, 96), Notes(1, 40, 6, 72)})},
        {"format1-seventeen-tracks", Format1(std::vector<Bytes>(17, Notes(2, 50, 2, 24)))},
        {"format1-declares-40", Format1({Notes(0, 60, 3, 48), Notes(9, 36, 3, 48)}, 40)},
        {"format1-declares-5-holds-3", Format1({Notes(0, 60, 2, 48), Notes(1, 60, 2, 48), Notes(2, 60, 2, 48)}, 5)},
        {"format1-declares-0", Format1({Notes(0, 60, 2, 48)}, 0)},
        {"sysex-gs", Format0(Concat({{0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7,
                                      0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7},
                                     Notes(10, 36, 4, 24)}))},
        {"sysex-running-status", Format0({0x00, 0xF0, 0x03, 0x43, 0x12, 0xF7, 0x00, 0x05, 0x43, 0xF7, 0x00, 0x90,
                                          60, 100, 0x30, 0x80, 60, 0})},
        {"escape", Format0({0x00, 0xF7, 0x03, 0x01, 0x02, 0x03, 0x00, 0xF0, 0x02, 0x7E, 0xF7})},
        {"sysex-without-f7", SmfBuilder().Header(0, 1, 96).Track({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01}).Bytes()},
        {"metas",
         Format0(Concat({{0x00, 0xFF, 0x00, 0x02, 0x00, 0x01, 0x00, 0xFF, 0x20, 0x01, 0x03, 0x00, 0xFF, 0x54, 0x05,
                          0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x59, 0x02, 0xFD, 0x01, 0x00, 0xFF, 0x09, 0x03,
                          'x', 'y', 'z', 0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41},
                         Text(0x01, 5), Text(0x02, 7), Text(0x03, 4), Text(0x04, 6), Text(0x05, 3), Text(0x06, 6),
                         Text(0x07, 2), Notes(3, 64, 2, 48)}))},
        {"tempo-changes",
         Format0(Concat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, Notes(0, 60, 2, 48),
                         {0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}, Notes(0, 60, 2, 48),
                         {0x00, 0xFF, 0x51, 0x03, 0x1E, 0x88, 0xE8}, Notes(0, 60, 2, 48),
                         {0x00, 0xFF, 0x51, 0x03, 0x00, 0x01, 0xF4}, Notes(0, 60, 2, 48),
                         {0x00, 0xFF, 0x51, 0x03, 0x00, 0x03, 0xE8}, Notes(0, 60, 2, 48)}))},
        {"long-deltas", Format0(Concat({{0x00, 0x90, 60, 100, 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0,
                                         0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 62, 100, 0x81, 0x80, 0x80, 0x00, 0x80,
                                         62, 0}}))},
        {"macbinary-format0", MacBinary(Format0(song))},
        {"macbinary-format1", MacBinary(Format1({Notes(0, 60, 3, 48), Notes(1, 67, 3, 48)}))},
        {"header-only", SmfBuilder().Header(0, 1, 96).Bytes()},
        {"half-header", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}},
        {"truncated-track", [&] {
             Bytes file = Format0(song);
             file.resize(file.size() - 9);
             return file;
         }()},
        {"chunk-length-past-end", SmfBuilder().Header(0, 1, 96).Chunk("MTrk", 100, {0x00, 0x90, 60, 100}).Bytes()},
        {"controllers-bends-pressure", Format0({0x00, 0xB1, 64, 127, 0x00, 0xE1, 0x00, 0x40, 0x00, 0xA1, 60, 30,
                                                0x00, 0xD1, 50, 0x00, 0x91, 60, 90, 0x20, 0xE1, 0x7F, 0x7F, 0x20,
                                                0x81, 60, 0, 0x00, 0xB1, 64, 0})},
        {"division-0", Format0(Notes(0, 60, 3, 48), 0)},
        {"division-smpte", Format0(Notes(0, 60, 3, 48), 0xE728)},
        {"division-1", Format0(Notes(0, 60, 3, 1), 1)},
        {"chord-and-overlaps", Format0({0x00, 0x90, 60, 100, 0x00, 0x90, 64, 100, 0x00, 0x90, 67, 100, 0x60, 0x80,
                                        60, 0, 0x00, 0x80, 64, 0, 0x00, 0x80, 67, 0, 0x00, 0x90, 60, 90, 0x05, 0x90,
                                        60, 90, 0x05, 0x80, 60, 0, 0x0A, 0x80, 60, 0})},
        {"no-end-of-track", SmfBuilder().Header(0, 1, 96).Track(Notes(0, 60, 4, 48)).Bytes()},
        {"long-text-and-sysex", Format0(Concat({Text(0x01, 300), SysEx(300), Text(0x06, 200), Notes(0, 60, 2, 48)}))},
        {"format2", SmfBuilder().Header(2, 1, 96).Track(Concat({Notes(0, 60, 2, 48), kEnd})).Bytes()},
        {"program-changes", Format0(Concat({{0x00, 0xC1, 5, 0x00, 0xC3, 1, 0x00, 0xC9, 0}, Notes(1, 50, 3, 96),
                                            {0x00, 0xC1, 7}, Notes(1, 55, 3, 96), {0x00, 0xC3, 9},
                                            Notes(3, 40, 3, 96), Notes(9, 36, 4, 24)}))},
        {"time-signatures", Format0(Concat({{0x00, 0xFF, 0x58, 0x04, 3, 2, 24, 8, 0x83, 0x60, 0xFF, 0x58, 0x04, 6,
                                             3, 24, 8, 0x83, 0x60, 0xFF, 0x58, 0x04, 1, 1, 24, 8, 0x00, 0xFF, 0x58,
                                             0x04, 5, 2, 24, 8, 0x87, 0x40},
                                            Notes(0, 60, 3, 48)}))},
        {"notes-beyond-end", Format0({0x00, 0x90, 60, 100, 0x10, 0xFF, 0x2F, 0x00, 0x83, 0x60, 0x80, 60, 0})},
        {"undefined-statuses", Format0({0x00, 0xF1, 0x00, 0xF4, 0x00, 0xF5, 0x00, 0xFE, 0x00, 0x90, 60, 100, 0x10,
                                        0xF8, 0x10, 0x80, 60, 0, 0x00, 0xFD})},
        {"program-data-above-127", Format0({0x00, 0xC5, 0x85, 0x00, 0x95, 60, 100, 0x10, 0x85, 60, 0})},
        {"escape-past-end", SmfBuilder().Header(0, 1, 96).Track({0x00, 0xF7, 0x40, 0x01, 0x02}).Bytes()},
        {"five-byte-varlen", Format0({0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100, 0x10, 0x80, 60, 0})},
    };
    // Two files in a row, for the target that loads one after the other: the
    // second's track starts with data bytes, read with no status when alone.
    const Bytes startsWithData = Format0({0x00, 60, 100, 0x60, 60, 0});
    seeds.emplace_back("pair-format0-then-data-first", Concat({Format0(song), startsWithData}));
    seeds.emplace_back("pair-format1-then-data-first",
                       Concat({Format1({Notes(0, 60, 3, 48), {0x00, 0xB3, 7, 90}}), startsWithData}));
    // A piece of a few thousand events, as real songs are.
    Bytes many;
    for (int bar = 0; bar < 64; ++bar) many = Concat({many, Notes(bar % 16, 36 + bar % 48, 24, 12)});
    seeds.emplace_back("many-events", Format1({many, Notes(9, 36, 200, 6)}));
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: solvane_make_seeds FOLDER\n");
        return 64;
    }
    const std::filesystem::path folder(argv[1]);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int written = 0;
    for (const auto& [name, bytes] : Seeds()) {
        std::ofstream out(folder / (name + ".mid"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "solvane_make_seeds: cannot write %s\n", (folder / name).c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seed files in %s\n", written, folder.c_str());
    return 0;
}
