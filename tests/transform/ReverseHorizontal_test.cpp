#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "song/MidiF0Data.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::Brief;
using test::EndOfTrack;
using test::NoteOff;
using test::NoteOn;
using test::Program;
using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int32_t kOn = kTypeNoteOn;
constexpr std::int32_t kOff = kTypeNoteOff;
constexpr std::int32_t kPc = kTypeProgram;
constexpr std::int32_t kMeta = kTypeMeta;

// Reverses a song in event form holding events and returns its track, briefly.
std::vector<Brief> Reversed(std::vector<MusicEvent> events, RecordingSink& sink) {
    auto song = test::SongOf(kStateEventForm, std::move(events));
    song->ReverseHorizontal();
    EXPECT_EQ(song->state, kStateEventForm);
    EXPECT_THAT(sink.codes(), IsEmpty());
    return test::Briefly(*song->track);
}

struct Example {
    const char* name;
    std::vector<MusicEvent> input;
    std::vector<Brief> expected;
};

TEST(HorizontalReverse, WorkedExamplesComeOutAsExpected) {
    std::vector<Example> examples;
    {
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(0, 60, 100, 0));
        in.push_back(NoteOff(480, 60, 0, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"one note from 0 to 480", std::move(in),
                            {{0, kOn, 0, 60}, {480, kOff, 0, 60}, {480, kMeta, 255, 0}}});
    }
    {
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(100, 60, 100, 0));
        in.push_back(NoteOff(100, 60, 0, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"leading silence is dropped", std::move(in),
                            {{0, kOn, 0, 60}, {100, kOff, 0, 60}, {100, kMeta, 255, 0}}});
    }
    {
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(200, 60, 100, 0));
        in.push_back(NoteOff(760, 60, 0, 0x40));
        in.push_back(EndOfTrack(40));
        examples.push_back({"End of Track keeps its own delta", std::move(in),
                            {{0, kOn, 0, 60}, {760, kOff, 0, 60}, {800, kMeta, 255, 0}}});
    }
    {
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(0, 60, 100, 0));
        in.push_back(NoteOff(10, 60, 0, 0x40));
        in.push_back(NoteOn(0, 60, 100, 0));
        in.push_back(NoteOff(10, 60, 0, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"back-to-back notes keep the note-off first", std::move(in),
                            {{0, kOn, 0, 60}, {10, kOff, 0, 60}, {10, kOn, 0, 60}, {20, kOff, 0, 60},
                             {20, kMeta, 255, 0}}});
    }
    {
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(0, 60, 100, 0));
        in.push_back(NoteOn(5, 60, 100, 0));
        in.push_back(NoteOff(5, 60, 0, 0x40));
        in.push_back(NoteOff(10, 60, 0, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"overlapping notes of one key", std::move(in),
                            {{0, kOn, 0, 60}, {10, kOff, 0, 60}, {15, kOff, 0, 60}, {20, kOn, 0, 60},
                             {20, kMeta, 255, 0}}});
    }
    {
        std::vector<MusicEvent> in;
        in.push_back(NoteOff(5, 62, 0, 0x40));
        in.push_back(NoteOn(5, 60, 100, 0));
        in.push_back(NoteOff(20, 60, 0, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"note-off without note-on is simply reflected", std::move(in),
                            {{0, kOn, 0, 60}, {20, kOff, 0, 60}, {25, kOff, 0, 62}, {25, kMeta, 255, 0}}});
    }
    {
        // A note-on of velocity 0 ends a note like a note-off.
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(0, 70, 100, 2));
        in.push_back(NoteOn(30, 70, 0, 2));
        in.push_back(NoteOn(10, 72, 100, 2));
        in.push_back(NoteOff(20, 72, 2, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"note-on with velocity 0 counts as note-off", std::move(in),
                            {{0, kOn, 2, 72}, {20, kOff, 2, 72}, {30, kOn, 2, 70}, {60, kOn, 2, 70},
                             {60, kMeta, 255, 0}}});
    }
    {
        // Notes of different keys or channels do not pair.
        std::vector<MusicEvent> in;
        in.push_back(NoteOn(0, 60, 100, 0));
        in.push_back(NoteOn(0, 60, 100, 1));
        in.push_back(NoteOff(10, 60, 1, 0x40));
        in.push_back(NoteOff(20, 60, 0, 0x40));
        in.push_back(EndOfTrack(0));
        examples.push_back({"pairing by channel and key", std::move(in),
                            {{0, kOn, 0, 60}, {20, kOn, 1, 60}, {30, kOff, 1, 60}, {30, kOff, 0, 60},
                             {30, kMeta, 255, 0}}});
    }
    for (Example& ex : examples) {
        SCOPED_TRACE(ex.name);
        RecordingSink sink;
        EXPECT_EQ(Reversed(std::move(ex.input), sink), ex.expected);
    }
}

