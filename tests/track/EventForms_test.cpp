// Moving a track between event form (note-on and note-off apart) and note form
// (one event per note with its duration), and dropping marked records.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RecordingSink.h"
#include "tests/support/TrackFixtures.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

using test::Control;
using test::EndOfTrack;
using test::Marked;
using test::NoteEvent;
using test::NoteOff;
using test::NoteOn;
using test::RecordingSink;
using test::Timeline;
using test::TrackOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(NoteForm, ANoteOnAndItsNoteOffBecomeOneNoteAndComeBackWithVelocity64) {
    RecordingSink sink;
    auto track = TrackOf(kStateEventForm, {NoteOn(0, 60, 90), NoteOff(480, 60), EndOfTrack(0)});

    track->ToNoteForm();
    EXPECT_EQ(track->state, kStateNoteForm);
    EXPECT_THAT(Timeline(*track), ElementsAre("0 note c0 k60 d480", "480 eot"));
    EXPECT_EQ(track->events[0].velocity, 90);

    track->ToEventForm();
    EXPECT_EQ(track->state, kStateEventForm);
    EXPECT_THAT(Timeline(*track), ElementsAre("0 on c0 k60 v90", "480 off c0 k60 v64", "0 eot"));
    EXPECT_EQ(track->events[0].duration, 0);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(NoteForm, NotesOfOneKeyPairFirstInFirstOut) {
    auto track = TrackOf(kStateEventForm,
                         {NoteOn(0, 60), NoteOn(100, 60), NoteOff(100, 60), NoteOff(100, 60), EndOfTrack(0)});
    track->ToNoteForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("0 note c0 k60 d200", "100 note c0 k60 d200", "200 eot"));
}

TEST(NoteForm, ANoteOnWithVelocityZeroInTheFileEndsANote) {
    auto track = test::ReadTrack({0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    track->ToNoteForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("0 note c0 k60 d96", "96 eot"));
}

TEST(NoteForm, UnpairedAndEmptyNotesVanishAndTheirDeltasPassOn) {
    struct Case {
        const char* name;
        std::vector<MusicEvent> events;
        std::vector<std::string> result;
    };
    std::vector<Case> cases;
    cases.push_back({"channels differ",
                     {NoteOn(0, 60, 100, 1), NoteOff(10, 60, 2), Control(5, 7, 1), EndOfTrack(0)},
                     {"15 cc c0 7=1", "0 eot"}});
    cases.push_back({"same tick", {Control(0, 7, 1), NoteOn(10, 60), NoteOff(0, 60), EndOfTrack(5)},
                     {"0 cc c0 7=1", "15 eot"}});
    cases.push_back({"note-on last", {Control(0, 7, 1), NoteOn(7, 60)}, {"0 cc c0 7=1"}});
    cases.push_back({"note-off first", {NoteOff(3, 60), Control(4, 7, 1)}, {"7 cc c0 7=1"}});
    cases.push_back({"marked records", {Marked(2), Control(3, 7, 1), Marked(4)}, {"5 cc c0 7=1"}});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        auto track = TrackOf(kStateEventForm, std::move(c.events));
        track->ToNoteForm();
        EXPECT_THAT(Timeline(*track), ::testing::ElementsAreArray(c.result));
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
}

TEST(NoteForm, ALaterNoteOnOfTheSameKeyDoesNotStopTheWalk) {
    // The first note-on takes the first note-off, past the second note-on.
    auto track = TrackOf(kStateEventForm, {NoteOn(0, 60), NoteOn(10, 60), NoteOff(10, 60), EndOfTrack(10)});
    track->ToNoteForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("0 note c0 k60 d20", "30 eot"));
}

