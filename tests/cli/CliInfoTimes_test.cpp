// solvane-cli info: how long a piece plays, here and on a standard player,
// its tempo events and track names, as text and as JSON.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

Bytes Tempo(std::uint32_t microseconds) {
    return {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16), static_cast<std::uint8_t>(microseconds >> 8),
            static_cast<std::uint8_t>(microseconds)};
}

// The times a play takes come from the player's own rules: 240 a minute until
// a tempo event, 30 ms for each event sent before the first note, the first
// note one timer period after that whatever its delta, whole bars of silence
// before it left out, each wait in whole milliseconds, a tempo below 30 a
// minute played at 60. A standard player starts at 120 and follows the file.
TEST(CliInfoTimes, ThePlayersDurationFollowsItsOwnRulesAndTheStandardOneTheFile) {
    const Bytes twoNotes = test::Concat({test::NoteBytes(0, 60, 48), test::NoteBytes(0, 64, 48)});
    const struct {
        const char* name;
        Bytes file;
        const char* played;
        const char* standard;
    } cases[] = {
        // 30 ms for the program change, a period of 2 ms, two waits of 125.
        {"no tempo event", test::Format0(test::Concat({{0x00, 0xC0, 5}, twoNotes})), "0.282", "0.500"},
        // 30 ms for the tempo event, a period of 5 ms at 120, two waits of 250.
        {"a tempo of 120 before the first note", test::Format0(test::Concat({{0x00}, Tempo(500000), twoNotes})), "0.535",
         "0.500"},
        // The note at tick 400 plays at once: the bar before it goes, and the 16 ticks after it count for nothing.
        {"a first note after a bar of silence",
         test::Format0(test::Concat({test::VarLen(400), {0x90, 60, 100}, test::VarLen(48), {0x80, 60, 0}})), "0.127",
         "2.333"},
        // Too slow: 60 a minute from the tempo event on, 1000 ms for the quarter note.
        {"a tempo below 30 a minute", test::Format0(test::Concat({{0x00, 0x90, 60, 100, 0x00}, Tempo(2001000), {0x60, 0x80, 60, 0}})),
         "1.002", "2.001"},
        // 60,000 a minute makes the timer's period 0 ms: the play never starts its timer.
        {"a first tempo too fast for the timer", test::Format0(test::Concat({{0x00}, Tempo(1000), test::NoteBytes(0, 60, 96)})),
         "null", "0.001"},
        // 480 a quarter becomes 96: 125 ms at 240, then 300 at 100 a minute.
        {"division 480 and a tempo change",
         SmfBuilder().Header(0, 1, 480).Track(test::Concat({{0x00, 0x90, 60, 100, 0x81, 0x70}, Tempo(600000),
                                                            {0x81, 0x70, 0x80, 60, 0}, test::kEnd})).Bytes(),
         "0.427", "0.550"},
        // 25 frames of 40 ticks a second: 1000 ticks are a second, whatever the tempo.
        {"SMPTE time", SmfBuilder().Header(0, 1, 0xE728).Track(test::Concat({{0x00, 0x90, 60, 100, 0x87, 0x68, 0x80, 60, 0},
                                                                              test::kEnd})).Bytes(),
         "0.004", "1.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile in(c.file);
        const CliRun run = RunCli({"info", "--json", in.path()});
        EXPECT_EQ(run.status, 0);
        EXPECT_THAT(run.err, IsEmpty());  // what the play would report is the play's to say
        EXPECT_THAT(run.out, HasSubstr(std::string("\"seconds_played\": ") + c.played + ", \"seconds_at_120\": " + c.standard + ","));
    }
}

// Three tracks: a name and a tempo change, a Latin-1 name with quotes, no name.
Bytes Named() {
    return SmfBuilder()
        .Header(1, 3, 96)
        .Track(test::Concat({{0x00, 0xFF, 0x03, 5, 'P', 'i', 'a', 'n', 'o', 0x00}, Tempo(500000), {0x60}, Tempo(400000), test::kEnd}))
        .Track(test::Concat({{0x00, 0xFF, 0x03, 7, 'C', 'a', 'f', 0xE9, ' ', '"', '1'}, test::NoteBytes(1, 60, 192), test::kEnd}))
        .Track(test::Concat({test::NoteBytes(2, 67, 96), test::kEnd}))
        .Bytes();
}

TEST(CliInfoTimes, TextAndJsonTellTheSame) {
    const TempFile in(Named(), "named.mid");
    const CliRun text = RunCli({"info", in.path()});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out,
              "format: 1\n"
              "tracks: 3\n"
              "division: 96\n"
              "events: 7\n"
              "notes: 2\n"
              "  channel 2: 1\n"
              "  channel 3: 1\n"
              "length: 192 ticks\n"
              // 90 ms for the three events before the first note (two names and a tempo), a
              // period of 5 ms at 120, then 96 ticks at 120 (500 ms) and 96 at 150 (400 ms).
              "duration: 0.995 s as played here (240 a minute until a tempo event)\n"
              "duration at 120: 0.900 s as a standard player plays it\n"
              "tempo events: 2\n"
              "  tick 0: 500000 us a quarter (120 a minute)\n"
              "  tick 96: 400000 us a quarter (150 a minute)\n"
              "track names: 2\n"
              "  track 1: Piano\n"
              "  track 2: Café \"1\n");
    const CliRun json = RunCli({"info", "--json", in.path()});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out, "{\"file\": \"" + in.path() +
                            "\", \"loaded\": true, \"format\": 1, \"tracks\": 3, \"division\": 96, \"events\": 7, "
                            "\"notes\": 2, \"notes_per_channel\": {\"2\": 1, \"3\": 1}, \"length_ticks\": 192, "
                            "\"seconds_played\": 0.995, \"seconds_at_120\": 0.900, \"tempo_events\": "
                            "[{\"tick\": 0, \"microseconds\": 500000, \"bpm\": 120}, "
                            "{\"tick\": 96, \"microseconds\": 400000, \"bpm\": 150}], \"track_names\": "
                            "[{\"track\": 1, \"name\": \"Piano\"}, {\"track\": 2, \"name\": \"Café \\\"1\"}]}\n");
}

// Several files: each told in turn (headed by its name as text, one JSON
// line each, one that did not load too); the exit status is the worst.
TEST(CliInfoTimes, SeveralFilesAreToldInTurn) {
    const TempFile a(test::Format0(test::NoteBytes(0, 60, 96)), "a.mid");
    const TempFile b(SmfBuilder().Header(2, 1, 96).Track(test::kEnd).Bytes(), "b.mid");
    const TempFile c(Named(), "c.mid");
    const CliRun one = RunCli({"info", a.path()});
    const CliRun three = RunCli({"info", a.path(), b.path(), c.path()});
    EXPECT_EQ(three.status, 2);
    EXPECT_EQ(three.err, test::Reported(b.path(), {"MidiFileLoader 0x17000002: Midiファイルではありません。"}));
    EXPECT_EQ(three.out, "file: " + a.path() + "\n" + one.out + "\nfile: " + c.path() + "\n" + RunCli({"info", c.path()}).out);
    const CliRun json = RunCli({"info", "--json", a.path(), b.path(), c.path()});
    EXPECT_EQ(json.status, 2);
    EXPECT_THAT(json.out, HasSubstr("\n{\"file\": \"" + b.path() + "\", \"loaded\": false}\n"));
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 3);
}

}  // namespace
}  // namespace solvane
