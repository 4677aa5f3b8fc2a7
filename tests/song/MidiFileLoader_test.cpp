#include "song/MidiFileLoader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/FakeFileChooser.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::Bytes;
using test::FakeFileChooser;
using test::Note;
using test::RecordingSink;
using test::SmfBuilder;
using test::TempFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Channel 0: a note of key 60 at 0; channel 2: key 67 at 48; both 96 long.
const Bytes kEvents = {0x00, 0x90, 60, 100, 0x30, 0x92, 67, 90,  0x30, 0x80, 60, 0x40,
                       0x30, 0x82, 67, 0x40, 0x00, 0xFF, 0x2F, 0x00};

Bytes Format0() { return SmfBuilder().Header(0, 1, 96).Track(kEvents).Bytes(); }
Bytes Format1() {
    return SmfBuilder().Header(1, 2, 96).Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00})
        .Track({0x30, 0x92, 67, 90, 0x60, 0x82, 67, 0x40, 0x00, 0xFF, 0x2F, 0x00}).Bytes();
}
const std::vector<Note> kNotes = {{0, 60, 0, 96}, {2, 67, 48, 96}};

TEST(LoaderDialog, CancelledDialogLoadsNothingAndSaysNothing) {
    FakeFileChooser chooser;
    RecordingSink sink;
    const MidiFileLoader loader;
    EXPECT_EQ(chooser.openAsks, 1);
    EXPECT_EQ(chooser.saveAsks, 0);
    EXPECT_EQ(chooser.lastExtension, "mid");
    EXPECT_EQ(chooser.lastFilter, "SMF files|*.mid|");
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(loader.size, 0);
    EXPECT_TRUE(loader.raw.empty());
    EXPECT_EQ(loader.reader, nullptr);
    EXPECT_EQ(loader.song, nullptr);
}

TEST(LoaderDialog, ChosenFileIsLoadedAndBuiltIntoASongInNoteForm) {
    const TempFile file(Format0());
    FakeFileChooser chooser;
    chooser.QueueOpen(file.path());
    RecordingSink sink;
    MidiFileLoader loader;
    EXPECT_EQ(chooser.saveAsks, 0);
    EXPECT_EQ(loader.size, static_cast<std::int32_t>(Format0().size()));
    ASSERT_NE(loader.reader, nullptr);
    EXPECT_EQ(loader.reader->state, kStateNoteForm);
    EXPECT_EQ(loader.reader->trackCount, 16);
    loader.BuildSong();
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(loader.reader, nullptr);
    ASSERT_NE(loader.song, nullptr);
    EXPECT_EQ(loader.song->state, kStateNoteForm);
    EXPECT_EQ(loader.song->division, 96);
    EXPECT_EQ(test::Notes(*loader.song->track), kNotes);
    EXPECT_TRUE(loader.song->track->events.back().IsEndOfTrack());
}

TEST(LoaderDialog, MissingFileShowsCannotOpen) {
    const TempFile absent;
    FakeFileChooser chooser;
    chooser.QueueOpen(absent.path());
    RecordingSink sink;
    const MidiFileLoader loader;
    EXPECT_EQ(chooser.saveAsks, 0);
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralCannotOpen));
    EXPECT_EQ(sink.reports()[0].module, "General");
    EXPECT_EQ(sink.reports()[0].text, "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。");
    EXPECT_EQ(loader.size, 0);
    EXPECT_EQ(loader.reader, nullptr);
}

struct RefusedCase {
    const char* name;
    Bytes file;
    std::vector<std::uint32_t> codes;
};

