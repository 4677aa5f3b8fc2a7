#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "song/MidiF0Data.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::RecordingSink;
using ::testing::IsEmpty;

struct AxisCase {
    const char* name;
    std::int32_t channel;
    std::vector<std::int32_t> keys;
    std::vector<std::int32_t> expected;
};

std::vector<std::int32_t> Range(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> keys;
    for (std::int32_t k = from; k <= to; ++k) keys.push_back(k);
    return keys;
}

// keys inverted about axis / 2 and clamped, worked out by hand for the table.
std::vector<std::int32_t> Mirrored(std::int32_t from, std::int32_t to, std::int32_t axis) {
    std::vector<std::int32_t> keys;
    for (std::int32_t k = from; k <= to; ++k) keys.push_back(std::clamp(axis - k, 0, 127));
    return keys;
}

const std::vector<AxisCase>& AxisCases() {
    static const std::vector<AxisCase> cases = {
        {"48 and 72 swap about 60", 0, {48, 60, 72}, {72, 60, 48}},
        {"60 and 64 turn about 60, not 62", 6, {60, 64}, {60, 56}},
        {"a single 61 becomes 59", 7, {61}, {59}},
        {"100 to 127 turn about 108", 2, Range(100, 127), Mirrored(100, 127, 216)},
        {"0 to 10 all clamp to 0", 3, Range(0, 10), std::vector<std::int32_t>(11, 0)},
        {"120 to 127 turn about 120", 4, Range(120, 127), Mirrored(120, 127, 240)},
        {"40 and 100 turn about 60", 1, {40, 100}, {80, 20}},
        {"20 and 30 turn about 24", 5, {20, 30}, {28, 18}},
        {"0 and 127 turn about 60", 8, {0, 127}, {120, 0}},
        {"127 alone clamps at the top", 10, {127}, {113}},
    };
    return cases;
}

// One note per key on the channel, one after another, each 10 ticks long.
void AddNotes(std::vector<MusicEvent>& events, std::int32_t channel, const std::vector<std::int32_t>& keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        events.push_back(test::NoteOn(0, keys[i], static_cast<std::int32_t>(1 + i), channel));
        events.push_back(test::NoteOff(10, keys[i], channel, 0x40));
    }
}

// The keys of the channel's note-ons and of its note-offs, in list order.
void KeysOf(const MidiTrackData& track, std::int32_t channel, std::vector<std::int32_t>& ons,
            std::vector<std::int32_t>& offs) {
    for (const MusicEvent& e : track.events) {
        if (e.channel != channel) continue;
        if (e.type == kTypeNoteOn) ons.push_back(e.key);
        if (e.type == kTypeNoteOff) offs.push_back(e.key);
    }
}

TEST(VerticalReverse, EachChannelIsInvertedAboutItsOctaveKey) {
    for (const AxisCase& c : AxisCases()) {
        SCOPED_TRACE(c.name);
        std::vector<MusicEvent> events;
        AddNotes(events, c.channel, c.keys);
        events.push_back(test::EndOfTrack(0));
        auto song = test::SongOf(kStateEventForm, std::move(events));
        RecordingSink sink;
        song->ReverseVertical();
        EXPECT_THAT(sink.codes(), IsEmpty());
        std::vector<std::int32_t> ons;
        std::vector<std::int32_t> offs;
        KeysOf(*song->track, c.channel, ons, offs);
        EXPECT_EQ(ons, c.expected);
        EXPECT_EQ(offs, c.expected);  // every note still ends
    }
}

TEST(VerticalReverse, ChannelsDoNotInfluenceEachOther) {
    std::vector<MusicEvent> events;
    // Interleave the channels so each range must be taken from its own notes only.
    std::size_t longest = 0;
    for (const AxisCase& c : AxisCases()) longest = std::max(longest, c.keys.size());
    for (std::size_t i = 0; i < longest; ++i) {
        for (const AxisCase& c : AxisCases()) {
            if (i < c.keys.size()) AddNotes(events, c.channel, {c.keys[i]});
        }
    }
    events.push_back(test::EndOfTrack(0));
    auto song = test::SongOf(kStateEventForm, std::move(events));
    song->ReverseVertical();
    for (const AxisCase& c : AxisCases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::int32_t> ons;
        std::vector<std::int32_t> offs;
        KeysOf(*song->track, c.channel, ons, offs);
        EXPECT_EQ(ons, c.expected);
        EXPECT_EQ(offs, c.expected);
    }
}

