#include "messages/MessageLanguage.h"

#include <span>

#include "support/Messages.h"
#include "support/ReportCodes.h"

namespace solvane {
namespace {

struct Entry {
    std::uint32_t code;
    std::string_view text;
};

// Line for line the Japanese message: the same bare carriage returns.
constexpr std::string_view kTooManyTracks =
    "The number of tracks set in this file exceeds the largest number of tracks this software can handle (16)."
    "\r(The number of tracks really used may differ from the number set in the file.)"
    "\rProcessing goes on, but this may cause a serious error.";

constexpr Entry kGeneral[] = {
    {kGeneralDataTooLarge, "The data is too large."},
    {kGeneralOutOfMemory, "Out of memory."},
    {kGeneralCannotOpen, "The file could not be opened. Try giving the file list with absolute paths."},
    {kGeneralPerformance, "Performance has dropped. Quit the program and start it again."},
    {kGeneralNotFound, "The file was not found."},
};

constexpr Entry kMidiF1Data[] = {
    {kF1TooManyTracks, kTooManyTracks},
    {kF1NotFormat1, "This is not format 1."},
    {kF1InternalError, "An internal error occurred in MidiF1Data."},
    {kF1NoHeader, "This is not a MIDI file, or the file carries a MacBinary header."},
    {kF1CannotOpen, "The file could not be opened."},
    {kF1SeveralMasterVolumes, "The master volume is set more than once."},
    {kF1DrumProgramChange,
     "A program change is set on the drums. (Or a system exclusive message makes a channel other than 10 a drum "
     "channel.)"},
    {kF1UnknownTimeSignature, "A time signature that cannot be handled was found."},
};

constexpr Entry kMidiF0Data[] = {
    {kSongNotFormat0, "This is not a format 0 file."},
    {kSongCannotOpen, "The file could not be opened."},
    {kSongBadTrackCount, "The number of tracks is wrong."},
    {kSongNoHeader, "This is not a MIDI file, or the file carries a MacBinary header."},
    {kSongInternalError, "An internal error occurred in MidiF0Data."},
};

constexpr Entry kMusicEvent[] = {
    {kEventDataTooLarge, "The event's data size is too large."},
};

constexpr Entry kMidiControler[] = {
    {kControlerOpenFailed, "Opening the MIDI device failed."},
    {kControlerCloseFailed, "Closing the MIDI device failed."},
    {kControlerProgramFailed, "The MIDI device could not change the voice."},
    {kControlerExclusiveFailed, "The MIDI device could not send the exclusive message."},
};

// "happened" here, where the other modules say "occurred", as in Japanese.
constexpr Entry kMidiPlayer[] = {
    {kPlayerResolutionTooFine, "The resolution is too large."},
    {kPlayerNoTimer, "The timer could not be used."},
    {kPlayerTempoTooSlow, "The tempo set is too slow."},
    {kPlayerInternalError, "An internal error happened in MidiPlayer."},
};

constexpr Entry kMusicPlayer[] = {
    {kMusicPlayerInternalError, "An internal error occurred in MusicPlayer."},
};

constexpr Entry kMidiTrackData[] = {
    {kTrackInternalError, "An internal error occurred in MidiTrackData."},
    {kTrackUndefinedEvent, "Undefined MIDI event."},
    {kTrackBadChannel, "The channel is wrong."},
    {kTrackBadTempo, "The tempo is wrong."},
    {kTrackTooMuchData, "There is too much data."},
    {kTrackNoChunk, "This is not a MIDI file, or it is a file that carries a MacBinary header."},
    {kTrackDrumOutOfRange,
     "A note given to the drums is outside the range 35 (bass drum) to 81 (open triangle). It was brought into "
     "range."},
};

constexpr Entry kTrackWarnings[] = {
    {kTrackUndefinedEvent, "Undefined MIDI events were found."},
    {kTrackSeveralVolumes, "Several volumes are set."},
    {kTrackSeveralPans, "Several pans are set."},
    {kTrackOversizedEvent, "An event of too large a size is included."},
};

constexpr Entry kMidiFileLoader[] = {
    {kLoaderInternalError, "An internal error occurred in MidiFileLoader."},
    {kLoaderNotMidi, "This is not a MIDI file."},
};

struct Table {
    Module module;
    std::string_view fallback;
    std::span<const Entry> entries;
};

constexpr Table kTables[] = {
    {Module::kGeneral, "An error occurred in General.", kGeneral},
    {Module::kMidiF1Data, "An error occurred in MidiF1Data.", kMidiF1Data},
    {Module::kMidiF0Data, "An error occurred in MidiF0Data.", kMidiF0Data},
    {Module::kMusicEvent, "An error occurred in MusicEvent.", kMusicEvent},
    {Module::kMidiControler, "An error occurred in MidiControler.", kMidiControler},
    {Module::kMidiPlayer, "An error occurred in MidiPlayer.", kMidiPlayer},
    {Module::kMusicPlayer, "An error occurred in MusicPlayer.", kMusicPlayer},
    {Module::kMidiTrackData, "An error occurred in MidiTrackData.", kMidiTrackData},
    {Module::kMidiFileLoader, "An error occurred in MidiFileLoader.", kMidiFileLoader},
};

const Entry* Find(std::span<const Entry> entries, std::uint32_t code) {
    for (const Entry& e : entries) {
        if (e.code == code) return &e;
    }
    return nullptr;
}

}  // namespace

bool ParseLanguage(std::string_view name, Language& language) {
    if (name == "ja") {
        language = Language::kJapanese;
        return true;
    }
    if (name == "en") {
        language = Language::kEnglish;
        return true;
    }
    return false;
}

std::string_view LanguageName(Language language) { return language == Language::kEnglish ? "en" : "ja"; }

std::string_view EnglishMessage(std::string_view module, std::uint32_t code, std::string_view text) {
    for (const Table& table : kTables) {
        if (ModuleName(table.module) != module) continue;
        // The warning texts differ from the errors' only where a code has both.
        if (table.module == Module::kMidiTrackData && text == TrackWarningMessage(code) &&
            text != ErrorMessage(table.module, code)) {
            if (const Entry* warning = Find(kTrackWarnings, code)) {
                return warning->text;
            }
        }
        const Entry* entry = Find(table.entries, code);
        return entry != nullptr ? entry->text : table.fallback;
    }
    return {};
}

std::string_view LocalizedMessage(Language language, std::string_view module, std::uint32_t code,
                                  std::string_view text) {
    if (language == Language::kJapanese) return text;
    const std::string_view english = EnglishMessage(module, code, text);
    return english.empty() ? text : english;
}

}  // namespace solvane
