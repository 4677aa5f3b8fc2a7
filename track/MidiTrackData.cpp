#include "track/MidiTrackData.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "support/Messages.h"

namespace solvane {
namespace {

// The running status is not per track: a track that starts with a data byte
// is read with the last status of the track before it in the same file.
std::int32_t g_currentStatus = 0;
std::int32_t g_lastStatus = 0;

// One flag per once-per-track warning: undefined event, volumes, pans, oversized event.
bool g_warned[4] = {};

int WarningSlot(std::uint32_t code) {
    switch (code) {
        case 0x0D000002: return 0;
        case 0x0D000009: return 1;
        case 0x0D00000A: return 2;
        case 0x0D00000B: return 3;
        default: return -1;
    }
}

std::int32_t TimeSignatureCode(std::uint8_t numerator, std::uint8_t denominatorPower) {
    if (numerator == 1 && denominatorPower == 1) return 2;
    if (numerator == 4 && denominatorPower == 2) return 4;
    if (numerator == 3 && denominatorPower == 2) return 3;
    if (numerator == 6 && denominatorPower == 3) return 6;
    return 0;
}

// Skips a variable-length number as the reader does; returns its value.
std::int64_t SkipVarLen(const std::uint8_t* bytes, std::int64_t size, std::int64_t& at) {
    constexpr std::int64_t kBeyondAnyChunk = std::int64_t{1} << 32;  // and far from overflowing
    std::int64_t value = 0;
    for (; at < size; ++at) {
        value = std::min(kBeyondAnyChunk, (value << 7) | (bytes[at] & 0x7F));
        if ((bytes[at] & 0x80) == 0) return ++at, value;
    }
    return value;
}

// The number of events in a chunk, walking it as the reader will, but only
// by the events' sizes. Always moves on, so it ends.
std::int64_t CountEvents(const std::uint8_t* bytes, std::int64_t size, std::int32_t runningStatus) {
    std::int64_t count = 0;
    std::int64_t at = 8;
    while (at < size) {
        ++count;
        SkipVarLen(bytes, size, at);
        if (at >= size) break;
        std::int32_t status = bytes[at];
        if (status >= 0x80) {
            ++at;
        } else {
            status = runningStatus;
        }
        switch (status & 0xF0) {
            case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: at += 2; break;
            case 0xC0: case 0xD0: at += 1; break;
            default:
                if (status == 0xF0) {
                    while (at < size && bytes[at] != 0xF7) ++at;
                    ++at;
                } else if (status == 0xF7) {
                    at += at < size ? 1 + bytes[at] : 0;
                } else if (status == 0xFF) {
                    ++at;
                    at += SkipVarLen(bytes, size, at);
                } else if (bytes[at - 1] < 0x80) {
                    ++at;  // a data byte with no status: the reader skips it
                }
                break;
        }
        if (status >= 0x80 && status != 0xFF) runningStatus = status;
    }
    return count;
}

}  // namespace

void MidiTrackData::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiTrackData, code); }

void MidiTrackData::ReportTrackWarning(std::uint32_t code) {
    if (code == 0) {
        std::fill(std::begin(g_warned), std::end(g_warned), false);
        return;
    }
    const int slot = WarningSlot(code);
    if (slot >= 0) {
        if (g_warned[slot]) return;
        g_warned[slot] = true;
    }
    ShowTrackWarning(code);
}

void MidiTrackData::ResetRunningStatus() {
    g_currentStatus = 0;
    g_lastStatus = 0;
}

void MidiTrackData::ResetReaderState() {
    ResetRunningStatus();
    ReportTrackWarning(0);
}

