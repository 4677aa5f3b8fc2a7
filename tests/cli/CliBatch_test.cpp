// solvane-cli convert --out-dir: many files in one process, each as it comes
// out when converted alone.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/General.h"
#include "tests/cli/RunCli.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::CliRun;
using test::RunCli;
using test::SmfBuilder;
using test::TempFile;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

// A folder of the test's own, removed with the object.
class TempFolder {
public:
    TempFolder() : anchor_("unused"), path_(fs::path(anchor_.path()).parent_path()) {}
    const fs::path& path() const { return path_; }
    std::string Put(const std::string& name, const Bytes& bytes) const {
        const fs::path file = path_ / name;
        fs::create_directories(file.parent_path());
        test::WriteFileBytes(file.string(), bytes);
        return file.string();
    }

private:
    TempFile anchor_;
    fs::path path_;
};

Bytes Note(int key) { return test::Format0(test::NoteBytes(0, key, 96)); }

std::string Summary(int files, int written, int withErrors, int notWritten) {
    return "solvane-cli: " + std::to_string(files) + (files == 1 ? " file: " : " files: ") + std::to_string(written) +
           " written, " + std::to_string(withErrors) + " written with errors, " + std::to_string(notWritten) +
           " not written\n";
}

std::vector<std::string> NamesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

// The worst status first: the destination failed, nothing loaded, errors, clean.
int Worse(int a, int b) {
    const auto rank = [](int s) { return s == 1 ? 3 : s == 2 ? 2 : s == 3 ? 1 : 0; };
    return rank(b) > rank(a) ? b : a;
}

// Files that reach every kind of outcome, and state a process could carry from
// one file to the next: running status, the once-per-track warning, an
// error, a file cut at the image's size, nothing loaded, nothing there.
std::vector<std::pair<std::string, Bytes>> Generated() {
    Bytes longText = {0x00, 0xFF, 0x01, 0x82, 0x2C};
    longText.resize(longText.size() + 300, 'x');
    longText.insert(longText.end(), {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00});
    Bytes oversized = Note(62);
    oversized.resize(static_cast<std::size_t>(kImageCapacity) + 1000, 0);
    // Running status left open at the end of the file: the next file must not inherit it.
    const Bytes openStatus = SmfBuilder().Header(0, 1, 96).Track({0x00, 0x90, 60, 100, 0x60, 60, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes();
    const Bytes startsWithData = SmfBuilder().Header(0, 1, 96).Track({0x00, 64, 100, 0x60, 0x80, 64, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes();
    return {
        {"a-long-text.mid", SmfBuilder().Header(0, 1, 96).Track(longText).Bytes()},
        {"b-long-text-again.kar", SmfBuilder().Header(1, 2, 96).Track(longText).Track(longText).Bytes()},
        {"c-open-status.mid", openStatus},
        {"d-starts-with-data.mid", startsWithData},
        {"e-tempo-zero.smf", SmfBuilder().Header(0, 1, 96).Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes()},
        {"f-cut.mid", oversized},
        {"g-format-2.mid", SmfBuilder().Header(2, 1, 96).Track(test::kEnd).Bytes()},
        {"h-no-end.midi", SmfBuilder().Header(0, 1, 480).Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40}).Bytes()},
        {"i-plain", Note(67)},
    };
}

// Converted alone and in one batch: the same bytes, the same report lines in
// the same order, and the statuses that the summary and the exit status sum up.
TEST(CliBatch, EachFileComesOutAsItDoesAlone) {
    const TempFolder work;
    std::vector<std::string> inputs;
    for (const auto& [name, bytes] : Generated()) inputs.push_back(work.Put("in/" + name, bytes));
    inputs.push_back((work.path() / "in" / "j-absent.mid").string());
    if (const fs::path corpus = test::CorpusDir(); !corpus.empty()) {
        for (const fs::path& file : test::FilesUnder(corpus)) inputs.push_back(file.string());
    }
    for (const std::vector<std::string>& flags : {std::vector<std::string>{}, std::vector<std::string>{"-H", "-V"}}) {
        SCOPED_TRACE(flags.size());
        const fs::path alone = work.path() / ("alone" + std::to_string(flags.size()));
        const fs::path batch = work.path() / ("batch" + std::to_string(flags.size()));
        fs::create_directories(alone);
        std::string err;
        int worst = 0;
        int counts[4] = {};  // written, with errors, not written
        for (const std::string& in : inputs) {
            std::vector<std::string> args = {"convert"};
            args.insert(args.end(), flags.begin(), flags.end());
            args.insert(args.end(), {in, (alone / (fs::path(in).stem().string() + ".mid")).string()});
            const CliRun run = RunCli(args);
            err += run.err;
            worst = Worse(worst, run.status);
            ++counts[run.status == 0 ? 0 : run.status == 3 ? 1 : 2];
        }
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), flags.begin(), flags.end());
        args.insert(args.end(), {"--out-dir", batch.string()});
        args.insert(args.end(), inputs.begin(), inputs.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, worst);
        EXPECT_EQ(run.err, err + Summary(static_cast<int>(inputs.size()), counts[0], counts[1], counts[2]));
        EXPECT_GT(counts[0], 0);
        EXPECT_GT(counts[1], 0);
        EXPECT_GT(counts[2], 0);
        for (const std::string& in : inputs) {
            const std::string name = fs::path(in).stem().string() + ".mid";
            SCOPED_TRACE(in);
            ASSERT_EQ(fs::exists(batch / name), fs::exists(alone / name));
            if (fs::exists(alone / name)) {
                EXPECT_EQ(test::ReadFileBytes((batch / name).string()), test::ReadFileBytes((alone / name).string()));
            }
        }
    }
}