TEST(LoaderRefusal, FilesThatLoadNothingAreReportedAsTabled) {
    const Bytes format1NoTracks = SmfBuilder().Header(1, 0, 96).Track(kEvents).Bytes();
    Bytes format1NoHeader = Format1();
    format1NoHeader[0] = 'X';
    // Too short to hold a signature behind a 128-byte prefix, though it is looked for there.
    Bytes shortNoHeader = format1NoHeader;
    shortNoHeader.resize(130);
    const std::vector<RefusedCase> cases = {
        {"format 2", SmfBuilder().Header(2, 1, 96).Track(kEvents).Bytes(), {kLoaderNotMidi}},
        {"format 0x0100", SmfBuilder().Header(0x100, 1, 96).Track(kEvents).Bytes(), {kLoaderNotMidi}},
        // The reader has nothing to say about a header that declares no tracks.
        {"format 1, 0 tracks", format1NoTracks, {}},
        {"format 1 without MThd", format1NoHeader, {kF1NoHeader}},
        {"format 1 without MThd, 130 bytes", shortNoHeader, {kF1NoHeader}},
        // Zero bytes read as format 0; the song finds no track chunk in them.
        {"empty file", Bytes{}, {kTrackNoChunk, kTrackInternalError}},
        // RIFF files other than a MIDI file in an RMID wrapper are no MIDI files.
        {"RIFF WAVE", test::RiffFile("WAVE", {{"fmt ", Bytes(16, 1)}, {"data", Format0()}}), {kLoaderNotMidi}},
        {"RIFF RMID without data", test::RiffFile("RMID", {{"LIST", Bytes(10, 'i')}}), {kLoaderNotMidi}},
        {"RIFF RMID whose data is no SMF", test::RiffFile("RMID", {{"data", Bytes(40, 0)}}), {kLoaderNotMidi}},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile file(c.file);
        FakeFileChooser chooser;
        chooser.QueueOpen(file.path());
        RecordingSink sink;
        const MidiFileLoader loader;
        EXPECT_EQ(chooser.saveAsks, 0);
        EXPECT_EQ(sink.codes(), c.codes);
        EXPECT_EQ(loader.size, 0);
        EXPECT_EQ(loader.song, nullptr);
        if (c.name != std::string("empty file")) {
            EXPECT_EQ(loader.reader, nullptr);
        }
    }
}

TEST(LoaderRefusal, FormatNeitherZeroNorOneShowsItsText) {
    const TempFile file(SmfBuilder().Header(2, 1, 96).Track(kEvents).Bytes());
    RecordingSink sink;
    const MidiFileLoader loader(file.path());
    ASSERT_EQ(sink.reports().size(), 1u);
    EXPECT_EQ(sink.reports()[0].module, "MidiFileLoader");
    EXPECT_EQ(sink.reports()[0].text, "Midiファイルではありません。");
}

TEST(LoaderFormats, PrefixedFileLoadsLikeTheBareFile) {
    for (const Bytes& bare : {Format0(), Format1()}) {
        SCOPED_TRACE(bare[9] == 0 ? "format 0" : "format 1");
        const TempFile bareFile(bare);
        const TempFile prefixedFile(test::Concat({Bytes(128, 0xA5), bare}));
        RecordingSink sink;
        MidiFileLoader a(bareFile.path());
        MidiFileLoader b(prefixedFile.path());
        ASSERT_NE(a.size, 0);
        ASSERT_NE(b.size, 0);
        a.BuildSong();
        b.BuildSong();
        EXPECT_THAT(sink.codes(), IsEmpty());
        ASSERT_NE(b.song, nullptr);
        EXPECT_EQ(b.song->division, a.song->division);
        EXPECT_EQ(test::TimedEvents(*b.song->track), test::TimedEvents(*a.song->track));
        EXPECT_EQ(test::Notes(*b.song->track), kNotes);
    }
}

