#pragma once
// The fixed message tables of every module and the one path by which a report
// reaches the installed MessageSink. Reporting never throws and never changes
// the reporting object; the caller decides what happens next.

#include <cstdint>
#include <string_view>

namespace solvane {

enum class Module {
    kGeneral,
    kMidiF1Data,
    kMidiF0Data,
    kMusicEvent,
    kMidiControler,
    kMidiPlayer,
    kMusicPlayer,
    kMidiTrackData,
    kMidiFileLoader,
};

std::string_view ModuleName(Module module);

// The module's text for code, or its fallback ("<module>でエラーが発生しました。")
// for any code the module does not list, 0 included.
std::string_view ErrorMessage(Module module, std::uint32_t code);

// The once-per-track warnings of the track reader have texts of their own.
std::string_view TrackWarningMessage(std::uint32_t code);

// Shows a warning of the track reader (module MidiTrackData) with its own text.
void ShowTrackWarning(std::uint32_t code);

// Looks the code up and shows it; returns when the report was acknowledged.
void ReportModuleError(Module module, std::uint32_t code);

// How many reports ReportModuleError has shown in this process (the track
// reader's once-per-track warnings are not among them). A caller that
// compares the count before and after an operation knows whether the
// operation met an error, and so whether its result may lack content.
std::uint64_t ErrorsReported();

}  // namespace solvane
