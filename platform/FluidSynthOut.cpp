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
const std::vector<std::string> kAudioDrivers = {"pipewire", "pulseaudio", "alsa", "jack"};

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
        driver_.reset();  // stops the audio thread before the synthesizer goes back
        FluidSynthEngine::GiveBack(std::move(engine_));
        return true;
    }

private:
    std::unique_ptr<FluidSynthEngine> engine_;
    std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> driver_;  // after engine_: goes first
};

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> OpenAudio(FluidSynthEngine& engine,
                                                                    const std::vector<std::string>& drivers) {
    for (const std::string& driverName : drivers) {
        const char* name = driverName.c_str();
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

FluidSynthOut::FluidSynthOut(std::string soundFont) : FluidSynthOut(std::move(soundFont), kAudioDrivers) {}

FluidSynthOut::FluidSynthOut(std::string soundFont, std::vector<std::string> audioDrivers)
    : soundFont_(std::move(soundFont)), audioDrivers_(std::move(audioDrivers)) {}

std::string FluidSynthOut::FindSoundFont() {
    // Named by the user, it is used even when it cannot be read, so that
    // the failure tells of it rather than playing with another soundfont.
    if (const char* chosen = std::getenv("SOLVANE_SOUNDFONT"); chosen != nullptr && *chosen != '\0') return chosen;
    for (const char* path : kSoundFonts) {
        if (access(path, R_OK) == 0) return path;
    }
    return {};
}

int FluidSynthOut::DeviceCount() {
    if (soundFont_.empty()) {
        problem_.Set(NoSoundFontProblem());
        return 0;
    }
    if (access(soundFont_.c_str(), R_OK) != 0) {
        problem_.Set(UnreadableSoundFontProblem(soundFont_));
        return 0;
    }
    return 1;
}

std::unique_ptr<MidiOutHandle> FluidSynthOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    if (DeviceCount() == 0) return nullptr;
    std::unique_ptr<FluidSynthEngine> engine = FluidSynthEngine::Borrow(soundFont_);
    if (!engine) {
        problem_.Set(UnreadableSoundFontProblem(soundFont_));
        return nullptr;
    }
    auto driver = OpenAudio(*engine, audioDrivers_);
    if (!driver) {
        problem_.Set(NoAudioProblem());
        FluidSynthEngine::GiveBack(std::move(engine));
        return nullptr;
    }
    problem_.Set({});
    return std::make_unique<FluidSynthHandle>(std::move(engine), std::move(driver));
}

void FluidSynthOut::Beep(std::uint32_t, std::uint32_t) { TerminalBeep(); }

}  // namespace solvane
