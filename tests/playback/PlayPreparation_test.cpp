#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "song/MidiF0Data.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using test::EndOfTrack;
using test::NoteEvent;
using test::NoteOn;
using test::SongOf;

std::vector<std::int32_t> Deltas(const MidiF0Data& song) {
    std::vector<std::int32_t> deltas;
    for (const MusicEvent& e : song.track->events) deltas.push_back(e.delta);
    return deltas;
}

MusicEvent TimeSignature(std::int32_t code) {
    MusicEvent event = test::Meta(0, kMetaTimeSignature, {4, 2, 24, 8});
    event.value = code;
    return event;
}

struct RescaleCase {
    std::int32_t from;
    std::vector<std::int32_t> deltas;
    std::vector<std::int32_t> expected;
};

TEST(Rescale, CarriesTheRemainderAsDesigned) {
    const RescaleCase cases[] = {
        {480, {7, 7, 7}, {1, 1, 2}},
        {120, {30, 15, 5}, {24, 12, 4}},
        {120, {3, 3, 3, 3, 3}, {2, 3, 3, 3, 3}},  // runs late for divisions that are not multiples
        {48, {1, 1, 3}, {2, 2, 6}},
        {96, {5, 0, 7}, {5, 0, 7}},
    };
    for (const RescaleCase& c : cases) {
        std::vector<MusicEvent> events;
        for (std::int32_t d : c.deltas) events.push_back(NoteEvent(d, 60, 960));
        auto song = SongOf(kStateNoteForm, std::move(events), c.from);
        song->ChangeDivision(96);
        EXPECT_THAT(Deltas(*song), ElementsAreArray(c.expected)) << "from " << c.from;
        EXPECT_EQ(song->division, 96);
    }
}

TEST(Rescale, EveryNoteKeepsAtLeastOneTick) {
    auto song = SongOf(kStateNoteForm, {NoteEvent(0, 60, 3), NoteEvent(0, 62, 960)}, 480);
    song->ChangeDivision(96);
    EXPECT_EQ(song->track->events[0].duration, 1);
    EXPECT_EQ(song->track->events[1].duration, 192);
}

TEST(Rescale, OnlyNoteFormIsRescaledButTheDivisionChangesAnyway) {
    test::RecordingSink sink;
    auto song = SongOf(kStateEventForm, {NoteOn(480, 60), EndOfTrack()}, 480);
    song->ChangeDivision(96);
    EXPECT_THAT(sink.codes(), ElementsAre(0x0D000001u));
    EXPECT_THAT(Deltas(*song), ElementsAre(480, 0));
    EXPECT_EQ(song->division, 96);
}

TEST(Rescale, ADivisionOfZeroIsReportedNotDividedBy) {
    test::RecordingSink sink;
    auto song = SongOf(kStateNoteForm, {NoteEvent(480, 60, 10)}, 0);
    song->ChangeDivision(96);
    EXPECT_THAT(sink.codes(), ElementsAre(0x0D000001u));
    EXPECT_THAT(Deltas(*song), ElementsAre(480));
}

TEST(BarLength, FollowsTheFirstTimeSignature) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {{4, 384}, {3, 288}, {6, 288}, {2, 192}, {0, 384}};
    for (auto [code, bar] : cases) {
        auto song = SongOf(kStateEventForm, {TimeSignature(code), TimeSignature(2), EndOfTrack()});
        EXPECT_EQ(song->BarLength(), bar) << "code " << code;
    }
    EXPECT_EQ(SongOf(kStateEventForm, {EndOfTrack()})->BarLength(), 384);
    EXPECT_EQ(SongOf(kStateEventForm, {TimeSignature(3)}, 0)->BarLength(), 384);
    EXPECT_EQ(SongOf(kStateEventForm, {TimeSignature(3)}, 480)->BarLength(), 1440);
}

TEST(TrimLeadingBars, TakesTheWholeBarsBeforeTheFirstNote) {
    auto song = SongOf(kStateEventForm, {test::Tempo(0, 500000), NoteOn(1000, 60), EndOfTrack(96)});
    song->TrimLeadingBars();
    EXPECT_THAT(Deltas(*song), ElementsAre(0, 232, 96));

    auto exact = SongOf(kStateEventForm, {test::Control(100, 7, 1), NoteOn(284, 60), EndOfTrack(96)});
    exact->TrimLeadingBars();
    EXPECT_THAT(Deltas(*exact), ElementsAre(0, 0, 96));
}

TEST(TrimLeadingBars, LooksForNotesInNoteFormAndRefusesAnImage) {
    auto notes = SongOf(kStateNoteForm, {test::Control(500, 7, 1), NoteEvent(300, 60, 10), EndOfTrack()});
    notes->TrimLeadingBars();  // first note at 800, two 4/4 bars cut
    EXPECT_THAT(Deltas(*notes), ElementsAre(0, 32, 0));

    test::RecordingSink sink;
    auto image = SongOf(kStateImage, {NoteOn(1000, 60)});
    image->TrimLeadingBars();
    EXPECT_THAT(sink.codes(), ElementsAre(0x04000005u));
    EXPECT_THAT(Deltas(*image), ElementsAre(1000));
}

TEST(ClearTimeUpTo, MovesEverythingUpToTheCutToTheStart) {
    auto song = SongOf(kStateEventForm, {test::Control(10, 7, 1), test::Control(20, 7, 2), NoteOn(50, 60)});
    song->ClearTimeUpTo(1000);  // nothing passes the cut
    EXPECT_THAT(Deltas(*song), ElementsAre(0, 0, 0));
    auto partial = SongOf(kStateEventForm, {test::Control(10, 7, 1), test::Control(20, 7, 2), NoteOn(50, 60)});
    partial->ClearTimeUpTo(30);
    EXPECT_THAT(Deltas(*partial), ElementsAre(0, 0, 50));
}

}  // namespace
}  // namespace solvane