// A name is written once: the first file to get it keeps it, the later ones
// are told and skipped, and a file of the batch is never written over.
TEST(CliBatch, ANameTakenTwiceIsWrittenOnceAndTheOthersAreSkipped) {
    const TempFolder work;
    const std::string out = (work.path() / "out").string();
    const std::string first = work.Put("a/x.mid", Note(60));
    const std::string sameName = work.Put("b/x.mid", Note(61));
    const std::string otherExtension = work.Put("c/x.kar", Note(62));
    const std::string noExtension = work.Put("d/x", Note(63));
    const std::string another = work.Put("e/y.midi", Note(64));
    const std::string inPlace = work.Put("out/z.mid", Note(65));
    const std::string wouldReplace = work.Put("f/z.rmi", Note(66));
    work.Put("out/stale.mid", Note(67));  // from before: left alone
    const std::string alone = (work.path() / "alone.mid").string();

    const CliRun run = RunCli({"convert", "-H", "--out-dir", out, wouldReplace, first, sameName, otherExtension,
                               noExtension, another, inPlace});
    EXPECT_EQ(run.status, 1);
    const std::string x = (fs::path(out) / "x.mid").string();
    const std::string z = (fs::path(out) / "z.mid").string();
    EXPECT_EQ(run.err, "solvane-cli: " + wouldReplace + ": not converted: " + z + " is " + inPlace + ", a file of this batch\n" +
                           "solvane-cli: " + sameName + ": not converted: " + x + " is written from " + first + " in this batch\n" +
                           "solvane-cli: " + otherExtension + ": not converted: " + x + " is written from " + first + " in this batch\n" +
                           "solvane-cli: " + noExtension + ": not converted: " + x + " is written from " + first + " in this batch\n" +
                           Summary(7, 3, 0, 4));
    EXPECT_THAT(NamesIn(out), UnorderedElementsAre("x.mid", "y.mid", "z.mid", "stale.mid"));
    for (const auto& [in, written] : {std::pair{first, x}, std::pair{another, (fs::path(out) / "y.mid").string()}}) {
        ASSERT_EQ(RunCli({"convert", "-H", in, alone}).status, 0);
        EXPECT_EQ(test::ReadFileBytes(written), test::ReadFileBytes(alone));
    }
    // Converted in place, from its own bytes.
    ASSERT_EQ(RunCli({"convert", "-H", work.Put("g/z.mid", Note(65)), alone}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(z), test::ReadFileBytes(alone));
}

// A folder gives its MIDI files by extension, in any case, and nothing else;
// its subfolders only with -r.
TEST(CliBatch, AFolderGivesItsMidiFiles) {
    const TempFolder work;
    for (const char* name : {"in/a.mid", "in/b.MIDI", "in/c.kar", "in/d.smf", "in/e.rmi", "in/sub/f.mid"}) work.Put(name, Note(60));
    work.Put("in/notes.txt", {'h', 'i'});
    work.Put("in/cover.png", {0x89, 'P', 'N', 'G'});
    fs::create_directories(work.path() / "in" / "folder.mid");
    fs::create_directories(work.path() / "empty");
    const std::string in = (work.path() / "in").string();
    const struct {
        std::vector<std::string> options;
        std::vector<std::string> written;
    } cases[] = {
        {{}, {"a.mid", "b.mid", "c.mid", "d.mid", "e.mid"}},
        {{"-r"}, {"a.mid", "b.mid", "c.mid", "d.mid", "e.mid", "f.mid"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.size());
        const std::string out = (work.path() / ("out" + std::to_string(c.options.size()))).string();
        std::vector<std::string> args = {"convert", "--out-dir", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(in);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0);
        const int n = static_cast<int>(c.written.size());
        EXPECT_EQ(run.err, Summary(n, n, 0, 0));
        EXPECT_THAT(NamesIn(out), ::testing::UnorderedElementsAreArray(c.written));
    }
    // Its own folder inside the one it searches: a second run finds the same sources.
    const std::string inside = (work.path() / "in" / "sub" / "reversed").string();
    for (int run = 0; run < 2; ++run) {
        const CliRun again = RunCli({"convert", "-r", "--out-dir", inside, in});
        EXPECT_EQ(again.status, 0);
        EXPECT_EQ(again.err, Summary(6, 6, 0, 0));
    }
    const CliRun empty = RunCli({"convert", "--out-dir", (work.path() / "out-empty").string(), (work.path() / "empty").string()});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "solvane-cli: " + (work.path() / "empty").string() +
                             ": no .mid, .midi, .kar, .smf or .rmi file in this folder\n" + Summary(0, 0, 0, 0));

    const std::string blocked = work.Put("blocked", {'x'});
    const CliRun noFolder = RunCli({"convert", "--out-dir", blocked, in});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_THAT(noFolder.err, HasSubstr("solvane-cli: " + blocked + ": cannot make the folder: "));
}

// On a terminal the batch shows which file it is at, on one line that the
// next line replaces; in a file (every other test) there is none of it.
TEST(CliBatch, OnATerminalOneProgressLineIsShownAndTakenBack) {
    const TempFolder work;
    const std::string a = work.Put("a.mid", Note(60));
    const std::string b = work.Put("b.mid", SmfBuilder().Header(2, 1, 96).Track(test::kEnd).Bytes());
    const CliRun run = test::RunCliOnTerminal({"convert", "--out-dir", (work.path() / "out").string(), a, b}, 2);
    EXPECT_EQ(run.status, 2);
    const std::string clear = "\r\033[K";
    std::string lines = test::Reported(b, {"MidiFileLoader 0x17000002: Midiファイルではありません。"}) + Summary(2, 1, 0, 1);
    // The terminal turns each newline into a carriage return and a newline.
    for (std::size_t at = 0; (at = lines.find('\n', at)) != std::string::npos; at += 2) lines.insert(at, "\r");
    EXPECT_EQ(run.err, clear + "[1/2] " + a + clear + "[2/2] " + b + clear + lines);
}

}  // namespace
}  // namespace solvane
