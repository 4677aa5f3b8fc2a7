#pragma once
// Byte-level helpers shared by the MIDI output devices: how a packed short
// message unpacks, the messages that silence a device, and the beep.

#include <array>
#include <cstddef>
#include <cstdint>

namespace solvane {

struct ShortMessageBytes {
    std::array<std::uint8_t, 3> bytes{};
    std::size_t length = 0;  // 0: not a message that can go out on its own
};

// Bytes taken by a message with this status byte: 0 for a data byte and for
// F0/F7, which only travel as long messages.
std::size_t ShortMessageLength(std::uint8_t status);

// Status from bits 0-7, data bytes from 8-15 and 16-23, as many as the
// status implies.
ShortMessageBytes UnpackShortMessage(std::uint32_t packed);

// Per channel: sustain off, all notes off, reset all controllers. Sustain
// goes first, as held notes outlive an all-notes-off while the pedal is down.
inline constexpr std::size_t kSilencingCount = 48;
std::array<std::uint32_t, kSilencingCount> SilencingMessages();

// The last-resort signal: the terminal bell when stderr is a terminal,
// nothing otherwise (a bell byte in a log or pipe helps nobody). It never
// waits, as it may run on the timer thread in the middle of a play.
void TerminalBeep();

}  // namespace solvane
