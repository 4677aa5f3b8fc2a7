// Whole files through the program's steps, once with the plain algorithms
// (ReferenceForms) and once with the core's: the load (read, note form,
// split, merge), Save with every box combination, and the play preparation
// must give the same songs, the same written bytes and the same reports.
// Inputs: files made at random from fixed seeds, the files of tests/data and
// the shared corpus.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "tests/reference/Compare.h"
#include "tests/reference/RandomLists.h"
#include "tests/reference/ReferenceForms.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::RandomLists;
using test::Recorded;
using test::Report;

struct Run {
    std::int32_t size = 0;
    std::vector<Report> loadReports;
    std::unique_ptr<MidiF0Data> song;
    std::vector<Bytes> saved;
    std::vector<std::vector<Report>> saveReports;
    std::unique_ptr<MidiF0Data> prepared;
    std::vector<Report> prepareReports;
};

// How the file is loaded: with the plain algorithms, with the loader's Load
// and then BuildSong (as the window does), or with both at once (as the
// command line does).
enum class Loading { kPlain, kStepByStep, kAtOnce };

// Load, the four Saves and the play preparation, one after the other as in
// the program (the reader's running status and once-per-track warnings carry
// over from step to step), from a fresh start.
Run RunSteps(const std::string& path, Loading loading) {
    const bool plain = loading == Loading::kPlain;
    MidiTrackData::ResetReaderState();
    Run run;
    run.loadReports = Recorded([&] {
        if (plain) {
            reference::Loaded loaded = reference::Load(path);
            run.size = loaded.size;
            run.song = std::move(loaded.song);
            return;
        }
        if (loading == Loading::kAtOnce) {
            MidiFileLoader loader(path, MidiFileLoader::AndBuildSong{});
            EXPECT_TRUE(loader.size == 0 || loader.reader == nullptr);
            run.size = loader.size;
            run.song = std::move(loader.song);
            return;
        }
        MidiFileLoader loader(path);
        run.size = loader.size;
        if (loader.size == 0) return;
        loader.BuildSong();
        run.song = std::move(loader.song);
    });
    if (!run.song) return run;
    for (int boxes = 0; boxes < 4; ++boxes) {
        Bytes bytes;
        run.saveReports.push_back(Recorded([&] {
            MidiF0Data copy(*run.song);
            if (plain) {
                reference::ToEventForm(copy);
                if ((boxes & 1) != 0) reference::ReverseHorizontal(copy);
                if ((boxes & 2) != 0) reference::ReverseVertical(copy);
                reference::WriteSmf(copy);
            } else {
                copy.ToEventForm();
                if ((boxes & 1) != 0) copy.ReverseHorizontal();
                if ((boxes & 2) != 0) copy.ReverseVertical();
                copy.WriteSmf();
            }
            bytes.assign(copy.Bytes(), copy.Bytes() + std::max(copy.size, 0));
        }));
        run.saved.push_back(std::move(bytes));
    }
    run.prepareReports = Recorded([&] {
        run.prepared = std::make_unique<MidiF0Data>(*run.song);
        run.prepared->ChangeDivision(96);
        if (plain) {
            reference::ToEventForm(*run.prepared);
        } else {
            run.prepared->ToEventForm();
        }
        run.prepared->TrimLeadingBars();
    });
    return run;
}

void ExpectSameRuns(const std::string& path, Loading loading) {
    const Run expected = RunSteps(path, Loading::kPlain);
    const Run actual = RunSteps(path, loading);
    EXPECT_EQ(expected.size, actual.size);
    {
        SCOPED_TRACE("load");
        test::ExpectSameReports(expected.loadReports, actual.loadReports);
        ASSERT_EQ(expected.song == nullptr, actual.song == nullptr);
        if (!expected.song) return;
        test::ExpectSameSong(*expected.song, *actual.song);
    }
    ASSERT_EQ(expected.saved.size(), actual.saved.size());
    for (std::size_t boxes = 0; boxes < expected.saved.size(); ++boxes) {
        SCOPED_TRACE(testing::Message() << "save with boxes " << boxes);
        test::ExpectSameReports(expected.saveReports[boxes], actual.saveReports[boxes]);
        EXPECT_TRUE(expected.saved[boxes] == actual.saved[boxes]) << "the written files differ";
    }
    SCOPED_TRACE("play preparation");
    test::ExpectSameReports(expected.prepareReports, actual.prepareReports);
    test::ExpectSameSong(*expected.prepared, *actual.prepared);
}

std::uint8_t Byte(std::int32_t value) { return static_cast<std::uint8_t>(value); }

