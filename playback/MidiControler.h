#pragma once
// The one door to the MIDI output: owns one open output for the length of one
// play, sends channel messages packed as short messages and exclusive
// messages as long ones, and resets and closes the output when released.
// Created and released on the play's worker thread; sends also come from the
// timer thread, never two threads at once.

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/MidiOutDevice.h"
#include "support/ReportCodes.h"

namespace solvane {

class MidiControler {
public:
    // device is the installed output unless one is given (a render's recorder).
    explicit MidiControler(std::int32_t deviceId, MidiOutDevice* device = nullptr);
    MidiControler(const MidiControler&) = delete;
    MidiControler& operator=(const MidiControler&) = delete;

    void Open(std::int32_t deviceId);
    // Resets (silences) and closes the output; nothing when none is open.
    void Close();

    void NoteOn(std::uint32_t key, std::uint32_t velocity, std::uint32_t channel);
    void NoteOff(std::uint32_t key, std::uint32_t channel);  // velocity 0 on the wire
    void ProgramChange(std::uint32_t program, std::uint32_t channel);
    void SendShort(std::uint32_t second, std::uint32_t first, std::uint32_t status);
    void SendGmSystemOn();
    // bytes as a track stores an exclusive event (F0, its size, the rest), or
    // anything else to be sent as it stands.
    void SendExclusive(std::uint32_t length, const std::uint8_t* bytes);

    void ReportError(std::uint32_t code) const;

    std::unique_ptr<MidiOutHandle> handle;

    // "No output at all" is reported once per run of the program.
    static std::atomic<bool> reportNoDevice;

private:
    MidiOutDevice* Device() const { return device_ != nullptr ? device_ : CurrentMidiOutDevice(); }

    MidiOutDevice* device_;
};

}  // namespace solvane
