#include "track/MidiTrackData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/TrackFixtures.h"

namespace solvane {
namespace {

using test::Bytes;
using test::ChunkOf;
using test::Concat;
using test::Describe;
using test::kEnd;
using test::ReadTrack;
using test::RecordingSink;
using test::Timeline;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

Bytes Repeat(const Bytes& part, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// ---- chunks ----

TEST(TrackChunk, AnEmptyChunkGivesAnEmptyEventFormTrackOfSize8) {
    RecordingSink sink;
    const auto track = ReadTrack({});
    EXPECT_EQ(track->state, kStateEventForm);
    EXPECT_EQ(track->count(), 0);
    EXPECT_EQ(track->size, 8);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(TrackChunk, TheNextChunkIsReachedByAddingTheTrackSize) {
    RecordingSink sink;
    const Bytes image = test::SmfBuilder()
                            .Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00})
                            .Track({0x00, 0xC3, 0x05, 0x00, 0xFF, 0x2F, 0x00})
                            .Bytes();
    const auto imageSize = static_cast<std::int32_t>(image.size());

    const MidiTrackData first(imageSize, 0, image.data());
    const MidiTrackData second(imageSize, first.size, image.data());

    EXPECT_EQ(first.size, 20);
    EXPECT_THAT(Timeline(first), ElementsAre("0 on c0 k60 v100", "96 off c0 k60 v0", "0 eot"));
    EXPECT_EQ(second.size, 15);
    EXPECT_THAT(Timeline(second), ElementsAre("0 pc c3 5", "0 eot"));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(TrackChunk, AChunkEndingAtTheImageEndIsReadAndOneBytePastIsRefused) {
    const Bytes body = Concat({{0x00, 0x90, 60, 100}, kEnd});
    const auto bodySize = static_cast<std::uint32_t>(body.size());
    // The last two reach 2^32 and 2^32 + 7 with the header: no 32-bit wrap may pass them.
    for (std::uint32_t extra : {0u, 1u, 2u, 0x80000000u, 0xFFFFFFF8u - bodySize, 0xFFFFFFFFu - bodySize}) {
        SCOPED_TRACE(extra);
        RecordingSink sink;
        const Bytes image = test::SmfBuilder().Chunk("MTrk", bodySize + extra, body).Bytes();

        const MidiTrackData track(static_cast<std::int32_t>(image.size()), 0, image.data());

        if (extra == 0) {
            EXPECT_EQ(track.size, 16);
            EXPECT_EQ(track.state, kStateEventForm);
            EXPECT_EQ(track.count(), 2);
            EXPECT_THAT(sink.codes(), IsEmpty());
        } else {
            EXPECT_EQ(track.size, 0);
            EXPECT_EQ(track.state, kStateEmpty);
            EXPECT_EQ(track.count(), 0);
            EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
        }
    }
}

TEST(TrackChunk, NoMTrkAtTheOffsetIsRefusedAsNotAMidiFile) {
    const Bytes image = Concat({Bytes(128, 0), ChunkOf(kEnd)});  // a MacBinary-like prefix
    const auto imageSize = static_cast<std::int32_t>(image.size());
    for (std::int32_t offset : {0, 127, -4, imageSize - 2, imageSize, 0x7FFFFFF0}) {
        SCOPED_TRACE(offset);
        RecordingSink sink;
        const MidiTrackData track(imageSize, offset, image.data());
        EXPECT_EQ(track.size, 0);
        EXPECT_EQ(track.state, kStateEmpty);
        EXPECT_EQ(track.count(), 0);
        EXPECT_THAT(sink.texts(), ElementsAre("MIDIファイルではないか、マックバイナリがついているファイルです。"));
    }
}

// ---- running status ----

TEST(RunningStatus, ADataByteReusesTheLastStatus) {
    const auto track = ReadTrack(Concat({{0x00, 0x92, 0x3C, 0x40, 0x00, 0x3E, 0x40, 0x10, 0x3C, 0x00}, kEnd}));
    EXPECT_THAT(Timeline(*track), ElementsAre("0 on c2 k60 v64", "0 on c2 k62 v64", "16 off c2 k60 v0", "0 eot"));
}

TEST(RunningStatus, SurvivesMetaEvents) {
    const auto track =
        ReadTrack(Concat({{0x00, 0xB1, 0x07, 0x64, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x0A, 0x40}, kEnd}));
    EXPECT_THAT(Timeline(*track), ElementsAre("0 cc c1 7=100", "0 meta 0x51 len 3", "0 cc c1 10=64", "0 eot"));
}

TEST(RunningStatus, CarriesOverFromThePreviousTrack) {
    RecordingSink sink;
    ReadTrack(Concat({{0x00, 0xE5, 0x00, 0x40}, kEnd}));
    const auto second = ReadTrack(Concat({{0x00, 0x10, 0x50}, kEnd}));
    EXPECT_THAT(Timeline(*second), ElementsAre("0 bend c5 16 80", "0 eot"));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(RunningStatus, ExclusiveSetsItAndTheRecordStartsWithF0) {
    RecordingSink sink;
    const auto track =
        ReadTrack(Concat({{0x00, 0xF0, 0x03, 0x01, 0x02, 0xF7}, {0x00, 0x05, 0x7E, 0x01, 0x02, 0xF7}, kEnd}));
    ASSERT_THAT(Timeline(*track), ElementsAre("0 sysex c255 len 5", "0 sysex c255 len 6", "0 eot"));
    EXPECT_EQ(track->events[1].data, (Bytes{0xF0, 0x05, 0x7E, 0x01, 0x02, 0xF7}));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(RunningStatus, ADataByteWithNoStatusYetIsUndefinedAndSkippedByOneByte) {
    RecordingSink sink;
    const auto track = ReadTrack(Concat({{0x00, 0x3C}, kEnd}));
    EXPECT_THAT(Timeline(*track), ElementsAre("0 marked", "0 eot"));
    EXPECT_THAT(sink.texts(), ElementsAre("未定義のMIDIイベントです。"));
}

// Channel events far from the chunk's end are read straight from the bytes,
// the last few with every byte checked against the end: an event must read
// the same either way. Each random body is read alone, and again followed by
// padding, which puts all of its events far from the end.
TEST(RunningStatus, EventsReadTheSameNearTheChunkEndAsFarFromIt) {
    std::mt19937 random(20261209);
    auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const Bytes padding = Repeat({0x00, 0xFF, 0x01, 0x00}, 8);  // empty texts
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        Bytes body;
        int last = 0;  // the status a data byte would run on
        const int events = 1 + below(12);
        for (int e = 0; e < events; ++e) {
            const int deltaBytes = 1 + below(4);
            for (int b = 1; b < deltaBytes; ++b) body.push_back(static_cast<std::uint8_t>(0x80 | below(128)));
            body.push_back(static_cast<std::uint8_t>(below(128)));
            const int kind = below(10);
            if (kind == 0) {
                body.insert(body.end(), {0xFF, 0x03, 0x02, 'a', 'b'});
            } else if (kind == 1) {
                body.insert(body.end(), {0xF0, 0x02, 0x7E, 0xF7});
                last = 0xF0;  // data bytes would run on as exclusive bytes, up to the chunk's end
            } else {
                const bool running = below(3) == 0 && last >= 0x80 && last < 0xF0;
                if (!running) {
                    last = 0x80 + 0x10 * below(7) + below(16);
                    body.push_back(static_cast<std::uint8_t>(last));
                }
                // A damaged data byte (0x80) is taken as data after a status,
                // but after none it would be a status itself.
                const int dataBytes = (last & 0xE0) == 0xC0 ? 1 : 2;
                for (int d = 0; d < dataBytes; ++d) {
                    const bool damaged = (d > 0 || !running) && below(10) == 0;
                    body.push_back(static_cast<std::uint8_t>(damaged ? 0x80 : below(128)));
                }
            }
        }
        MidiTrackData::ResetReaderState();
        RecordingSink alone;
        const auto near = ReadTrack(body);
        const auto nearReports = alone.codes();
        MidiTrackData::ResetReaderState();
        RecordingSink padded;
        const auto far = ReadTrack(Concat({body, padding}));
        ASSERT_GE(far->count(), near->count());
        const std::vector<std::string> nearEvents = test::Fingerprint(*near);
        std::vector<std::string> farEvents = test::Fingerprint(*far);
        farEvents.resize(nearEvents.size());
        EXPECT_EQ(nearEvents, farEvents);
        EXPECT_EQ(nearReports, padded.codes());
        if (testing::Test::HasFailure()) return;
    }
}

// ---- decoding ----

struct Decoded {
    Bytes message;
    std::string described;
    std::int32_t length;
    std::int32_t value;
    Bytes data;
};

TEST(MessageDecoding, EveryKindSetsItsFieldsAndCoversItsBytes) {
    const Decoded cases[] = {
        {{0x93, 0x3C, 0x40}, "0 on c3 k60 v64", 3, 0, {}},
        {{0x93, 0x3C, 0x00}, "0 off c3 k60 v0", 3, 0, {}},
        {{0x8F, 0x3C, 0x7F}, "0 off c15 k60 v127", 3, 0, {}},
        {{0xA4, 0x3C, 0x10}, "0 keypressure", 3, 0, {}},
        {{0xB5, 0x07, 0x64}, "0 cc c5 7=100", 3, 100, {}},
        {{0xC6, 0x05}, "0 pc c6 5", 2, 5, {}},
        {{0xD7, 0x40}, "0 pressure", 2, 0, {}},
        {{0xE8, 0x01, 0x40}, "0 bend c8 1 64", 3, 64, {}},
        {{0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, "0 sysex c255 len 7", 7, 0,
         {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {{0xF7, 0x03, 0x01, 0x02, 0x03}, "0 escape len 5", 5, 0, {0xF7, 0x03, 0x01, 0x02, 0x03}},
        {{0xFF, 0x00, 0x02, 0x00, 0x01}, "0 meta 0x00 len 2", 2, 0, {}},
        // Fixed sizes: a sequence number written with size 0 still takes 5 bytes.
        {{0xFF, 0x00, 0x00, 0x7F, 0x7F}, "0 meta 0x00 len 2", 2, 0, {}},
        {{0xFF, 0x20, 0x01, 0x05}, "0 meta 0x20 len 1", 1, 0, {}},
        {{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, "0 meta 0x51 len 3", 3, 500000, {}},
        {{0xFF, 0x54, 0x05, 0x60, 0x01, 0x02, 0x03, 0x04}, "0 meta 0x54 len 5", 5, 0, {}},
        {{0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}, "0 meta 0x58 len 4", 4, 4, {0x04, 0x02, 0x18, 0x08}},
        {{0xFF, 0x59, 0x02, 0xFE, 0x01}, "0 meta 0x59 len 2", 2, 0, {0xFE, 0x01}},
        {{0xFF, 0x01, 0x02, 'h', 'i'}, "0 meta 0x01 len 2", 2, 0, {'h', 'i'}},
        {{0xFF, 0x03, 0x05, 'P', 'i', 'a', 'n', 'o'}, "0 meta 0x03 len 5", 5, 0, {'P', 'i', 'a', 'n', 'o'}},
        {{0xFF, 0x07, 0x00}, "0 meta 0x07 len 0", 0, 0, {}},
        {{0xFF, 0x7F, 0x03, 0x41, 0x00, 0x01}, "0 meta 0x7F len 3", 3, 0, {0x41, 0x00, 0x01}},
        // Meta types without a branch of their own are read and marked for removal.
        {{0xFF, 0x09, 0x03, 0x41, 0x42, 0x43}, "0 marked", 3, 0, {0x41, 0x42, 0x43}},
        {{0xFF, 0x21, 0x01, 0x00}, "0 marked", 1, 0, {0x00}},
        {Concat({{0xFF, 0x80, 0x81, 0x00}, Bytes(0x80, 0x33)}), "0 marked", 0x80, 0, Bytes(0x80, 0x33)},
    };
    for (const Decoded& c : cases) {
        SCOPED_TRACE(c.described + " from " + std::to_string(c.message[0]));
        RecordingSink sink;
        const Bytes& message = c.message;
        const auto track = ReadTrack(Concat({{0x00}, message, kEnd}));
        // The End of Track right behind shows how many bytes the message covered.
        ASSERT_THAT(Timeline(*track), ElementsAre(c.described, "0 eot"));
        const MusicEvent& e = track->events[0];
        EXPECT_EQ(e.length, c.length);
        EXPECT_EQ(e.value, c.value);
        EXPECT_EQ(e.data, c.data);
        EXPECT_EQ(e.DataByte(e.length), 0);  // a text reads as ended by a zero
        if (message[0] == 0xFF) {
            EXPECT_EQ(e.subtype, message[1]);
        }
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
}

TEST(MessageDecoding, AZeroTempoBecomes480WithAReport) {
    RecordingSink sink;
    const auto track = ReadTrack(Concat({{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}, kEnd}));
    ASSERT_EQ(track->count(), 2);
    EXPECT_EQ(track->events[0].value, 480);
    EXPECT_THAT(sink.texts(), ElementsAre("テンポに誤りがあります。"));
}

TEST(MessageDecoding, TimeSignatureCodes) {
    struct Case {
        std::uint8_t numerator;
        std::uint8_t power;
        std::int32_t code;
    };
    const Case cases[] = {{4, 2, 4}, {3, 2, 3}, {6, 3, 6}, {1, 1, 2}, {2, 2, 0}, {5, 2, 0}, {4, 3, 0}, {6, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.numerator) + "/" + std::to_string(c.power));
        const auto track = ReadTrack(Concat({{0x00, 0xFF, 0x58, 0x04, c.numerator, c.power, 0x18, 0x08}, kEnd}));
        ASSERT_EQ(track->count(), 2);
        EXPECT_EQ(track->events[0].value, c.code);
    }
}

TEST(MessageDecoding, AProgramAbove127IsReportedAndStillCoversTwoBytes) {
    RecordingSink sink;
    const auto track = ReadTrack(Concat({{0x00, 0xC5, 0x85}, kEnd}));
    EXPECT_THAT(Timeline(*track), ElementsAre("0 pc c5 133", "0 eot"));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

TEST(MessageDecoding, ARhythmPartMessageGetsTheChannelItNames) {
    struct Case {
        std::uint8_t part;
        std::uint8_t address;
        std::int32_t channel;
    };
    const Case cases[] = {{0x11, 0x15, 0},   {0x19, 0x15, 8},   {0x1A, 0x15, 10}, {0x1F, 0x15, 15},
                          {0x10, 0x15, 255}, {0x20, 0x15, 255}, {0x1A, 0x16, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        const Bytes sysex = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, c.part, c.address, 0x02, 0x00, 0xF7};
        const auto track = ReadTrack(Concat({{0x00}, sysex, kEnd}));
        ASSERT_EQ(track->count(), 2);
        EXPECT_EQ(track->events[0].channel, c.channel);
    }
    const auto otherMaker =
        ReadTrack(Concat({{0x00, 0xF0, 0x0A, 0x43, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x00, 0xF7}, kEnd}));
    EXPECT_EQ(otherMaker->events[0].channel, kNoChannel);
}

// ---- data cut at the chunk's end ----

TEST(ChunkEnd, ANoteOnMissingItsVelocityBecomesANoteOff) {
    RecordingSink sink;
    const auto track = ReadTrack({0x00, 0x90, 0x3C});
    EXPECT_THAT(Timeline(*track), ElementsAre("0 off c0 k60 v0"));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

TEST(ChunkEnd, AnExclusiveWithoutF7RunsToTheEnd) {
    RecordingSink sink;
    const auto track = ReadTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09});
    ASSERT_EQ(track->count(), 2);
    EXPECT_EQ(track->events[1].data, (Bytes{0xF0, 0x05, 0x7E, 0x7F, 0x09}));
    EXPECT_EQ(track->events[1].length, 5);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

TEST(ChunkEnd, TextAndEscapePayloadsAreCutAtTheEndWithOneReport) {
    struct Case {
        Bytes body;
        Bytes data;
    };
    const Case cases[] = {
        {{0x00, 0xFF, 0x01, 0x0A, 'a', 'b', 'c'}, {'a', 'b', 'c'}},
        {{0x00, 0xF7, 0x0A, 0x01, 0x02}, {0xF7, 0x0A, 0x01, 0x02}},
        {{0x00, 0xFF, 0x58, 0x04, 0x04}, {0x04}},
        {{0x00, 0xFF, 0x01}, {}},  // no room even for the size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body[1]);
        RecordingSink sink;
        const auto track = ReadTrack(c.body);
        ASSERT_EQ(track->count(), 1);
        EXPECT_EQ(track->events[0].data, c.data);
        EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
    }
}

TEST(ChunkEnd, AVarLenReachingTheLastByteIsReported) {
    RecordingSink sink;
    const auto track = ReadTrack({0x00, 0x90, 0x3C, 0x40, 0x81});
    EXPECT_EQ(track->count(), 2);
    EXPECT_EQ(track->events[1].type, kTypeMarked);
    EXPECT_THAT(sink.codes(), Not(IsEmpty()));
    EXPECT_THAT(sink.codes(), Each(kTrackInternalError));
}

// ---- oversized events and the once-per-track warning ----

TEST(OversizedEvents, ThreeLongTextsWarnOncePerTrackAndReportEachDestruction) {
    RecordingSink sink;
    const Bytes text300 = Concat({{0x00, 0xFF, 0x01}, test::VarLen(300), Bytes(300, 'x')});
    const Bytes body = Concat({text300, text300, text300, kEnd});
    {
        const auto track = ReadTrack(body);
        ASSERT_EQ(track->count(), 4);
        EXPECT_EQ(track->events[0].length, 300);
        EXPECT_EQ(track->events[0].data.size(), 300u);
        EXPECT_EQ(track->events[0].data[299], 'x');
        EXPECT_THAT(sink.texts(), ElementsAre("サイズが大きすぎるイベントが含まれています。"));
        sink.Clear();
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kEventDataTooLarge, kEventDataTooLarge, kEventDataTooLarge));
    sink.Clear();

    const auto next = ReadTrack(body);  // the next track may show it once more
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackOversizedEvent));
}

TEST(OversizedEvents, ExactlyTwoHundredFiftySixBytesWarnButAreNotReportedOnDestruction) {
    RecordingSink sink;
    {
        const auto track = ReadTrack(Concat({{0x00, 0xFF, 0x06}, test::VarLen(256), Bytes(256, 'm'), kEnd}));
        EXPECT_EQ(track->events[0].length, 256);
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackOversizedEvent));
}

TEST(OversizedEvents, ALongExclusiveIsKeptWhole) {
    RecordingSink sink;
    const Bytes sysex = Concat({{0xF0}, test::VarLen(300), Bytes(299, 0x11), {0xF7}});
    {
        const auto track = ReadTrack(Concat({{0x00}, sysex, kEnd}));
        ASSERT_EQ(track->count(), 2);
        EXPECT_EQ(track->events[0].data, sysex);
        EXPECT_THAT(sink.codes(), ElementsAre(kTrackOversizedEvent));
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackOversizedEvent, kEventDataTooLarge));
}

TEST(OversizedEvents, TheWarningFlagOutlastsTheReadUntilTheNextRead) {
    RecordingSink sink;
    const auto read = ReadTrack(Concat({{0x00, 0xFF, 0x01}, test::VarLen(260), Bytes(260, 'x'), kEnd}));
    const MusicEvent longMarker = test::Meta(0, 0x06, Bytes(200, 'm'));
    std::vector<std::uint8_t> out;
    sink.Clear();

    read->EncodeMeta(longMarker, out);  // the write after that read stays silent
    EXPECT_THAT(sink.codes(), IsEmpty());

    ReadTrack(kEnd);
    read->EncodeMeta(longMarker, out);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackOversizedEvent));
}

// ---- damaged chunks: every outcome is reported, reading ends, nothing is read outside the chunk ----

// Bytes that would change the result if the reader looked past the chunk.
const Bytes kTrailingGarbage = Repeat({0x90, 0x3C, 0x40, 0xF7, 0xFF, 0x2F, 0x81, 0x80}, 4);

struct Reading {
    std::vector<std::string> events;
    std::vector<std::uint32_t> codes;
    std::int32_t count = 0;
    std::int32_t state = 0;
};

// Reads the chunk from a fresh reader state, once with the image ending at the
// chunk's end and once with garbage behind it; both readings must agree.
Reading ReadTwice(const Bytes& body) {
    Reading readings[2];
    for (int pass = 0; pass < 2; ++pass) {
        MidiTrackData::ResetReaderState();
        RecordingSink sink;
        Bytes image = ChunkOf(body);
        if (pass == 1) image.insert(image.end(), kTrailingGarbage.begin(), kTrailingGarbage.end());
        {
            const MidiTrackData track(static_cast<std::int32_t>(image.size()), 0, image.data());
            readings[pass].events = test::Fingerprint(track);
            readings[pass].count = track.count();
            readings[pass].state = track.state;
        }
        readings[pass].codes = sink.codes();
    }
    EXPECT_EQ(readings[0].events, readings[1].events);
    EXPECT_EQ(readings[0].codes, readings[1].codes);
    return readings[0];
}

// Every kind of message the reader knows, each with its delta.
std::vector<Bytes> RichEvents() {
    return {
        {0x00, 0x90, 0x3C, 0x40},
        {0x00, 0x3E, 0x40},
        {0x81, 0x00, 0x80, 0x3C, 0x00},
        {0x00, 0xA0, 0x3C, 0x10},
        {0x00, 0xB1, 0x07, 0x64},
        {0x00, 0xC1, 0x05},
        {0x00, 0xD1, 0x20},
        {0x00, 0xE1, 0x00, 0x40},
        {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
        {0x00, 0xF7, 0x03, 0x01, 0x02, 0x03},
        {0x00, 0xFF, 0x03, 0x05, 'P', 'i', 'a', 'n', 'o'},
        {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
        {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08},
        {0x00, 0xFF, 0x59, 0x02, 0xFE, 0x01},
        {0x00, 0xFF, 0x00, 0x02, 0x00, 0x01},
        {0x00, 0xFF, 0x20, 0x01, 0x05},
        {0x00, 0xFF, 0x54, 0x05, 0x60, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0xFF, 0x09, 0x03, 0x41, 0x42, 0x43},
        {0x00, 0xFF, 0x7F, 0x03, 0x41, 0x00, 0x01},
        {0x83, 0x60, 0x90, 0x40, 0x00},
        {0x00, 0xFF, 0x2F, 0x00},
    };
}

TEST(DamagedChunks, EveryPrefixOfARichChunkKeepsTheWholeEventsAndReportsTheCut) {
    std::vector<std::size_t> boundaries = {0};
    Bytes body;
    for (const Bytes& event : RichEvents()) {
        body.insert(body.end(), event.begin(), event.end());
        boundaries.push_back(body.size());
    }
    const Reading whole = ReadTwice(body);
    ASSERT_EQ(whole.count, static_cast<std::int32_t>(RichEvents().size()));
    ASSERT_THAT(whole.codes, IsEmpty());

    for (std::size_t cut = 0; cut <= body.size(); ++cut) {
        SCOPED_TRACE(cut);
        const Reading part = ReadTwice(Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(cut)));
        const auto complete = static_cast<std::int32_t>(
            std::upper_bound(boundaries.begin(), boundaries.end(), cut) - boundaries.begin() - 1);
        const bool atBoundary = std::binary_search(boundaries.begin(), boundaries.end(), cut);

        EXPECT_EQ(part.state, kStateEventForm);
        EXPECT_EQ(part.count, atBoundary ? complete : complete + 1);
        EXPECT_TRUE(std::equal(whole.events.begin(), whole.events.begin() + complete, part.events.begin()));
        if (atBoundary) {
            EXPECT_THAT(part.codes, IsEmpty());
        } else {
            // A cut tempo may also read as tempo 0.
            EXPECT_THAT(part.codes, ::testing::Contains(kTrackInternalError));
            EXPECT_THAT(part.codes, Each(::testing::AnyOf(kTrackInternalError, kTrackBadTempo)));
        }
    }
}

TEST(DamagedChunks, RandomGarbageIsReadToTheEndWithKnownCodesOnly) {
    std::mt19937 random(0x50A1);
    for (int round = 0; round < 400; ++round) {
        const std::size_t length = random() % 600;
        const bool statusHeavy = round % 2 == 1;  // more status bytes reach the deeper branches
        Bytes body(length);
        for (std::uint8_t& b : body) {
            b = static_cast<std::uint8_t>(random());
            if (statusHeavy && random() % 3 == 0) b = static_cast<std::uint8_t>(b | 0x80);
        }
        SCOPED_TRACE(round);
        const Reading reading = ReadTwice(body);
        EXPECT_EQ(reading.state, kStateEventForm);
        // Each record takes at least two bytes, but the last one at the end.
        EXPECT_LE(reading.count, static_cast<std::int32_t>((length + 1) / 2));
        EXPECT_THAT(reading.codes, Each(::testing::AnyOf(kTrackInternalError, kTrackUndefinedEvent, kTrackBadTempo,
                                                         kTrackOversizedEvent, kEventDataTooLarge)));
    }
}

TEST(DamagedChunks, UndefinedBytesAdvanceOneByteEach) {
    RecordingSink sink;
    const auto track = ReadTrack(Repeat({0x00, 0xF4}, 1000));
    EXPECT_EQ(track->count(), 1000);
    EXPECT_EQ(sink.codes(), std::vector<std::uint32_t>(1000, kTrackUndefinedEvent));
}

// A delta keeps the low 32 bits of what the file holds, but no track lasts
// longer than a delta can hold: whatever would pass that time is held at
// it, with one report for the track, and reading goes on.
TEST(DamagedChunks, FiveByteVarLensKeepTheLow32BitsButNoTrackOutlastsADelta) {
    constexpr std::int32_t kLongest = 0x7FFFFFFF;
    struct Case {
        const char* name;
        Bytes body;
        std::vector<std::int32_t> deltas;
        std::vector<std::uint32_t> codes;
    };
    const Case cases[] = {
        {"2^28, more than a file's four bytes carry", {0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}, {1 << 28, 0}, {}},
        {"2^35 - 1 without its high bits", {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40}, {kLongest, 0},
         {kTrackInternalError}},
        {"two halves and a bit", {0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 0x05, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 0x06, 0x10, 0xC0, 0x07},
         {kLongest, 0, 0, 0}, {kTrackInternalError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        const auto track = ReadTrack(Concat({c.body, kEnd}));
        std::vector<std::int32_t> deltas;
        for (const MusicEvent& e : track->events) deltas.push_back(e.delta);
        EXPECT_EQ(deltas, c.deltas);
        EXPECT_EQ(track->events[0].type, c.body[5] == 0x90 ? kTypeNoteOn : kTypeProgram);
        EXPECT_EQ(sink.codes(), c.codes);
    }
    RecordingSink sink;
    const auto text = ReadTrack(Concat({{0x00, 0xFF, 0x01, 0x81, 0x80, 0x80, 0x80, 0x00, 'a', 'b'}, kEnd}));
    ASSERT_EQ(text->count(), 1);  // the size runs far past the chunk: the rest is its text
    EXPECT_EQ(text->events[0].length, 6);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

TEST(DamagedChunks, TheLargestChunkAnImageHoldsIsReadWhole) {
    RecordingSink sink;
    constexpr std::int32_t kShort = (kImageCapacity - 8 - 6) / 2;
    const Bytes body = Concat({{0x00, 0xC0, 0x05, 0x00, 0xC0, 0x05}, Repeat({0x00, 0x05}, std::size_t{kShort})});
    const auto track = ReadTrack(body);
    EXPECT_EQ(track->size, kImageCapacity);
    EXPECT_EQ(track->count(), 2 + kShort);
    EXPECT_EQ(Describe(track->events.back()), "0 pc c0 5");
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(DamagedChunks, AChunkOfMoreEventsThanAListHoldsIsRefusedSafely) {
    // 131,073 two-byte events need more bytes than a track image holds.
    RecordingSink sink;
    const Bytes body = Concat({{0x00, 0xC0, 0x05}, Repeat({0x00, 0x05}, std::size_t{kTrackCapacity})});
    const auto track = ReadTrack(body);
    EXPECT_EQ(track->size, 0);
    EXPECT_EQ(track->count(), 0);
    EXPECT_EQ(track->state, kStateEmpty);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
}

}  // namespace
}  // namespace solvane
