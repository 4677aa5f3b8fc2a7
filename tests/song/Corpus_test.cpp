// Every third-party file that loads must survive every box combination of
// Save: the written file loads again without complaint, independent readers
// accept it, and with no box ticked it holds the same notes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

namespace fs = std::filesystem;
using test::RecordingSink;
using test::Report;

bool ToolWorks(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Every report but the two that a well-formed file may still give: the
// warning about a large event, and the release of a large event's data.
bool AboutStructure(const Report& r) {
    const bool oversized = r.module == "MidiTrackData" && r.code == kTrackOversizedEvent;
    const bool released = r.module == "MusicEvent" && r.code == kEventDataTooLarge;
    return !oversized && !released;
}

std::string Describe(const std::vector<Report>& reports) {
    std::string out;
    for (const Report& r : reports) out += FormatReport(r.module, r.code, r.text) + "\n";
    return out;
}

// A key signature outside -7..7 sharps or with a mode other than 0 and 1 is
// kept as read; strict readers refuse the written file for it.
bool HasInvalidKeySignature(const MidiTrackData& track) {
    for (const MusicEvent& e : track.events) {
        if (e.type != kTypeMeta || e.subtype != 0x59) continue;
        const auto sharps = static_cast<std::int8_t>(e.DataByte(0));
        if (sharps < -7 || sharps > 7 || e.DataByte(1) > 1) return true;
    }
    return false;
}

// Sorted note lists compared as multisets; on a difference only the notes
// on either side alone are shown.
void ExpectSameNotes(const std::vector<test::Note>& actual, const std::vector<test::Note>& expected) {
    if (actual == expected) return;
    std::vector<test::Note> missing;
    std::vector<test::Note> extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    testing::Message message;
    message << missing.size() << " notes lost, " << extra.size() << " gained (of " << expected.size() << ")";
    for (std::size_t i = 0; i < std::min<std::size_t>(missing.size(), 6); ++i) message << "\n  lost " << missing[i];
    for (std::size_t i = 0; i < std::min<std::size_t>(extra.size(), 6); ++i) message << "\n  gained " << extra[i];
    ADD_FAILURE() << message;
}

// mido reads the written files in a second process while this one goes on
// converting; Finish waits for it and returns one line per refusal.
class MidoReader {
public:
    explicit MidoReader(const fs::path& dir) : refusals_(dir / "mido-refusals.txt") {
        const fs::path script = dir / "mido-check.py";
        std::ofstream py(script);
        py << "import sys, mido\n"
              "out = open(sys.argv[1], 'w')\n"
              "for line in sys.stdin:\n"
              "    path, keysig = line.rstrip('\\n').split('\\t')\n"
              "    try:\n"
              "        mido.MidiFile(path)\n"
              "    except Exception as e:\n"
              "        if keysig == '1' and type(e).__name__ == 'KeySignatureError':\n"
              "            continue\n"
              "        out.write(path + ': ' + type(e).__name__ + ': ' + str(e) + '\\n')\n";
        py.close();
        const std::string command =
            "/usr/bin/python3 " + Quoted(script.string()) + " " + Quoted(refusals_.string());
        pipe_ = ::popen(command.c_str(), "w");
    }
    ~MidoReader() {
        if (pipe_ != nullptr) ::pclose(pipe_);
    }
    MidoReader(const MidoReader&) = delete;
    MidoReader& operator=(const MidoReader&) = delete;

    void Check(const std::string& path, bool invalidKeySignature) {
        if (pipe_ == nullptr) return;
        std::fprintf(pipe_, "%s\t%d\n", path.c_str(), invalidKeySignature ? 1 : 0);
        std::fflush(pipe_);
    }

    std::vector<std::string> Finish() {
        if (pipe_ == nullptr) return {"mido could not be started"};
        const int status = ::pclose(pipe_);
        pipe_ = nullptr;
        std::vector<std::string> refused;
        std::ifstream in(refusals_);
        for (std::string line; std::getline(in, line);) refused.push_back(line);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) refused.push_back("mido check ended abnormally");
        return refused;
    }

private:
    fs::path refusals_;
    FILE* pipe_ = nullptr;
};

