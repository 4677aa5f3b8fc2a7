#include "bench/LargeFiles.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace solvane::bench {
namespace {

constexpr std::uint32_t kDivision = 480;
constexpr std::uint32_t kBar = 4 * kDivision;
constexpr std::uint32_t kSixteenth = kDivision / 4;
constexpr std::uint32_t kEighth = kDivision / 2;

// SplitMix64: the same numbers on every platform and standard library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }
    bool Chance(int percent) { return Below(100) < percent; }

private:
    std::uint64_t state_;
};

void PutVarLen(Bytes& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

std::size_t VarLenSize(std::uint32_t value) {
    std::size_t n = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++n;
    }
    return n;
}

template <typename T>
std::uint8_t Byte(T value) {
    return static_cast<std::uint8_t>(value);
}

// One track chunk, written a bar at a time: the bar's events are collected,
// put in time order (stable) and encoded; a bar that does not fit is undone.
class TrackWriter {
public:
    TrackWriter(bool runningStatus, bool offsAsZeroVelocity)
        : runningStatus_(runningStatus), offsAsZeroVelocity_(offsAsZeroVelocity) {}

    void Event(std::uint32_t time, std::initializer_list<std::uint8_t> bytes) {
        pending_.push_back({time, Bytes(bytes)});
    }
    void Event(std::uint32_t time, Bytes bytes) {
        pending_.push_back({time, std::move(bytes)});
    }
    void Note(std::uint32_t time, std::uint32_t length, int channel, int key, int velocity) {
        key = std::clamp(key, 0, 127);
        Event(time, {Byte(0x90 | channel), Byte(key), Byte(std::clamp(velocity, 1, 127))});
        if (offsAsZeroVelocity_) {
            Event(time + length, {Byte(0x90 | channel), Byte(key), 0});
        } else {
            Event(time + length, {Byte(0x80 | channel), Byte(key), 0x40});
        }
    }
    void Control(std::uint32_t time, int channel, int controller, int value) {
        Event(time, {Byte(0xB0 | channel), Byte(controller), Byte(std::clamp(value, 0, 127))});
    }
    void Program(std::uint32_t time, int channel, int program) { Event(time, {Byte(0xC0 | channel), Byte(program)}); }
    void Bend(std::uint32_t time, int channel, int value) {
        value = std::clamp(value, 0, 0x3FFF);
        Event(time, {Byte(0xE0 | channel), Byte(value & 0x7F), Byte(value >> 7)});
    }
    void Text(std::uint32_t time, int type, std::string_view text) {
        Bytes bytes{0xFF, Byte(type)};
        PutVarLen(bytes, static_cast<std::uint32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        Event(time, std::move(bytes));
    }
    void Tempo(std::uint32_t time, std::uint32_t microseconds) {
        Event(time, {0xFF, 0x51, 0x03, Byte(microseconds >> 16), Byte(microseconds >> 8), Byte(microseconds)});
    }

    // Encodes the collected events behind the ones already written.
    void Flush() {
        mark_ = {body_.size(), lastTime_, status_};
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Pending& a, const Pending& b) { return a.time < b.time; });
        for (const Pending& p : pending_) {
            PutVarLen(body_, p.time - lastTime_);
            lastTime_ = p.time;
            const std::uint8_t status = p.bytes.front();
            const bool channelMessage = status < 0xF0;
            const bool skipStatus = runningStatus_ && channelMessage && status == status_;
            body_.insert(body_.end(), p.bytes.begin() + (skipStatus ? 1 : 0), p.bytes.end());
            // Meta events leave running status alone; exclusive messages cancel it.
            if (channelMessage) {
                status_ = status;
            } else if (status != 0xFF) {
                status_ = 0;
            }
        }
        pending_.clear();
    }
    void Undo() {
        body_.resize(mark_.size);
        lastTime_ = mark_.lastTime;
        status_ = mark_.status;
    }

    // The chunk as it would be with its End of Track at end.
    std::size_t ChunkSize(std::uint32_t end) const { return 8 + body_.size() + VarLenSize(end - lastTime_) + 3; }
    void AppendChunk(Bytes& file, std::uint32_t end) const {
        Bytes body = body_;
        PutVarLen(body, end - lastTime_);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        const auto length = static_cast<std::uint32_t>(body.size());
        file.insert(file.end(), {'M', 'T', 'r', 'k', Byte(length >> 24), Byte(length >> 16), Byte(length >> 8),
                                 Byte(length)});
        file.insert(file.end(), body.begin(), body.end());
    }

