#include "platform/FluidSynthEngine.h"

#include <fluidsynth.h>

#include <climits>
#include <mutex>
#include <vector>

#include "platform/MidiBytes.h"

namespace solvane {
namespace {

// FluidSynth reports on stderr by default; here a missing driver or preset
// is an expected outcome, answered through our own results.
void QuietFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
            fluid_set_log_function(level, nullptr, nullptr);
        }
    });
}

// FluidSynth's own default of 0.2 leaves a General MIDI soundfont some 30 dB
// below full scale; this still leaves room for a full ensemble.
constexpr double kGain = 0.5;

// At most ten seconds of releases to play out before a synthesizer is kept.
constexpr int kDrainBlock = 4096;
constexpr int kDrainBlocks = 10 * 44100 / kDrainBlock;

std::mutex g_keptMutex;
std::unique_ptr<FluidSynthEngine> g_kept;

}  // namespace

void FluidSynthEngine::SettingsDeleter::operator()(fluid_settings_t* settings) const {
    delete_fluid_settings(settings);
}

void FluidSynthEngine::SynthDeleter::operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }

FluidSynthEngine::~FluidSynthEngine() = default;

std::unique_ptr<FluidSynthEngine> FluidSynthEngine::Create(const std::string& soundFont) {
    QuietFluidSynth();
    // Checked first: handing FluidSynth a file of another kind makes its
    // loaders complain on stderr before they give up.
    if (soundFont.empty() || !fluid_is_soundfont(soundFont.c_str())) return nullptr;
    std::unique_ptr<FluidSynthEngine> engine(new FluidSynthEngine());
    engine->settings_.reset(new_fluid_settings());
    if (!engine->settings_) return nullptr;
    fluid_settings_setnum(engine->settings(), "synth.sample-rate", kSampleRate);
    fluid_settings_setnum(engine->settings(), "synth.gain", kGain);
    engine->synth_.reset(new_fluid_synth(engine->settings()));
    if (!engine->synth_) return nullptr;
    if (fluid_synth_sfload(engine->synth(), soundFont.c_str(), 1) == FLUID_FAILED) return nullptr;
    engine->soundFont_ = soundFont;
    return engine;
}

std::unique_ptr<FluidSynthEngine> FluidSynthEngine::Borrow(const std::string& soundFont) {
    std::unique_ptr<FluidSynthEngine> kept;
    {
        std::lock_guard lock(g_keptMutex);
        if (g_kept && g_kept->soundFont_ == soundFont) kept = std::move(g_kept);
    }
    // Another soundfont's synthesizer stays kept until one is given back:
    // a user switching back and forth does not pay twice.
    return kept ? std::move(kept) : Create(soundFont);
}

void FluidSynthEngine::GiveBack(std::unique_ptr<FluidSynthEngine> engine) {
    if (!engine) return;
    // Controllers, programs and the effects' buffers go, so the next user
    // starts as on a new synthesizer. A reset only sends the voices into a
    // quick release, which would sound at the start of the next play: they
    // are played out here, into nothing.
    fluid_synth_system_reset(engine->synth());
    std::vector<float> discard(2 * kDrainBlock);
    for (int block = 0; block < kDrainBlocks && fluid_synth_get_active_voice_count(engine->synth()) > 0; ++block) {
        fluid_synth_write_float(engine->synth(), kDrainBlock, discard.data(), 0, 2, discard.data(), 1, 2);
    }
    fluid_synth_system_reset(engine->synth());
    std::unique_ptr<FluidSynthEngine> dropped;
    std::lock_guard lock(g_keptMutex);
    dropped = std::move(g_kept);
    g_kept = std::move(engine);
}

bool FluidSynthEngine::IsSoundFont(const std::string& path) {
    QuietFluidSynth();
    return !path.empty() && fluid_is_soundfont(path.c_str()) != 0;
}

void FluidSynthEngine::DropKept() {
    std::unique_ptr<FluidSynthEngine> dropped;
    std::lock_guard lock(g_keptMutex);
    dropped = std::move(g_kept);
}

bool FluidSynthEngine::ShortMessage(std::uint32_t packed) {
    const ShortMessageBytes message = UnpackShortMessage(packed);
    if (message.length == 0) return false;
    const std::uint8_t status = message.bytes[0];
    const int channel = status & 0x0F;
    const int first = message.bytes[1] & 0x7F;
    const int second = message.bytes[2] & 0x7F;
    fluid_synth_t* synth = synth_.get();
    switch (status & 0xF0) {
    case 0x80:
        // A note-off for a note that no longer sounds is no failure of the device.
        fluid_synth_noteoff(synth, channel, first);
        return true;
    case 0x90:
        if (second == 0) {
            fluid_synth_noteoff(synth, channel, first);
            return true;
        }
        return fluid_synth_noteon(synth, channel, first, second) == FLUID_OK;
    case 0xA0:
        return fluid_synth_key_pressure(synth, channel, first, second) == FLUID_OK;
    case 0xB0:
        return fluid_synth_cc(synth, channel, first, second) == FLUID_OK;
    case 0xC0:
        // A preset missing from the soundfont is replaced by the synthesizer's
        // nearest one, as a sound module plays its closest voice.
        fluid_synth_program_change(synth, channel, first);
        return true;
    case 0xD0:
        return fluid_synth_channel_pressure(synth, channel, first) == FLUID_OK;
    case 0xE0:
        return fluid_synth_pitch_bend(synth, channel, first | (second << 7)) == FLUID_OK;
    default:
        if (status == 0xFF) return fluid_synth_system_reset(synth) == FLUID_OK;
        return true;
    }
}

MidiOutHandle::LongResult FluidSynthEngine::LongMessage(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length < 2 || bytes[0] != 0xF0) return MidiOutHandle::LongResult::kNotSent;
    std::size_t body = length - 1;
    if (bytes[length - 1] == 0xF7) --body;
    if (body > static_cast<std::size_t>(INT_MAX)) return MidiOutHandle::LongResult::kNotSent;
    const int result = fluid_synth_sysex(synth_.get(), reinterpret_cast<const char*>(bytes + 1),
                                         static_cast<int>(body), nullptr, nullptr, nullptr, 0);
    return result == FLUID_OK ? MidiOutHandle::LongResult::kSent : MidiOutHandle::LongResult::kNotSent;
}

bool FluidSynthEngine::Silence() {
    bool ok = true;
    for (std::uint32_t message : SilencingMessages()) ok = ShortMessage(message) && ok;
    return ok;
}

}  // namespace solvane
