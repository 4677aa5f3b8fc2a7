// Writing a track as one "MTrk" chunk of a format-0 Standard MIDI File: the
// reorderings of simultaneous events and the event encodings. Channel events
// always carry their own status byte.

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "support/General.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

bool IsNote(const MusicEvent& event) { return event.type == kTypeNoteOn || event.type == kTypeNoteOff; }
bool IsSysEx(const MusicEvent& event) { return event.type == kTypeSysEx || event.type == kTypeEscape; }

// Data bytes carry 7 bits; larger values only come from damaged files and
// would read back as status bytes.
std::uint8_t DataByte(std::int32_t value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 0x7F)); }

bool IsChannelEvent(std::int32_t type) {
    return type == kTypeNoteOff || type == kTypeNoteOn || type == kTypeControl || type == kTypeProgram ||
           type == kTypePitchBend;
}

// A channel event (its channel already checked) into out; returns its size.
// The data bytes: the key (or controller) first, then the velocity (a
// note-off's always 64) or the value; a program change has only its value.
[[gnu::always_inline]] inline std::int32_t PutChannelEvent(const MusicEvent& event, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(event.type | event.channel);
    if (event.type == kTypeProgram) {
        out[1] = DataByte(event.value);
        return 2;
    }
    out[1] = DataByte(event.type == kTypeControl ? event.subtype : event.key);
    out[2] = event.type == kTypeNoteOff ? 0x40 : DataByte(event.type == kTypeNoteOn ? event.velocity : event.value);
    return 3;
}

// A few bytes at the end: push_back, which costs less than a range insert.
void Put(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) out.push_back(b);
}

void PutVarLen(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    const int n = EncodeVarLen(value, bytes);
    for (int i = 0; i < n; ++i) out.push_back(bytes[i]);
}

