#include "platform/FluidSynthOut.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/FluidSynthEngine.h"
#include "platform/MidiBytes.h"

namespace solvane {
namespace {

constexpr std::array<const char*, 2> kSoundFonts = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
};

// Desktop sound servers first; bare ALSA when there is none; JACK last, as
// it is only there when someone runs a JACK server on purpose.
constexpr std::array<const char*, 4> kAudioDrivers = {"pipewire", "pulseaudio", "alsa", "jack"};

struct AudioDriverDeleter {
    void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};

class FluidSynthHandle : public MidiOutHandle {
public:
    FluidSynthHandle(std::unique_ptr<FluidSynthEngine> engine,
                     std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> driver)
        : engine_(std::move(engine)), driver_(std::move(driver)) {}

    bool ShortMessage(std::uint32_t packed) override { return engine_ && engine_->ShortMessage(packed); }

    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        return engine_ ? engine_->LongMessage(bytes, length) : LongResult::kNotSent;
    }

    bool Reset() override { return engine_ && engine_->Silence(); }

    bool Close() override {
        if (!engine_) return false;
        driver_.reset();  // stops the audio thread before the synthesizer goes
        engine_.reset();
        return true;
    }

private:
    std::unique_ptr<FluidSynthEngine> engine_;
    std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> driver_;  // after engine_: goes first
};

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> OpenAudio(FluidSynthEngine& engine) {
    for (const char* name : kAudioDrivers) {
        const std::string_view driverName = name;
        // Never let a JACK client start a server of its own.
        if (driverName == "jack") setenv("JACK_NO_START_SERVER", "1", 0);
        if (fluid_settings_setstr(engine.settings(), "audio.driver", name) != FLUID_OK) continue;
        // alsa-lib prints every step of a failed search for a sound card,
        // which is just the answer "no" here.
        if (driverName == "alsa") snd_lib_error_set_handler(IgnoreAlsaError);
        std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> driver(
            new_fluid_audio_driver(engine.settings(), engine.synth()));
        if (driverName == "alsa") snd_lib_error_set_handler(nullptr);
        if (driver) return driver;
    }
    return nullptr;
}

}  // namespace

FluidSynthOut::FluidSynthOut() : FluidSynthOut(FindSoundFont()) {}

FluidSynthOut::FluidSynthOut(std::string soundFont) : soundFont_(std::move(soundFont)) {}

std::string FluidSynthOut::FindSoundFont() {
    for (const char* path : kSoundFonts) {
        if (access(path, R_OK) == 0) return path;
    }
    return {};
}

int FluidSynthOut::DeviceCount() {
    return !soundFont_.empty() && access(soundFont_.c_str(), R_OK) == 0 ? 1 : 0;
}

std::unique_ptr<MidiOutHandle> FluidSynthOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    std::unique_ptr<FluidSynthEngine> engine = FluidSynthEngine::Create(soundFont_);
    if (!engine) return nullptr;
    auto driver = OpenAudio(*engine);
    if (!driver) return nullptr;
    return std::make_unique<FluidSynthHandle>(std::move(engine), std::move(driver));
}

void FluidSynthOut::Beep(std::uint32_t, std::uint32_t) { TerminalBeep(); }

}  // namespace solvane