// A song's notes as the written file gives them back. Written as one track,
// notes of one channel and key that overlapped in different tracks are paired
// again first in, first out: each start takes the earliest free end after it.
// Keys of damaged files are written clamped to 0..127.
std::vector<test::Note> AsWrittenAndRead(const std::vector<test::Note>& notes) {
    std::map<std::pair<std::int32_t, std::int32_t>, std::pair<std::vector<std::int64_t>, std::multiset<std::int64_t>>>
        byKey;
    for (const test::Note& n : notes) {
        auto& [starts, ends] = byKey[{n.channel, std::clamp(n.key, 0, 127)}];
        starts.push_back(n.start);
        ends.insert(n.start + n.duration);
    }
    std::vector<test::Note> out;
    for (auto& [id, startsAndEnds] : byKey) {
        auto& [starts, ends] = startsAndEnds;
        std::sort(starts.begin(), starts.end());
        for (const std::int64_t start : starts) {
            const auto end = ends.upper_bound(start);
            if (end == ends.end()) continue;
            out.push_back({id.first, id.second, start, *end - start});
            ends.erase(end);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Corpus, EveryLoadableFileConvertsWithEveryBoxCombinationAndLoadsAgain) {
    const fs::path corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the repository";
    const auto started = std::chrono::steady_clock::now();
    const bool haveMidicsv = ToolWorks("command -v midicsv");
    const bool haveMido = ToolWorks("/usr/bin/python3 -c 'import mido'");
    const test::TempFile scratch("unused");
    const fs::path outDir = fs::path(scratch.path()).parent_path();

    int files = 0;
    int loaded = 0;
    int unsavable = 0;
    int cut = 0;
    int written = 0;
    std::unique_ptr<MidoReader> mido;
    if (haveMido) mido = std::make_unique<MidoReader>(outDir);
    RecordingSink sink;
    for (const fs::path& file : test::FilesUnder(corpus)) {
        ++files;
        const std::string name = fs::relative(file, corpus).string();
        SCOPED_TRACE(name);
        sink.Clear();
        MidiFileLoader loader(file.string());
        if (loader.size == 0) continue;
        loader.BuildSong();
        if (loader.song == nullptr) {
            ADD_FAILURE() << "a file that loads always gives a song";
            continue;
        }
        ++loaded;
        const MidiF0Data& song = *loader.song;
        const auto& events = song.track->events;
        const bool endsWithEndOfTrack = !events.empty() && events.back().IsEndOfTrack();
        unsavable += endsWithEndOfTrack ? 0 : 1;
        const bool invalidKeySignature = HasInvalidKeySignature(*song.track);
        const auto expectedNotes = AsWrittenAndRead(test::Notes(*song.track));
        // Save's copy and event form are the same for every combination, and
        // the conversion is the slow part: it is done once and its list reused.
        MidiF0Data eventForm(song);
        eventForm.ToEventForm();
        ASSERT_EQ(eventForm.state, kStateEventForm);

        for (int boxes = 0; boxes < 4; ++boxes) {
            const bool horizontal = (boxes & 1) != 0;
            const bool vertical = (boxes & 2) != 0;
            SCOPED_TRACE(testing::Message() << "H=" << horizontal << " V=" << vertical);
            MidiF0Data copy(kStateEventForm);
            copy.division = song.division;
            copy.track->events = eventForm.track->events;
            if (horizontal) copy.ReverseHorizontal();
            if (vertical) copy.ReverseVertical();
            sink.Clear();
            copy.WriteSmf();
            EXPECT_EQ(copy.state, kStateImage);
            if (!endsWithEndOfTrack) {
                // Without an End of Track there is no track to write, and nothing to save.
                EXPECT_THAT(sink.codes(), ::testing::ElementsAre(kTrackNoChunk));
                EXPECT_FALSE(copy.HoldsWrittenFile());
                continue;
            }
            EXPECT_TRUE(copy.HoldsWrittenFile());
            // A song whose format-0 file would outgrow the image is cut, with a report.
            const std::vector<Report> writeReports = sink.reports();
            const bool tooLarge = std::any_of(writeReports.begin(), writeReports.end(), [](const Report& r) {
                return r.module == "General" && r.code == kGeneralDataTooLarge;
            });
            cut += tooLarge && boxes == 0 ? 1 : 0;
            if (copy.size <= 14 + 8) {
                ADD_FAILURE() << "no track chunk written";
                continue;
            }
            const fs::path out = outDir / (std::to_string(files) + "-" + std::to_string(boxes) + ".mid");
            sink.Clear();
            WriteWholeFile(out.string(), copy.Bytes(), copy.size);
            EXPECT_THAT(sink.codes(), ::testing::IsEmpty());
            ++written;

            MidiFileLoader again(out.string());
            if (again.size == 0) {
                ADD_FAILURE() << "the written file does not load\n" << Describe(sink.reports());
                continue;
            }
            again.BuildSong();
            ASSERT_NE(again.song, nullptr);
            std::vector<Report> structural;
            for (const Report& r : sink.reports()) {
                if (AboutStructure(r)) structural.push_back(r);
            }
            // A cut file stays one byte short of the image, so it reads back whole.
            if (tooLarge) {
                EXPECT_LT(copy.size, kImageCapacity);
            }
            EXPECT_TRUE(structural.empty()) << Describe(structural);
            EXPECT_EQ(again.song->division, song.division);
            if (boxes == 0 && !tooLarge) {
                ExpectSameNotes(test::Notes(*again.song->track), expectedNotes);
            }
            if (haveMidicsv) {
                EXPECT_TRUE(ToolWorks("midicsv " + Quoted(out.string()) + " /dev/null")) << "midicsv refused it";
            }
            if (mido) mido->Check(out.string(), invalidKeySignature);
        }
    }
    if (mido) {
        for (const std::string& refusal : mido->Finish()) ADD_FAILURE() << "mido: " << refusal;
    }
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    RecordProperty("files", files);
    RecordProperty("loaded", loaded);
    RecordProperty("unsavable", unsavable);
    std::cout << "corpus: " << files << " files, " << loaded << " loaded, " << unsavable
              << " without End of Track (nothing to save), " << cut << " cut to the image, " << written
              << " files written and read again" << (haveMidicsv ? ", midicsv" : "") << (haveMido ? ", mido" : "")
              << ", " << seconds << " s\n";
}

}  // namespace
}  // namespace solvane
