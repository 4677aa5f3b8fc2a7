#include "app/AppTexts.h"

#include "app/AboutDialog.h"
#include "app/MainDialog.h"

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