void PutVarLen(Bytes& out, std::uint32_t value) {
    const Bytes bytes = test::VarLen(value);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A track body as files hold them, damaged now and then: running status,
// note-ons of velocity 0, notes left open, Ends of Track in the middle,
// oversized texts and exclusives, exclusives without their end, stray
// status bytes, five-byte delta times.
Bytes RandomTrackBody(RandomLists& random) {
    Bytes body;
    const std::int32_t events = random.Chance(5) ? random.Between(400, 1500) : random.Below(120);
    std::vector<std::pair<std::uint8_t, std::uint8_t>> open;
    for (std::int32_t e = 0; e < events; ++e) {
        if (random.Chance(2)) {
            body.insert(body.end(), {0x8F, 0xFF, 0xFF, 0xFF, 0x7F});  // more than 32 bits
        } else if (random.Chance(3)) {
            PutVarLen(body, static_cast<std::uint32_t>(random.Between(0x10000, 0x0FFFFFFF)));
        } else {
            PutVarLen(body, random.Chance(50) ? 0 : static_cast<std::uint32_t>(random.Between(1, 200)));
        }
        const auto channel = static_cast<std::uint8_t>(random.Chance(80) ? random.Below(3) : random.Below(16));
        const bool running = random.Chance(30);
        const std::int32_t roll = random.Below(100);
        if (roll < 35) {
            const auto key = static_cast<std::uint8_t>(random.Between(58, 62));
            if (!running) body.push_back(static_cast<std::uint8_t>(0x90 | channel));
            body.insert(body.end(), {key, static_cast<std::uint8_t>(random.Between(1, 127))});
            open.emplace_back(channel, key);
        } else if (roll < 65) {
            std::uint8_t ch = channel;
            std::uint8_t key = static_cast<std::uint8_t>(random.Between(58, 62));
            if (!open.empty() && random.Chance(85)) {
                const auto which = static_cast<std::size_t>(random.Below(static_cast<std::int32_t>(open.size())));
                ch = open[which].first;
                key = open[which].second;
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(which));
            }
            if (!running) body.push_back(static_cast<std::uint8_t>((random.Chance(50) ? 0x80 : 0x90) | ch));
            body.insert(body.end(), {key, 0});
        } else if (roll < 72) {
            if (!running) body.push_back(static_cast<std::uint8_t>(0xB0 | channel));
            body.insert(body.end(), {Byte(random.Below(120)), Byte(random.Below(128))});
        } else if (roll < 78) {
            body.insert(body.end(), {Byte(0xC0 | channel), Byte(random.Chance(5) ? 0x85 : random.Below(128))});
        } else if (roll < 81) {
            body.insert(body.end(), {Byte((random.Chance(50) ? 0xE0 : 0xA0) | channel), Byte(random.Below(128)),
                                     Byte(random.Below(128))});
        } else if (roll < 84) {
            const std::int32_t size = random.Chance(20) ? random.Between(255, 300) : random.Between(1, 10);
            body.push_back(0xF0);
            PutVarLen(body, static_cast<std::uint32_t>(size + 1));
            for (std::int32_t i = 0; i < size; ++i) body.push_back(static_cast<std::uint8_t>(random.Below(128)));
            if (random.Chance(90)) body.push_back(0xF7);
        } else if (roll < 86) {
            body.insert(body.end(), {0xF7, 0x02, 0x01, 0x02});
        } else if (roll < 91) {
            const std::int32_t size = random.Chance(15) ? random.Between(255, 320) : random.Between(0, 12);
            body.insert(body.end(), {0xFF, static_cast<std::uint8_t>(random.Between(1, 9))});
            PutVarLen(body, static_cast<std::uint32_t>(size));
            for (std::int32_t i = 0; i < size; ++i) body.push_back(static_cast<std::uint8_t>('a' + random.Below(26)));
        } else if (roll < 94) {
            body.insert(body.end(), {0xFF, 0x51, 0x03, Byte(random.Chance(5) ? 0 : 7), Byte(random.Below(256)),
                                     Byte(random.Below(256))});
        } else if (roll < 95) {
            body.insert(body.end(), {0xFF, 0x58, 0x04, static_cast<std::uint8_t>(random.Between(1, 6)), 2, 24, 8});
        } else if (roll < 97) {
            body.insert(body.end(), {0xFF, 0x2F, 0x00});
        } else {
            body.push_back(static_cast<std::uint8_t>(random.Chance(50) ? 0xF4 : random.Below(256)));
        }
    }
    if (random.Chance(90)) body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    return body;
}

Bytes RandomFile(RandomLists& random) {
    const std::int32_t format = random.Chance(3) ? 2 : random.Below(2);
    std::int32_t tracks = format == 0 ? (random.Chance(5) ? 2 : 1) : random.Between(1, 6);
    if (random.Chance(3)) tracks = random.Between(17, 40);
    const std::int32_t division = random.Chance(80) ? (random.Chance(50) ? 96 : 480) : random.Between(0, 1000);
    test::SmfBuilder file;
    if (random.Chance(3)) file.Raw(Bytes(128, 0x11));
    file.Header(format, tracks, division);
    const std::int32_t written = random.Chance(5) ? tracks - random.Below(tracks) : tracks;
    for (std::int32_t k = 0; k < written; ++k) {
        const Bytes body = RandomTrackBody(random);
        if (random.Chance(3)) {
            const std::int64_t claimed = static_cast<std::int64_t>(body.size()) + random.Between(-4, 4);
            const auto length = static_cast<std::uint32_t>(std::max<std::int64_t>(0, claimed));
            file.Chunk("MTrk", length, body);
        } else {
            file.Track(body);
        }
    }
    return file.Bytes();
}

