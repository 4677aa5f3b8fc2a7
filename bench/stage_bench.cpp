// Time of each processing stage on the generated pieces (bench/LargeFiles.h):
// reading the chunks, note form, the split by channel, the merge, event form,
// both reversals, writing, the play preparation, and the whole load and
// Save as the command line runs them. Each iteration prepares its input
// untimed and times the stage alone (manual time: the processor time of the
// thread), on memory the process already holds.
//
//   stage_bench [--benchmark_filter=REGEX] [--benchmark_repetitions=N ...]

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include "bench/LargeFiles.h"
#include "platform/MessageSink.h"
#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "track/MidiTrackData.h"

namespace {

namespace fs = std::filesystem;
using solvane::MidiF0Data;
using solvane::MidiFileLoader;
using solvane::MidiTrackData;

// Reports are counted, not shown: a large piece may report oversized events.
class CountingSink : public solvane::MessageSink {
public:
    void Show(std::string_view, std::uint32_t, std::string_view) override { ++count; }
    long count = 0;
};

CountingSink g_sink;

struct Piece {
    std::string name;
    std::string path;
    solvane::bench::Bytes bytes;
};

std::vector<Piece>& Pieces() {
    static std::vector<Piece> pieces;
    return pieces;
}

fs::path& PieceDir() {
    static fs::path dir;
    return dir;
}

// Runs body (which returns the seconds it timed) once per iteration.
template <typename Body>
void Timed(benchmark::State& state, Body body) {
    const long reportsBefore = g_sink.count;
    for (auto _ : state) state.SetIterationTime(body());
    state.counters["reports/iter"] =
        benchmark::Counter(static_cast<double>(g_sink.count - reportsBefore) / static_cast<double>(state.iterations()));
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The processor time of this thread (page faults included): on a machine
// shared with other work, wall time would count the time others had the core.
template <typename Step>
double Seconds(Step step) {
    const double start = ThreadSeconds();
    step();
    return ThreadSeconds() - start;
}

std::unique_ptr<MidiF0Data> LoadSong(const Piece& piece) {
    MidiTrackData::ResetReaderState();
    MidiFileLoader loader(piece.path);
    if (loader.size == 0) return nullptr;
    loader.BuildSong();
    return std::move(loader.song);
}

// As the command line loads: a format-0 piece merged in its own list.
std::unique_ptr<MidiF0Data> LoadSongAtOnce(const Piece& piece) {
    MidiTrackData::ResetReaderState();
    MidiFileLoader loader(piece.path, MidiFileLoader::AndBuildSong{});
    return std::move(loader.song);
}

// Every track chunk of the file, read into event form as the readers do.
std::vector<std::unique_ptr<MidiTrackData>> ReadChunks(const Piece& piece) {
    MidiTrackData::ResetReaderState();
    const auto size = static_cast<std::int32_t>(piece.bytes.size());
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    std::int32_t offset = 14;
    while (offset + 8 <= size && std::memcmp(piece.bytes.data() + offset, "MTrk", 4) == 0) {
        tracks.push_back(std::make_unique<MidiTrackData>(size, offset, piece.bytes.data()));
        if (tracks.back()->size == 0) break;
        offset += tracks.back()->size;
    }
    return tracks;
}

// The loader before its merge, the loaded song and its event form, made once
// per piece: most stages start from a fresh copy of one of them.
struct Prepared {
    std::unique_ptr<MidiFileLoader> loader;
    std::vector<const MidiTrackData*> tracks;
    std::unique_ptr<MidiF0Data> song;
    std::unique_ptr<MidiF0Data> eventForm;
};

const Prepared& PreparedFor(const Piece& piece) {
    static std::map<const Piece*, Prepared> cache;
    Prepared& prepared = cache[&piece];
    if (!prepared.song) {
        MidiTrackData::ResetReaderState();
        prepared.loader = std::make_unique<MidiFileLoader>(piece.path);
        for (std::int32_t k = 0; k < prepared.loader->reader->trackCount; ++k) {
            prepared.tracks.push_back(prepared.loader->reader->tracks[static_cast<std::size_t>(k)].get());
        }
        prepared.song = LoadSong(piece);
        prepared.eventForm = std::make_unique<MidiF0Data>(*prepared.song);
        prepared.eventForm->ToEventForm();
    }
    return prepared;
}

// A song in event form holding a copy of the prepared event list (a song
// copy proper is made in note form only).
std::unique_ptr<MidiF0Data> EventFormCopy(const Piece& piece) {
    const MidiF0Data& source = *PreparedFor(piece).eventForm;
    auto copy = std::make_unique<MidiF0Data>(solvane::kStateEventForm);
    copy->division = source.division;
    copy->track->events = source.track->events;
    return copy;
}

void RegisterStages(const Piece& piece) {
    auto add = [&piece](const char* stage, auto body) {
        auto run = [&piece, body](benchmark::State& state) { Timed(state, [&] { return body(piece); }); };
        benchmark::RegisterBenchmark((std::string(stage) + "/" + piece.name).c_str(), run)
            ->UseManualTime()
            ->MinTime(0.2)
            ->Unit(benchmark::kMillisecond);
    };
    add("Read", [](const Piece& p) {
        std::vector<std::unique_ptr<MidiTrackData>> tracks;
        return Seconds([&] { tracks = ReadChunks(p); });
    });
    add("ToNoteForm", [](const Piece& p) {
        auto tracks = ReadChunks(p);
        return Seconds([&] {
            for (auto& track : tracks) track->ToNoteForm();
        });
    });
    add("SplitByChannel", [](const Piece& p) {
        const MidiF0Data& song = *PreparedFor(p).song;
        std::unique_ptr<solvane::MidiF1Data> split;
        return Seconds([&] { split = std::make_unique<solvane::MidiF1Data>(song); });
    });
    // The loader's BuildSong: every track (16 for a format-0 piece, split by
    // channel) merged into a new song, last track first.
    add("Merge", [](const Piece& p) {
        const Prepared& prepared = PreparedFor(p);
        MidiF0Data song(solvane::kStateNoteForm);
        return Seconds([&] { song.track->MergeTracks(prepared.tracks); });
    });
    add("ToEventForm", [](const Piece& p) {
        MidiF0Data copy(*PreparedFor(p).song);
        return Seconds([&] { copy.ToEventForm(); });
    });
    add("ReverseHorizontal", [](const Piece& p) {
        auto copy = EventFormCopy(p);
        return Seconds([&] { copy->ReverseHorizontal(); });
    });
    add("ReverseVertical", [](const Piece& p) {
        auto copy = EventFormCopy(p);
        return Seconds([&] { copy->ReverseVertical(); });
    });
    add("WriteSmf", [](const Piece& p) {
        auto copy = EventFormCopy(p);
        copy->ReverseHorizontal();
        copy->ReverseVertical();
        return Seconds([&] { copy->WriteSmf(); });
    });
    // What a play does before its worker starts: copy, 96 ticks a quarter, event form, leading bars.
    add("PlayPreparation", [](const Piece& p) {
        const MidiF0Data& song = *PreparedFor(p).song;
        std::unique_ptr<MidiF0Data> copy;
        return Seconds([&] {
            copy = std::make_unique<MidiF0Data>(song);
            copy->ChangeDivision(96);
            copy->ToEventForm();
            copy->TrimLeadingBars();
        });
    });
    // The window's load (Load, then BuildSong) and the command line's.
    add("WholeLoad", [](const Piece& p) {
        std::unique_ptr<MidiF0Data> song;
        return Seconds([&] { song = LoadSong(p); });
    });
    add("WholeLoadAtOnce", [](const Piece& p) {
        std::unique_ptr<MidiF0Data> song;
        return Seconds([&] { song = LoadSongAtOnce(p); });
    });
    // The command line's convert -H -V in this process: load, Save's steps on
    // the loaded song itself, the file write.
    add("WholeConvertHV", [](const Piece& p) {
        const std::string out = (PieceDir() / ("out-" + p.name + ".mid")).string();
        return Seconds([&] {
            auto song = LoadSongAtOnce(p);
            song->ToEventForm();
            song->ReverseHorizontal();
            song->ReverseVertical();
            song->WriteSmf();
            solvane::WriteWholeFile(out, song->Bytes(), song->size);
        });
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Freed blocks stay with the process, as in a window that has run a
    // while: each stage is timed on memory already touched, not on the page
    // faults of blocks mapped anew at every repetition (the first touches of
    // a fresh process are what convert_timing.sh measures).
    constexpr int kMiB = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, 256 * kMiB);
    mallopt(M_TRIM_THRESHOLD, 512 * kMiB);
    solvane::InstallMessageSink(&g_sink);
    PieceDir() = fs::temp_directory_path() / ("solvane-stage-bench-" + std::to_string(::getpid()));
    fs::create_directories(PieceDir());
    for (const auto& file : solvane::bench::StandardFiles()) {
        Piece piece{file.name.substr(0, file.name.size() - 4), (PieceDir() / file.name).string(),
                    solvane::bench::MakePiece(file.kind, file.maxBytes)};
        std::ofstream(piece.path, std::ios::binary)
            .write(reinterpret_cast<const char*>(piece.bytes.data()), static_cast<std::streamsize>(piece.bytes.size()));
        Pieces().push_back(std::move(piece));
    }
    for (const Piece& piece : Pieces()) RegisterStages(piece);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(PieceDir(), ignored);
    solvane::InstallMessageSink(nullptr);
    return 0;
}
