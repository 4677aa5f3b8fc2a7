// solvane-cli run as a program: what it writes, prints and exits with.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "tests/cli/RunCli.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::Bytes;
using test::CliRun;
using test::RunCli;
using test::SmfBuilder;
using test::TempFile;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Two tracks: a note of key 60 on channel 1 and one of key 67 on channel 3.
Bytes TwoTracks() {
    return SmfBuilder()
        .Header(1, 2, 96)
        .Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00})
        .Track({0x30, 0x92, 67, 90, 0x60, 0x82, 67, 0x40, 0x00, 0xFF, 0x2F, 0x00})
        .Bytes();
}

// Two overlapping notes whose keys both clamp to 0 when inverted, so that
// the time mirror pairs them differently before and after the inversion,
// and a third note on another channel.
Bytes OrderSensitive() {
    return SmfBuilder()
        .Header(0, 1, 96)
        .Track({0x00, 0xC0, 0x05, 0x00, 0x90, 2, 100, 0x0A, 0x90, 5, 80, 0x0A, 0x80, 5, 0x40, 0x0A, 0x80, 2, 0x40,
                0x00, 0x91, 64, 70, 0x28, 0x81, 64, 0x40, 0x00, 0xFF, 0x2F, 0x00})
        .Bytes();
}

// The dialog's Save of the file, done in this process.
Bytes Saved(const std::string& path, bool horizontal, bool vertical) {
    test::RecordingSink quiet;
    const auto loader = test::LoadAsTheDialogDoes(path);
    return loader->song ? test::SaveAsBytes(*loader->song, horizontal, vertical) : Bytes{};
}