TEST(HorizontalReverse, ProgramChangeAtTheStartStaysFirst) {
    std::vector<MusicEvent> in;
    in.push_back(Program(0, 5, 0));
    in.push_back(NoteOn(0, 60, 100, 0));
    in.push_back(NoteOff(100, 60, 0, 0x40));
    in.push_back(NoteOn(0, 64, 100, 0));
    in.push_back(NoteOff(100, 64, 0, 0x40));
    in.push_back(EndOfTrack(0));
    RecordingSink sink;
    const auto out = Reversed(std::move(in), sink);
    EXPECT_THAT(out, ElementsAre(Brief{0, kPc, 0, 0}, Brief{0, kOn, 0, 64}, Brief{100, kOff, 0, 64},
                                 Brief{100, kOn, 0, 60}, Brief{200, kOff, 0, 60}, Brief{200, kMeta, 255, 0}));
}

TEST(HorizontalReverse, ProgramChangesMoveToThePassageTheyGoverned) {
    std::vector<MusicEvent> in;
    in.push_back(Program(0, 5, 1));
    in.push_back(NoteOn(0, 60, 100, 1));
    in.push_back(NoteOff(960, 60, 1, 0x40));
    in.push_back(Program(0, 7, 1));
    in.push_back(NoteOn(0, 62, 100, 1));
    in.push_back(NoteOff(960, 62, 1, 0x40));
    in.push_back(EndOfTrack(0));
    auto song = test::SongOf(kStateEventForm, std::move(in));
    RecordingSink sink;
    song->ReverseHorizontal();
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*song->track),
                ElementsAre(Brief{0, kPc, 1, 0}, Brief{0, kOn, 1, 62}, Brief{960, kOff, 1, 62}, Brief{960, kPc, 1, 0},
                            Brief{960, kOn, 1, 60}, Brief{1920, kOff, 1, 60}, Brief{1920, kMeta, 255, 0}));
    EXPECT_EQ(song->track->events[0].value, 7);
    EXPECT_EQ(song->track->events[3].value, 5);
}

TEST(HorizontalReverse, ProgramChangesOfOneInstantStandInDescendingChannelOrder) {
    std::vector<MusicEvent> in;
    in.push_back(Program(0, 10, 3));
    in.push_back(Program(0, 20, 9));
    in.push_back(NoteOn(0, 60, 100, 3));
    in.push_back(NoteOn(0, 36, 100, 9));
    in.push_back(NoteOff(100, 60, 3, 0x40));
    in.push_back(NoteOff(0, 36, 9, 0x40));
    in.push_back(EndOfTrack(0));
    RecordingSink sink;
    const auto out = Reversed(std::move(in), sink);
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(out[0], (Brief{0, kPc, 9, 0}));
    EXPECT_EQ(out[1], (Brief{0, kPc, 3, 0}));
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const Brief& b) { return b.type == kPc; }), 2);
}

