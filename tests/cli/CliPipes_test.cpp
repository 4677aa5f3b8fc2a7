// solvane-cli in a pipeline: - as IN and OUT, report lines that name their
// file, and --version.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/General.h"
#include "tests/cli/RunCli.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::Bytes;
using test::CliRun;
using test::RunCli;
using test::SmfBuilder;
using test::TempFile;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// What a run printed about path, as it would be about "-" instead.
std::string AsStdin(std::string err, const std::string& path) {
    for (std::size_t at = 0; (at = err.find(": " + path + ": ", at)) != std::string::npos;) err.replace(at, path.size() + 4, ": -: ");
    return err;
}

std::vector<std::pair<const char*, Bytes>> Inputs() {
    const Bytes piece = test::Format0(test::Concat({{0x00, 0xC0, 5}, test::NoteBytes(0, 60, 48), test::NoteBytes(1, 64, 96)}));
    Bytes oversized = piece;
    oversized.resize(static_cast<std::size_t>(kImageCapacity) * 3, 0);
    return {
        {"a piece", piece},
        {"a tempo of 0", SmfBuilder().Header(0, 1, 96).Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes()},
        {"longer than an image", oversized},
        {"in a RIFF wrapper", test::RiffFile("RMID", {{"data", piece}})},
        {"format 2", SmfBuilder().Header(2, 1, 96).Track(test::kEnd).Bytes()},
        {"empty", {}},
    };
}

// Standard input reads as the same bytes in a file would, with the same
// limit and reports (naming "-"); standard output gets the bytes the file would.
TEST(CliPipes, StandardInputAndOutputAreAsFiles) {
    for (const auto& [name, bytes] : Inputs()) {
        SCOPED_TRACE(name);
        const TempFile in(bytes, "in.mid");
        const TempFile out("out.mid");
        const CliRun file = RunCli({"convert", "-H", in.path(), out.path()});
        const CliRun piped = RunCli({"convert", "-H", "-", "-"}, "", in.path());
        EXPECT_EQ(piped.status, file.status);
        EXPECT_EQ(piped.err, AsStdin(file.err, in.path()));
        EXPECT_EQ(piped.out, std::filesystem::exists(out.path()) ? Text(out.Read()) : "");
        const CliRun info = RunCli({"info", in.path()});
        const CliRun infoPiped = RunCli({"info", "-"}, "", in.path());
        EXPECT_EQ(infoPiped.status, info.status);
        EXPECT_EQ(infoPiped.out, info.out);
        EXPECT_EQ(infoPiped.err, AsStdin(info.err, in.path()));
    }
}

// Through a real pipe, whose size nobody can tell, both ways.
TEST(CliPipes, APipeFeedsAndTakesTheConversion) {
    for (const auto& [name, bytes] : Inputs()) {
        SCOPED_TRACE(name);
        const TempFile in(bytes, "in.mid");
        const TempFile alone("alone.mid");
        const TempFile piped("piped.mid");
        const int status = RunCli({"convert", "-V", in.path(), alone.path()}).status;
        const TempFile exit("status.txt");
        const std::string command = "cat '" + in.path() + "' | ('" SOLVANE_CLI "' convert -V - - 2>/dev/null; echo $? > '" +
                                    exit.path() + "') | cat > '" + piped.path() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(Text(exit.Read()), std::to_string(status) + "\n");
        EXPECT_EQ(piped.Read(), std::filesystem::exists(alone.path()) ? alone.Read() : Bytes{});
    }
}

TEST(CliPipes, AMidiFileIsNotWrittenToATerminal) {
    const TempFile in(test::Format0(test::NoteBytes(0, 60, 96)));
    const CliRun run = test::RunCliOnTerminal({"convert", in.path(), "-"}, 1);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, IsEmpty());
}

// A name that holds a line break cannot break the report's line.
TEST(CliPipes, EveryReportStaysOneLineWhateverTheFileIsCalled) {
    const TempFile in(SmfBuilder().Header(2, 1, 96).Track(test::kEnd).Bytes(), "two\nlines.mid");
    const CliRun run = RunCli({"info", in.path()});
    EXPECT_EQ(run.status, 2);
    const std::string shown = in.path().substr(0, in.path().find('\n')) + "\\x0Alines.mid";
    EXPECT_EQ(run.err, test::Reported(shown, {"MidiFileLoader 0x17000002: Midiファイルではありません。"}));
}

TEST(CliVersion, TellsTheProgramsAndTheSoundLibrarysVersions) {
    const CliRun run = RunCli({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, MatchesRegex("solvane-cli [0-9][0-9.]*\nFluidSynth [0-9][0-9.]* \\(play, ports and render, in solvane-cli-sound\\)\n"
                                      "Qt [0-9][0-9.]* \\(roll, in solvane-cli-sound\\)\n"));
    EXPECT_THAT(run.err, IsEmpty());
    // Without its companion it still tells its own.
    const TempFile alone("solvane-cli");
    std::filesystem::copy_file(SOLVANE_CLI, alone.path());
    const TempFile out("version.txt");
    const int raw = std::system(("'" + alone.path() + "' --version > '" + out.path() + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_THAT(Text(out.Read()), MatchesRegex("solvane-cli [0-9][0-9.]*\nFluidSynth: unknown, .*solvane-cli-sound cannot start: .*\n"));
}

}  // namespace
}  // namespace solvane
