// The core's list algorithms against their plain versions (ReferenceForms) on
// thousands of lists made at random from fixed seeds: the same events, field
// for field, and the same reports, in the same order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "tests/reference/Compare.h"
#include "tests/reference/RandomLists.h"
#include "tests/reference/ReferenceForms.h"
#include "tests/support/RecordingSink.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

using test::Exact;
using test::ExpectSameReports;
using test::ExpectSameSong;
using test::ExpectSameTrack;
using test::ListShape;
using test::RandomLists;
using test::Recorded;

// Shapes the inputs cycle through: anything goes; plain lists; plain lists
// with large records; and huge deltas alone.
ListShape ShapeFor(std::uint64_t seed, bool noteForm, std::int32_t maxLength) {
    ListShape shape;
    shape.noteForm = noteForm;
    shape.maxLength = maxLength;
    switch (seed % 4) {
        case 0: break;
        case 1: shape.wildDeltas = shape.wildChannels = shape.oversized = false; break;
        case 2: shape.wildDeltas = shape.wildChannels = false; break;
        default: shape.wildChannels = shape.oversized = false; break;
    }
    return shape;
}

constexpr std::uint64_t kInputs = 3000;
constexpr std::uint64_t kLongInputs = 200;

// One operation on a track, both ways, on lists of the form it expects (and
// now and then on a track in the other form, which it refuses).
struct TrackCase {
    const char* name;
    std::int32_t state;
    bool noteForm;
    void (*reference)(MidiTrackData&);
    void (*core)(MidiTrackData&);
};

void PrintTo(const TrackCase& op, std::ostream* out) { *out << op.name; }

class TrackOperation : public testing::TestWithParam<TrackCase> {};

