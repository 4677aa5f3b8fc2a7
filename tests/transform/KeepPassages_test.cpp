// The musical step after the time mirror, case by case on event lists; its
// effect on what is heard is measured in tests/platform/MusicalReversal_test.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "song/Transformation.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"
#include "transform/KeepPassages.h"
#include "transform/ReverseHorizontal.h"

namespace solvane {
namespace {

using test::Control;
using test::EndOfTrack;
using test::NoteOff;
using test::NoteOn;
using test::PitchBend;
using test::Program;
using test::Tempo;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Absolute times, and a tempo's value, which Describe leaves out.
std::vector<std::string> TimesOf(const MidiTrackData& track) {
    std::vector<std::string> out;
    std::int64_t time = 0;
    for (const MusicEvent& e : track.events) {
        time += e.delta;
        std::string text = test::Describe(e);
        text = std::to_string(time) + text.substr(text.find(' '));
        if (e.type == kTypeMeta && e.subtype == kMetaTempo) text += " " + std::to_string(e.value);
        out.push_back(text);
    }
    return out;
}

struct Case {
    const char* name;
    std::vector<MusicEvent> input;  // event form, before any reversal
    std::vector<std::string> expected;
};

std::vector<Case> Cases() {
    return {
        {"a tempo at the start moves to the front",
         {Tempo(0, 600000), NoteOn(0, 60), NoteOff(96, 60), NoteOn(0, 62), NoteOff(96, 62), EndOfTrack()},
         {"0 meta 0x51 len 3 600000", "0 on c0 k62 v100", "96 off c0 k62 v0", "96 on c0 k60 v100",
          "192 off c0 k60 v0", "192 eot"}},
        {"each tempo moves to the start of the passage it governed",
         {Tempo(0, 600000), NoteOn(0, 60), NoteOff(96, 60), Tempo(0, 400000), NoteOn(0, 62), NoteOff(192, 62),
          EndOfTrack(10)},
         {"0 meta 0x51 len 3 400000", "0 on c0 k62 v100", "192 meta 0x51 len 3 600000", "192 off c0 k62 v0",
          "192 on c0 k60 v100", "288 off c0 k60 v0", "298 eot"}},
        {"the player's start tempo comes back where the input's first tempo was",
         {NoteOn(0, 60), NoteOff(96, 60), Tempo(0, 400000), NoteOn(0, 62), NoteOff(96, 62), EndOfTrack()},
         {"0 meta 0x51 len 3 400000", "0 on c0 k62 v100", "96 meta 0x51 len 3 250000", "96 off c0 k62 v0",
          "96 on c0 k60 v100", "192 off c0 k60 v0", "192 eot"}},
        {"the sustain pedal is held over the same notes",
         {Control(0, 64, 127), NoteOn(0, 60), NoteOff(96, 60), Control(0, 64, 0), NoteOn(0, 62), NoteOff(96, 62),
          EndOfTrack()},
         {"0 cc c0 64=0", "0 on c0 k62 v100", "96 cc c0 64=127", "96 off c0 k62 v0", "96 on c0 k60 v100",
          "192 off c0 k60 v0", "192 eot"}},
        {"a bend in the middle is undone where the mirror of its start is",
         {NoteOn(0, 60), PitchBend(48, 0, 80), PitchBend(48, 0, 64), NoteOff(0, 60), NoteOn(0, 62), NoteOff(96, 62),
          EndOfTrack()},
         {"0 bend c0 0 64", "0 on c0 k62 v100", "96 bend c0 0 80", "96 off c0 k62 v0", "96 on c0 k60 v100",
          "144 bend c0 0 64", "192 off c0 k60 v0", "192 eot"}},
        {"parameter settings go to the front in their order, mode messages stay",
         {Control(0, 121, 0), Control(0, 101, 0), Control(0, 100, 0), Control(0, 6, 12), NoteOn(0, 60),
          NoteOff(96, 60), EndOfTrack()},
         {"0 cc c0 101=0", "0 cc c0 100=0", "0 cc c0 6=12", "0 on c0 k60 v100", "96 off c0 k60 v0",
          "96 cc c0 121=0", "96 eot"}},
        {"a controller without a known power-on value gets none back",
         {NoteOn(0, 60), Control(48, 91, 90), NoteOff(48, 60), EndOfTrack()},
         {"0 cc c0 91=90", "0 on c0 k60 v100", "96 off c0 k60 v0", "96 eot"}},
        {"bank selects stand before the program change they choose for",
         {Control(0, 0, 1), Program(0, 5), NoteOn(0, 60), NoteOff(96, 60), Control(0, 0, 2), Program(0, 7),
          NoteOn(0, 62), NoteOff(96, 62), EndOfTrack()},
         {"0 cc c0 0=2", "0 pc c0 7", "0 on c0 k62 v100", "96 cc c0 0=1", "96 off c0 k62 v0", "96 pc c0 5",
          "96 on c0 k60 v100", "192 off c0 k60 v0", "192 eot"}},
    };
}

TEST(KeepPassages, MovesEachStateChangeToThePassageItGoverned) {
    for (const Case& c : Cases()) {
        test::RecordingSink sink;
        auto song = test::SongOf(kStateEventForm, c.input);
        Reverse(*song, {true, false, true});
        EXPECT_THAT(TimesOf(*song->track), ElementsAreArray(c.expected)) << c.name;
        EXPECT_THAT(sink.codes(), IsEmpty()) << c.name;
    }
}

TEST(KeepPassages, WithoutTheOptionTheMirrorIsAsItWas) {
    for (const Case& c : Cases()) {
        auto plain = test::SongOf(kStateEventForm, c.input);
        auto viaPipeline = test::SongOf(kStateEventForm, c.input);
        ReverseHorizontal(*plain->track);
        Reverse(*viaPipeline, {true, false, false});
        EXPECT_EQ(test::Fingerprint(*viaPipeline->track), test::Fingerprint(*plain->track)) << c.name;
    }
}

TEST(KeepPassages, OnlyWithTheTimeMirror) {
    const Case c = Cases().front();
    auto song = test::SongOf(kStateEventForm, c.input);
    Reverse(*song, {false, false, true});
    EXPECT_EQ(test::Fingerprint(*song->track), test::Fingerprint(*test::SongOf(kStateEventForm, c.input)->track));
}

TEST(KeepPassages, RefusesAListWithoutEndOfTrackAndChangesNothing) {
    auto track = test::TrackOf(kStateEventForm, {Tempo(0, 500000), NoteOn(0, 60), NoteOff(96, 60)});
    const auto before = test::Fingerprint(*track);
    EXPECT_FALSE(KeepPassages(*track));
    EXPECT_EQ(test::Fingerprint(*track), before);
    MidiTrackData empty(kStateEventForm);
    EXPECT_FALSE(KeepPassages(empty));
}

// A full list whose every kind would have its start state back stays within
// the capacity, and its events all stay.
TEST(KeepPassages, NeverGrowsAListPastItsCapacity) {
    auto track = std::make_unique<MidiTrackData>(kStateEventForm);
    track->events.reserve(kTrackCapacity);
    for (std::int32_t i = 0; i + 2 < kTrackCapacity; ++i) {
        track->events.push_back(Control(1, i % 2 == 0 ? 7 : 11, i % 128, (i / 2) % 16));
    }
    track->events.push_back(NoteOn(1, 60));
    track->events.push_back(EndOfTrack());
    ASSERT_EQ(track->count(), kTrackCapacity);
    ASSERT_TRUE(ReverseHorizontal(*track));
    ASSERT_TRUE(KeepPassages(*track));
    EXPECT_EQ(track->count(), kTrackCapacity);
    EXPECT_TRUE(track->events.back().IsEndOfTrack());
}

}  // namespace
}  // namespace solvane
