#include "platform/MidiBytes.h"

#include <unistd.h>

#include <cstdio>

namespace solvane {

std::size_t ShortMessageLength(std::uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xC0) return 3;  // note off/on, key pressure, control change
    if (status < 0xE0) return 2;  // program change, channel pressure
    if (status < 0xF0) return 3;  // pitch bend
    switch (status) {
    case 0xF0:
    case 0xF7:
        return 0;
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
        return 2;
    case 0xF2:  // song position
        return 3;
    default:  // tune request, real-time messages, undefined ones
        return 1;
    }
}

ShortMessageBytes UnpackShortMessage(std::uint32_t packed) {
    ShortMessageBytes message;
    message.bytes = {static_cast<std::uint8_t>(packed & 0xFFu),
                     static_cast<std::uint8_t>((packed >> 8) & 0xFFu),
                     static_cast<std::uint8_t>((packed >> 16) & 0xFFu)};
    message.length = ShortMessageLength(message.bytes[0]);
    return message;
}

std::array<std::uint32_t, kSilencingCount> SilencingMessages() {
    constexpr std::array<std::uint32_t, 3> kControllers = {64, 123, 121};
    std::array<std::uint32_t, kSilencingCount> messages{};
    std::size_t next = 0;
    for (std::uint32_t channel = 0; channel < 16; ++channel) {
        for (std::uint32_t controller : kControllers) {
            messages[next++] = (0xB0u | channel) | (controller << 8);
        }
    }
    return messages;
}

void TerminalBeep() {
    if (isatty(STDERR_FILENO) == 1) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}

}  // namespace solvane
