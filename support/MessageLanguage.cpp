#include "support/MessageLanguage.h"

#include <iterator>

#include "support/Messages.h"

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
    {1, "The data is too large."},
    {2, "Out of memory."},
    {3, "The file could not be opened. Try giving the file list with absolute paths."},
    {4, "Performance has dropped. Quit the program and start it again."},
    {5, "The file was not found."},
};

constexpr Entry kMidiF1Data[] = {
    {0x02000001, kTooManyTracks},
    {0x02000002, "This is not format 1."},
    {0x02000003, "An internal error occurred in MidiF1Data."},
    {0x02000004, "This is not a MIDI file, or the file carries a MacBinary header."},
    {0x02000005, "The file could not be opened."},
    {0x02000006, "The master volume is set more than once."},
    {0x02000007,
     "A program change is set on the drums. (Or a system exclusive message makes a channel other than 10 a drum "
     "channel.)"},
    {0x02000008, "A time signature that cannot be handled was found."},
};

constexpr Entry kMidiF0Data[] = {
    {0x04000001, "This is not a format 0 file."},
    {0x04000002, "The file could not be opened."},
    {0x04000003, "The number of tracks is wrong."},
    {0x04000004, "This is not a MIDI file, or the file carries a MacBinary header."},
    {0x04000005, "An internal error occurred in MidiF0Data."},
};

constexpr Entry kMusicEvent[] = {
    {0x06000001, "The event's data size is too large."},
};

constexpr Entry kMidiControler[] = {
    {0x07000001, "Opening the MIDI device failed."},
    {0x07000002, "Closing the MIDI device failed."},
    {0x07000003, "The MIDI device could not change the voice."},
    {0x07000004, "The MIDI device could not send the exclusive message."},
};

// "happened" here, where the other modules say "occurred", as in Japanese.
constexpr Entry kMidiPlayer[] = {
    {0x08000001, "The resolution is too large."},
    {0x08000002, "The timer could not be used."},
    {0x08000003, "The tempo set is too slow."},
    {0x08000004, "An internal error happened in MidiPlayer."},
};

constexpr Entry kMusicPlayer[] = {
    {0x09000001, "An internal error occurred in MusicPlayer."},
};

constexpr Entry kMidiTrackData[] = {
    {0x0D000001, "An internal error occurred in MidiTrackData."},
    {0x0D000002, "Undefined MIDI event."},
    {0x0D000003, "The channel is wrong."},
    {0x0D000005, "The tempo is wrong."},
    {0x0D000006, "There is too much data."},
    {0x0D000007, "This is not a MIDI file, or it is a file that carries a MacBinary header."},
    {0x0D000008,
     "A note given to the drums is outside the range 35 (bass drum) to 81 (open triangle). It was brought into "
     "range."},
};

constexpr Entry kTrackWarnings[] = {
    {0x0D000002, "Undefined MIDI events were found."},
    {0x0D000009, "Several volumes are set."},
    {0x0D00000A, "Several pans are set."},
    {0x0D00000B, "An event of too large a size is included."},
};

constexpr Entry kMidiFileLoader[] = {
    {0x17000001, "An internal error occurred in MidiFileLoader."},
    {0x17000002, "This is not a MIDI file."},
};

struct Table {
    Module module;
    std::string_view fallback;
    const Entry* begin;
    const Entry* end;
};

template <std::size_t N>
constexpr Table MakeTable(Module module, std::string_view fallback, const Entry (&entries)[N]) {
    return Table{module, fallback, entries, entries + N};
}

constexpr Table kTables[] = {
    MakeTable(Module::kGeneral, "An error occurred in General.", kGeneral),
    MakeTable(Module::kMidiF1Data, "An error occurred in MidiF1Data.", kMidiF1Data),
    MakeTable(Module::kMidiF0Data, "An error occurred in MidiF0Data.", kMidiF0Data),
    MakeTable(Module::kMusicEvent, "An error occurred in MusicEvent.", kMusicEvent),
    MakeTable(Module::kMidiControler, "An error occurred in MidiControler.", kMidiControler),
    MakeTable(Module::kMidiPlayer, "An error occurred in MidiPlayer.", kMidiPlayer),
    MakeTable(Module::kMusicPlayer, "An error occurred in MusicPlayer.", kMusicPlayer),
    MakeTable(Module::kMidiTrackData, "An error occurred in MidiTrackData.", kMidiTrackData),
    MakeTable(Module::kMidiFileLoader, "An error occurred in MidiFileLoader.", kMidiFileLoader),
};

const Entry* Find(const Entry* begin, const Entry* end, std::uint32_t code) {
    for (const Entry* e = begin; e != end; ++e) {
        if (e->code == code) return e;
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
            if (const Entry* warning = Find(std::begin(kTrackWarnings), std::end(kTrackWarnings), code)) {
                return warning->text;
            }
        }
        const Entry* entry = Find(table.begin, table.end, code);
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
