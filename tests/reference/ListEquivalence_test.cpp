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

// Shapes the inputs cycle through: anything goes; what files give; what
// files give with large records; and only the deltas out of bounds.
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
        auto expected = test::TrackWith(state, input);
        auto actual = test::TrackWith(state, input);
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
        // Some lists as a loaded song has them, with nothing marked: the
        // reversal then shifts the program changes in one walk.
        shape.marked = seed % 8 != 1;
        const std::vector<MusicEvent> input = random.List(shape);
        const std::int32_t state = random.Chance(5) ? kStateNoteForm : kStateEventForm;
        auto expected = test::SongWithExactly(state, input);
        auto actual = test::SongWithExactly(state, input);
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

// Tracks of random states (mostly note form) for the merges.
std::vector<std::unique_ptr<MidiTrackData>> RandomTracks(RandomLists& random, std::int32_t count,
                                                         const ListShape& shape) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t state = random.Chance(4) ? random.Between(-1, 1) : kStateNoteForm;
        tracks.push_back(test::TrackWith(state, random.List(shape)));
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
        auto expected = test::TrackWith(inputs[0]->state, inputs[0]->events);
        auto actual = test::TrackWith(inputs[0]->state, inputs[0]->events);
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
        // Mostly what the loader hands over: tracks in note form, times that only grow.
        if (random.Chance(60)) shape.wildDeltas = false;
        auto tracks = RandomTracks(random, random.Between(0, 34), shape);
        if (random.Chance(70)) {
            for (auto& track : tracks) track->state = kStateNoteForm;
        }
        ExpectMergeOfAllAsOneByOne(tracks, random.Chance(95) ? kStateNoteForm : kStateEventForm);
        if (testing::Test::HasFailure()) return;
    }
}

TEST(Merging, TracksThatLastLongerThanADeltaCanHoldMergeAsOneByOne) {
    test::RecordingSink quiet;
    for (std::uint64_t seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        RandomLists random(seed);
        ListShape shape = ShapeFor(seed, true, 30);
        shape.wildDeltas = false;
        auto tracks = RandomTracks(random, random.Between(1, 6), shape);
        for (auto& track : tracks) {
            track->state = kStateNoteForm;
            for (MusicEvent& event : track->events) {
                if (random.Chance(20)) event.delta = std::numeric_limits<std::int32_t>::max() / random.Between(1, 3);
            }
        }
        ExpectMergeOfAllAsOneByOne(tracks, kStateNoteForm);
        if (testing::Test::HasFailure()) return;
    }
}

// A format-0 song split by channel and merged back, as the loader's steps
// do it (the plain merge, last track first), against the same list merged
// in place where that is done; where it is not, the list must be untouched.
// Returns whether the list was merged in place.
bool ExpectChannelsMergedBack(const std::vector<MusicEvent>& input) {
    MidiTrackData expected(kStateNoteForm);
    const auto expectedReports = Recorded([&] {
        auto song = test::SongWithExactly(kStateNoteForm, input);
        const MidiF1Data reader(*song);
        song.reset();
        for (std::int32_t k = reader.trackCount - 1; k >= 0; --k) {
            reference::MergeTrack(expected, *reader.tracks[static_cast<std::size_t>(k)]);
        }
    });
    auto actual = test::TrackWith(kStateNoteForm, input);
    bool merged = false;
    const auto actualReports = Recorded([&] { merged = MidiF1Data::MergeChannelsInPlace(*actual); });
    EXPECT_THAT(actualReports, testing::IsEmpty());
    if (!merged) {
        test::ExpectSameEvents(Exact(input), actual->events);
        return false;
    }
    ExpectSameTrack(expected, *actual);
    ExpectSameReports(expectedReports, actualReports);
    return true;
}

