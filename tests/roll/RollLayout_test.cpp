#include "roll/RollLayout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "playback/MusicPlayer.h"
#include "song/Transformation.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::EndOfTrack;
using test::Meta;
using test::NoteEvent;
using test::SongOf;
using test::Tempo;
using ::testing::ElementsAre;

// The tempo and the time signature are the pre-roll: 30 ms of pause each,
// then the timer's first step at the new tempo's period (5 ms at 120); a
// quarter note at 120 is 500 ms, at 60 a second.
TEST(RollLayout, NotesAndBarsTakeTheTimesOfThePlayIncludingItsPreRollAndTempoChanges) {
    auto song = SongOf(kStateNoteForm, {Tempo(0, 500000), Meta(0, kMetaTimeSignature, {3, 2, 24, 8}),
                                        NoteEvent(0, 60, 96, 0, 100), NoteEvent(288, 62, 96, 1, 50),
                                        Tempo(96, 1000000), NoteEvent(192, 64, 96, 0, 127), EndOfTrack(96)});
    const RollLayout layout = LayOutRoll(*song);
    ASSERT_EQ(layout.notes.size(), 3u);
    const auto at = [](const RollNote& n) {
        return std::vector<std::int64_t>{n.start / 1000, n.end / 1000, n.key, n.channel, n.velocity};
    };
    EXPECT_THAT(at(layout.notes[0]), ElementsAre(65, 565, 60, 0, 100));
    EXPECT_THAT(at(layout.notes[1]), ElementsAre(1565, 2065, 62, 1, 50));
    // The tempo falls to 60 at the second note's end: 192 ticks to the third take 2 s.
    EXPECT_THAT(at(layout.notes[2]), ElementsAre(4065, 5065, 64, 0, 127));
    // Bars of three quarter notes (288 ticks), the second one slowed in its last third.
    std::vector<std::int64_t> bars;
    for (std::int64_t bar : layout.bars) bars.push_back(bar / 1000);
    EXPECT_THAT(bars, ElementsAre(65, 1565, 4065));
    EXPECT_EQ(layout.length / 1000, 5065);
}

TEST(RollLayout, TheEventTimesAreThoseOfThePlayedCopyIndexedAsTheSequencerCounts) {
    auto song = SongOf(kStateNoteForm, {NoteEvent(0, 60, 48), NoteEvent(48, 62, 48), EndOfTrack(48)});
    const RollLayout layout = LayOutRoll(*song);
    // Note-on, note-off, note-on, note-off, end: 240 a minute, 2 ms to the first step.
    std::vector<std::int64_t> millis;
    for (std::int64_t t : layout.eventTimes) millis.push_back(t / 1000);
    EXPECT_THAT(millis, ElementsAre(2, 127, 127, 252, 252));
    EXPECT_EQ(layout.eventTimes.size(), static_cast<std::size_t>(PrepareForPlay(*song)->track->count()));
    EXPECT_EQ(TimeOfSent(layout, 0), -1);
    EXPECT_EQ(TimeOfSent(layout, 3), 127000);
    EXPECT_EQ(TimeOfSent(layout, 6), -1);
}

TEST(RollLayout, ANoteOffEndsEveryNoteOfItsKeyAsOnASynthesizer) {
    auto song = SongOf(kStateNoteForm, {NoteEvent(0, 60, 96), NoteEvent(48, 60, 96), EndOfTrack(96)});
    const RollLayout layout = LayOutRoll(*song);
    ASSERT_EQ(layout.notes.size(), 2u);
    EXPECT_EQ(layout.notes[0].end, 252000);
    EXPECT_EQ(layout.notes[1].start, 127000);
    EXPECT_EQ(layout.notes[1].end, 252000);  // heard only until the first note's off
}

TEST(RollLayout, TempiThePlayRefusesAreReportedAsAPlayReportsThemAndTimesStayInOrder) {
    test::RecordingSink sink;
    auto song = SongOf(kStateNoteForm, {Tempo(0, 3000000), NoteEvent(0, 60, 96), Tempo(96, 500), NoteEvent(0, 61, 96),
                                        EndOfTrack(96)});
    const RollLayout layout = LayOutRoll(*song);
    ASSERT_EQ(layout.notes.size(), 2u);
    EXPECT_LT(layout.notes[0].start, layout.notes[0].end);
    EXPECT_LE(layout.notes[0].end, layout.notes[1].start);
    EXPECT_FALSE(sink.codes().empty());  // the tempo too slow and the one too fast, as a play tells them
}

}  // namespace
}  // namespace solvane
