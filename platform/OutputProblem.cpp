#include "platform/OutputProblem.h"

namespace solvane {

std::string NoSequencerProblem() {
    return "there is no ALSA sequencer (/dev/snd/seq is missing: the snd-seq kernel module is not loaded, "
           "or this machine has no sound support), so no synthesizer port can be reached";
}

std::string NoSoundFontProblem() {
    return "the built-in synthesizer has no soundfont: none is chosen and no General MIDI soundfont is "
           "installed (install the package fluid-soundfont-gm, or choose a .sf2/.sf3 file)";
}

std::string UnreadableSoundFontProblem(const std::string& soundFont) {
    return "the built-in synthesizer cannot load the soundfont " + soundFont +
           " (missing, unreadable or not a .sf2/.sf3 soundfont)";
}

std::string NoAudioProblem() {
    return "the built-in synthesizer found no audio output: no PipeWire or PulseAudio server is reachable "
           "and ALSA has no sound card it can open (none, or another program holds it)";
}

std::string PortRefusedProblem(const std::string& port) {
    return "the MIDI port " + port + " did not accept the connection (it may have just gone away)";
}

}  // namespace solvane
