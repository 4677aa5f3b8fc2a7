#include "platform/MidiOutDevice.h"

#include <atomic>

namespace solvane {
namespace {
std::atomic<MidiOutDevice*> g_device{nullptr};
}

void InstallMidiOutDevice(MidiOutDevice* device) { g_device.store(device); }
MidiOutDevice* CurrentMidiOutDevice() { return g_device.load(); }

}  // namespace solvane