TEST(CliConvert, WritesWhatSaveWritesAndSaysNothing) {
    const TempFile in(TwoTracks(), "in.mid");
    const TempFile out("out.mid");
    const CliRun run = RunCli({"convert", in.path(), out.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.err, IsEmpty());
    EXPECT_THAT(run.out, IsEmpty());
    const Bytes written = out.Read();
    EXPECT_EQ(written, Saved(in.path(), false, false));
    ASSERT_GE(written.size(), 14u);
    EXPECT_EQ(Text(Bytes(written.begin(), written.begin() + 14)), Text({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}));
}

TEST(CliConvert, ReversalFlagsApplyTheTimeMirrorFirst) {
    const TempFile in(OrderSensitive(), "in.mid");
    const Bytes none = Saved(in.path(), false, false);
    const Bytes both = Saved(in.path(), true, true);
    // The same steps the other way round, to show the order can be seen.
    Bytes verticalFirst;
    {
        test::RecordingSink quiet;
        MidiFileLoader loader(in.path());
        loader.BuildSong();
        MidiF0Data copy(*loader.song);
        copy.ToEventForm();
        copy.ReverseVertical();
        copy.ReverseHorizontal();
        copy.WriteSmf();
        verticalFirst.assign(copy.Bytes(), copy.Bytes() + copy.size);
    }
    ASSERT_NE(both, verticalFirst);

    struct Case {
        std::vector<std::string> flags;
        bool horizontal;
        bool vertical;
    };
    const std::vector<Case> cases = {
        {{}, false, false},
        {{"-H"}, true, false},
        {{"--horizontal"}, true, false},
        {{"-V"}, false, true},
        {{"--vertical"}, false, true},
        {{"-H", "-V"}, true, true},
        {{"-V", "-H"}, true, true},
        {{"-HV"}, true, true},
        {{"-VH"}, true, true},
    };
    for (const Case& c : cases) {
        std::string label = "convert";
        for (const std::string& f : c.flags) label += " " + f;
        SCOPED_TRACE(label);
        const TempFile out("out.mid");
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        args.push_back(in.path());
        args.push_back(out.path());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_THAT(run.err, IsEmpty());
        const Bytes written = out.Read();
        EXPECT_EQ(written, Saved(in.path(), c.horizontal, c.vertical));
        if (c.horizontal || c.vertical) {
            EXPECT_NE(written, none);
        }
    }
}

// A tempo, a pedal and two notes: the musical step moves the first two.
Bytes TempoAndPedal() {
    return SmfBuilder()
        .Header(0, 1, 96)
        .Track({0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0, 0x00, 0xB0, 64, 127, 0x00, 0x90, 60, 100, 0x60, 0x80, 60,
                0x40, 0x00, 0xB0, 64, 0, 0x00, 0x90, 62, 100, 0x60, 0x80, 62, 0x40, 0x00, 0xFF, 0x2F, 0x00})
        .Bytes();
}

TEST(CliConvert, MusicalKeepsThePassagesWithTheTimeMirrorOnly) {
    const TempFile in(TempoAndPedal(), "in.mid");
    Bytes expected;
    {
        test::RecordingSink quiet;
        const auto loader = test::LoadAsTheDialogDoes(in.path());
        const auto copy = TransformedCopy(*loader->song, {true, false, true});
        copy->WriteSmf();
        expected.assign(copy->Bytes(), copy->Bytes() + copy->size);
    }
    ASSERT_NE(expected, Saved(in.path(), true, false));
    for (const std::vector<std::string>& flags : {std::vector<std::string>{"-H", "--musical"}, {"--musical", "-H"}}) {
        const TempFile out("out.mid");
        const CliRun run = RunCli({"convert", flags[0], flags[1], in.path(), out.path()});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(out.Read(), expected) << flags[0];
    }
    for (const char* command : {"convert", "play", "render"}) {
        const TempFile out("out.wav");
        const CliRun run = RunCli({command, "--musical", in.path(), out.path()});
        EXPECT_EQ(run.status, 64) << command;
        EXPECT_THAT(run.err, HasSubstr("--musical goes with -H")) << command;
        EXPECT_FALSE(std::filesystem::exists(out.path())) << command;
    }
}

TEST(CliConvert, FlagsMayFollowTheFileNames) {
    const TempFile in(OrderSensitive(), "in.mid");
    const TempFile out("out.mid");
    const CliRun run = RunCli({"convert", in.path(), out.path(), "-V"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(out.Read(), Saved(in.path(), false, true));
}

// Damaged copies of a file, the same every run: bytes changed, cut, put in
// and taken out, and chunk lengths made wrong.
std::vector<Bytes> Mutations(const Bytes& file, std::uint32_t seed, int count) {
    std::mt19937 random(seed);
    auto below = [&](std::size_t n) { return n == 0 ? std::size_t{0} : static_cast<std::size_t>(random() % n); };
    std::vector<Bytes> out;
    for (int i = 0; i < count; ++i) {
        Bytes m = file;
        for (int edits = 1 + static_cast<int>(below(3)); edits > 0 && !m.empty(); --edits) {
            const std::size_t at = below(m.size());
            switch (below(5)) {
                case 0: m[at] = static_cast<std::uint8_t>(random()); break;
                case 1: m.resize(at); break;
                case 2: m.insert(m.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random())); break;
                case 3: m.erase(m.begin() + static_cast<std::ptrdiff_t>(at)); break;
                default:  // a length field of the header or of a track chunk
                    if (m.size() > 22) m[below(2) == 0 ? 7 : 18 + below(4)] = static_cast<std::uint8_t>(random());
                    break;
            }
        }
        out.push_back(std::move(m));
    }
    return out;
}

// Nothing is written that this program's own reader would refuse: every
// damaged input either gives a file that loads again without a word about
// its structure, or writes nothing and exits with a status that says so.
TEST(CliConvert, EveryDamagedInputIsWrittenReadablyOrNotAtAll) {
    std::vector<std::pair<std::string, Bytes>> inputs;
    const Bytes sources[] = {TwoTracks(), OrderSensitive()};
    std::uint32_t seed = 1;
    for (const Bytes& source : sources) {
        for (Bytes& m : Mutations(source, seed++, 60)) inputs.emplace_back("generated " + std::to_string(seed), m);
    }
    const std::filesystem::path corpus = test::CorpusDir();
    if (!corpus.empty()) {
        // Each damaged file with each of the four flag sets.
        for (const auto& path : test::FilesUnder(corpus / "malformed")) {
            for (int flags = 0; flags < 4; ++flags) inputs.emplace_back(path.string(), test::ReadFileBytes(path.string()));
        }
        // Mutations of small valid files, which reach further into the tracks.
        int mutated = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus / "valid")) {
            if (!entry.is_regular_file() || entry.file_size() > 8192 || mutated >= 300) continue;
            for (Bytes& m : Mutations(test::ReadFileBytes(entry.path().string()), seed++, 10)) {
                inputs.emplace_back(entry.path().string() + " mutated", m);
                ++mutated;
            }
        }
    }
    const std::vector<std::string> flagSets[] = {{}, {"-H"}, {"-V"}, {"-H", "-V"}};
    int written = 0;
    int refused = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const TempFile in(inputs[i].second, "in.mid");
        const TempFile out("out.mid");
        std::vector<std::string> args = {"convert"};
        const std::vector<std::string>& flags = flagSets[i % 4];
        args.insert(args.end(), flags.begin(), flags.end());
        args.push_back(in.path());
        args.push_back(out.path());
        const CliRun run = RunCli(args);
        SCOPED_TRACE(inputs[i].first + " with " + std::to_string(flags.size()) + " flags: " + run.err);
        ASSERT_TRUE(run.status == 0 || run.status == 2 || run.status == 3) << run.status;
        if (run.status == 2) {
            EXPECT_FALSE(std::filesystem::exists(out.path()));
            ++refused;
            continue;
        }
        ++written;
        test::RecordingSink sink;
        EXPECT_NE(test::LoadAsTheDialogDoes(out.path())->song, nullptr);
        for (const std::uint32_t code : sink.codes()) {
            EXPECT_TRUE(code != kTrackInternalError && code != kTrackNoChunk) << std::hex << code;
        }
    }
    EXPECT_GT(written, 0);
    EXPECT_GT(refused, 0);
}

