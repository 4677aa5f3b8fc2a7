#include "app/AppTexts.h"

#include "app/AboutDialog.h"
#include "app/MainDialog.h"
#include "app/PreviewWindow.h"

namespace solvane {

std::atomic<Language> g_language{Language::kJapanese};

namespace {

struct UiEntry {
    const char* japanese;
    const char* english;
};

constexpr UiEntry kUiTexts[] = {
    {kPlayCaption, "Play"},
    {kStopCaption, "Stop"},
    {kAboutMenuText, "&About Vandrel..."},
    {kAboutCaption, "About Vandrel"},
    {kCannotExitWhilePlaying, "Cannot exit while playing!"},
    {kOutputMenuText, "MIDI Output"},
    {kDefaultOutputText, "Default output"},
    {kBuiltInOutputText, "Built-in synthesizer"},
    {kNoSequencerText, "No ALSA sequencer (no MIDI ports)"},
    {kNoPortsText, "No MIDI ports"},
    {kSoundFontMenuText, "Soundfont..."},
    {kExportMenuText, "Export audio..."},
    {kMusicalMenuText, "Keep tempo and pedal with their passage"},
    {kOutputGone, "The MIDI output \u201c%1\u201d is no longer there; Play uses the default output."},
    {kOutputGoneShort, "\u201c%1\u201d is gone: back to the default output"},
    {kNotASoundFont, "\u201c%1\u201d is not a soundfont (.sf2 or .sf3)."},
    {kNoSoundFont,
     "The built-in synthesizer has no soundfont. Install the package fluid-soundfont-gm, or choose a soundfont."},
    {kExporting, "Exporting audio..."},
    {kCancelText, "Cancel"},
    {kExportFailed, "Could not export the audio: %1"},
    {kPreviewMenuText, "&Preview"},
    {kPreviewTitle, "Preview"},
    {kGhostText, "Show the piece as loaded, faintly"},
    {kNoPieceText, "No piece loaded"},
    {kZoomHintText, "Ctrl+wheel, +/-: zoom   0: whole piece"},
};

const char* EnglishUiText(std::string_view japanese) {
    for (const UiEntry& entry : kUiTexts) {
        if (japanese == entry.japanese) return entry.english;
    }
    return nullptr;
}

}  // namespace

QString UiText(const char* japanese, Language language) {
    const char* english = language == Language::kEnglish ? EnglishUiText(japanese) : nullptr;
    return QString::fromUtf8(english != nullptr ? english : japanese);
}

QString UiText(const char* japanese) { return UiText(japanese, g_language.load()); }

std::string_view ReportText(std::string_view module, std::uint32_t code, std::string_view text) {
    const Language language = g_language.load();
    if (language == Language::kEnglish && EnglishMessage(module, code, text).empty()) {
        if (const char* english = EnglishUiText(text); english != nullptr) return english;
    }
    return LocalizedMessage(language, module, code, text);
}

}  // namespace solvane