TEST(HorizontalReverse, TempoAtTheStartEndsUpLastBeforeTheEndOfTrack) {
    std::vector<MusicEvent> in;
    in.push_back(test::Tempo(0, 400000));
    in.push_back(NoteOn(0, 60, 100, 0));
    in.push_back(NoteOff(100, 60, 0, 0x40));
    in.push_back(NoteOn(20, 62, 100, 0));
    in.push_back(NoteOff(100, 62, 0, 0x40));
    in.push_back(EndOfTrack(0));
    auto song = test::SongOf(kStateEventForm, std::move(in));
    RecordingSink sink;
    song->ReverseHorizontal();
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*song->track),
                ElementsAre(Brief{0, kOn, 0, 62}, Brief{100, kOff, 0, 62}, Brief{120, kOn, 0, 60},
                            Brief{220, kOff, 0, 60}, Brief{220, kMeta, 255, 0}, Brief{220, kMeta, 255, 0}));
    EXPECT_EQ(song->track->events[4].subtype, kMetaTempo);
    EXPECT_EQ(song->track->events[4].value, 400000);
    EXPECT_TRUE(song->track->events[5].IsEndOfTrack());
}

TEST(HorizontalReverse, TrackWithoutEndOfTrackIsReportedAndLeftAlone) {
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty list" : "last event a note-off");
        std::vector<MusicEvent> in;
        if (!empty) {
            in.push_back(NoteOn(10, 60, 100, 0));
            in.push_back(EndOfTrack(0));
            in.push_back(NoteOff(10, 60, 0, 0x40));
        }
        auto song = test::SongOf(kStateEventForm, std::move(in));
        const auto before = test::TimedEvents(*song->track);
        RecordingSink sink;
        song->ReverseHorizontal();
        EXPECT_THAT(sink.codes(), ElementsAre(kSongFallback));
        ASSERT_EQ(sink.reports().size(), 1u);
        EXPECT_EQ(sink.reports()[0].module, "MidiF0Data");
        EXPECT_EQ(sink.reports()[0].text, "MidiF0Dataでエラーが発生しました。");
        EXPECT_EQ(test::TimedEvents(*song->track), before);
        EXPECT_EQ(song->state, kStateEventForm);
    }
}

TEST(HorizontalReverse, OnlyAnEndOfTrackStaysAndLosesItsDelta) {
    std::vector<MusicEvent> in;
    in.push_back(EndOfTrack(50));
    auto song = test::SongOf(kStateEventForm, std::move(in));
    RecordingSink sink;
    song->ReverseHorizontal();
    EXPECT_THAT(sink.codes(), IsEmpty());
    ASSERT_EQ(song->track->count(), 1);
    EXPECT_TRUE(song->track->events[0].IsEndOfTrack());
    EXPECT_EQ(song->track->events[0].delta, 0);
}

TEST(HorizontalReverse, NoteFormSongIsRefusedUnchanged) {
    std::vector<MusicEvent> in;
    in.push_back(test::NoteEvent(0, 60, 10, 0));
    in.push_back(EndOfTrack(10));
    auto song = test::SongOf(kStateNoteForm, std::move(in));
    const auto before = test::TimedEvents(*song->track);
    RecordingSink sink;
    song->ReverseHorizontal();
    EXPECT_THAT(sink.codes(), ElementsAre(kSongInternalError));
    EXPECT_EQ(test::TimedEvents(*song->track), before);
    EXPECT_EQ(song->state, kStateNoteForm);
}