struct ReportCase {
    const char* name;
    Bytes file;
    int status;
    std::vector<std::string> reports;
};

TEST(CliReports, EachReportIsOneLineWithModuleCodeAndText) {
    SmfBuilder tooMany;
    tooMany.Header(1, 40, 96);
    for (int k = 0; k < 40; ++k) tooMany.Track({0x00, 0xFF, 0x2F, 0x00});
    const std::vector<ReportCase> cases = {
        {"format 2", SmfBuilder().Header(2, 1, 96).Track({0x00, 0xFF, 0x2F, 0x00}).Bytes(), 2,
         {"MidiFileLoader 0x17000002: Midiファイルではありません。"}},
        {"format 1 declaring no tracks", SmfBuilder().Header(1, 0, 96).Bytes(), 2, {}},
        {"tempo of 0",
         SmfBuilder().Header(0, 1, 96).Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes(), 3,
         {"MidiTrackData 0x0D000005: テンポに誤りがあります。"}},
        {"40 tracks", tooMany.Bytes(), 3,
         {"MidiF1Data 0x02000001: "
         "このファイルに設定されているトラック数はこのソフトで扱える最大トラック数(16)を超えています。\r"
         "(実際に使用しているトラック数とファイルに設定されているトラック数は異なる場合があります。)\r"
         "処理を継続しますが、重大なエラーを引き起こす可能性があります。"}},
        {"header without MThd and a track with an undefined byte",
         test::Concat({{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96},
                       SmfBuilder().Track({0x00, 0xF4, 0x00, 0xFF, 0x2F, 0x00}).Bytes()}),
         3,
         {"MidiF0Data 0x04000004: MIDIファイルではないか、ファイルにマックバイナリがついています。",
          "MidiTrackData 0x0D000002: 未定義のMIDIイベントです。"}},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile in(c.file, "in.mid");
        const TempFile out("out.mid");
        const CliRun run = RunCli({"convert", in.path(), out.path()});
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, test::Reported(in.path(), c.reports));
        EXPECT_THAT(run.out, IsEmpty());
        EXPECT_EQ(std::filesystem::exists(out.path()), c.status == 0 || c.status == 3);
    }
}