MidiTrackData::MidiTrackData(std::int32_t imageSize, std::int32_t offset, const std::uint8_t* image) {
    ReportTrackWarning(0);
    auto imageByte = [&](std::int64_t i) -> std::uint8_t {
        return i >= 0 && i < imageSize ? image[i] : 0;
    };
    const std::int64_t start = offset;
    if (imageByte(start) != 'M' || imageByte(start + 1) != 'T' || imageByte(start + 2) != 'r' ||
        imageByte(start + 3) != 'k') {
        ReportError(kTrackNoChunk);
        return;
    }
    const std::uint32_t length = (std::uint32_t{imageByte(start + 4)} << 24) |
                                 (std::uint32_t{imageByte(start + 5)} << 16) |
                                 (std::uint32_t{imageByte(start + 6)} << 8) | imageByte(start + 7);
    const std::int64_t chunkSize = std::int64_t{length} + 8;
    // A chunk must lie inside the image it comes from and fit the track's own image.
    if (start + chunkSize > imageSize || chunkSize > kImageCapacity) {
        size = 0;
        ReportError(kTrackInternalError);
        return;
    }
    std::uint8_t* bytes = MutableBytes(static_cast<std::int32_t>(chunkSize));
    if (bytes == nullptr) return;
    std::memcpy(bytes, image + start, static_cast<std::size_t>(chunkSize));
    size = static_cast<std::int32_t>(chunkSize);
    state = kStateImage;
    cursor = 8;
    // Room for the events the chunk holds, counted ahead: memory a fresh
    // process touches is costly, and room for every event being as short as
    // can be would often be twice what a real file needs. The count is exact
    // for sound chunks; should it fall short, the list grows as lists do.
    events.reserve(static_cast<std::size_t>(
        std::min<std::int64_t>(kTrackCapacity, CountEvents(bytes, size, g_lastStatus) + 1)));
    while (cursor < size) {
        // A full list ends the reading: what was read stays, the rest is dropped once, with a report.
        if (ListFull()) {
            ReportError(kTrackTooMuchData);
            break;
        }
        ParseNextEvent();
    }
    state = kStateEventForm;
}

