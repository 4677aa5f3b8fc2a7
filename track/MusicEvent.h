#pragma once
// One event of a track: note, controller, program, bend, exclusive or meta,
// with its delta time in ticks since the previous event of its list. The
// record owns its data bytes. A record whose data length exceeds 256 bytes is
// reported when it is destroyed, so the user learns of every such copy.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "support/ReportCodes.h"
#include "track/EventBytes.h"

namespace solvane {

// Data up to this length fits a record's own block.
inline constexpr std::int32_t kEventDataBlock = 256;

// Values of MusicEvent::type.
inline constexpr std::int32_t kTypeMarked = 0;  // to be removed
inline constexpr std::int32_t kTypeNote = 0x10;  // note form: one note with a duration
inline constexpr std::int32_t kTypeNoteOff = 0x80;
inline constexpr std::int32_t kTypeNoteOn = 0x90;
inline constexpr std::int32_t kTypeKeyPressure = 0xA0;
inline constexpr std::int32_t kTypeControl = 0xB0;
inline constexpr std::int32_t kTypeProgram = 0xC0;
inline constexpr std::int32_t kTypeChannelPressure = 0xD0;
inline constexpr std::int32_t kTypePitchBend = 0xE0;
inline constexpr std::int32_t kTypeSysEx = 0xF0;
inline constexpr std::int32_t kTypeEscape = 0xF7;
inline constexpr std::int32_t kTypeMeta = 0xFF;

inline constexpr std::int32_t kMetaEndOfTrack = 0x2F;
inline constexpr std::int32_t kMetaTempo = 0x51;
inline constexpr std::int32_t kMetaTimeSignature = 0x58;

inline constexpr std::int32_t kNoChannel = 255;

// The plain fields of a record, which copies, moves and swaps take whole.
// They are copied field by field: a copy of the whole struct is a memcpy
// call under AddressSanitizer (one range check per side), which the fuzz
// targets paid on every record copied, moved or swapped; field by field the
// compiler still copies them in a few wide moves.
struct EventFields {
    EventFields() = default;
    EventFields(const EventFields& other) { CopyFields(other); }
    EventFields& operator=(const EventFields& other) {
        CopyFields(other);
        return *this;
    }

    std::int32_t type = kTypeMarked;
    std::int32_t delta = 0;
    std::int32_t key = 0;
    std::int32_t duration = 0;
    std::int32_t velocity = 0;
    std::int32_t subtype = 0;
    std::int32_t value = 0;
    std::int32_t length = 0;
    std::int32_t channel = kNoChannel;

private:
    void CopyFields(const EventFields& other) {
        type = other.type;
        delta = other.delta;
        key = other.key;
        duration = other.duration;
        velocity = other.velocity;
        subtype = other.subtype;
        value = other.value;
        length = other.length;
        channel = other.channel;
    }
};
static_assert(sizeof(EventFields) == 9 * sizeof(std::int32_t), "a new field needs its line in CopyFields");

class MusicEvent : public EventFields {
public:
    explicit MusicEvent(std::int32_t delta = 0) { this->delta = delta; }
    // Copies every field and the first length bytes of data.
    MusicEvent(const MusicEvent& other) : EventFields(other) {
        const auto kept = std::min(other.data.size(), static_cast<std::size_t>(std::max(other.length, 0)));
        if (kept > 0) data.assign(other.data.begin(), other.data.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    MusicEvent& operator=(const MusicEvent& other);
    // A moved-from record holds no data and reports nothing when destroyed.
    MusicEvent(MusicEvent&& other) noexcept : EventFields(other), data(std::move(other.data)) { other.length = 0; }
    MusicEvent& operator=(MusicEvent&& other) noexcept {
        if (this != &other) {
            if (length > kEventDataBlock) ReportError(kEventDataTooLarge);  // this record's data goes away
            static_cast<EventFields&>(*this) = other;
            data = std::move(other.data);
            other.length = 0;
        }
        return *this;
    }
    ~MusicEvent() {
        if (length > kEventDataBlock) ReportError(kEventDataTooLarge);
    }
    // Two records trade every field and their data; nothing is destroyed,
    // so nothing is reported (as with three moves, only cheaper).
    void Swap(MusicEvent& other) noexcept {
        std::swap(static_cast<EventFields&>(*this), static_cast<EventFields&>(other));
        data.swap(other.data);
    }
    friend void swap(MusicEvent& a, MusicEvent& b) noexcept { a.Swap(b); }

    bool IsEndOfTrack() const { return type == kTypeMeta && subtype == kMetaEndOfTrack; }
    // Byte i of the data block; bytes never written read as zero.
    std::uint8_t DataByte(std::int64_t i) const {
        return i >= 0 && i < static_cast<std::int64_t>(data.size()) ? data[static_cast<std::size_t>(i)] : 0;
    }

    void ReportError(std::uint32_t code) const;

    EventBytes data;  // only the bytes written; the rest of the block is zero
};

// Lists hold records by value and every pass walks them whole.
static_assert(sizeof(MusicEvent) <= 48, "keep the record small");

}  // namespace solvane