// The language changes the texts only: the module, the code, the exit status
// and the file written stay.
TEST(CliReports, EnglishIsShownOnRequestAndJapaneseOtherwise) {
    const Bytes tempoZero =
        SmfBuilder().Header(0, 1, 96).Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes();
    const TempFile in(tempoZero, "in.mid");
    const std::string japanese = test::Reported(in.path(), {"MidiTrackData 0x0D000005: テンポに誤りがあります。"});
    const std::string english = test::Reported(in.path(), {"MidiTrackData 0x0D000005: The tempo is wrong."});
    const struct {
        const char* environment;
        std::vector<std::string> before;
        std::vector<std::string> after;
        const std::string& expected;
    } cases[] = {
        {"-u SOLVANE_LANG", {}, {}, japanese},
        {"-u SOLVANE_LANG", {"--lang", "en"}, {}, english},
        {"-u SOLVANE_LANG", {}, {"--lang=en"}, english},
        {"SOLVANE_LANG=en", {}, {}, english},
        {"SOLVANE_LANG=en", {"--lang=ja"}, {}, japanese},
        {"SOLVANE_LANG=fr", {}, {}, japanese},
    };
    const TempFile out("out.mid");
    const Bytes expectedFile = Saved(in.path(), false, false);
    for (const auto& c : cases) {
        std::vector<std::string> args = c.before;
        args.insert(args.end(), {"convert", in.path(), out.path()});
        args.insert(args.end(), c.after.begin(), c.after.end());
        SCOPED_TRACE(std::string(c.environment) + " " + std::to_string(args.size()));
        const CliRun run = RunCli(args, c.environment);
        EXPECT_EQ(run.status, 3);
        EXPECT_EQ(run.err, c.expected);
        EXPECT_EQ(out.Read(), expectedFile);
    }
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--lang", "de", "info", in.path()},
                                                std::vector<std::string>{"info", in.path(), "--lang"}}) {
        const CliRun run = RunCli(bad);
        EXPECT_EQ(run.status, 64);
        EXPECT_THAT(run.err, HasSubstr("--lang"));
    }
}

TEST(CliReports, MissingInputWritesNothingAndExitsWith2) {
    const TempFile absent("absent.mid");
    const TempFile out("out.mid");
    const CliRun run = RunCli({"convert", absent.path(), out.path()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, test::Reported(absent.path(), {"General 0x00000003: "
                                                      "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。"}));
    EXPECT_FALSE(std::filesystem::exists(out.path()));
}

TEST(CliReports, UnwritableOutputExitsWith1) {
    const TempFile in(TwoTracks(), "in.mid");
    const TempFile dir("unused");
    const std::string out = (std::filesystem::path(dir.path()).parent_path() / "no-such-folder" / "out.mid").string();
    const CliRun run = RunCli({"convert", in.path(), out});
    // The report names the file that could not be written.
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, test::Reported(out, {"General 0x00000003: "
                                            "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。"}));
}

// 0 clean, 2 nothing usable (OUT untouched), 3 written although an error was
// reported on the way; the once-per-track warnings do not count. info follows
// the same rule.
TEST(CliReports, TheExitStatusTellsWhetherTheResultMayLackContent) {
    Bytes longText = {0x00, 0xFF, 0x01, 0x82, 0x2C};  // 300 bytes: a warning, kept whole
    longText.resize(longText.size() + 300, 'x');
    longText.insert(longText.end(), {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00});
    Bytes oversized = TwoTracks();
    oversized.resize(kImageCapacity + 1000, 0);  // loads its start, after "data too large"
    struct Case {
        const char* name;
        Bytes file;
        int convert;
        int info;
    };
    const Case cases[] = {
        {"a clean file", TwoTracks(), 0, 0},
        {"a long text: kept whole, but its release is reported", SmfBuilder().Header(0, 1, 96).Track(longText).Bytes(), 3, 3},
        {"cut at the image's size", oversized, 3, 3},
        {"no End of Track: no complete track",
         SmfBuilder().Header(0, 1, 480).Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40}).Bytes(), 2, 0},
        {"a refused chunk", SmfBuilder().Header(0, 1, 96).Chunk("MTrk", 100, {0x00, 0xFF, 0x2F, 0x00}).Bytes(), 2,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile in(c.file, "in.mid");
        const TempFile out(Bytes{'k', 'e', 'e', 'p'}, "out.mid");
        const CliRun run = RunCli({"convert", in.path(), out.path()});
        EXPECT_EQ(run.status, c.convert) << run.err;
        if (c.convert == 2) {
            EXPECT_EQ(out.Read(), (Bytes{'k', 'e', 'e', 'p'}));
            EXPECT_THAT(run.err, HasSubstr("MidiTrackData 0x0D000007: "
                                           "MIDIファイルではないか、マックバイナリがついているファイルです。\n"));
        } else {
            EXPECT_EQ(out.Read(), Saved(in.path(), false, false));
        }
        EXPECT_EQ(RunCli({"info", in.path()}).status, c.info);
    }
}