// Note-ons left open by one conversion (fixed keys, and a channel only a
// damaged file holds) are nothing to the next one: it pairs as a first
// conversion on a fresh thread does.
TEST(NoteForm, NotesLeftOpenByOneTrackAreNothingToTheNext) {
    auto open = TrackOf(kStateEventForm, {NoteOn(0, 60), NoteOn(0, 127, 100, 15), NoteOn(0, 5, 100, 40),
                                          NoteOn(10, 60), NoteOff(10, 60), EndOfTrack(0)});
    auto next = [] {
        return TrackOf(kStateEventForm, {NoteOff(0, 60), NoteOff(0, 127, 15), NoteOff(0, 5, 40), NoteOn(5, 60),
                                         NoteOn(0, 5, 100, 40), NoteOff(20, 60), NoteOff(0, 5, 40), EndOfTrack(0)});
    };
    std::vector<std::string> fresh;
    std::thread([&] {
        auto track = next();
        track->ToNoteForm();
        fresh = Timeline(*track);
    }).join();
    ASSERT_THAT(fresh, ElementsAre("5 note c0 k60 d20", "0 note c40 k5 d20", "20 eot"));
    open->ToNoteForm();
    auto track = next();
    track->ToNoteForm();
    EXPECT_EQ(Timeline(*track), fresh);
}

TEST(NoteForm, ANegativeDurationIsReportedAndTheNoteStays) {
    RecordingSink sink;
    auto track = TrackOf(kStateEventForm, {NoteOn(10, 60), NoteOff(-4, 60), EndOfTrack(0)});
    track->ToNoteForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("10 note c0 k60 d-4", "-4 eot"));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

TEST(EventForm, AChordEndingTogetherGetsItsNoteOffsInReverseBeforeTheNextNoteOn) {
    auto track = TrackOf(kStateNoteForm,
                         {NoteEvent(0, 60, 96), NoteEvent(0, 64, 96), NoteEvent(0, 67, 96), NoteEvent(96, 72, 48), EndOfTrack(48)});
    track->ToEventForm();
    EXPECT_THAT(Timeline(*track),
                ElementsAre("0 on c0 k60 v100", "0 on c0 k64 v100", "0 on c0 k67 v100", "96 off c0 k67 v64",
                            "0 off c0 k64 v64", "0 off c0 k60 v64", "0 on c0 k72 v100", "48 off c0 k72 v64", "0 eot"));
}

TEST(EventForm, ANoteEndingInsideALaterGapSplitsTheDelta) {
    auto track = TrackOf(kStateNoteForm, {NoteEvent(0, 60, 30), Control(100, 7, 1), EndOfTrack(0)});
    track->ToEventForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("0 on c0 k60 v100", "30 off c0 k60 v64", "70 cc c0 7=1", "0 eot"));
}

TEST(EventForm, TheEndOfTrackMovesBehindANoteThatOutlastsIt) {
    auto track = TrackOf(kStateNoteForm, {NoteEvent(0, 60, 960), EndOfTrack(480)});
    track->ToEventForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("0 on c0 k60 v100", "960 off c0 k60 v64", "0 eot"));
}

TEST(EventForm, OnlyTheFirstEndOfTrackMovesToTheEnd) {
    auto track = TrackOf(kStateNoteForm, {EndOfTrack(5), Control(3, 7, 1), EndOfTrack(2), Control(1, 7, 2)});
    track->ToEventForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("8 cc c0 7=1", "2 eot", "1 cc c0 7=2", "0 eot"));
}