TEST_P(TrackOperation, GivesTheEventsAndReportsOfThePlainWalk) {
    const TrackCase& op = GetParam();
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= kInputs + kLongInputs; ++seed) {
        SCOPED_TRACE(testing::Message() << op.name << " seed " << seed);
        RandomLists random(seed);
        const ListShape shape = ShapeFor(seed, op.noteForm, seed <= kInputs ? 60 : 700);
        const std::vector<MusicEvent> input = random.List(shape);
        const std::int32_t state = random.Chance(5) ? 3 - op.state : op.state;
        auto expected = test::TrackOf(state, test::Exact(input));
        auto actual = test::TrackOf(state, test::Exact(input));
        // The writer's once-per-track warnings are process-wide: both runs start afresh.
        MidiTrackData::ResetReaderState();
        const auto expectedReports = Recorded([&] { op.reference(*expected); });
        MidiTrackData::ResetReaderState();
        const auto actualReports = Recorded([&] { op.core(*actual); });
        ExpectSameTrack(*expected, *actual);
        ExpectSameReports(expectedReports, actualReports);
        if (testing::Test::HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, TrackOperation,
    testing::Values(
        TrackCase{"ToNoteForm", kStateEventForm, false, reference::ToNoteForm,
                  [](MidiTrackData& t) { t.ToNoteForm(); }},
        TrackCase{"ToEventForm", kStateNoteForm, true, reference::ToEventForm,
                  [](MidiTrackData& t) { t.ToEventForm(); }},
        TrackCase{"DropMarked", kStateEventForm, false, reference::DropMarked,
                  [](MidiTrackData& t) { t.DropMarked(); }},
        TrackCase{"KeepLastEndOfTrack", kStateNoteForm, true, reference::KeepLastEndOfTrack,
                  [](MidiTrackData& t) { t.KeepLastEndOfTrack(); }},
        TrackCase{"SortSimultaneous", kStateEventForm, false, reference::SortSimultaneous,
                  [](MidiTrackData& t) { t.SortSimultaneous(); }},
        TrackCase{"RaiseSysex", kStateEventForm, false, reference::RaiseSysex,
                  [](MidiTrackData& t) { t.RaiseSysex(); }},
        TrackCase{"OffsBeforeOns", kStateEventForm, false, reference::OffsBeforeOns,
                  [](MidiTrackData& t) { t.OffsBeforeOns(); }},
        TrackCase{"EventFormAndBack", kStateNoteForm, true,
                  [](MidiTrackData& t) {
                      reference::ToEventForm(t);
                      reference::ToNoteForm(t);
                  },
                  [](MidiTrackData& t) {
                      t.ToEventForm();
                      t.ToNoteForm();
                  }}),
    [](const testing::TestParamInfo<TrackCase>& info) { return std::string(info.param.name); });

// One operation on a song in event form, both ways.
struct SongCase {
    const char* name;
    bool wildKeys;
    void (*reference)(MidiF0Data&);
    void (*core)(MidiF0Data&);
};

void PrintTo(const SongCase& op, std::ostream* out) { *out << op.name; }

class SongOperation : public testing::TestWithParam<SongCase> {};

TEST_P(SongOperation, GivesTheEventsAndReportsOfThePlainWalk) {
    const SongCase& op = GetParam();
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= kInputs + kLongInputs; ++seed) {
        SCOPED_TRACE(testing::Message() << op.name << " seed " << seed);
        RandomLists random(seed);
        ListShape shape = ShapeFor(seed, false, seed <= kInputs ? 60 : 700);
        shape.wildChannels = shape.wildChannels && op.wildKeys;
        // Lists in event form hold no marked records once they have been in note form.
        shape.marked = false;
        const std::vector<MusicEvent> input = random.List(shape);
        const std::int32_t state = random.Chance(5) ? kStateNoteForm : kStateEventForm;
        auto expected = test::SongOf(state, test::Exact(input));
        auto actual = test::SongOf(state, test::Exact(input));
        MidiTrackData::ResetReaderState();
        const auto expectedReports = Recorded([&] { op.reference(*expected); });
        MidiTrackData::ResetReaderState();
        const auto actualReports = Recorded([&] { op.core(*actual); });
        ExpectSameSong(*expected, *actual);
        ExpectSameReports(expectedReports, actualReports);
        if (expected->size > 0 && expected->size == actual->size) {
            EXPECT_EQ(0, std::memcmp(expected->Bytes(), actual->Bytes(), static_cast<std::size_t>(expected->size)))
                << "written files differ";
        }
        if (testing::Test::HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SongOperation,
    testing::Values(SongCase{"ReverseHorizontal", true, reference::ReverseHorizontal,
                             [](MidiF0Data& s) { s.ReverseHorizontal(); }},
                    SongCase{"ShiftProgramChanges", true, reference::ShiftProgramChanges,
                             [](MidiF0Data& s) { s.ShiftProgramChanges(); }},
                    // Keys far outside 0..255 would overflow the axis arithmetic of both.
                    SongCase{"ReverseVertical", false, reference::ReverseVertical,
                             [](MidiF0Data& s) { s.ReverseVertical(); }},
                    SongCase{"WriteSmf", true, reference::WriteSmf, [](MidiF0Data& s) { s.WriteSmf(); }},
                    SongCase{"SaveWithBothBoxes", true,
                             [](MidiF0Data& s) {
                                 reference::ReverseHorizontal(s);
                                 reference::ReverseVertical(s);
                                 reference::WriteSmf(s);
                             },
                             [](MidiF0Data& s) {
                                 s.ReverseHorizontal();
                                 s.ReverseVertical();
                                 s.WriteSmf();
                             }}),
    [](const testing::TestParamInfo<SongCase>& info) { return std::string(info.param.name); });

// A list no longer than a delta can hold, as every track read from a file is.
std::vector<MusicEvent> AsRead(std::vector<MusicEvent> events) {
    std::int64_t time = 0;
    for (MusicEvent& event : events) {
        event.delta = static_cast<std::int32_t>(
            std::min<std::int64_t>(event.delta, std::numeric_limits<std::int32_t>::max() - time));
        time += event.delta;
    }
    return events;
}

// Tracks of random states (mostly note form) for the merges.
std::vector<std::unique_ptr<MidiTrackData>> RandomTracks(RandomLists& random, std::int32_t count,
                                                         const ListShape& shape) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t state = random.Chance(4) ? random.Between(-1, 1) : kStateNoteForm;
        tracks.push_back(test::TrackOf(state, test::Exact(AsRead(random.List(shape)))));
    }
    return tracks;
}

TEST(Merging, OneTrackIntoAnotherGivesTheEventsAndReportsOfTheCopyingMerge) {
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= kInputs; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        RandomLists random(seed);
        const ListShape shape = ShapeFor(seed, true, 60);
        const auto inputs = RandomTracks(random, 2, shape);
        // The loader merges into a track in note form.
        auto expected = test::TrackOf(kStateNoteForm, test::Exact(inputs[0]->events));
        auto actual = test::TrackOf(kStateNoteForm, test::Exact(inputs[0]->events));
        const bool itself = random.Chance(3);
        const MidiTrackData& other = *inputs[1];
        const auto expectedReports =
            Recorded([&] { reference::MergeTrack(*expected, itself ? *expected : other); });
        const auto actualReports = Recorded([&] { actual->MergeTrack(itself ? *actual : other); });
        ExpectSameTrack(*expected, *actual);
        ExpectSameReports(expectedReports, actualReports);
        if (testing::Test::HasFailure()) return;
    }
}

