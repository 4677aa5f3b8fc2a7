#pragma once
// One FluidSynth synthesizer with a soundfont loaded, and the translation of
// MIDI messages into its calls. Owned by one open output (the audio device or
// a file) or a render, which feeds it from one thread at a time. Loading a
// soundfont takes long (a General MIDI one is up to 150 MB), so the process
// keeps the last synthesizer a play gave back and lends it to the next.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/MidiOutDevice.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace solvane {

class FluidSynthEngine {
public:
    static constexpr int kSampleRate = 44100;

    // nullptr when the synthesizer cannot be made or the soundfont not loaded.
    static std::unique_ptr<FluidSynthEngine> Create(const std::string& soundFont);
    // The kept synthesizer when it has this soundfont and nobody has it, else
    // Create's. It comes as after a system reset: no voice, no controller or
    // program left (the effects' modulation goes on where it was).
    static std::unique_ptr<FluidSynthEngine> Borrow(const std::string& soundFont);
    // Keeps engine for the next Borrow, in place of the one kept before.
    static void GiveBack(std::unique_ptr<FluidSynthEngine> engine);
    // Whether path is a file FluidSynth takes for a soundfont (.sf2, .sf3).
    static bool IsSoundFont(const std::string& path);
    // Lets the kept synthesizer go (tests, and the end of the program).
    static void DropKept();
    ~FluidSynthEngine();
    FluidSynthEngine(const FluidSynthEngine&) = delete;
    FluidSynthEngine& operator=(const FluidSynthEngine&) = delete;

    // Channel messages become the synthesizer's calls; system messages other
    // than a system reset mean nothing to it and are accepted as they are.
    bool ShortMessage(std::uint32_t packed);
    // Only exclusive messages (F0 ...) can be played.
    MidiOutHandle::LongResult LongMessage(const std::uint8_t* bytes, std::size_t length);
    bool Silence();

    fluid_settings_t* settings() const { return settings_.get(); }
    fluid_synth_t* synth() const { return synth_.get(); }
    const std::string& soundFont() const { return soundFont_; }

private:
    struct SettingsDeleter {
        void operator()(fluid_settings_t* settings) const;
    };
    struct SynthDeleter {
        void operator()(fluid_synth_t* synth) const;
    };

    FluidSynthEngine() = default;

    std::string soundFont_;
    std::unique_ptr<fluid_settings_t, SettingsDeleter> settings_;
    std::unique_ptr<fluid_synth_t, SynthDeleter> synth_;  // after settings_: goes first
};

}  // namespace solvane