// A format-0 arrangement in good order: parts on every channel, their
// chords and simultaneous events in any channel order, running status,
// programs, controllers, bends, tempo and text, an End of Track last.
Bytes RandomBandFile(RandomLists& random) {
    struct Timed {
        std::int64_t time;
        Bytes bytes;
    };
    std::vector<Timed> events;
    const std::int32_t steps = random.Between(10, 400);
    for (std::int32_t step = 0; step < steps; ++step) {
        const std::int64_t time = static_cast<std::int64_t>(step) * 24;
        for (std::int32_t part = random.Below(6); part > 0; --part) {
            const auto channel = static_cast<std::uint8_t>(random.Below(16));
            const std::int32_t roll = random.Below(100);
            if (roll < 70) {
                const auto key = Byte(random.Between(30, 90));
                events.push_back({time, {Byte(0x90 | channel), key, Byte(random.Between(1, 127))}});
                const std::int64_t off = time + random.Between(0, 96);
                events.push_back({off, {Byte((random.Chance(50) ? 0x80 : 0x90) | channel), key, 0}});
            } else if (roll < 80) {
                events.push_back({time, {Byte(0xC0 | channel), Byte(random.Below(128))}});
            } else if (roll < 90) {
                events.push_back({time, {Byte(0xB0 | channel), Byte(random.Below(120)), Byte(random.Below(128))}});
            } else if (roll < 95) {
                events.push_back({time, {Byte(0xE0 | channel), Byte(random.Below(128)), Byte(random.Below(128))}});
            } else if (roll < 97) {
                events.push_back({time, {0xFF, 0x51, 0x03, 0x07, Byte(random.Below(256)), 0x20}});
            } else {
                events.push_back({time, {0xFF, 0x01, 0x03, 'a', 'b', 'c'}});
            }
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Timed& a, const Timed& b) { return a.time < b.time; });
    Bytes body;
    std::int64_t time = 0;
    std::uint8_t status = 0;
    for (const Timed& event : events) {
        PutVarLen(body, static_cast<std::uint32_t>(event.time - time));
        time = event.time;
        const bool running = event.bytes[0] < 0xF0 && event.bytes[0] == status;
        body.insert(body.end(), event.bytes.begin() + (running ? 1 : 0), event.bytes.end());
        status = event.bytes[0] < 0xF0 ? event.bytes[0] : status;
    }
    body.insert(body.end(), {Byte(random.Below(3)), 0xFF, 0x2F, 0x00});
    test::SmfBuilder file;
    file.Header(0, 1, random.Chance(50) ? 96 : 480);
    file.Track(body);
    return file.Bytes();
}

TEST(Pipeline, Format0FilesInGoodOrderLoadAtOnceAsStepByStep) {
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        RandomLists random(seed);
        const test::TempFile file(RandomBandFile(random));
        ExpectSameRuns(file.path(), Loading::kAtOnce);
        if (testing::Test::HasFailure()) return;
    }
}

TEST(Pipeline, RandomFilesLoadSaveAndPlayAlike) {
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        RandomLists random(seed);
        const test::TempFile file(RandomFile(random));
        ExpectSameRuns(file.path(), seed % 2 == 0 ? Loading::kStepByStep : Loading::kAtOnce);
        if (testing::Test::HasFailure()) return;
    }
}

// The plain algorithms take seconds on the largest corpus files; by default
// the files up to this size are compared, all of them with
// SOLVANE_REFERENCE_WHOLE_CORPUS=1.
constexpr std::uintmax_t kCorpusFileLimit = 40000;

TEST(Pipeline, DataAndCorpusFilesLoadSaveAndPlayAlike) {
    std::vector<fs::path> files = test::FilesUnder(SOLVANE_TEST_DATA_DIR);
    if (const fs::path corpus = test::CorpusDir(); !corpus.empty()) {
        const std::vector<fs::path> more = test::FilesUnder(corpus);
        files.insert(files.end(), more.begin(), more.end());
    }
    const bool whole = std::getenv("SOLVANE_REFERENCE_WHOLE_CORPUS") != nullptr;
    test::RecordingSink quiet;
    int compared = 0;
    for (const fs::path& file : files) {
        if (!whole && fs::file_size(file) > kCorpusFileLimit) continue;
        SCOPED_TRACE(file.string());
        ExpectSameRuns(file.string(), Loading::kStepByStep);
        ExpectSameRuns(file.string(), Loading::kAtOnce);
        ++compared;
    }
    RecordProperty("compared", compared);
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace solvane