TEST(VerticalReverse, DrumChannelKeepsItsKeys) {
    const std::vector<std::int32_t> keys = {0, 35, 42, 81, 127};
    std::vector<MusicEvent> events;
    AddNotes(events, 9, keys);
    AddNotes(events, 11, keys);  // the same keys elsewhere do move
    events.push_back(test::EndOfTrack(0));
    auto song = test::SongOf(kStateEventForm, std::move(events));
    song->ReverseVertical();
    std::vector<std::int32_t> drumOns;
    std::vector<std::int32_t> drumOffs;
    KeysOf(*song->track, 9, drumOns, drumOffs);
    EXPECT_EQ(drumOns, keys);
    EXPECT_EQ(drumOffs, keys);
    std::vector<std::int32_t> ons;
    std::vector<std::int32_t> offs;
    KeysOf(*song->track, 11, ons, offs);
    EXPECT_EQ(ons, (std::vector<std::int32_t>{120, 85, 78, 39, 0}));
}

TEST(VerticalReverse, OnlyNoteKeysChange) {
    std::vector<MusicEvent> events;
    events.push_back(test::Program(0, 33, 0));
    events.push_back(test::Control(0, 7, 100, 0));
    MusicEvent bend(0);
    bend.type = kTypePitchBend;
    bend.channel = 0;
    bend.key = 0x20;
    bend.value = 0x40;
    events.push_back(bend);
    MusicEvent pressure(5);
    pressure.type = kTypeKeyPressure;
    pressure.channel = 0;
    pressure.key = 50;
    events.push_back(pressure);
    events.push_back(test::NoteOn(0, 48, 77, 0));
    events.push_back(test::NoteOn(3, 72, 66, 0));
    events.push_back(test::NoteOff(20, 48, 0, 0x40));
    events.push_back(test::NoteOff(1, 72, 0, 0x40));
    events.push_back(test::Tempo(0, 600000));
    events.push_back(test::EndOfTrack(9));
    auto song = test::SongOf(kStateEventForm, std::move(events), 120);
    auto expected = test::TimedEvents(*song->track);
    expected[4].key = 72;
    expected[5].key = 48;
    expected[6].key = 72;
    expected[7].key = 48;
    RecordingSink sink;
    song->ReverseVertical();
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(test::TimedEvents(*song->track), expected);
    EXPECT_EQ(song->state, kStateEventForm);
    EXPECT_EQ(song->division, 120);
}

TEST(VerticalReverse, NoteFormHasNoNoteOnsOrOffsToChange) {
    std::vector<MusicEvent> events;
    events.push_back(test::NoteEvent(0, 40, 10, 0));
    events.push_back(test::NoteEvent(0, 100, 10, 0));
    events.push_back(test::EndOfTrack(10));
    auto song = test::SongOf(kStateNoteForm, std::move(events));
    const auto before = test::TimedEvents(*song->track);
    RecordingSink sink;
    song->ReverseVertical();
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(test::TimedEvents(*song->track), before);
}

TEST(VerticalReverse, NoteOnAndItsNoteOffGetTheSameKey) {
    // Wide, overlapping ranges on four channels, some clamping at both ends.
    std::vector<MusicEvent> notes;
    for (std::int32_t i = 0; i < 64; ++i) {
        const std::int32_t channel = i % 4;
        const std::int32_t key = channel == 0 ? 2 * i : (channel == 1 ? 127 - i : (i * 37) % 128);
        notes.push_back(test::NoteEvent(i % 3, key, 5 + (i * 13) % 40, channel));
    }
    notes.push_back(test::EndOfTrack(0));
    auto loaded = test::SongOf(kStateNoteForm, std::move(notes));
    MidiF0Data song(*loaded);
    song.ToEventForm();
    // Pair every note-on with its note-off by position before the keys change.
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    const auto& events = song.track->events;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].type != kTypeNoteOn) continue;
        for (std::size_t j = i + 1; j < events.size(); ++j) {
            const bool taken = std::any_of(pairs.begin(), pairs.end(), [j](const auto& p) { return p.second == j; });
            if (!taken && events[j].type == kTypeNoteOff && events[j].channel == events[i].channel &&
                events[j].key == events[i].key) {
                pairs.push_back({i, j});
                break;
            }
        }
    }
    ASSERT_EQ(pairs.size(), 64u);
    song.ReverseVertical();
    for (const auto& [on, off] : pairs) {
        SCOPED_TRACE(on);
        EXPECT_EQ(events[on].key, events[off].key);
        EXPECT_EQ(events[on].type, kTypeNoteOn);
        EXPECT_EQ(events[off].type, kTypeNoteOff);
    }
}

}  // namespace
}  // namespace solvane
