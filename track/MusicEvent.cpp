#include "track/MusicEvent.h"

#include <algorithm>
#include <utility>

#include "support/Messages.h"

namespace solvane {

MusicEvent::MusicEvent(const MusicEvent& other)
    : type(other.type),
      delta(other.delta),
      key(other.key),
      duration(other.duration),
      velocity(other.velocity),
      subtype(other.subtype),
      value(other.value),
      length(other.length),
      channel(other.channel) {
    const auto kept = std::min<std::size_t>(other.data.size(), static_cast<std::size_t>(std::max(other.length, 0)));
    data.assign(other.data.begin(), other.data.begin() + static_cast<std::ptrdiff_t>(kept));
}

MusicEvent& MusicEvent::operator=(const MusicEvent& other) {
    if (this != &other) {
        MusicEvent copy(other);
        *this = std::move(copy);
    }
    return *this;
}

MusicEvent::MusicEvent(MusicEvent&& other) noexcept
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

MusicEvent& MusicEvent::operator=(MusicEvent&& other) noexcept {
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

MusicEvent::~MusicEvent() {
    if (length > kEventDataBlock) ReportError(kEventDataTooLarge);
}

void MusicEvent::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMusicEvent, code); }

}  // namespace solvane
