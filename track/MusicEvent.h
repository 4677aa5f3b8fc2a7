#pragma once
// One event of a track: note, controller, program, bend, exclusive or meta,
// with its delta time in ticks since the previous event of its list. The
// record owns its data bytes. A record whose data length exceeds 256 bytes is
// reported when it is destroyed, so the user learns of every such copy.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "track/EventBytes.h"

namespace solvane {

inline constexpr std::uint32_t kEventDataTooLarge = 0x06000001;

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

class MusicEvent {
public:
    explicit MusicEvent(std::int32_t delta = 0) : delta(delta) {}
    // Copies every field and the first length bytes of data.
    MusicEvent(const MusicEvent& other)
        : type(other.type),
          delta(other.delta),
          key(other.key),
          duration(other.duration),
          velocity(other.velocity),
          subtype(other.subtype),
          value(other.value),
          length(other.length),
          channel(other.channel) {
        if (!other.data.empty() && other.length > 0) {
            const auto kept = std::min(other.data.size(), static_cast<std::size_t>(other.length));
            data.assign(other.data.begin(), other.data.begin() + static_cast<std::ptrdiff_t>(kept));
        }
    }
    MusicEvent& operator=(const MusicEvent& other);
    // A moved-from record holds no data and reports nothing when destroyed.
    MusicEvent(MusicEvent&& other) noexcept
        : type(other.type),
          delta(other.delta),
          key(other.key),
          duration(other.duration),
          velocity(other.velocity),
          subtype(other.subtype),
          value(other.value),
          length(std::exchange(other.length, 0)),
          data(std::move(other.data)),
          channel(other.channel) {
        other.data.clear();
    }
    MusicEvent& operator=(MusicEvent&& other) noexcept {
        if (this != &other) {
            if (length > kEventDataBlock) ReportError(kEventDataTooLarge);  // this record's data goes away
            type = other.type;
            delta = other.delta;
            key = other.key;
            duration = other.duration;
            velocity = other.velocity;
            subtype = other.subtype;
            value = other.value;
            length = std::exchange(other.length, 0);
            data = std::move(other.data);
            other.data.clear();
            channel = other.channel;
        }
        return *this;
    }
    ~MusicEvent() {
        if (length > kEventDataBlock) ReportError(kEventDataTooLarge);
    }
    // Two records trade every field and their data; nothing is destroyed,
    // so nothing is reported (as with three moves, only cheaper).
    void Swap(MusicEvent& other) noexcept {
        std::swap(type, other.type);
        std::swap(delta, other.delta);
        std::swap(key, other.key);
        std::swap(duration, other.duration);
        std::swap(velocity, other.velocity);
        std::swap(subtype, other.subtype);
        std::swap(value, other.value);
        std::swap(length, other.length);
        data.swap(other.data);
        std::swap(channel, other.channel);
    }
    friend void swap(MusicEvent& a, MusicEvent& b) noexcept { a.Swap(b); }

    bool IsEndOfTrack() const { return type == kTypeMeta && subtype == kMetaEndOfTrack; }
    // Byte i of the data block; bytes never written read as zero.
    std::uint8_t DataByte(std::int64_t i) const {
        return i >= 0 && i < static_cast<std::int64_t>(data.size()) ? data[static_cast<std::size_t>(i)] : 0;
    }

    void ReportError(std::uint32_t code) const;

    std::int32_t type = kTypeMarked;
    std::int32_t delta = 0;
    std::int32_t key = 0;
    std::int32_t duration = 0;
    std::int32_t velocity = 0;
    std::int32_t subtype = 0;
    std::int32_t value = 0;
    std::int32_t length = 0;
    EventBytes data;  // only the bytes written; the rest of the block is zero
    std::int32_t channel = kNoChannel;
};

// Lists hold records by value and every pass walks them whole.
static_assert(sizeof(MusicEvent) <= 48, "keep the record small");

}  // namespace solvane
