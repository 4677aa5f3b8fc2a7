#pragma once
// The languages a sink can show reports in, and the English text of every
// report. The Japanese tables stay the program's own texts and its default;
// a sink that was asked for English looks the report up here by the module
// name and code it was given. Nothing in the core chooses a language.

#include <cstdint>
#include <string_view>

namespace solvane {

enum class Language { kJapanese, kEnglish };

// "ja" or "en", as the command line and the settings write them; false for
// anything else, with language unchanged.
bool ParseLanguage(std::string_view name, Language& language);
std::string_view LanguageName(Language language);

// The English text of a report as a sink receives it, or an empty view for
// a module the tables do not know. text, the Japanese text given with the
// report, tells the track reader's once-per-track warning from the error
// that shares its code. A code a module does not list gets the module's
// English fallback, as it gets the Japanese one.
std::string_view EnglishMessage(std::string_view module, std::uint32_t code, std::string_view text);

// What a sink shows: text itself in Japanese, its English otherwise (text
// again when there is none).
std::string_view LocalizedMessage(Language language, std::string_view module, std::uint32_t code,
                                  std::string_view text);

}  // namespace solvane
