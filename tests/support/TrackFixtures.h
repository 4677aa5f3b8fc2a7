#pragma once
// Tracks and event records built in code, and a one-line text per event so that
// a whole list can be compared with ElementsAre:
//   EXPECT_THAT(Timeline(*track), ElementsAre("0 on c0 k60 v100", "96 off c0 k60", "0 eot"));

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/SmfBuilder.h"
#include "track/MidiTrackData.h"

namespace solvane::test {

// "MTrk", the body's size and the body.
inline Bytes ChunkOf(const Bytes& body) { return SmfBuilder().Track(body).Bytes(); }

// Reads body as the only chunk of an image that ends where the chunk ends.
inline std::unique_ptr<MidiTrackData> ReadTrack(const Bytes& body) {
    const Bytes image = ChunkOf(body);
    return std::make_unique<MidiTrackData>(static_cast<std::int32_t>(image.size()), 0, image.data());
}

inline MusicEvent ChannelEvent(std::int32_t type, std::int32_t delta, std::int32_t channel) {
    MusicEvent event(delta);
    event.type = type;
    event.channel = channel;
    return event;
}

inline MusicEvent NoteOn(std::int32_t delta, std::int32_t key, std::int32_t velocity = 100, std::int32_t channel = 0) {
    MusicEvent event = ChannelEvent(kTypeNoteOn, delta, channel);
    event.key = key;
    event.velocity = velocity;
    event.length = 3;
    return event;
}

inline MusicEvent NoteOff(std::int32_t delta, std::int32_t key, std::int32_t channel = 0, std::int32_t velocity = 0) {
    MusicEvent event = ChannelEvent(kTypeNoteOff, delta, channel);
    event.key = key;
    event.velocity = velocity;
    event.length = 3;
    return event;
}

// A note of note form.
inline MusicEvent NoteEvent(std::int32_t delta, std::int32_t key, std::int32_t duration, std::int32_t channel = 0,
                       std::int32_t velocity = 100) {
    MusicEvent event = ChannelEvent(kTypeNote, delta, channel);
    event.key = key;
    event.duration = duration;
    event.velocity = velocity;
    event.length = 3;
    return event;
}

inline MusicEvent Control(std::int32_t delta, std::int32_t controller, std::int32_t value, std::int32_t channel = 0) {
    MusicEvent event = ChannelEvent(kTypeControl, delta, channel);
    event.subtype = controller;
    event.value = value;
    event.length = 3;
    return event;
}

// lsb and msb as the reader keeps them: key and value.
inline MusicEvent PitchBend(std::int32_t delta, std::int32_t lsb, std::int32_t msb, std::int32_t channel = 0) {
    MusicEvent event = ChannelEvent(kTypePitchBend, delta, channel);
    event.key = lsb;
    event.value = msb;
    event.length = 3;
    return event;
}

inline MusicEvent Program(std::int32_t delta, std::int32_t program, std::int32_t channel = 0) {
    MusicEvent event = ChannelEvent(kTypeProgram, delta, channel);
    event.value = program;
    event.length = 2;
    return event;
}

inline MusicEvent Meta(std::int32_t delta, std::int32_t subtype, const Bytes& data = {}) {
    MusicEvent event(delta);
    event.type = kTypeMeta;
    event.subtype = subtype;
    event.data = data;
    event.length = static_cast<std::int32_t>(data.size());
    return event;
}

inline MusicEvent Tempo(std::int32_t delta, std::int32_t microseconds) {
    MusicEvent event = Meta(delta, kMetaTempo);
    event.value = microseconds;
    event.length = 3;
    return event;
}

inline MusicEvent EndOfTrack(std::int32_t delta = 0) { return Meta(delta, kMetaEndOfTrack); }

// An exclusive record (0xF0 or 0xF7) holding bytes as the reader keeps them.
inline MusicEvent Exclusive(std::int32_t delta, const Bytes& bytes) {
    MusicEvent event(delta);
    event.type = bytes.empty() ? kTypeSysEx : bytes.front();
    event.data = bytes;
    event.length = static_cast<std::int32_t>(bytes.size());
    return event;
}

inline MusicEvent Marked(std::int32_t delta) { return MusicEvent(delta); }

inline std::unique_ptr<MidiTrackData> TrackOf(std::int32_t state, std::vector<MusicEvent> events) {
    auto track = std::make_unique<MidiTrackData>(state);
    for (MusicEvent& event : events) track->Append(std::move(event));
    return track;
}

inline std::string Hex(std::int32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[(value >> 4) & 0xF] + kDigits[value & 0xF];
}

// "<delta> <kind> <fields>", e.g. "96 off c0 k60 v64", "0 cc c1 7=100", "0 meta 0x51 len 3".
inline std::string Describe(const MusicEvent& e) {
    const std::string c = " c" + std::to_string(e.channel);
    std::string text = std::to_string(e.delta) + " ";
    switch (e.type) {
        case kTypeNoteOn: return text + "on" + c + " k" + std::to_string(e.key) + " v" + std::to_string(e.velocity);
        case kTypeNoteOff: return text + "off" + c + " k" + std::to_string(e.key) + " v" + std::to_string(e.velocity);
        case kTypeNote:
            return text + "note" + c + " k" + std::to_string(e.key) + " d" + std::to_string(e.duration);
        case kTypeControl: return text + "cc" + c + " " + std::to_string(e.subtype) + "=" + std::to_string(e.value);
        case kTypeProgram: return text + "pc" + c + " " + std::to_string(e.value);
        case kTypePitchBend: return text + "bend" + c + " " + std::to_string(e.key) + " " + std::to_string(e.value);
        case kTypeKeyPressure: return text + "keypressure";
        case kTypeChannelPressure: return text + "pressure";
        case kTypeSysEx: return text + "sysex" + c + " len " + std::to_string(e.length);
        case kTypeEscape: return text + "escape len " + std::to_string(e.length);
        case kTypeMeta:
            if (e.IsEndOfTrack()) return text + "eot";
            return text + "meta " + Hex(e.subtype) + " len " + std::to_string(e.length);
        case kTypeMarked: return text + "marked";
        default: return text + "type " + std::to_string(e.type);
    }
}

inline std::vector<std::string> Timeline(const MidiTrackData& track) {
    std::vector<std::string> out;
    for (const MusicEvent& e : track.events) out.push_back(Describe(e));
    return out;
}

// Every field and data byte: "type/delta/key/duration/velocity/subtype/value/length/channel:data".
inline std::string Fingerprint(const MusicEvent& e) {
    std::string text = std::to_string(e.type) + "/" + std::to_string(e.delta) + "/" + std::to_string(e.key) + "/" +
                       std::to_string(e.duration) + "/" + std::to_string(e.velocity) + "/" + std::to_string(e.subtype) +
                       "/" + std::to_string(e.value) + "/" + std::to_string(e.length) + "/" +
                       std::to_string(e.channel) + ":";
    for (std::uint8_t b : e.data) text += Hex(b).substr(2);
    return text;
}

inline std::vector<std::string> Fingerprint(const MidiTrackData& track) {
    std::vector<std::string> out;
    for (const MusicEvent& e : track.events) out.push_back(Fingerprint(e));
    return out;
}

}  // namespace solvane::test