// A pseudo-random piece in note form: four channels, notes of one channel and
// key never overlap, a program change per channel now and then.
std::unique_ptr<MidiF0Data> RandomPiece(std::uint32_t seed) {
    std::uint32_t state = seed;
    auto next = [&state](std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::int32_t>((state >> 8) % bound);
    };
    struct Placed {
        std::int64_t time;
        MusicEvent event;
    };
    std::vector<Placed> placed;
    std::map<std::pair<int, int>, std::int64_t> freeFrom;
    for (int i = 0; i < 300; ++i) {
        const int channel = next(4);
        const int key = 40 + next(24);
        std::int64_t start = i == 0 ? 0 : next(4000);
        start = std::max(start, freeFrom[{channel, key}]);
        const std::int32_t duration = 1 + next(200);
        freeFrom[{channel, key}] = start + duration + 1;
        placed.push_back({start, test::NoteEvent(0, key, duration, channel, 1 + next(127))});
        if (next(10) == 0) placed.push_back({start, Program(0, next(128), channel)});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.time < b.time; });
    std::vector<MusicEvent> events;
    std::int64_t last = 0;
    for (Placed& p : placed) {
        p.event.delta = static_cast<std::int32_t>(p.time - last);
        last = p.time;
        events.push_back(std::move(p.event));
    }
    events.push_back(EndOfTrack(0));
    return test::SongOf(kStateNoteForm, std::move(events));
}

TEST(HorizontalReverse, EveryNoteIsMirroredWithItsLengthAndVelocity) {
    for (const std::uint32_t seed : {1u, 7u, 2024u}) {
        SCOPED_TRACE(seed);
        auto piece = RandomPiece(seed);
        MidiF0Data song(*piece);
        song.ToEventForm();
        const auto notesBefore = test::Notes(*song.track);
        std::int64_t end = 0;
        for (const test::Note& n : notesBefore) end = std::max(end, n.start + n.duration);
        std::multiset<std::pair<std::int32_t, std::int32_t>> velocitiesBefore;
        for (const MusicEvent& e : song.track->events) {
            if (e.type == kOn) velocitiesBefore.insert({e.key, e.velocity});
        }
        const std::int32_t countBefore = song.track->count();

        RecordingSink sink;
        song.ReverseHorizontal();
        EXPECT_THAT(sink.codes(), IsEmpty());
        EXPECT_EQ(song.track->count(), countBefore);
        EXPECT_TRUE(song.track->events.back().IsEndOfTrack());

        std::vector<test::Note> expected;
        for (const test::Note& n : notesBefore) {
            expected.push_back({n.channel, n.key, end - n.start - n.duration, n.duration});
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(test::Notes(*song.track), expected);

        std::multiset<std::pair<std::int32_t, std::int32_t>> velocitiesAfter;
        for (const MusicEvent& e : song.track->events) {
            if (e.type == kOn) velocitiesAfter.insert({e.key, e.velocity});
        }
        EXPECT_EQ(velocitiesAfter, velocitiesBefore);
        // Every event keeps a time from 0 to the end; nothing is left marked.
        for (const test::TimedEvent& e : test::TimedEvents(*song.track)) {
            EXPECT_GE(e.time, 0);
            EXPECT_LE(e.time, end);
            EXPECT_NE(e.type, kTypeMarked);
        }
        EXPECT_EQ(test::TimedEvents(*song.track).back().time, end);
    }
}

TEST(HorizontalReverse, EachChannelStartsWithTheProgramItHadLast) {
    for (const std::uint32_t seed : {3u, 11u}) {
        SCOPED_TRACE(seed);
        auto piece = RandomPiece(seed);
        MidiF0Data song(*piece);
        song.ToEventForm();
        std::map<std::int32_t, std::vector<std::int32_t>> programsBefore;
        for (const MusicEvent& e : song.track->events) {
            if (e.type == kPc) programsBefore[e.channel].push_back(e.value);
        }
        song.ReverseHorizontal();
        std::map<std::int32_t, std::vector<std::int32_t>> programsAfter;
        std::int64_t time = 0;
        for (const MusicEvent& e : song.track->events) {
            time += e.delta;
            if (e.type != kPc) continue;
            if (programsAfter[e.channel].empty()) {
                EXPECT_EQ(time, 0) << "channel " << e.channel;
            }
            programsAfter[e.channel].push_back(e.value);
        }
        for (auto& [channel, programs] : programsBefore) std::reverse(programs.begin(), programs.end());
        EXPECT_EQ(programsAfter, programsBefore);
    }
}

}  // namespace
}  // namespace solvane
