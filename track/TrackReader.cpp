// Reading one "MTrk" chunk into event form: delta times, running status,
// channel, exclusive and meta events, with the reader's reports.
//
// This is where every list of the program begins, so the reader also makes
// the promises the later steps build on: no delta is negative and no track
// lasts longer than a delta can hold. A delta time that would carry the
// track past that (only a damaged file has one) is cut short, once reported.

#include <algorithm>
#include <cstring>

#include "support/Messages.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

// The running status is not per track: a track that starts with a data byte
// is read with the last status of the track before it in the same file.
std::int32_t g_currentStatus = 0;
std::int32_t g_lastStatus = 0;

// 1/2, 4/4, 3/4 and 6/8 (the denominator as a power of two) by their code; 0 for any other.
std::int32_t TimeSignatureCode(std::uint8_t numerator, std::uint8_t power) {
    const bool known = (numerator == 1 && power == 1) || (numerator == 4 && power == 2) ||
                       (numerator == 3 && power == 2) || (numerator == 6 && power == 3);
    return known ? (numerator == 1 ? 2 : numerator) : 0;
}

}  // namespace

void MidiTrackData::ResetRunningStatus() {
    g_currentStatus = 0;
    g_lastStatus = 0;
}

// The value as the file holds it, kept in 32 bits (higher bits fall away).
// Read for every event: inline here, where the reading is.
inline std::uint32_t MidiTrackData::ReadVarLen(std::int64_t& position) const {
    std::uint32_t value = 0;
    std::uint8_t byte = 0;
    while (((byte = ChunkByte(position)) & 0x80) != 0) {
        value = (value + byte - 0x80) << 7;
        ++position;
        if (position >= size - 1) {
            ReportError(kTrackInternalError);
            byte = ChunkByte(position);
            break;
        }
    }
    ++position;
    return value + byte;
}

MidiTrackData::MidiTrackData(std::int32_t imageSize, std::int32_t offset, const std::uint8_t* image) {
    ReportTrackWarning(0);
    auto imageByte = [&](std::int64_t i) -> std::uint8_t { return i >= 0 && i < imageSize ? image[i] : 0; };
    const std::int64_t start = offset;
    if (imageByte(start) != 'M' || imageByte(start + 1) != 'T' || imageByte(start + 2) != 'r' ||
        imageByte(start + 3) != 'k') {
        ReportError(kTrackNoChunk);
        return;
    }
    std::uint32_t length = 0;
    for (int i = 4; i < 8; ++i) length = (length << 8) | imageByte(start + i);
    const std::int64_t chunkSize = std::int64_t{length} + 8;
    // A chunk must lie inside the image it comes from and fit the track's own image.
    if (start + chunkSize > imageSize || chunkSize > kImageCapacity) {
        ReportError(kTrackInternalError);
        return;
    }
    std::uint8_t* bytes = MutableBytes(static_cast<std::int32_t>(chunkSize));
    if (bytes == nullptr) return;
    std::memcpy(bytes, image + start, static_cast<std::size_t>(chunkSize));
    size = static_cast<std::int32_t>(chunkSize);
    state = kStateImage;
    cursor = 8;
    // Nearly every event takes three bytes or more (a note-on or note-off
    // with running status), so this room is seldom outgrown; a track of
    // shorter ones (two bytes at least) grows its list once.
    events.reserve(static_cast<std::size_t>(std::min<std::int64_t>(kTrackCapacity, (chunkSize - 8) / 3 + 1)));
    std::int64_t time = 0;
    bool cut = false;
    while (cursor < size) {
        // A full list ends the reading: what was read stays, the rest is dropped once, with a report.
        if (ListFull()) {
            ReportError(kTrackTooMuchData);
            break;
        }
        MusicEvent& event = events.emplace_back();
        std::int64_t position = cursor;
        const std::int64_t read = ReadVarLen(position);
        event.delta = static_cast<std::int32_t>(std::min(read, kLongestTime - time));
        time += event.delta;
        if (event.delta < read && !cut) {
            cut = true;
            ReportError(kTrackInternalError);
        }
        cursor = static_cast<std::int32_t>(std::min<std::int64_t>(position, size));
        ParseMessage(event);
    }
    state = kStateEventForm;
}

void MidiTrackData::ParseMessage(MusicEvent& event) {
    if (cursor >= size) {
        ReportError(kTrackInternalError);
        return;
    }
    const std::int64_t start = cursor;
    // A status byte this reader decodes (a channel message, an exclusive or a
    // meta event) starts the message. Otherwise running status: the byte
    // here is the first data byte, and the last status counts as if it stood
    // one byte earlier.
    const std::int32_t first = ChunkByte(start);
    const bool ownStatus = first >= 0x80 && (first <= 0xF0 || first == 0xF7 || first == 0xFF);
    g_currentStatus = ownStatus ? first : g_lastStatus;
    const std::int64_t dataStart = ownStatus ? start + 1 : start;
    const std::int64_t covered = DecodeMessage(event, g_currentStatus, dataStart);
    std::int64_t end = dataStart - 1 + covered;
    if (covered == 0) {
        ReportError(kTrackUndefinedEvent);
        end = start + 1;  // skip the byte, so reading always comes to an end
    }
    if (end > size) {
        ReportError(kTrackInternalError);  // the message runs past the chunk: cut at its end
        end = size;
    }
    if (event.length >= kEventDataBlock) ReportTrackWarning(kTrackOversizedEvent);
    cursor = static_cast<std::int32_t>(end);
    if (g_currentStatus != 0xFF) g_lastStatus = g_currentStatus;
}