private:
    struct Pending {
        std::uint32_t time;
        Bytes bytes;
    };
    struct Mark {
        std::size_t size = 0;
        std::uint32_t lastTime = 0;
        std::uint8_t status = 0;
    };
    bool runningStatus_;
    bool offsAsZeroVelocity_;
    Bytes body_;
    std::vector<Pending> pending_;
    std::uint32_t lastTime_ = 0;
    std::uint8_t status_ = 0;
    Mark mark_;
};

// I-vi-IV-V in C, then ii-V-I-I: chord roots and their triads.
constexpr std::array<std::array<int, 3>, 8> kChords = {{
    {60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62},
    {62, 65, 69}, {55, 59, 62}, {60, 64, 67}, {60, 64, 67},
}};
constexpr std::array<int, 7> kScale = {0, 2, 4, 5, 7, 9, 11};

int ScaleKey(int base, int step) {
    const int octave = step >= 0 ? step / 7 : (step - 6) / 7;
    return base + 12 * octave + kScale[static_cast<std::size_t>(step - 7 * octave)];
}

const std::array<int, 3>& ChordOf(int bar) { return kChords[static_cast<std::size_t>(bar % 8)]; }

void DrumBar(TrackWriter& t, Random& r, std::uint32_t start, int channel) {
    for (std::uint32_t i = 0; i < 16; ++i) {
        const std::uint32_t at = start + i * kSixteenth;
        t.Note(at, 60, channel, i % 4 == 2 ? 46 : 42, r.Between(50, 90));
        if (i % 8 == 0 || r.Chance(15)) t.Note(at, 90, channel, 36, r.Between(90, 120));
        if (i % 8 == 4) t.Note(at, 90, channel, 38, r.Between(90, 120));
        if (r.Chance(5)) t.Note(at, 90, channel, r.Between(41, 50), r.Between(70, 100));
    }
}

void BassBar(TrackWriter& t, Random& r, std::uint32_t start, int channel, int bar) {
    const int root = ChordOf(bar)[0] - 24;
    for (std::uint32_t i = 0; i < 8; ++i) {
        const int key = i % 4 == 2 ? root + 7 : root + (r.Chance(20) ? 12 : 0);
        t.Note(start + i * kEighth, kEighth - 20, channel, key, r.Between(80, 110));
    }
}

void PadBar(TrackWriter& t, Random& r, std::uint32_t start, int channel, int bar, int octave) {
    for (int key : ChordOf(bar)) t.Note(start, kBar - 10, channel, key + 12 * octave, r.Between(50, 70));
    t.Note(start, kBar - 10, channel, ChordOf(bar)[0] + 12 * octave - 12, r.Between(50, 70));
    for (std::uint32_t i = 0; i < 16; ++i) {
        t.Control(start + i * kSixteenth, channel, 11, 64 + static_cast<int>(i) * 3 + r.Below(4));
    }
}

void LeadBar(TrackWriter& t, Random& r, std::uint32_t start, int channel, int bar, bool bends, int step) {
    int degree = r.Between(0, 6);
    const std::uint32_t unit = step == 16 ? kSixteenth : kEighth;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(step); ++i) {
        degree = std::clamp(degree + r.Between(-2, 2), -3, 10);
        t.Note(start + i * unit, unit - 10, channel, ScaleKey(ChordOf(bar)[0], degree), r.Between(70, 110));
    }
    if (bends) {
        for (std::uint32_t i = 0; i < 32; ++i) {
            t.Bend(start + i * (kSixteenth / 2), channel, 0x2000 + static_cast<int>((i % 8) * 200) - 700);
        }
    } else {
        for (std::uint32_t i = 0; i < 8; ++i) t.Control(start + i * kEighth, channel, 1, static_cast<int>(i) * 12);
    }
}

void ChordBar(TrackWriter& t, Random& r, std::uint32_t start, int channel, int bar, int octave) {
    for (std::uint32_t beat = 0; beat < 4; ++beat) {
        for (int key : ChordOf(bar)) {
            t.Note(start + beat * kDivision, kDivision - 20, channel, key + 12 * octave, r.Between(60, 90));
        }
    }
    for (std::uint32_t i = 0; i < 8; ++i) t.Control(start + i * kEighth, channel, 11, 90 + r.Below(20));
}

void ArpeggioBar(TrackWriter& t, Random& r, std::uint32_t start, int channel, int bar) {
    const auto& chord = ChordOf(bar);
    for (std::uint32_t i = 0; i < 16; ++i) {
        const int key = chord[i % 3] + 12 * static_cast<int>((i / 3) % 3) - 12;
        t.Note(start + i * kSixteenth, kSixteenth - 10, channel, key, r.Between(60, 100));
    }
}