TEST(CliUsage, WrongCommandLinesExitWith64AndShowUsage) {
    const TempFile in(TwoTracks(), "in.mid");
    const TempFile out("out.mid");
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"reverse", in.path()},
        {"convert"},
        {"convert", in.path()},
        {"convert", in.path(), out.path(), "extra.mid"},
        {"convert", "-X", in.path(), out.path()},
        {"convert", "--reverse", in.path(), out.path()},
        {"convert", "-r", in.path(), out.path()},
        {"convert", "--out-dir"},
        {"convert", "--out-dir", out.path()},
        {"convert", "--out-dir", out.path(), "-"},
        {"info"},
        {"info", "--xml", in.path()},
        {"info", "-", "-"},
        {"--version", "extra"},
    };
    for (const auto& args : lines) {
        std::string label = "solvane-cli";
        for (const std::string& a : args) label += " " + a;
        SCOPED_TRACE(label);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 64);
        EXPECT_THAT(run.err, StartsWith("solvane-cli: "));
        EXPECT_THAT(run.err, HasSubstr("usage: solvane-cli convert"));
        EXPECT_THAT(run.out, IsEmpty());
        EXPECT_FALSE(std::filesystem::exists(out.path()));
    }
}

TEST(CliUsage, HelpGoesToStdoutAndExitsWith0) {
    for (const char* flag : {"--help", "-h", "help"}) {
        SCOPED_TRACE(flag);
        const CliRun run = RunCli({flag});
        EXPECT_EQ(run.status, 0);
        EXPECT_THAT(run.out, StartsWith("usage: solvane-cli convert [-H|--horizontal] [-V|--vertical] IN OUT\n"));
        EXPECT_THAT(run.out, HasSubstr("solvane-cli info [--json] IN...\n"));
        EXPECT_THAT(run.out, HasSubstr("--out-dir DIR IN...\n"));
        EXPECT_THAT(run.out, HasSubstr("solvane-cli: FILE: Module 0xCODE: text\n"));
        EXPECT_THAT(run.out, HasSubstr("3   done, but an error was reported"));
        EXPECT_THAT(run.out, HasSubstr("64  usage error"));
        EXPECT_THAT(run.err, IsEmpty());
    }
}

TEST(CliInfo, TellsWhatWasLoaded) {
    const TempFile in(TwoTracks(), "in.mid");
    const CliRun run = RunCli({"info", in.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.err, IsEmpty());
    EXPECT_EQ(run.out,
              "format: 1\n"
              "tracks: 2\n"
              "division: 96\n"
              "events: 3\n"
              "notes: 2\n"
              "  channel 1: 1\n"
              "  channel 3: 1\n"
              "length: 144 ticks\n"
              // At 240 a minute: the first note after one timer period (2 ms), then 48 ticks of 125 ms each.
              "duration: 0.377 s as played here (240 a minute until a tempo event)\n"
              "duration at 120: 0.750 s as a standard player plays it\n"
              "tempo events: 0\n"
              "track names: 0\n");
}

TEST(CliInfo, FormatZeroCountsOneTrackAndTheNoteThatOutlastsTheEnd) {
    // Note-on at 0, End of Track at 16, the note-off only at 100.
    const Bytes file = SmfBuilder()
                           .Header(0, 1, 480)
                           .Track({0x00, 0x99, 36, 100, 0x10, 0xFF, 0x2F, 0x00, 0x54, 0x89, 36, 0x40})
                           .Bytes();
    const TempFile in(test::Concat({Bytes(128, 0), file}), "in.mid");
    const CliRun run = RunCli({"info", in.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.err, IsEmpty());
    EXPECT_EQ(run.out,
              "format: 0\n"
              "tracks: 1\n"
              "division: 480\n"
              "events: 2\n"
              "notes: 1\n"
              "  channel 10: 1\n"
              "length: 100 ticks\n"
              // 100 ticks at 480 a quarter are 20 at 96: 52 ms, after the first period of 2.
              "duration: 0.054 s as played here (240 a minute until a tempo event)\n"
              "duration at 120: 0.104 s as a standard player plays it\n"
              "tempo events: 0\n"
              "track names: 0\n");
}

TEST(CliInfo, NothingLoadedExitsWith2) {
    const TempFile in(SmfBuilder().Header(2, 1, 96).Track({0x00, 0xFF, 0x2F, 0x00}).Bytes(), "in.mid");
    const CliRun run = RunCli({"info", in.path()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, test::Reported(in.path(), {"MidiFileLoader 0x17000002: Midiファイルではありません。"}));
    EXPECT_THAT(run.out, IsEmpty());
}

}  // namespace
}  // namespace solvane