// The loader's read takes the wrapped file out; the song or the format-1
// reader reads what it kept, and the song is the bare file's.
TEST(LoaderFormats, RiffWrappedFileLoadsLikeTheFileItWraps) {
    Bytes cut = Format1();
    cut.resize(cut.size() - 6);  // the second track loses its End of Track
    const Bytes list = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5, 0, 0, 0, 'T', 'i', 't', 'l', 'e'};
    const struct {
        const char* name;
        Bytes bare;
        Bytes wrapped;
    } cases[] = {
        {"format 0", Format0(), test::RiffFile("RMID", {{"data", Format0()}})},
        {"format 1 after a list", Format1(), test::RiffFile("RMID", {{"LIST", list}, {"data", Format1()}})},
        {"format 1 before a list", Format1(), test::RiffFile("RMID", {{"data", Format1()}, {"LIST", list}})},
        {"data claiming more than the file holds", cut,
         test::RiffFile("RMID", {{"data", cut, static_cast<std::uint32_t>(Format1().size())}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile bareFile(c.bare);
        const TempFile wrappedFile(c.wrapped, "test.rmi");
        RecordingSink bareSink;
        MidiFileLoader a(bareFile.path(), MidiFileLoader::AndBuildSong{});
        const std::vector<std::uint32_t> bareCodes = bareSink.codes();
        RecordingSink wrappedSink;
        MidiFileLoader b(wrappedFile.path(), MidiFileLoader::AndBuildSong{});
        EXPECT_EQ(wrappedSink.codes(), bareCodes);
        EXPECT_EQ(b.size, static_cast<std::int32_t>(c.bare.size()));
        ASSERT_NE(a.song, nullptr);
        ASSERT_NE(b.song, nullptr);
        EXPECT_EQ(b.song->division, a.song->division);
        EXPECT_EQ(test::TimedEvents(*b.song->track), test::TimedEvents(*a.song->track));
    }
}

// A pipe can be read only once (a shell's <(...) hands one over): the file
// is read once, by the loader, and the song is the one the same bytes give
// from a plain file, with the same reports.
TEST(LoaderFormats, AFileThatCanBeReadOnlyOnceLoadsWhole) {
    for (const Bytes& bytes : {Format0(), Format1()}) {
        SCOPED_TRACE(bytes[9] == 0 ? "format 0" : "format 1");
        const TempFile plain(bytes);
        RecordingSink plainSink;
        const MidiFileLoader a(plain.path(), MidiFileLoader::AndBuildSong{});
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(ends[1]);
        RecordingSink pipeSink;
        const MidiFileLoader b("/proc/self/fd/" + std::to_string(ends[0]), MidiFileLoader::AndBuildSong{});
        close(ends[0]);
        EXPECT_EQ(pipeSink.codes(), plainSink.codes());
        ASSERT_NE(b.song, nullptr);
        EXPECT_EQ(test::Notes(*b.song->track), kNotes);
        EXPECT_EQ(test::TimedEvents(*b.song->track), test::TimedEvents(*a.song->track));
    }
}

TEST(LoaderFormats, FormatOneAndFormatZeroOfOnePieceGiveTheSameSong) {
    const TempFile zero(Format0());
    const TempFile one(Format1());
    RecordingSink sink;
    MidiFileLoader a(zero.path());
    MidiFileLoader b(one.path());
    a.BuildSong();
    b.BuildSong();
    EXPECT_THAT(sink.codes(), IsEmpty());
    ASSERT_NE(a.song, nullptr);
    ASSERT_NE(b.song, nullptr);
    EXPECT_EQ(b.reader, nullptr);
    EXPECT_EQ(test::TimedEvents(*a.song->track), test::TimedEvents(*b.song->track));
}

TEST(LoaderFormats, FormatZeroWithoutHeaderIdStillLoadsWhatItCan) {
    Bytes file = Format0();
    file[0] = 'R';
    const TempFile temp(file);
    RecordingSink sink;
    MidiFileLoader loader(temp.path());
    EXPECT_THAT(sink.codes(), ElementsAre(kSongNoHeader));
    ASSERT_NE(loader.size, 0);
    loader.BuildSong();
    ASSERT_NE(loader.song, nullptr);
    EXPECT_EQ(test::Notes(*loader.song->track), kNotes);
}

// Once as the loader reads it, once as the song takes the full image.
// Bytes already in memory load as a file holding them: the same size,
// reports and song, whatever the bytes are.
TEST(LoaderFormats, BytesInMemoryLoadAsTheFileHoldingThem) {
    Bytes cut = Format1();
    cut.resize(cut.size() - 6);
    Bytes oversized = Format0();
    oversized.resize(kImageCapacity + 1000, 0x42);
    const Bytes inputs[] = {
        Format0(),
        Format1(),
        test::Concat({Bytes(128, 0xA5), Format1()}),
        test::RiffFile("RMID", {{"data", cut, static_cast<std::uint32_t>(Format1().size())}}),
        {},
        {'M', 'T', 'h'},
        {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
        oversized,
        Bytes(kImageCapacity, 0x90),
    };
    for (const Bytes& bytes : inputs) {
        SCOPED_TRACE(testing::Message() << bytes.size() << " bytes");
        const TempFile file(bytes);
        RecordingSink fileSink;
        const MidiFileLoader a(file.path(), MidiFileLoader::AndBuildSong{});
        const std::vector<std::uint32_t> fileCodes = fileSink.codes();
        RecordingSink memorySink;
        MidiFileLoader b("x.mid", bytes.data(), bytes.size());
        if (b.size != 0) b.BuildSong();
        EXPECT_EQ(memorySink.codes(), fileCodes);
        EXPECT_EQ(b.size, a.size);
        EXPECT_EQ(b.path, "x.mid");
        ASSERT_EQ(b.song != nullptr, a.song != nullptr);
        if (a.song) {
            EXPECT_EQ(b.song->division, a.song->division);
            EXPECT_EQ(test::TimedEvents(*b.song->track), test::TimedEvents(*a.song->track));
        }
    }
}

TEST(LoaderFormats, OversizedFileIsReportedTwiceAndItsStartIsLoaded) {
    Bytes file = Format0();
    file.resize(kImageCapacity + 1000, 0x42);
    const TempFile temp(file);
    RecordingSink sink;
    MidiFileLoader loader(temp.path());
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralDataTooLarge, kGeneralDataTooLarge));
    EXPECT_EQ(loader.size, kImageCapacity);
    loader.BuildSong();
    ASSERT_NE(loader.song, nullptr);
    EXPECT_EQ(test::Notes(*loader.song->track), kNotes);
}

// Loading and building at once (the command line) against the window's two
// steps: the same size, song and reports, and no reader left over.
TEST(LoaderAtOnce, GivesTheSongAndReportsOfLoadAndBuildSong) {
    Bytes oversizedText = {0x00, 0xFF, 0x01, 0x82, 0x2C};  // 300 bytes: the split's copies report
    oversizedText.resize(oversizedText.size() + 300, 'x');
    oversizedText.insert(oversizedText.end(), kEvents.begin(), kEvents.end());
    // Channel 2 before channel 0 at one time: the merge puts channel 0 first.
    const Bytes chord = {0x00, 0x92, 67, 90, 0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0x82, 67, 0x40,
                         0x00, 0xFF, 0x2F, 0x00};
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"format 0", Format0()},
        {"format 0, a chord out of channel order", SmfBuilder().Header(0, 1, 96).Track(chord).Bytes()},
        {"format 0, an oversized text", SmfBuilder().Header(0, 1, 96).Track(oversizedText).Bytes()},
        {"format 0 without End of Track", SmfBuilder().Header(0, 1, 96).Track({0x00, 0x90, 60, 100}).Bytes()},
        {"format 1", Format1()},
        {"format 2", SmfBuilder().Header(2, 1, 96).Track(kEvents).Bytes()},
        {"empty file", Bytes{}},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const TempFile file(bytes);
        RecordingSink stepSink;
        MidiFileLoader steps(file.path());
        if (steps.size != 0) steps.BuildSong();
        const std::vector<std::uint32_t> stepCodes = stepSink.codes();
        RecordingSink onceSink;
        const MidiFileLoader once(file.path(), MidiFileLoader::AndBuildSong{});
        EXPECT_EQ(onceSink.codes(), stepCodes);
        EXPECT_EQ(once.size, steps.size);
        ASSERT_EQ(once.song == nullptr, steps.song == nullptr);
        if (!steps.song) continue;
        EXPECT_EQ(once.reader, nullptr);
        EXPECT_EQ(once.song->state, kStateNoteForm);
        EXPECT_EQ(once.song->division, steps.song->division);
        EXPECT_EQ(test::TimedEvents(*once.song->track), test::TimedEvents(*steps.song->track));
    }
}