// Lists as a format-0 file in good order gives them, now and then with one
// flaw: notes and chords on every channel in any order, bytes beyond a
// record's length.
std::vector<MusicEvent> SongList(RandomLists& random, std::uint64_t seed) {
    ListShape shape = ShapeFor(seed, true, 80);
    shape.marked = random.Chance(10);
    std::vector<MusicEvent> events = random.List(shape);
    if (random.Chance(25)) return events;
    std::erase_if(events, [](const MusicEvent& event) {
        return event.IsEndOfTrack() || event.length > kEventDataBlock || event.delta < 0;
    });
    for (MusicEvent& event : events) {
        if (event.delta > 1000) event.delta = random.Below(1000);
    }
    if (random.Chance(8)) {
        // Everything at one time, as a song's set-up at its start often is.
        const std::int32_t at = random.Below(static_cast<std::int32_t>(events.size()) + 1);
        std::vector<MusicEvent> setUp;
        for (std::int32_t i = random.Between(60, 200); i > 0; --i) {
            MusicEvent event(setUp.empty() ? random.Below(5) : 0);
            event.type = kTypeControl;
            event.channel = random.Below(16);
            event.subtype = random.Below(4);
            event.length = 3;
            setUp.push_back(std::move(event));
        }
        events.insert(events.begin() + at, std::make_move_iterator(setUp.begin()), std::make_move_iterator(setUp.end()));
    }
    if (random.Chance(90)) {
        MusicEvent end(random.Chance(50) ? 0 : random.Between(1, 50));
        end.type = kTypeMeta;
        end.subtype = kMetaEndOfTrack;
        end.length = random.Below(4);
        events.push_back(std::move(end));
    }
    // The flaws that the merge in place must leave to the split and merge.
    if (!events.empty() && random.Chance(10)) {
        MusicEvent& event = events[static_cast<std::size_t>(random.Below(static_cast<std::int32_t>(events.size())))];
        switch (random.Below(4)) {
            case 0: event.delta = -1; break;
            case 1: event.delta = std::numeric_limits<std::int32_t>::max() - random.Below(3); break;
            case 2:
                event.data.assign(300, 0x33);
                event.length = 300;
                break;
            default:
                event.type = kTypeMeta;
                event.subtype = kMetaEndOfTrack;
                break;
        }
    }
    return events;
}

TEST(Merging, ChannelsMergedInPlaceGiveTheSplitAndTheMergeBack) {
    test::RecordingSink quiet;
    std::int32_t inPlace = 0;
    for (std::uint64_t seed = 1; seed <= kInputs; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        RandomLists random(seed);
        inPlace += ExpectChannelsMergedBack(SongList(random, seed)) ? 1 : 0;
        if (testing::Test::HasFailure()) return;
    }
    // Most of them are merged in place, or the comparison above proves little.
    EXPECT_GT(inPlace, static_cast<std::int32_t>(kInputs / 2));
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
        if (random.Chance(10)) {
            note.data.assign(300, 0x55);
            note.length = 300;
        }
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
        auto expected = test::TrackWith(kStateNoteForm, input);
        auto actual = test::TrackWith(kStateNoteForm, input);
        const auto expectedReports = Recorded([&] { reference::ToEventForm(*expected); });
        const auto actualReports = Recorded([&] { actual->ToEventForm(); });
        ExpectSameTrack(*expected, *actual);
        ExpectSameReports(expectedReports, actualReports);
        EXPECT_THAT(actualReports, testing::Contains(testing::Field(&test::Report::code, kTrackTooMuchData)));
    }
}

TEST(FullLists, MergesStopAtTheSameEventWithTheSameReports) {
    test::RecordingSink quiet;
    std::uint64_t seed = 100;
    for (const std::int32_t sizes : {60000, 70000, 90000}) {
        SCOPED_TRACE(testing::Message() << "tracks of " << sizes);
        RandomLists random(++seed);
        std::vector<std::unique_ptr<MidiTrackData>> tracks;
        for (std::int32_t k = 0; k < 3; ++k) {
            tracks.push_back(test::TrackWith(kStateNoteForm, Filler(random, sizes - 1000 * k, 20, k == 1)));
        }
        ExpectMergeOfAllAsOneByOne(tracks, kStateNoteForm);
    }
}

// The 16 Ends of Track of the split must fit the merged list as it is made.
TEST(FullLists, ChannelsAreMergedInPlaceOnlyWhenTheSplitTracksFitOneList) {
    test::RecordingSink quiet;
    RandomLists random(7);
    for (const std::int32_t count : {kTrackCapacity - 15, kTrackCapacity - 14}) {
        SCOPED_TRACE(testing::Message() << count << " events");
        std::vector<MusicEvent> events = Filler(random, count, 0, false);
        for (MusicEvent& event : events) {
            if (!event.IsEndOfTrack() && random.Chance(3)) event.channel = random.Below(16) + 16;  // goes with channel 0
        }
        EXPECT_EQ(ExpectChannelsMergedBack(events), count == kTrackCapacity - 15);
    }
}

}  // namespace
}  // namespace solvane
