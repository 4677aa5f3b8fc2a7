// solvane-cli roll, run as a program: the picture it writes, and what it
// says and leaves behind when it cannot.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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

Bytes Tune() {
    return SmfBuilder()
        .Header(0, 1, 96)
        .Track({0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0x90, 67, 100, 0x30, 0x80, 67, 0, 0x00, 0x99, 36, 100,
                0x30, 0x89, 36, 0, 0x00, 0xFF, 0x2F, 0x00})
        .Bytes();
}

// A PNG's width and height from its header chunk; 0 and 0 for anything else.
std::pair<int, int> PngSize(const Bytes& png) {
    static const Bytes kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (png.size() < 24 || !std::equal(kSignature.begin(), kSignature.end(), png.begin())) return {0, 0};
    const auto at = [&](std::size_t i) { return png[i] << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3]; };
    return {at(16), at(20)};
}

std::vector<std::string> FilesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
}

TEST(CliRoll, DrawsThePictureAtTheSizeAskedAndEachChoiceOfBoxesDrawsItsOwn) {
    const TempFile song(Tune());
    const TempFile plain("plain.png");
    const TempFile inverted("inverted.png");
    const TempFile framed("framed.png");
    EXPECT_EQ(RunCli({"roll", song.path(), plain.path()}).status, 0);
    const CliRun run = RunCli({"roll", "-V", "--size", "300x200", song.path(), inverted.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.err, IsEmpty());
    EXPECT_EQ(RunCli({"roll", "--size=300x200", song.path(), framed.path()}).status, 0);
    EXPECT_EQ(PngSize(plain.Read()), std::make_pair(1280, 720));
    EXPECT_EQ(PngSize(inverted.Read()), std::make_pair(300, 200));
    EXPECT_NE(inverted.Read(), framed.Read());
}

struct Refusal {
    std::vector<std::string> args;  // "IN" and "OUT" stand for the files
    int status;
    std::string says;
};

TEST(CliRoll, BadInputGetsItsStatusAndAClearLineAndWritesNothing) {
    const TempFile song(Tune());
    const TempFile notMidi(Bytes{'h', 'e', 'l', 'l', 'o'}, "text.mid");
    const std::vector<Refusal> refusals = {
        {{"roll", "IN"}, 64, "roll needs IN and OUT.png"},
        {{"roll", "IN", "OUT", "extra.png"}, 64, "roll needs IN and OUT.png"},
        {{"roll", "IN", "OUT.jpg"}, 64, "roll writes .png files"},
        {{"roll", "--size", "10x10", "IN", "OUT"}, 64, "--size takes WxH, each from 64 to 8192"},
        {{"roll", "--size", "800by600", "IN", "OUT"}, 64, "--size takes WxH"},
        {{"roll", "--size=800x", "IN", "OUT"}, 64, "--size takes WxH"},
        {{"roll", "IN", "OUT", "--size"}, 64, "--size needs WxH"},
        {{"roll", "--musicality", "IN", "OUT"}, 64, "unknown option --musicality"},
        {{"roll", "missing.mid", "OUT"}, 2, "missing.mid: "},
        {{"roll", notMidi.path(), "OUT"}, 2, "text.mid: MidiF0Data 0x04000004"},
        {{"roll", "IN", "no/such/folder/out.png"}, 1, "cannot write no/such/folder/out.png"},
    };
    for (const Refusal& r : refusals) {
        const TempFile out("out.png");
        std::vector<std::string> args;
        for (const std::string& a : r.args) {
            args.push_back(a == "IN" ? song.path() : a == "OUT" ? out.path() : a == "OUT.jpg" ? out.path() + ".jpg" : a);
        }
        SCOPED_TRACE(::testing::PrintToString(r.args));
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, r.status);
        EXPECT_THAT(run.err, HasSubstr(r.says));
        const auto dir = std::filesystem::path(out.path()).parent_path();
        EXPECT_THAT(FilesIn(dir), IsEmpty());
    }
}

}  // namespace
}  // namespace solvane