std::int64_t MidiTrackData::DecodeMessage(MusicEvent& event, std::int32_t status, std::int64_t dataStart) const {
    const std::int32_t channel = status & 0x0F;
    const std::int32_t d1 = ChunkByte(dataStart);
    const std::int32_t d2 = ChunkByte(dataStart + 1);
    auto channelEvent = [&](std::int32_t type, std::int32_t bytes) {
        event.type = type;
        event.channel = channel;
        event.length = bytes;
        return bytes;
    };
    switch (status & 0xF0) {
        case 0x90:
            if (d2 != 0) {
                event.key = d1;
                event.velocity = d2;
                return channelEvent(kTypeNoteOn, 3);
            }
            [[fallthrough]];  // a note-on of velocity 0 ends the note
        case 0x80:
            event.key = d1;
            event.velocity = d2;
            return channelEvent(kTypeNoteOff, 3);
        case 0xB0:
            event.subtype = d1;
            event.value = d2;
            return channelEvent(kTypeControl, 3);
        case 0xC0:
            event.value = d1;
            if (d1 >= 0x80) ReportError(kTrackInternalError);
            return channelEvent(kTypeProgram, 2);
        case 0xE0:
            event.key = d1;
            event.value = d2;
            return channelEvent(kTypePitchBend, 3);
        case 0xA0:  // the pressure values are not kept, nor their channel
        case 0xD0: {
            const std::int32_t bytes = channelEvent(status & 0xF0, (status & 0xF0) == 0xA0 ? 3 : 2);
            event.channel = kNoChannel;
            return bytes;
        }
        default:
            break;
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
    const std::uint8_t* bytes = Bytes();
    const std::int64_t from = std::min<std::int64_t>(dataStart, size);
    const auto* f7 = static_cast<const std::uint8_t*>(
        std::memchr(bytes + from, 0xF7, static_cast<std::size_t>(size - from)));
    std::int64_t end = f7 != nullptr ? f7 - bytes + 1 : size;  // keep the F7
    if (f7 == nullptr) ReportError(kTrackInternalError);
    event.type = kTypeSysEx;
    event.data.resize(static_cast<std::size_t>(1 + end - from));
    event.data[0] = 0xF0;
    std::memcpy(event.data.data() + 1, bytes + from, static_cast<std::size_t>(end - from));
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
    event.data.resize(static_cast<std::size_t>(covered));
    event.data[0] = 0xF7;
    for (std::int64_t i = 1; i < covered; ++i) event.data[static_cast<std::size_t>(i)] = ChunkByte(dataStart - 1 + i);
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
    // Fixed sizes, whatever the size byte says; it is read only as the
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
            return 3;
        case kMetaTempo:
            event.length = 3;
            event.value = (ChunkByte(payload) << 16) | (ChunkByte(payload + 1) << 8) | ChunkByte(payload + 2);
            if (event.value == 0) {
                ReportError(kTrackBadTempo);
                event.value = 480;
            }
            return 6;
        case 0x54:
            event.length = 5;
            return 8;
        case kMetaTimeSignature: {
            event.length = 4;
            const std::int64_t kept = std::min<std::int64_t>(ChunkByte(dataStart + 1), std::max<std::int64_t>(0, size - payload));
            event.data.resize(static_cast<std::size_t>(kept));
            for (std::int64_t i = 0; i < kept; ++i) event.data[static_cast<std::size_t>(i)] = ChunkByte(payload + i);
            event.value = TimeSignatureCode(ChunkByte(payload), ChunkByte(payload + 1));
            return 7;
        }
        case 0x59:  // key signature
            event.length = 2;
            event.data = {ChunkByte(payload), ChunkByte(payload + 1)};
            return 5;
        default:
            break;
    }
    // Text kinds and the sequencer's own data are kept; any other meta is
    // read the same way and then marked for removal.
    std::int64_t position = dataStart + 1;
    const bool sizeMissing = position >= size;  // the chunk ends right after the meta type
    const std::int64_t declared = ReadVarLen(position);
    position = std::min<std::int64_t>(position, size);
    std::int64_t kept = declared;
    if (sizeMissing || position + declared > size) {
        ReportError(kTrackInternalError);  // the text runs past the chunk: keep what is there
        kept = std::max<std::int64_t>(0, size - position);
    }
    // The bytes, and nothing behind them: whatever reads past a record's
    // length reads zero, as the bytes the file's text ends with.
    event.data.assign(Bytes() + position, Bytes() + position + kept);
    event.length = static_cast<std::int32_t>(kept);
    if ((event.subtype < 0x01 || event.subtype > 0x07) && event.subtype != 0x7F) event.type = kTypeMarked;
    return position + kept - (dataStart - 1);
}

}  // namespace solvane