TEST(LoaderLifecycle, LoadingAgainDiscardsTheFirstSongEvenWhenTheSecondLoadFails) {
    const TempFile good(Format0());
    const TempFile bad(SmfBuilder().Header(2, 1, 96).Track(kEvents).Bytes());
    RecordingSink sink;
    MidiFileLoader loader(good.path());
    loader.BuildSong();
    ASSERT_NE(loader.song, nullptr);
    loader.Load(bad.path());
    EXPECT_THAT(sink.codes(), ElementsAre(kLoaderNotMidi));
    EXPECT_EQ(loader.size, 0);
    EXPECT_EQ(loader.song, nullptr);
    EXPECT_EQ(loader.reader, nullptr);
}

TEST(LoaderLifecycle, SecondFileReplacesTheFirst) {
    const TempFile first(Format0());
    const TempFile second(SmfBuilder().Header(1, 1, 480)
                              .Track({0x00, 0x95, 40, 100, 0x10, 0x85, 40, 0x40, 0x00, 0xFF, 0x2F, 0x00})
                              .Bytes());
    MidiFileLoader loader(first.path());
    loader.BuildSong();
    loader.Load(second.path());
    EXPECT_EQ(loader.song, nullptr);
    loader.BuildSong();
    ASSERT_NE(loader.song, nullptr);
    EXPECT_EQ(loader.song->division, 480);
    EXPECT_THAT(test::Notes(*loader.song->track), ElementsAre(Note{5, 40, 0, 16}));
}