void Setup(TrackWriter& t, int channel, int program, std::string_view name) {
    t.Text(0, 0x03, name);
    t.Program(0, channel, program);
    t.Control(0, channel, 7, 100);
    t.Control(0, channel, 10, 16 + channel * 6);
    t.Control(0, channel, 91, 40);
}

void ConductorSetup(TrackWriter& t) {
    t.Text(0, 0x02, "(c) generated for benchmarks");
    t.Tempo(0, 500000);
    t.Event(0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
    t.Event(0, {0xFF, 0x59, 0x02, 0x00, 0x00});
}

void ConductorBar(TrackWriter& t, Random& r, std::uint32_t start, int bar) {
    if (bar % 4 == 3) t.Tempo(start, static_cast<std::uint32_t>(r.Between(440000, 560000)));
    if (bar % 8 == 0) t.Text(start, 0x06, "Section " + std::to_string(bar / 8 + 1));
}

// Sixteen tracks, track k on channel k; track 0 also holds the tempo map.
void DenseBar(std::vector<TrackWriter>& tracks, Random& r, int bar) {
    const std::uint32_t start = static_cast<std::uint32_t>(bar) * kBar;
    ConductorBar(tracks[0], r, start, bar);
    ArpeggioBar(tracks[0], r, start, 0, bar);
    BassBar(tracks[1], r, start, 1, bar);
    for (int k = 2; k <= 4; ++k) PadBar(tracks[static_cast<std::size_t>(k)], r, start, k, bar, k - 3);
    LeadBar(tracks[5], r, start, 5, bar, true, 16);
    LeadBar(tracks[6], r, start, 6, bar, false, 16);
    LeadBar(tracks[7], r, start, 7, bar, false, 8);
    LeadBar(tracks[8], r, start, 8, bar, true, 8);
    DrumBar(tracks[9], r, start, 9);
    for (int k = 10; k <= 15; ++k) ChordBar(tracks[static_cast<std::size_t>(k)], r, start, k, bar, (k % 3) - 1);
}

// One track: drums, bass, guitar, organ, piano, a sung line with lyrics and strings.
void BandBar(TrackWriter& t, Random& r, int bar) {
    const std::uint32_t start = static_cast<std::uint32_t>(bar) * kBar;
    ConductorBar(t, r, start, bar);
    DrumBar(t, r, start, 9);
    BassBar(t, r, start, 1, bar);
    for (std::uint32_t i = 0; i < 8; ++i) {
        for (int key : ChordOf(bar)) t.Note(start + i * kEighth, kEighth - 30, 2, key - 12, r.Between(60, 90));
    }
    PadBar(t, r, start, 3, bar, 0);
    ChordBar(t, r, start, 0, bar, 0);
    int degree = 4;
    for (std::uint32_t i = 0; i < 8; ++i) {
        degree = std::clamp(degree + r.Between(-2, 2), 0, 9);
        const std::uint32_t at = start + i * kEighth;
        if (r.Chance(40)) t.Text(at, 0x05, i % 2 == 0 ? "la" : "na");
        t.Note(at, kEighth - 15, 4, ScaleKey(ChordOf(bar)[0], degree), r.Between(80, 110));
        t.Bend(at + kSixteenth, 4, 0x2000 + r.Between(-300, 300));
        t.Bend(at + kSixteenth + 60, 4, 0x2000);
    }
    for (int key : ChordOf(bar)) t.Note(start, kBar / 2, 5, key + 12, 60);
    for (int key : ChordOf(bar)) t.Note(start + kBar / 2, kBar / 2, 5, key + 12, 60);
}

// Right hand: runs and chords with the tempo; left hand: broken chords and the pedal.
void PianoBar(std::vector<TrackWriter>& tracks, Random& r, int bar) {
    const std::uint32_t start = static_cast<std::uint32_t>(bar) * kBar;
    TrackWriter& right = tracks[0];
    TrackWriter& left = tracks[1];
    ConductorBar(right, r, start, bar);
    int degree = r.Between(7, 12);
    for (std::uint32_t i = 0; i < 32; ++i) {
        const std::uint32_t at = start + i * (kSixteenth / 2);
        degree = std::clamp(degree + (r.Chance(70) ? 1 : -2) * (bar % 2 == 0 ? 1 : -1), 2, 18);
        right.Note(at, kSixteenth / 2 - 5, 0, ScaleKey(48, degree), r.Between(55, 95));
        if (i % 8 == 0) {
            for (int key : ChordOf(bar)) right.Note(at, kDivision - 30, 0, key + 12, r.Between(70, 100));
        }
    }
    const auto& chord = ChordOf(bar);
    static constexpr std::array<int, 4> kAlberti = {0, 2, 1, 2};
    for (std::uint32_t i = 0; i < 16; ++i) {
        const int key = chord[static_cast<std::size_t>(kAlberti[i % 4])] - 12;
        left.Note(start + i * kSixteenth, kSixteenth - 5, 0, key, r.Between(45, 75));
    }
    left.Note(start, kBar - 40, 0, chord[0] - 24, 70);
    left.Control(start, 0, 64, 0);
    left.Control(start + 10, 0, 64, 127);
}

Bytes Header(int format, int tracks) {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, Byte(format), 0, Byte(tracks), Byte(kDivision >> 8), Byte(kDivision)};
}

}  // namespace