// Reads the variable-length quantity at data[at]; false when it does not end
// inside the first length bytes.
bool ReadVarLen(const MusicEvent& event, std::int32_t at, std::int64_t& value, std::int32_t& used) {
    value = 0;
    for (used = 1; used <= 4 && at + used - 1 < event.length; ++used) {
        const std::uint8_t byte = event.DataByte(at + used - 1);
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}

// An exclusive event as read holds its status, its size and its bytes as the
// chunk had them. A system-exclusive message goes out as it came only when its
// size matches its bytes and it ends with F7; otherwise (the file was damaged,
// or the message ran to the chunk's end) it gets a fresh size and its F7, so
// that the file stays readable and no device waits for the end.
//
// This program reads an escape's size as one byte, other readers as a
// variable-length number. The two agree up to 127 bytes, so a longer escape
// goes out as several in a row at the same time, which send the same bytes.
void PutExclusive(const MusicEvent& event, std::vector<std::uint8_t>& out) {
    if (event.type == kTypeEscape) {
        constexpr std::int32_t kPiece = 0x7F;
        std::int32_t at = 2;
        do {
            const std::int32_t piece = std::clamp(event.length - at, 0, kPiece);
            if (at > 2) out.push_back(0x00);  // the next piece's delta
            Put(out, {0xF7, static_cast<std::uint8_t>(piece)});
            for (std::int32_t i = 0; i < piece; ++i) out.push_back(event.DataByte(at + i));
            at += piece;
        } while (at < event.length);
        return;
    }
    std::int64_t declared = 0;
    std::int32_t used = 0;
    const bool sized = ReadVarLen(event, 1, declared, used);
    const bool ended = event.length > 1 && event.DataByte(event.length - 1) == 0xF7;
    if (sized && ended && 1 + used + declared == event.length) {
        for (std::int32_t i = 0; i < event.length; ++i) out.push_back(event.DataByte(i));
        return;
    }
    const std::int32_t from = sized ? 1 + used : 1;
    std::vector<std::uint8_t> payload;
    for (std::int32_t i = from; i < event.length; ++i) payload.push_back(event.DataByte(i));
    if (payload.empty() || payload.back() != 0xF7) payload.push_back(0xF7);
    out.push_back(static_cast<std::uint8_t>(event.type));
    PutVarLen(out, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

// Moves the events raised to the front of their group of simultaneous
// events: the group's first event (the one with a delta) trades places with
// the event found, and the walk goes on behind it. The events between the
// group's front and the event found are all of the kind passed over, so
// walking over them again finds nothing: the walk goes on at the event
// found, not at the group's front.
template <typename Raised>
void RaiseInGroups(MidiTrackData& track, Raised raised) {
    std::int32_t g = 0;
    for (std::int32_t j = 0; j < track.count();) {
        const MusicEvent& event = track.events[static_cast<std::size_t>(j)];
        if (event.delta != 0) {
            g = j;
            ++j;
        } else if (!raised(event)) {
            ++j;
        } else {
            track.ExchangeEvents(j, g);
            ++g;
            j = std::max(g, j);
        }
    }
}

}  // namespace

void MidiTrackData::SortSimultaneous() {
    if (state != kStateEventForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // Controllers, programs, bends and meta events go to the front of their
    // group of simultaneous events, so a program is set before the note it voices.
    RaiseInGroups(*this, [](const MusicEvent& event) { return !IsNote(event) && !event.IsEndOfTrack(); });
}

void MidiTrackData::RaiseSysex() {
    // Most pieces hold no exclusive event, and looking costs less than the walk.
    if (std::none_of(events.begin(), events.end(), IsSysEx)) return;
    RaiseInGroups(*this, IsSysEx);
}

void MidiTrackData::OffsBeforeOns() {
    if (state != kStateEventForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // Each note-off trades places with the nearest note-on before it among
    // the events of its time (a group starts at an event with a delta). The
    // note-ons of the current group wait on a stack, nearest on top.
    std::vector<std::int32_t> ons;
    for (std::int32_t i = 0; i < count(); ++i) {
        const MusicEvent& event = events[static_cast<std::size_t>(i)];
        if (event.delta != 0) ons.clear();
        if (event.type == kTypeNoteOn) {
            ons.push_back(i);
        } else if (event.type == kTypeNoteOff && !ons.empty()) {
            ExchangeEvents(i, ons.back());
            ons.back() = i;  // the note-on now stands here; its old slot holds the note-off
        }
    }
}

void MidiTrackData::WriteTrack() {
    if (state != kStateEventForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // Without a track closed by its End of Track there is nothing a reader
    // could take for a MIDI file (this program's own reader would refuse it):
    // said as the reader would say it, and nothing is written.
    if (events.empty() || !events.back().IsEndOfTrack()) {
        ReportError(kTrackNoChunk);
        return;
    }
    undefinedReported_ = false;
    static constexpr std::uint8_t kEndOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
    // The song image holds the 14 header bytes in front of the chunk, and a
    // file that filled the whole image would read back as cut ("data too
    // large"), so one byte stays free.
    constexpr std::size_t kChunkCapacity = kImageCapacity - 14 - 1;
    // The chunk grows as written; channel events, nearly all of a piece, are
    // copied in as they are encoded, the others through one reused buffer.
    std::vector<std::uint8_t> chunk(std::min(kChunkCapacity, 4 * events.size()) + 8);
    std::size_t used = 8;
    std::vector<std::uint8_t> other;
    std::int64_t carried = 0;  // deltas of events that could not be written
    std::int64_t time = 0;
    bool clamped = false;
    for (const MusicEvent& event : events) {
        std::uint8_t channelBytes[3];
        const std::uint8_t* encoded = channelBytes;
        std::int32_t n = 0;
        if (IsChannelEvent(event.type) && event.channel >= 0 && event.channel <= 15) {
            n = PutChannelEvent(event, channelBytes);
        } else {
            other.clear();
            n = EncodeEvent(event, other);
            encoded = other.data();
        }
        const std::int64_t delta = carried + event.delta;
        if (n < 0) {
            carried = delta;  // left out: the next event keeps its time
            continue;
        }
        carried = 0;
        // No delta longer than a file can carry, no time past what the reader takes.
        const std::int64_t fits = std::clamp<std::int64_t>(delta, 0, std::min<std::int64_t>(kMaxVarLen, kLongestTime - time));
        time += fits;
        if (n > kImageCapacity) ReportTrackWarning(kTrackOversizedEvent);
        if (fits != delta && !clamped) {
            clamped = true;
            ReportError(kTrackInternalError);  // a time no file can carry: said once a track
        }
        std::uint8_t deltaBytes[4];
        deltaBytes[0] = static_cast<std::uint8_t>(fits);  // most deltas are a byte
        const auto deltaLength =
            fits < 0x80 ? std::size_t{1} : static_cast<std::size_t>(EncodeVarLen(static_cast<std::uint32_t>(fits), deltaBytes));
        const std::size_t end = used + deltaLength + static_cast<std::size_t>(n);
        // The chunk must fit the image and still close with its End of Track.
        const std::size_t room = &event == &events.back() ? 0 : sizeof kEndOfTrack;
        if (end + room > kChunkCapacity) {
            ReportGeneralError(kGeneralDataTooLarge);
            chunk.resize(std::max(chunk.size(), used + sizeof kEndOfTrack));
            std::memcpy(chunk.data() + used, kEndOfTrack, sizeof kEndOfTrack);
            used += sizeof kEndOfTrack;
            break;
        }
        // Copies of a whole delta and a whole channel event, whatever their
        // lengths, cost less than exact ones; the chunk keeps room for them.
        constexpr std::size_t kSlack = sizeof deltaBytes + sizeof channelBytes;
        if (chunk.size() < end + kSlack) chunk.resize(std::max(end + kSlack, 2 * chunk.size()));
        std::memcpy(chunk.data() + used, deltaBytes, sizeof deltaBytes);
        if (encoded == channelBytes) {
            std::memcpy(chunk.data() + used + deltaLength, channelBytes, sizeof channelBytes);
        } else {
            std::memcpy(chunk.data() + used + deltaLength, encoded, static_cast<std::size_t>(n));
        }
        used = end;
    }
    chunk.resize(used);
    const auto length = static_cast<std::uint32_t>(chunk.size() - 8);
    const std::uint8_t header[8] = {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(length >> 24),
                                    static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length)};
    std::copy(std::begin(header), std::end(header), chunk.begin());
    std::uint8_t* image = MutableBytes(static_cast<std::int32_t>(chunk.size()));
    if (image == nullptr) return;
    std::memcpy(image, chunk.data(), chunk.size());
    size = static_cast<std::int32_t>(chunk.size());
    cursor = size;
    state = kStateImage;
}

std::int32_t MidiTrackData::EncodeEvent(const MusicEvent& event, std::vector<std::uint8_t>& out) const {
    const std::size_t start = out.size();
    if (IsChannelEvent(event.type)) {
        if (event.channel < 0 || event.channel > 15) {
            ReportError(kTrackBadChannel);
            return -1;
        }
        std::uint8_t bytes[3];
        const std::int32_t n = PutChannelEvent(event, bytes);
        for (std::int32_t i = 0; i < n; ++i) out.push_back(bytes[i]);
        return n;
    }
    switch (event.type) {
        case kTypeSysEx:
        case kTypeEscape:
            PutExclusive(event, out);
            break;
        case kTypeMeta:
            return EncodeMeta(event, out);
        default:
            // Pressure events keep no values, so there is nothing to write. A
            // piece can hold thousands of them: one box per track, not one for each.
            if (!undefinedReported_) {
                undefinedReported_ = true;
                ReportError(kTrackUndefinedEvent);
            }
            return -1;
    }
    return static_cast<std::int32_t>(out.size() - start);
}

std::int32_t MidiTrackData::EncodeMeta(const MusicEvent& event, std::vector<std::uint8_t>& out) const {
    if (event.length > 128) ReportTrackWarning(kTrackOversizedEvent);
    const std::size_t start = out.size();
    const auto type = static_cast<std::uint8_t>(event.subtype & 0xFF);
    switch (event.subtype) {
        case kMetaEndOfTrack:
            Put(out, {0xFF, 0x2F, 0x00});
            break;
        case kMetaTempo:
            Put(out, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>((event.value >> 16) & 0xFF),
                                   static_cast<std::uint8_t>((event.value >> 8) & 0xFF),
                                   static_cast<std::uint8_t>(event.value & 0xFF)});
            break;
        case kMetaTimeSignature:
            Put(out, {0xFF, 0x58, 0x04});
            for (int i = 0; i < 4; ++i) out.push_back(event.DataByte(i));
            break;
        default: {
            // Text kinds and every other kept meta: size, then that many data
            // bytes (zeros where the reader keeps no values).
            const std::int32_t length = std::max(event.length, 0);
            Put(out, {0xFF, type});
            PutVarLen(out, static_cast<std::uint32_t>(length));
            for (std::int32_t i = 0; i < length; ++i) out.push_back(event.DataByte(i));
            break;
        }
    }
    return static_cast<std::int32_t>(out.size() - start);
}

}  // namespace solvane