// What a load leaves: the song (or none) and every report on the way.
struct LoadResult {
    std::int32_t size = 0;
    std::int32_t division = 0;
    std::vector<test::TimedEvent> events;
    std::vector<std::uint32_t> codes;
    bool operator==(const LoadResult&) const = default;
};

// The window's Load (load, then build), or the command line's load at once.
LoadResult LoadThe(const std::string& path, bool atOnce) {
    RecordingSink sink;
    LoadResult result;
    const auto loader = atOnce ? std::make_unique<MidiFileLoader>(path, MidiFileLoader::AndBuildSong{})
                               : test::LoadAsTheDialogDoes(path);
    result.size = loader->size;
    if (loader->song) {
        result.division = loader->song->division;
        result.events = test::TimedEvents(*loader->song->track);
    }
    result.codes = sink.codes();
    return result;
}

// The reader's running status carries from track to track within a file, never
// from one file into the next: a file that starts a track with data bytes
// loads the same after any other file as in a fresh program.
TEST(LoaderLifecycle, AFileLoadsTheSameWhateverWasLoadedBefore) {
    // Files whose last status is one a data byte would take up.
    const TempFile endsOnChannel3(
        SmfBuilder().Header(0, 1, 96).Track({0x00, 0x93, 50, 90, 0x60, 0x83, 50, 0x40}).Bytes());
    const TempFile endsOnAProgram(SmfBuilder().Header(1, 1, 96).Track({0x00, 0xC5, 7}).Bytes());
    // Tracks that start with data bytes; within its file the second track
    // takes up the first's last status.
    const TempFile startsWithData(
        SmfBuilder().Header(0, 1, 96).Track({0x00, 60, 100, 0x60, 0x90, 60, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes());
    const TempFile secondTrackCarries(SmfBuilder()
                                          .Header(1, 2, 96)
                                          .Track({0x00, 0x91, 62, 80, 0x30, 62, 0})
                                          .Track({0x10, 64, 70, 0x30, 64, 0, 0x00, 0xFF, 0x2F, 0x00})
                                          .Bytes());
    const std::filesystem::path data = SOLVANE_TEST_DATA_DIR;
    std::vector<std::string> before = {endsOnChannel3.path(), endsOnAProgram.path(), startsWithData.path(),
                                       (data / "valid/running-status-across-tracks.mid").string()};
    std::vector<std::string> after = {startsWithData.path(), secondTrackCarries.path()};
    for (const std::filesystem::path& file : test::FilesUnder(data)) after.push_back(file.string());
    const std::filesystem::path corpus = test::CorpusDir();
    if (!corpus.empty()) {
        const std::filesystem::path levels = corpus / "valid/midly/Levels.mid";
        if (std::filesystem::exists(levels)) before.push_back(levels.string());
        for (const std::filesystem::path& file : test::FilesUnder(corpus)) after.push_back(file.string());
    }
    for (const bool atOnce : {false, true}) {
        for (const std::string& second : after) {
            MidiTrackData::ResetReaderState();
            const LoadResult alone = LoadThe(second, atOnce);
            for (const std::string& first : before) {
                SCOPED_TRACE((atOnce ? "at once: " : "in two steps: ") + first + " then " + second);
                LoadThe(first, atOnce);
                EXPECT_EQ(LoadThe(second, atOnce), alone);
            }
        }
    }
    // The carry within a file is kept: the second track's notes are on channel 1.
    const LoadResult carried = LoadThe(secondTrackCarries.path(), false);
    int onChannel1 = 0;
    for (const test::TimedEvent& e : carried.events) onChannel1 += e.type == kTypeNote && e.channel == 1;
    EXPECT_EQ(onChannel1, 2);
}

TEST(LoaderLifecycle, BuildingWithoutAReaderIsAnInternalError) {
    const TempFile file(Format0());
    MidiFileLoader loader(file.path());
    loader.BuildSong();
    ASSERT_NE(loader.song, nullptr);
    const MidiF0Data* built = loader.song.get();
    RecordingSink sink;
    loader.BuildSong();
    EXPECT_THAT(sink.codes(), ElementsAre(kLoaderInternalError));
    EXPECT_EQ(sink.reports()[0].text, "MidiFileLoaderで内部エラーが発生しました。");
    EXPECT_EQ(loader.song.get(), built);
}

}  // namespace
}  // namespace solvane
