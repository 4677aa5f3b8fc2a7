// solvane-cli play and ports, run as a program against the trace output.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/RunCli.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::Bytes;
using test::CliRun;
using test::ReadText;
using test::RunCli;
using test::SmfBuilder;
using test::TempFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The messages of a trace file without their times.
std::vector<std::string> Messages(const std::string& trace) {
    std::vector<std::string> messages;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const auto space = line.find(' ');
        messages.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return messages;
}

std::vector<long> Times(const std::string& trace) {
    std::vector<long> times;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) times.push_back(std::stol(line));
    return times;
}

// Keys 60 then 64 on channel 0, an eighth note each at 240 a minute (125 ms).
Bytes TwoNotes() {
    return SmfBuilder()
        .Header(0, 1, 96)
        .Track({0x00, 0xC0, 0x05, 0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0x90, 64, 100, 0x30, 0x80, 64, 0,
                0x00, 0xFF, 0x2F, 0x00})
        .Bytes();
}

TEST(CliPlay, PlaysTheSongOnTheTraceOutputThenResetsIt) {
    const TempFile song(TwoNotes());
    const TempFile trace("play.trace");
    const CliRun run = RunCli({"play", "--trace", trace.path(), song.path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string text = ReadText(trace.path());
    EXPECT_THAT(Messages(text), ElementsAre("F0 7E 7F 09 01 F7", "C0 05", "90 3C 64", "80 3C 00", "90 40 64",
                                            "80 40 00", "RESET"));
    const std::vector<long> times = Times(text);
    ASSERT_EQ(times.size(), 7u);
    // The second note follows the first by 125 ms (generous bounds: only the order of magnitude matters here).
    EXPECT_GT(times[4] - times[2], 100'000);
    EXPECT_LT(times[4] - times[2], 1'000'000);
}

TEST(CliPlay, BothBoxesPlayTheMirrorInvertedInPitch) {
    const TempFile song(TwoNotes());
    const TempFile trace("play.trace");
    const CliRun run = RunCli({"play", "-H", "-V", "--trace", trace.path(), song.path()});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> messages = Messages(ReadText(trace.path()));
    std::vector<std::string> ons;
    for (const std::string& m : messages) {
        if (m.rfind("90 ", 0) == 0) ons.push_back(m);
    }
    EXPECT_THAT(ons, ElementsAre("90 38 64", "90 3C 64"));  // 64 first, turned about 60 to 56
}

TEST(CliPlay, CtrlCStopsThePlayAndSilencesTheOutput) {
    // Eight seconds of one long note.
    const TempFile song(SmfBuilder()
                            .Header(0, 1, 96)
                            .Track({0x00, 0x90, 60, 100, 0x8F, 0x00, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00})
                            .Bytes());
    const TempFile trace("play.trace");
    const TempFile out("stdout.txt");
    const TempFile err("stderr.txt");
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = test::SpawnCli({"play", "--trace", trace.path(), song.path()}, out.path(), err.path());
    ASSERT_GT(pid, 0);
    // Wait for the note to sound, then interrupt.
    for (int i = 0; i < 500 && ReadText(trace.path()).find("90 3C 64") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGINT);
    const CliRun run = test::FinishCli(pid, out.path(), err.path());
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(took, std::chrono::seconds(7));  // stopped, not played to the end
    EXPECT_THAT(Messages(ReadText(trace.path())), ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64", "RESET"));
}

TEST(CliPlay, ProblemsAreToldAndGetTheirExitStatus) {
    const TempFile song(TwoNotes());
    const CliRun missing = RunCli({"play", "--trace", "/dev/null", "/nonexistent/x.mid"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("solvane-cli: /nonexistent/x.mid: General 0x00000003: "));

    const CliRun noValue = RunCli({"play", song.path(), "--trace"});
    EXPECT_EQ(noValue.status, 64);
    EXPECT_THAT(noValue.err, HasSubstr("--trace needs a value"));

    const CliRun twoOutputs = RunCli({"play", "--trace", "/dev/null", "--wav", "/dev/null", song.path()});
    EXPECT_EQ(twoOutputs.status, 64);

    const CliRun badTrace = RunCli({"play", "--trace", "/nonexistent/dir/t.trace", song.path()});
    EXPECT_EQ(badTrace.status, 1);
    EXPECT_THAT(badTrace.err, HasSubstr("solvane-cli: "));
}

TEST(CliPorts, NamesWhatTheDefaultOutputUses) {
    const CliRun run = RunCli({"ports"});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, HasSubstr("default: "));
    EXPECT_EQ(RunCli({"ports", "extra"}).status, 64);
}

}  // namespace
}  // namespace solvane

namespace solvane {
namespace {

TEST(CliPlay, AnOutputThatDoesNotOpenIsReportedThenExplained) {
    const TempFile song(TwoNotes());
    const CliRun run =
        RunCli({"--lang", "en", "play", "--port", "built-in", "--soundfont", "/nonexistent/none.sf2", song.path()});
    EXPECT_EQ(run.status, 1);
    std::istringstream lines(run.err);
    std::string report;
    std::string cause;
    std::getline(lines, report);
    std::getline(lines, cause);
    EXPECT_THAT(report, HasSubstr("MidiControler 0x07000001: "));
    // Named by the file, as the report before it.
    EXPECT_EQ(cause, "solvane-cli: " + song.path() +
                         ": the built-in synthesizer cannot load the soundfont /nonexistent/none.sf2 "
                         "(missing, unreadable or not a .sf2/.sf3 soundfont)");
}

TEST(CliRender, WritesTheSameAudioFileEveryTime) {
    const TempFile song(TwoNotes());
    const TempFile squares(test::SquareWaveSoundFont(), "square.sf2");
    const TempFile first("first.wav");
    const TempFile second("second.wav");
    for (const TempFile* out : {&first, &second}) {
        const CliRun run = RunCli({"render", "-H", "-V", "--soundfont", squares.path(), song.path(), out->path()});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
    }
    const Bytes wav = first.Read();
    ASSERT_GT(wav.size(), 44u + 4 * 44100 / 4) << "a quarter second of sound at least";
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav, second.Read());
}

TEST(CliRender, ProblemsAreToldAndGetTheirExitStatus) {
    const TempFile song(TwoNotes());
    const TempFile out("out.wav");
    const CliRun noSoundFont = RunCli({"render", song.path(), out.path()}, "SOLVANE_SOUNDFONT=/nonexistent/x.sf2");
    EXPECT_EQ(noSoundFont.status, 1);
    EXPECT_THAT(noSoundFont.err, HasSubstr("cannot load the soundfont /nonexistent/x.sf2"));
    const CliRun mp3 = RunCli({"render", song.path(), "out.mp3"});
    EXPECT_EQ(mp3.status, 64);
    EXPECT_THAT(mp3.err, HasSubstr("render writes files ending in .wav"));
    EXPECT_EQ(RunCli({"render", song.path()}).status, 64);
    EXPECT_EQ(RunCli({"render", "/nonexistent/x.mid", out.path()}).status, 2);
    EXPECT_TRUE(out.Read().empty()) << "nothing written";
}

TEST(CliPorts, ListsTheBuiltInSynthesizerByItsName) {
    const CliRun run = RunCli({"ports"}, "SOLVANE_SOUNDFONT=/chosen.sf2");
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, HasSubstr("built-in: embedded synthesizer with /chosen.sf2\n"));
}

}  // namespace
}  // namespace solvane