Bytes MakePiece(PieceKind kind, std::int32_t maxBytes) {
    Random random(kind == PieceKind::kDenseFormat1 ? 0x5EED1 : kind == PieceKind::kBandFormat0 ? 0x5EED0 : 0x5EED2);
    std::vector<TrackWriter> tracks;
    int format = 1;
    switch (kind) {
        case PieceKind::kDenseFormat1: {
            static constexpr std::array<int, 16> kPrograms = {0, 33, 89, 90, 48, 81, 73, 65, 56, 0,
                                                              40, 41, 42, 60, 57, 71};
            for (int k = 0; k < 16; ++k) {
                tracks.emplace_back(false, false);
                if (k == 0) ConductorSetup(tracks.back());
                Setup(tracks.back(), k, kPrograms[static_cast<std::size_t>(k)], "Part " + std::to_string(k + 1));
            }
            break;
        }
        case PieceKind::kBandFormat0: {
            format = 0;
            tracks.emplace_back(true, true);
            TrackWriter& t = tracks.back();
            ConductorSetup(t);
            t.Event(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
            static constexpr std::array<std::pair<int, int>, 7> kParts = {
                {{9, 0}, {1, 33}, {2, 29}, {3, 16}, {0, 0}, {4, 65}, {5, 48}}};
            for (const auto& [channel, program] : kParts) Setup(t, channel, program, "Band " + std::to_string(channel));
            break;
        }
        case PieceKind::kPianoTwoTracks:
            tracks.emplace_back(true, false);
            tracks.emplace_back(true, false);
            ConductorSetup(tracks[0]);
            Setup(tracks[0], 0, 0, "Right hand");
            tracks[1].Text(0, 0x03, "Left hand");
            break;
    }
    for (TrackWriter& t : tracks) t.Flush();

    int bars = 0;
    for (;; ++bars) {
        switch (kind) {
            case PieceKind::kDenseFormat1: DenseBar(tracks, random, bars); break;
            case PieceKind::kBandFormat0: BandBar(tracks[0], random, bars); break;
            case PieceKind::kPianoTwoTracks: PianoBar(tracks, random, bars); break;
        }
        for (TrackWriter& t : tracks) t.Flush();
        const auto end = static_cast<std::uint32_t>(bars + 1) * kBar;
        std::size_t size = 14;
        for (const TrackWriter& t : tracks) size += t.ChunkSize(end);
        if (size > static_cast<std::size_t>(maxBytes)) {
            for (TrackWriter& t : tracks) t.Undo();
            break;
        }
    }
    Bytes file = Header(format, static_cast<int>(tracks.size()));
    const auto end = static_cast<std::uint32_t>(bars) * kBar;
    for (const TrackWriter& t : tracks) t.AppendChunk(file, end);
    return file;
}

std::string PieceName(PieceKind kind) {
    switch (kind) {
        case PieceKind::kDenseFormat1: return "dense-f1";
        case PieceKind::kBandFormat0: return "band-f0";
        case PieceKind::kPianoTwoTracks: return "piano-2tr";
    }
    return "piece";
}

std::vector<BenchFile> StandardFiles() {
    std::vector<BenchFile> files;
    for (PieceKind kind : {PieceKind::kDenseFormat1, PieceKind::kBandFormat0, PieceKind::kPianoTwoTracks}) {
        files.push_back({PieceName(kind) + "-quarter.mid", kind, (kFullSize + 1) / 4 - 1});
        files.push_back({PieceName(kind) + "-half.mid", kind, (kFullSize + 1) / 2 - 1});
        files.push_back({PieceName(kind) + "-full.mid", kind, kFullSize});
    }
    return files;
}

}  // namespace solvane::bench
