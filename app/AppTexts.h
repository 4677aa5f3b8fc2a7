#pragma once
// The window's texts in the language the user chose. The Japanese texts are
// the program's own and its default; in English, the reports take their
// texts from the core's English tables and the window's own texts (the Play
// button's captions, the about box and its menu item, the refusal to exit)
// from here.

#include <QString>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "messages/MessageLanguage.h"

namespace solvane {

// The language of everything the window shows; Japanese until the settings
// or the Language menu say otherwise. Read by the message sink on any thread.
extern std::atomic<Language> g_language;

// A text of the window's own, named by its Japanese text, in the current language.
QString UiText(const char* japanese);
// The same in a given language.
QString UiText(const char* japanese, Language language);

// The text a report shows in the current language: the core's English for
// the modules' codes, the window's own English for the window's message.
std::string_view ReportText(std::string_view module, std::uint32_t code, std::string_view text);

}  // namespace solvane