// The loader's merge of all tracks, last first, against one copying merge per track.
void ExpectMergeOfAllAsOneByOne(const std::vector<std::unique_ptr<MidiTrackData>>& tracks,
                                std::int32_t destinationState) {
    std::vector<const MidiTrackData*> parts;
    for (const auto& track : tracks) parts.push_back(track.get());
    MidiTrackData expected(destinationState);
    MidiTrackData actual(destinationState);
    const auto expectedReports = Recorded([&] {
        for (auto track = parts.rbegin(); track != parts.rend(); ++track) reference::MergeTrack(expected, **track);
    });
    const auto actualReports = Recorded([&] { actual.MergeTracks(parts); });
    ExpectSameTrack(expected, actual);
    ExpectSameReports(expectedReports, actualReports);
}

TEST(Merging, AllTracksAtOnceGiveTheEventsAndReportsOfOneMergePerTrack) {
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= kInputs / 2; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        RandomLists random(seed);
        ListShape shape = ShapeFor(seed, true, 40);
        // Mostly what the loader hands over: tracks in note form.
        if (random.Chance(60)) shape.wildDeltas = false;
        auto tracks = RandomTracks(random, random.Between(0, 34), shape);
        if (random.Chance(70)) {
            for (auto& track : tracks) track->state = kStateNoteForm;
        }
        ExpectMergeOfAllAsOneByOne(tracks, kStateNoteForm);
        if (testing::Test::HasFailure()) return;
    }
}

// Long lists of simple events with a few notes among them.
std::vector<MusicEvent> Filler(RandomLists& random, std::int32_t count, std::int32_t notes, bool wild) {
    std::vector<MusicEvent> events;
    events.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        MusicEvent event(random.Chance(50) ? 0 : random.Between(1, 3));
        event.type = kTypeControl;
        event.channel = random.Below(16);
        event.subtype = 7;
        event.length = 3;
        events.push_back(std::move(event));
    }
    ListShape shape;
    shape.noteForm = true;
    shape.wildDeltas = wild;
    shape.wildChannels = false;
    for (std::int32_t n = 0; n < notes;) {
        MusicEvent& note = events[static_cast<std::size_t>(random.Below(count - 1))];
        if (note.type == kTypeNote) continue;
        ++n;
        note.type = kTypeNote;
        note.key = random.Between(58, 61);
        note.duration = random.Chance(90) ? random.Between(1, 200) : random.Duration(shape);
        if (wild && random.Chance(30)) note.delta = random.Delta(shape);
    }
    events.back() = MusicEvent(0);
    events.back().type = kTypeMeta;
    events.back().subtype = kMetaEndOfTrack;
    return events;
}

TEST(FullLists, EventFormDropsTheNotesThePlainWalkDrops) {
    test::RecordingSink quiet;
    struct Case {
        std::int32_t count;
        std::int32_t notes;
        bool wild;
    };
    // Each list fills up on the way: more notes than free places.
    const Case cases[] = {{kTrackCapacity - 30, 60, false}, {kTrackCapacity - 100, 160, false},
                          {kTrackCapacity - 40, 90, true},  {kTrackCapacity, 50, false},
                          {kTrackCapacity - 5, 30, true},   {kTrackCapacity - 150, 250, true}};
    std::uint64_t seed = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " events, " << c.notes << " notes");
        RandomLists random(++seed);
        const std::vector<MusicEvent> input = Filler(random, c.count, c.notes, c.wild);
        auto expected = test::TrackOf(kStateNoteForm, test::Exact(input));
        auto actual = test::TrackOf(kStateNoteForm, test::Exact(input));
        const auto expectedReports = Recorded([&] { reference::ToEventForm(*expected); });
        const auto actualReports = Recorded([&] { actual->ToEventForm(); });
        ExpectSameTrack(*expected, *actual);
        ExpectSameReports(expectedReports, actualReports);
        EXPECT_THAT(actualReports, testing::Contains(testing::Field(&test::Report::code, kTrackTooMuchData)));
    }
}

}  // namespace
}  // namespace solvane