MidiTrackData::MidiTrackData(const MidiTrackData& other) : ByteImage() {
    if (other.state != kStateNoteForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // A copy is made to be brought to event form, which adds a note-off for
    // each note, and perhaps reversed, which holds 16 placeholders for a
    // moment: room for them now spares moving the whole list later.
    const auto notes = static_cast<std::size_t>(std::count_if(
        other.events.begin(), other.events.end(), [](const MusicEvent& e) { return e.type == kTypeNote; }));
    events.reserve(other.events.size() + notes + 16);
    events.assign(other.events.begin(), other.events.end());
    state = kStateNoteForm;
}

void MidiTrackData::ParseNextEvent() {
    if (ReadShortChannelEvent()) return;
    std::int64_t position = cursor;
    const std::uint32_t delta = ReadVarLen(position);
    cursor = static_cast<std::int32_t>(std::min<std::int64_t>(position, size));
    MusicEvent event(static_cast<std::int32_t>(delta));
    ParseMessage(event);
    events.push_back(std::move(event));
}

std::uint32_t MidiTrackData::ReadVarLen(std::int64_t& position) const {
    std::uint32_t value = 0;
    while ((ChunkByte(position) & 0x80) != 0) {
        value = (value + ChunkByte(position) - 0x80) << 7;
        ++position;
        if (position >= size - 1) {
            ReportError(kTrackInternalError);
            break;
        }
    }
    value += ChunkByte(position);
    ++position;
    return value;
}

void MidiTrackData::ParseMessage(MusicEvent& event) {
    if (cursor >= size) {
        ReportError(kTrackInternalError);
        return;
    }
    const std::int64_t start = cursor;
    g_currentStatus = ChunkByte(start);
    std::int64_t covered = DecodeMessage(event, g_currentStatus, start + 1);
    std::int64_t end = start + covered;
    if (covered == 0) {
        // Running status: the byte here is the first data byte, and the
        // status counts as if it stood one byte earlier.
        g_currentStatus = g_lastStatus;
        covered = DecodeMessage(event, g_currentStatus, start);
        end = start - 1 + covered;
        if (covered == 0) {
            ReportError(kTrackUndefinedEvent);
            end = start + 1;  // skip the byte, so reading always comes to an end
        }
    }
    if (end > size) {
        ReportError(kTrackInternalError);  // the message runs past the chunk: cut at its end
        end = size;
    }
    if (event.length >= kEventDataBlock) ReportTrackWarning(kTrackOversizedEvent);
    cursor = static_cast<std::int32_t>(end);
    if (g_currentStatus != 0xFF) g_lastStatus = g_currentStatus;
}

// Nearly every event of a file is a delta of a few bytes and a channel
// message, far from the chunk's end. Those are read here straight from the
// bytes, with the result the general reading gives them (which checks each
// byte against the end); anything else is left to it.
bool MidiTrackData::ReadShortChannelEvent() {
    if (std::int64_t{cursor} + 8 > size) return false;  // the last bytes: the general reading
    const std::uint8_t* bytes = Bytes() + cursor;
    std::uint32_t delta = 0;
    std::int32_t used = 0;
    for (;;) {
        const std::uint8_t byte = bytes[used++];
        if ((byte & 0x80) == 0) {
            delta += byte;
            break;
        }
        if (used == 4) return false;
        delta = (delta + byte - 0x80) << 7;
    }
    std::int32_t status = bytes[used];
    std::int32_t dataAt = used + 1;
    if (status < 0x80) {  // running status
        status = g_lastStatus;
        dataAt = used;
    }
    if (status < 0x80 || status >= 0xF0) return false;
    MusicEvent& event = events.emplace_back(static_cast<std::int32_t>(delta));
    const std::int32_t covered = DecodeChannelMessage(event, status, bytes[dataAt], bytes[dataAt + 1]);
    cursor += dataAt - 1 + covered;
    g_currentStatus = status;
    g_lastStatus = status;
    return true;
}

std::int32_t MidiTrackData::DecodeChannelMessage(MusicEvent& event, std::int32_t status, std::int32_t d1,
                                                 std::int32_t d2) const {
    const std::int32_t channel = status & 0x0F;
    switch (status & 0xF0) {
        case 0x90:
            event.type = d2 > 0 ? kTypeNoteOn : kTypeNoteOff;
            event.channel = channel;
            event.key = d1;
            event.velocity = d2;
            event.length = 3;
            return 3;
        case 0x80:
            event.type = kTypeNoteOff;
            event.channel = channel;
            event.key = d1;
            event.velocity = d2;
            event.length = 3;
            return 3;
        case 0xA0:  // the pressure values are not kept
            event.type = kTypeKeyPressure;
            event.length = 3;
            return 3;
        case 0xB0:
            event.type = kTypeControl;
            event.channel = channel;
            event.subtype = d1;
            event.value = d2;
            event.length = 3;
            return 3;
        case 0xC0:
            event.type = kTypeProgram;
            event.channel = channel;
            event.value = d1;
            event.length = 2;
            if (d1 >= 0x80) ReportError(kTrackInternalError);
            return 2;
        case 0xD0:
            event.type = kTypeChannelPressure;
            event.length = 2;
            return 2;
        case 0xE0:
            event.type = kTypePitchBend;
            event.channel = channel;
            event.key = d1;
            event.value = d2;
            event.length = 3;
            return 3;
        default:
            return 0;
    }
}

std::int64_t MidiTrackData::DecodeMessage(MusicEvent& event, std::int32_t status, std::int64_t dataStart) const {
    if (const std::int32_t covered = DecodeChannelMessage(event, status, ChunkByte(dataStart), ChunkByte(dataStart + 1));
        covered > 0) {
        return covered;
    }
    switch (status) {
        case 0xF0: return DecodeSysEx(event, dataStart);
        case 0xF7: return DecodeEscape(event, dataStart);
        case 0xFF: return DecodeMeta(event, dataStart);
        default: return 0;
    }
}

std::int64_t MidiTrackData::DecodeSysEx(MusicEvent& event, std::int64_t dataStart) const {
    // Everything from F0 through the next F7, the size bytes included, as it
    // stands in the chunk; without an F7 the message runs to the chunk's end.
    std::int64_t end = dataStart;
    while (end < size && ChunkByte(end) != 0xF7) ++end;
    if (end >= size) {
        ReportError(kTrackInternalError);
    } else {
        ++end;  // keep the F7
    }
    event.type = kTypeSysEx;
    event.data.clear();
    event.data.push_back(0xF0);
    for (std::int64_t i = dataStart; i < end; ++i) event.data.push_back(ChunkByte(i));
    event.length = static_cast<std::int32_t>(event.data.size());
    ClassifySysEx(event);
    return 1 + (end - dataStart);
}

std::int64_t MidiTrackData::DecodeEscape(MusicEvent& event, std::int64_t dataStart) const {
    const std::int64_t declared = std::int64_t{ChunkByte(dataStart)} + 2;
    std::int64_t covered = declared;
    if (dataStart - 1 + declared > size) {
        ReportError(kTrackInternalError);
        covered = std::max<std::int64_t>(1, size - (dataStart - 1));
    }
    event.type = kTypeEscape;
    event.data.clear();
    event.data.push_back(0xF7);
    for (std::int64_t i = dataStart; i < dataStart - 1 + covered; ++i) event.data.push_back(ChunkByte(i));
    event.length = static_cast<std::int32_t>(covered);
    return covered;
}

void MidiTrackData::ClassifySysEx(MusicEvent& event) {
    // A GS "use for rhythm part" message with a one-byte size names the channel it makes a drum channel.
    static constexpr std::uint8_t kRhythmPart[] = {0x41, 0x10, 0x42, 0x12, 0x40};
    for (int i = 0; i < 5; ++i) {
        if (event.DataByte(2 + i) != kRhythmPart[i]) return;
    }
    const std::int32_t part = event.DataByte(7);
    if (part < 0x11 || part > 0x1F || event.DataByte(8) != 0x15) return;
    event.channel = part <= 0x19 ? part - 0x11 : part - 0x10;
}

std::int64_t MidiTrackData::DecodeMeta(MusicEvent& event, std::int64_t dataStart) const {
    event.type = kTypeMeta;
    event.subtype = ChunkByte(dataStart);
    switch (event.subtype) {
        case 0x00:
        case 0x20:
        case kMetaEndOfTrack:
        case kMetaTempo:
        case 0x54:
        case kMetaTimeSignature:
        case 0x59:
            return DecodeFixedMeta(event, dataStart);
        default:
            break;
    }
    const std::int64_t covered = DecodeTextMeta(event, dataStart);
    const bool kept = (event.subtype >= 0x01 && event.subtype <= 0x07) || event.subtype == 0x7F;
    if (!kept) event.type = kTypeMarked;
    return covered;
}

std::int64_t MidiTrackData::DecodeFixedMeta(MusicEvent& event, std::int64_t dataStart) const {
    // Standard sizes; the size byte in the chunk is not read, except as the
    // number of time-signature bytes to keep.
    const std::int64_t payload = dataStart + 2;
    switch (event.subtype) {
        case 0x00:
            event.length = 2;
            return 5;
        case 0x20:
            event.length = 1;
            return 4;
        case kMetaEndOfTrack:
            event.length = 0;
            return 3;
        case kMetaTempo: {
            event.length = 3;
            event.value = (std::int32_t{ChunkByte(payload)} << 16) | (std::int32_t{ChunkByte(payload + 1)} << 8) |
                          ChunkByte(payload + 2);
            if (event.value == 0) {
                ReportError(kTrackBadTempo);
                event.value = 480;
            }
            return 6;
        }
        case 0x54:
            event.length = 5;
            return 8;
        case kMetaTimeSignature: {
            event.length = 4;
            const std::int64_t wanted = ChunkByte(dataStart + 1);
            const std::int64_t available = std::max<std::int64_t>(0, size - payload);
            event.data.clear();
            for (std::int64_t i = 0; i < std::min(wanted, available); ++i) event.data.push_back(ChunkByte(payload + i));
            event.value = TimeSignatureCode(ChunkByte(payload), ChunkByte(payload + 1));
            return 7;
        }
        default:  // 0x59 key signature
            event.length = 2;
            event.data = {ChunkByte(payload), ChunkByte(payload + 1)};
            return 5;
    }
}

std::int64_t MidiTrackData::DecodeTextMeta(MusicEvent& event, std::int64_t dataStart) const {
    std::int64_t position = dataStart + 1;
    const bool sizeMissing = position >= size;  // the chunk ends right after the meta type
    const std::int64_t declared = ReadVarLen(position);
    position = std::min<std::int64_t>(position, size);
    std::int64_t payload = declared;
    if (sizeMissing || position + declared > size) {
        ReportError(kTrackInternalError);  // the text runs past the chunk: keep what is there
        payload = std::max<std::int64_t>(0, size - position);
    }
    event.data.clear();
    event.data.reserve(static_cast<std::size_t>(payload) + 1);
    for (std::int64_t i = 0; i < payload; ++i) event.data.push_back(ChunkByte(position + i));
    event.data.push_back(0);
    event.length = static_cast<std::int32_t>(payload);
    return position + payload - (dataStart - 1);
}

bool MidiTrackData::Append(MusicEvent event) {
    if (ListFull()) {
        ReportError(kTrackTooMuchData);
        return false;
    }
    events.push_back(std::move(event));
    return true;
}

void MidiTrackData::AppendEndOfTrack(std::int32_t delta) {
    if (!events.empty() && events.back().IsEndOfTrack()) return;
    Append(EndOfTrack(delta));
}

MusicEvent MidiTrackData::EndOfTrack(std::int32_t delta) {
    MusicEvent end(delta);
    end.type = kTypeMeta;
    end.subtype = kMetaEndOfTrack;
    end.data = {0xFF, 0x2F, 0x00};
    end.length = 3;
    return end;
}

void MidiTrackData::AddDeltaToNext(std::int32_t index) {
    if (index + 1 < count()) {
        MusicEvent& next = events[static_cast<std::size_t>(index) + 1];
        next.delta = static_cast<std::int32_t>(std::int64_t{next.delta} + events[static_cast<std::size_t>(index)].delta);
    }
}

std::int32_t MidiTrackData::RemoveAt(std::int32_t index) {
    if (!InRange(index)) {
        ReportError(kTrackInternalError);
        return count();
    }
    AddDeltaToNext(index);
    events.erase(events.begin() + index);
    return count();
}

void MidiTrackData::KeepLastEndOfTrack() {
    // Every End of Track but the last event goes, passing its delta on to the
    // event after it at the moment it goes; the others close up behind.
    const std::size_t n = events.size();
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k + 1 < n && events[k].IsEndOfTrack()) {
            MusicEvent& next = events[k + 1];
            next.delta = static_cast<std::int32_t>(std::int64_t{next.delta} + events[k].delta);
            MusicEvent gone = std::move(events[k]);  // destroyed now, as the removal did
            continue;
        }
        if (kept != k) events[kept] = std::move(events[k]);
        ++kept;
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(kept), events.end());
}

void MidiTrackData::InsertEvent(std::int32_t index, std::int32_t mode, MusicEvent event) {
    const std::int32_t at = mode == 2 ? index : index + 1;
    if (at < 0 || at > count()) {
        ReportError(kTrackInternalError);
        return;
    }
    // No capacity check: the program-change shift holds up to 16 placeholders
    // past a full list for a moment and removes them before it returns.
    events.insert(events.begin() + at, std::move(event));
}

}  // namespace solvane
