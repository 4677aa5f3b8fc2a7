#include "playback/MidiControler.h"

#include <vector>

#include "support/Messages.h"

namespace solvane {
namespace {

// General MIDI System On, stored as a track stores an exclusive event.
constexpr std::uint8_t kGmSystemOn[] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

std::uint32_t Byte(std::uint32_t value) { return value & 0xFF; }

// The bytes to put on the wire for an exclusive event as a track holds it.
std::vector<std::uint8_t> WireBytes(std::uint32_t length, const std::uint8_t* bytes) {
    std::vector<std::uint8_t> wire;
    if (length == 0 || bytes == nullptr) return wire;
    wire.reserve(length);  // never more than the event's bytes
    if (bytes[0] == 0xF0 || bytes[0] == 0xF7) {
        // F0 or F7, the size as a variable-length quantity, then the bytes.
        // The size is dropped; an escape carries bytes to be sent as they
        // are, so its F7 goes too.
        std::uint32_t at = 1;
        while (at < length && at < 5 && (bytes[at] & 0x80) != 0) ++at;
        ++at;
        if (at > length) at = length;
        if (bytes[0] == 0xF0) wire.push_back(0xF0);
        for (std::uint32_t i = at; i < length; ++i) wire.push_back(bytes[i]);
        return wire;
    }
    for (std::uint32_t i = 0; i < length; ++i) wire.push_back(bytes[i]);
    return wire;
}

}  // namespace

std::atomic<bool> MidiControler::reportNoDevice{true};

void MidiControler::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiControler, code); }

MidiControler::MidiControler(std::int32_t deviceId, MidiOutDevice* device) : device_(device) { Open(deviceId); }

void MidiControler::Open(std::int32_t deviceId) {
    MidiOutDevice* device = Device();
    if (device == nullptr || device->DeviceCount() == 0) {
        handle.reset();
        if (reportNoDevice.exchange(false)) ReportError(kControlerOpenFailed);
        return;
    }
    handle = device->Open(deviceId);
    if (!handle) ReportError(kControlerOpenFailed);
}

void MidiControler::Close() {
    if (!handle) return;
    if (!handle->Reset()) ReportError(kControlerCloseFailed);
    if (!handle->Close()) ReportError(kControlerCloseFailed);
}

void MidiControler::NoteOn(std::uint32_t key, std::uint32_t velocity, std::uint32_t channel) {
    if (handle) handle->ShortMessage(Byte(velocity) * 65536 + Byte(key) * 256 + Byte(0x90 + channel));
}

void MidiControler::NoteOff(std::uint32_t key, std::uint32_t channel) {
    if (handle) handle->ShortMessage(Byte(key) * 256 + Byte(0x80 + channel));
}

void MidiControler::ProgramChange(std::uint32_t program, std::uint32_t channel) {
    if (!handle) return;
    if (!handle->ShortMessage(Byte(program) * 256 + Byte(0xC0 + channel))) ReportError(kControlerProgramFailed);
}

void MidiControler::SendShort(std::uint32_t second, std::uint32_t first, std::uint32_t status) {
    if (handle) handle->ShortMessage(Byte(second) * 65536 + Byte(first) * 256 + Byte(status));
}

void MidiControler::SendGmSystemOn() { SendExclusive(sizeof kGmSystemOn, kGmSystemOn); }

void MidiControler::SendExclusive(std::uint32_t length, const std::uint8_t* bytes) {
    if (!handle) return;
    const std::vector<std::uint8_t> wire = WireBytes(length, bytes);
    if (wire.empty()) return;
    switch (handle->LongMessage(wire.data(), wire.size())) {
        case MidiOutHandle::LongResult::kSent:
            break;
        case MidiOutHandle::LongResult::kNotSent:
            if (MidiOutDevice* device = Device()) device->Beep(1000, 1000);
            break;
        case MidiOutHandle::LongResult::kNotReleased:
            ReportError(kControlerExclusiveFailed);
            break;
    }
}

}  // namespace solvane