TEST(EventForm, ANoteWithoutDurationGetsItsNoteOffRightBeforeIt) {
    RecordingSink sink;
    auto track = TrackOf(kStateNoteForm, {Control(0, 7, 1), NoteEvent(5, 60, 0), EndOfTrack(0)});
    track->ToEventForm();
    EXPECT_THAT(Timeline(*track), ElementsAre("0 cc c0 7=1", "5 off c0 k60 v64", "0 on c0 k60 v100", "0 eot"));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

TEST(EventForm, AFullListDropsTheNoteItCannotEndWithOneReport) {
    RecordingSink sink;
    MidiTrackData track(kStateNoteForm);
    for (std::int32_t i = 0; i < kTrackCapacity - 2; ++i) track.Append(Control(0, 7, 1));
    track.Append(NoteEvent(7, 60, 10));
    track.Append(NoteEvent(3, 62, 10));

    track.ToEventForm();

    EXPECT_THAT(sink.texts(), ElementsAre("データの量が多すぎます。"));
    EXPECT_EQ(track.count(), kTrackCapacity);
    EXPECT_EQ(test::Describe(track.events[static_cast<std::size_t>(kTrackCapacity) - 2]), "10 on c0 k62 v100");
    EXPECT_EQ(test::Describe(track.events.back()), "10 off c0 k62 v64");
}

TEST(Forms, AConversionInTheWrongStateReportsAndChangesNothing) {
    for (std::int32_t state : {kStateEmpty, kStateImage, kStateEventForm, kStateNoteForm}) {
        for (bool toNoteForm : {true, false}) {
            if (state == (toNoteForm ? kStateEventForm : kStateNoteForm)) continue;
            SCOPED_TRACE(std::to_string(state) + (toNoteForm ? " to note form" : " to event form"));
            RecordingSink sink;
            auto track = TrackOf(state, {NoteOn(0, 60), NoteOff(10, 60), NoteEvent(0, 62, 5), Marked(1), EndOfTrack(0)});
            const auto before = test::Fingerprint(*track);
            if (toNoteForm) {
                track->ToNoteForm();
            } else {
                track->ToEventForm();
            }
            EXPECT_EQ(test::Fingerprint(*track), before);
            EXPECT_EQ(track->state, state);
            EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
        }
    }
}

TEST(DropMarked, RemovesMarkedRecordsInAnyStateAndKeepsTimes) {
    RecordingSink sink;
    auto track = TrackOf(kStateEmpty, {Marked(5), Marked(1), Control(1, 7, 1), Marked(2), Control(3, 7, 2), Marked(9)});
    track->DropMarked();
    EXPECT_THAT(Timeline(*track), ElementsAre("7 cc c0 7=1", "5 cc c0 7=2"));
    EXPECT_EQ(track->state, kStateEmpty);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(DropMarked, ANegativeSumIsReportedAndKept) {
    RecordingSink sink;
    auto track = TrackOf(kStateEventForm, {Marked(-10), Control(3, 7, 1)});
    track->DropMarked();
    EXPECT_THAT(Timeline(*track), ElementsAre("-7 cc c0 7=1"));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

// Absolute time and description of every event, in a canonical order, so that
// lists that differ only in the order of simultaneous events compare equal.
std::vector<std::string> TimedEvents(const MidiTrackData& track) {
    std::vector<std::string> out;
    std::int64_t time = 0;
    for (const MusicEvent& e : track.events) {
        time += e.delta;
        MusicEvent undelayed(e);
        undelayed.delta = 0;
        if (undelayed.type == kTypeNoteOff) undelayed.velocity = 64;
        out.push_back(std::to_string(time) + " " + test::Describe(undelayed));
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Forms, ARoundTripKeepsEveryEventAtItsTime) {
    std::mt19937 random(4242);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        // Notes on 3 channels x 4 keys that do not overlap per key, with controllers between.
        MidiTrackData track(kStateEventForm);
        std::vector<bool> sounding(12, false);
        for (int step = 0; step < 300; ++step) {
            const auto delta = static_cast<std::int32_t>(random() % 4 == 0 ? 0 : random() % 50 + 1);
            const auto slot = static_cast<std::size_t>(random() % 12);
            const auto channel = static_cast<std::int32_t>(slot / 4);
            const auto key = static_cast<std::int32_t>(60 + slot % 4);
            if (random() % 5 == 0) {
                track.Append(Control(delta, 7, static_cast<std::int32_t>(random() % 128), channel));
            } else if (sounding[slot] && delta > 0) {
                track.Append(NoteOff(delta, key, channel, static_cast<std::int32_t>(random() % 128)));
                sounding[slot] = false;
            } else if (!sounding[slot]) {
                track.Append(NoteOn(delta, key, static_cast<std::int32_t>(random() % 127 + 1), channel));
                sounding[slot] = true;
            }
        }
        for (std::size_t slot = 0; slot < 12; ++slot) {
            if (!sounding[slot]) continue;
            track.Append(NoteOff(1, static_cast<std::int32_t>(60 + slot % 4), static_cast<std::int32_t>(slot / 4)));
        }
        track.AppendEndOfTrack(0);
        const auto before = TimedEvents(track);

        track.ToNoteForm();
        track.ToEventForm();

        EXPECT_EQ(TimedEvents(track), before);
        EXPECT_TRUE(track.events.back().IsEndOfTrack());
    }
}

}  // namespace
}  // namespace solvane
