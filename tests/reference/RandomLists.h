#pragma once
// Event lists made at random from a seed, shaped to reach the corners of the
// list algorithms on every list the program can make: notes of one channel
// and key that overlap, note-offs and note-ons without a partner, notes of no
// length, huge deltas and lists longer than a delta can hold, Ends of Track in
// the middle or missing, chords, program changes on many channels, keys and
// values a damaged file gives, and records of more than 256 data bytes that
// may claim more bytes than they hold. As the reader promises, no delta is
// negative and no record holds bytes beyond its length.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "track/MidiTrackData.h"

namespace solvane::test {

struct ListShape {
    std::int32_t maxLength = 60;
    bool wildDeltas = true;     // deltas near the 32-bit limit
    bool wildChannels = true;   // keys above 127 and events without a channel
    bool oversized = true;      // records of more than 256 data bytes
    bool endAtEnd = true;       // usually an End of Track last
    bool noteForm = false;      // notes with durations instead of note-ons and note-offs
    bool marked = true;         // records marked for removal, as the reader leaves them
};

class RandomLists {
public:
    explicit RandomLists(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}

    std::uint32_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
    }
    std::int32_t Below(std::int32_t n) { return static_cast<std::int32_t>(Next() % static_cast<std::uint32_t>(n)); }
    std::int32_t Between(std::int32_t low, std::int32_t high) {
        return low + static_cast<std::int32_t>(Next() % (static_cast<std::uint32_t>(high - low) + 1));
    }
    bool Chance(std::int32_t percent) { return Below(100) < percent; }

    std::int32_t Delta(const ListShape& shape) {
        constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
        if (Chance(45)) return 0;
        if (shape.wildDeltas && Chance(12)) {
            switch (Below(6)) {
                case 0: return Between(0x0FFFFFF0, 0x10000010);  // around what a file can carry
                case 1: return kMax - Below(4);
                case 2: return Between(0x40000000, kMax);
                case 3: return Between(1000000, 50000000);
                default: return kMax / 2 + Below(3);
            }
        }
        if (Chance(5)) return Between(100, 100000);
        return Between(1, 12);
    }
    std::int32_t Channel(const ListShape& shape) {
        if (shape.wildChannels && Chance(4)) {
            static constexpr std::int32_t kOdd[] = {kNoChannel, 9, 15};
            return kOdd[Below(3)];
        }
        return Chance(10) ? Between(0, 15) : Between(0, 2);
    }
    std::int32_t Key(const ListShape& shape) {
        if (shape.wildChannels && Chance(4)) {
            static constexpr std::int32_t kOdd[] = {128, 200, 255, 0, 127};
            return kOdd[Below(5)];
        }
        return Chance(15) ? Between(20, 110) : Between(58, 61);
    }
    std::int32_t Duration(const ListShape& shape) {
        if (Chance(6)) return 0;
        if (shape.wildDeltas && Chance(6)) {
            switch (Below(4)) {
                case 0: return -Between(1, 100);
                case 1: return std::numeric_limits<std::int32_t>::max() - Below(3);
                case 2: return std::numeric_limits<std::int32_t>::min() + Below(3);
                default: return Between(100000, 0x40000000);
            }
        }
        return Chance(70) ? Between(1, 30) : Between(30, 400);
    }

    // Bytes for an exclusive or text record; its length may claim more.
    void Data(MusicEvent& event, const ListShape& shape) {
        const std::int32_t size = shape.oversized && Chance(25) ? Between(250, 330) : Between(0, 12);
        event.data.clear();
        for (std::int32_t i = 0; i < size; ++i) event.data.push_back(static_cast<std::uint8_t>(Next()));
        event.length = Chance(15) ? size + Between(1, 3) : size;  // a time signature of fewer bytes, say
    }

    MusicEvent Event(const ListShape& shape) {
        MusicEvent event(Delta(shape));
        const std::int32_t roll = Below(100);
        auto channelMessage = [&](std::int32_t type) {
            event.type = type;
            event.channel = Channel(shape);
            event.length = type == kTypeProgram ? 2 : 3;
        };
        if (shape.noteForm && roll < 45) {
            channelMessage(kTypeNote);
            event.key = Key(shape);
            event.velocity = Between(1, 127);
            event.duration = Duration(shape);
        } else if (!shape.noteForm && roll < 30) {
            channelMessage(kTypeNoteOn);
            event.key = Key(shape);
            event.velocity = Chance(8) ? 0 : Between(1, 127);
        } else if (!shape.noteForm && roll < 55) {
            channelMessage(kTypeNoteOff);
            event.key = Key(shape);
            event.velocity = Chance(50) ? 0 : 64;
        } else if (roll < 63) {
            channelMessage(kTypeControl);
            event.subtype = Between(0, 127);
            event.value = Between(0, 127);
        } else if (roll < 72) {
            channelMessage(kTypeProgram);
            event.value = Between(0, 127);
        } else if (roll < 75) {
            channelMessage(kTypePitchBend);
            event.key = Between(0, 127);
            event.value = Between(0, 127);
        } else if (roll < 77) {
            event.type = Chance(50) ? kTypeKeyPressure : kTypeChannelPressure;
            event.length = 3;
        } else if (roll < 81) {
            event.type = Chance(70) ? kTypeSysEx : kTypeEscape;
            event.channel = Chance(80) ? kNoChannel : Channel(shape);
            Data(event, shape);
        } else if (roll < 85) {
            event.type = kTypeMeta;
            event.subtype = Between(1, 7);
            Data(event, shape);
        } else if (roll < 87) {
            event.type = kTypeMeta;
            event.subtype = kMetaTempo;
            event.value = Between(100000, 900000);
            event.length = 3;
        } else if (roll < 91) {
            event.type = kTypeMeta;
            event.subtype = kMetaEndOfTrack;
            event.length = Chance(50) ? 0 : 3;
        } else if (roll < 95 && shape.marked) {
            event.type = kTypeMarked;
            event.subtype = Between(8, 12);
            if (shape.oversized && Chance(20)) Data(event, shape);
        } else if (roll < 98) {
            // A note of the other form, as a damaged list may hold one.
            channelMessage(shape.noteForm ? kTypeNoteOn : kTypeNote);
            event.key = Key(shape);
            event.velocity = Between(0, 127);
            event.duration = Duration(shape);
        } else {
            channelMessage(kTypeNoteOff);
            event.key = Key(shape);
        }
        if (Chance(3)) event.duration = Duration(shape);  // a stray duration on any event
        return event;
    }

    std::vector<MusicEvent> List(const ListShape& shape) {
        std::vector<MusicEvent> events;
        const std::int32_t length = Below(shape.maxLength + 1);
        for (std::int32_t i = 0; i < length; ++i) {
            events.push_back(Event(shape));
            // Chords: several events at one time.
            while (Chance(25) && static_cast<std::int32_t>(events.size()) < length) {
                MusicEvent chord = Event(shape);
                chord.delta = 0;
                events.push_back(std::move(chord));
                ++i;
            }
        }
        if (shape.endAtEnd && Chance(85)) {
            MusicEvent end(Chance(50) ? 0 : Delta(shape));
            end.type = kTypeMeta;
            end.subtype = kMetaEndOfTrack;
            end.length = 0;
            events.push_back(std::move(end));
        }
        return events;
    }

private:
    std::uint64_t state_;
};

}  // namespace solvane::test
